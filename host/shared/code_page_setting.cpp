#include "host/shared/code_page_setting.h"

#include <string>

#include "host/shared/host_texts.h"
#include "host/shared/panel_host.h"
#include "platform/system_facts.h"

namespace {

const char SettingName[] = "CodePage";

int CurrentChoice = 0;

}  // namespace

unsigned TextCodePage() { return CodePageChoices[CurrentChoice].CodePage; }

void LoadCodePageSetting() {
  unsigned long long kept = 0;
  CurrentChoice = DefaultCodePageChoice();
  if (!ReadNumberSetting(SettingName, &kept)) return;
  for (int i = 0; i < CodePageChoiceCount; ++i)
    if (CodePageChoices[i].CodePage == kept) CurrentChoice = i;
}

int ConfigureCodePage() {
  // The hosts' menus hold 16 items at most.
  const wchar_t *labels[16];
  const int count = CodePageChoiceCount < 16 ? CodePageChoiceCount : 16;
  for (int i = 0; i < count; ++i) labels[i] = TextOf(CodePageChoices[i].Label);
  const int chosen =
      ChooseFromMenu(TextOf(MCodePageMenuTitle), labels, count, CurrentChoice, HELP_CODE_PAGE);
  if (chosen < 0 || chosen >= count) return 0;
  CurrentChoice = chosen;
  ClearSystemError();
  if (!WriteNumberSetting(SettingName, CodePageChoices[chosen].CodePage)) {
    const std::wstring line = WithSystemReason(TextOf(MCannotKeepSetting), LastSystemError());
    ShowWarning(TextOf(MCodePageMenuTitle), line.c_str(), HELP_CODE_PAGE);
  }
  return 1;
}
