// What the outputs and vfolder ask of the system besides its files: the
// path separator, standard output, the process and the machine, and the
// system's words for an error.
#pragma once

#include <cstddef>
#include <string>

#include "platform/file_system.h"

// The separator between a directory and a name in the system's paths.
extern const char SystemSeparator;

// Standard output as a file to write bytes to as they are.
FileRef StandardOutput();

// True when the error a write left says that the reading end of a pipe has
// gone.
bool IsClosedPipe(int error);

unsigned long ProcessId();

// Sets the error that LastSystemError() tells to none, so that a failure
// afterwards shows whether the call that failed left one.
void ClearSystemError();

// The system's text for an error number of LastSystemError(): the C
// library's on Linux, the system message on Windows; empty for none.
std::string SystemErrorText(int error);

// The machine's name, "localhost" when it has none.
std::string HostName();

// A moment of FILETIME's count (100-ns ticks since 1601, UTC) on the local
// calendar and clock; false when the system cannot tell it (on Linux, a
// moment before 1970).
struct LocalTime {
  int Year, Month, Day, Hour, Minute;
};
bool LocalTimeOf(unsigned long long ticks, LocalTime *out);

// Waits `seconds`, or less once `stop` (when given) says so.
void PauseFor(double seconds, bool (*stop)());

// Seconds on a clock that only goes forward, from an arbitrary start.
double MonotonicSeconds();

// A zeroed block of count * size bytes, freed with free(); null when the
// product overflows or memory runs out. A block as large as a panel of a
// million items is asked of the system in huge pages where it grants them:
// faulting it in 4 KiB pages otherwise takes longer than filling it.
void *AllocateZeroedBlock(size_t count, size_t size);

// The moment now as FILETIME counts it (100-ns ticks since 1601, UTC).
unsigned long long NowTicks();
