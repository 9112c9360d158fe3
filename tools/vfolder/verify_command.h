// vfolder verify: a folder, or a directory of folders, against the output
// made of it, every message accounted for.
#pragma once

#include "outputs/text_charset.h"

struct VerifyCommand {
  const char *Source;  // a folder's index file or a directory of folders
  const char *Output;  // an mbox file, a Maildir, a directory of .eml files or a tree of them,
                       // or imaps://USER@HOST[:PORT][/MAILBOX] or imap://...
  bool Exact, Seen, Tsv;
  const char *PasswordFile, *CaFile;  // IMAP, as vfolder imap takes them
  const TextCharset *Charset;
  const char *TokenCommand;  // IMAP's OAuth2, as vfolder imap takes it; null: a password
};

// Runs the command and prints what it found on standard output; returns the
// exit status: 0 every message there once and unchanged, 1 not, or the
// output or the server could not be read, 2 no folder, an output of no
// known kind, or names that need --charset.
int RunVerifyCommand(const VerifyCommand &command);
