// The code page the index texts are decoded with. The mail program writes
// names and descriptions as single bytes in whatever code page its system
// had; the user picks that code page in the plug-in's configuration, and the
// host's settings store keeps the choice.
#pragma once

#include <cstdint>

// The code page in use: a number, or 0 for the system's ANSI and 1 for its
// OEM code page (the default, which the old interface's texts were shown in).
unsigned TextCodePage();

// The code page in use as the configuration menu names it.
const wchar_t *TextCodePageName();

// Takes the choice from the settings store, where one is kept.
void LoadCodePageSetting();

// The menu of code pages. 1 when the user chose one (kept in the store, used
// from the next listing on), 0 for Esc.
intptr_t ConfigureCodePage();
