#include "host/shared/host_texts.h"

#include <cstdlib>
#include <cwchar>

#include "host/shared/panel_host.h"
#include "platform/system_facts.h"
#include "platform/wide_text.h"

const wchar_t *CountedNoun(MessageId one, unsigned long long count) {
  const unsigned long long last = count % 10, last_two = count % 100;
  int form = 3;
  if (count == 1)
    form = 0;
  else if (last == 1 && last_two != 11)
    form = 1;
  else if (last >= 2 && last <= 4 && (last_two < 12 || last_two > 14))
    form = 2;
  return TextOf(MessageId(one + form));
}

void WriteGroupedNumber(unsigned long long number, wchar_t *out, size_t out_size) {
  wchar_t digits[24];
  const int length = swprintf(digits, 24, L"%llu", number);
  const wchar_t *group = TextOf(MDigitGroup);
  size_t at = 0;
  for (int i = 0; i < length && at + 1 < out_size; ++i) {
    if (i > 0 && (length - i) % 3 == 0)
      for (const wchar_t *c = group; *c != L'\0' && at + 1 < out_size; ++c) out[at++] = *c;
    out[at++] = digits[i];
  }
  out[at] = L'\0';
}

void TellEntryFailure(EntryFailure failure) {
  ShowWarning(TextOf(MTitle), TextOf(failure == EntryOutOfMemory ? MNoMemory : MFailed), nullptr);
}

std::string Utf8Of(const std::wstring &text) {
  char *utf8 = Utf8FromWide(text.c_str());
  std::string kept = utf8 != nullptr ? utf8 : "";
  free(utf8);
  return kept;
}

std::wstring SystemReason(int error) {
  const std::string text = SystemErrorText(error);
  if (text.empty()) return L"";
  // Windows words its errors in the ANSI code page; the C library here in
  // UTF-8 (or ASCII).
#ifdef _WIN32
  const unsigned code_page = 0;
#else
  const unsigned code_page = 65001;
#endif
  wchar_t words[512];
  DecodeText(code_page, text.c_str(), words, sizeof words / sizeof words[0]);
  return words;
}

std::wstring WithSystemReason(const wchar_t *text, int error) {
  const std::wstring reason = SystemReason(error);
  return reason.empty() ? std::wstring(text) : std::wstring(text) + L" (" + reason + L")";
}
