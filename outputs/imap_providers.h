// The mail services vfolder imap knows by name (--for): where their IMAP
// server is, the most they take a day, and how they take a login.
#pragma once

#include <cstdint>
#include <string>

struct ImapProvider {
  const char *Name;       // as --for names it
  const char *Host;       // over TLS from the start, port 993
  uint64_t BytesPerDay;   // what a day's uploads may hold at most; 0: no cap known
  bool TokenOnly;         // no password: an OAuth2 token alone
};

// The service named `name`; null for one not known.
const ImapProvider *FindImapProvider(const char *name);

// The names --for takes, "gmail and microsoft".
std::string ImapProviderNames();

// The URL of `account` (USER[/MAILBOX], USER as the service takes it, an
// address with its @) at the service: imaps://USER@HOST:993[/MAILBOX], the
// user's "%" and "@" escaped. Empty for an account given as a URL.
std::string ProviderUrl(const ImapProvider &provider, const std::string &account);
