#include "tools/vfolder/imap_pipeline.h"

#include <libetpan/libetpan.h>
#include <strings.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// LITERAL-'s bound on a literal sent without "+".
const size_t LiteralMinusLimit = 4096;
// An APPEND's answer holds no more than a few words; a server that sends
// more, in a line or a literal, is taken for a connection gone wrong.
const long LongestAnswerLiteral = 1 << 20;
const size_t LongestAnswerLine = 1 << 20;

// One line into `text` (appended), without its CR LF, read a byte at a time
// from the stream's buffer so that no more than LongestAnswerLine is held.
// False when the connection went or the line is longer, `*overlong` then.
bool ReadLine(mailimap *imap, std::string *text, bool *overlong) {
  const size_t start = text->size();
  char c;
  for (;;) {
    if (mailstream_read(imap->imap_stream, &c, 1) != 1) return false;
    if (c == '\n') break;
    if (text->size() - start >= LongestAnswerLine) {
      *overlong = true;
      return false;
    }
    *text += c;
  }
  if (text->size() > start && text->back() == '\r') text->pop_back();
  return true;
}

bool Write(mailimap *imap, const char *bytes, size_t size) {
  return size == 0 || mailstream_write(imap->imap_stream, bytes, size) == ssize_t(size);
}

bool Write(mailimap *imap, const std::string &text) { return Write(imap, text.data(), text.size()); }

// A mailbox name as a quoted string; the name is ASCII with no control
// characters (modified UTF-7).
std::string Quoted(const std::string &name) {
  std::string out = "\"";
  for (char c : name) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + "\"";
}

// The literal's size when the line ends in {N} or {N+} (CR LF cut off), else -1.
long LiteralAtEnd(const char *line, size_t length) {
  if (length < 3 || line[length - 1] != '}') return -1;
  size_t open = length - 1;
  while (open > 0 && line[open - 1] != '{') --open;
  if (open == 0) return -1;
  const char *digits = line + open;
  char *end = nullptr;
  const long size = strtol(digits, &end, 10);
  return end != digits && (*end == '}' || (*end == '+' && end[1] == '}')) ? size : -1;
}

// One response into `text`, without its CR LF, any literal in it taken in
// whole. False when the connection went, with the reason in `*problem` when
// the server broke the bounds.
bool ReadResponse(mailimap *imap, std::string *text, std::string *problem) {
  text->clear();
  for (;;) {
    const size_t start = text->size();
    bool overlong = false;
    if (!ReadLine(imap, text, &overlong)) {
      if (overlong) *problem = "the server's answer has a line over 1 MB";
      return false;
    }
    const long literal = LiteralAtEnd(text->data() + start, text->size() - start);
    if (literal < 0) return true;
    if (literal > LongestAnswerLiteral) {
      *problem = "the server's answer claims a literal over 1 MB";
      return false;
    }
    std::string bytes(size_t(literal), '\0');
    for (size_t got = 0; got < bytes.size();) {
      const ssize_t r = mailstream_read(imap->imap_stream, &bytes[got], bytes.size() - got);
      if (r <= 0) return false;
      got += size_t(r);
    }
    text->append(bytes);
  }
}

// "VALIDITY UID-SET]", the set's ranges (a:b) and single UIDs taken in
// their order; nothing where it does not read.
void ReadAppendUid(const char *text, AppendAnswer *answer) {
  char *end = nullptr;
  const unsigned long validity = strtoul(text, &end, 10);
  if (end == text || *end != ' ') return;
  std::vector<uint32_t> uids;
  for (const char *at = end + 1;;) {
    const unsigned long first = strtoul(at, &end, 10);
    if (end == at || first == 0) return;
    unsigned long last = first;
    if (*end == ':') {
      at = end + 1;
      last = strtoul(at, &end, 10);
      if (end == at || last < first || last - first > 100000) return;
    }
    for (unsigned long uid = first; uid <= last; ++uid) uids.push_back(uint32_t(uid));
    if (*end == ']') break;
    if (*end != ',') return;
    at = end + 1;
  }
  answer->Validity = uint32_t(validity);
  answer->Uids = uids;
}

}  // namespace

bool CanPipeline(const ImapSession &session, size_t size) {
  return session.LiteralPlus || (session.LiteralMinus && size <= LiteralMinusLimit);
}

std::string AppendDateText(const struct mailimap_date_time *date) {
  static const char *const Months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                       "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  if (date == nullptr || date->dt_month < 1 || date->dt_month > 12) return std::string();
  // The zone as hours and minutes, -0130 being -130.
  const int zone = date->dt_zone < 0 ? -date->dt_zone : date->dt_zone;
  char text[40];
  snprintf(text, sizeof text, "%02d-%s-%04d %02d:%02d:%02d %c%02d%02d", date->dt_day,
           Months[date->dt_month - 1], date->dt_year, date->dt_hour, date->dt_min, date->dt_sec,
           date->dt_zone < 0 ? '-' : '+', zone / 100 % 100, zone % 100);
  return text;
}

std::string NextAppendTag(ImapSession *session) {
  return "V" + std::to_string(++session->Tags);
}

bool WriteAppendStart(ImapSession *session, const std::string &tag, const std::string &mailbox) {
  mailimap *imap = session->Imap;
  return imap != nullptr && imap->imap_stream != nullptr &&
         Write(imap, tag + " APPEND " + Quoted(mailbox));
}

bool WriteAppendMessage(ImapSession *session, bool seen, const std::string &date,
                        const std::string &bytes) {
  return WriteAppendMessage(session, seen, date, bytes.data(), bytes.size());
}

bool WriteAppendMessage(ImapSession *session, bool seen, const std::string &date,
                        const char *bytes, size_t size) {
  mailimap *imap = session->Imap;
  if (imap == nullptr || imap->imap_stream == nullptr) return false;
  std::string head = seen ? " (\\Seen)" : "";
  if (!date.empty()) head += " \"" + date + "\"";
  head += " {" + std::to_string(size) + "+}\r\n";
  return Write(imap, head) && Write(imap, bytes, size);
}

bool WriteAppendEnd(ImapSession *session) {
  mailimap *imap = session->Imap;
  return imap != nullptr && imap->imap_stream != nullptr && Write(imap, "\r\n", 2);
}

bool FlushAppends(ImapSession *session) {
  mailimap *imap = session->Imap;
  return imap != nullptr && imap->imap_stream != nullptr && mailstream_flush(imap->imap_stream) == 0;
}

bool ReadAppendAnswer(ImapSession *session, AppendAnswer *answer) {
  mailimap *imap = session->Imap;
  if (imap == nullptr || imap->imap_stream == nullptr) return false;
  std::string text, problem;
  bool read = false;
  answer->Tag.clear();
  answer->Words.clear();
  while ((read = ReadResponse(imap, &text, &problem))) {
    // Untagged answers (EXISTS, RECENT) and "+" tell nothing of the APPENDs.
    if (text.empty() || text[0] == '*' || text[0] == '+') continue;
    const size_t blank = text.find(' ');
    answer->Tag = text.substr(0, blank);
    const size_t state = blank == std::string::npos ? text.size() : blank + 1;
    const size_t after = text.find(' ', state);
    const std::string status = text.substr(state, after == std::string::npos ? std::string::npos : after - state);
    answer->Ok = strcasecmp(status.c_str(), "OK") == 0;
    answer->Words.clear();
    for (size_t i = after == std::string::npos ? text.size() : after + 1;
         i < text.size() && answer->Words.size() < 400; ++i)
      answer->Words += uint8_t(text[i]) < 0x20 ? ' ' : text[i];
    if (answer->Words.empty()) answer->Words = "no reason given";
    answer->Validity = 0;
    answer->Uids.clear();
    if (answer->Ok && strncasecmp(answer->Words.c_str(), "[APPENDUID ", 11) == 0)
      ReadAppendUid(answer->Words.c_str() + 11, answer);
    break;
  }
  if (!read) answer->Words = problem;
  return read;
}
