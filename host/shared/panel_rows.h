// The panel's rows in no host's records: the folder's messages and a
// message's parts as the listing makes them, laid out in the one heap block
// a host frees with FreeFindDataW. Each adapter turns a row into its own
// panel item; the block's texts follow its items.
#pragma once

#include <cstddef>
#include <cstdint>

#include "folder/folder_handle.h"
#include "host/shared/folder_facts.h"
#include "host/shared/message_levels.h"
#include "platform/win_types.h"

// The attributes a row can have, as the hosts number them.
const uint32_t RowReadOnly = 0x1, RowHidden = 0x2, RowDirectory = 0x10, RowArchive = 0x20;

struct PanelRow {
  const wchar_t *Name;         // in the block (a listing) or the host's item (a copy)
  const wchar_t *Description;  // the message's description, or the part's type
  uint64_t Size;
  FILETIME Time;        // the message's date; the parts take their message's
  uint32_t Attributes;  // Row* flags
  uint64_t Data;        // the message's offset in the data file, or the part's place
  uint32_t Suffix;      // letters of a twin's suffix the listing put after the name
  bool Done;            // set by a copy for a row saved whole: the host unselects it
  // The texts of the host's columns C0, C1... (a view mode names them), in
  // the block as the other texts; none by default.
  const wchar_t *const *Columns = nullptr;
  uint32_t ColumnCount = 0;
};

// Turns `row` into the host's panel item at `item`, a zero-filled one.
typedef void (*RowToItem)(const PanelRow &row, void *item);

// Every whole record of the folder as a row, its texts decoded from the
// code page `code_page`, each counted into `facts`; twins' names made
// unique. One zero-filled block of `*count` items of `item_size` bytes and
// their texts after them (at least one item's room, so that an empty folder
// still gets a block to free). Null when the index cannot be opened or
// sized or the block cannot be had.
void *ListFolderRows(FolderHandle *folder, unsigned code_page, size_t item_size, RowToItem fill,
                     size_t *count, FolderFacts *facts);

// The current level's parts as rows, likewise: a message inside as a
// directory, each part's place among them as its Data. Null when not
// inside a message or the block cannot be had.
void *ListPartRows(const MessageStack *stack, size_t item_size, RowToItem fill, size_t *count);
