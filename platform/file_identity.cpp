#include "platform/file_identity.h"

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

FileIdentity IdentifyFile(const char *path) {
  FileIdentity identity = {};
  // Asking for no access rights at all neither disturbs nor is refused by
  // another program that has the file open.
  HANDLE file = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return identity;
  BY_HANDLE_FILE_INFORMATION info;
  if (GetFileInformationByHandle(file, &info)) {
    identity.Exists = true;
    identity.Volume = info.dwVolumeSerialNumber;
    identity.Index = uint64_t(info.nFileIndexHigh) << 32 | info.nFileIndexLow;
  }
  CloseHandle(file);
  return identity;
}

#else
#include <sys/stat.h>

FileIdentity IdentifyFile(const char *path) {
  FileIdentity identity = {};
  struct stat info;
  if (stat(path, &info) == 0) {
    identity.Exists = true;
    identity.Volume = uint64_t(info.st_dev);
    identity.Index = uint64_t(info.st_ino);
  }
  return identity;
}
#endif
