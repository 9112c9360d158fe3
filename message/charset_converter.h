// Conversion of text in a named character set into UTF-8, with the system's
// own converter: iconv, or Windows' code pages. The folder's index texts and
// the texts inside messages both go through it.
#pragma once

#include <cstddef>
#include <string>

struct CharsetConverter {
  bool Utf8;  // UTF-8 or ASCII: the bytes stay as they are
#ifdef _WIN32
  unsigned CodePage;
#else
  void *Converter;  // an iconv_t into UTF-8
#endif
};

// The Windows code page a name stands for (cpNNN, windows-NNN, ibmNNN,
// koi8-r, koi8-u, iso-8859-N, utf-8, us-ascii and the MIME names of the Far
// East's), on every system; 0 for none.
unsigned CodePageNamed(const char *name);

// Opens the character set `name`, whose case does not matter. False when the
// system knows no such character set.
bool OpenCharsetConverter(const char *name, CharsetConverter *converter);
void CloseCharsetConverter(CharsetConverter *converter);

// Appends `size` bytes of text to `utf8`, converted. A byte the character set
// does not define stays as it is. With `carry`, a character cut short at the
// end waits there for the next call's bytes, which it goes before (text read
// piece by piece); without, it stays as it is.
void ConvertToUtf8(CharsetConverter *converter, const char *bytes, size_t size,
                   std::string *utf8, std::string *carry);
