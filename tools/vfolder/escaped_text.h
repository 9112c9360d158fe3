// Texts from a folder made safe to print: a name may hold any byte,
// terminal escape sequences included.
#pragma once

#include <cstddef>
#include <string>

// `text` with \ written \\, tab \t, line feed \n, carriage return \r and the
// other control bytes (below 0x20, and 0x7F) \xHH.
std::string Escaped(const char *text);

// `text` for a line a person reads, which a terminal shows: escaped as
// TableText escapes it, but a backslash (of a Windows path) stays as it is.
// On Windows, whose paths are in the system's code page, only the control
// bytes below 0x80 are escaped.
std::string Printable(const char *text);

// `text` for the table, which a terminal shows: escaped as Escaped escapes
// it, and besides each byte that is not part of valid UTF-8 written \xHH and
// each control character of UTF-8's C1 set (U+0080 to U+009F) \u00HH, so
// that only UTF-8 without a control in it reaches the terminal.
std::string TableText(const std::string &text);

// The columns a terminal gives the UTF-8 text: none for a combining mark, two
// for the wide characters of East Asian scripts, one for any other.
size_t DisplayWidth(const std::string &utf8);

// `utf8` and spaces after it up to `width` columns.
std::string PaddedTo(const std::string &utf8, size_t width);
