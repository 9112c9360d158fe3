#include "platform/read_stream.h"

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <fcntl.h>
#include <io.h>
#include <windows.h>

// The C library's own opening leaves out FILE_SHARE_DELETE, which would stop
// the mail program from renaming a folder file while the panel shows it.
FILE *OpenSharedForReading(const char *path) {
  HANDLE file =
      CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return nullptr;
  const int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(file), _O_RDONLY | _O_BINARY);
  if (descriptor == -1) {
    CloseHandle(file);
    return nullptr;
  }
  FILE *stream = _fdopen(descriptor, "rb");
  if (stream == nullptr) _close(descriptor);
  return stream;
}

size_t ReadAt(FILE *stream, uint64_t offset, void *buffer, size_t size) {
  HANDLE file = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
  OVERLAPPED at = {};
  at.Offset = DWORD(offset);
  at.OffsetHigh = DWORD(offset >> 32);
  DWORD got = 0;
  if (file == INVALID_HANDLE_VALUE || !ReadFile(file, buffer, DWORD(size), &got, &at)) return 0;
  return got;
}

#else

#include <unistd.h>

FILE *OpenSharedForReading(const char *path) { return fopen(path, "rb"); }

size_t ReadAt(FILE *stream, uint64_t offset, void *buffer, size_t size) {
  size_t got = 0;
  while (got < size) {
    const ssize_t read = pread(fileno(stream), static_cast<char *>(buffer) + got, size - got,
                               off_t(offset + got));
    if (read <= 0) break;
    got += size_t(read);
  }
  return got;
}

#endif
