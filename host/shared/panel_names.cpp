#include "host/shared/panel_names.h"

#include <cwchar>
#include <cwctype>

namespace {

// One letter in the case both hosts' name comparisons see as the same: the
// code pages' letters (Latin, Greek, Cyrillic) by their ranges, whatever
// the C library's locale knows.
wchar_t Folded(wchar_t c) {
  if ((c >= L'a' && c <= L'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7)) return wchar_t(c - 32);
  if ((c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2) || (c >= 0x430 && c <= 0x44F))
    return wchar_t(c - 32);
  if (c >= 0x450 && c <= 0x45F) return wchar_t(c - 80);
  if (c == 0xFF) return 0x178;
  // Latin Extended-A: pairs of capital and small letter, the small one odd
  // where the pairs start even and even where they start odd.
  if (((c >= 0x100 && c <= 0x137) || (c >= 0x14A && c <= 0x177)) && (c & 1)) return wchar_t(c - 1);
  if (((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) && !(c & 1))
    return wchar_t(c - 1);
  return wchar_t(towupper(wint_t(c)));
}

}  // namespace

std::wstring FoldedName(const wchar_t *name, size_t length) {
  std::wstring folded(name, length);
  for (wchar_t &c : folded) c = Folded(c);
  return folded;
}

size_t GiveUniqueName(PanelNames *names, wchar_t *name, size_t length) {
  const std::wstring base = FoldedName(name, length);
  auto given = names->Next.find(base);
  if (given == names->Next.end()) {
    names->Next.emplace(base, 2);
    return length;
  }
  // The first free suffix from the base's next one: a name that holds a
  // suffix of its own may have taken one before.
  wchar_t suffix[TwinSuffixRoom];
  size_t suffix_length = 0;
  uint32_t number = given->second;
  for (;; ++number) {
    suffix_length = size_t(swprintf(suffix, TwinSuffixRoom, L"_(%u)", unsigned(number)));
    if (names->Next.find(base + FoldedName(suffix, suffix_length)) == names->Next.end()) break;
  }
  given->second = number + 1;
  wmemcpy(name + length, suffix, suffix_length + 1);
  length += suffix_length;
  names->Next.emplace(FoldedName(name, length), 2);
  return length;
}
