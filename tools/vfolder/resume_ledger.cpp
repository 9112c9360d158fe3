#include "tools/vfolder/resume_ledger.h"

#include <cstdio>
#include <cstring>
#include <algorithm>

#include "folder/message_copy.h"
#include "outputs/mail_folder.h"
#include "tools/vfolder/escaped_text.h"
#include "tools/vfolder/progress.h"
#include "tools/vfolder/system_calls.h"

namespace {

bool HoldBytes(void *context, const void *bytes, size_t size) {
  return AppendBytes(static_cast<ByteBuffer *>(context), bytes, size);
}

// Which of the messages of the bytes `hash` this one is, counted.
int NextTwin(ResumeLedger *resume, const ContentHash &hash) {
  std::vector<std::pair<ContentHash, int>> &slots = resume->Twins;
  if ((resume->TwinsUsed + 1) * 2 > slots.size()) {
    std::vector<std::pair<ContentHash, int>> old(std::max<size_t>(1024, slots.size() * 2));
    old.swap(slots);
    resume->TwinsUsed = 0;
    for (const auto &slot : old)
      if (slot.second > 0) {
        size_t at = size_t(slot.first.First) & (slots.size() - 1);
        while (slots[at].second > 0) at = (at + 1) & (slots.size() - 1);
        slots[at] = slot;
        ++resume->TwinsUsed;
      }
  }
  size_t at = size_t(hash.First) & (slots.size() - 1);
  while (slots[at].second > 0 && !(slots[at].first == hash)) at = (at + 1) & (slots.size() - 1);
  if (slots[at].second == 0) {
    slots[at].first = hash;
    ++resume->TwinsUsed;
  }
  return slots[at].second++;
}

// The message as the folder stores it, hashed and counted; Twin -1 when it
// cannot be read. `bytes`: the message's, read already, or null.
AskedMessage Ask(ResumeLedger *resume, MailFolder *folder, int position, const char *bytes,
                 size_t size) {
  const MessageEntry &entry = folder->Entries[size_t(position)];
  if (bytes == nullptr) {
    resume->Bytes.Size = 0;
    if (CopyMessage(folder->Handle, entry.DataOffset, entry.Size, HoldBytes, &resume->Bytes) !=
        ExportWritten)
      return {{0, 0, 0}, -1};
    bytes = resume->Bytes.Size > 0 ? resume->Bytes.Bytes : "";
    size = resume->Bytes.Size;
  }
  AskedMessage asked = {
      resume->WordKeys ? HashContentByWords(bytes, size) : HashContent(bytes, size), 0};
  asked.Twin = NextTwin(resume, asked.Hash);
  return asked;
}

std::string KeyOf(const ResumeLedger &resume, const AskedMessage &message) {
  return resume.WordKeys ? KeyOfWordHash(message.Hash, message.Twin)
                         : KeyOfContent(message.Hash, message.Twin);
}

bool DeliveredBefore(void *context, MailFolder *folder, int position, const char *bytes,
                     size_t size) {
  ResumeLedger *resume = static_cast<ResumeLedger *>(context);
  std::vector<AskedMessage> &asked = resume->Asked[folder];
  if (asked.size() < folder->Entries.size())
    asked.resize(folder->Entries.size(), {{0, 0, 0}, -1});
  AskedMessage &message = asked[size_t(position)];
  message = Ask(resume, folder, position, bytes, size);
  // A new ledger names nothing: no key to make.
  return message.Twin >= 0 && !resume->Ledger.Entries.empty() &&
         resume->Ledger.Entries.count(KeyOf(*resume, message)) > 0;
}

// Said once: a line the ledger cannot take.
void Unwritten(ResumeLedger *resume) {
  const int error = LastSystemError();
  if (resume->Unwritten) return;
  resume->Unwritten = true;
  ClearProgress();
  fprintf(stderr, "vfolder: %s: cannot be written%s\n",
          Printable(resume->Ledger.Path.c_str()).c_str(), Because(error).c_str());
}

// "OUTPUT PLACE", the output told by a hash of its path.
std::string PlaceLine(const char *output, const char *place) {
  static std::string last, hash;
  if (last != output) {
    last = output;
    hash = ContentKey(output, strlen(output), 0).substr(0, 32);
  }
  return hash + " " + place;
}

void Delivered(void *context, MailFolder *folder, int position, const char *output,
               const char *place) {
  ResumeLedger *resume = static_cast<ResumeLedger *>(context);
  const auto found = resume->Asked.find(folder);
  if (found == resume->Asked.end() || size_t(position) >= found->second.size()) return;
  AskedMessage &message = found->second[size_t(position)];
  if (message.Twin < 0) return;
  const std::string line = place != nullptr ? PlaceLine(output, place) : std::string();
  // On the disk with the batch's Confirm. The run's own keys differ from
  // each other by their twin counts: the ledger need not remember them.
  if (!RecordDelivery(&resume->Ledger, KeyOf(*resume, message), {0, 0}, true,
                      place != nullptr ? line.c_str() : nullptr, true, false))
    Unwritten(resume);
  message.Twin = -1;
}

void Reached(void *context, const char *output, const char *place) {
  ResumeLedger *resume = static_cast<ResumeLedger *>(context);
  if (!RecordDelivery(&resume->Ledger, "@", {0, 0}, true, PlaceLine(output, place).c_str(), true))
    Unwritten(resume);
}

bool PlaceOf(void *context, const char *output, char *place) {
  ResumeLedger *resume = static_cast<ResumeLedger *>(context);
  const auto found =
      resume->Ledger.Places.find(ContentKey(output, strlen(output), 0).substr(0, 32));
  if (found == resume->Ledger.Places.end()) return false;
  snprintf(place, 41, "%s", found->second.c_str());
  return true;
}

bool Confirm(void *context) {
  ResumeLedger *resume = static_cast<ResumeLedger *>(context);
  if (SyncLedger(&resume->Ledger)) return true;
  Unwritten(resume);
  return false;
}

}  // namespace

bool UseResumeLedger(const char *path, const std::string &kind, const std::string &target,
                     ResumeLedger *resume, ResumeEvents *events) {
  const std::string where = path != nullptr ? std::string(path) : DefaultLedgerPath(kind + " " + target);
  int error = 0;
  if (where.empty() || !OpenLedger(where, &resume->Ledger, &error)) {
    fprintf(stderr, "vfolder: the ledger %s: cannot be opened%s\n",
            where.empty() ? "(no cache directory known)" : Printable(where.c_str()).c_str(),
            Because(error).c_str());
    return false;
  }
  resume->WordKeys = WordKeysIn(resume->Ledger);
  events->Context = resume;
  events->DeliveredBefore = DeliveredBefore;
  events->Delivered = Delivered;
  events->Reached = Reached;
  events->PlaceOf = PlaceOf;
  events->Confirm = Confirm;
  return true;
}

void CloseResumeLedger(ResumeLedger *resume) {
  if (!CloseLedger(&resume->Ledger)) Unwritten(resume);
  FreeBytes(&resume->Bytes);
}
