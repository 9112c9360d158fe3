#include "host/shared/save_choice.h"

#include <cwchar>

namespace {

const OfferedFormat Single[] = {
    {SaveMessageFiles, MSaveFiles}, {SaveEml, MSaveEml}, {SaveMbox, MSaveMbox}, {SaveMaildir, MSaveMaildir}};
const OfferedFormat Whole[] = {
    {SaveMbox, MSaveTreeMbox}, {SaveMaildir, MSaveTreeMaildir}, {SaveEml, MSaveTreeEml}};

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

}  // namespace

const OfferedFormat *OfferedFormats(bool trees, size_t *count) {
  *count = trees ? sizeof Whole / sizeof Whole[0] : sizeof Single / sizeof Single[0];
  return trees ? Whole : Single;
}

SaveChoice KeptSaveChoice(bool trees, const unsigned long long *format,
                          const unsigned long long *mark_read) {
  SaveChoice choice = {trees ? SaveMbox : SaveMessageFiles, false};
  if (format != nullptr && *format <= SaveMaildir && !(trees && *format == SaveMessageFiles))
    choice.Format = SaveFormat(*format);
  if (mark_read != nullptr) choice.MarkRead = *mark_read != 0;
  return choice;
}

void TrimAnswer(wchar_t *answer) {
  size_t length = wcslen(answer);
  while (length > 0 && IsBlank(answer[length - 1])) answer[--length] = L'\0';
  size_t start = 0;
  while (IsBlank(answer[start])) ++start;
  length -= start;
  if (length >= 2 && answer[start] == L'"' && answer[start + length - 1] == L'"') {
    ++start;
    length -= 2;
  }
  wmemmove(answer, answer + start, length);
  answer[length] = L'\0';
}
