// APPENDs that do not wait on the server message by message: each command
// goes out with its messages (several with MULTIAPPEND) as literals the
// server takes without "+" (LITERAL+, or LITERAL- up to 4096 bytes), several
// commands in flight at once, their tagged answers read as they come.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tools/vfolder/imap_session.h"

struct mailimap_date_time;

// Whether a message of `size` bytes can go without waiting for "+".
bool CanPipeline(const ImapSession &session, size_t size);

// The date as APPEND takes it: "DD-Mon-YYYY HH:MM:SS +ZZZZ"; empty for none.
std::string AppendDateText(const struct mailimap_date_time *date);

// A tag no other command of this connection has.
std::string NextAppendTag(ImapSession *session);

// One APPEND into the stream's buffer: its start with the tag given and
// `mailbox` (as the server names it), each message (lines ending in CR LF;
// `date` from AppendDateText), its end. False when the connection went.
bool WriteAppendStart(ImapSession *session, const std::string &tag, const std::string &mailbox);
bool WriteAppendMessage(ImapSession *session, bool seen, const std::string &date,
                        const std::string &bytes);
bool WriteAppendMessage(ImapSession *session, bool seen, const std::string &date,
                        const char *bytes, size_t size);
bool WriteAppendEnd(ImapSession *session);

// What was written goes to the server. False when the connection went.
bool FlushAppends(ImapSession *session);

struct AppendAnswer {
  std::string Tag;
  bool Ok;
  std::string Words;        // after the tag and OK, NO or BAD, made printable
  uint32_t Validity;        // from APPENDUID; 0 when not told
  std::vector<uint32_t> Uids;  // from APPENDUID, in the order of the messages
};

// Reads up to the next tagged answer, passing over untagged ones. False
// when the connection went; when the server broke the protocol (a line or a
// literal over 1 MB), the reason is in answer->Words and the connection is
// to be ended.
bool ReadAppendAnswer(ImapSession *session, AppendAnswer *answer);
