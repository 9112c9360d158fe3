#include "host/far3/save_dialog.h"

#include <cstring>
#include <cwchar>

#include "host/far3/far_plugin.h"
#include "host/far3/host_services.h"
#include "host/shared/save_choice.h"

using namespace far3;

namespace {

// Whole folders keep their own choice: message files are no choice there.
const wchar_t *FormatSetting(bool trees) { return trees ? L"TreeSaveAs" : L"SaveAs"; }
const wchar_t MarkReadSetting[] = L"MarkRead";

const intptr_t Width = 76, Left = 5, Right = 70;

FarDialogItem Item(int type, intptr_t x1, intptr_t y, intptr_t x2, const wchar_t *text,
                   unsigned long long flags = 0) {
  FarDialogItem item;
  memset(&item, 0, sizeof item);
  item.Type = type;
  item.X1 = x1;
  item.Y1 = y;
  item.X2 = x2;
  item.Y2 = y;
  item.Data = text;
  item.Flags = flags;
  return item;
}

}  // namespace

SaveChoice LastSaveChoice(bool trees) {
  unsigned long long format = 0, mark_read = 0;
  const bool has_format = ReadSetting(FormatSetting(trees), &format);
  const bool has_mark = ReadSetting(MarkReadSetting, &mark_read);
  return KeptSaveChoice(trees, has_format ? &format : nullptr, has_mark ? &mark_read : nullptr);
}

bool AskSaveChoice(const wchar_t *title, const wchar_t *question, const wchar_t *dest, bool trees,
                   SaveChoice *choice, wchar_t *answer, size_t answer_size) {
  const SaveChoice last = LastSaveChoice(trees);
  OfferedOutput offered[8];
  const size_t formats = OfferedOutputs(trees, offered, 8);
  const bool marks = OfferedTake(offered, formats, TakesSeen);

  FarDialogItem items[16];
  size_t count = 0;
  intptr_t y = 2;
  const size_t box = count++;
  items[count++] = Item(DI_TEXT, Left, y++, Right, question);
  const size_t line = count;
  items[count++] = Item(DI_EDIT, Left, y++, Right, dest,
                        DIF_HISTORY | DIF_EDITPATH | DIF_EDITEXPAND | DIF_FOCUS);
  items[line].History = L"VessorFolderDestination";
  items[count++] = Item(DI_TEXT, -1, y++, 0, L"", DIF_SEPARATOR);
  items[count++] = Item(DI_TEXT, Left, y++, Right, TextOf(MSaveAs));
  const size_t first_format = count;
  for (size_t i = 0; i < formats; ++i) {
    FarDialogItem &radio = items[count++] =
        Item(DI_RADIOBUTTON, Left, y++, Right, TextOf(offered[i].Label), i == 0 ? DIF_GROUP : 0ULL);
    radio.Selected = offered[i].Output == last.Output;
  }
  const size_t mark = count;
  if (marks) {
    items[count++] = Item(DI_CHECKBOX, Left, y++, Right, TextOf(MMarkRead));
    items[mark].Selected = last.MarkRead;
  }
  items[count++] = Item(DI_TEXT, -1, y++, 0, L"", DIF_SEPARATOR);
  const size_t ok = count;
  items[count++] =
      Item(DI_BUTTON, 0, y, 0, TextOf(trees ? MConvertButton : MCopyButton),
           DIF_CENTERGROUP | DIF_DEFAULTBUTTON);
  items[count++] = Item(DI_BUTTON, 0, y++, 0, TextOf(MCancelButton), DIF_CENTERGROUP);
  items[box] = Item(DI_DOUBLEBOX, 3, 1, Width - 4, title);
  items[box].Y2 = y;

  if (RunDialog(SaveDialogGuid, Width, y + 2, HELP_SAVING, items, count, line, answer,
                answer_size) != intptr_t(ok))
    return false;
  TrimAnswer(answer);
  if (answer[0] == L'\0') return false;
  choice->Output = last.Output;
  for (size_t i = 0; i < formats; ++i)
    if (items[first_format + i].Selected == BSTATE_CHECKED) choice->Output = offered[i].Output;
  choice->MarkRead = marks ? items[mark].Selected == BSTATE_CHECKED : last.MarkRead;
  WriteSetting(FormatSetting(trees), (unsigned long long)choice->Output->Setting);
  WriteSetting(MarkReadSetting, choice->MarkRead ? 1 : 0);
  return true;
}
