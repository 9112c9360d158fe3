// The folder's messages, one entry per whole index record, in no host's
// terms: each host layer turns entries into its own item records.
#pragma once

#include <cstddef>
#include <cstdint>

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

// Starts a listing at the first record. The first call opens the index file
// and fixes the record count (RecordCount); later calls reread the file as it
// is now. False when the index cannot be opened or sized, or holds more
// records than a 32-bit count.
bool StartListing(FolderHandle *folder);

// The listing's next whole record, its bytes as the index holds them, valid
// until the next call: for readers that need more of it than the entry holds
// (ReadRecordDate) before DecodeMessageEntry. Null once RecordCount records
// have come or the file ends before the next whole record.
const unsigned char *NextIndexRecord(FolderHandle *folder);

// NextIndexRecord and DecodeMessageEntry: false where the first gives null.
bool NextMessageEntry(FolderHandle *folder, MessageEntry *entry);
