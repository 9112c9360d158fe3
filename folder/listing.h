#pragma once

#include "folder/vessor_folder.h"
#include "host/far_plugin.h"
#include "host/folder_handle.h"

// Fills one panel item from an index record (name, description, size, times,
// attributes and data offset). The record's date text is overwritten in part.
void FillPanelItem(IndexRecord *record, PluginPanelItem *item);

// Lists every whole record of the folder's index file as a panel item, in one
// zero-filled heap block that FreeFindData releases. The first call opens the
// index and fixes the record count; every call rereads it from the start.
// `*count_out` is the number of items filled, which is less than the record
// count when the file ends early. FALSE, with a null block and count 0, when the
// index cannot be opened or sized or the block cannot be allocated.
BOOL ListMessages(FolderHandle *folder, PluginPanelItem **items_out, int *count_out);
