// The file calls on POSIX systems.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/file_system.h"
#include "platform/write_back.h"

namespace {

FileIdentity IdentityOf(const struct stat &info) {
  return FileIdentity{true, uint64_t(info.st_dev), uint64_t(info.st_ino)};
}

// Opens without waiting on a pipe or device, then takes the wait back for
// the regular files that are kept.
int OpenNonBlocking(const char *path, int flags, struct stat *info) {
  const int descriptor = open(path, flags | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (descriptor == -1) return -1;
  if (fstat(descriptor, info) != 0 ||
      fcntl(descriptor, F_SETFL, fcntl(descriptor, F_GETFL) & ~O_NONBLOCK) != 0) {
    const int error = errno;
    close(descriptor);
    errno = error;
    return -1;
  }
  return descriptor;
}

FileRef OpenForReading(const char *path) {
  struct stat info;
  const int descriptor = OpenNonBlocking(path, O_RDONLY, &info);
  if (descriptor == -1) return NoFile;
  if (!S_ISREG(info.st_mode)) {
    close(descriptor);
    errno = S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
    return NoFile;
  }
  return descriptor;
}

int64_t SizeOf(FileRef file) {
  struct stat info;
  return fstat(int(file), &info) == 0 ? int64_t(info.st_size) : -1;
}

size_t ReadAt(FileRef file, uint64_t offset, void *buffer, size_t size) {
  size_t got = 0;
  while (got < size) {
    const ssize_t read = pread(int(file), static_cast<char *>(buffer) + got, size - got,
                               off_t(offset + got));
    if (read < 0 && errno == EINTR) continue;
    if (read <= 0) break;
    got += size_t(read);
  }
  return got;
}

mode_t ModeFor(FileAccess access, mode_t shared) { return access == OwnerOnly ? shared & 0700 : shared; }

FileRef CreateNew(const char *path, FileAccess access, bool *exists) {
  // O_EXCL makes the file only where no name is, and follows no link.
  const int descriptor =
      open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, ModeFor(access, 0666));
  *exists = descriptor == -1 && errno == EEXIST;
  return descriptor == -1 ? NoFile : descriptor;
}

FileRef CreateVanishing(const char *path, bool *exists) {
  *exists = false;
#ifdef O_TMPFILE
  const char *slash = strrchr(path, '/');
  const std::string dir = slash == nullptr ? "." : slash == path ? "/" : std::string(path, slash);
  const int unnamed = open(dir.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
  // File systems without unnamed files answer one of these; any other
  // answer is the directory's own.
  if (unnamed != -1 || (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL))
    return unnamed == -1 ? NoFile : unnamed;
#endif
  const int named = open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  *exists = named == -1 && errno == EEXIST;
  if (named != -1) unlink(path);
  return named == -1 ? NoFile : named;
}

FileRef OpenExisting(const char *path, FoundFile *found) {
  struct stat info;
  const int descriptor = OpenNonBlocking(path, O_RDWR | O_NOFOLLOW, &info);
  if (descriptor == -1) return NoFile;
  found->Identity = IdentityOf(info);
  found->Regular = S_ISREG(info.st_mode);
  found->Links = uint32_t(info.st_nlink);
  return descriptor;
}

FileIdentity IdentifyOpen(FileRef file) {
  struct stat info;
  return fstat(int(file), &info) == 0 ? IdentityOf(info) : FileIdentity{};
}

uint64_t FileIndexOf(FileRef file) {
  struct stat info;
  return fstat(int(file), &info) == 0 ? uint64_t(info.st_ino) : 0;
}

FileIdentity Identify(const char *path) {
  struct stat info;
  return stat(path, &info) == 0 ? IdentityOf(info) : FileIdentity{};
}

bool Write(FileRef file, const void *bytes, size_t size) {
  const char *at = static_cast<const char *>(bytes);
  while (size > 0) {
    const ssize_t written = write(int(file), at, size);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      if (written == 0) errno = ENOSPC;
      return false;
    }
    at += written;
    size -= size_t(written);
  }
  return true;
}

bool Truncate(FileRef file, uint64_t size) {
  return ftruncate(int(file), off_t(size)) == 0 && lseek(int(file), off_t(size), SEEK_SET) != -1;
}

bool SetTime(FileRef file, const FILETIME &time) {
  // File times count 100 ns from 1601; POSIX times count from 1970.
  const uint64_t ticks = uint64_t(time.dwHighDateTime) << 32 | time.dwLowDateTime;
  struct timespec times[2];
  times[0].tv_sec = 0;
  times[0].tv_nsec = UTIME_OMIT;
  times[1].tv_sec = time_t(int64_t(ticks / 10000000u) - 11644473600);
  times[1].tv_nsec = long(ticks % 10000000u) * 100;
  return futimens(int(file), times) == 0;
}

bool Close(FileRef file) {
  // The descriptor is gone even when close reports an error; never retried.
  return close(int(file)) == 0;
}

bool MoveNoReplace(const char *from, const char *to, bool *taken) {
  *taken = false;
  // One call where the file system can; rename() alone would replace.
  if (renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0) return true;
  if (errno == EEXIST) {
    *taken = true;
    return false;
  }
  if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return false;
  // A hard link is made only under a free name.
  if (link(from, to) == 0) {
    unlink(from);
    return true;
  }
  if (errno == EEXIST) {
    *taken = true;
    return false;
  }
  // File systems without hard links: look first, then rename.
  struct stat status;
  if (lstat(to, &status) == 0) {
    *taken = true;
    errno = EEXIST;
    return false;
  }
  return errno == ENOENT && rename(from, to) == 0;
}

bool MoveReplacing(const char *from, const char *to) { return rename(from, to) == 0; }

bool Remove(const char *path) { return unlink(path) == 0; }

// True when `path` is a directory; else false with the error left before,
// which a look that finds nothing must not replace.
bool IsDirectoryAfter(const char *path) {
  const int error = errno;
  struct stat info;
  if (path[0] != '\0' && stat(path, &info) == 0) {
    errno = ENOTDIR;
    return S_ISDIR(info.st_mode);
  }
  errno = error;
  return false;
}

bool MakeDirectories(const char *path, FileAccess access) {
  // The reason is that of the first step that was not there and could not
  // be made: a read-only file system, not the missing steps after it.
  int error = 0;
  std::string way = path;
  for (size_t at = way.find('/', 1); at != std::string::npos; at = way.find('/', at + 1)) {
    way[at] = '\0';
    if (mkdir(way.c_str(), ModeFor(access, 0777)) != 0 && errno != EEXIST && error == 0) error = errno;
    way[at] = '/';
  }
  if (mkdir(path, ModeFor(access, 0777)) != 0 && errno != EEXIST && error == 0) error = errno;
  errno = error;
  return IsDirectoryAfter(path);
}

bool MakeDirectory(const char *path, FileAccess access, bool *exists) {
  const bool made = mkdir(path, ModeFor(access, 0777)) == 0;
  *exists = !made && errno == EEXIST;
  return made;
}

bool CopyAccess(FileRef from, FileRef to) {
  struct stat info;
  return fstat(int(from), &info) == 0 && fchmod(int(to), info.st_mode & 0777) == 0;
}

PathKind KindOf(const char *path, bool follow_links) {
  struct stat info;
  if ((follow_links ? stat(path, &info) : lstat(path, &info)) != 0) return PathMissing;
  if (S_ISREG(info.st_mode)) return PathRegular;
  if (S_ISDIR(info.st_mode)) return PathDirectory;
  return S_ISLNK(info.st_mode) ? PathLink : PathOther;
}

bool ListDirectory(const char *path, DirectoryEntrySink sink, void *context) {
  DIR *dir = opendir(path);
  if (dir == nullptr) return false;
  for (;;) {
    errno = 0;
    const dirent *entry = readdir(dir);
    if (entry == nullptr) break;
    const char *name = entry->d_name;
    if (strcmp(name, ".") != 0 && strcmp(name, "..") != 0) sink(context, name);
  }
  const bool complete = errno == 0;
  closedir(dir);
  return complete;
}

bool Sync(FileRef file, bool volume) {
#ifdef __linux__
  if (volume) return syncfs(int(file)) == 0;
#else
  (void)volume;
#endif
  return fsync(int(file)) == 0;
}

FileRef OpenForAppending(const char *path, FileAccess access) {
  const int descriptor =
      open(path, O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC | O_NOFOLLOW, ModeFor(access, 0666));
  return descriptor == -1 ? NoFile : descriptor;
}

FileRef OpenDirectory(const char *path) {
  const int descriptor = open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  return descriptor == -1 ? NoFile : descriptor;
}

FileRef CreateUnnamed(FileRef dir) {
#ifdef O_TMPFILE
  const int unnamed = openat(int(dir), ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
  return unnamed == -1 ? NoFile : unnamed;
#else
  (void)dir;
  errno = ENOTSUP;
  return NoFile;
#endif
}

bool LinkUnnamed(FileRef file, FileRef dir, const char *name, bool *taken) {
  *taken = false;
#ifdef AT_EMPTY_PATH
  // Linux before 6.10 links an open file so only for those who may link any
  // (ENOENT for the others); its name under /proc is the way for everyone.
  if (linkat(int(file), "", int(dir), name, AT_EMPTY_PATH) == 0) return true;
  if (errno == ENOENT) {
    char own[40];
    snprintf(own, sizeof own, "/proc/self/fd/%d", int(file));
    if (linkat(AT_FDCWD, own, int(dir), name, AT_SYMLINK_FOLLOW) == 0) return true;
  }
  *taken = errno == EEXIST;
#else
  (void)file;
  (void)dir;
  (void)name;
  errno = ENOTSUP;
#endif
  return false;
}

}  // namespace

const bool SyncReachesVolume = true;

constexpr FileSystemCalls SystemFileCalls = {
    OpenForReading, SizeOf,        ReadAt,          CreateNew,       CreateVanishing,
    OpenExisting,   IdentifyOpen,  FileIndexOf,     Identify,        Write,
    Truncate,       SetTime,       Close,           MoveNoReplace,   MoveReplacing,
    Remove,         MakeDirectories, MakeDirectory, CopyAccess,      KindOf,
    ListDirectory,  Sync,          StartWriteBack,  OpenForAppending, OpenDirectory,
    CreateUnnamed,  LinkUnnamed,
};

FileSystemCalls FileSystem = SystemFileCalls;

int LastSystemError() { return errno; }
