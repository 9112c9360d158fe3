// Every call the folder reader and vfolder make on files, in one table. The
// product uses the system's own calls; a test puts others in their place to
// make one fail on purpose (a full disk, a close that reports lost data), on
// every build and without root.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/file_identity.h"
#include "platform/win_types.h"

// An open file: a HANDLE on Windows, a descriptor elsewhere.
typedef intptr_t FileRef;
const FileRef NoFile = -1;

// What is at a path.
enum PathKind { PathMissing, PathRegular, PathDirectory, PathLink, PathOther };

// Who a file or directory that is made may use: whoever the system's default
// lets in (the umask), or its owner alone, as mail programs keep mail. On
// Windows both are the same: a new file takes the permissions its directory
// hands down.
enum FileAccess { DefaultAccess, OwnerOnly };

// Takes one name of a directory's entries.
typedef void (*DirectoryEntrySink)(void *context, const char *name);

// What OpenExisting found at a path.
struct FoundFile {
  FileIdentity Identity;
  bool Regular;  // a plain file: no directory, device, pipe or socket
  uint32_t Links;  // the names it has: more than one, and another may lie outside
};

struct FileSystemCalls {
  // Opens the regular file at `path` for reading, denying other programs
  // nothing: the mail program may go on writing, renaming or deleting it.
  // NoFile when it is missing, unreadable or no regular file; a pipe or a
  // device is never waited on.
  FileRef (*OpenForReading)(const char *path);

  // The size of an open file in bytes; -1 when it cannot be told.
  int64_t (*SizeOf)(FileRef file);

  // Reads up to `size` bytes at `offset` without moving the file's position.
  // Returns the count read: fewer than `size` at the end of the file or on an
  // error.
  size_t (*ReadAt)(FileRef file, uint64_t offset, void *buffer, size_t size);

  // Creates `path` as a new file for writing that others may read, open to
  // those `access` lets in. NoFile when it cannot; `*exists` then tells
  // whether something of that name (a file, a directory, a link, even a
  // dangling one) is there already.
  FileRef (*CreateNew)(const char *path, FileAccess access, bool *exists);

  // Creates a file for writing, open to its owner alone, that is gone once
  // closed, even when the process is killed first: without any name in the
  // directory of `path` where the system allows it (Linux), else as `path`
  // that the system removes on the close (Windows), else as `path` removed
  // at once while it stays open. NoFile and `*exists` as for CreateNew.
  FileRef (*CreateVanishing)(const char *path, bool *exists);

  // Opens what is at `path` for reading and writing without emptying it and
  // fills `*found`. Never opens through a symbolic link or a mount point and
  // never waits on a pipe: NoFile for those, as for what cannot be opened.
  FileRef (*OpenExisting)(const char *path, FoundFile *found);

  // The identity of an open file; Exists is false when it cannot be told.
  FileIdentity (*IdentifyOpen)(FileRef file);

  // The number that tells an open file from every other file of its volume:
  // the file index (the inode elsewhere), which is far cheaper to ask for
  // than the whole identity. 0 when it cannot be told.
  uint64_t (*FileIndexOf)(FileRef file);

  // The identity of the file `path` leads to, links followed.
  FileIdentity (*Identify)(const char *path);

  // Writes all `size` bytes at the file's position. False when they could not
  // all be written.
  bool (*Write)(FileRef file, const void *bytes, size_t size);

  // Makes the file `size` bytes long and puts its position there.
  bool (*Truncate)(FileRef file, uint64_t size);

  // Gives the file the last-write time `time`, and the creation time where
  // the system keeps one.
  bool (*SetTime)(FileRef file, const FILETIME &time);

  // Closes the file. False when the system says that written data was lost;
  // the file is closed either way.
  bool (*Close)(FileRef file);

  // Gives the file `from` the name `to` only if nothing is at `to`: never
  // replaces a file, even one that appears at the same moment. `*taken` tells
  // that something was at `to`.
  bool (*MoveNoReplace)(const char *from, const char *to, bool *taken);

  // Gives the file `from` the name `to`, replacing a file there.
  bool (*MoveReplacing)(const char *from, const char *to);

  // Removes the file `path` (not a directory).
  bool (*Remove)(const char *path);

  // Makes the directory `path` and each missing one on the way to it, open to
  // those `access` lets in. True when `path` is a directory afterwards, made
  // now or there before.
  bool (*MakeDirectories)(const char *path, FileAccess access);

  // Makes the directory `path`, open to those `access` lets in. False when it
  // cannot; `*exists` then tells whether something of that name is there
  // already.
  bool (*MakeDirectory)(const char *path, FileAccess access, bool *exists);

  // Gives the file `to` the permissions of the file `from`, so that a file
  // that takes another's place lets in whom that one did. Nothing on Windows,
  // where both have their directory's.
  bool (*CopyAccess)(FileRef from, FileRef to);

  // What is at `path`: with `follow_links`, what the links lead to; without,
  // a symbolic link (on Windows, also a mount point) is PathLink.
  PathKind (*KindOf)(const char *path, bool follow_links);

  // Hands `sink` the name of every entry of the directory `path` but "." and
  // "..", in the system's order. False when it cannot be read to its end.
  bool (*ListDirectory)(const char *path, DirectoryEntrySink sink, void *context);

  // Waits until what was written to the file is on the disk; with `volume`,
  // where the system can (Linux), everything written to any file of its
  // volume, names given by renames too: one wait for many files.
  bool (*Sync)(FileRef file, bool volume);

  // Starts putting the file's `size` bytes at `offset`, written already, on
  // the disk, and returns without waiting for them: a later Sync then waits
  // only for what is still on the way. A hint: false where the system takes
  // none (elsewhere than on Linux) or it cannot be given now, and nothing
  // else changes. On Linux a thread of the process gives it, started by the
  // first call.
  bool (*StartWriteBack)(FileRef file, uint64_t offset, uint64_t size);

  // Opens the file at `path` for reading and for writing at its end, made
  // where missing and then open to those `access` lets in; never through a
  // symbolic link elsewhere than on Windows. Each write goes to the end
  // where the system can (POSIX), even past what another program appended
  // meanwhile; on Windows to the position, which starts at the end. NoFile
  // when it cannot.
  FileRef (*OpenForAppending)(const char *path, FileAccess access);

  // Opens the directory at `path` for CreateUnnamed and LinkUnnamed, which
  // then look up nothing on the way to it again; Close closes it. NoFile
  // where there is no directory, and on Windows, which makes no files
  // without a name.
  FileRef (*OpenDirectory)(const char *path);

  // Creates a file for writing in the directory `dir`, open to its owner
  // alone, that has no name until LinkUnnamed gives it one: no reader of the
  // directory sees it half-written, and it is gone once closed unnamed, even
  // when the process is killed first. NoFile where the file system makes no
  // such files (some network ones), as where it cannot make one.
  FileRef (*CreateUnnamed)(FileRef dir);

  // Gives a file CreateUnnamed made the name `name` in its directory `dir`,
  // only if nothing has that name there; `*taken` tells that something had.
  bool (*LinkUnnamed)(FileRef file, FileRef dir, const char *name, bool *taken);
};

// The calls in use.
extern FileSystemCalls FileSystem;

// Whether Sync with `volume` reaches every file of the volume (Linux);
// elsewhere each file written is synced on its own.
extern const bool SyncReachesVolume;

// The system's own calls, for a test to go back to.
extern const FileSystemCalls SystemFileCalls;

// Where the file system tells the case of letters apart, the path of the file
// that Windows would open for `path` when nothing has that exact name: the
// one entry of its directory whose name equals the path's last name ignoring
// the case of A-Z. A new heap text (free it), or null when the exact name is
// there, when no entry or several match, or on Windows, whose file systems
// fold names themselves.
char *PathInOtherCase(const char *path);

#ifdef _WIN32
// The system's own calls for paths in UTF-8, of any length and any letters
// (SystemFileCalls take paths in the code page of the process's file
// functions, up to 259 characters).
extern const FileSystemCalls Utf8PathFileCalls;
#endif

// The error number the last failed call left: errno, or GetLastError() on
// Windows.
int LastSystemError();
