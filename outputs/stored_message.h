// A message in the data folder file as the message reader reads it: its
// bytes and no others, by positioned reads through the FileSystem table, so
// that nothing of the message is held whole.
#pragma once

#include <cstdint>

#include "message/message_parts.h"
#include "platform/file_system.h"

// Where the message lies; the source reads through it, so it must outlive
// the source.
struct StoredMessage {
  FileRef DataFile;
  uint32_t Offset, Size;  // as the record gives them
};

// A source of the message's `Size` bytes from `Offset`. A size of 0 or below
// (signed, as the record keeps it) is an empty message. A read fails (-1)
// where the message is not all in the file: a negative offset, an end before
// the message's, an error.
MessageSource StoredMessageSource(StoredMessage *stored);
