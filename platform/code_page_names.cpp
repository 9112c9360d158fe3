// The names of code pages, the same on every system: what the panel shows
// and what iconv opens them by.
#include "platform/wide_text.h"

std::string CodePageCharset(unsigned code_page) {
  code_page = SystemCodePage(code_page);
  static const struct {
    unsigned CodePage;
    const char *Name;
  } Named[] = {{65001, "utf-8"},     {20866, "koi8-r"},         {21866, "koi8-u"},
               {20127, "us-ascii"},  {10007, "x-mac-cyrillic"}, {932, "shift_jis"},
               {936, "gbk"},         {950, "big5"},             {51949, "euc-kr"},
               {20932, "euc-jp"},    {50220, "iso-2022-jp"}};
  for (const auto &named : Named)
    if (named.CodePage == code_page) return named.Name;
  if (code_page >= 1250 && code_page <= 1258) return "windows-" + std::to_string(code_page);
  if (code_page >= 28591 && code_page <= 28606)
    return "iso-8859-" + std::to_string(code_page - 28590);
  return "cp" + std::to_string(code_page);
}
