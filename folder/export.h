#pragma once

#include "host/far_plugin.h"
#include "host/folder_handle.h"

// Copies each item's message out of the data folder file into `dest_dir`,
// each under a name of its own (MakeExportNames), with the message's date
// as the file's time. FALSE, with a host warning, when the data folder file
// cannot be opened; otherwise TRUE, each item that fails being reported on its
// own.
BOOL ExportMessages(FolderHandle *folder, const PluginPanelItem *items, int count,
                    const char *dest_dir);
