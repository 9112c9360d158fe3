// An IMAP account's connection, through the Net table: the greeting, TLS
// (from the start, or STARTTLS, which is then required) with the server's
// certificate checked before any byte of the login goes, the login, the
// capabilities and the hierarchy delimiter; then the commands a mail run
// and its check need, each answered before the next but for APPENDs, which
// may be pipelined (imap_append.h). The password is never put in a problem.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "outputs/imap_wire.h"

struct ImapServer {
  std::string Host;
  uint16_t Port;
  bool Tls;            // imaps: TLS from the start; else STARTTLS, required
  const char *CaFile;  // PEM authorities trusted instead of the system's; null: the system's
  std::string User;
  bool OAuth2;  // the secret is an OAuth2 access token: AUTHENTICATE XOAUTH2 or OAUTHBEARER
};

struct ImapClient {
  ImapWire Wire;
  uint32_t Tags;
  char Delimiter;        // the server's hierarchy delimiter; '/' where it has none
  uint32_t AppendLimit;  // APPENDLIMIT=N; 0 for none
  bool UidPlus;          // APPENDUID is given
  bool LiteralPlus;      // literals of any size without "+" (LITERAL+)
  bool LiteralMinus;     // the same up to 4096 bytes (LITERAL-)
  bool MultiAppend;      // several messages in one APPEND (MULTIAPPEND)
  bool SaslIr;           // AUTHENTICATE takes its first response in the command
  bool XOAuth2, OAuthBearer;  // AUTH=XOAUTH2, AUTH=OAUTHBEARER
  std::string Words;     // the server's words in its last tagged answer, printable
  // The mailbox selected or examined last.
  uint32_t Exists, UidValidity, UidNext;
};

enum ImapConnecting {
  ImapConnected,
  ImapUnreachable,  // could not be reached or went away: worth another try
  ImapRefused,      // the certificate, STARTTLS or the login: no use trying again
  ImapTokenRefused, // the OAuth2 token: a renewed one may do
};

// Connects, logs in and reads the capabilities and the delimiter. Anything
// but ImapConnected leaves nothing open, with the reason in `*problem`.
// `secret` is the password, or where `server.OAuth2` the access token.
ImapConnecting OpenImapClient(const ImapServer &server, const std::string &secret,
                              ImapClient *client, std::string *problem);

// Logs out where it can and closes the connection.
void CloseImapClient(ImapClient *client);

// Gone for good: nothing more can be said on it.
bool ImapLost(const ImapClient &client);

enum ImapAnswer { ImapOk, ImapNo, ImapGone };  // ImapNo: NO or BAD, in Words

// A tag no other command of this connection has.
std::string NextTag(ImapClient *client);

// Sends `command` (without tag or CR LF), passes each untagged response to
// `untagged` (which may be empty) and reads up to the tagged answer.
ImapAnswer RunCommand(ImapClient *client, const std::string &command,
                      const std::function<void(const ImapResponse &)> &untagged);

// A mailbox name as IMAP's modified UTF-7 writes it: printable ASCII as it
// is but "&-" for '&', the rest as UTF-16 in base64 with ',' for '/', between
// '&' and '-'.
std::string ModifiedUtf7(const std::string &utf8);

// A string as a quoted string (for mailbox names: ASCII with no control
// bytes).
std::string QuotedString(const std::string &text);

// SELECT, or EXAMINE where `read_only`, of a name as the server writes it
// (modified UTF-7): Exists, UidValidity and UidNext then hold.
ImapAnswer SelectMailbox(ImapClient *client, const std::string &name, bool read_only);
ImapAnswer CreateMailbox(ImapClient *client, const std::string &name);
ImapAnswer SubscribeMailbox(ImapClient *client, const std::string &name);

// STATUS's UIDNEXT and MESSAGES; 0 where not told.
ImapAnswer MailboxStatus(ImapClient *client, const std::string &name, uint32_t *uid_next,
                         uint32_t *messages);

// One message's items as FETCH gives them: the literal body is in the
// response (At, Size in its Raw) for the caller to use before the next.
struct FetchedItems {
  uint32_t Uid, Size;
  bool HasId;
  std::string MessageId;  // the envelope's, as the server gives it
  bool HasBody;
  const char *Body;
  size_t BodySize;
};

// FETCH (UID FETCH where `by_uid`) of `set` with `items`, each message's
// items to `each` as they come. `largest` bounds a literal of the answer
// (a body), above the default.
ImapAnswer FetchMessages(ImapClient *client, bool by_uid, const std::string &set,
                         const std::string &items, size_t largest,
                         const std::function<void(const FetchedItems &)> &each);

// UID SEARCH `criteria`: the UIDs it gives.
ImapAnswer SearchUids(ImapClient *client, const std::string &criteria, std::vector<uint32_t> *uids);
