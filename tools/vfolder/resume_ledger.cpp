#include "tools/vfolder/resume_ledger.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "folder/message_copy.h"
#include "outputs/mail_folder.h"
#include "tools/vfolder/escaped_text.h"
#include "tools/vfolder/progress.h"
#include "tools/vfolder/system_calls.h"

namespace {

bool HoldBytes(void *context, const void *bytes, size_t size) {
  return AppendBytes(static_cast<ByteBuffer *>(context), bytes, size);
}

// The key of the message as the folder stores it; empty when it cannot be read.
// `bytes`: the message's, read already, or null.
std::string KeyOf(ResumeLedger *resume, MailFolder *folder, int position, const char *bytes,
                  size_t size) {
  const MessageEntry &entry = folder->Entries[size_t(position)];
  if (bytes == nullptr) {
    resume->Bytes.Size = 0;
    if (CopyMessage(folder->Handle, entry.DataOffset, entry.Size, HoldBytes, &resume->Bytes) !=
        ExportWritten)
      return std::string();
    bytes = resume->Bytes.Size > 0 ? resume->Bytes.Bytes : "";
    size = resume->Bytes.Size;
  }
  const ContentHash hash = HashContent(bytes, size);
  return KeyOfContent(hash, resume->Twins[hash]++);
}

bool DeliveredBefore(void *context, MailFolder *folder, int position, const char *bytes,
                     size_t size) {
  ResumeLedger *resume = static_cast<ResumeLedger *>(context);
  const std::string key = KeyOf(resume, folder, position, bytes, size);
  resume->Keys[{folder, position}] = key;
  return !key.empty() && resume->Ledger.Entries.count(key) > 0;
}

// Said once: a line the ledger cannot take.
void Unwritten(ResumeLedger *resume) {
  if (resume->Unwritten) return;
  resume->Unwritten = true;
  ClearProgress();
  fprintf(stderr, "vfolder: %s: cannot be written%s\n",
          Printable(resume->Ledger.Path.c_str()).c_str(), Because(errno).c_str());
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
  const auto found = resume->Keys.find({folder, position});
  if (found == resume->Keys.end() || found->second.empty()) return;
  const std::string line = place != nullptr ? PlaceLine(output, place) : std::string();
  // On the disk with the batch's Confirm.
  if (!RecordDelivery(&resume->Ledger, found->second, {0, 0}, true,
                      place != nullptr ? line.c_str() : nullptr, true))
    Unwritten(resume);
  resume->Keys.erase(found);
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
  events->Context = resume;
  events->DeliveredBefore = DeliveredBefore;
  events->Delivered = Delivered;
  events->Reached = Reached;
  events->PlaceOf = PlaceOf;
  events->Confirm = Confirm;
  return true;
}

void CloseResumeLedger(ResumeLedger *resume) {
  CloseLedger(&resume->Ledger);
  FreeBytes(&resume->Bytes);
}
