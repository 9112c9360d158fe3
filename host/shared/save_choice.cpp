#include "host/shared/save_choice.h"

#include <cwchar>

namespace {

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

bool Offered(const OutputRow &row, bool trees) {
  if (MailAccount == nullptr && SavesToAccount(SaveChoice{&row, false})) return false;
  return trees ? row.TreePlace > 0 : row.Label >= 0;
}

}  // namespace

size_t OfferedOutputs(bool trees, OfferedOutput *offered, size_t room) {
  size_t rows_count = 0;
  const OutputRow *rows = OutputRows(&rows_count);
  size_t count = 0;
  // Whole folders' places are their own; messages take the table's order.
  for (int place = 1; count < room; ++place) {
    const size_t before = count;
    for (size_t i = 0; i < rows_count && count < room; ++i)
      if (Offered(rows[i], trees) && (!trees || rows[i].TreePlace == place))
        offered[count++] = {&rows[i], MessageId(trees ? rows[i].TreeLabel : rows[i].Label)};
    if (!trees || count == before) break;
  }
  return count;
}

bool OfferedTake(const OfferedOutput *offered, size_t count, unsigned takes) {
  for (size_t i = 0; i < count; ++i)
    if (OutputTakes(*offered[i].Output, takes)) return true;
  return false;
}

SaveChoice KeptSaveChoice(bool trees, const unsigned long long *format,
                          const unsigned long long *mark_read) {
  OfferedOutput first[1];
  SaveChoice choice = {OfferedOutputs(trees, first, 1) > 0 ? first[0].Output : nullptr, false};
  const OutputRow *kept =
      format != nullptr && *format <= 0x7fffffff ? OutputOfSetting(int(*format)) : nullptr;
  if (kept != nullptr && Offered(*kept, trees)) choice.Output = kept;
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
