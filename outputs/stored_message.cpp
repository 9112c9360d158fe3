#include "outputs/stored_message.h"

namespace {

int64_t ReadStored(void *context, uint64_t at, void *buffer, size_t size) {
  const StoredMessage *stored = static_cast<const StoredMessage *>(context);
  const uint64_t length = int32_t(stored->Size) > 0 ? stored->Size : 0;
  if (at >= length || size == 0) return 0;
  if (int32_t(stored->Offset) < 0) return -1;
  const size_t wanted = size < length - at ? size : size_t(length - at);
  const size_t got = FileSystem.ReadAt(stored->DataFile, stored->Offset + at, buffer, wanted);
  // Short pieces are handed on; nothing at all, before the message's end, is
  // a message that is not there whole.
  return got > 0 ? int64_t(got) : -1;
}

}  // namespace

MessageSource StoredMessageSource(StoredMessage *stored) {
  return {ReadStored, stored, int32_t(stored->Size) > 0 ? uint64_t(stored->Size) : 0};
}
