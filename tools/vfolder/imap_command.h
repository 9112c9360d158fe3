// vfolder imap: a folder, or a directory of folders, straight into a mailbox
// of a mail account, each message sent once with APPEND over TLS.
#pragma once

#include <cstdint>
#include <vector>

#include "outputs/text_charset.h"

struct ImapCommand {
  const char *Source;  // a folder's index file or a directory of folders
  const char *Url;     // imaps://USER@HOST[:PORT][/MAILBOX] or imap://... (STARTTLS)
  bool Exact, Seen, DryRun;
  const char *PasswordFile;  // null: VFOLDER_PASSWORD, else a prompt on the terminal
  const char *CaFile;        // certificate authorities trusted instead of the system's
  const char *LedgerPath;    // null: one in the user's cache directory
  uint64_t LimitRate;        // bytes a second at most; 0: no limit
  uint64_t MaxBytesPerDay;   // bytes sent in the 24 hours from the day's first; 0: no cap
  const TextCharset *Charset;
  const char *TokenCommand;  // null: a password; else OAuth2 with the token it prints
};

// Runs the command; returns the exit status: 0 every message sent or already
// there, 1 some failed (or the login, the certificate or the connection did),
// 2 a usage error or no folder, 3 stopped at --max-bytes-per-day (the rest
// goes with a run a day after the day's first message), 130 interrupted.
int RunImapCommand(const ImapCommand &command);
