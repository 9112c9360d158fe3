// Writing the messages of one export into files named after them.
#include "outputs/disk_writer.h"

#include <cstdlib>
#include <cstring>

namespace {

// A file this export made, found again by its index: every one is in the
// destination directory, so on one volume with any file found there.
size_t FindCreated(const ExportRun *run, uint64_t index) {
  for (size_t at = size_t((index * 0x9E3779B97F4A7C15ull) >> 17) & run->CreatedMask;;
       at = (at + 1) & run->CreatedMask) {
    if (run->Created[at] == 0 || run->Created[at] == index) return at;
  }
}

bool RememberCreated(ExportRun *run, uint64_t index) {
  if (index == 0) return false;
  if (run->CreatedCount * 2 >= run->CreatedMask + 1) {
    const size_t old_count = run->CreatedMask + 1;
    uint64_t *old = run->Created;
    run->Created = static_cast<uint64_t *>(calloc(old_count * 2, sizeof(uint64_t)));
    if (run->Created == nullptr) {
      run->Created = old;
      return false;
    }
    run->CreatedMask = old_count * 2 - 1;
    for (size_t at = 0; at < old_count; ++at)
      if (old[at] != 0) run->Created[FindCreated(run, old[at])] = old[at];
    free(old);
  }
  run->Created[FindCreated(run, index)] = index;
  ++run->CreatedCount;
  return true;
}

bool WasCreated(const ExportRun *run, uint64_t index) {
  return index != 0 && run->Created[FindCreated(run, index)] == index;
}

bool NoteMade(ExportRun *run, int item) {
  if (run->MadeCount == run->MadeRoom) {
    const size_t room = run->MadeRoom > 0 ? run->MadeRoom * 2 : 64;
    int *made = static_cast<int *>(realloc(run->Made, room * sizeof *made));
    if (made == nullptr) return false;
    run->Made = made;
    run->MadeRoom = room;
  }
  run->Made[run->MadeCount++] = item;
  return true;
}

// Puts the path of `name` inside the destination into run->Path. False when
// it is longer than the limit (or memory runs out); the path is there all the
// same, as far as memory allows, to tell the user.
bool MakePath(ExportRun *run, const char *name) {
  const size_t ending = run->NameEnding != nullptr ? strlen(run->NameEnding) : 0;
  const size_t length = JoinExportPath(run->DestDir, name, nullptr, 0) + ending;
  if (length + 1 > run->PathRoom) {
    char *path = static_cast<char *>(realloc(run->Path, length + 1));
    if (path == nullptr) {
      JoinExportPath(run->DestDir, name, run->Path, run->PathRoom);
      return false;
    }
    run->Path = path;
    run->PathRoom = length + 1;
  }
  JoinExportPath(run->DestDir, name, run->Path, run->PathRoom);
  if (ending > 0) memcpy(run->Path + length - ending, run->NameEnding, ending + 1);
  return run->PathLimit == 0 || length < run->PathLimit;
}

bool WriteToFile(void *file, const void *bytes, size_t size) {
  return FileSystem.Write(*static_cast<FileRef *>(file), bytes, size);
}

bool IsZero(const FILETIME &time) { return time.dwLowDateTime == 0 && time.dwHighDateTime == 0; }

// The folder's own files, told only when a name in use is to be emptied: a
// copy into a fresh directory (the host's view and search, one message a
// call) never asks.
void KnowOwnFiles(ExportRun *run) {
  if (run->OwnKnown) return;
  run->OwnKnown = true;
  run->Own[0] = FileSystem.Identify(run->Folder->IndexPath);
  run->Own[1] = FileSystem.Identify(run->Folder->DataPath);
  // The data folder file that is open, when it was found under another name.
  if (!run->Own[1].Exists && run->Folder->DataFile != NoFile)
    run->Own[1] = FileSystem.IdentifyOpen(run->Folder->DataFile);
}

// The indexes of the files made before the first name in use, asked by
// their names; one gone since cannot be the file in the way. Where one that
// is there cannot be told, as a new file that cannot, no name in use is
// taken for a file from before from then on (MadeUnknown). Leaves `item`'s
// path in run->Path.
void AskMadeIndexes(ExportRun *run, int item) {
  for (size_t i = 0; !run->IndexesAsked && i < run->MadeCount; ++i) {
    const bool named = MakePath(run, ExportNameOf(&run->Names, run->Made[i]));
    const FileRef made = named ? FileSystem.OpenForReading(run->Path) : NoFile;
    if (made == NoFile && named && FileSystem.KindOf(run->Path, false) == PathMissing) continue;
    if (made == NoFile || !RememberCreated(run, FileSystem.FileIndexOf(made)))
      run->MadeUnknown = true;
    if (made != NoFile) FileSystem.Close(made);
  }
  run->IndexesAsked = true;
  free(run->Made);
  run->Made = nullptr;
  run->MadeCount = run->MadeRoom = 0;
  MakePath(run, ExportNameOf(&run->Names, item));
}

}  // namespace

// A name that leads to a file this export made already goes to the item's
// next suffixed name; so does any name in use, when files from before are kept.
const char *ExportPathOf(ExportRun *run, int item) {
  return run->DestDir[0] != '\0' && MakePath(run, ExportNameOf(&run->Names, item)) ? run->Path
                                                                                    : nullptr;
}

FileRef CreateExportFile(ExportRun *run, int item) {
  // Never a file at the root for want of a destination.
  if (run->DestDir[0] == '\0') {
    MakePath(run, ExportNameOf(&run->Names, item));
    return NoFile;
  }
  // Each try takes a name no item had; the bound is for a file system that
  // takes every name for one already made.
  for (int attempt = 0; attempt < 1000; ++attempt) {
    if (!MakePath(run, ExportNameOf(&run->Names, item))) return NoFile;
    bool exists = false;
    FileRef file = FileSystem.CreateNew(run->Path, run->Access, &exists);
    if (file != NoFile) {
      if (run->IndexesAsked ? RememberCreated(run, FileSystem.FileIndexOf(file))
                            : NoteMade(run, item))
        return file;
      // Unknown, it could not be told from a later item's file: not used.
      FileSystem.Close(file);
      FileSystem.Remove(run->Path);
      return NoFile;
    }
    if (!exists) return NoFile;
    if (run->KeepExisting) {
      if (!NextExportName(&run->Names, item)) return NoFile;
      continue;
    }
    AskMadeIndexes(run, item);
    if (run->MadeUnknown) return NoFile;
    FoundFile found = {};
    file = FileSystem.OpenExisting(run->Path, &found);
    if (file == NoFile) return NoFile;
    const uint64_t index = FileSystem.FileIndexOf(file);
    if (WasCreated(run, index)) {
      FileSystem.Close(file);
      if (!NextExportName(&run->Names, item)) return NoFile;
      continue;
    }
    // A file with another name may have it outside the destination, where
    // emptying it would change a file that is not the export's.
    KnowOwnFiles(run);
    if (found.Regular && found.Links <= 1 && !IsSameFile(found.Identity, run->Own[0]) &&
        !IsSameFile(found.Identity, run->Own[1]) && FileSystem.Truncate(file, 0) &&
        RememberCreated(run, index))
      return file;
    FileSystem.Close(file);
    return NoFile;
  }
  return NoFile;
}

namespace {

bool StartWith(ExportRun *run, const FolderHandle *folder, const char *dest_dir,
               const char *const *item_names, int count, size_t max_name_length, size_t path_limit,
               bool part_names) {
  memset(run, 0, sizeof *run);
  run->DestDir = dest_dir != nullptr ? dest_dir : "";
  run->PathLimit = path_limit;
  run->CreatedMask = 15;
  run->Created = static_cast<uint64_t *>(calloc(run->CreatedMask + 1, sizeof(uint64_t)));
  if (run->Created == nullptr ||
      !(part_names ? MakePartFileNames(item_names, count, &run->Names)
                   : MakeExportNames(item_names, count, max_name_length, &run->Names))) {
    free(run->Created);
    return false;
  }
  run->Folder = folder;
  return true;
}

}  // namespace

bool StartExport(ExportRun *run, const FolderHandle *folder, const char *dest_dir,
                 const char *const *item_names, int count, size_t max_name_length,
                 size_t path_limit) {
  return StartWith(run, folder, dest_dir, item_names, count, max_name_length, path_limit, false);
}

bool StartPartExport(ExportRun *run, const FolderHandle *folder, const char *dest_dir,
                     const char *const *item_names, int count) {
  if (!StartWith(run, folder, dest_dir, item_names, count, LongestItemName, 0, true)) return false;
  run->KeepExisting = true;
  return true;
}

ExportResult ExportMessageFile(ExportRun *run, FolderHandle *folder, int item, uint32_t offset,
                               uint32_t size, const FILETIME &time) {
  FileRef file = CreateExportFile(run, item);
  if (file == NoFile) return ExportCannotCreate;
  ExportResult result = CopyMessage(folder, offset, size, WriteToFile, &file);
  SetMessageTime(file, time);
  if (!FileSystem.Close(file) && result == ExportWritten) result = ExportCannotWrite;
  return result;
}

const char *ExportPath(const ExportRun *run) { return run->Path != nullptr ? run->Path : ""; }

void SetMessageTime(FileRef file, const FILETIME &time) {
  if (!IsZero(time)) FileSystem.SetTime(file, time);
}

void FinishExport(ExportRun *run) {
  FreeExportNames(&run->Names);
  free(run->Created);
  free(run->Made);
  free(run->Path);
  memset(run, 0, sizeof *run);
}
