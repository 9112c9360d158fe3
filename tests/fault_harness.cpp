#include "tests/fault_harness.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <vector>

#ifdef _WIN32
const int DiskFull = ERROR_DISK_FULL, AccessDenied = ERROR_ACCESS_DENIED,
          IoError = ERROR_WRITE_FAULT, NameTaken = ERROR_ALREADY_EXISTS;
void SetSystemError(int error) { SetLastError(DWORD(error)); }
#else
const int DiskFull = ENOSPC, AccessDenied = EACCES, IoError = EIO, NameTaken = EEXIST;
void SetSystemError(int error) { errno = error; }
#endif

namespace {

// The call of its kind that fails first (0: none), and whether those after
// it fail too; counted among the calls on `Only` where that is a file.
struct Fault {
  int Nth, Seen, Error;
  bool Onward;
  FileRef Only;
};
Fault Faults[FileCallCount];
int Made[FileCallCount];

// Counts the call, made on `file` (NoFile: a call that takes a path); true
// when it is to fail, its error then left.
bool Strikes(FileCall call, FileRef file = NoFile) {
  ++Made[call];
  Fault &fault = Faults[call];
  if (fault.Nth == 0 || (fault.Only != NoFile && file != fault.Only)) return false;
  ++fault.Seen;
  if (fault.Seen < fault.Nth || (fault.Seen > fault.Nth && !fault.Onward)) return false;
  SetSystemError(fault.Error);
  return true;
}

bool IsNameInUse(int error) {
#ifdef _WIN32
  return error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS;
#else
  return error == EEXIST;
#endif
}

// Every file opened through the table during one test, with its identity,
// so that one left open at the test's end is found even when a test's own
// stand-ins closed others in between.
struct OpenedFile {
  FileRef File;
  FileIdentity Identity;
};
std::vector<OpenedFile> OpenedFiles;

FileRef Tracked(FileRef file) {
  if (file != NoFile) OpenedFiles.push_back({file, SystemFileCalls.IdentifyOpen(file)});
  return file;
}

FileRef OpenForReading(const char *path) {
  return Strikes(OpenForReadingCall) ? NoFile : Tracked(SystemFileCalls.OpenForReading(path));
}
int64_t SizeOf(FileRef file) {
  return Strikes(SizeOfCall, file) ? -1 : SystemFileCalls.SizeOf(file);
}
size_t ReadAt(FileRef file, uint64_t offset, void *buffer, size_t size) {
  return Strikes(ReadAtCall, file) ? 0 : SystemFileCalls.ReadAt(file, offset, buffer, size);
}
FileRef CreateNew(const char *path, FileAccess access, bool *exists) {
  if (!Strikes(CreateNewCall)) return Tracked(SystemFileCalls.CreateNew(path, access, exists));
  *exists = IsNameInUse(LastSystemError());
  return NoFile;
}
// A create all the same: it fails where CreateNew is made to.
FileRef CreateVanishing(const char *path, bool *exists) {
  if (!Strikes(CreateNewCall)) return Tracked(SystemFileCalls.CreateVanishing(path, exists));
  *exists = IsNameInUse(LastSystemError());
  return NoFile;
}
// An open, a create and a move all the same: they fail where OpenForReading,
// CreateNew and MoveNoReplace are made to.
FileRef OpenDirectory(const char *path) {
  return Strikes(OpenForReadingCall) ? NoFile : Tracked(SystemFileCalls.OpenDirectory(path));
}
FileRef CreateUnnamed(FileRef dir) {
  return Strikes(CreateNewCall) ? NoFile : Tracked(SystemFileCalls.CreateUnnamed(dir));
}
bool LinkUnnamed(FileRef file, FileRef dir, const char *name, bool *taken) {
  if (!Strikes(MoveNoReplaceCall)) return SystemFileCalls.LinkUnnamed(file, dir, name, taken);
  *taken = IsNameInUse(LastSystemError());
  return false;
}
FileRef OpenExisting(const char *path, FoundFile *found) {
  return Strikes(OpenExistingCall) ? NoFile : Tracked(SystemFileCalls.OpenExisting(path, found));
}
FileIdentity IdentifyOpen(FileRef file) {
  return Strikes(IdentifyOpenCall, file) ? FileIdentity{} : SystemFileCalls.IdentifyOpen(file);
}
uint64_t FileIndexOf(FileRef file) {
  return Strikes(FileIndexOfCall, file) ? 0 : SystemFileCalls.FileIndexOf(file);
}
FileIdentity Identify(const char *path) {
  return Strikes(IdentifyCall) ? FileIdentity{} : SystemFileCalls.Identify(path);
}
bool Write(FileRef file, const void *bytes, size_t size) {
  return !Strikes(WriteCall, file) && SystemFileCalls.Write(file, bytes, size);
}
bool Truncate(FileRef file, uint64_t size) {
  return !Strikes(TruncateCall, file) && SystemFileCalls.Truncate(file, size);
}
bool SetTime(FileRef file, const FILETIME &time) {
  return !Strikes(SetTimeCall, file) && SystemFileCalls.SetTime(file, time);
}
// The file is closed either way, as the system does.
bool Close(FileRef file) {
  for (size_t i = 0; i < OpenedFiles.size(); ++i) {
    if (OpenedFiles[i].File != file) continue;
    OpenedFiles.erase(OpenedFiles.begin() + long(i));
    break;
  }
  const bool closed = SystemFileCalls.Close(file);
  return !Strikes(CloseCall, file) && closed;
}
bool MoveNoReplace(const char *from, const char *to, bool *taken) {
  if (!Strikes(MoveNoReplaceCall)) return SystemFileCalls.MoveNoReplace(from, to, taken);
  *taken = IsNameInUse(LastSystemError());
  return false;
}
bool MoveReplacing(const char *from, const char *to) {
  return !Strikes(MoveReplacingCall) && SystemFileCalls.MoveReplacing(from, to);
}
bool Remove(const char *path) { return !Strikes(RemoveCall) && SystemFileCalls.Remove(path); }
bool MakeDirectories(const char *path, FileAccess access) {
  return !Strikes(MakeDirectoriesCall) && SystemFileCalls.MakeDirectories(path, access);
}
bool MakeDirectory(const char *path, FileAccess access, bool *exists) {
  if (!Strikes(MakeDirectoryCall)) return SystemFileCalls.MakeDirectory(path, access, exists);
  *exists = IsNameInUse(LastSystemError());
  return false;
}
bool CopyAccess(FileRef from, FileRef to) {
  return !Strikes(CopyAccessCall, to) && SystemFileCalls.CopyAccess(from, to);
}
PathKind KindOf(const char *path, bool follow_links) {
  return Strikes(KindOfCall) ? PathMissing : SystemFileCalls.KindOf(path, follow_links);
}
bool ListDirectory(const char *path, DirectoryEntrySink sink, void *context) {
  return !Strikes(ListDirectoryCall) && SystemFileCalls.ListDirectory(path, sink, context);
}
bool Sync(FileRef file, bool volume) {
  return !Strikes(SyncCall, file) && SystemFileCalls.Sync(file, volume);
}
FileRef OpenForAppending(const char *path, FileAccess access) {
  return Strikes(OpenForAppendingCall) ? NoFile
                                       : Tracked(SystemFileCalls.OpenForAppending(path, access));
}

// Each test starts with the harness's calls, whatever the test before put
// in the table, and fails when it leaves a file open that it opened.
class FileTableGuard : public testing::EmptyTestEventListener {
  void OnTestStart(const testing::TestInfo &) override { RestoreFileCalls(); }
  void OnTestEnd(const testing::TestInfo &) override {
    RestoreFileCalls();
    for (const OpenedFile &opened : OpenedFiles) {
      // Still open: the reference leads to the file it was opened for.
      if (!IsSameFile(SystemFileCalls.IdentifyOpen(opened.File), opened.Identity)) continue;
      ADD_FAILURE() << "a file opened in this test was never closed";
      SystemFileCalls.Close(opened.File);
    }
    OpenedFiles.clear();
  }
};

const bool Guarded = [] {
  testing::UnitTest::GetInstance()->listeners().Append(new FileTableGuard);
  return true;
}();

}  // namespace

const FileSystemCalls HarnessCalls = {
    OpenForReading, SizeOf,        ReadAt,          CreateNew,       CreateVanishing,
    OpenExisting,   IdentifyOpen,  FileIndexOf,     Identify,        Write,
    Truncate,       SetTime,       Close,           MoveNoReplace,   MoveReplacing,
    Remove,         MakeDirectories, MakeDirectory, CopyAccess,      KindOf,
    ListDirectory,  Sync,          SystemFileCalls.StartWriteBack, OpenForAppending,
    OpenDirectory,  CreateUnnamed, LinkUnnamed,
};

void FailCall(FileCall call, int nth, int error, bool onward, FileRef only) {
  Faults[call] = {nth, 0, error, onward, only};
}

int CallsMade(FileCall call) { return Made[call]; }

void RestoreFileCalls() {
  FileSystem = HarnessCalls;
  for (int call = 0; call < FileCallCount; ++call) {
    Faults[call] = {0, 0, 0, false, NoFile};
    Made[call] = 0;
  }
}
