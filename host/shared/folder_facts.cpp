#include "host/shared/folder_facts.h"

void StartFolderFacts(FolderFacts *facts, int64_t data_size) {
  *facts = FolderFacts{};
  facts->IndexSize = -1;
  facts->DataSize = data_size;
}

void CountMessageEntry(FolderFacts *facts, const MessageEntry &entry, bool dated) {
  ++facts->Messages;
  if (entry.Attributes & EntryHidden) ++facts->Hidden;
  if (entry.Attributes & EntryReadOnly) ++facts->ReadOnly;
  // Sizes and offsets are signed in the record, as the copy reads them: a
  // size of 0 or below is an empty message, a negative offset no place.
  const int32_t size = int32_t(entry.Size), offset = int32_t(entry.DataOffset);
  if (size > 0) {
    facts->TotalSize += uint64_t(size);
    if (offset < 0 || facts->DataSize < 0 || int64_t(offset) + size > facts->DataSize)
      ++facts->PastEnd;
  }
  // A text that states no date still gets one in the panel, as the mail
  // program's own listing gave it; it counts as undated here.
  const uint64_t date = Ticks(entry.Time);
  if (date == 0 || !dated) {
    ++facts->Undated;
    return;
  }
  if (facts->Oldest == 0 || date < facts->Oldest) facts->Oldest = date;
  if (date > facts->Newest) facts->Newest = date;
}
