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
  if (!Host.SettingsControl(INVALID_HANDLE_VALUE, SCTL_CREATE, PSL_ROAMING, &create)) return nullptr;
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

bool AskLine(const wchar_t *title, const wchar_t *question, const wchar_t *text, wchar_t *answer,
             size_t answer_size, const wchar_t *help_topic) {
  if (Host.InputBox == nullptr) {
    const size_t length = wcsnlen(text, answer_size - 1);
    wmemcpy(answer, text, length);
    answer[length] = L'\0';
    return true;
  }
  answer[0] = L'\0';
  return Host.InputBox(&PluginGuid, &LineGuid, title, question, L"VessorFolderDestination", text,
                      answer, answer_size,
                      help_topic,
                      FIB_BUTTONS | FIB_EDITPATH | FIB_EXPANDENV | FIB_NOUSELASTHISTORY) != 0;
}

// The plug-in's one menu is the code pages'.
int ChooseFromMenu(const wchar_t *title, const wchar_t *const *items, int count, int current,
                   const wchar_t *help_topic) {
  if (Host.Menu == nullptr || count <= 0 || count > 16) return -1;
  FarMenuItem menu[16];
  memset(menu, 0, sizeof menu);
  for (int i = 0; i < count; ++i) {
    menu[i].Text = items[i];
    if (i == current) menu[i].Flags = MIF_SELECTED | MIF_CHECKED;
  }
  const intptr_t chosen = Host.Menu(&PluginGuid, &CodePageMenuGuid, -1, -1, 0, FMENU_WRAPMODE,
                                   title, nullptr, help_topic, nullptr, nullptr, menu,
                                   size_t(count));
  return chosen >= 0 && chosen < count ? int(chosen) : -1;
}

// The plug-in's one dialog is the save dialog.
int RunDialog(int width, int height, const wchar_t *help_topic, const DialogLine *lines,
              int count, int edit, wchar_t *answer, size_t answer_size, bool *checked) {
  if (Host.DialogInit == nullptr || Host.DialogRun == nullptr || Host.DialogFree == nullptr ||
      Host.SendDlgMessage == nullptr || count > 16 || answer_size == 0)
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
  HANDLE dialog = Host.DialogInit(&PluginGuid, &SaveDialogGuid, -1, -1, width, height, help_topic,
                                 items, size_t(count), 0, FDLG_NONE, nullptr, nullptr);
  if (dialog == nullptr || dialog == INVALID_HANDLE_VALUE) return -1;
  const intptr_t closed = Host.DialogRun(dialog);
  for (int i = 0; i < count; ++i)
    checked[i] = (items[i].Type == DI_CHECKBOX || items[i].Type == DI_RADIOBUTTON) &&
                 Host.SendDlgMessage(dialog, DM_GETCHECK, i, nullptr) == BSTATE_CHECKED;
  answer[0] = L'\0';
  FarDialogItemData data = {sizeof data, answer_size - 1, answer};
  const intptr_t length = Host.SendDlgMessage(dialog, DM_GETTEXT, edit, &data);
  answer[length >= 0 && size_t(length) < answer_size ? size_t(length) : answer_size - 1] = L'\0';
  Host.DialogFree(dialog);
  return int(closed);
}

// Without the service a question's answer is Yes: the work stops.
int RunMessageBox(BoxKind kind, const wchar_t *const *items, size_t count,
                  const wchar_t *help_topic) {
  if (Host.Message == nullptr) return 0;
  if (count > (kind == BoxWork ? 8u : 16u)) return -1;
  const unsigned long long flags[] = {FMSG_WARNING | FMSG_MB_OK, FMSG_MB_OK,
                                      FMSG_WARNING | FMSG_MB_OK, 0, FMSG_WARNING | FMSG_MB_YESNO};
  const GUID *guid = kind == BoxWork ? &WorkBoxGuid : kind == BoxQuestion ? &QuestionGuid : &WarningGuid;
  return int(Host.Message(&PluginGuid, guid, flags[kind], help_topic, items, count, 0));
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
