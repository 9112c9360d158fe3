// The info panel's lines (Ctrl+L) of the folder's facts in far2l's records.
#pragma once

#include "host/far2l/far2l_plugin.h"
#include "host/shared/info_texts.h"

struct InfoLines {
  far2l::InfoPanelLine Lines[InfoLineCount];
  InfoTexts Texts;
};

// The lines of `facts` (MakeInfoTexts) with the files' paths.
void MakeInfoLines(const FolderFacts &facts, const wchar_t *index_path, const wchar_t *data_path,
                   InfoLines *lines);
