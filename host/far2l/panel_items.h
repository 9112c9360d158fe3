// The folder reader's entries as far2l's panel items, and the host's copying
// of items as the reader's export or the mail outputs' runs.
#pragma once

#include <cstddef>

#include "folder/folder_handle.h"
#include "host/far2l/far2l_plugin.h"
#include "host/shared/folder_facts.h"

// Lists every whole record of the folder as a panel item, its texts decoded
// from `code_page` into the host's 4-byte letters: one zero-filled heap
// block holding the items and, after them, their names and descriptions,
// for FreeFindDataW to release. UserData is the message's offset, a plain
// number the host gives back. Each item is counted into `facts`. True, or
// false with a null block when the index cannot be opened or sized or the
// block cannot be allocated.
bool ListPanelItems(FolderHandle *folder, unsigned code_page, far2l::PluginPanelItem **items_out,
                    int *count_out, FolderFacts *facts);

// Saves each chosen item's message. Unless the operation is silent, or a
// view or an edit (whose destination the host gives), the user is asked
// first as what (message files, .eml files, one mbox file, a Maildir) and
// where; a directory that does not exist is then made, and long work shows
// its progress. A view, an edit or a quick view of one item writes it under
// the item's own name, the file the host opens. Clears PPIF_SELECTED in
// each item saved whole; when any failed, one box tells the counts and the
// first reasons. 1 when every item was saved, 0 when one was not, -1 when
// the user cancelled. `*dest` may be repointed at the destination chosen,
// which lives until the next call.
int CopyPanelItems(FolderHandle *folder, unsigned code_page, far2l::PluginPanelItem *items,
                   int count, const wchar_t **dest, int op_mode);
