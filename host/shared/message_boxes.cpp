// The boxes the shared logic shows, as the items of the host's message box
// (the title first, then the lines), its input line and its menu.
#include <cwchar>

#include "host/shared/host_texts.h"
#include "host/shared/panel_host.h"

namespace {

// The most lines any host's box takes.
const size_t MostLines = 15;

int RunLinesBox(BoxKind kind, const wchar_t *title, const wchar_t *const *lines, size_t count,
                const wchar_t *help_topic) {
  if (count > MostLines) return -1;
  const wchar_t *items[MostLines + 1] = {title};
  for (size_t i = 0; i < count; ++i) items[i + 1] = lines[i];
  return RunMessageBox(BoxForm{kind, items, count + 1, help_topic});
}

}  // namespace

void ShowWarning(const wchar_t *title, const wchar_t *line, const wchar_t *help_topic) {
  RunLinesBox(BoxWarning, title, &line, 1, help_topic);
}

void ShowWorkBox(const wchar_t *title, const wchar_t *const *lines, size_t count) {
  RunLinesBox(BoxWork, title, lines, count, nullptr);
}

void ShowLines(const wchar_t *title, const wchar_t *const *lines, size_t count, bool warning,
               const wchar_t *help_topic) {
  RunLinesBox(warning ? BoxWarningLines : BoxLines, title, lines, count, help_topic);
}

bool AskYesNo(const wchar_t *title, const wchar_t *line, const wchar_t *help_topic) {
  return RunLinesBox(BoxQuestion, title, &line, 1, help_topic) == 0;
}

bool AskLine(const wchar_t *title, const wchar_t *question, const wchar_t *text, wchar_t *answer,
             size_t answer_size, const wchar_t *help_topic) {
  const int answered =
      RunInputLine(LineForm{title, question, text, help_topic, answer, answer_size});
  if (answered >= 0) return answered != 0;
  const size_t length = wcsnlen(text, answer_size - 1);
  wmemcpy(answer, text, length);
  answer[length] = L'\0';
  return true;
}

int ChooseFromMenu(const wchar_t *title, const wchar_t *const *items, int count, int current,
                   const wchar_t *help_topic) {
  return RunMenu(MenuForm{title, items, count, current, help_topic});
}
