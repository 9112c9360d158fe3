#pragma once

#include "host/far1/far_plugin.h"
#include "folder/folder_handle.h"

// The panel settings, the same for every folder: the whole record zeroed, then
// title, view mode and sorting by creation time (the message date), newest first.
void FillPanelSettings(const FolderHandle *folder, OpenPluginInfo *info);
