// The code page the index texts are decoded with. The mail program writes
// names and descriptions as single bytes in whatever code page its system
// had. Unless the user picks one in the plug-in's configuration (the host's
// settings keep the choice), each folder takes the one its messages declare
// (PanelCodePage). Each adapter names the code pages its menu offers and
// the one to start with.
#pragma once

#include "host/shared/messages.h"

// The choice that leaves the code page to each folder, as the settings keep
// it: no code page has this number.
const unsigned CodePageFromFolder = 0xFFFFFFFFu;

struct CodePageChoice {
  unsigned CodePage;
  MessageId Label;
};

// The adapter's: the menu's code pages in order, and the one used before
// the user has chosen (an index among them).
extern const CodePageChoice CodePageChoices[];
extern const int CodePageChoiceCount;
int DefaultCodePageChoice();

// The code page chosen: CodePageFromFolder unless the user chose one.
unsigned TextCodePage();

// Takes the choice from the host's settings, where one is kept; a value
// this plug-in never wrote leaves the default.
void LoadCodePageSetting();

// The menu of code pages. 1 when the user chose one (kept in the settings,
// used from the next listing on), 0 for Esc.
int ConfigureCodePage();
