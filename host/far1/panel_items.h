// The folder reader's entries as the host's panel items, and the host's
// copying of items as the reader's export.
#pragma once

#include "folder/folder_handle.h"
#include "folder/listing.h"
#include "host/far1/far_plugin.h"

// Lists every whole record of the folder as a panel item (the entry's name
// and description both in the name buffer, size, times, attributes, and the
// data offset in UserData), in one zero-filled heap block that FreeFindData
// releases. `*count_out` is the number of items filled, fewer than the record
// count when the file ends early. FALSE, with a null block and count 0, when
// the index cannot be opened or sized or the block cannot be allocated.
BOOL ListPanelItems(FolderHandle *folder, PluginPanelItem **items_out, int *count_out);

// Copies each item's message into `dest_dir` under a name of its own, with
// the message's date on the file. FALSE, with a host warning, when the data
// folder file cannot be opened; otherwise TRUE, with a system message box for
// each message that was not written whole.
BOOL CopyPanelItems(FolderHandle *folder, const PluginPanelItem *items, int count,
                    const char *dest_dir);
