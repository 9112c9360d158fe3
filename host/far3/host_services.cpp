#include "host/far3/host_services.h"

#include <cstring>
#include <cwchar>

using namespace far3;

// {E8310DD8-9ADB-4BD7-9E76-C9AB7B6FF4A8}
const GUID PluginGuid = {
    0xe8310dd8, 0x9adb, 0x4bd7, {0x9e, 0x76, 0xc9, 0xab, 0x7b, 0x6f, 0xf4, 0xa8}};

namespace {

// {60685C44-6C0D-4BE3-8FEE-B99F8DF1A899}
const GUID WarningGuid = {
    0x60685c44, 0x6c0d, 0x4be3, {0x8f, 0xee, 0xb9, 0x9f, 0x8d, 0xf1, 0xa8, 0x99}};
// {D953FB63-4BDF-4D61-9650-D6DA8E0CCF06}
const GUID LineGuid = {
    0xd953fb63, 0x4bdf, 0x4d61, {0x96, 0x50, 0xd6, 0xda, 0x8e, 0x0c, 0xcf, 0x06}};

FARAPIMESSAGE HostMessage;
FARAPIMENU HostMenu;
FARAPIINPUTBOX HostInputBox;
FARAPISETTINGSCONTROL HostSettings;

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
  HostInputBox = Reaches(info, info->InputBox) ? info->InputBox : nullptr;
  HostSettings = Reaches(info, info->SettingsControl) ? info->SettingsControl : nullptr;
}

bool ShowWarning(const wchar_t *title, const wchar_t *line) {
  if (HostMessage == nullptr) return false;
  const wchar_t *items[] = {title, line};
  return HostMessage(&PluginGuid, &WarningGuid, FMSG_WARNING | FMSG_MB_OK, nullptr, items, 2, 0) ==
         -1;
}

bool AskLine(const wchar_t *title, const wchar_t *question, const wchar_t *history,
             const wchar_t *text, wchar_t *answer, size_t answer_size) {
  if (HostInputBox == nullptr) {
    const size_t length = wcsnlen(text, answer_size - 1);
    wmemcpy(answer, text, length);
    answer[length] = L'\0';
    return true;
  }
  answer[0] = L'\0';
  return HostInputBox(&PluginGuid, &LineGuid, title, question, history, text, answer, answer_size,
                      nullptr,
                      FIB_BUTTONS | FIB_EDITPATH | FIB_EXPANDENV | FIB_NOUSELASTHISTORY) != 0;
}

int ChooseFromMenu(const GUID &id, const wchar_t *title, const wchar_t *const *items, int count,
                   int current) {
  if (HostMenu == nullptr || count <= 0 || count > 16) return -1;
  FarMenuItem menu[16];
  memset(menu, 0, sizeof menu);
  for (int i = 0; i < count; ++i) {
    menu[i].Text = items[i];
    if (i == current) menu[i].Flags = MIF_SELECTED | MIF_CHECKED;
  }
  const intptr_t chosen = HostMenu(&PluginGuid, &id, -1, -1, 0, FMENU_WRAPMODE, title, nullptr,
                                   nullptr, nullptr, nullptr, menu, size_t(count));
  return chosen >= 0 && chosen < count ? int(chosen) : -1;
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
