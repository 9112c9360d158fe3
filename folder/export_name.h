// The file names that exported messages get: harmless on every file system,
// and one of its own for each item of one export.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/win_types.h"

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

// Names longer than this many bytes are cut to it.
const size_t LongestItemName = 1000;

// The longest name, in bytes, a file system takes: Linux's count bytes,
// Windows' UTF-16 units, of which a name has no more than of UTF-8 bytes.
const size_t LongestFileName = 255;

// The file name an attachment or a part named `name` (UTF-8) is written
// under: the sender's name with only what the file system cannot hold made
// '_' (on Windows the characters it refuses, a device's stem given an '_',
// trailing dots and blanks; elsewhere '/'; everywhere NUL and the control
// characters; "." and ".." made "_" and "__"), and a name over
// LongestFileName bytes cut on a character's boundary before its extension,
// which stays. Spaces stay.
std::string MakePartFileName(const std::string &name);

// The twin `number` (2, 3, ...) of the file name `name`: "_(N)" before its
// extension ("a_(2).pdf"), the stem cut where the whole would be over
// LongestFileName bytes.
std::string TwinFileName(const std::string &name, unsigned number);

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
  size_t *Base;      // where item i's name before any suffix begins in Text
  size_t *Slots;     // hash table of names given: their place in Text + 1; 0 is empty
  uint32_t *Next;    // for each slot's name: the next suffix to try after it
  size_t SlotMask;
  size_t Given;      // names in the table
  bool PartNames;    // made by MakePartFileNames: twins "_(N)" before the extension
};

// Makes the names of `count` items whose names are `item_names` (each read
// up to its zero or `max_length` bytes). False when memory runs out; `names`
// then holds nothing to free.
bool MakeExportNames(const char *const *item_names, int count, size_t max_length,
                     ExportNames *names);
// MakeExportNames for the files of a message's parts, named as
// MakePartFileName names them: spaces kept, twins "_(2)" before the extension.
bool MakePartFileNames(const char *const *item_names, int count, ExportNames *names);

const char *ExportNameOf(const ExportNames *names, int item);

// Gives `item` the next name its own name's suffixes offer that no item has
// been given yet, as a twin gets: for an item whose file could not take its
// name because the file system took it for another of the same call's files.
// False when memory runs out.
bool NextExportName(ExportNames *names, int item);

void FreeExportNames(ExportNames *names);
