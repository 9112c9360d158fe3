// Long saving shows its progress: once it has lasted about a second, a box
// with the count and the current message, redrawn at most ten times a
// second, and the taskbar's progress where the host has one. Esc asks
// whether to stop where the console tells of it. At the end, when anything
// failed or the user stopped, one box with the counts and the first reasons.
#pragma once

#include <cstddef>
#include <cstdint>

#include "host/shared/messages.h"

const size_t SaveReasonCount = 3;
const size_t SaveReasonSize = 320;

struct SaveProgress {
  bool Quiet;    // a silent operation: nothing shown, nothing asked
  bool Sending;  // into a mail account: the boxes say "sending", not "saving"
  uint64_t Total, Done, Saved, Failed;
  uint64_t Started, LastDrawn, LastKeys;  // the console's milliseconds
  bool Drawn;                             // the box is on the screen
  void *Screen;                           // the screen under it
  bool Stopped;                           // the user chose to stop
  size_t Reasons;                         // the first reasons, as lines
  wchar_t Reason[SaveReasonCount][SaveReasonSize];
};

void StartSaveProgress(SaveProgress *progress, uint64_t total, bool quiet);

// `done` of the total handled, `name` (UTF-8) the message being saved.
void StepSaveProgress(SaveProgress *progress, uint64_t done, const char *name);

// Whether the user pressed Esc and then chose to stop; once stopped, always
// true.
bool SaveStopAsked(SaveProgress *progress);

// A message or the whole saving failed: `reason`, the system's own words
// for `error` (LastSystemError()'s number; 0 for none) and the path it
// concerns (UTF-8) where there is one, kept among the first reasons.
void NoteSaveFailure(SaveProgress *progress, MessageId reason, const char *path, int error = 0);

// Takes the box and the taskbar's progress away and, when anything failed
// or the user stopped, shows the counts and the first reasons (a warning
// when anything failed).
void FinishSaveProgress(SaveProgress *progress);
