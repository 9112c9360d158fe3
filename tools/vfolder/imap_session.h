// A logged-in IMAP connection through libetpan: the account's address, the
// password kept out of every argument list, log and core file, TLS whose
// certificate is checked before the login.
#pragma once

#include <cstdint>
#include <string>

struct mailimap;

struct ImapAccount {
  bool Tls;  // imaps: TLS from the start; imap: STARTTLS, which is required
  std::string User, Host;
  uint16_t Port;
  std::string Mailbox;  // empty: none given
  const char *CaFile;   // null: the system's store alone
};

// Reads imaps://USER@HOST[:PORT][/MAILBOX] or imap://...; USER and MAILBOX
// may hold %XX escapes. False, with the reason in `*problem`, for another form.
bool ParseImapUrl(const char *url, ImapAccount *account, std::string *problem);

// Core dumps off and the process no longer dumpable, then the password from
// VFOLDER_PASSWORD (wiped there), the first line of `file`, or a prompt
// without echo on the terminal. False, with the reason, when there is none.
bool ReadPassword(const ImapAccount &account, const char *file, std::string *password,
                  std::string *problem);

// Overwrites the text where it lies before it is given back.
void WipeText(std::string *text);

struct ImapSession {
  mailimap *Imap;
  char Delimiter;        // the server's hierarchy delimiter; '/' where it has none
  uint32_t AppendLimit;  // APPENDLIMIT=N; 0 for none
  bool UidPlus;          // APPENDUID is given
  bool LiteralPlus;      // literals of any size without "+" (LITERAL+)
  bool LiteralMinus;     // the same up to 4096 bytes (LITERAL-)
  bool MultiAppend;      // several messages in one APPEND (MULTIAPPEND)
  uint32_t Tags;         // tags given by us, beside libetpan's own
};

enum ConnectOutcome {
  Connected,
  ConnectionFailed,  // the server could not be reached or went away: worth another try
  Refused,           // the certificate, STARTTLS or the login: no use trying again
};

// Connects, checks the server's certificate against the system's store and
// `account.CaFile` and its host name, logs in and reads the capabilities
// and the delimiter. Anything but Connected leaves no session, with the
// reason in `*problem` (never the password).
ConnectOutcome ConnectImap(const ImapAccount &account, const std::string &password,
                           ImapSession *session, std::string *problem);

// Logs out where it can and frees the session.
void CloseImap(ImapSession *session);

// The server's words of its last answer, made printable.
std::string ServerWords(const ImapSession &session);

// A mailbox name as IMAP's modified UTF-7 writes it: printable ASCII as it
// is but "&-" for '&', the rest as UTF-16 in base64 with ',' for '/', between
// '&' and '-'.
std::string ModifiedUtf7(const std::string &utf8);
