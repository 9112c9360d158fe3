// What the shared panel layer asks of the host it runs in, besides its texts
// and boxes (host/shared/host_texts.h): each adapter defines these calls
// with its own host's services, but for ShowWarning, AskLine,
// ChooseFromMenu, TellEntryFailure and AskDestination, which the shared
// layer makes of the others (message_boxes.cpp, host_texts.cpp,
// save_dialog.cpp).
#pragma once

#include <cstddef>
#include <string>

#include "host/shared/entry_guard.h"
#include "host/shared/mail_save.h"

// A warning box with the host's OK button: the title and one line. Nothing
// without the host's services.
void ShowWarning(const wchar_t *title, const wchar_t *line, const wchar_t *help_topic);

// The host's message boxes, whose items and answers message_boxes.cpp makes
// of ShowWarning's, ShowLines's, ShowWorkBox's and AskYesNo's: one line
// centred under a warning's title with OK; lines with OK, a warning's or
// not; lines with no button, which stay while work goes on; a warning's
// question with Yes and No.
enum BoxKind { BoxWarning, BoxLines, BoxWarningLines, BoxWork, BoxQuestion };

// A box of `Kind` showing `Items` (`Count` of them, the title first).
struct BoxForm {
  BoxKind Kind;
  const wchar_t *const *Items;
  size_t Count;
  const wchar_t *HelpTopic;
};

// The host's box: the button chosen (Yes is 0), or -1 for Esc or for more
// lines than the host's box takes. Without the service each host answers
// its own way.
int RunMessageBox(const BoxForm &box);

// The warning for an entry point's work that threw: out of memory, or an
// unexpected error.
void TellEntryFailure(EntryFailure failure);

// The host's input line, prefilled with `text`, with the host's history of
// destinations; the answer goes into `answer` (of `answer_size` letters).
// False for Esc. Without the service the prefilled text is the answer.
bool AskLine(const wchar_t *title, const wchar_t *question, const wchar_t *text, wchar_t *answer,
             size_t answer_size, const wchar_t *help_topic);

// AskLine's question, and where its answer goes.
struct LineForm {
  const wchar_t *Title, *Question, *Text, *HelpTopic;
  wchar_t *Answer;
  size_t AnswerSize;
};

// The host's input line (AskLine's, message_boxes.cpp): 1 for Enter, 0 for
// Esc, -1 without the service.
int RunInputLine(const LineForm &line);

// The save dialog (as what, and where), titled `title`, `question` over the
// destination's line prefilled with `dest`; `trees` offers what whole
// folders become. The destination chosen, without blanks or quotes around
// it, living until the next call; null for Esc, Cancel or an empty one.
const wchar_t *AskDestination(const wchar_t *title, const wchar_t *question, const wchar_t *dest,
                              bool trees, const wchar_t *help_topic, SaveChoice *choice);

// A dialog's item in no host's record: the types and flags are the numbers
// both hosts give them. Each host adds its own to the destination's line
// (DialogEdit): its history, path completion and the focus.
// A DialogPasswordEdit shows a mark for each letter typed and keeps no
// history.
const int DialogText = 0, DialogDoubleBox = 3, DialogEdit = 4, DialogPasswordEdit = 5,
          DialogButton = 7, DialogCheckBox = 8, DialogRadioButton = 9;
const unsigned DialogGroup = 0x400, DialogCenterGroup = 0x4000, DialogSeparator = 0x10000,
               DialogDisabled = 0x80000000;
struct DialogLine {
  int Type;
  int X1, Y1, X2, Y2;
  const wchar_t *Text;
  unsigned Flags;
  bool Selected;       // a radio button's or check box's mark
  bool DefaultButton;  // the button Enter presses
  bool EnablesMark;    // a radio button whose choice enables the form's Mark
  // An edit line's own history (no path completion); null: the
  // destinations' history, with paths completed.
  const wchar_t *History;
};

// A dialog of `Count` (at most 16) `Lines`, `Width` by `Height` and
// centred; `Checked[i]` gets whether line i is checked (for radio buttons
// and check boxes; false for the rest) and `Texts[i]` the text of edit line
// i. Line `Mark` (-1: none) is enabled only while a radio button that
// EnablesMark is chosen; line `Edit` takes the focus.
struct DialogForm {
  int Width, Height;
  const wchar_t *HelpTopic;
  const DialogLine *Lines;
  int Count, Edit;
  bool *Checked;
  int Mark;
  std::wstring *Texts;
};

// What a click on line `clicked` that left it `chosen` (the host's
// DN_BTNCLICK) changes: the line to enable or grey out, as `*enable` says,
// or -1 for none.
int EnablingAfterClick(const DialogForm &dialog, int clicked, bool chosen, bool *enable);

// The host's dialog: the index of the line that closed it, or -1 for Esc
// (or no dialog service).
int RunDialog(const DialogForm &dialog);

// The host's items of the dialog's lines: their type and place, the rest
// as `fill(line, i)` sets item i.
template <typename Item, typename Fill>
void PlaceDialogLines(const DialogForm &dialog, Item *items, Fill fill) {
  for (int i = 0; i < dialog.Count; ++i) {
    const DialogLine &line = dialog.Lines[i];
    items[i].Type = line.Type;
    items[i].X1 = line.X1, items[i].Y1 = line.Y1, items[i].X2 = line.X2, items[i].Y2 = line.Y2;
    fill(line, i);
  }
}

// Which radio buttons and check boxes the user left checked, as
// `is_checked(i)` asks the host of line i.
template <typename IsChecked>
void ReadDialogChecks(const DialogForm &dialog, IsChecked is_checked) {
  for (int i = 0; i < dialog.Count; ++i) {
    const int type = dialog.Lines[i].Type;
    dialog.Checked[i] = (type == DialogCheckBox || type == DialogRadioButton) && is_checked(i);
  }
}

// The room each edit line's text has. ReserveDialogTexts takes it before the
// host's dialog is made, so that reading the texts afterwards asks for no
// memory while the dialog lives: a refusal then could leave it unfreed.
const size_t DialogTextRoom = 32768;
inline void ReserveDialogTexts(const DialogForm &dialog) {
  for (int i = 0; i < dialog.Count; ++i)
    if (dialog.Lines[i].Type == DialogEdit || dialog.Lines[i].Type == DialogPasswordEdit)
      dialog.Texts[i].reserve(DialogTextRoom);
}

// The text of every edit line into dialog.Texts, as `read_text(i, &text)`
// asks the host of line i; no longer than DialogTextRoom letters.
template <typename ReadText>
void ReadDialogTexts(const DialogForm &dialog, ReadText read_text) {
  for (int i = 0; i < dialog.Count; ++i)
    if (dialog.Lines[i].Type == DialogEdit || dialog.Lines[i].Type == DialogPasswordEdit)
      read_text(i, &dialog.Texts[i]);
}

// Has the other panel read its directory again, so that it shows what a
// stopped save left there (after a stop the host shows it as it was).
void ShowOtherPanelChanges();

// The host's menu of `count` items, `current` highlighted and checked: the
// index chosen, or -1 for Esc (or no menu service).
int ChooseFromMenu(const wchar_t *title, const wchar_t *const *items, int count, int current,
                   const wchar_t *help_topic);

// ChooseFromMenu's menu (message_boxes.cpp makes it).
struct MenuForm {
  const wchar_t *Title;
  const wchar_t *const *Items;
  int Count, Current;
  const wchar_t *HelpTopic;
};
int RunMenu(const MenuForm &menu);

// A number kept in the host's settings under `name`; ReadNumberSetting is
// false when it is absent or the settings cannot be read.
bool ReadNumberSetting(const char *name, unsigned long long *value);
bool WriteNumberSetting(const char *name, unsigned long long value);

// Stated by each adapter where its host's names are seen: the host numbers
// its operation modes, its selection and its dialogs' items as the shared
// layer does (host/shared/panel_copy.h and the dialog above).
#define CHECK_HOST_NUMBERS()                                                                    \
  static_assert(OPM_SILENT == ModeSilent && OPM_FIND == ModeFind && OPM_VIEW == ModeView &&     \
                    OPM_EDIT == ModeEdit && OPM_DESCR == ModeDescription &&                     \
                    OPM_QUICKVIEW == ModeQuickView && PPIF_SELECTED == ItemSelected &&          \
                    DI_TEXT == DialogText && DI_DOUBLEBOX == DialogDoubleBox &&                 \
                    DI_EDIT == DialogEdit && DI_PSWEDIT == DialogPasswordEdit &&                \
                    DI_BUTTON == DialogButton &&                                                \
                    DI_CHECKBOX == DialogCheckBox && DI_RADIOBUTTON == DialogRadioButton &&     \
                    DIF_GROUP == DialogGroup && DIF_CENTERGROUP == DialogCenterGroup &&         \
                    DIF_SEPARATOR == DialogSeparator && DIF_DISABLE == DialogDisabled,          \
                "the host's numbers are the shared layer's")
