#include "tools/vfolder/resume_ledger.h"

#include <cerrno>
#include <cstdio>

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
std::string KeyOf(ResumeLedger *resume, MailFolder *folder, int position) {
  const MessageEntry &entry = folder->Entries[size_t(position)];
  resume->Bytes.Size = 0;
  if (CopyMessage(folder->Handle, entry.DataOffset, entry.Size, HoldBytes, &resume->Bytes) !=
      ExportWritten)
    return std::string();
  const char *bytes = resume->Bytes.Size > 0 ? resume->Bytes.Bytes : "";
  const std::string base = ContentKey(bytes, resume->Bytes.Size, 0);
  const int twin = resume->Twins[base]++;
  return twin == 0 ? base : ContentKey(bytes, resume->Bytes.Size, twin);
}

bool DeliveredBefore(void *context, MailFolder *folder, int position) {
  ResumeLedger *resume = static_cast<ResumeLedger *>(context);
  const std::string key = KeyOf(resume, folder, position);
  resume->Keys[{folder, position}] = key;
  return !key.empty() && resume->Ledger.Entries.count(key) > 0;
}

void Delivered(void *context, MailFolder *folder, int position) {
  ResumeLedger *resume = static_cast<ResumeLedger *>(context);
  const auto found = resume->Keys.find({folder, position});
  if (found == resume->Keys.end() || found->second.empty()) return;
  if (!RecordDelivery(&resume->Ledger, found->second, {0, 0}) && !resume->Unwritten) {
    resume->Unwritten = true;
    ClearProgress();
    fprintf(stderr, "vfolder: %s: cannot be written%s\n",
            Printable(resume->Ledger.Path.c_str()).c_str(), Because(errno).c_str());
  }
  resume->Keys.erase(found);
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
  return true;
}

void CloseResumeLedger(ResumeLedger *resume) {
  CloseLedger(&resume->Ledger);
  FreeBytes(&resume->Bytes);
}
