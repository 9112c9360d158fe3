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

// Saves each chosen item's message: unless the operation is silent, or a
// view or an edit (whose destination the host gives), the save dialog first
// asks where and as what (message files, named after their items, with the
// messages' bytes and dates; .eml files; one mbox file; a Maildir), a
// directory that does not exist is made, and long work shows its progress.
// Clears PPIF_SELECTED in each item saved whole; when any failed, one box
// tells the counts and the first reasons. `code_page` decodes the texts
// the mail outputs give as header lines. 1 when every item was saved, 0 when
// one was not or the data folder file cannot be opened, -1 when the user
// cancelled or stopped.
intptr_t CopyPanelItems(FolderHandle *folder, unsigned code_page, far3::GetFilesInfo *info);
