// An IMAP account: its URL, and the connection through the project's own
// client (outputs/imap_client.h), the password wiped where it was held.
#pragma once

#include <cstdint>
#include <string>

#include "outputs/imap_client.h"

struct ImapAccount {
  bool Tls;  // imaps: TLS from the start; imap: STARTTLS, which is required
  std::string User, Host;
  uint16_t Port;
  std::string Mailbox;  // empty: none given
  const char *CaFile;   // null: the system's store alone
  const char *TokenCommand;  // null: a password; else OAuth2 with the token it prints (oauth2_login.h)
};

// Reads imaps://USER@HOST[:PORT][/MAILBOX] or imap://...; USER and MAILBOX
// may hold %XX escapes. False, with the reason in `*problem`, for another form.
bool ParseImapUrl(const char *url, ImapAccount *account, std::string *problem);

// The mailbox a folder given alone goes into: its file's name without the
// extension.
std::string MailboxOfFolder(const std::string &path);

// Overwrites the text where it lies before it is given back.
void WipeText(std::string *text);

enum ConnectOutcome {
  Connected,
  ConnectionFailed,  // the server could not be reached or went away: worth another try
  Refused,           // the certificate, STARTTLS or the login: no use trying again
};

// Connects, checks the server's certificate against `account.CaFile` (or
// the system's store) and its host name, logs in and reads the capabilities
// and the delimiter. Anything but Connected leaves no session, with the
// reason in `*problem` (never the password).
ConnectOutcome ConnectImap(const ImapAccount &account, const std::string &password,
                           ImapClient *session, std::string *problem);

// Logs out where it can and closes the connection.
void CloseImap(ImapClient *session);

// The server's words of its last answer, or why the connection went.
std::string ServerWords(const ImapClient &session);
