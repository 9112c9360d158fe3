#include "outputs/imap_run.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>

#include "outputs/delivery_ledger.h"
#include "outputs/folder_tree.h"
#include "outputs/imap_append.h"
#include "outputs/mail_dates.h"
#include "outputs/mail_run.h"
#include "platform/system_facts.h"

namespace {

// Whether `text` starts with `start`, letters A-Z in either case.
bool StartsWithIgnoringCase(const char *text, const char *start) {
  for (; *start != '\0'; ++text, ++start) {
    const char a = *text >= 'A' && *text <= 'Z' ? char(*text + 32) : *text;
    const char b = *start >= 'A' && *start <= 'Z' ? char(*start + 32) : *start;
    if (a != b) return false;
  }
  return true;
}

// The pauses before each new connection once one is lost, in seconds; then
// the run stops.
const int Pauses[] = {1, 2, 4, 8};

struct FreeChars {
  void operator()(char *bytes) const { free(bytes); }
};

// A message's bytes as they go, held once: taken over from the buffer the
// outputs made them in.
struct MessageText {
  std::unique_ptr<char, FreeChars> Owned;
  size_t Size;
};

// Why a message failed: the server's words where it refused it.
struct Failure {
  ImapReason Reason;
  std::string Words;
  uint64_t Limit;  // the server's APPENDLIMIT
};

// What the selected mailbox holds, as far as this run knows it.
struct MailboxState {
  std::string Name;  // as the server names it (modified UTF-7)
  bool Exists;
  uint32_t Validity;
  std::unordered_map<uint32_t, uint32_t> Sizes;        // UID -> size
  std::unordered_map<std::string, uint32_t> ByMessageId;  // "ID SIZE" -> UID
  DeliveryLedger Ledger;
  bool LedgerOpen;
  // Past the highest UID known (the select's UIDNEXT, then each confirmed
  // UID): what a message sent now takes at least.
  uint32_t KnownNext;
  // UIDs (with their sizes) that may be messages of ours the ledger lacks:
  // from an intent a killed run left open, or new after a lost connection.
  // One is a message's when its size and then its bytes are the message's.
  std::unordered_map<uint32_t, uint32_t> Unaccounted;
  // The intent lines of this run: whether one was written, its UIDNEXT,
  // and the messages confirmed since.
  bool IntentWritten;
  uint32_t IntentFloor;
  int SinceIntent;
};

// What went to the account since the first message of the day: kept in a
// file beside the ledger, so that a rerun the same day goes on counting.
struct DaySending {
  std::string Path;  // empty: not kept (no cap, or a dry run)
  uint64_t Start;    // Unix seconds of the day's first message; 0: none yet
  uint64_t Bytes;
  bool Reached;      // a message would have passed MaxBytesPerDay
  double Written;    // MonotonicSeconds() when the record was last written
};

struct ImapRun {
  const ImapSettings *Settings;
  ImapAccount Account;
  ImapClient Session;
  MailRun Mail;  // how the outputs make a message's bytes, and tell of it
  uint64_t BytesSent;
  double Started;  // MonotonicSeconds() at the start
  bool Stopped;  // the connection is gone for good, or the quota is reached
  std::string OverQuota;  // the server's words when the mailbox is full
  bool QuotaSaid;
  DaySending Day;
};

bool Stopping(const ImapRun *run) {
  const OutputEvents &events = run->Mail.Events;
  return events.Stopping != nullptr && events.Stopping(events.Context);
}

// The news told to the host, `notice` with what it names.
void Tell(const ImapRun *run, ImapNews news) {
  const OutputEvents &events = run->Mail.Events;
  if (events.Imap != nullptr) events.Imap(events.Context, news);
}

ImapNews News(ImapNotice notice) {
  ImapNews news = {};
  news.Notice = notice;
  return news;
}

// Waits as the host waits, or else in tenths of a second until a stop is
// asked for.
void Sleep(const ImapRun *run, double seconds) {
  const OutputEvents &events = run->Mail.Events;
  if (events.Pause != nullptr) return events.Pause(events.Context, seconds);
  for (double left = seconds; left > 0 && !Stopping(run); left -= 0.1)
    PauseFor(std::min(left, 0.1), nullptr);
}

// An identifier as both the message and the server's envelope give it: no
// angle brackets, no blanks.
std::string BareId(const char *id) {
  std::string bare;
  for (const char *c = id; *c != '\0'; ++c)
    if (*c != '<' && *c != '>' && *c != ' ' && *c != '\t' && *c != '\r' && *c != '\n') bare += *c;
  return bare;
}

// The message's Message-ID, from its header section: the first such field,
// its folded lines joined, the identifier in angle brackets where there is
// one.
std::string HeaderFacts(const ByteBuffer &message) {
  const char *bytes = message.Bytes;
  const size_t size = message.Size;
  for (size_t line = 0; line < size;) {
    size_t end = line;
    while (end < size && bytes[end] != '\n') ++end;
    if (end == line || (end == line + 1 && bytes[line] == '\r')) break;  // the header's end
    if (end - line > 11 && StartsWithIgnoringCase(bytes + line, "Message-ID:")) {
      std::string value(bytes + line + 11, end - line - 11);
      // Folded onto the lines that follow, which start with a blank.
      while (end + 1 < size && (bytes[end + 1] == ' ' || bytes[end + 1] == '\t')) {
        const size_t next = end + 1;
        end = next;
        while (end < size && bytes[end] != '\n') ++end;
        value.append(bytes + next, end - next);
      }
      const size_t open = value.find('<');
      const size_t close = open == std::string::npos ? open : value.find('>', open);
      if (close != std::string::npos) value = value.substr(open, close - open + 1);
      return BareId(value.c_str());
    }
    line = end + 1;
  }
  return std::string();
}

// The message's internal date as APPEND takes it, as the other outputs date
// it (mail_dates.h); empty where none can be trusted, and the server's time
// stands.
std::string ItemDate(const MailFolder &folder, int position, const ByteBuffer &message) {
  MailCalendar at;
  if (!InternalDateOf(folder, position, message.Bytes, message.Size, &at)) return std::string();
  return AppendDateText(at);
}

// IMAP takes a message's lines ending in CR LF: a line feed alone gets its
// CR, in the buffer itself (grown in place where it can be), so that a large
// message is never held twice. False when memory runs out.
bool WithCrLf(ByteBuffer *message) {
  size_t bare = 0;
  for (size_t i = 0; i < message->Size; ++i)
    bare += message->Bytes[i] == '\n' && (i == 0 || message->Bytes[i - 1] != '\r');
  if (bare == 0) return true;
  const size_t size = message->Size + bare;
  if (size > message->Room) {
    char *grown = static_cast<char *>(realloc(message->Bytes, size));
    if (grown == nullptr) return false;
    message->Bytes = grown;
    message->Room = size;
  }
  // From the end, each byte to its place, a CR before each bare line feed.
  char *bytes = message->Bytes;
  for (size_t from = message->Size, to = size; from > 0;) {
    const char c = bytes[--from];
    bytes[--to] = c;
    if (c == '\n' && (from == 0 || bytes[from - 1] != '\r')) bytes[--to] = '\r';
  }
  message->Size = size;
  return true;
}

// The buffer's bytes taken over, the buffer left empty.
MessageText TakeText(ByteBuffer *message) {
  MessageText text;
  text.Owned.reset(message->Bytes);
  text.Size = message->Size;
  *message = ByteBuffer{};
  return text;
}

// What the mailbox holds: each message's UID, size and Message-ID.
bool ReadMailbox(ImapRun *run, MailboxState *box) {
  ImapClient *imap = &run->Session;
  box->Sizes.clear();
  box->ByMessageId.clear();
  if (imap->Exists == 0) return true;
  return FetchMessages(imap, false, "1:*", "(UID RFC822.SIZE ENVELOPE)", 0,
                       [&](const FetchedItems &items) {
                         if (items.Uid == 0) return;
                         box->Sizes[items.Uid] = items.Size;
                         const std::string id = BareId(items.MessageId.c_str());
                         if (!id.empty())
                           box->ByMessageId[id + " " + std::to_string(items.Size)] = items.Uid;
                       }) == ImapOk;
}

// Selects the mailbox, made and subscribed where missing (only looked at in
// a dry run), and reads what it holds. False, having said why, when it
// cannot be; `*lost` when the connection went.
bool OpenMailbox(ImapRun *run, MailboxState *box, bool *lost) {
  ImapClient *imap = &run->Session;
  *lost = false;
  const bool dry = run->Settings->DryRun;
  ImapAnswer r = SelectMailbox(imap, box->Name, dry);
  box->Exists = r == ImapOk;
  if (!box->Exists && !dry && r != ImapGone) {
    // Made by someone else meanwhile, or refused: the select tells.
    if (CreateMailbox(imap, box->Name) != ImapGone) SubscribeMailbox(imap, box->Name);
    r = SelectMailbox(imap, box->Name, false);
    box->Exists = r == ImapOk;
  }
  if (r == ImapGone) {
    *lost = true;
    return false;
  }
  if (!box->Exists && dry) {
    box->Validity = 0;
    box->Sizes.clear();
    box->ByMessageId.clear();
    return true;
  }
  if (!box->Exists) {
    ImapNews news = News(ImapMailboxNotMade);
    const std::string words = ServerWords(run->Session);
    news.Mailbox = box->Name.c_str();
    news.Words = words.c_str();
    Tell(run, news);
    return false;
  }
  box->Validity = imap->UidValidity;
  box->KnownNext = imap->UidNext;
  if (!ReadMailbox(run, box)) {
    *lost = ImapLost(*imap);
    if (!*lost) {
      ImapNews news = News(ImapMailboxNotRead);
      const std::string words = ServerWords(run->Session);
      news.Mailbox = box->Name.c_str();
      news.Words = words.c_str();
      Tell(run, news);
    }
    *lost = true;
    return false;
  }
  for (const auto &uid_size : box->Sizes) box->KnownNext = std::max(box->KnownNext, uid_size.first + 1);
  return true;
}

// A new connection after the last was lost, with a pause that grows before
// each try, and the mailbox selected again. False once the tries are spent
// (the run stops), having said why.
bool Reconnect(ImapRun *run, MailboxState *box) {
  ImapNews lost = News(ImapConnectionLost);
  lost.Host = run->Account.Host.c_str();
  Tell(run, lost);
  CloseImap(&run->Session);
  std::string problem;
  for (int pause : Pauses) {
    Sleep(run, pause);
    if (Stopping(run)) return false;
    const ConnectOutcome outcome = ConnectImap(run->Account, *run->Settings->Password, &run->Session, &problem);
    if (outcome == Refused) break;
    if (outcome != Connected) continue;
    bool lost = false;
    if (OpenMailbox(run, box, &lost)) return true;
    if (!lost) break;
    CloseImap(&run->Session);
  }
  ImapNews given_up = News(ImapGivenUp);
  given_up.Words = problem.c_str();
  Tell(run, given_up);
  run->Stopped = true;
  return false;
}

// NO because the mailbox or the account is full: nothing more will go.
bool OverQuota(const std::string &words) {
  std::string lower = words;
  for (char &c : lower) c = char(tolower(uint8_t(c)));
  return lower.find("[overquota]") != std::string::npos || lower.find("quota") != std::string::npos;
}

// The longest pause a server's suggestion is followed for, in seconds.
const double LongestSuggestedPause = 600;

// The pause the server's words ask for, in seconds ("Suggested Backoff
// Time: N milliseconds", as Microsoft 365 puts it), at most
// LongestSuggestedPause; 0 when they name none.
double SuggestedPause(const std::string &words) {
  std::string lower = words;
  for (char &c : lower) c = char(tolower(uint8_t(c)));
  const char key[] = "suggested backoff time:";
  const size_t at = lower.find(key);
  if (at == std::string::npos) return 0;
  const char *number = lower.c_str() + at + sizeof key - 1;
  while (*number == ' ') ++number;
  char *end = nullptr;
  const double count = strtod(number, &end);
  if (end == number || !(count > 0)) return 0;
  while (*end == ' ') ++end;
  const double seconds = StartsWithIgnoringCase(end, "ms") || StartsWithIgnoringCase(end, "milli")
                             ? count / 1000
                             : count;
  return std::min(seconds, LongestSuggestedPause);
}

// NO with a hint to come back later: the server is busy or throttles.
bool Throttled(const std::string &words) {
  return words.find("[UNAVAILABLE]") != std::string::npos ||
         words.find("[INUSE]") != std::string::npos ||
         words.find("[THROTTLED]") != std::string::npos || SuggestedPause(words) > 0 ||
         words.find("Request is throttled") != std::string::npos;
}

// The pause before a throttled APPEND goes again: as long as the server
// asks, said, else the `attempt`th of Pauses.
void PauseThrottled(const ImapRun *run, const std::string &words, int attempt) {
  const double asked = SuggestedPause(words);
  if (asked > 0) {
    ImapNews news = News(ImapPauseAsked);
    news.Seconds = asked;
    Tell(run, news);
  }
  Sleep(run, asked > 0 ? asked : Pauses[attempt]);
}

// Waits as long as LimitRate asks after `BytesSent`.
void KeepToRate(ImapRun *run) {
  if (run->Settings->LimitRate == 0) return;
  const double elapsed = MonotonicSeconds() - run->Started;
  const double due = double(run->BytesSent) / double(run->Settings->LimitRate);
  if (due > elapsed) Sleep(run, due - elapsed);
}

const uint64_t SecondsADay = 24 * 60 * 60;

uint64_t NowSeconds() { return NowTicks() / 10000000ULL - 11644473600ULL; }

// The day's record at `path` ("vfolder-day START BYTES"): a day begun 24
// hours ago or more is over, and counting starts again.
void ReadDay(const std::string &path, DaySending *day) {
  day->Path = path;
  day->Start = day->Bytes = 0;
  const FileRef file = FileSystem.OpenForReading(path.c_str());
  if (file == NoFile) return;
  char text[100] = {};
  FileSystem.ReadAt(file, 0, text, sizeof text - 1);
  FileSystem.Close(file);
  unsigned long long start = 0, bytes = 0;
  if (sscanf(text, "vfolder-day %llu %llu", &start, &bytes) != 2) return;
  if (NowSeconds() >= start + SecondsADay) return;
  day->Start = start;
  day->Bytes = bytes;
}

// The day's record written anew: a file beside it moved over it, so that a
// crash leaves the old record or the new. False when it cannot be.
bool WriteDay(const DaySending &day) {
  const std::string fresh = day.Path + ".new";
  FileSystem.Remove(fresh.c_str());
  bool exists = false;
  const FileRef file = FileSystem.CreateNew(fresh.c_str(), OwnerOnly, &exists);
  if (file == NoFile) return false;
  char text[100];
  const int size = snprintf(text, sizeof text, "vfolder-day %llu %llu\n",
                            (unsigned long long)day.Start, (unsigned long long)day.Bytes);
  const bool written = FileSystem.Write(file, text, size_t(size));
  return FileSystem.Close(file) && written && FileSystem.MoveReplacing(fresh.c_str(), day.Path.c_str());
}

// The day's record written where it is kept, at once or (`now` false) once
// a second at most: a process killed loses a second's count at most. False,
// having said why and stopped the run, when it cannot be written.
bool KeepDay(ImapRun *run, bool now) {
  DaySending *day = &run->Day;
  if (day->Path.empty() || day->Start == 0) return true;
  if (!now && MonotonicSeconds() - day->Written < 1) return true;
  day->Written = MonotonicSeconds();
  if (WriteDay(*day)) return true;
  ImapNews news = News(ImapNotWritten);
  news.Error = LastSystemError();
  news.Path = day->Path.c_str();
  news.Flag = true;
  Tell(run, news);
  run->Stopped = true;
  return false;
}

// Whether a message of `size` bytes may go today under MaxBytesPerDay;
// counted into the day when it may. The day begins with its first message.
bool WithinDay(ImapRun *run, size_t size) {
  DaySending *day = &run->Day;
  if (day->Path.empty()) return true;
  const uint64_t most = run->Settings->MaxBytesPerDay;
  if (day->Start != 0 && NowSeconds() >= day->Start + SecondsADay) day->Start = day->Bytes = 0;
  if (day->Bytes + size > most) {
    day->Reached = true;
    return false;
  }
  const bool first = day->Start == 0;
  if (first) day->Start = NowSeconds();
  day->Bytes += size;
  if (KeepDay(run, first)) return true;
  day->Bytes -= size;
  return false;
}

enum Sending { SendingSent, SendingThere, SendingFailed, SendingStopped, SendingDue };

// Whether the ledger and the server, or the message's Message-ID and size,
// show it there already; found by the latter, it goes into the ledger.
bool AlreadyThere(ImapRun *run, MailboxState *box, const std::string &key, const std::string &id,
                  size_t size) {
  const auto found = box->Ledger.Entries.find(key);
  // A UID the server did not tell (no UIDPLUS) cannot be looked for.
  if (found != box->Ledger.Entries.end() && found->second.Validity == box->Validity &&
      (found->second.Uid == 0 || box->Sizes.count(found->second.Uid) > 0))
    return true;
  if (id.empty()) return false;
  const auto same = box->ByMessageId.find(id + " " + std::to_string(size));
  if (same == box->ByMessageId.end()) return false;
  if (!run->Settings->DryRun)
    RecordDelivery(&box->Ledger, key, {box->Validity, same->second}, true);  // found so again
  return true;
}

// What decides before any sending: there already, over APPENDLIMIT, or in a
// dry run as good as sent; else SendingDue.
Sending BeforeSending(ImapRun *run, MailboxState *box, const std::string &key,
                      const std::string &id, size_t size, Failure *failure) {
  if (AlreadyThere(run, box, key, id, size)) return SendingThere;
  if (run->Session.AppendLimit > 0 && size > run->Session.AppendLimit) {
    failure->Reason = ImapReasonOverLimit;
    failure->Limit = run->Session.AppendLimit;
    return SendingFailed;
  }
  return run->Settings->DryRun ? SendingSent : SendingDue;
}

// A new intent line once this many messages were confirmed since the last:
// the ledger goes to the disk that often, and a rerun compares no more.
const int IntentEvery = 64;

// Before messages go: unless a recent intent covers them, an intent line
// that they take UIDs from the floor on, synced with every line before it.
// The floor is the lowest UID any message not yet answered for may hold:
// the lowest Floor of the commands in flight (`in_flight_floor`), and past
// the highest UID known. A
// rerun after a crash compares what the mailbox holds from the last such
// line on. False, having said why and stopped the run, when the ledger
// cannot be written.
bool DeclareIntent(ImapRun *run, MailboxState *box, uint32_t in_flight_floor) {
  if (run->Settings->DryRun || (box->IntentWritten && box->SinceIntent < IntentEvery)) return true;
  const uint32_t floor = std::min(box->KnownNext, in_flight_floor);
  if (!RecordIntent(&box->Ledger, box->Validity, floor)) {
    ImapNews news = News(ImapNotWritten);
    news.Error = LastSystemError();
    news.Path = box->Ledger.Path.c_str();
    news.Flag = true;
    Tell(run, news);
    run->Stopped = true;
    return false;
  }
  box->IntentWritten = true;
  box->IntentFloor = floor;
  box->SinceIntent = 0;
  return true;
}

// What a rerun looks for: the UIDs from an intent left open by a run that
// was killed, which the ledger does not name.
void FindUnaccounted(MailboxState *box) {
  box->Unaccounted.clear();
  if (!box->Ledger.IntentOpen || box->Ledger.IntentValidity != box->Validity) return;
  std::unordered_set<uint32_t> named;
  for (const auto &entry : box->Ledger.Entries)
    if (entry.second.Validity == box->Validity) named.insert(entry.second.Uid);
  for (const auto &uid_size : box->Sizes)
    if (uid_size.first >= box->Ledger.IntentUidNext && named.count(uid_size.first) == 0)
      box->Unaccounted.insert(uid_size);
}

// The mailbox's UIDNEXT and number of messages as STATUS tells them (0
// where it does not).
uint64_t MailboxCounts(ImapRun *run, const MailboxState &box) {
  uint32_t uid_next = 0, messages = 0;
  if (MailboxStatus(&run->Session, box.Name, &uid_next, &messages) != ImapOk) return 0;
  return uint64_t(uid_next) << 32 | messages;
}

// After a killed run the server may still be taking the APPENDs that were
// on their way when the client went: once the mailbox holds still for two
// seconds (a minute at most), it is selected and read again. False when
// that fails (`*lost`: the connection went).
bool AwaitStill(ImapRun *run, MailboxState *box, bool *lost) {
  uint64_t before = MailboxCounts(run, *box);
  for (int pause = 0; pause < 30 && !Stopping(run); ++pause) {
    Sleep(run, 2);
    const uint64_t now = MailboxCounts(run, *box);
    if (now == before) break;
    before = now;
  }
  return OpenMailbox(run, box, lost);
}

// UIDs the mailbox holds that `known` did not: new since a connection was
// lost, maybe messages of ours.
void AddArrived(MailboxState *box, const std::unordered_set<uint32_t> &known) {
  for (const auto &uid_size : box->Sizes)
    if (known.count(uid_size.first) == 0) box->Unaccounted.insert(uid_size);
}

bool MayBeThere(const MailboxState &box, size_t size) {
  for (const auto &uid_size : box.Unaccounted)
    if (uid_size.second == size) return true;
  return false;
}

// Compared a megabyte at a time, so that a large message is never held
// twice.
const size_t ComparePiece = 1u << 20;

// Whether the message at `uid` holds exactly these bytes, read back with
// UID FETCH BODY.PEEK[]<offset.length>. `*lost` when the connection went.
bool SameBytes(ImapRun *run, uint32_t uid, const char *bytes, size_t size, bool *lost) {
  for (size_t offset = 0; offset < size; offset += ComparePiece) {
    const size_t length = std::min(ComparePiece, size - offset);
    bool same = false;
    const ImapAnswer r = FetchMessages(
        &run->Session, true, std::to_string(uid),
        "(UID BODY.PEEK[]<" + std::to_string(offset) + "." + std::to_string(length) + ">)", length,
        [&](const FetchedItems &items) {
          if (items.Uid == uid && items.HasBody)
            same = items.BodySize == length &&
                   (length == 0 || memcmp(items.Body, bytes + offset, length) == 0);
        });
    if (r != ImapOk) {
      *lost = r == ImapGone;
      return false;
    }
    if (!same) return false;
  }
  return true;
}

// The UID of a message unaccounted for that is this one: of its size (a
// UID is a message's only when its size matches), then of its bytes; it is
// taken off the list. 0 for none. Nothing may be in flight.
uint32_t FoundDelivered(ImapRun *run, MailboxState *box, const char *bytes, size_t size,
                        bool *lost) {
  std::vector<uint32_t> candidates;
  for (const auto &uid_size : box->Unaccounted)
    if (uid_size.second == size) candidates.push_back(uid_size.first);
  std::sort(candidates.begin(), candidates.end());
  for (uint32_t uid : candidates) {
    if (SameBytes(run, uid, bytes, size, lost)) {
      box->Unaccounted.erase(uid);
      return uid;
    }
    if (*lost) break;
  }
  return 0;
}

// A confirmed message into what the run knows of the mailbox and into the
// ledger, written to the system at once (a crash of the process loses
// none) and on the disk with the next intent: should a crash of the
// machine lose the line, that intent's search of the mailbox finds it.
void Confirmed(const ImapRun *run, MailboxState *box, const std::string &key, const std::string &id,
               size_t size, uint32_t validity, uint32_t uid) {
  if (validity != 0 && validity != box->Validity) box->Validity = validity;
  if (uid != 0) box->Sizes[uid] = uint32_t(size);
  if (uid != 0) box->KnownNext = std::max(box->KnownNext, uid + 1);
  if (uid != 0 && !id.empty()) box->ByMessageId[id + " " + std::to_string(size)] = uid;
  ++box->SinceIntent;
  const bool written = RecordDelivery(&box->Ledger, key, {box->Validity, uid}, true);
  if (!written) {
    ImapNews news = News(ImapNotWritten);
    news.Error = LastSystemError();
    news.Path = box->Ledger.Path.c_str();
    Tell(run, news);
  }
}

// One message into the selected mailbox, the server's answer awaited. After
// a lost connection the mailbox decides whether it arrived: a message this
// run did not know of before, of its size.
Sending SendMessage(ImapRun *run, MailboxState *box, const std::string &key, const ByteBuffer &bytes,
                    const std::string &id, const MailFolder &folder, int position,
                    Failure *failure) {
  for (int attempt = 0;; ++attempt) {
    if (Stopping(run) || !DeclareIntent(run, box, UINT32_MAX)) return SendingStopped;
    AppendAnswer answer;
    const ImapAnswer r = AppendOne(&run->Session, box->Name, run->Settings->Seen,
                                   ItemDate(folder, position, bytes), bytes.Bytes, bytes.Size,
                                   &answer);
    const bool told = answer.Uids.size() == 1;
    const uint32_t validity = told ? answer.Validity : 0, uid = told ? answer.Uids[0] : 0;
    if (r == ImapOk) {
      run->BytesSent += bytes.Size;
      Confirmed(run, box, key, id, bytes.Size, validity, uid);
      KeepToRate(run);
      return SendingSent;
    }
    if (r != ImapGone) {
      const std::string words = ServerWords(run->Session);
      if (OverQuota(words)) {
        run->OverQuota = words;
        run->Stopped = true;
        return SendingStopped;
      }
      if (Throttled(words) && attempt < int(sizeof Pauses / sizeof Pauses[0])) {
        PauseThrottled(run, words, attempt);
        continue;
      }
      *failure = {ImapReasonRefused, words, 0};
      return SendingFailed;
    }
    if (Stopping(run)) return SendingStopped;
    std::unordered_set<uint32_t> known;
    for (const auto &uid_size : box->Sizes) known.insert(uid_size.first);
    if (attempt >= int(sizeof Pauses / sizeof Pauses[0]) || !Reconnect(run, box))
      return SendingStopped;
    AddArrived(box, known);
    bool gone = false;
    const uint32_t arrived = FoundDelivered(run, box, bytes.Bytes, bytes.Size, &gone);
    if (arrived != 0) {
      Confirmed(run, box, key, id, bytes.Size, 0, arrived);
      return SendingSent;
    }
    if (AlreadyThere(run, box, key, id, bytes.Size)) return SendingThere;
  }
}

void Count(ImapTally *tally, Sending sending) {
  ++tally->Handled;
  if (sending == SendingSent) ++tally->Sent;
  if (sending == SendingThere) ++tally->AlreadyThere;
  if (sending == SendingFailed) ++tally->Failed;
}

// Up to this many messages in one APPEND where the server takes several
// (MULTIAPPEND): Dovecot, for one, stores them in one go, where each command
// of its own costs it a pass over the whole mailbox.
const size_t BatchMessages = 32;
const size_t BatchBytes = 1u << 20;

// Up to this many messages, or bytes, in flight at once: enough that a fast
// server never waits on us, few enough that little is sent again after a
// lost connection. Once past either, answers are taken until half is left,
// so that messages go out in runs rather than one per answer.
const size_t WindowMessages = 128;
const size_t WindowBytes = 4u << 20;

// A message on its way, its bytes kept until the server has answered for it.
struct Outgoing {
  std::string Key, Id;
  MessageText Bytes;
  std::string Date;
  int Position;
};

// An APPEND written to the server whose tagged answer has not come yet.
struct InFlight {
  std::string Tag;
  std::vector<Outgoing> Messages;
  int Throttled;  // answers to come back later, so far
  // Past the highest UID known when it went: the server gave that one
  // before it had this command, so its messages take higher UIDs.
  uint32_t Floor;
};

// One folder's messages on their way to the mailbox.
struct FolderSending {
  ImapRun *Run;
  MailboxState *Box;
  ImapTally *Tally;
  const MailFolder *Folder;
  std::string Shown;
  std::vector<Outgoing> Gathered;  // for the next APPEND, not written yet
  std::deque<InFlight> Window;     // in the order written
  size_t Messages, Bytes;          // in the window
  int Drops;                       // connections lost with no answer between
};

// A message's end: counted, a failure told with its reason.
void Settle(FolderSending *sending, int position, Sending outcome, const Failure &failure = {}) {
  const ImapRun *run = sending->Run;
  if (outcome == SendingFailed) {
    ImapNews news = News(ImapMessageFailed);
    news.Path = sending->Shown.c_str();
    news.Name = NameOf(*sending->Folder, position);
    news.Reason = failure.Reason;
    news.Words = failure.Words.c_str();
    news.Count = failure.Limit;
    Tell(run, news);
  }
  Count(sending->Tally, outcome);
  TellOutcome(run->Mail, {sending->Folder, position,
                          outcome == SendingFailed ? ProblemCannotWrite : NoProblem, 0,
                          NoHeadersGiven, nullptr});
  ++sending->Run->Mail.Done;
  const OutputEvents &events = run->Mail.Events;
  if (events.Progress != nullptr)
    events.Progress(events.Context, run->Mail.Done, run->Mail.Total, NameOf(*sending->Folder, position));
}

// One APPEND of the messages, into the window and written to the server.
// False when the connection went (they stay in the window).
bool Launch(FolderSending *sending, std::vector<Outgoing> messages, int throttled) {
  ImapRun *run = sending->Run;
  ImapClient *session = &run->Session;
  // Without a ledger to trust, they are left for the next run.
  uint32_t in_flight = UINT32_MAX;
  for (const InFlight &command : sending->Window) in_flight = std::min(in_flight, command.Floor);
  if (!DeclareIntent(run, sending->Box, in_flight)) return true;
  sending->Window.push_back(
      {NextTag(session), std::move(messages), throttled, sending->Box->KnownNext});
  const InFlight &sent = sending->Window.back();
  bool written = WriteAppendStart(session, sent.Tag, sending->Box->Name);
  for (const Outgoing &message : sent.Messages) {
    sending->Messages += 1;
    sending->Bytes += message.Bytes.Size;
    written = written && WriteAppendMessage(session, run->Settings->Seen, message.Date,
                                            message.Bytes.Owned.get(), message.Bytes.Size);
    if (written) run->BytesSent += message.Bytes.Size;
  }
  if (!written || !WriteAppendEnd(session)) return false;
  if (run->Settings->LimitRate > 0 && !FlushAppends(session)) return false;
  KeepToRate(run);
  return true;
}

// What was gathered, written in APPENDs of up to BatchMessages and
// BatchBytes. False when the connection went.
bool LaunchGathered(FolderSending *sending) {
  std::vector<Outgoing> gathered;
  gathered.swap(sending->Gathered);
  for (size_t first = 0; first < gathered.size();) {
    std::vector<Outgoing> batch;
    size_t bytes = 0;
    // One message an APPEND to a server that does not offer MULTIAPPEND.
    const size_t most = sending->Run->Session.MultiAppend ? BatchMessages : 1;
    while (first < gathered.size() && batch.size() < most &&
           (batch.empty() || bytes + gathered[first].Bytes.Size <= BatchBytes)) {
      bytes += gathered[first].Bytes.Size;
      batch.push_back(std::move(gathered[first++]));
    }
    if (!Launch(sending, std::move(batch), 0)) {
      sending->Gathered.assign(std::make_move_iterator(gathered.begin() + ptrdiff_t(first)),
                               std::make_move_iterator(gathered.end()));
      return false;
    }
  }
  return true;
}

// A message for the next APPEND, which goes once it holds enough (at once
// where the server takes one message an APPEND). False when the connection
// went.
bool Gather(FolderSending *sending, Outgoing message) {
  sending->Gathered.push_back(std::move(message));
  size_t bytes = 0;
  for (const Outgoing &gathered : sending->Gathered) bytes += gathered.Bytes.Size;
  if (sending->Run->Session.MultiAppend && sending->Gathered.size() < BatchMessages &&
      bytes < BatchBytes)
    return true;
  return LaunchGathered(sending);
}

InFlight Taken(FolderSending *sending, std::deque<InFlight>::iterator at) {
  InFlight command = std::move(*at);
  sending->Window.erase(at);
  for (const Outgoing &message : command.Messages) {
    sending->Messages -= 1;
    sending->Bytes -= message.Bytes.Size;
  }
  return command;
}

// The next tagged answer, and the messages it settles. A refused APPEND of
// several sends each again on its own, so that only the one the server
// will not take fails, with its words. False when the connection went.
bool TakeAnswer(FolderSending *sending) {
  ImapRun *run = sending->Run;
  AppendAnswer answer;
  if (!FlushAppends(&run->Session)) return false;
  if (!ReadAppendAnswer(&run->Session, &answer)) {
    if (!answer.Words.empty()) {
      ImapNews news = News(ImapConnectionEnded);
      news.Host = run->Account.Host.c_str();
      news.Words = answer.Words.c_str();
      Tell(run, news);
    }
    return false;
  }
  auto at = std::find_if(sending->Window.begin(), sending->Window.end(),
                         [&](const InFlight &command) { return command.Tag == answer.Tag; });
  if (at == sending->Window.end()) return true;  // no APPEND of ours
  InFlight command = Taken(sending, at);
  // Once the mailbox is full, what is still in flight is left for the next
  // run unless the server took it.
  if (!answer.Ok && (!run->OverQuota.empty() || OverQuota(answer.Words))) {
    if (run->OverQuota.empty()) run->OverQuota = answer.Words;
    run->Stopped = true;
    sending->Gathered.clear();
    return true;
  }
  if (answer.Ok) {
    sending->Drops = 0;
    const bool told = answer.Uids.size() == command.Messages.size();
    for (size_t i = 0; i < command.Messages.size(); ++i) {
      const Outgoing &message = command.Messages[i];
      Confirmed(run, sending->Box, message.Key, message.Id, message.Bytes.Size, answer.Validity,
                told ? answer.Uids[i] : 0);
      Settle(sending, message.Position, SendingSent);
    }
    return true;
  }
  if (Throttled(answer.Words) && command.Throttled < int(sizeof Pauses / sizeof Pauses[0])) {
    PauseThrottled(run, answer.Words, command.Throttled);
    return Launch(sending, std::move(command.Messages), command.Throttled + 1);
  }
  if (command.Messages.size() > 1) {
    for (Outgoing &message : command.Messages) {
      std::vector<Outgoing> alone;
      alone.push_back(std::move(message));
      if (!Launch(sending, std::move(alone), 0)) return false;
    }
    return true;
  }
  Settle(sending, command.Messages[0].Position, SendingFailed,
         {ImapReasonRefused, answer.Words, 0});
  return true;
}

// After a lost connection: a new one, and each message that was in flight
// either found in the mailbox (one it did not hold before, of its
// Message-ID and size, else of its size and bytes) or written again. False when the run stops here;
// what was in flight is then neither counted nor in the ledger, and the
// next run's search of the mailbox decides it.
bool Recover(FolderSending *sending) {
  ImapRun *run = sending->Run;
  MailboxState *box = sending->Box;
  std::vector<Outgoing> pending;
  while (!sending->Window.empty()) {
    InFlight command = Taken(sending, sending->Window.begin());
    for (Outgoing &message : command.Messages) pending.push_back(std::move(message));
  }
  std::unordered_set<uint32_t> known;
  for (const auto &uid_size : box->Sizes) known.insert(uid_size.first);
  if (Stopping(run) || ++sending->Drops > int(sizeof Pauses / sizeof Pauses[0]) ||
      !Reconnect(run, box)) {
    sending->Gathered.clear();
    return false;
  }
  AddArrived(box, known);
  std::vector<bool> settled(pending.size(), false);
  bool gone = false;
  for (size_t i = 0; i < pending.size() && !gone; ++i) {
    const Outgoing &message = pending[i];
    uint32_t uid = 0;
    const auto same = message.Id.empty() ? box->ByMessageId.end()
                                         : box->ByMessageId.find(message.Id + " " +
                                                                 std::to_string(message.Bytes.Size));
    if (same != box->ByMessageId.end() && box->Unaccounted.erase(same->second) > 0)
      uid = same->second;
    else
      uid = FoundDelivered(run, box, message.Bytes.Owned.get(), message.Bytes.Size, &gone);
    if (uid == 0) continue;
    Confirmed(run, box, message.Key, message.Id, message.Bytes.Size, 0, uid);
    Settle(sending, message.Position, SendingSent);
    settled[i] = true;
  }
  std::vector<Outgoing> again;
  for (size_t i = 0; i < pending.size(); ++i) {
    if (settled[i]) continue;
    if (AlreadyThere(run, box, pending[i].Key, pending[i].Id, pending[i].Bytes.Size))
      Settle(sending, pending[i].Position, SendingThere);
    else
      again.push_back(std::move(pending[i]));
  }
  // Sent again ahead of what was gathered meanwhile, in their order.
  for (Outgoing &message : sending->Gathered) again.push_back(std::move(message));
  sending->Gathered.swap(again);
  return LaunchGathered(sending) || Recover(sending);
}

// Answers taken until no more than `most` messages are in flight, and half
// of WindowBytes. False when the run stops here.
bool Drain(FolderSending *sending, size_t most) {
  while (!sending->Window.empty() &&
         (sending->Messages > most || sending->Bytes > WindowBytes / 2)) {
    if (!TakeAnswer(sending) && !Recover(sending)) return false;
  }
  return true;
}

// Every message gathered written and answered for. False when the run
// stops here.
bool Finish(FolderSending *sending) {
  return (LaunchGathered(sending) || Recover(sending)) && Drain(sending, 0);
}

// Every message of the folder into the mailbox `mailbox` (UTF-8).
ImapTally SendFolder(ImapRun *run, const ImapSource &source, const std::string &mailbox,
                     bool name_folder) {
  ImapTally tally = {};
  MailFolder folder;
  const FolderOpening opening = OpenMailFolder(source.Path, &folder, run->Mail.Charset);
  const std::string &shown = source.Shown;
  if (opening != FolderOpened || !OpenDataFile(folder.Handle)) {
    ImapNews news = News(ImapFolderNotRead);
    news.Path = shown.c_str();
    news.Flag = opening == NotAFolder;
    Tell(run, news);
    tally.Messages = tally.Handled = tally.Failed =
        opening == FolderOpened ? int(folder.Entries.size()) : 1;
    CloseMailFolder(&folder);
    return tally;
  }
  std::vector<int> chosen;
  if (source.Chosen != nullptr)
    chosen = *source.Chosen;
  else
    for (size_t i = 0; i < folder.Entries.size(); ++i) chosen.push_back(int(i));
  tally.Messages = int(chosen.size());
  if (NeedsCharset(run->Mail, &folder, chosen)) {
    tally.Handled = tally.Failed = tally.Messages;
    CloseMailFolder(&folder);
    return tally;
  }
  MailboxState box = {};
  box.Name = ModifiedUtf7(mailbox);
  bool lost = false;
  bool opened = OpenMailbox(run, &box, &lost) || (lost && Reconnect(run, &box));
  // Given for a directory of folders, the name is one ledger's per mailbox.
  std::string ledger_path = run->Settings->LedgerPath == nullptr ? std::string()
                            : name_folder ? MailboxLedgerPath(run->Settings->LedgerPath, mailbox)
                                          : std::string(run->Settings->LedgerPath);
  if (run->Settings->LedgerPath == nullptr) ledger_path = ImapLedgerPath(run->Account, mailbox);
  int error = 0;
  if (opened && !run->Settings->DryRun &&
      (ledger_path.empty() || !OpenLedger(ledger_path, &box.Ledger, &error))) {
    ImapNews news = News(ImapLedgerNotOpened);
    news.Path = ledger_path.c_str();
    news.Error = error;
    Tell(run, news);
    opened = false;
  } else if (opened && run->Settings->DryRun) {
    // Read where it is, never made.
    const FileRef exists =
        ledger_path.empty() ? NoFile : FileSystem.OpenForReading(ledger_path.c_str());
    if (exists != NoFile) {
      FileSystem.Close(exists);
      OpenLedger(ledger_path, &box.Ledger, &error);
    }
  }
  if (!opened) {
    tally.Handled = tally.Failed = tally.Messages;
    CloseMailFolder(&folder);
    return tally;
  }
  FindUnaccounted(&box);
  if (box.Ledger.IntentOpen && box.Ledger.IntentValidity == box.Validity) {
    if (!AwaitStill(run, &box, &lost) && !(lost && Reconnect(run, &box))) {
      tally.Handled = tally.Failed = tally.Messages;
      CloseLedger(&box.Ledger);
      CloseMailFolder(&folder);
      return tally;
    }
    FindUnaccounted(&box);
  }
  ByteBuffer message = {}, held = {};
  Failure failure;
  std::unordered_map<std::string, int> twins;
  FolderSending sending = {run, &box, &tally, &folder, shown, {}, {}, 0, 0, 0};
  bool stopped = false, whole = true;
  for (int position : chosen) {
    if (Stopping(run) || run->Stopped) {
      whole = false;
      break;
    }
    HeadersGiven given = NoHeadersGiven;
    const ExportResult result = MessageBytes(run->Mail, &folder, position, &message, &held, &given);
    if (result != ExportWritten && Stopping(run)) {
      whole = false;
      break;
    }
    Sending outcome = SendingFailed;
    failure = {};
    if (result != ExportWritten || !WithCrLf(&message)) {
      failure.Reason = result == ExportCannotRead ? ImapReasonCannotRead : ImapReasonNoMemory;
    } else {
      const ByteBuffer &bytes = message;
      const std::string base = ContentKey(bytes.Bytes, bytes.Size, 0);
      const int twin = twins[base]++;
      const std::string key = twin == 0 ? base : ContentKey(bytes.Bytes, bytes.Size, twin);
      const std::string id = HeaderFacts(message);
      // A message of the same Message-ID and size on its way is first
      // answered for, so that this one counts as there, as when sent one by
      // one.
      auto same = [&](const Outgoing &other) {
        return other.Id == id && other.Bytes.Size == bytes.Size;
      };
      bool same_on_its_way = !id.empty() && std::any_of(sending.Gathered.begin(),
                                                        sending.Gathered.end(), same);
      for (const InFlight &command : sending.Window)
        same_on_its_way = same_on_its_way || (!id.empty() && std::any_of(command.Messages.begin(),
                                                                         command.Messages.end(), same));
      if (same_on_its_way && !Finish(&sending)) {
        stopped = true;
        break;
      }
      outcome = BeforeSending(run, &box, key, id, bytes.Size, &failure);
      // Sent before by a run killed or cut off before it heard back.
      if (outcome == SendingDue || (outcome == SendingSent && run->Settings->DryRun)) {
        if (MayBeThere(box, bytes.Size) && !Finish(&sending)) {
          stopped = true;
          break;
        }
        bool gone = false;
        const uint32_t uid = MayBeThere(box, bytes.Size)
                                 ? FoundDelivered(run, &box, bytes.Bytes, bytes.Size, &gone)
                                 : 0;
        if (uid != 0) {
          if (!run->Settings->DryRun) Confirmed(run, &box, key, id, bytes.Size, 0, uid);
          outcome = SendingThere;
        }
      }
      if (outcome == SendingDue && !WithinDay(run, bytes.Size)) {
        whole = false;
        break;
      }
      if (outcome == SendingDue && CanPipeline(run->Session, bytes.Size)) {
        const std::string date_text = ItemDate(folder, position, message);
        Outgoing next = {key, id, TakeText(&message), date_text, position};
        if ((!Gather(&sending, std::move(next)) && !Recover(&sending)) ||
            ((sending.Messages > WindowMessages || sending.Bytes > WindowBytes) &&
             !Drain(&sending, WindowMessages / 2))) {
          stopped = true;
          break;
        }
        continue;
      }
      // Sent one by one (a literal that needs "+"): the window answered first.
      if (outcome == SendingDue && !Finish(&sending)) {
        stopped = true;
        break;
      }
      if (outcome == SendingDue)
        outcome = SendMessage(run, &box, key, bytes, id, folder, position, &failure);
    }
    if (outcome == SendingStopped) {
      whole = false;
      break;
    }
    Settle(&sending, position, outcome, failure);
  }
  // After Ctrl+C, or with the mailbox full, what is written is answered
  // for, and nothing more goes.
  if (Stopping(run) || run->Stopped) sending.Gathered.clear();
  const bool answered = !stopped && Finish(&sending);
  if (run->Day.Reached) run->Stopped = true;  // no more folders either
  KeepDay(run, true);
  // Every message sent answered for, and whatever a killed run left
  // compared: the intent is closed, a rerun compares nothing.
  if (answered && !run->Settings->DryRun && box.Ledger.File != NoFile && box.Ledger.IntentOpen &&
      (whole || box.Unaccounted.empty()))
    RecordSettled(&box.Ledger, box.Validity);
  if (!run->OverQuota.empty() && !run->QuotaSaid) {
    run->QuotaSaid = true;
    ImapNews news = News(ImapMailboxFull);
    news.Mailbox = mailbox.c_str();
    news.Words = run->OverQuota.c_str();
    news.Count = uint64_t(run->Mail.Total - run->Mail.Done);
    Tell(run, news);
  }
  FreeBytes(&message);
  FreeBytes(&held);
  if (box.Ledger.File != NoFile) CloseLedger(&box.Ledger);
  CloseMailFolder(&folder);
  if (run->Settings->DryRun || name_folder) {
    ImapNews news = News(run->Settings->DryRun ? ImapFolderLooked : ImapFolderSent);
    news.Path = shown.c_str();
    news.Mailbox = mailbox.c_str();
    news.Flag = !box.Exists;
    news.Tally = &tally;
    Tell(run, news);
  }
  return tally;
}

// The mailbox a folder goes into: its names below the account's mailbox,
// the server's delimiter between (and `_` for it within a name).
std::string MailboxOf(const ImapRun &run, const ImapSource &source) {
  if (source.Names.empty())
    return run.Account.Mailbox.empty() ? MailboxOfFolder(source.Shown) : run.Account.Mailbox;
  const char delimiter = run.Session.Delimiter;
  std::string mailbox = run.Account.Mailbox;
  for (std::string name : source.Names) {
    std::replace(name.begin(), name.end(), delimiter, '_');
    mailbox = mailbox.empty() ? name : mailbox + delimiter + name;
  }
  return mailbox;
}

void SourcesBelow(const TreeNode &node, std::vector<std::string> *names,
                  std::vector<ImapSource> *sources) {
  for (const TreeNode &child : node.Children) {
    names->push_back(child.Name);
    if (child.IsFolder)
      sources->push_back({child.Path, child.Path, *names, nullptr});
    else
      SourcesBelow(child, names, sources);
    names->pop_back();
  }
}

}  // namespace

void ImapSourcesOf(const TreeNode &top, std::vector<ImapSource> *sources) {
  std::vector<std::string> names;
  SourcesBelow(top, &names, sources);
}

std::string ImapLedgerPath(const ImapAccount &account, const std::string &mailbox) {
  return DefaultLedgerPath("imap " + account.User + "@" + account.Host + " " + mailbox);
}

ImapResult RunImap(const ImapSettings &settings, const std::vector<ImapSource> &sources, bool tree,
                   int64_t total, const OutputEvents &events) {
  ImapResult result = {};
  ImapRun run = {};
  run.Settings = &settings;
  run.Account = settings.Account;
  const ConnectOutcome outcome =
      ConnectImap(run.Account, *settings.Password, &run.Session, &result.Problem);
  if (outcome != Connected) {
    result.Tally = {int(total), int(total), 0, 0, int(total)};
    return result;
  }
  result.Connected = true;
  run.Mail.Events = events;
  run.Mail.Charset = settings.Charset;
  run.Mail.Output = OutputOfCommand("imap", nullptr);
  run.Mail.Exact = settings.Exact;
  run.Mail.Seen = false;  // a flag of the server's, not lines in the message
  run.Started = MonotonicSeconds();
  if (settings.MaxBytesPerDay > 0 && !settings.DryRun) {
    // Beside the ledger given, else one for the account in the cache.
    ReadDay(settings.LedgerPath != nullptr
                ? std::string(settings.LedgerPath) + ".day"
                : DefaultLedgerPath("imap day " + run.Account.User + "@" + run.Account.Host),
            &run.Day);
  }
  run.Mail.Total = int(std::min<int64_t>(total, INT32_MAX));
  ImapTally all = {};
  for (const ImapSource &source : sources) {
    if (Stopping(&run) || run.Stopped) {
      MailFolder unread;
      if (OpenMailFolder(source.Path, &unread, settings.Charset) == FolderOpened)
        all.Messages += int(unread.Entries.size());
      CloseMailFolder(&unread);
      continue;
    }
    const ImapTally tally = SendFolder(&run, source, MailboxOf(run, source), tree);
    all.Messages += tally.Messages;
    all.Handled += tally.Handled;
    all.Sent += tally.Sent;
    all.AlreadyThere += tally.AlreadyThere;
    all.Failed += tally.Failed;
  }
  CloseImap(&run.Session);
  result.Tally = all;
  result.Stopped = run.Stopped;
  result.DayReached = run.Day.Reached;
  result.DayBytes = run.Day.Bytes;
  result.DayEnds = run.Day.Start + SecondsADay;
  result.Left = run.Mail.Total - run.Mail.Done;
  return result;
}
