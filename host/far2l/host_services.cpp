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

void ShowWarning(const wchar_t *title, const wchar_t *line, const wchar_t *help_topic) {
  if (!HaveHost || Host.Message == nullptr) return;
  const wchar_t *items[] = {title, line};
  Host.Message(Host.ModuleNumber, FMSG_WARNING | FMSG_MB_OK, help_topic, items, 2, 0);
}

bool AskLine(const wchar_t *title, const wchar_t *question, const wchar_t *text, wchar_t *answer,
             int answer_size, const wchar_t *help_topic) {
  if (!HaveHost || Host.InputBox == nullptr) {
    const size_t length = wcsnlen(text, size_t(answer_size) - 1);
    wmemcpy(answer, text, length);
    answer[length] = L'\0';
    return true;
  }
  return Host.InputBox(title, question, L"VessorCopy", text, answer, answer_size, help_topic,
                       FIB_BUTTONS | FIB_EDITPATH) != 0;
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
