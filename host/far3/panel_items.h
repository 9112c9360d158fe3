// The folder reader's entries as the native interface's panel items, and the
// host's copying of items as the reader's export.
#pragma once

#include <cstddef>
#include <cstdint>

#include "folder/folder_handle.h"
#include "host/far3/far_plugin.h"
#include "host/far3/info_lines.h"

// Lists every whole record of the folder as a panel item, its texts decoded
// from the code page `code_page`: one zero-filled heap block that holds the
// items and, after them, their names and descriptions, for FreeFindDataW to
// release. Each item carries its message's offset in UserData.Data, and no
// free callback. Each item is counted into `facts`. 1, or 0 with a null
// block when the index cannot be opened or sized or the block cannot be
// allocated.
intptr_t ListPanelItems(FolderHandle *folder, unsigned code_page, far3::PluginPanelItem **items_out,
                        size_t *count_out, FolderFacts *facts);

// Copies each chosen item's message into a file of its own, named after the
// item, in the destination, with the message's date on the file; clears
// PPIF_SELECTED in each item written whole. Unless the operation is silent
// the user first sees the destination in an input line, to take it, change
// it (a directory that does not exist is made) or cancel, and every failure
// in a warning box. 1 when every item was written, 0 when one was not or the
// data folder file cannot be opened, -1 when the user cancelled.
intptr_t CopyPanelItems(FolderHandle *folder, far3::GetFilesInfo *info);
