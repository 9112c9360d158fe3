// The disk writer: the messages of one export, each into a file of its own.
// Its rules: a file is made anew, or one from before the export emptied, but
// never one this export made (told by the file's index, whatever names the
// file system takes for the same); no link or reparse point is written
// through, nor a file with another name, a directory, a device or one of the
// folder's own two files; a path beyond the limit is refused; each file gets
// its message's time. The bytes come from the folder reader
// (folder/message_copy.h).
#pragma once

#include <cstddef>
#include <cstdint>

#include "folder/export_name.h"
#include "folder/folder_handle.h"
#include "folder/message_copy.h"
#include "platform/file_identity.h"
#include "platform/file_system.h"

// One export of several messages into a directory, each into a file of its
// own: named by MakeExportNames, never replacing a file the same export made,
// whatever the file system takes for the same name, and never one of the
// folder's own two files.
struct ExportRun {
  const char *DestDir;
  size_t PathLimit;       // the longest path allowed, terminator included; 0 for none
  ExportNames Names;
  const FolderHandle *Folder;
  FileIdentity Own[2];    // the folder's index and data folder files, once OwnKnown
  bool OwnKnown;
  uint64_t *Created;      // hash set of the file indexes of the files this export
                          // made, all in the destination, on one volume; 0 is empty
  size_t CreatedMask, CreatedCount;
  // Most exports never find a name in use: the items whose files were made
  // before the first one are only noted, and their indexes asked then.
  int *Made;
  size_t MadeCount, MadeRoom;
  bool IndexesAsked;      // from the first name in use on, each new file's at once
  bool MadeUnknown;       // one made could not be told: no name in use is emptied
  char *Path;             // the path of the last message exported
  size_t PathRoom;
  bool KeepExisting;      // false: a file from before the export is emptied and reused
  const char *NameEnding; // put after every name (".eml"); null for none
  FileAccess Access;      // whom the files made let in
};

// Starts an export of `count` items named `item_names` (each read up to its
// zero or `max_name_length` bytes) into `dest_dir`, replacing files from
// before it, with no name ending and the default access: set KeepExisting,
// NameEnding and Access after the start for others. False when memory runs
// out; nothing is then to be finished.
bool StartExport(ExportRun *run, const FolderHandle *folder, const char *dest_dir,
                 const char *const *item_names, int count, size_t max_name_length,
                 size_t path_limit);

// StartExport for the files of a message's parts, named by
// MakePartFileNames (the sender's spaces kept, twins "_(2)" before the
// extension), files from before kept.
bool StartPartExport(ExportRun *run, const FolderHandle *folder, const char *dest_dir,
                     const char *const *item_names, int count);

// Writes item `item`'s message into its file and gives the file the time
// `time` (none when zero). A file that is there from before the export is
// emptied and reused; one that is a link, has another name (a hard link), is a
// directory, a device or one of the folder's files is not touched. ExportWritten only when every byte was read,
// written and the file closed; a time that cannot be set loses nothing.
// ExportPath tells the path tried, also a too long one.
ExportResult ExportMessageFile(ExportRun *run, FolderHandle *folder, int item, uint32_t offset,
                               uint32_t size, const FILETIME &time);

// The first step of ExportMessageFile: item `item`'s file created, or made
// empty, for writing. With KeepExisting, a name in use from before the export
// goes to the item's next suffixed name, as one this export made does, so
// that the file is always a new one. NoFile when it cannot be made.
FileRef CreateExportFile(ExportRun *run, int item);
const char *ExportPath(const ExportRun *run);

// The path item `item`'s file takes under its present name; null when it is
// too long or memory runs out.
const char *ExportPathOf(ExportRun *run, int item);

// Gives the open `file` the message's time `time`, so that written messages
// sort by date; none when it is zero. A time that cannot be set loses no
// message: the file keeps its own.
void SetMessageTime(FileRef file, const FILETIME &time);

void FinishExport(ExportRun *run);
