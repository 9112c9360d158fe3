// The file calls on Windows. Paths go to the system's "A" calls, which take
// them in the code page the host switched the process's file functions to,
// as the panel shows the names; the C library's own opening may take them in
// another.
#include "platform/file_system.h"

#include <cstdlib>
#include <cstring>

namespace {

HANDLE Handle(FileRef file) { return reinterpret_cast<HANDLE>(file); }
FileRef Ref(HANDLE handle) { return reinterpret_cast<FileRef>(handle); }

FileIdentity IdentityOf(const BY_HANDLE_FILE_INFORMATION &info) {
  return FileIdentity{true, info.dwVolumeSerialNumber,
                      uint64_t(info.nFileIndexHigh) << 32 | info.nFileIndexLow};
}

HANDLE OpenPath(const char *path, DWORD access, DWORD share, DWORD disposition, DWORD flags) {
  return CreateFileA(path, access, share, nullptr, disposition, flags, nullptr);
}

const DWORD ShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

FileRef OpenForReading(const char *path) {
  // Sharing delete too: the C library leaves it out, which would stop the
  // mail program from renaming a folder file while the panel shows it.
  HANDLE file = OpenPath(path, GENERIC_READ, ShareAll, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL);
  if (file == INVALID_HANDLE_VALUE) return NoFile;
  if (GetFileType(file) != FILE_TYPE_DISK) {
    CloseHandle(file);
    SetLastError(ERROR_INVALID_FUNCTION);
    return NoFile;
  }
  return Ref(file);
}

int64_t SizeOf(FileRef file) {
  LARGE_INTEGER size;
  return GetFileSizeEx(Handle(file), &size) ? int64_t(size.QuadPart) : -1;
}

size_t ReadAt(FileRef file, uint64_t offset, void *buffer, size_t size) {
  size_t got = 0;
  while (got < size) {
    OVERLAPPED at = {};
    at.Offset = DWORD(offset + got);
    at.OffsetHigh = DWORD((offset + got) >> 32);
    const DWORD wanted = size - got < 0x40000000 ? DWORD(size - got) : 0x40000000;
    DWORD read = 0;
    if (!ReadFile(Handle(file), static_cast<char *>(buffer) + got, wanted, &read, &at) ||
        read == 0)
      break;
    got += read;
  }
  return got;
}

FileRef CreateNew(const char *path, bool *exists) {
  HANDLE file = OpenPath(path, GENERIC_WRITE, FILE_SHARE_READ, CREATE_NEW, FILE_ATTRIBUTE_NORMAL);
  const DWORD error = GetLastError();
  *exists = file == INVALID_HANDLE_VALUE &&
            (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS);
  return file == INVALID_HANDLE_VALUE ? NoFile : Ref(file);
}

FileRef OpenExisting(const char *path, FoundFile *found) {
  // The reparse point itself, never what it leads to.
  HANDLE file = OpenPath(path, GENERIC_WRITE, FILE_SHARE_READ, OPEN_EXISTING,
                         FILE_FLAG_OPEN_REPARSE_POINT);
  if (file == INVALID_HANDLE_VALUE) return NoFile;
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(file, &info) ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    CloseHandle(file);
    SetLastError(ERROR_CANT_ACCESS_FILE);
    return NoFile;
  }
  found->Identity = IdentityOf(info);
  found->Regular = GetFileType(file) == FILE_TYPE_DISK &&
                   !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
  return Ref(file);
}

FileIdentity IdentifyOpen(FileRef file) {
  BY_HANDLE_FILE_INFORMATION info;
  return GetFileInformationByHandle(Handle(file), &info) ? IdentityOf(info) : FileIdentity{};
}

FileIdentity Identify(const char *path) {
  // No access rights at all neither disturbs nor is refused by another
  // program that has the file open.
  HANDLE file = OpenPath(path, 0, ShareAll, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS);
  if (file == INVALID_HANDLE_VALUE) return FileIdentity{};
  const FileIdentity identity = IdentifyOpen(Ref(file));
  CloseHandle(file);
  return identity;
}

bool Write(FileRef file, const void *bytes, size_t size) {
  const char *at = static_cast<const char *>(bytes);
  while (size > 0) {
    const DWORD wanted = size < 0x40000000 ? DWORD(size) : 0x40000000;
    DWORD written = 0;
    if (!WriteFile(Handle(file), at, wanted, &written, nullptr)) return false;
    if (written == 0) {
      SetLastError(ERROR_DISK_FULL);
      return false;
    }
    at += written;
    size -= written;
  }
  return true;
}

bool Truncate(FileRef file, uint64_t size) {
  LARGE_INTEGER at;
  at.QuadPart = LONGLONG(size);
  return SetFilePointerEx(Handle(file), at, nullptr, FILE_BEGIN) && SetEndOfFile(Handle(file));
}

bool SetTime(FileRef file, const FILETIME &time) {
  return SetFileTime(Handle(file), &time, nullptr, &time) != 0;
}

bool Close(FileRef file) { return CloseHandle(Handle(file)) != 0; }

bool MoveNoReplace(const char *from, const char *to, bool *taken) {
  // Without MOVEFILE_REPLACE_EXISTING the system refuses a name in use.
  const bool moved = MoveFileExA(from, to, 0) != 0;
  const DWORD error = GetLastError();
  *taken = !moved && (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS);
  return moved;
}

bool MoveReplacing(const char *from, const char *to) {
  return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING) != 0;
}

bool Remove(const char *path) { return DeleteFileA(path) != 0; }

bool MakeDirectory(const char *path, bool *exists) {
  const bool made = CreateDirectoryA(path, nullptr) != 0;
  *exists = !made && GetLastError() == ERROR_ALREADY_EXISTS;
  return made;
}

PathKind KindOf(const char *path, bool follow_links) {
  DWORD attributes = GetFileAttributesA(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) return PathMissing;
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
    if (!follow_links) return PathLink;
    // What the link leads to: the attributes of the file opened through it.
    HANDLE file = OpenPath(path, 0, ShareAll, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS);
    BY_HANDLE_FILE_INFORMATION info;
    const bool known = file != INVALID_HANDLE_VALUE && GetFileInformationByHandle(file, &info);
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    if (!known) return PathMissing;
    attributes = info.dwFileAttributes;
  }
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return PathDirectory;
  return attributes & FILE_ATTRIBUTE_DEVICE ? PathOther : PathRegular;
}

bool ListDirectory(const char *path, DirectoryEntrySink sink, void *context) {
  const size_t length = strlen(path);
  char *pattern = static_cast<char *>(malloc(length + 3));
  if (pattern == nullptr) return false;
  memcpy(pattern, path, length);
  memcpy(pattern + length, "\\*", 3);
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA(pattern, &found);
  free(pattern);
  if (search == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND;
  do {
    if (strcmp(found.cFileName, ".") != 0 && strcmp(found.cFileName, "..") != 0)
      sink(context, found.cFileName);
  } while (FindNextFileA(search, &found));
  const bool complete = GetLastError() == ERROR_NO_MORE_FILES;
  FindClose(search);
  return complete;
}

}  // namespace

constexpr FileSystemCalls SystemFileCalls = {
    OpenForReading, SizeOf, ReadAt,  CreateNew, OpenExisting,  IdentifyOpen,  Identify, Write,
    Truncate,       SetTime, Close,  MoveNoReplace, MoveReplacing, Remove,
    MakeDirectory,  KindOf,  ListDirectory,
};

FileSystemCalls FileSystem = SystemFileCalls;

int LastSystemError() { return int(GetLastError()); }
