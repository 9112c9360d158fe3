// The folder's facts as the info panel (Ctrl+L) shows them in every host:
// its two files, its messages and what stands out among them, gathered from
// one listing.
#pragma once

#include <cstdint>

#include "folder/listing.h"

struct FolderFacts {
  int64_t IndexSize, DataSize;  // -1 when the file cannot be opened or sized
  uint64_t Messages, Hidden, ReadOnly, TotalSize;
  uint64_t Undated;         // messages whose date text states no date
  uint64_t PastEnd;         // messages whose bytes lie past the data file's end
  uint64_t Oldest, Newest;  // the dated ones' as FILETIME ticks; 0 before one
};

// Facts with no message counted yet, for a data folder file of `data_size`
// bytes (-1 when it cannot be opened): each message is weighed against it.
void StartFolderFacts(FolderFacts *facts, int64_t data_size);

// Counts one message; `dated` tells that its date text states a date
// (ReadRecordDate), which the panel's time alone cannot tell.
void CountMessageEntry(FolderFacts *facts, const MessageEntry &entry, bool dated);

// A FILETIME as one count of 100-ns ticks.
inline uint64_t Ticks(const FILETIME &time) {
  return uint64_t(time.dwHighDateTime) << 32 | time.dwLowDateTime;
}
