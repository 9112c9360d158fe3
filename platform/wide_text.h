// Texts between the system's UTF-16 and the bytes the folder reader works in.
#pragma once

#include <cstddef>

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

#ifndef _WIN32
// The OEM code page a Windows machine of the locale's language has (866 for
// Russian, Ukrainian and Belarusian, else 437): what 1 stands for here,
// where the system has none. 0 stands for the matching ANSI one.
unsigned LocaleOemCodePage();
#endif
