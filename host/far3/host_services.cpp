#include "host/far3/host_services.h"

#include <cstring>
#include <cwchar>

using namespace far3;

namespace {

FARAPIMESSAGE HostMessage;
FARAPIGETMSG HostGetMsg;
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
  HostGetMsg = Reaches(info, info->GetMsg) ? info->GetMsg : nullptr;
  HostInputBox = Reaches(info, info->InputBox) ? info->InputBox : nullptr;
  HostSettings = Reaches(info, info->SettingsControl) ? info->SettingsControl : nullptr;
}

const wchar_t *TextOf(MessageId id) {
  const wchar_t *text = HostGetMsg != nullptr ? HostGetMsg(&PluginGuid, id) : nullptr;
  return text != nullptr ? text : L"";
}

const wchar_t *CountedNoun(MessageId one, unsigned long long count) {
  const unsigned long long last = count % 10, last_two = count % 100;
  int form = 3;
  if (count == 1)
    form = 0;
  else if (last == 1 && last_two != 11)
    form = 1;
  else if (last >= 2 && last <= 4 && (last_two < 12 || last_two > 14))
    form = 2;
  return TextOf(MessageId(one + form));
}

bool ShowWarning(const wchar_t *title, const wchar_t *line, const wchar_t *help_topic) {
  if (HostMessage == nullptr) return false;
  const wchar_t *items[] = {title, line};
  return HostMessage(&PluginGuid, &WarningGuid, FMSG_WARNING | FMSG_MB_OK, help_topic, items, 2,
                     0) == -1;
}

bool AskLine(const wchar_t *title, const wchar_t *question, const wchar_t *history,
             const wchar_t *text, wchar_t *answer, size_t answer_size,
             const wchar_t *help_topic) {
  if (HostInputBox == nullptr) {
    const size_t length = wcsnlen(text, answer_size - 1);
    wmemcpy(answer, text, length);
    answer[length] = L'\0';
    return true;
  }
  answer[0] = L'\0';
  return HostInputBox(&PluginGuid, &LineGuid, title, question, history, text, answer, answer_size,
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
