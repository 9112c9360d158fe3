#include "host/far2l/host_services.h"

#include <cstring>
#include <cwchar>

using namespace far2l;

namespace {

// The record and its copy of the standard functions' table are the host's
// stack copies: both are kept here.
PluginStartupInfo Host;
bool HaveHost = false;

// The dialog running, for its procedure: one at a time.
const DialogForm *Running;

LONG_PTR WINAPI FollowClicks(HANDLE dialog, int message, int param1, LONG_PTR param2) {
  bool enable = false;
  const int item =
      message == DN_BTNCLICK ? EnablingAfterClick(*Running, param1, param2 != 0, &enable) : -1;
  if (item >= 0) Host.SendDlgMessage(dialog, DM_ENABLE, item, enable);
  return Host.DefDlgProc(dialog, message, param1, param2);
}

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

int RunInputLine(const LineForm &line) {
  if (!HaveHost || Host.InputBox == nullptr) return -1;
  const int room = line.AnswerSize < 4096 ? int(line.AnswerSize) : 4096;
  return Host.InputBox(line.Title, line.Question, L"VessorCopy", line.Text, line.Answer, room,
                       line.HelpTopic, FIB_BUTTONS | FIB_EDITPATH) != 0;
}

void ShowOtherPanelChanges() {
  if (!HaveHost || Host.Control == nullptr) return;
  Host.Control(PANEL_PASSIVE, FCTL_UPDATEPANEL, 1, 0);
  Host.Control(PANEL_PASSIVE, FCTL_REDRAWPANEL, 0, 0);
}

int RunDialog(const DialogForm &dialog) {
  if (!HaveHost || Host.DialogInit == nullptr || Host.DialogRun == nullptr ||
      Host.DialogFree == nullptr || Host.SendDlgMessage == nullptr || dialog.Count > 16)
    return -1;
  FarDialogItem items[16];
  memset(items, 0, sizeof items);
  PlaceDialogLines(dialog, items, [&](const DialogLine &line, int i) {
    items[i].PtrData = line.Text;
    items[i].Flags = line.Flags;
    items[i].Param.Selected = line.Selected;
    items[i].DefaultButton = line.DefaultButton;
    if (line.Type == DI_EDIT) {
      // The history button takes the column after the line; one is left
      // before the frame.
      items[i].X2 -= 1;
      items[i].Flags |= DIF_HISTORY | (line.History == nullptr ? DWORD(DIF_EDITPATH) : DWORD(0));
      items[i].Param.History = line.History != nullptr ? line.History : L"VessorCopy";
    }
    items[i].Focus = i == dialog.Edit;
  });
  Running = &dialog;
  HANDLE handle = Host.DialogInit(Host.ModuleNumber, -1, -1, dialog.Width, dialog.Height,
                                  dialog.HelpTopic, items, unsigned(dialog.Count), 0, 0,
                                  Host.DefDlgProc != nullptr ? FollowClicks : nullptr, 0);
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return -1;
  const int closed = Host.DialogRun(handle);
  if (closed >= 0) {
    ReadDialogChecks(dialog,
                     [&](int i) { return Host.SendDlgMessage(handle, DM_GETCHECK, i, 0) == 1; });
    ReadDialogTexts(dialog, [&](int i, std::wstring *text) {
      const LONG_PTR length = Host.SendDlgMessage(handle, DM_GETTEXTLENGTH, i, 0);
      // A text longer than the room is taken as none.
      if (length <= 0 || size_t(length) >= DialogTextRoom) return text->clear();
      text->assign(size_t(length) + 1, L'\0');
      Host.SendDlgMessage(handle, DM_GETTEXTPTR, i, LONG_PTR(&(*text)[0]));
      text->resize(size_t(length));
    });
  }
  Host.DialogFree(handle);
  return closed;
}

int RunMenu(const MenuForm &menu) {
  if (!HaveHost || Host.Menu == nullptr || menu.Count > 16) return -1;
  FarMenuItem items[16] = {};
  for (int i = 0; i < menu.Count; ++i) {
    items[i].Text = menu.Items[i];
    items[i].Selected = i == menu.Current;
    items[i].Checked = i == menu.Current;
  }
  return Host.Menu(Host.ModuleNumber, -1, -1, 0, FMENU_WRAPMODE, menu.Title, nullptr,
                   menu.HelpTopic, nullptr, nullptr, items, menu.Count);
}

// Without the service a question's answer is No: the work goes on. With no
// button the host draws the box and returns at once.
int RunMessageBox(const BoxForm &box) {
  if (!HaveHost || Host.Message == nullptr || box.Count > 9) return -1;
  const DWORD flags[] = {FMSG_WARNING | FMSG_MB_OK, FMSG_MB_OK | FMSG_LEFTALIGN,
                         FMSG_MB_OK | FMSG_LEFTALIGN | FMSG_WARNING, FMSG_LEFTALIGN,
                         FMSG_MB_YESNO | FMSG_WARNING};
  return Host.Message(Host.ModuleNumber, flags[box.Kind], box.HelpTopic, box.Items, int(box.Count),
                      0);
}

HANDLE SaveHostScreen() {
  return HaveHost && Host.SaveScreen != nullptr ? Host.SaveScreen(0, 0, -1, -1) : nullptr;
}

void RestoreHostScreen(HANDLE screen) {
  if (HaveHost && Host.RestoreScreen != nullptr && screen != nullptr) Host.RestoreScreen(screen);
}

// far2l draws no taskbar progress for its plug-ins.
void SetTaskbarProgress(unsigned long long, unsigned long long) {}
