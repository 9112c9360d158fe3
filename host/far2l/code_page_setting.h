// The code page the index texts are decoded with. Linux has no system ANSI
// or OEM code page: the default is the OEM code page a Windows machine of
// the user's language has (866 for Russian, Ukrainian and Belarusian, else
// 437), offered first by the menu as any other, and the choice is kept in the plug-in's settings file.
#pragma once

// The code page in use, as a number (65001 for UTF-8).
unsigned TextCodePage();

// The code page in use as the configuration menu names it.
const wchar_t *TextCodePageName();

// Takes the choice from the settings file, where one is kept.
void LoadCodePageSetting();

// The menu of code pages: 1 when the user chose one (kept, used from the
// next listing on), 0 for Esc.
int ConfigureCodePage();
