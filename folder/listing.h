// The folder's messages, one entry per whole index record, in no host's
// terms: each host layer turns entries into its own item records.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "folder/folder_handle.h"
#include "folder/vessor_folder.h"
#include "platform/win_types.h"

struct MessageEntry {
  // The record's name with its leading spaces skipped, or its whole
  // description when the name is blank; "__" for "..", "_" for nothing.
  char Name[NameTextSize + 1];
  char Description[DescriptionTextSize + 1];
  size_t NameLength, DescriptionLength;  // their lengths, so that hosts copy them at once
  uint32_t Size;        // the record's MessageSize as it stands
  FILETIME Time;        // the date, an hour earlier; zero when it does not convert
  uint32_t Attributes;  // EntryReadOnly, EntryHidden
  uint32_t DataOffset;  // where the message starts in the data folder file
};

// Turns the 118 bytes of one index record into an entry, in one pass.
void DecodeMessageEntry(const unsigned char *record, MessageEntry *entry);

// Where an entry's two texts lie, for hosts that copy them straight into
// their own items: neither is zero-terminated.
struct EntryTexts {
  const char *Name;  // in the record, or a constant text ("__", "_")
  size_t NameLength;
  const char *Description;  // in the record
  size_t DescriptionLength;
};

// The length of a text field: up to its first zero, or the whole field.
inline size_t FieldTextLength(const unsigned char *field, size_t size) {
  const void *zero = memchr(field, 0, size);
  return zero != nullptr ? size_t(static_cast<const unsigned char *>(zero) - field) : size;
}

// The entry's texts in the record's bytes, by MessageEntry's rules for Name.
inline EntryTexts FindEntryTexts(const unsigned char *record) {
  EntryTexts texts;
  texts.Description = reinterpret_cast<const char *>(record + DescriptionTextOffset);
  texts.DescriptionLength = FieldTextLength(record + DescriptionTextOffset, DescriptionTextSize);
  const char *name = reinterpret_cast<const char *>(record + NameTextOffset);
  size_t length = FieldTextLength(record + NameTextOffset, NameTextSize);
  size_t blank = 0;
  while (blank < length && name[blank] == ' ') ++blank;
  if (blank == length) {
    name = texts.Description;
    length = texts.DescriptionLength;
  } else {
    name += blank;
    length -= blank;
  }
  // The host takes ".." for the panel's way up, and some of its builds fail
  // on an empty name: such items get the names their files get.
  if (length == 2 && name[0] == '.' && name[1] == '.') name = "__";
  if (length == 0) {
    name = "_";
    length = 1;
  }
  texts.Name = name;
  texts.NameLength = length;
  return texts;
}

// The entry's Attributes from the record's flags.
inline uint32_t EntryAttributesOf(const unsigned char *record) {
  const uint32_t flags = RecordFlagsOf(record);
  return (flags & RecordFlagHidden ? uint32_t(EntryHidden) : 0u) |
         (flags & RecordFlagWritable ? 0u : uint32_t(EntryReadOnly));
}

// The entry's Time from the record's date text: zero for a date the system
// cannot convert.
inline FILETIME EntryTimeOf(const unsigned char *record) {
  const uint32_t packed = DecodeRecordDate(record);
  FILETIME time = {};
  DosDateTimeToFileTime(WORD(packed), WORD(packed >> 16), &time);
  return time;
}

// Starts a listing at the first record. The first call opens the index file
// and fixes the record count (RecordCount); later calls reread the file as it
// is now. False when the index cannot be opened or sized, or holds more
// records than a 32-bit count.
bool StartListing(FolderHandle *folder);

// NextIndexRecord's way when the buffer holds no whole record: reads the
// next piece of the index.
const unsigned char *ReadIndexPiece(FolderHandle *folder);

// The listing's next whole record, its bytes as the index holds them, valid
// until the next call: for readers that need more of it than the entry holds
// (ReadRecordDate) before DecodeMessageEntry. Null once RecordCount records
// have come or the file ends before the next whole record. Inline, as the
// listing's loops call it for every record.
inline const unsigned char *NextIndexRecord(FolderHandle *folder) {
  if (folder->RecordsLeft <= 0) return nullptr;
  if (folder->BufferHeld - folder->BufferAt < IndexRecordSize) return ReadIndexPiece(folder);
  const unsigned char *record = folder->IndexBuffer + folder->BufferAt;
  folder->BufferAt += IndexRecordSize;
  --folder->RecordsLeft;
  return record;
}

// NextIndexRecord and DecodeMessageEntry: false where the first gives null.
bool NextMessageEntry(FolderHandle *folder, MessageEntry *entry);
