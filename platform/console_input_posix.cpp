#include "platform/console_input.h"

#include <time.h>

namespace {

uint64_t SystemMilliseconds() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return uint64_t(now.tv_sec) * 1000 + uint64_t(now.tv_nsec) / 1000000;
}

// No console input is read here: far2l's layer puts in a reader of that
// host's own input at its start (host/far2l/console_keys.cpp).
bool SystemEscapePressed() { return false; }

}  // namespace

const ConsoleCalls SystemConsoleCalls = {SystemMilliseconds, SystemEscapePressed};
ConsoleCalls Console = SystemConsoleCalls;
