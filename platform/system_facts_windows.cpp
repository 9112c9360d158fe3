#include "platform/system_facts.h"

#include <windows.h>

#include <cstdint>
#include <cstdlib>

const char SystemSeparator = '\\';

FileRef StandardOutput() { return reinterpret_cast<FileRef>(GetStdHandle(STD_OUTPUT_HANDLE)); }

bool IsClosedPipe(int error) { return error == ERROR_NO_DATA || error == ERROR_BROKEN_PIPE; }

unsigned long ProcessId() { return GetCurrentProcessId(); }

void ClearSystemError() { SetLastError(0); }

std::string SystemErrorText(int error) {
  char text[512];
  DWORD length = error == 0 ? 0
                            : FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                             nullptr, DWORD(error), 0, text, sizeof text, nullptr);
  // The message ends in a full stop and a line break, which a line of ours
  // does not want.
  while (length > 0 && (text[length - 1] == '\n' || text[length - 1] == '\r' ||
                        text[length - 1] == ' ' || text[length - 1] == '.'))
    --length;
  if (length == 0 && error != 0) return "system error " + std::to_string(error);
  return std::string(text, length);
}

std::string HostName() {
  char name[MAX_COMPUTERNAME_LENGTH + 1];
  DWORD size = sizeof name;
  if (!GetComputerNameA(name, &size) || size == 0) return "localhost";
  return std::string(name, size);
}

bool LocalTimeOf(unsigned long long ticks, LocalTime *out) {
  FILETIME utc = {DWORD(ticks), DWORD(ticks >> 32)}, local;
  SYSTEMTIME parts;
  if (!FileTimeToLocalFileTime(&utc, &local) || !FileTimeToSystemTime(&local, &parts)) return false;
  *out = LocalTime{parts.wYear, parts.wMonth, parts.wDay, parts.wHour, parts.wMinute};
  return true;
}

void PauseFor(double seconds, bool (*stop)()) {
  // In slices, so an interrupt is seen within a tenth of a second.
  DWORD left = DWORD(seconds * 1000);
  while (left > 0 && (stop == nullptr || !stop())) {
    const DWORD slice = left < 100 ? left : 100;
    Sleep(slice);
    left -= slice;
  }
}

double MonotonicSeconds() {
  LARGE_INTEGER count, frequency;
  QueryPerformanceCounter(&count);
  QueryPerformanceFrequency(&frequency);
  return double(count.QuadPart) / double(frequency.QuadPart);
}

unsigned long long NowTicks() {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  return (unsigned long long)now.dwHighDateTime << 32 | now.dwLowDateTime;
}

// Large pages on Windows need a privilege users do not hold.
void *AllocateZeroedBlock(size_t count, size_t size) {
  if (size != 0 && count > SIZE_MAX / size) return nullptr;
  return calloc(count, size);
}
