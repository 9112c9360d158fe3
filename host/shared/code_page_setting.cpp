#include "host/shared/code_page_setting.h"

#include "host/shared/host_texts.h"
#include "host/shared/panel_host.h"

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
  WriteNumberSetting(SettingName, CodePageChoices[chosen].CodePage);
  return 1;
}
