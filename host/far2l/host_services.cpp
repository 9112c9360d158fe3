#include "host/far2l/host_services.h"

#include <cstring>
#include <cwchar>

using namespace far2l;

namespace {

// The record and its copy of the standard functions' table are the host's
// stack copies: both are kept here.
PluginStartupInfo Host;
bool HaveHost = false;

}  // namespace

void KeepHostServices(const PluginStartupInfo *info) {
  HaveHost = false;
  if (info == nullptr || info->StructSize != StartupInfoSize) return;
  memcpy(&Host, info, sizeof Host);
  // The table itself is never called: the pointer would outlive its stack.
  Host.FSF = nullptr;
  HaveHost = true;
}

const wchar_t *ModulePath() {
  return HaveHost && Host.ModuleName != nullptr ? Host.ModuleName : L"";
}

const wchar_t *TextOf(MessageId id) {
  if (!HaveHost || Host.GetMsg == nullptr) return L"";
  const wchar_t *text = Host.GetMsg(Host.ModuleNumber, int(id));
  return text != nullptr ? text : L"";
}

bool AskLine(const wchar_t *title, const wchar_t *question, const wchar_t *text, wchar_t *answer,
             size_t answer_size, const wchar_t *help_topic) {
  if (!HaveHost || Host.InputBox == nullptr) {
    const size_t length = wcsnlen(text, answer_size - 1);
    wmemcpy(answer, text, length);
    answer[length] = L'\0';
    return true;
  }
  const int room = answer_size < 4096 ? int(answer_size) : 4096;
  return Host.InputBox(title, question, L"VessorCopy", text, answer, room, help_topic,
                       FIB_BUTTONS | FIB_EDITPATH) != 0;
}

void ShowOtherPanelChanges() {
  if (!HaveHost || Host.Control == nullptr) return;
  Host.Control(PANEL_PASSIVE, FCTL_UPDATEPANEL, 1, 0);
  Host.Control(PANEL_PASSIVE, FCTL_REDRAWPANEL, 0, 0);
}

int RunDialog(int width, int height, const wchar_t *help_topic, const DialogLine *lines,
              int count, int edit, wchar_t *answer, size_t answer_size, bool *checked) {
  if (!HaveHost || Host.DialogInit == nullptr || Host.DialogRun == nullptr ||
      Host.DialogFree == nullptr || Host.SendDlgMessage == nullptr || count > 16)
    return -1;
  FarDialogItem items[16];
  memset(items, 0, sizeof items);
  for (int i = 0; i < count; ++i) {
    const DialogLine &line = lines[i];
    items[i].Type = line.Type;
    items[i].X1 = line.X1, items[i].Y1 = line.Y1, items[i].X2 = line.X2, items[i].Y2 = line.Y2;
    items[i].PtrData = line.Text;
    items[i].Flags = line.Flags;
    items[i].Param.Selected = line.Selected;
    items[i].DefaultButton = line.DefaultButton;
    if (line.Type == DI_EDIT) {
      // The history button takes the column after the line; one is left
      // before the frame.
      items[i].X2 -= 1;
      items[i].Flags |= DIF_HISTORY | DIF_EDITPATH;
      items[i].Param.History = L"VessorCopy";
      items[i].Focus = 1;
    }
  }
  HANDLE dialog = Host.DialogInit(Host.ModuleNumber, -1, -1, width, height, help_topic, items,
                                  unsigned(count), 0, 0, nullptr, 0);
  if (dialog == nullptr || dialog == INVALID_HANDLE_VALUE) return -1;
  int closed = Host.DialogRun(dialog);
  if (closed >= 0) {
    for (int i = 0; i < count; ++i)
      checked[i] = (items[i].Type == DI_CHECKBOX || items[i].Type == DI_RADIOBUTTON) &&
                   Host.SendDlgMessage(dialog, DM_GETCHECK, i, 0) == 1;
    const LONG_PTR length = Host.SendDlgMessage(dialog, DM_GETTEXTLENGTH, edit, 0);
    if (length >= 0 && size_t(length) < answer_size) {
      answer[0] = L'\0';
      Host.SendDlgMessage(dialog, DM_GETTEXTPTR, edit, LONG_PTR(answer));
      answer[length] = L'\0';
    } else {
      closed = -1;
    }
  }
  Host.DialogFree(dialog);
  return closed;
}

int ChooseFromMenu(const wchar_t *title, const wchar_t *const *items, int count, int current,
                   const wchar_t *help_topic) {
  if (!HaveHost || Host.Menu == nullptr || count > 16) return -1;
  FarMenuItem menu[16] = {};
  for (int i = 0; i < count; ++i) {
    menu[i].Text = items[i];
    menu[i].Selected = i == current;
    menu[i].Checked = i == current;
  }
  return Host.Menu(Host.ModuleNumber, -1, -1, 0, FMENU_WRAPMODE, title, nullptr, help_topic,
                   nullptr, nullptr, menu, count);
}

// Without the service a question's answer is No: the work goes on. With no
// button the host draws the box and returns at once.
int RunMessageBox(BoxKind kind, const wchar_t *const *items, size_t count,
                  const wchar_t *help_topic) {
  if (!HaveHost || Host.Message == nullptr || count > 9) return -1;
  const DWORD flags[] = {FMSG_WARNING | FMSG_MB_OK, FMSG_MB_OK | FMSG_LEFTALIGN,
                         FMSG_MB_OK | FMSG_LEFTALIGN | FMSG_WARNING, FMSG_LEFTALIGN,
                         FMSG_MB_YESNO | FMSG_WARNING};
  return Host.Message(Host.ModuleNumber, flags[kind], help_topic, items, int(count), 0);
}

HANDLE SaveHostScreen() {
  return HaveHost && Host.SaveScreen != nullptr ? Host.SaveScreen(0, 0, -1, -1) : nullptr;
}

void RestoreHostScreen(HANDLE screen) {
  if (HaveHost && Host.RestoreScreen != nullptr && screen != nullptr) Host.RestoreScreen(screen);
}

// far2l draws no taskbar progress for its plug-ins.
void SetTaskbarProgress(unsigned long long, unsigned long long) {}
