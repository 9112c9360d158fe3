#include "outputs/imap_append.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// LITERAL-'s bound on a literal sent without "+".
const size_t LiteralMinusLimit = 4096;

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

// The tagged answer's parts into `answer`.
void TakeAnswer(const ImapResponse &response, AppendAnswer *answer) {
  answer->Tag = response.Tag;
  answer->Ok = StatusOf(response, &answer->Words) == "OK";
  answer->Validity = 0;
  answer->Uids.clear();
  if (answer->Ok && answer->Words.size() > 11 &&
      (answer->Words.compare(0, 11, "[APPENDUID ") == 0 ||
       answer->Words.compare(0, 11, "[appenduid ") == 0))
    ReadAppendUid(answer->Words.c_str() + 11, answer);
}

std::string MessageHead(bool seen, const std::string &date, size_t size, bool wait) {
  std::string head = seen ? " (\\Seen)" : "";
  if (!date.empty()) head += " \"" + date + "\"";
  return head + " {" + std::to_string(size) + (wait ? "}\r\n" : "+}\r\n");
}

}  // namespace

bool CanPipeline(const ImapClient &client, size_t size) {
  return client.LiteralPlus || (client.LiteralMinus && size <= LiteralMinusLimit);
}

std::string AppendDateText(const MailCalendar &date) {
  static const char *const Months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                       "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  if (date.Month < 1 || date.Month > 12) return std::string();
  const int zone = date.Zone < 0 ? -date.Zone : date.Zone;
  char text[60];
  snprintf(text, sizeof text, "%02d-%s-%04d %02d:%02d:%02d %c%02d%02d", date.Day,
           Months[date.Month - 1], int(date.Year), date.Hour, date.Minute, date.Second,
           date.Zone < 0 ? '-' : '+', zone / 60 % 100, zone % 60);
  return text;
}

bool WriteAppendStart(ImapClient *client, const std::string &tag, const std::string &mailbox) {
  return WriteWire(&client->Wire, tag + " APPEND " + QuotedString(mailbox));
}

bool WriteAppendMessage(ImapClient *client, bool seen, const std::string &date, const char *bytes,
                        size_t size) {
  return WriteWire(&client->Wire, MessageHead(seen, date, size, false)) &&
         WriteWire(&client->Wire, bytes, size);
}

bool WriteAppendEnd(ImapClient *client) { return WriteWire(&client->Wire, "\r\n", 2); }

bool FlushAppends(ImapClient *client) { return FlushWire(&client->Wire); }

bool ReadAppendAnswer(ImapClient *client, AppendAnswer *answer) {
  answer->Tag.clear();
  answer->Words.clear();
  ImapResponse response;
  while (ReadResponse(&client->Wire, &response)) {
    // Untagged answers (EXISTS, RECENT) and "+" tell nothing of the APPENDs.
    if (response.Kind != ImapTagged) continue;
    TakeAnswer(response, answer);
    return true;
  }
  if (client->Wire.Misbehaved) answer->Words = client->Wire.Problem;
  return false;
}

ImapAnswer AppendOne(ImapClient *client, const std::string &mailbox, bool seen,
                     const std::string &date, const char *bytes, size_t size,
                     AppendAnswer *answer) {
  const std::string tag = NextTag(client);
  *answer = AppendAnswer();
  if (!WriteAppendStart(client, tag, mailbox) ||
      !WriteWire(&client->Wire, MessageHead(seen, date, size, true)) || !FlushWire(&client->Wire))
    return ImapGone;
  ImapResponse response;
  bool asked = false;
  while (ReadResponse(&client->Wire, &response)) {
    if (response.Kind == ImapContinuation && !asked) {
      asked = true;
      if (!WriteWire(&client->Wire, bytes, size) || !WriteAppendEnd(client) ||
          !FlushWire(&client->Wire))
        return ImapGone;
      continue;
    }
    if (response.Kind != ImapTagged || response.Tag != tag) continue;
    TakeAnswer(response, answer);
    client->Words = answer->Words;
    if (answer->Ok) return asked ? ImapOk : ImapGone;
    const std::string status = StatusOf(response, &answer->Words);
    return status == "NO" || status == "BAD" ? ImapNo : ImapGone;
  }
  return ImapGone;
}
