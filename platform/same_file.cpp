#include "platform/same_file.h"

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

namespace {

bool FileIdentity(const char *path, BY_HANDLE_FILE_INFORMATION *info) {
  // Asking for no access rights at all neither disturbs nor is refused by
  // another program that has the file open.
  HANDLE file = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  const bool known = GetFileInformationByHandle(file, info) != 0;
  CloseHandle(file);
  return known;
}

}  // namespace

bool IsSameFile(const char *path_a, const char *path_b) {
  BY_HANDLE_FILE_INFORMATION a, b;
  return FileIdentity(path_a, &a) && FileIdentity(path_b, &b) &&
         a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
         a.nFileIndexLow == b.nFileIndexLow;
}

#else
#include <sys/stat.h>

bool IsSameFile(const char *path_a, const char *path_b) {
  struct stat a, b;
  return stat(path_a, &a) == 0 && stat(path_b, &b) == 0 && a.st_dev == b.st_dev &&
         a.st_ino == b.st_ino;
}
#endif
