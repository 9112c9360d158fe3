#include "platform/secret_input.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>

// Windows writes no core file of its own; a crash dump taken by another
// program is beyond what a process can refuse.
void KeepMemoryPrivate() { SetErrorMode(SEM_NOGPFAULTERRORBOX); }

bool ReadHiddenLine(const char *prompt, std::string *line) {
  // The console itself, even when standard input is a file or a pipe.
  const HANDLE in = CreateFileA("CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, 0, nullptr);
  if (in == INVALID_HANDLE_VALUE) return false;
  const HANDLE out = CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_WRITE,
                                 nullptr, OPEN_EXISTING, 0, nullptr);
  DWORD before = 0;
  if (!GetConsoleMode(in, &before)) {
    CloseHandle(in);
    if (out != INVALID_HANDLE_VALUE) CloseHandle(out);
    return false;
  }
  SetConsoleMode(in, (before | ENABLE_LINE_INPUT) & ~DWORD(ENABLE_ECHO_INPUT));
  DWORD written;
  if (out != INVALID_HANDLE_VALUE) WriteConsoleA(out, prompt, DWORD(strlen(prompt)), &written, nullptr);
  char c;
  DWORD got = 0;
  BOOL read;
  while ((read = ReadConsoleA(in, &c, 1, &got, nullptr)) && got == 1 && c != '\n' && c != '\r')
    *line += c;
  c = 0;
  SetConsoleMode(in, before);
  if (out != INVALID_HANDLE_VALUE) {
    WriteConsoleA(out, "\r\n", 2, &written, nullptr);
    CloseHandle(out);
  }
  CloseHandle(in);
  return read != FALSE;
}

bool TakeEnvironmentSecret(const char *name, std::string *value) {
  char *given = getenv(name);
  if (given == nullptr) return false;
  *value = given;
  SecureZeroMemory(given, strlen(given));
  // Both the C library's copy and the process's own block, which children
  // inherit.
  const std::string unset = std::string(name) + "=";
  _putenv(unset.c_str());
  SetEnvironmentVariableA(name, nullptr);
  return true;
}

void WipeBytes(void *bytes, size_t size) { SecureZeroMemory(bytes, size); }
