// The file calls on Windows, in two sets that differ only in how they take
// paths. SystemFileCalls give them to the system's "A" calls, which take them
// in the code page the host switched the process's file functions to, as the
// old interface's panel shows the names; the C library's own opening may take
// them in another. Utf8PathFileCalls take UTF-8 and give the "W" calls the
// full path with the long-path prefix, so that any letters and any length
// reach the file system.
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "platform/file_system.h"
#include "platform/wide_text.h"

namespace {

enum PathMode { CodePagePaths, Utf8Paths };

HANDLE Handle(FileRef file) { return reinterpret_cast<HANDLE>(file); }
FileRef Ref(HANDLE handle) { return reinterpret_cast<FileRef>(handle); }

FileIdentity IdentityOf(const BY_HANDLE_FILE_INFORMATION &info) {
  return FileIdentity{true, info.dwVolumeSerialNumber,
                      uint64_t(info.nFileIndexHigh) << 32 | info.nFileIndexLow};
}

// The UTF-8 `path` as a full UTF-16 path with the long-path prefix ("\\?\",
// or "\\?\UNC\" for a share), which the system takes as it stands: no
// length limit, no name turned into a device. Null when it is no path (the
// error is then set); free it.
wchar_t *LongWidePath(const char *path) {
  const int size = MultiByteToWideChar(CP_UTF8, 0, path, -1, nullptr, 0);
  wchar_t *wide =
      size > 1 ? static_cast<wchar_t *>(malloc(size_t(size) * sizeof(wchar_t))) : nullptr;
  if (wide == nullptr) {
    SetLastError(size > 1 ? ERROR_NOT_ENOUGH_MEMORY : ERROR_PATH_NOT_FOUND);
    return nullptr;
  }
  MultiByteToWideChar(CP_UTF8, 0, path, -1, wide, size);
  if (wcsncmp(wide, L"\\\\?\\", 4) == 0) return wide;
  // The full path without "." and ".." steps and with one kind of separator,
  // as the prefix needs it.
  const DWORD full_size = GetFullPathNameW(wide, 0, nullptr, nullptr);
  wchar_t *full =
      full_size > 0 ? static_cast<wchar_t *>(malloc((full_size + 8) * sizeof(wchar_t))) : nullptr;
  DWORD length = 0;
  if (full != nullptr) length = GetFullPathNameW(wide, full_size, full + 8, nullptr);
  free(wide);
  if (full == nullptr || length == 0 || length >= full_size) {
    if (full == nullptr && full_size > 0) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    free(full);
    return nullptr;
  }
  wchar_t *at = full + 8;
  if (wcsncmp(at, L"\\\\", 2) == 0 && wcsncmp(at, L"\\\\.\\", 4) != 0) {
    at += 2 - 8;  // \\server\share: over the two backslashes
    wmemcpy(at, L"\\\\?\\UNC\\", 8);
  } else if (at[0] != L'\\') {
    at -= 4;  // C:\...
    wmemcpy(at, L"\\\\?\\", 4);
  }
  memmove(full, at, (wcslen(at) + 1) * sizeof(wchar_t));
  return full;
}

// Keeps the error of the call that failed across the release of its path.
template <typename T>
T KeepingError(T result, wchar_t *wide) {
  const DWORD error = GetLastError();
  free(wide);
  SetLastError(error);
  return result;
}

template <PathMode Mode>
HANDLE OpenPath(const char *path, DWORD access, DWORD share, DWORD disposition, DWORD flags) {
  if constexpr (Mode == CodePagePaths)
    return CreateFileA(path, access, share, nullptr, disposition, flags, nullptr);
  wchar_t *wide = LongWidePath(path);
  if (wide == nullptr) return INVALID_HANDLE_VALUE;
  return KeepingError(CreateFileW(wide, access, share, nullptr, disposition, flags, nullptr),
                      wide);
}

template <PathMode Mode>
bool MovePath(const char *from, const char *to, DWORD flags) {
  if constexpr (Mode == CodePagePaths) return MoveFileExA(from, to, flags) != 0;
  wchar_t *wide_from = LongWidePath(from);
  wchar_t *wide_to = wide_from != nullptr ? LongWidePath(to) : nullptr;
  const bool moved = wide_to != nullptr && MoveFileExW(wide_from, wide_to, flags) != 0;
  free(wide_from);
  return KeepingError(moved, wide_to);
}

const DWORD ShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

bool QueryFile(HANDLE file, void *information, ULONG size, int kind);

// Only symbolic links and mount points (junctions) lead elsewhere; other
// reparse points (cloud placeholders, deduplicated files) mark ordinary
// files and directories. A file whose tag cannot be told counts as a link.
bool IsLink(HANDLE file) {
  const int FileAttributeTagInformation = 35;
  struct {
    ULONG Attributes;
    ULONG ReparseTag;
  } tag = {};
  if (!QueryFile(file, &tag, sizeof tag, FileAttributeTagInformation)) return true;
  return (tag.Attributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
         (tag.ReparseTag == IO_REPARSE_TAG_SYMLINK || tag.ReparseTag == IO_REPARSE_TAG_MOUNT_POINT);
}

template <PathMode Mode>
bool IsLinkAt(const char *path) {
  HANDLE file = OpenPath<Mode>(path, 0, ShareAll, OPEN_EXISTING,
                               FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS);
  if (file == INVALID_HANDLE_VALUE) return true;
  const bool link = IsLink(file);
  CloseHandle(file);
  return link;
}

template <PathMode Mode>
FileRef OpenForReading(const char *path) {
  // Sharing delete too: the C library leaves it out, which would stop the
  // mail program from renaming a folder file while the panel shows it.
  HANDLE file = OpenPath<Mode>(path, GENERIC_READ, ShareAll, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL);
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

template <PathMode Mode>
FileRef CreateNew(const char *path, FileAccess, bool *exists) {
  HANDLE file =
      OpenPath<Mode>(path, GENERIC_WRITE, FILE_SHARE_READ, CREATE_NEW, FILE_ATTRIBUTE_NORMAL);
  const DWORD error = GetLastError();
  *exists = file == INVALID_HANDLE_VALUE &&
            (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS);
  return file == INVALID_HANDLE_VALUE ? NoFile : Ref(file);
}

template <PathMode Mode>
FileRef CreateVanishing(const char *path, bool *exists) {
  // The system removes it when its last handle closes, which a killed
  // process's handles do too.
  HANDLE file = OpenPath<Mode>(path, GENERIC_WRITE | DELETE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                               CREATE_NEW, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE);
  const DWORD error = GetLastError();
  *exists = file == INVALID_HANDLE_VALUE &&
            (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS);
  return file == INVALID_HANDLE_VALUE ? NoFile : Ref(file);
}

template <PathMode Mode>
FileRef OpenExisting(const char *path, FoundFile *found) {
  // The reparse point itself, never what it leads to.
  HANDLE file = OpenPath<Mode>(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, OPEN_EXISTING,
                               FILE_FLAG_OPEN_REPARSE_POINT);
  if (file == INVALID_HANDLE_VALUE) return NoFile;
  BY_HANDLE_FILE_INFORMATION info;
  bool usable = GetFileInformationByHandle(file, &info) != 0;
  if (usable && (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    // An ordinary file with a reparse point is written through its filter,
    // opened anew as a file; it must still be the file looked at.
    usable = !IsLink(file);
    HANDLE opened = usable ? OpenPath<Mode>(path, GENERIC_WRITE, FILE_SHARE_READ, OPEN_EXISTING,
                                            FILE_ATTRIBUTE_NORMAL)
                           : INVALID_HANDLE_VALUE;
    BY_HANDLE_FILE_INFORMATION opened_info = {};
    usable = opened != INVALID_HANDLE_VALUE && GetFileInformationByHandle(opened, &opened_info) &&
             IsSameFile(IdentityOf(opened_info), IdentityOf(info));
    CloseHandle(file);
    file = opened;
    info = opened_info;
  }
  if (!usable) {
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    SetLastError(ERROR_CANT_ACCESS_FILE);
    return NoFile;
  }
  found->Identity = IdentityOf(info);
  found->Regular = GetFileType(file) == FILE_TYPE_DISK &&
                   !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
  found->Links = info.nNumberOfLinks;
  return Ref(file);
}

FileIdentity IdentifyOpen(FileRef file) {
  BY_HANDLE_FILE_INFORMATION info;
  return GetFileInformationByHandle(Handle(file), &info) ? IdentityOf(info) : FileIdentity{};
}

// Asked of the file alone: the identity's volume serial number costs, under
// Wine, twice the creation of a file, and the export asks for every file it
// makes. NtQueryInformationFile is found at run time, as the plug-in imports
// from no library beyond kernel32's and user32's.
bool QueryFile(HANDLE file, void *information, ULONG size, int kind) {
  typedef LONG(WINAPI * QueryCall)(HANDLE, void *, void *, ULONG, int);
  static const QueryCall query = [] {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr ? reinterpret_cast<QueryCall>(reinterpret_cast<void (*)()>(
                                  GetProcAddress(ntdll, "NtQueryInformationFile")))
                            : nullptr;
  }();
  ULONG_PTR status_block[2];
  return query != nullptr && query(file, status_block, information, size, kind) == 0;
}

uint64_t FileIndexOf(FileRef file) {
  const int FileInternalInformation = 6;
  uint64_t index = 0;
  if (QueryFile(Handle(file), &index, sizeof index, FileInternalInformation)) return index;
  BY_HANDLE_FILE_INFORMATION info;
  return GetFileInformationByHandle(Handle(file), &info) ? IdentityOf(info).Index : 0;
}

template <PathMode Mode>
FileIdentity Identify(const char *path) {
  // No access rights at all neither disturbs nor is refused by another
  // program that has the file open.
  HANDLE file = OpenPath<Mode>(path, 0, ShareAll, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS);
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

// Windows flushes a volume only for administrators: the file alone. It
// flushes no handle open only for reading: then the same file is opened
// again, by the name the handle has, for writing, and flushed through that.
bool Sync(FileRef file, bool) {
  if (FlushFileBuffers(Handle(file)) != 0) return true;
  if (GetLastError() != ERROR_ACCESS_DENIED) return false;
  wchar_t path[32768];
  const DWORD length = GetFinalPathNameByHandleW(Handle(file), path, 32768, FILE_NAME_NORMALIZED);
  if (length == 0 || length >= 32768) return false;
  const HANDLE writable = CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (writable == INVALID_HANDLE_VALUE) return false;
  const bool flushed = FlushFileBuffers(writable) != 0;
  const DWORD error = GetLastError();
  CloseHandle(writable);
  if (!flushed) SetLastError(error);
  return flushed;
}

template <PathMode Mode>
bool MoveNoReplace(const char *from, const char *to, bool *taken) {
  // Without MOVEFILE_REPLACE_EXISTING the system refuses a name in use.
  const bool moved = MovePath<Mode>(from, to, 0);
  const DWORD error = GetLastError();
  *taken = !moved && (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS);
  return moved;
}

template <PathMode Mode>
bool MoveReplacing(const char *from, const char *to) {
  return MovePath<Mode>(from, to, MOVEFILE_REPLACE_EXISTING);
}

template <PathMode Mode>
bool Remove(const char *path) {
  if constexpr (Mode == CodePagePaths) return DeleteFileA(path) != 0;
  wchar_t *wide = LongWidePath(path);
  return wide != nullptr && KeepingError(DeleteFileW(wide) != 0, wide);
}

// Makes each directory on the way to `path` that is not there, then `path`.
// The steps that cannot be made (a drive, a share, one that is there) are
// passed over: what counts is that `path` is a directory in the end.
template <typename Char>
bool MakeEachDirectory(Char *path, size_t first,
                       BOOL(WINAPI *make)(const Char *, LPSECURITY_ATTRIBUTES),
                       DWORD(WINAPI *attributes_of)(const Char *)) {
  // The reason is that of the first step that was not there and could not
  // be made (a read-only medium, access denied), not the missing ones after.
  DWORD error = 0;
  auto make_step = [&] {
    if (!make(path, nullptr) && GetLastError() != ERROR_ALREADY_EXISTS && error == 0)
      error = GetLastError();
  };
  for (size_t at = first; path[at] != 0; ++at) {
    if (path[at] != '\\' && path[at] != '/') continue;
    const Char separator = path[at];
    path[at] = 0;
    make_step();
    path[at] = separator;
  }
  make_step();
  const DWORD attributes = attributes_of(path);
  if (attributes == INVALID_FILE_ATTRIBUTES && error != 0) SetLastError(error);
  if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY))
    SetLastError(ERROR_DIRECTORY);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

template <PathMode Mode>
bool MakeDirectories(const char *path, FileAccess) {
  if constexpr (Mode == CodePagePaths) {
    const size_t size = strlen(path) + 1;
    char *copy = static_cast<char *>(malloc(size));
    if (copy == nullptr) return false;
    memcpy(copy, path, size);
    const bool made = size > 1 && MakeEachDirectory(copy, 1, CreateDirectoryA, GetFileAttributesA);
    free(copy);
    return made;
  }
  wchar_t *wide = LongWidePath(path);
  // After the prefix "\\?\", which names no directory.
  return wide != nullptr &&
         KeepingError(MakeEachDirectory(wide, 4, CreateDirectoryW, GetFileAttributesW), wide);
}

template <PathMode Mode>
bool MakeDirectory(const char *path, FileAccess, bool *exists) {
  bool made = false;
  if constexpr (Mode == CodePagePaths) {
    made = CreateDirectoryA(path, nullptr) != 0;
  } else {
    wchar_t *wide = LongWidePath(path);
    made = wide != nullptr && KeepingError(CreateDirectoryW(wide, nullptr) != 0, wide);
  }
  *exists = !made && GetLastError() == ERROR_ALREADY_EXISTS;
  return made;
}

// A new file or directory takes the permissions its directory hands down, so
// that one taking another's place lets in whom that one did already.
bool CopyAccess(FileRef, FileRef) { return true; }

template <PathMode Mode>
PathKind KindOf(const char *path, bool follow_links) {
  DWORD attributes = INVALID_FILE_ATTRIBUTES;
  if constexpr (Mode == CodePagePaths) {
    attributes = GetFileAttributesA(path);
  } else {
    wchar_t *wide = LongWidePath(path);
    if (wide != nullptr) attributes = KeepingError(GetFileAttributesW(wide), wide);
  }
  if (attributes == INVALID_FILE_ATTRIBUTES) return PathMissing;
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) && IsLinkAt<Mode>(path)) {
    if (!follow_links) return PathLink;
    // What the link leads to: the attributes of the file opened through it.
    HANDLE file = OpenPath<Mode>(path, 0, ShareAll, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS);
    BY_HANDLE_FILE_INFORMATION info;
    const bool known = file != INVALID_HANDLE_VALUE && GetFileInformationByHandle(file, &info);
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    if (!known) return PathMissing;
    attributes = info.dwFileAttributes;
  }
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return PathDirectory;
  return attributes & FILE_ATTRIBUTE_DEVICE ? PathOther : PathRegular;
}

bool IsDotName(const char *name) {
  return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

template <PathMode Mode>
bool ListDirectory(const char *path, DirectoryEntrySink sink, void *context) {
  // The directory's path and "\*".
  const size_t length = strlen(path);
  char *pattern = static_cast<char *>(malloc(length + 3));
  if (pattern == nullptr) return false;
  memcpy(pattern, path, length);
  memcpy(pattern + length, "\\*", 3);
  HANDLE search = INVALID_HANDLE_VALUE;
  WIN32_FIND_DATAA found;
  WIN32_FIND_DATAW found_wide;
  if constexpr (Mode == CodePagePaths) {
    search = FindFirstFileA(pattern, &found);
  } else {
    wchar_t *wide = LongWidePath(pattern);
    if (wide != nullptr) search = KeepingError(FindFirstFileW(wide, &found_wide), wide);
  }
  free(pattern);
  if (search == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND;
  bool more = true;
  while (more) {
    if constexpr (Mode == CodePagePaths) {
      if (!IsDotName(found.cFileName)) sink(context, found.cFileName);
      more = FindNextFileA(search, &found) != 0;
    } else {
      char name[MAX_PATH * 4];
      if (Utf8OfWide(found_wide.cFileName, name, sizeof name) <= sizeof name && !IsDotName(name))
        sink(context, name);
      more = FindNextFileW(search, &found_wide) != 0;
    }
  }
  const bool complete = GetLastError() == ERROR_NO_MORE_FILES;
  FindClose(search);
  return complete;
}

template <PathMode Mode>
FileRef OpenForAppending(const char *path, FileAccess) {
  // Shared as the C library's own opening for appending shares it.
  HANDLE file =
      OpenPath<Mode>(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                     OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL);
  if (file == INVALID_HANDLE_VALUE) return NoFile;
  LARGE_INTEGER none = {};
  if (!SetFilePointerEx(file, none, nullptr, FILE_END)) {
    const DWORD error = GetLastError();
    CloseHandle(file);
    SetLastError(error);
    return NoFile;
  }
  return Ref(file);
}

// Windows names every file it makes.
FileRef OpenDirectory(const char *) {
  SetLastError(ERROR_NOT_SUPPORTED);
  return NoFile;
}

FileRef CreateUnnamed(FileRef) {
  SetLastError(ERROR_NOT_SUPPORTED);
  return NoFile;
}

bool LinkUnnamed(FileRef, FileRef, const char *, bool *taken) {
  *taken = false;
  SetLastError(ERROR_NOT_SUPPORTED);
  return false;
}

// Windows starts no write-back of a range without waiting for it.
bool StartWriteBack(FileRef, uint64_t, uint64_t) { return false; }

template <PathMode Mode>
constexpr FileSystemCalls CallsTaking = {
    OpenForReading<Mode>,
    SizeOf,
    ReadAt,
    CreateNew<Mode>,
    CreateVanishing<Mode>,
    OpenExisting<Mode>,
    IdentifyOpen,
    FileIndexOf,
    Identify<Mode>,
    Write,
    Truncate,
    SetTime,
    Close,
    MoveNoReplace<Mode>,
    MoveReplacing<Mode>,
    Remove<Mode>,
    MakeDirectories<Mode>,
    MakeDirectory<Mode>,
    CopyAccess,
    KindOf<Mode>,
    ListDirectory<Mode>,
    Sync,
    StartWriteBack,
    OpenForAppending<Mode>,
    OpenDirectory,
    CreateUnnamed,
    LinkUnnamed,
};

}  // namespace

const bool SyncReachesVolume = false;

constexpr FileSystemCalls SystemFileCalls = CallsTaking<CodePagePaths>;
constexpr FileSystemCalls Utf8PathFileCalls = CallsTaking<Utf8Paths>;

FileSystemCalls FileSystem = SystemFileCalls;

int LastSystemError() { return int(GetLastError()); }
