#include "platform/system_facts.h"

#include <errno.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <time.h>
#include <unistd.h>

const char SystemSeparator = '/';

FileRef StandardOutput() { return STDOUT_FILENO; }

bool IsClosedPipe(int error) { return error == EPIPE; }

unsigned long ProcessId() { return static_cast<unsigned long>(getpid()); }

void ClearSystemError() { errno = 0; }

std::string SystemErrorText(int error) { return error == 0 ? std::string() : strerror(error); }

std::string HostName() {
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') return "localhost";
  return name;
}

bool LocalTimeOf(unsigned long long ticks, LocalTime *out) {
  // Seconds from 1601, where FILETIME counts, to 1970, where time_t does.
  const unsigned long long UnixEpochSeconds = 11644473600ull;
  const time_t seconds = time_t(ticks / 10000000 - UnixEpochSeconds);
  tm parts;
  if (ticks / 10000000 < UnixEpochSeconds || localtime_r(&seconds, &parts) == nullptr) return false;
  *out =
      LocalTime{parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday, parts.tm_hour, parts.tm_min};
  return true;
}

void PauseFor(double seconds, bool (*stop)()) {
  timespec pause = {time_t(seconds), long((seconds - double(time_t(seconds))) * 1e9)};
  while (nanosleep(&pause, &pause) != 0 && (stop == nullptr || !stop())) {
  }
}

void *AllocateZeroedBlock(size_t count, size_t size) {
  if (size != 0 && count > SIZE_MAX / size) return nullptr;
  void *block = calloc(count, size);
  // Only whole huge pages inside the block; a refusal leaves it as it is.
  const uintptr_t huge = 2 << 20, start = (uintptr_t(block) + huge - 1) & ~(huge - 1),
                  end = (uintptr_t(block) + count * size) & ~(huge - 1);
  if (block != nullptr && end > start) {
    madvise(reinterpret_cast<void *>(start), end - start, MADV_HUGEPAGE);
#ifdef MADV_POPULATE_WRITE
    madvise(reinterpret_cast<void *>(start), end - start, MADV_POPULATE_WRITE);
#endif
  }
  return block;
}

double MonotonicSeconds() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

unsigned long long NowTicks() {
  timespec now;
  clock_gettime(CLOCK_REALTIME, &now);
  return (unsigned long long)(now.tv_sec + 11644473600LL) * 10000000ULL +
         (unsigned long long)(now.tv_nsec / 100);
}
