#include "host/shared/save_dialog.h"

#include <cwchar>
#include <string>

#include "host/shared/host_texts.h"
#include "host/shared/mail_save.h"
#include "host/shared/save_choice.h"
#include "platform/system_facts.h"

namespace {

// The destination chosen in the dialog: the host may read it through
// DestPath until the plug-in's next call.
const size_t LongestPath = 32768;
wchar_t ChosenDestination[LongestPath];

// Whole folders keep their own format: message files are no choice there.
const char *FormatSetting(bool trees) { return trees ? "TreeSaveAs" : "SaveAs"; }
const char MarkReadSetting[] = "MarkRead";

const int Width = 76, Left = 5, Right = 70;

DialogLine Item(int type, int x1, int y, int x2, const wchar_t *text, unsigned flags = 0) {
  return DialogLine{type, x1, y, x2, y, text, flags, false, false, false, nullptr};
}

// The choices of this session that the settings could not keep (a box
// said so): they hold until the host ends; -1 for none.
long long ChosenFormat[2] = {-1, -1}, ChosenMark = -1;

SaveChoice LastChoice(bool trees) {
  unsigned long long format = 0, mark_read = 0;
  bool has_format = ReadNumberSetting(FormatSetting(trees), &format);
  bool has_mark = ReadNumberSetting(MarkReadSetting, &mark_read);
  if (ChosenFormat[trees] >= 0) format = ChosenFormat[trees], has_format = true;
  if (ChosenMark >= 0) mark_read = ChosenMark, has_mark = true;
  return KeptSaveChoice(trees, has_format ? &format : nullptr, has_mark ? &mark_read : nullptr);
}

// Keeps the choice, for this session and in the host's settings; a box with
// the system's reason when they cannot be written.
void KeepChoice(bool trees, const SaveChoice &choice, const wchar_t *title,
                const wchar_t *help_topic) {
  ClearSystemError();
  const bool format_kept = WriteNumberSetting(FormatSetting(trees), choice.Output->Setting);
  const int error = LastSystemError();
  const bool mark_kept = WriteNumberSetting(MarkReadSetting, choice.MarkRead ? 1 : 0);
  ChosenFormat[trees] = format_kept ? -1 : choice.Output->Setting;
  ChosenMark = mark_kept ? -1 : choice.MarkRead ? 1 : 0;
  if (format_kept && mark_kept) return;
  const std::wstring line =
      WithSystemReason(TextOf(MCannotKeepSetting), format_kept ? LastSystemError() : error);
  ShowWarning(title, line.c_str(), help_topic);
}

}  // namespace

const wchar_t *AskDestination(const wchar_t *title, const wchar_t *question, const wchar_t *dest,
                              bool trees, const wchar_t *help_topic, SaveChoice *choice) {
  const SaveChoice last = LastChoice(trees);
  OfferedOutput offered[8];
  const int formats = int(OfferedOutputs(trees, offered, 8));
  const bool marks = OfferedTake(offered, size_t(formats), TakesSeen);

  DialogLine items[16];
  int count = 0;
  int y = 2;
  const int box = count++;
  items[count++] = Item(DialogText, Left, y++, Right, question);
  const int line = count;
  items[count++] = Item(DialogEdit, Left, y++, Right, dest);
  items[count++] = Item(DialogText, -1, y++, 0, L"", DialogSeparator);
  items[count++] = Item(DialogText, Left, y++, Right, TextOf(MSaveAs));
  const int first_format = count;
  for (int i = 0; i < formats; ++i) {
    DialogLine &radio = items[count++] = Item(DialogRadioButton, Left, y++, Right,
                                              TextOf(offered[i].Label), i == 0 ? DialogGroup : 0);
    radio.Selected = offered[i].Output == last.Output;
    radio.EnablesMark = OutputTakes(*offered[i].Output, TakesSeen);
  }
  const int mark = marks ? count : -1;
  if (marks) {
    // Greyed while the output chosen cannot mark (the host's procedure
    // follows the radio buttons, EnablingAfterClick).
    const bool takes = last.Output != nullptr && OutputTakes(*last.Output, TakesSeen);
    items[count++] =
        Item(DialogCheckBox, Left, y++, Right, TextOf(MMarkRead), takes ? 0 : DialogDisabled);
    items[mark].Selected = last.MarkRead;
  }
  items[count++] = Item(DialogText, -1, y++, 0, L"", DialogSeparator);
  const int ok = count;
  items[count++] =
      Item(DialogButton, 0, y, 0, TextOf(trees ? MConvertButton : MCopyButton), DialogCenterGroup);
  items[ok].DefaultButton = true;
  items[count++] = Item(DialogButton, 0, y++, 0, TextOf(MCancelButton), DialogCenterGroup);
  items[box] = Item(DialogDoubleBox, 3, 1, Width - 4, title);
  items[box].Y2 = y;

  bool checked[16] = {};
  std::wstring texts[16];
  const DialogForm form = {Width, y + 2, help_topic, items, count, line, checked, mark, texts};
  ReserveDialogTexts(form);
  if (RunDialog(form) != ok || texts[line].size() >= LongestPath) return nullptr;
  wmemcpy(ChosenDestination, texts[line].c_str(), texts[line].size() + 1);
  TrimAnswer(ChosenDestination);
  choice->Output = last.Output;
  for (int i = 0; i < formats; ++i)
    if (checked[first_format + i]) choice->Output = offered[i].Output;
  choice->MarkRead = marks ? checked[mark] : last.MarkRead;
  // A send into a mail account goes to no directory: its line may be empty.
  if (ChosenDestination[0] == L'\0' && !SavesToAccount(*choice)) return nullptr;
  KeepChoice(trees, *choice, title, help_topic);
  return ChosenDestination;
}

int EnablingAfterClick(const DialogForm &dialog, int clicked, bool chosen, bool *enable) {
  if (dialog.Mark < 0 || !chosen || clicked < 0 || clicked >= dialog.Count ||
      dialog.Lines[clicked].Type != DialogRadioButton)
    return -1;
  *enable = dialog.Lines[clicked].EnablesMark;
  return dialog.Mark;
}
