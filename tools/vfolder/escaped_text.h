// Texts from a folder made safe to print: a name may hold any byte,
// terminal escape sequences included.
#pragma once

#include <string>

// `text` with \ written \\, tab \t, line feed \n, carriage return \r and the
// other control bytes (below 0x20, and 0x7F) \xHH.
std::string Escaped(const char *text);

// `text` for a line a person reads: only the control bytes escaped, as
// Escaped escapes them; a backslash (of a Windows path) stays as it is.
std::string Printable(const char *text);
