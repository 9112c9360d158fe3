#include "host/far3/host_services.h"

#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "platform/wide_text.h"

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

int ChooseFromMenu(const GUID &id, const wchar_t *title, const wchar_t *const *items, int count,
                   int current, const wchar_t *help_topic) {
  if (HostMenu == nullptr || count <= 0 || count > 16) return -1;
  FarMenuItem menu[16];
  memset(menu, 0, sizeof menu);
  for (int i = 0; i < count; ++i) {
    menu[i].Text = items[i];
    if (i == current) menu[i].Flags = MIF_SELECTED | MIF_CHECKED;
  }
  const intptr_t chosen = HostMenu(&PluginGuid, &id, -1, -1, 0, FMENU_WRAPMODE, title, nullptr,
                                   help_topic, nullptr, nullptr, menu, size_t(count));
  return chosen >= 0 && chosen < count ? int(chosen) : -1;
}

// The plug-in's one menu is the code pages'.
int ChooseFromMenu(const wchar_t *title, const wchar_t *const *items, int count, int current,
                   const wchar_t *help_topic) {
  return ChooseFromMenu(CodePageMenuGuid, title, items, count, current, help_topic);
}

intptr_t RunDialog(const GUID &id, intptr_t width, intptr_t height, const wchar_t *help_topic,
                   FarDialogItem *items, size_t count, size_t text_item, wchar_t *text,
                   size_t text_size) {
  if (HostDialogInit == nullptr || HostDialogRun == nullptr || HostDialogFree == nullptr ||
      HostSendDlgMessage == nullptr)
    return -1;
  HANDLE dialog = HostDialogInit(&PluginGuid, &id, -1, -1, width, height, help_topic, items,
                                 count, 0, FDLG_NONE, nullptr, nullptr);
  if (dialog == nullptr || dialog == INVALID_HANDLE_VALUE) return -1;
  const intptr_t closed = HostDialogRun(dialog);
  for (size_t i = 0; i < count; ++i)
    if (items[i].Type == DI_CHECKBOX || items[i].Type == DI_RADIOBUTTON)
      items[i].Selected = HostSendDlgMessage(dialog, DM_GETCHECK, intptr_t(i), nullptr);
  if (text_size > 0) {
    text[0] = L'\0';
    FarDialogItemData data = {sizeof data, text_size - 1, text};
    const intptr_t length = HostSendDlgMessage(dialog, DM_GETTEXT, intptr_t(text_item), &data);
    text[length >= 0 && size_t(length) < text_size ? size_t(length) : text_size - 1] = L'\0';
  }
  HostDialogFree(dialog);
  return closed;
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

bool ReadSetting(const wchar_t *name, unsigned long long *value) {
  HANDLE settings = OpenSettings();
  if (settings == nullptr) return false;
  FarSettingsItem item = NumberItem(name, 0);
  const bool found = HostSettings(settings, SCTL_GET, 0, &item) != 0;
  HostSettings(settings, SCTL_FREE, 0, nullptr);
  if (found) *value = item.Number;
  return found;
}

bool WriteSetting(const wchar_t *name, unsigned long long value) {
  HANDLE settings = OpenSettings();
  if (settings == nullptr) return false;
  FarSettingsItem item = NumberItem(name, value);
  const bool written = HostSettings(settings, SCTL_SET, 0, &item) != 0;
  HostSettings(settings, SCTL_FREE, 0, nullptr);
  return written;
}

bool ReadNumberSetting(const char *name, unsigned long long *value) {
  wchar_t *wide = WideFromUtf8(name);
  const bool found = wide != nullptr && ReadSetting(wide, value);
  free(wide);
  return found;
}

bool WriteNumberSetting(const char *name, unsigned long long value) {
  wchar_t *wide = WideFromUtf8(name);
  const bool written = wide != nullptr && WriteSetting(wide, value);
  free(wide);
  return written;
}
