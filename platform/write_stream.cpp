#include "platform/write_stream.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>

namespace {

bool IsKept(const BY_HANDLE_FILE_INFORMATION &info, const FileIdentity *keep, int keep_count) {
  const FileIdentity found = {true, info.dwVolumeSerialNumber,
                              uint64_t(info.nFileIndexHigh) << 32 | info.nFileIndexLow};
  for (int i = 0; i < keep_count; ++i)
    if (IsSameFile(found, keep[i])) return true;
  return false;
}

// An existing file, opened without emptying it, and emptied only when it is
// a regular file that need not be kept.
HANDLE OpenExistingForWriting(const char *path, const FileIdentity *keep, int keep_count) {
  HANDLE file = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return file;
  BY_HANDLE_FILE_INFORMATION info;
  if (GetFileType(file) == FILE_TYPE_DISK && GetFileInformationByHandle(file, &info) &&
      !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !IsKept(info, keep, keep_count) &&
      SetEndOfFile(file))
    return file;
  CloseHandle(file);
  return INVALID_HANDLE_VALUE;
}

}  // namespace

// CreateFileA takes the path in the code page the host switched the process's
// file functions to, as the panel shows the names; the C library's fopen
// would take it in another.
FILE *CreateForWriting(const char *path, const FileIdentity *keep, int keep_count, char *buffer,
                       size_t buffer_size) {
  HANDLE file = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE && GetLastError() == ERROR_FILE_EXISTS)
    file = OpenExistingForWriting(path, keep, keep_count);
  if (file == INVALID_HANDLE_VALUE) return nullptr;
  const int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(file), _O_WRONLY | _O_BINARY);
  if (descriptor == -1) {
    CloseHandle(file);
    return nullptr;
  }
  FILE *stream = _fdopen(descriptor, "wb");
  if (stream == nullptr) {
    _close(descriptor);
    return nullptr;
  }
  setvbuf(stream, buffer, _IOFBF, buffer_size);
  return stream;
}

bool FlushWithFileTime(FILE *stream, const FILETIME &time) {
  if (fflush(stream) != 0) return false;
  HANDLE file = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
  return file != INVALID_HANDLE_VALUE && SetFileTime(file, &time, nullptr, &time);
}

#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

namespace {

FILE *OpenExistingForWriting(const char *path, const FileIdentity *keep, int keep_count) {
  const int descriptor = open(path, O_WRONLY | O_NONBLOCK | O_CLOEXEC);
  if (descriptor == -1) return nullptr;
  struct stat info;
  bool usable = fstat(descriptor, &info) == 0 && S_ISREG(info.st_mode);
  const FileIdentity found = {true, uint64_t(info.st_dev), uint64_t(info.st_ino)};
  for (int i = 0; usable && i < keep_count; ++i) usable = !IsSameFile(found, keep[i]);
  FILE *stream = nullptr;
  if (usable && ftruncate(descriptor, 0) == 0 &&
      fcntl(descriptor, F_SETFL, fcntl(descriptor, F_GETFL) & ~O_NONBLOCK) == 0)
    stream = fdopen(descriptor, "wb");
  if (stream == nullptr) close(descriptor);
  return stream;
}

}  // namespace

FILE *CreateForWriting(const char *path, const FileIdentity *keep, int keep_count, char *buffer,
                       size_t buffer_size) {
  // "x" makes the file only where there is none (O_EXCL).
  FILE *stream = fopen(path, "wbxe");
  if (stream == nullptr && errno == EEXIST)
    stream = OpenExistingForWriting(path, keep, keep_count);
  if (stream != nullptr) setvbuf(stream, buffer, _IOFBF, buffer_size);
  return stream;
}

bool FlushWithFileTime(FILE *stream, const FILETIME &time) {
  if (fflush(stream) != 0) return false;
  // File times count 100 ns from 1601; POSIX times count from 1970.
  const uint64_t ticks = uint64_t(time.dwHighDateTime) << 32 | time.dwLowDateTime;
  struct timespec times[2];
  times[0].tv_sec = 0;
  times[0].tv_nsec = UTIME_OMIT;
  times[1].tv_sec = time_t(int64_t(ticks / 10000000u) - 11644473600);
  times[1].tv_nsec = long(ticks % 10000000u) * 100;
  return futimens(fileno(stream), times) == 0;
}
#endif
