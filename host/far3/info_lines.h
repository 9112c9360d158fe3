// The folder's facts as the info panel (Ctrl+L) shows them: its two files,
// its messages and what stands out among them, gathered from one listing.
#pragma once

#include <cstddef>
#include <cstdint>

#include "folder/listing.h"
#include "host/far3/far_plugin.h"

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

const size_t InfoLineCount = 15;
const size_t InfoTextSize = 64;

// The lines and every text they point at but the paths, which the panel
// keeps: the host shows them until the panel's next listing.
struct InfoLines {
  far3::InfoPanelLine Lines[InfoLineCount];
  wchar_t Labels[InfoLineCount][InfoTextSize];
  wchar_t Data[InfoLineCount][InfoTextSize];
};

// Writes the lines of `facts` in the host's language, with the index and
// data folder files' paths and the code page names are decoded from.
void MakeInfoLines(const FolderFacts &facts, const wchar_t *index_path, const wchar_t *data_path,
                   InfoLines *lines);
