// The FileSystem table as every test runs with it: the system's calls,
// counted, any of which a test makes fail on purpose (a full disk on the
// third write, a close that loses data, a sync that fails from now on), and
// a check at each test's end that every file it opened was closed.
#pragma once

#include "platform/file_system.h"

// The calls of the table, by name.
enum FileCall {
  OpenForReadingCall,
  SizeOfCall,
  ReadAtCall,
  CreateNewCall,
  OpenExistingCall,
  IdentifyOpenCall,
  FileIndexOfCall,
  IdentifyCall,
  WriteCall,
  TruncateCall,
  SetTimeCall,
  CloseCall,
  MoveNoReplaceCall,
  MoveReplacingCall,
  RemoveCall,
  MakeDirectoriesCall,
  MakeDirectoryCall,
  CopyAccessCall,
  KindOfCall,
  ListDirectoryCall,
  SyncCall,
  OpenForAppendingCall,
  FileCallCount
};

// From now on the `nth` call of `call` (1: the next one) fails and leaves
// `error` as the system's (errno, or GetLastError() on Windows); with
// `onward`, so does every one after it. A call fails as the system's own
// does: nothing is opened, written, moved or made (a close closes the file
// all the same), a read gets nothing, and `*exists` or `*taken` tells
// whether `error` is the one for a name in use. With `only`, the calls
// counted are those on that open file alone. Another fault armed before for
// the same kind of call is disarmed.
void FailCall(FileCall call, int nth, int error, bool onward = false, FileRef only = NoFile);

// The calls of `call` made since the table was last restored.
int CallsMade(FileCall call);

// The harness's calls, no failure armed, the counts at 0: what each test
// starts and ends with, and what a test that put stand-ins of its own into
// FileSystem goes back to.
void RestoreFileCalls();

// The harness's calls themselves, for a stand-in to call through, so that
// the files it opens are tracked and its calls counted and made to fail.
extern const FileSystemCalls HarnessCalls;

// This system's error numbers for the faults the tests make.
extern const int DiskFull, AccessDenied, IoError, NameTaken;

// Leaves `error` as the one the last failed call left.
void SetSystemError(int error);
