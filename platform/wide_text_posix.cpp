// Texts between a 4-byte wchar_t (UTF-32, as far2l passes them) and UTF-8,
// with an encoder of our own: wcstombs would follow the locale, and the "C"
// locale fails on every letter beyond ASCII.
#include "platform/wide_text.h"

#include <iconv.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const wchar_t Replacement = 0xFFFD;

// One letter of UTF-8 at `text`: its code in `*code`, its length returned;
// a stray byte or a sequence cut short or too long counts as one byte of
// U+FFFD.
size_t NextUtf8Letter(const unsigned char *text, uint32_t *code) {
  const unsigned char lead = text[0];
  size_t length = lead < 0x80 ? 1 : (lead & 0xE0) == 0xC0 ? 2 : (lead & 0xF0) == 0xE0 ? 3
                                 : (lead & 0xF8) == 0xF0 ? 4 : 0;
  if (length == 1) {
    *code = lead;
    return 1;
  }
  uint32_t value = length == 2 ? lead & 0x1Fu : length == 3 ? lead & 0x0Fu : lead & 0x07u;
  for (size_t i = 1; i < length; ++i) {
    if ((text[i] & 0xC0) != 0x80) length = 0;
    if (length == 0) break;
    value = value << 6 | (text[i] & 0x3Fu);
  }
  const uint32_t least = length == 2 ? 0x80 : length == 3 ? 0x800 : 0x10000;
  if (length == 0 || value < least || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
    *code = Replacement;
    return 1;
  }
  *code = value;
  return length;
}

// The UTF-8 bytes of one letter into `out` (room for 4); a surrogate or a
// value beyond Unicode becomes U+FFFD.
size_t PutUtf8Letter(uint32_t code, char *out) {
  if ((code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) code = Replacement;
  if (code < 0x80) {
    out[0] = char(code);
    return 1;
  }
  if (code < 0x800) {
    out[0] = char(0xC0 | code >> 6);
    out[1] = char(0x80 | (code & 0x3F));
    return 2;
  }
  if (code < 0x10000) {
    out[0] = char(0xE0 | code >> 12);
    out[1] = char(0x80 | (code >> 6 & 0x3F));
    out[2] = char(0x80 | (code & 0x3F));
    return 3;
  }
  out[0] = char(0xF0 | code >> 18);
  out[1] = char(0x80 | (code >> 12 & 0x3F));
  out[2] = char(0x80 | (code >> 6 & 0x3F));
  out[3] = char(0x80 | (code & 0x3F));
  return 4;
}

// The system's ANSI and OEM code pages do not exist here: those a Windows
// machine of the user's language would have, from the locale's language.
bool RussianLocale() {
  const char *names[] = {"LC_ALL", "LC_MESSAGES", "LANG"};
  for (const char *name : names) {
    const char *value = getenv(name);
    if (value == nullptr || value[0] == '\0') continue;
    return strncmp(value, "ru", 2) == 0 || strncmp(value, "uk", 2) == 0 ||
           strncmp(value, "be", 2) == 0;
  }
  return false;
}

unsigned RealCodePage(unsigned code_page) {
  if (code_page == 0) return RussianLocale() ? 1251 : 1252;
  if (code_page == 1) return LocaleOemCodePage();
  return code_page;
}

// The converters opened so far, one per code page, kept for the process:
// the listing decodes two texts of every record.
struct OpenConverter {
  unsigned CodePage;
  iconv_t Converter;
};
OpenConverter Converters[16];
size_t ConverterCount = 0;

iconv_t ConverterOf(unsigned code_page) {
  for (size_t i = 0; i < ConverterCount; ++i)
    if (Converters[i].CodePage == code_page) return Converters[i].Converter;
  const iconv_t opened = iconv_open("UTF-8", CodePageCharset(code_page).c_str());
  if (opened == iconv_t(-1)) return opened;
  if (ConverterCount < sizeof Converters / sizeof Converters[0])
    Converters[ConverterCount++] = OpenConverter{code_page, opened};
  return opened;
}

}  // namespace

unsigned LocaleOemCodePage() { return RussianLocale() ? 866 : 437; }

unsigned SystemCodePage(unsigned code_page) { return RealCodePage(code_page); }

bool KnowsCodePage(unsigned code_page) {
  code_page = RealCodePage(code_page);
  return code_page == 65001 || ConverterOf(code_page) != iconv_t(-1);
}

wchar_t *WideFromUtf8(const char *text) {
  wchar_t *wide = static_cast<wchar_t *>(malloc((strlen(text) + 1) * sizeof(wchar_t)));
  if (wide == nullptr) return nullptr;
  size_t count = 0;
  uint32_t code;
  for (const unsigned char *at = reinterpret_cast<const unsigned char *>(text); *at != 0;) {
    at += NextUtf8Letter(at, &code);
    wide[count++] = wchar_t(code);
  }
  wide[count] = L'\0';
  return wide;
}

size_t Utf8OfWide(const wchar_t *text, char *out, size_t out_size) {
  size_t size = 1;
  char letter[4];
  for (const wchar_t *at = text; *at != L'\0'; ++at) size += PutUtf8Letter(uint32_t(*at), letter);
  if (out == nullptr || out_size < size) return size;
  char *put = out;
  for (const wchar_t *at = text; *at != L'\0'; ++at) put += PutUtf8Letter(uint32_t(*at), put);
  *put = '\0';
  return size;
}

char *Utf8FromWide(const wchar_t *text) {
  const size_t size = Utf8OfWide(text, nullptr, 0);
  char *utf8 = static_cast<char *>(malloc(size));
  if (utf8 != nullptr) Utf8OfWide(text, utf8, size);
  return utf8;
}

size_t DecodeText(unsigned code_page, const char *text, wchar_t *out, size_t out_size) {
  if (out_size == 0) return 0;
  code_page = RealCodePage(code_page);
  const size_t length = strlen(text);
  // Each single-byte letter takes at most 3 bytes of UTF-8.
  char stack[512];
  char *utf8 = length * 3 + 1 <= sizeof stack ? stack : static_cast<char *>(malloc(length * 3 + 1));
  iconv_t converter = code_page == 65001 || utf8 == nullptr ? iconv_t(-1)
                                                            : ConverterOf(code_page);
  if (converter == iconv_t(-1) && code_page != 65001 && utf8 != nullptr)
    converter = ConverterOf(RealCodePage(1));
  const char *decoded = text;
  if (converter != iconv_t(-1)) {
    iconv(converter, nullptr, nullptr, nullptr, nullptr);
    char *in = const_cast<char *>(text);
    size_t in_left = length;
    char *put = utf8;
    size_t put_left = length * 3;
    while (in_left > 0) {
      if (iconv(converter, &in, &in_left, &put, &put_left) != size_t(-1)) break;
      // A byte the code page leaves undefined stands for itself.
      put += PutUtf8Letter(static_cast<unsigned char>(*in), put);
      put_left = size_t(utf8 + length * 3 - put);
      ++in;
      --in_left;
    }
    *put = '\0';
    decoded = utf8;
  }
  size_t count = 0;
  uint32_t code;
  for (const unsigned char *at = reinterpret_cast<const unsigned char *>(decoded);
       *at != 0 && count + 1 < out_size;) {
    at += NextUtf8Letter(at, &code);
    out[count++] = wchar_t(code);
  }
  out[count] = L'\0';
  if (utf8 != stack) free(utf8);
  return count;
}
