// The outputs' events as vfolder shows them: lines on the terminal in
// English, the progress line, the log, interrupts and the partial files that
// a second interrupt tidies.
#pragma once

#include <string>

#include "outputs/mail_run.h"
#include "tools/vfolder/run_log.h"

struct TerminalRun {
  bool NameFolders;  // lines about a message name its folder (a tree)
  RunLog *Log;       // null: no log
};

OutputEvents TerminalEvents(TerminalRun *terminal);

// "N messages, N written, N failed" ("1 message, ..."), or "interrupted
// after N of N messages, N written, N failed"; then ", N given headers" where
// messages were, and ", N delivered before" for those --resume passed over.
std::string SummaryOf(const Tally &tally);
