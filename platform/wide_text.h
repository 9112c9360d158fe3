// Texts between the system's UTF-16 and the bytes the folder reader works in.
#pragma once

#include <cstddef>
#include <string>

// The UTF-8 text as UTF-16, or the UTF-16 text as UTF-8: a new heap text
// (free it), null when memory runs out. Letters that do not convert (a lone
// surrogate, a byte that starts no UTF-8 letter) become U+FFFD.
wchar_t *WideFromUtf8(const char *text);
char *Utf8FromWide(const wchar_t *text);

// Writes the UTF-16 text as UTF-8, with its terminator, into `out` when
// `out_size` bytes hold it (nothing otherwise); returns the bytes it takes.
size_t Utf8OfWide(const wchar_t *text, char *out, size_t out_size);

// Decodes the zero-terminated `text` of the code page `code_page` (a number,
// or 0 for the system's ANSI and 1 for its OEM code page) into `out`, of
// `out_size` characters, always terminated. A code page the system does not
// know decodes as OEM. Returns the characters written without the
// terminator. A single-byte or UTF-8 text never needs more characters than
// it has bytes.
size_t DecodeText(unsigned code_page, const char *text, wchar_t *out, size_t out_size);

// The code page `code_page` stands for: the system's ANSI one for 0, its
// OEM one for 1, itself for any other number.
unsigned SystemCodePage(unsigned code_page);

// True when DecodeText takes `code_page` as it is, rather than as OEM.
bool KnowsCodePage(unsigned code_page);

// The code page's character set as mail and iconv name it: "windows-1252",
// "koi8-r", "iso-8859-2", "cp866", "utf-8"; "cpNNN" for one without a name
// of its own. 0 and 1 are named as the system's code pages they stand for.
std::string CodePageCharset(unsigned code_page);

#ifndef _WIN32
// The OEM code page a Windows machine of the locale's language has (866 for
// Russian, Ukrainian and Belarusian, else 437): what 1 stands for here,
// where the system has none. 0 stands for the matching ANSI one.
unsigned LocaleOemCodePage();
#endif
