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
  char DateText[DateTextSize + 1];  // the record's date text as it stands
  uint32_t Attributes;  // EntryReadOnly, EntryHidden
  uint32_t DataOffset;  // where the message starts in the data folder file
};

// Turns one index record into an entry. The record's date text is
// overwritten in part.
void MakeMessageEntry(IndexRecord *record, MessageEntry *entry);

// Starts a listing at the first record. The first call opens the index file
// and fixes the record count (RecordCount); later calls reread the file as it
// is now. False when the index cannot be opened or sized, or holds more
// records than a 32-bit count.
bool StartListing(FolderHandle *folder);

// The listing's next record as an entry. False once RecordCount records have
// come or the file ends before the next whole record.
bool NextMessageEntry(FolderHandle *folder, MessageEntry *entry);
