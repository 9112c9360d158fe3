#pragma once

#include <cstddef>

#include "host/far_plugin.h"
#include "host/folder_handle.h"

// Writes into `out` (of `out_size` bytes) the path a message named `name` is
// exported to inside `dest_dir`: the directory as given, a separator, and the
// name with the characters a file name cannot hold turned into '_' and a device
// name (CON, NUL, COM1, ...) made harmless. Returns the length the path needs
// without its terminator; when that is `out_size` or more, `out` holds the
// longest whole prefix that fits (always terminated, when `out_size` > 0).
size_t BuildExportPath(const char *dest_dir, const char *name, char *out, size_t out_size);

// Copies each item's message out of the data folder file into `dest_dir`.
// FALSE, with a host warning, when the data folder file cannot be opened;
// otherwise TRUE, each item that fails being reported on its own.
BOOL ExportMessages(FolderHandle *folder, const PluginPanelItem *items, int count,
                    const char *dest_dir);
