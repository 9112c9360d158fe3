// vfolder verify's reading of mailboxes: logged in as vfolder imap logs in,
// each mailbox examined (never selected for writing) and its messages
// fetched a batch at a time, each only digested.
#pragma once

#include <string>
#include <vector>

#include "outputs/verify.h"

struct ImapReading;

// Logs into the account of `url` (password and authorities as vfolder imap
// takes them). Null, with the reason, when it cannot.
ImapReading *OpenImapReading(const char *url, const char *password_file, const char *ca_file,
                             const char *token_command, std::string *problem);
void CloseImapReading(ImapReading *reading);

// The mailbox of the URL (empty: none given), and the server's delimiter.
std::string BaseMailbox(const ImapReading &reading);
char MailboxDelimiter(const ImapReading &reading);

// The messages of the mailbox named `mailbox` (UTF-8), in the order of their
// UIDs, each named "UID N". False, with the reason, when it cannot be
// examined or read; `*missing` when the server has no such mailbox.
bool ReadMailboxMessages(ImapReading *reading, const std::string &mailbox,
                         std::vector<FoundMessage> *found, bool *missing, std::string *problem);
