#include "tools/vfolder/progress.h"

#include <chrono>
#include <cstdio>

#include "tools/vfolder/system_calls.h"

namespace {

typedef std::chrono::steady_clock Clock;

bool Started = false, Terminal = false;
Clock::time_point LastShown;
int ShownWidth = 0;

}  // namespace

void ShowProgress(int done, int total) {
  const Clock::time_point now = Clock::now();
  if (!Started) {
    Started = true;
    Terminal = IsTerminal(stderr);
    LastShown = now;
    return;
  }
  if (!Terminal || now - LastShown < std::chrono::milliseconds(100)) return;
  LastShown = now;
  ShownWidth = fprintf(stderr, "\r%d/%d messages", done, total) - 1;
  fflush(stderr);
}

void ClearProgress() {
  if (ShownWidth <= 0) return;
  // Spaces rather than an escape sequence: every console understands them.
  fprintf(stderr, "\r%*s\r", ShownWidth, "");
  fflush(stderr);
  ShownWidth = 0;
}
