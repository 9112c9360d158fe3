#include "host/far2l/save_destination.h"

#include <cstring>
#include <cwchar>

#include "host/far2l/config_file.h"
#include "host/far2l/host_services.h"
#include "host/shared/save_choice.h"

using namespace far2l;

namespace {

// The destination chosen in the dialog: the host may read it through
// DestPath until the plug-in's next call.
const int LongestPath = 4096;
wchar_t ChosenDestination[LongestPath];

// The settings' names and numbers are version 3's. Whole folders keep their
// own format: message files are no choice there.
const char *FormatSetting(bool trees) { return trees ? "TreeSaveAs" : "SaveAs"; }
const char MarkReadSetting[] = "MarkRead";

const int Width = 76, Left = 5, Right = 70;

FarDialogItem Item(int type, int x1, int y, int x2, const wchar_t *text, DWORD flags = 0) {
  FarDialogItem item;
  memset(&item, 0, sizeof item);
  item.Type = type;
  item.X1 = x1;
  item.Y1 = y;
  item.X2 = x2;
  item.Y2 = y;
  item.PtrData = text;
  item.Flags = flags;
  return item;
}

SaveChoice LastChoice(bool trees) {
  unsigned long format = 0, mark_read = 0;
  const bool has_format = ReadConfigNumber(FormatSetting(trees), &format);
  const bool has_mark = ReadConfigNumber(MarkReadSetting, &mark_read);
  const unsigned long long kept_format = format, kept_mark = mark_read;
  return KeptSaveChoice(trees, has_format ? &kept_format : nullptr, has_mark ? &kept_mark : nullptr);
}

}  // namespace

const wchar_t *AskDestination(const wchar_t *title, const wchar_t *question, const wchar_t *dest,
                              bool trees, const wchar_t *help_topic, SaveChoice *choice) {
  const SaveChoice last = LastChoice(trees);
  OfferedOutput offered[8];
  const int formats = int(OfferedOutputs(trees, offered, 8));
  const bool marks = OfferedTake(offered, size_t(formats), TakesSeen);

  FarDialogItem items[16];
  int count = 0;
  int y = 2;
  const int box = count++;
  items[count++] = Item(DI_TEXT, Left, y++, Right, question);
  const int line = count;
  // The history button takes the column after the line; one is left before
  // the frame.
  items[count++] = Item(DI_EDIT, Left, y++, Right - 1, dest, DIF_HISTORY | DIF_EDITPATH);
  items[line].Param.History = L"VessorCopy";
  items[line].Focus = 1;
  items[count++] = Item(DI_TEXT, -1, y++, 0, L"", DIF_SEPARATOR);
  items[count++] = Item(DI_TEXT, Left, y++, Right, TextOf(MSaveAs));
  const int first_format = count;
  for (int i = 0; i < formats; ++i) {
    FarDialogItem &radio = items[count++] = Item(DI_RADIOBUTTON, Left, y++, Right,
                                                 TextOf(offered[i].Label), i == 0 ? DWORD(DIF_GROUP) : DWORD(0));
    radio.Param.Selected = offered[i].Output == last.Output;
  }
  const int mark = count;
  if (marks) {
    items[count++] = Item(DI_CHECKBOX, Left, y++, Right, TextOf(MMarkRead));
    items[mark].Param.Selected = last.MarkRead;
  }
  items[count++] = Item(DI_TEXT, -1, y++, 0, L"", DIF_SEPARATOR);
  const int ok = count;
  items[count++] =
      Item(DI_BUTTON, 0, y, 0, TextOf(trees ? MConvertButton : MCopyButton), DIF_CENTERGROUP);
  items[ok].DefaultButton = 1;
  items[count++] = Item(DI_BUTTON, 0, y++, 0, TextOf(MCancelButton), DIF_CENTERGROUP);
  items[box] = Item(DI_DOUBLEBOX, 3, 1, Width - 4, title);
  items[box].Y2 = y;

  bool checked[16] = {};
  if (RunDialog(Width, y + 2, help_topic, items, count, line, ChosenDestination, LongestPath,
                checked) != ok)
    return nullptr;
  TrimAnswer(ChosenDestination);
  if (ChosenDestination[0] == L'\0') return nullptr;
  choice->Output = last.Output;
  for (int i = 0; i < formats; ++i)
    if (checked[first_format + i]) choice->Output = offered[i].Output;
  choice->MarkRead = marks ? checked[mark] : last.MarkRead;
  WriteConfigNumber(FormatSetting(trees), (unsigned long)choice->Output->Setting);
  WriteConfigNumber(MarkReadSetting, choice->MarkRead ? 1 : 0);
  return ChosenDestination;
}
