// The mail-account output: folders sent into the mailboxes of an IMAP
// account, each message once, with APPEND over TLS. What a run delivered is
// in a ledger (delivery_ledger.h), so that a run started again, by any host,
// sends only the rest. Progress, a stop asked for and every notice go out
// through the host's events (output_events.h); nothing here prints.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "outputs/imap_session.h"
#include "outputs/output_events.h"
#include "outputs/text_charset.h"

struct TreeNode;

struct ImapSettings {
  ImapAccount Account;          // CaFile and TokenCommand as the host took them
  const std::string *Password;  // empty for an OAuth2 login
  bool Exact, Seen, DryRun;
  const char *LedgerPath;       // null: one in the user's cache directory
  uint64_t LimitRate;           // bytes a second at most; 0: no limit
  uint64_t MaxBytesPerDay;      // bytes sent in the 24 hours from the day's first; 0: no cap
  const TextCharset *Charset;
};

// A folder to send.
struct ImapSource {
  std::string Path;   // its index file, full
  std::string Shown;  // as the host names it in its notices
  // The names of the directories between the directory given and it, then
  // its own: its mailbox's path below the account's. Empty for a folder
  // given alone, which goes into the account's mailbox, else one of its
  // file's name.
  std::vector<std::string> Names;
  // The positions in its listing of the messages to send; null: every one.
  const std::vector<int> *Chosen;
};

// The folders of a tree (FindFolders), Path and Shown as reached from it.
void ImapSourcesOf(const TreeNode &top, std::vector<ImapSource> *sources);

struct ImapTally {
  int Messages, Handled, Sent, AlreadyThere, Failed;
};

struct ImapResult {
  bool Connected;       // false: nothing was sent, Problem says why
  std::string Problem;  // never holds the password nor a token
  ImapTally Tally;
  bool Stopped;         // the connection went for good, the mailbox is full or the ledger failed
  // Stopped at MaxBytesPerDay: what the day's 24 hours took, when they end
  // (Unix seconds) and how many messages were left.
  bool DayReached;
  uint64_t DayBytes, DayEnds;
  int Left;
};

// Connects and sends the folders, `total` messages in all; with `tree` the
// notices name each folder. Each message's end goes to the events' Outcome
// (ProblemCannotWrite: it failed, and ImapMessageFailed said why). Stops at
// the next message once the events' Stopping says so.
ImapResult RunImap(const ImapSettings &settings, const std::vector<ImapSource> &sources, bool tree,
                   int64_t total, const OutputEvents &events);

// The ledger a run for this account and mailbox keeps where the host names
// none: the same for every host, so that each resumes the other's run.
std::string ImapLedgerPath(const ImapAccount &account, const std::string &mailbox);
