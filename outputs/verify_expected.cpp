#include <cstring>

#include "outputs/mail_run_parts.h"
#include "outputs/mbox_format.h"
#include "outputs/verify.h"

namespace {

// The bytes as IMAP takes them: a line feed alone gets its CR, as vfolder
// imap sends every message.
void AddWithCrLf(DigestState *digest, const char *bytes, size_t size) {
  size_t copied = 0;
  for (size_t at = 0; at < size;) {
    const void *found = memchr(bytes + at, '\n', size - at);
    if (found == nullptr) break;
    const size_t feed = size_t(static_cast<const char *>(found) - bytes);
    if (feed == 0 || bytes[feed - 1] != '\r') {
      AddToDigest(digest, bytes + copied, feed - copied);
      AddToDigest(digest, "\r", 1);
      copied = feed;
    }
    at = feed + 1;
  }
  AddToDigest(digest, bytes + copied, size - copied);
}

}  // namespace

std::vector<ExpectedMessage> ExpectedMessages(const MailRun &run, MailFolder *folder,
                                              VerifyKind kind) {
  std::vector<ExpectedMessage> expected;
  MailRun form = run;
  // Read, as IMAP keeps it, is a flag of the server's, not lines in the message.
  if (kind == VerifyImap) form.Seen = false;
  form.Events = {};
  const bool opened = OpenDataFile(folder->Handle);
  ByteBuffer message = {}, held = {}, formatted = {};
  for (int position = 0; position < int(folder->Entries.size()); ++position) {
    ExpectedMessage one = {position, false, {}};
    HeadersGiven given = NoHeadersGiven;
    if (opened && !SizeDamaged(folder->Entries[size_t(position)]) &&
        MessageBytes(form, folder, position, &message, &held, &given) == ExportWritten) {
      const char *bytes = message.Size > 0 ? message.Bytes : "";
      DigestState digest;
      StartDigest(&digest);
      one.Read = true;
      if (kind == VerifyImap) {
        AddWithCrLf(&digest, bytes, message.Size);
      } else if (kind == VerifyMbox) {
        // The message as the mbox holds it after its From line, which is
        // no part of it (a stand-in saves making the real one); its quoting
        // and its ending are.
        formatted.Size = 0;
        one.Read = AppendMboxMessage(&formatted, std::string(), bytes, message.Size, 0, "From -");
        const void *feed = one.Read ? memchr(formatted.Bytes, '\n', formatted.Size) : nullptr;
        const size_t from = feed != nullptr
                                ? size_t(static_cast<const char *>(feed) - formatted.Bytes) + 1
                                : formatted.Size;
        if (one.Read) AddToDigest(&digest, formatted.Bytes + from, formatted.Size - from);
      } else {
        AddToDigest(&digest, bytes, message.Size);
      }
      one.Digest = EndDigest(&digest);
    }
    expected.push_back(one);
  }
  FreeBytes(&message);
  FreeBytes(&held);
  FreeBytes(&formatted);
  return expected;
}
