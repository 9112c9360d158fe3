#include "host/far3/code_page_setting.h"

#include "host/far3/host_services.h"
#include "platform/win_types.h"

namespace {

const wchar_t SettingName[] = L"CodePage";

struct CodePageChoice {
  unsigned CodePage;
  MessageId Label;
};

const CodePageChoice Choices[] = {
    {CP_OEMCP, MCodePageOem},   {CP_ACP, MCodePageAnsi},    {CP_UTF8, MCodePageUtf8},
    {437, MCodePage437},        {850, MCodePage850},        {866, MCodePage866},
    {1250, MCodePage1250},      {1251, MCodePage1251},      {1252, MCodePage1252},
};
const int ChoiceCount = int(sizeof Choices / sizeof Choices[0]);

int CurrentChoice = 0;

}  // namespace

unsigned TextCodePage() { return Choices[CurrentChoice].CodePage; }

const wchar_t *TextCodePageName() { return TextOf(Choices[CurrentChoice].Label); }

void LoadCodePageSetting() {
  unsigned long long kept = 0;
  CurrentChoice = 0;
  if (!ReadSetting(SettingName, &kept)) return;
  // A value this plug-in never wrote leaves the default.
  for (int i = 0; i < ChoiceCount; ++i)
    if (Choices[i].CodePage == kept) CurrentChoice = i;
}

intptr_t ConfigureCodePage() {
  const wchar_t *labels[ChoiceCount];
  for (int i = 0; i < ChoiceCount; ++i) labels[i] = TextOf(Choices[i].Label);
  const int chosen = ChooseFromMenu(CodePageMenuGuid, TextOf(MCodePageMenuTitle), labels,
                                    ChoiceCount, CurrentChoice, HELP_CODE_PAGE);
  if (chosen < 0) return 0;
  CurrentChoice = chosen;
  WriteSetting(SettingName, Choices[chosen].CodePage);
  return 1;
}
