// The info panel's lines (Ctrl+L) of the folder's facts, in far2l's records.
#pragma once

#include <cstddef>

#include "host/far2l/far2l_plugin.h"
#include "host/shared/folder_facts.h"

const size_t InfoLineCount = 15;
const size_t InfoTextSize = 64;

// The lines and every text they point at but the paths, which the panel
// keeps: the host shows them until the panel's next listing.
struct InfoLines {
  far2l::InfoPanelLine Lines[InfoLineCount];
  wchar_t Labels[InfoLineCount][InfoTextSize];
  wchar_t Data[InfoLineCount][InfoTextSize];
};

// Writes the lines of `facts` in the host's language, with the index and
// data folder files' paths and the code page the names are decoded from.
void MakeInfoLines(const FolderFacts &facts, const wchar_t *index_path, const wchar_t *data_path,
                   InfoLines *lines);
