#include "host/far3/host_services.h"

#include <cstring>
#include <cwchar>
#include <string>

using namespace far3;

namespace {

FARAPIMESSAGE HostMessage;
FARAPIGETMSG HostGetMsg;
FARAPIMENU HostMenu;
FARAPIINPUTBOX HostInputBox;
FARAPISETTINGSCONTROL HostSettings;
FARAPIDIALOGINIT HostDialogInit;
FARAPIDIALOGRUN HostDialogRun;
FARAPIDIALOGFREE HostDialogFree;
FARAPISENDDLGMESSAGE HostSendDlgMessage;
FARAPIADVCONTROL HostAdvControl;
FARAPIPANELCONTROL HostPanelControl;
FARAPISAVESCREEN HostSaveScreen;
FARAPIRESTORESCREEN HostRestoreScreen;

// The plug-in's part of the settings store; null when it cannot be had.
HANDLE OpenSettings() {
  if (HostSettings == nullptr) return nullptr;
  FarSettingsCreate create = {};
  create.StructSize = sizeof create;
  create.Guid = PluginGuid;
  if (!HostSettings(INVALID_HANDLE_VALUE, SCTL_CREATE, PSL_ROAMING, &create)) return nullptr;
  return create.Handle;
}

FarSettingsItem NumberItem(const wchar_t *name, unsigned long long value) {
  FarSettingsItem item;
  memset(&item, 0, sizeof item);
  item.StructSize = sizeof item;
  item.Root = FSSF_ROOT;
  item.Name = name;
  item.Type = FST_QWORD;
  item.Number = value;
  return item;
}

}  // namespace

void KeepHostServices(const PluginStartupInfo *info) {
  HostMenu = Reaches(info, info->Menu) ? info->Menu : nullptr;
  HostMessage = Reaches(info, info->Message) ? info->Message : nullptr;
  HostGetMsg = Reaches(info, info->GetMsg) ? info->GetMsg : nullptr;
  HostInputBox = Reaches(info, info->InputBox) ? info->InputBox : nullptr;
  HostSettings = Reaches(info, info->SettingsControl) ? info->SettingsControl : nullptr;
  HostDialogInit = Reaches(info, info->DialogInit) ? info->DialogInit : nullptr;
  HostDialogRun = Reaches(info, info->DialogRun) ? info->DialogRun : nullptr;
  HostDialogFree = Reaches(info, info->DialogFree) ? info->DialogFree : nullptr;
  HostSendDlgMessage = Reaches(info, info->SendDlgMessage) ? info->SendDlgMessage : nullptr;
  HostAdvControl = Reaches(info, info->AdvControl) ? info->AdvControl : nullptr;
  HostPanelControl = Reaches(info, info->PanelControl) ? info->PanelControl : nullptr;
  HostSaveScreen = Reaches(info, info->SaveScreen) ? info->SaveScreen : nullptr;
  HostRestoreScreen = Reaches(info, info->RestoreScreen) ? info->RestoreScreen : nullptr;
}

const wchar_t *TextOf(MessageId id) {
  const wchar_t *text = HostGetMsg != nullptr ? HostGetMsg(&PluginGuid, id) : nullptr;
  return text != nullptr ? text : L"";
}

void ShowWarning(const wchar_t *title, const wchar_t *line, const wchar_t *help_topic) {
  if (HostMessage == nullptr) return;
  const wchar_t *items[] = {title, line};
  HostMessage(&PluginGuid, &WarningGuid, FMSG_WARNING | FMSG_MB_OK, help_topic, items, 2, 0);
}

bool AskLine(const wchar_t *title, const wchar_t *question, const wchar_t *text, wchar_t *answer,
             size_t answer_size, const wchar_t *help_topic) {
  if (HostInputBox == nullptr) {
    const size_t length = wcsnlen(text, answer_size - 1);
    wmemcpy(answer, text, length);
    answer[length] = L'\0';
    return true;
  }
  answer[0] = L'\0';
  return HostInputBox(&PluginGuid, &LineGuid, title, question, L"VessorFolderDestination", text,
                      answer, answer_size,
                      help_topic,
                      FIB_BUTTONS | FIB_EDITPATH | FIB_EXPANDENV | FIB_NOUSELASTHISTORY) != 0;
}

// The plug-in's one menu is the code pages'.
int ChooseFromMenu(const wchar_t *title, const wchar_t *const *items, int count, int current,
                   const wchar_t *help_topic) {
  if (HostMenu == nullptr || count <= 0 || count > 16) return -1;
  FarMenuItem menu[16];
  memset(menu, 0, sizeof menu);
  for (int i = 0; i < count; ++i) {
    menu[i].Text = items[i];
    if (i == current) menu[i].Flags = MIF_SELECTED | MIF_CHECKED;
  }
  const intptr_t chosen = HostMenu(&PluginGuid, &CodePageMenuGuid, -1, -1, 0, FMENU_WRAPMODE,
                                   title, nullptr, help_topic, nullptr, nullptr, menu,
                                   size_t(count));
  return chosen >= 0 && chosen < count ? int(chosen) : -1;
}

// The plug-in's one dialog is the save dialog.
int RunDialog(int width, int height, const wchar_t *help_topic, const DialogLine *lines,
              int count, int edit, wchar_t *answer, size_t answer_size, bool *checked) {
  if (HostDialogInit == nullptr || HostDialogRun == nullptr || HostDialogFree == nullptr ||
      HostSendDlgMessage == nullptr || count > 16 || answer_size == 0)
    return -1;
  FarDialogItem items[16];
  memset(items, 0, sizeof items);
  for (int i = 0; i < count; ++i) {
    const DialogLine &line = lines[i];
    items[i].Type = line.Type;
    items[i].X1 = line.X1, items[i].Y1 = line.Y1, items[i].X2 = line.X2, items[i].Y2 = line.Y2;
    items[i].Data = line.Text;
    items[i].Selected = line.Selected;
    items[i].Flags = line.Flags | (line.DefaultButton ? DIF_DEFAULTBUTTON : 0ULL);
    if (line.Type == DI_EDIT) {
      items[i].Flags |= DIF_HISTORY | DIF_EDITPATH | DIF_EDITEXPAND | DIF_FOCUS;
      items[i].History = L"VessorFolderDestination";
    }
  }
  HANDLE dialog = HostDialogInit(&PluginGuid, &SaveDialogGuid, -1, -1, width, height, help_topic,
                                 items, size_t(count), 0, FDLG_NONE, nullptr, nullptr);
  if (dialog == nullptr || dialog == INVALID_HANDLE_VALUE) return -1;
  const intptr_t closed = HostDialogRun(dialog);
  for (int i = 0; i < count; ++i)
    checked[i] = (items[i].Type == DI_CHECKBOX || items[i].Type == DI_RADIOBUTTON) &&
                 HostSendDlgMessage(dialog, DM_GETCHECK, i, nullptr) == BSTATE_CHECKED;
  answer[0] = L'\0';
  FarDialogItemData data = {sizeof data, answer_size - 1, answer};
  const intptr_t length = HostSendDlgMessage(dialog, DM_GETTEXT, edit, &data);
  answer[length >= 0 && size_t(length) < answer_size ? size_t(length) : answer_size - 1] = L'\0';
  HostDialogFree(dialog);
  return int(closed);
}

void ShowWorkBox(const wchar_t *title, const wchar_t *const *lines, size_t count) {
  if (HostMessage == nullptr || count > 7) return;
  const wchar_t *items[8] = {title};
  for (size_t i = 0; i < count; ++i) items[i + 1] = lines[i];
  HostMessage(&PluginGuid, &WorkBoxGuid, 0, nullptr, items, count + 1, 0);
}

void ShowLines(const wchar_t *title, const wchar_t *const *lines, size_t count, bool warning,
               const wchar_t *help_topic) {
  if (HostMessage == nullptr || count > 15) return;
  const wchar_t *items[16] = {title};
  for (size_t i = 0; i < count; ++i) items[i + 1] = lines[i];
  HostMessage(&PluginGuid, &WarningGuid, (warning ? FMSG_WARNING : 0ULL) | FMSG_MB_OK, help_topic,
              items, count + 1, 0);
}

bool AskYesNo(const wchar_t *title, const wchar_t *line, const wchar_t *help_topic) {
  if (HostMessage == nullptr) return true;
  const wchar_t *items[] = {title, line};
  return HostMessage(&PluginGuid, &QuestionGuid, FMSG_WARNING | FMSG_MB_YESNO, help_topic, items,
                     2, 0) == 0;
}

HANDLE SaveHostScreen() {
  return HostSaveScreen != nullptr ? HostSaveScreen(0, 0, -1, -1) : nullptr;
}

void RestoreHostScreen(HANDLE screen) {
  if (HostRestoreScreen != nullptr && screen != nullptr) HostRestoreScreen(screen);
}

void SetTaskbarProgress(unsigned long long done, unsigned long long total) {
  if (HostAdvControl == nullptr) return;
  if (total == 0) {
    HostAdvControl(&PluginGuid, ACTL_SETPROGRESSSTATE, TBPS_NOPROGRESS, nullptr);
    return;
  }
  HostAdvControl(&PluginGuid, ACTL_SETPROGRESSSTATE, TBPS_NORMAL, nullptr);
  ProgressValue value = {sizeof value, done, total};
  HostAdvControl(&PluginGuid, ACTL_SETPROGRESSVALUE, 0, &value);
}

intptr_t ControlPanel(HANDLE panel, int command, intptr_t param1, void *param2) {
  return HostPanelControl != nullptr ? HostPanelControl(panel, command, param1, param2) : 0;
}

void ShowOtherPanelChanges() {
  ControlPanel(PANEL_PASSIVE, FCTL_UPDATEPANEL, 1, nullptr);
  ControlPanel(PANEL_PASSIVE, FCTL_REDRAWPANEL, 0, nullptr);
}

// The names are ASCII: widened letter by letter.
bool ReadNumberSetting(const char *name, unsigned long long *value) {
  HANDLE settings = OpenSettings();
  if (settings == nullptr) return false;
  const std::wstring wide(name, name + strlen(name));
  FarSettingsItem item = NumberItem(wide.c_str(), 0);
  const bool found = HostSettings(settings, SCTL_GET, 0, &item) != 0;
  HostSettings(settings, SCTL_FREE, 0, nullptr);
  if (found) *value = item.Number;
  return found;
}

bool WriteNumberSetting(const char *name, unsigned long long value) {
  HANDLE settings = OpenSettings();
  if (settings == nullptr) return false;
  const std::wstring wide(name, name + strlen(name));
  FarSettingsItem item = NumberItem(wide.c_str(), value);
  const bool written = HostSettings(settings, SCTL_SET, 0, &item) != 0;
  HostSettings(settings, SCTL_FREE, 0, nullptr);
  return written;
}
