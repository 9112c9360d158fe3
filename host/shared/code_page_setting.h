// The code page the index texts are decoded with. The mail program writes
// names and descriptions as single bytes in whatever code page its system
// had; the user picks that code page in the plug-in's configuration, and
// the host's settings keep the choice. Each adapter names the code pages
// its menu offers and the one to start with.
#pragma once

#include "host/shared/messages.h"

struct CodePageChoice {
  unsigned CodePage;
  MessageId Label;
};

// The adapter's: the menu's code pages in order, and the one used before
// the user has chosen (an index among them).
extern const CodePageChoice CodePageChoices[];
extern const int CodePageChoiceCount;
int DefaultCodePageChoice();

// The code page in use.
unsigned TextCodePage();

// The code page in use as the configuration menu names it.
const wchar_t *TextCodePageName();

// Takes the choice from the host's settings, where one is kept; a value
// this plug-in never wrote leaves the default.
void LoadCodePageSetting();

// The menu of code pages. 1 when the user chose one (kept in the settings,
// used from the next listing on), 0 for Esc.
int ConfigureCodePage();
