#pragma once

#include "host/far_plugin.h"
#include "host/folder_handle.h"

// The panel settings, the same for every folder: the whole record zeroed, then
// title, view mode and sorting by creation time (the message date), newest first.
void FillPanelSettings(const FolderHandle *folder, OpenPluginInfo *info);
