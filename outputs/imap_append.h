// APPEND: one message at a time, waiting on the server's "+" for its
// literal, or pipelined: each command goes out with its messages (several
// with MULTIAPPEND) as literals the server takes without "+" (LITERAL+, or
// LITERAL- up to 4096 bytes), several commands in flight at once, their
// tagged answers read as they come.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "outputs/imap_client.h"
#include "outputs/mail_dates.h"

// Whether a message of `size` bytes can go without waiting for "+".
bool CanPipeline(const ImapClient &client, size_t size);

// The date as APPEND takes it: "DD-Mon-YYYY HH:MM:SS +ZZZZ".
std::string AppendDateText(const MailCalendar &date);

// One APPEND into the wire: its start with the tag given and `mailbox` (as
// the server names it), each message (lines ending in CR LF; `date` from
// AppendDateText or empty), its end. False when the connection went.
bool WriteAppendStart(ImapClient *client, const std::string &tag, const std::string &mailbox);
bool WriteAppendMessage(ImapClient *client, bool seen, const std::string &date, const char *bytes,
                        size_t size);
bool WriteAppendEnd(ImapClient *client);

// What was written goes to the server. False when the connection went.
bool FlushAppends(ImapClient *client);

struct AppendAnswer {
  std::string Tag;
  bool Ok;
  std::string Words;           // after the tag and OK, NO or BAD, made printable
  uint32_t Validity;           // from APPENDUID; 0 when not told
  std::vector<uint32_t> Uids;  // from APPENDUID, in the order of the messages
};

// Reads up to the next tagged answer, passing over untagged ones. False
// when the connection went, with the reason in answer->Words where the
// server broke the protocol or its bounds.
bool ReadAppendAnswer(ImapClient *client, AppendAnswer *answer);

// One message appended, its literal sent once the server asks for it, the
// answer awaited. ImapGone when the connection went.
ImapAnswer AppendOne(ImapClient *client, const std::string &mailbox, bool seen,
                     const std::string &date, const char *bytes, size_t size,
                     AppendAnswer *answer);
