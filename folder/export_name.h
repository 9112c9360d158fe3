// The file names that exported messages get: harmless on every file system,
// and one of its own for each item of one export.
#pragma once

#include <cstddef>
#include <cstdint>

#include "host/far_plugin.h"

// Writes into `out` (of `out_size` bytes) the file name an item named `name`
// is exported under before it is told apart from the other items: the
// characters a file name cannot hold turned into '_', a device name (CON,
// NUL, COM1, CONIN$, ...) given an '_' after its stem, trailing dots made '_'
// (Windows drops them, and "." and ".." name directories), and '_' for an
// empty name. Returns the length the name needs without its terminator; when
// that is `out_size` or more, `out` holds the longest prefix that fits.
size_t MakeExportName(const char *name, char *out, size_t out_size);

// Writes into `out` the path of `file_name` inside `dest_dir`: the directory
// as given, a separator, the name. Returns the length the path needs without
// its terminator; when that is `out_size` or more, `out` holds the longest
// whole prefix that fits (always terminated, when `out_size` > 0).
size_t JoinExportPath(const char *dest_dir, const char *file_name, char *out, size_t out_size);

// The path a message named `name` is exported to inside `dest_dir` when no
// earlier item of the same export took its name: JoinExportPath of
// MakeExportName.
size_t BuildExportPath(const char *dest_dir, const char *name, char *out, size_t out_size);

// The names of the items of one export, made in array order before any file
// is created. An item whose name equals, ignoring the case of A-Z, a name
// already given to an earlier item gets "_(2)", "_(3)", ... appended: the
// first that equals no name given so far. Every name counts as given, whether
// or not its file can then be created.
struct ExportNames {
  char *Text;        // every name and its zero, one after another
  size_t TextSize;   // bytes used
  size_t TextRoom;   // bytes allocated
  size_t *Start;     // where item i's name begins in Text
  uint32_t *Next;    // for the item that first took a name: the next suffix to try
  uint32_t *Slots;   // hash table of item numbers + 1; 0 is empty
  size_t SlotMask;
};

// False when memory runs out; `names` then holds nothing to free.
bool MakeExportNames(const PluginPanelItem *items, int count, ExportNames *names);
const char *ExportNameOf(const ExportNames *names, int item);
void FreeExportNames(ExportNames *names);
