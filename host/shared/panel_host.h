// What the shared panel layer asks of the host it runs in, besides its texts
// and boxes (host/shared/host_texts.h): each adapter defines these calls
// with its own host's services, but for ShowWarning, TellEntryFailure and
// AskDestination, which the shared layer makes of the others
// (message_boxes.cpp, host_texts.cpp, save_dialog.cpp).
#pragma once

#include <cstddef>

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

// The host's box of `kind` showing `items` (`count` of them, the title
// first): the button chosen (Yes is 0), or -1 for Esc or for more lines than
// the host's box takes. Without the service each host answers its own way.
int RunMessageBox(BoxKind kind, const wchar_t *const *items, size_t count,
                  const wchar_t *help_topic);

// The warning for an entry point's work that threw: out of memory, or an
// unexpected error.
void TellEntryFailure(EntryFailure failure);

// The host's input line, prefilled with `text`, with the host's history of
// destinations; the answer goes into `answer` (of `answer_size` letters).
// False for Esc. Without the service the prefilled text is the answer.
bool AskLine(const wchar_t *title, const wchar_t *question, const wchar_t *text, wchar_t *answer,
             size_t answer_size, const wchar_t *help_topic);

// The save dialog (as what, and where), titled `title`, `question` over the
// destination's line prefilled with `dest`; `trees` offers what whole
// folders become. The destination chosen, without blanks or quotes around
// it, living until the next call; null for Esc, Cancel or an empty one.
const wchar_t *AskDestination(const wchar_t *title, const wchar_t *question, const wchar_t *dest,
                              bool trees, const wchar_t *help_topic, SaveChoice *choice);

// A dialog's item in no host's record: the types and flags are the numbers
// both hosts give them. Each host adds its own to the destination's line
// (DialogEdit): its history, path completion and the focus.
const int DialogText = 0, DialogDoubleBox = 3, DialogEdit = 4, DialogButton = 7,
          DialogCheckBox = 8, DialogRadioButton = 9;
const unsigned DialogGroup = 0x400, DialogCenterGroup = 0x4000, DialogSeparator = 0x10000;
struct DialogLine {
  int Type;
  int X1, Y1, X2, Y2;
  const wchar_t *Text;
  unsigned Flags;
  bool Selected;       // a radio button's or check box's mark
  bool DefaultButton;  // the button Enter presses
};

// The host's dialog of `count` (at most 16) items, `width` by `height` and
// centred: the index of the item that closed it, or -1 for Esc (or no
// dialog service). `checked[i]` gets whether item i is checked (for radio
// buttons and check boxes; false for the rest) and `answer` (of
// `answer_size` letters) the text of item `edit`.
int RunDialog(int width, int height, const wchar_t *help_topic, const DialogLine *lines,
              int count, int edit, wchar_t *answer, size_t answer_size, bool *checked);

// Has the other panel read its directory again, so that it shows what a
// stopped save left there (after a stop the host shows it as it was).
void ShowOtherPanelChanges();

// The host's menu of `count` items, `current` highlighted and checked: the
// index chosen, or -1 for Esc (or no menu service).
int ChooseFromMenu(const wchar_t *title, const wchar_t *const *items, int count, int current,
                   const wchar_t *help_topic);

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
                    DI_EDIT == DialogEdit && DI_BUTTON == DialogButton &&                       \
                    DI_CHECKBOX == DialogCheckBox && DI_RADIOBUTTON == DialogRadioButton &&     \
                    DIF_GROUP == DialogGroup && DIF_CENTERGROUP == DialogCenterGroup &&         \
                    DIF_SEPARATOR == DialogSeparator,                                           \
                "the host's numbers are the shared layer's")
