// The info panel's lines (Ctrl+L) of the folder's facts, in no host's
// records: each adapter points its own lines at these texts.
#pragma once

#include <cstddef>
#include <cstdint>

#include "host/shared/folder_facts.h"

const size_t InfoLineCount = 15;
const size_t InfoTextSize = 64;

// Every text the lines show but the paths, which the panel keeps: the host
// shows them until the panel's next listing.
struct InfoTexts {
  wchar_t Labels[InfoLineCount][InfoTextSize];
  wchar_t Data[InfoLineCount][InfoTextSize];
  const wchar_t *Shown[InfoLineCount];  // each line's data: in Data, or a path
  bool Separator[InfoLineCount];        // a heading line
};

// Writes the lines of `facts` in the host's language, with the index and
// data folder files' paths and the name of the code page texts are decoded
// from.
void MakeInfoTexts(const FolderFacts &facts, const wchar_t *index_path, const wchar_t *data_path,
                   const wchar_t *code_page_name, InfoTexts *texts);

// The date of `ticks` (FILETIME's) as the panel's date column shows it, in
// local time, "YYYY-MM-DD hh:mm" into `out` of InfoTextSize letters; false
// when it does not convert (host/shared/local_date.cpp).
bool WriteLocalDate(uint64_t ticks, wchar_t *out);
