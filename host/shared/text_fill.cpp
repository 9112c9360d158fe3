#include "host/shared/text_fill.h"

std::wstring FillText(const wchar_t *text, std::initializer_list<const wchar_t *> values) {
  std::wstring filled;
  if (text == nullptr) return filled;
  for (const wchar_t *c = text; *c != L'\0'; ++c) {
    if (*c != L'%') {
      filled += *c;
    } else if (c[1] == L'%') {
      filled += L'%';
      ++c;
    } else if (c[1] >= L'1' && c[1] <= L'9' && size_t(c[1] - L'0') <= values.size()) {
      const wchar_t *value = values.begin()[c[1] - L'1'];
      if (value != nullptr) filled += value;
      ++c;
    } else {
      filled += *c;
    }
  }
  return filled;
}
