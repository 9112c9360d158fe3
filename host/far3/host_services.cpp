#include "host/far3/host_services.h"

#include <cstring>
#include <cwchar>
#include <string>

using namespace far3;

namespace {

// The host's record as far as it reaches: the services past its end stay
// null.
PluginStartupInfo Host;

// The plug-in's part of the settings store; null when it cannot be had.
HANDLE OpenSettings() {
  if (Host.SettingsControl == nullptr) return nullptr;
  FarSettingsCreate create = {};
  create.StructSize = sizeof create;
  create.Guid = PluginGuid;
  if (!Host.SettingsControl(INVALID_HANDLE_VALUE, SCTL_CREATE, PSL_ROAMING, &create))
    return nullptr;
  return create.Handle;
}

// Reads (SCTL_GET) or writes (SCTL_SET) the number `name` names.
bool UseNumberSetting(const char *name, unsigned long long *value, int command) {
  HANDLE settings = OpenSettings();
  if (settings == nullptr) return false;
  const std::wstring wide(name, name + strlen(name));
  FarSettingsItem item;
  memset(&item, 0, sizeof item);
  item.StructSize = sizeof item;
  item.Root = FSSF_ROOT;
  item.Name = wide.c_str();
  item.Type = FST_QWORD;
  item.Number = command == SCTL_SET ? *value : 0;
  const bool done = Host.SettingsControl(settings, command, 0, &item) != 0;
  Host.SettingsControl(settings, SCTL_FREE, 0, nullptr);
  if (done) *value = item.Number;
  return done;
}

// The dialog running, for its procedure: one at a time.
const DialogForm *Running;

intptr_t WINAPI FollowClicks(HANDLE dialog, intptr_t message, intptr_t param1, void *param2) {
  bool enable = false;
  const int item = message == DN_BTNCLICK
                       ? EnablingAfterClick(*Running, int(param1), param2 != nullptr, &enable)
                       : -1;
  if (item >= 0) Host.SendDlgMessage(dialog, DM_ENABLE, item, reinterpret_cast<void *>(enable));
  return Host.DefDlgProc(dialog, message, param1, param2);
}

}  // namespace

void KeepHostServices(const PluginStartupInfo *info) {
  memset(&Host, 0, sizeof Host);
  // Every member is a pointer or size_t: whole ones only.
  const size_t size = info->StructSize < sizeof Host ? info->StructSize : sizeof Host;
  memcpy(&Host, info, size - size % sizeof(void *));
}

const wchar_t *TextOf(MessageId id) {
  const wchar_t *text = Host.GetMsg != nullptr ? Host.GetMsg(&PluginGuid, id) : nullptr;
  return text != nullptr ? text : L"";
}

int RunInputLine(const LineForm &line) {
  if (Host.InputBox == nullptr) return -1;
  line.Answer[0] = L'\0';
  return Host.InputBox(&PluginGuid, &LineGuid, line.Title, line.Question,
                       L"VessorFolderDestination", line.Text, line.Answer, line.AnswerSize,
                       line.HelpTopic,
                       FIB_BUTTONS | FIB_EDITPATH | FIB_EXPANDENV | FIB_NOUSELASTHISTORY) != 0;
}

// The plug-in's one menu is the code pages'.
int RunMenu(const MenuForm &menu) {
  if (Host.Menu == nullptr || menu.Count <= 0 || menu.Count > 16) return -1;
  FarMenuItem items[16];
  memset(items, 0, sizeof items);
  for (int i = 0; i < menu.Count; ++i) {
    items[i].Text = menu.Items[i];
    if (i == menu.Current) items[i].Flags = MIF_SELECTED | MIF_CHECKED;
  }
  const intptr_t chosen =
      Host.Menu(&PluginGuid, &CodePageMenuGuid, -1, -1, 0, FMENU_WRAPMODE, menu.Title, nullptr,
                menu.HelpTopic, nullptr, nullptr, items, size_t(menu.Count));
  return chosen >= 0 && chosen < menu.Count ? int(chosen) : -1;
}

// The save dialog, and the mail account's after it, under the save dialog's GUID.
int RunDialog(const DialogForm &dialog) {
  if (Host.DialogInit == nullptr || Host.DialogRun == nullptr || Host.DialogFree == nullptr ||
      Host.SendDlgMessage == nullptr || dialog.Count > 16)
    return -1;
  FarDialogItem items[16];
  memset(items, 0, sizeof items);
  PlaceDialogLines(dialog, items, [&](const DialogLine &line, int i) {
    items[i].Data = line.Text;
    items[i].Selected = line.Selected;
    items[i].Flags = line.Flags | (line.DefaultButton ? DIF_DEFAULTBUTTON : 0ULL);
    if (line.Type == DI_EDIT) {
      items[i].Flags |= DIF_HISTORY | (line.History == nullptr ? DIF_EDITPATH | DIF_EDITEXPAND : 0);
      items[i].History = line.History != nullptr ? line.History : L"VessorFolderDestination";
    }
    if (i == dialog.Edit) items[i].Flags |= DIF_FOCUS;
  });
  Running = &dialog;
  HANDLE handle = Host.DialogInit(&PluginGuid, &SaveDialogGuid, -1, -1, dialog.Width, dialog.Height,
                                  dialog.HelpTopic, items, size_t(dialog.Count), 0, FDLG_NONE,
                                  Host.DefDlgProc != nullptr ? FollowClicks : nullptr, nullptr);
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return -1;
  const intptr_t closed = Host.DialogRun(handle);
  ReadDialogChecks(dialog, [&](int i) {
    return Host.SendDlgMessage(handle, DM_GETCHECK, i, nullptr) == BSTATE_CHECKED;
  });
  ReadDialogTexts(dialog, [&](int i, std::wstring *text) {
    text->assign(DialogTextRoom, L'\0');
    FarDialogItemData data = {sizeof data, text->size() - 1, &(*text)[0]};
    const intptr_t length = Host.SendDlgMessage(handle, DM_GETTEXT, i, &data);
    text->resize(length > 0 && size_t(length) < text->size() ? size_t(length) : 0);
  });
  Host.DialogFree(handle);
  return int(closed);
}

// Without the service a question's answer is Yes: the work stops.
int RunMessageBox(const BoxForm &box) {
  if (Host.Message == nullptr) return 0;
  if (box.Count > (box.Kind == BoxWork ? 8u : 16u)) return -1;
  const unsigned long long flags[] = {FMSG_WARNING | FMSG_MB_OK, FMSG_MB_OK,
                                      FMSG_WARNING | FMSG_MB_OK, 0, FMSG_WARNING | FMSG_MB_YESNO};
  const GUID *guid = box.Kind == BoxWork       ? &WorkBoxGuid
                     : box.Kind == BoxQuestion ? &QuestionGuid
                                               : &WarningGuid;
  return int(
      Host.Message(&PluginGuid, guid, flags[box.Kind], box.HelpTopic, box.Items, box.Count, 0));
}

HANDLE SaveHostScreen() {
  return Host.SaveScreen != nullptr ? Host.SaveScreen(0, 0, -1, -1) : nullptr;
}

void RestoreHostScreen(HANDLE screen) {
  if (Host.RestoreScreen != nullptr && screen != nullptr) Host.RestoreScreen(screen);
}

void SetTaskbarProgress(unsigned long long done, unsigned long long total) {
  if (Host.AdvControl == nullptr) return;
  if (total == 0) {
    Host.AdvControl(&PluginGuid, ACTL_SETPROGRESSSTATE, TBPS_NOPROGRESS, nullptr);
    return;
  }
  Host.AdvControl(&PluginGuid, ACTL_SETPROGRESSSTATE, TBPS_NORMAL, nullptr);
  ProgressValue value = {sizeof value, done, total};
  Host.AdvControl(&PluginGuid, ACTL_SETPROGRESSVALUE, 0, &value);
}

intptr_t ControlPanel(HANDLE panel, int command, intptr_t param1, void *param2) {
  return Host.PanelControl != nullptr ? Host.PanelControl(panel, command, param1, param2) : 0;
}

void ShowOtherPanelChanges() {
  ControlPanel(PANEL_PASSIVE, FCTL_UPDATEPANEL, 1, nullptr);
  ControlPanel(PANEL_PASSIVE, FCTL_REDRAWPANEL, 0, nullptr);
}

// The names are ASCII: widened letter by letter.
bool ReadNumberSetting(const char *name, unsigned long long *value) {
  return UseNumberSetting(name, value, SCTL_GET);
}

bool WriteNumberSetting(const char *name, unsigned long long value) {
  return UseNumberSetting(name, &value, SCTL_SET);
}
