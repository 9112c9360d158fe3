#include "outputs/text_charset.h"

#include <cstdlib>
#include <cstring>

#ifdef _WIN32
#include <io.h>

#include "platform/win_types.h"
#else
#include <errno.h>
#include <iconv.h>
#endif

#ifdef _WIN32

namespace {

// The code page a name stands for; 0 for none.
unsigned CodePageNamed(const char *name) {
  std::string lower;
  for (const char *c = name; *c; ++c) lower += char(*c >= 'A' && *c <= 'Z' ? *c - 'A' + 'a' : *c);
  if (lower == "utf-8" || lower == "utf8") return CP_UTF8;
  if (lower == "koi8-r") return 20866;
  if (lower == "koi8-u") return 21866;
  if (lower == "us-ascii" || lower == "ascii") return 20127;
  static const struct {
    const char *Prefix;
    unsigned Base;  // the code page of number 0 in the family
  } Families[] = {{"cp", 0}, {"windows-", 0}, {"ibm", 0}, {"iso-8859-", 28590}, {"iso8859-", 28590}};
  unsigned base = 0;
  std::string number = lower;
  for (const auto &family : Families) {
    const size_t length = strlen(family.Prefix);
    if (lower.compare(0, length, family.Prefix) != 0) continue;
    number = lower.substr(length);
    base = family.Base;
    break;
  }
  if (number.empty() || number.size() > 5 ||
      number.find_first_not_of("0123456789") != std::string::npos)
    return 0;
  const unsigned value = unsigned(atoi(number.c_str()));
  if (base != 0 && (value < 1 || value > 16)) return 0;
  return base + value;
}

std::string Utf8Of(const wchar_t *wide, int length) {
  const int size = WideCharToMultiByte(CP_UTF8, 0, wide, length, nullptr, 0, nullptr, nullptr);
  std::string text(size_t(size > 0 ? size : 0), '\0');
  if (size > 0) WideCharToMultiByte(CP_UTF8, 0, wide, length, &text[0], size, nullptr, nullptr);
  return text;
}

std::string Utf8From(unsigned code_page, const char *text) {
  const int length = int(strlen(text));
  if (length == 0) return std::string();
  const int wide_size = MultiByteToWideChar(code_page, 0, text, length, nullptr, 0);
  if (wide_size <= 0) return text;
  std::wstring wide(size_t(wide_size), L'\0');
  MultiByteToWideChar(code_page, 0, text, length, &wide[0], wide_size);
  return Utf8Of(wide.data(), wide_size);
}

}  // namespace

bool OpenTextCharset(const char *name, TextCharset *charset) {
  charset->Name = name;
  charset->CodePage = CodePageNamed(name);
  return charset->CodePage != 0 && IsValidCodePage(charset->CodePage);
}

void CloseTextCharset(TextCharset *) {}

std::string DecodedText(const TextCharset *charset, const char *text) {
  // UTF-8 stays as it is, bytes that are none included.
  if (charset == nullptr || charset->CodePage == CP_UTF8) return text;
  return Utf8From(charset->CodePage, text);
}

std::string ArgumentText(const TextCharset *charset, const char *argument) {
  return charset == nullptr ? std::string(argument) : Utf8From(CP_ACP, argument);
}

std::string InCodePage(const std::string &utf8, unsigned code_page) {
  if (utf8.empty()) return utf8;
  const int wide_size = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), nullptr, 0);
  if (wide_size <= 0) return utf8;
  std::wstring wide(size_t(wide_size), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), &wide[0], wide_size);
  const int size =
      WideCharToMultiByte(code_page, 0, wide.data(), wide_size, nullptr, 0, nullptr, nullptr);
  std::string text(size_t(size > 0 ? size : 0), '\0');
  if (size > 0)
    WideCharToMultiByte(code_page, 0, wide.data(), wide_size, &text[0], size, nullptr, nullptr);
  return text;
}

void PrintText(FILE *stream, const std::string &utf8) {
  DWORD mode = 0;
  const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
  if (handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode))
    fputs(InCodePage(utf8, GetConsoleOutputCP()).c_str(), stream);
  else
    fputs(utf8.c_str(), stream);
}

#else

bool OpenTextCharset(const char *name, TextCharset *charset) {
  charset->Name = name;
  const iconv_t converter = iconv_open("UTF-8", name);
  charset->Converter = converter == iconv_t(-1) ? nullptr : converter;
  return charset->Converter != nullptr;
}

void CloseTextCharset(TextCharset *charset) {
  if (charset->Converter != nullptr) iconv_close(iconv_t(charset->Converter));
  charset->Converter = nullptr;
}

std::string DecodedText(const TextCharset *charset, const char *text) {
  if (charset == nullptr) return text;
  const iconv_t converter = iconv_t(charset->Converter);
  iconv(converter, nullptr, nullptr, nullptr, nullptr);
  std::string decoded;
  char *in = const_cast<char *>(text);
  size_t left = strlen(text);
  char buffer[256];
  while (left > 0) {
    char *out = buffer;
    size_t room = sizeof buffer;
    const size_t done = iconv(converter, &in, &left, &out, &room);
    decoded.append(buffer, size_t(out - buffer));
    if (done != size_t(-1) || errno == E2BIG) continue;
    // A byte the character set does not define, or the start of a character
    // cut short: it stays as it is.
    decoded += *in++;
    --left;
    iconv(converter, nullptr, nullptr, nullptr, nullptr);
  }
  char *out = buffer;
  size_t room = sizeof buffer;
  iconv(converter, nullptr, nullptr, &out, &room);
  decoded.append(buffer, size_t(out - buffer));
  return decoded;
}

std::string ArgumentText(const TextCharset *, const char *argument) { return argument; }

void PrintText(FILE *stream, const std::string &utf8) { fputs(utf8.c_str(), stream); }

#endif
