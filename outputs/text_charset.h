// The character set of a folder's index texts. The mail program stores names
// and descriptions as single bytes in the code page of its system; --charset
// names that code page, and the system's own converter (iconv, or Windows'
// code pages) turns the texts into UTF-8.
#pragma once

#include <cstdio>
#include <string>

#include "message/charset_converter.h"

struct TextCharset {
  std::string Name;  // as the user gave it
  CharsetConverter Converter;
};

// Opens the character set `name`: cp437, cp850, cp866, cp1250, cp1251,
// cp1252, utf-8, or any other the system's converter knows (on Windows a
// code page by number, cpNNN, windows-NNN, ibmNNN, koi8-r, koi8-u or
// iso-8859-N). False when the system knows no such character set.
bool OpenTextCharset(const char *name, TextCharset *charset);
void CloseTextCharset(TextCharset *charset);

// Opens the character set the messages of the folder at `index_path`
// declare most (DeclaredCodePage). False where they declare none, or the
// folder or that character set cannot be opened.
bool OpenDeclaredCharset(const char *index_path, TextCharset *charset);

// `text` in UTF-8: decoded from `charset`, or as it is when that is null. A
// byte that the character set does not define stays as it is.
std::string DecodedText(const TextCharset *charset, const char *text);

// A word of the command line in the form the decoded texts have: on Windows,
// where the words come in the process's code page, in UTF-8 when a charset is
// given; as it is otherwise.
std::string ArgumentText(const TextCharset *charset, const char *argument);

#ifdef _WIN32
// UTF-8 text in the code page `code_page`; a character that it lacks becomes
// the code page's stand-in ('?').
std::string InCodePage(const std::string &utf8, unsigned code_page);
#endif

// Writes UTF-8 text to `stream`: to a Windows console in the console's code
// page, elsewhere as it is.
void PrintText(FILE *stream, const std::string &utf8);
