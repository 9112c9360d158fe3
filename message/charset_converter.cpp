#include "message/charset_converter.h"

#include <cstdlib>
#include <cstring>

#ifdef _WIN32
#include "platform/win_types.h"
#else
#include <errno.h>
#include <iconv.h>
#endif

namespace {

std::string LowerCase(const char *name) {
  std::string lower;
  for (const char *c = name; *c; ++c) lower += char(*c >= 'A' && *c <= 'Z' ? *c - 'A' + 'a' : *c);
  return lower;
}

bool IsUtf8Name(const std::string &lower) {
  return lower == "utf-8" || lower == "utf8" || lower == "us-ascii" || lower == "ascii";
}

}  // namespace

unsigned CodePageNamed(const char *name) {
  const std::string lower = LowerCase(name);
  if (lower == "utf-8" || lower == "utf8") return 65001;
  static const struct {
    const char *Name;
    unsigned CodePage;
  } Named[] = {{"koi8-r", 20866},    {"koi8-u", 21866},      {"us-ascii", 20127},
               {"ascii", 20127},     {"latin1", 28591},      {"shift_jis", 932},
               {"gb2312", 936},      {"gbk", 936},           {"big5", 950},
               {"euc-kr", 51949},    {"euc-jp", 20932},      {"iso-2022-jp", 50220},
               {"x-mac-cyrillic", 10007}};
  for (const auto &named : Named)
    if (lower == named.Name) return named.CodePage;
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

#ifdef _WIN32

bool OpenCharsetConverter(const char *name, CharsetConverter *converter) {
  converter->Utf8 = IsUtf8Name(LowerCase(name));
  converter->CodePage = CodePageNamed(name);
  return converter->CodePage != 0 && IsValidCodePage(converter->CodePage);
}

void CloseCharsetConverter(CharsetConverter *) {}

void ConvertToUtf8(CharsetConverter *converter, const char *bytes, size_t size,
                   std::string *utf8, std::string *carry) {
  std::string text;
  if (carry != nullptr) {
    text.swap(*carry);
    text.append(bytes, size);
    bytes = text.data();
    size = text.size();
  }
  if (converter->Utf8 || size == 0) {
    utf8->append(bytes, size);
    return;
  }
  // A lead byte at the end of a piece waits for its second byte. A byte of
  // a lead byte's range may be a second byte too: only a walk from the start
  // tells which it is.
  CPINFO info;
  if (carry != nullptr && GetCPInfo(converter->CodePage, &info) && info.MaxCharSize == 2) {
    size_t at = 0;
    while (at < size) at += IsDBCSLeadByteEx(converter->CodePage, BYTE(bytes[at])) ? 2 : 1;
    if (at > size) {
      carry->assign(bytes + size - 1, 1);
      if (--size == 0) return;
    }
  }
  const int wide_size = MultiByteToWideChar(converter->CodePage, 0, bytes, int(size), nullptr, 0);
  if (wide_size <= 0) {
    utf8->append(bytes, size);
    return;
  }
  std::wstring wide(size_t(wide_size), L'\0');
  MultiByteToWideChar(converter->CodePage, 0, bytes, int(size), &wide[0], wide_size);
  const int length =
      WideCharToMultiByte(CP_UTF8, 0, wide.data(), wide_size, nullptr, 0, nullptr, nullptr);
  if (length <= 0) return;
  const size_t at = utf8->size();
  utf8->resize(at + size_t(length));
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), wide_size, &(*utf8)[at], length, nullptr,
                      nullptr);
}

#else

bool OpenCharsetConverter(const char *name, CharsetConverter *converter) {
  converter->Utf8 = IsUtf8Name(LowerCase(name));
  converter->Converter = nullptr;
  if (converter->Utf8) return true;
  const iconv_t opened = iconv_open("UTF-8", name);
  converter->Converter = opened == iconv_t(-1) ? nullptr : opened;
  return converter->Converter != nullptr;
}

void CloseCharsetConverter(CharsetConverter *converter) {
  if (converter->Converter != nullptr) iconv_close(iconv_t(converter->Converter));
  converter->Converter = nullptr;
}

void ConvertToUtf8(CharsetConverter *converter, const char *bytes, size_t size,
                   std::string *utf8, std::string *carry) {
  std::string text;
  if (carry != nullptr) {
    text.swap(*carry);
    text.append(bytes, size);
    bytes = text.data();
    size = text.size();
  }
  if (converter->Utf8 || converter->Converter == nullptr) {
    utf8->append(bytes, size);
    return;
  }
  const iconv_t handle = iconv_t(converter->Converter);
  iconv(handle, nullptr, nullptr, nullptr, nullptr);
  char *in = const_cast<char *>(bytes);
  size_t left = size;
  char buffer[1024];
  while (left > 0) {
    char *out = buffer;
    size_t room = sizeof buffer;
    const size_t done = iconv(handle, &in, &left, &out, &room);
    utf8->append(buffer, size_t(out - buffer));
    if (done != size_t(-1) || errno == E2BIG) continue;
    if (errno == EINVAL && carry != nullptr) {
      carry->assign(in, left);
      break;
    }
    // A byte the character set does not define, or the start of a character
    // cut short: it stays as it is.
    *utf8 += *in++;
    --left;
    iconv(handle, nullptr, nullptr, nullptr, nullptr);
  }
  char *out = buffer;
  size_t room = sizeof buffer;
  iconv(handle, nullptr, nullptr, &out, &room);
  utf8->append(buffer, size_t(out - buffer));
}

#endif
