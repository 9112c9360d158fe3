// The boxes the shared logic shows, as the items of the host's message box:
// the title first, then the lines.
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
  return RunMessageBox(kind, items, count + 1, help_topic);
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
