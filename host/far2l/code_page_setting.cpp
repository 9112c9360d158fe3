#include "host/far2l/code_page_setting.h"

#include "host/far2l/config_file.h"
#include "host/far2l/host_services.h"
#include "platform/wide_text.h"

namespace {

const char SettingName[] = "CodePage";

struct CodePageChoice {
  unsigned CodePage;
  MessageId Label;
};

const CodePageChoice Choices[] = {
    {866, MCodePage866},   {1251, MCodePage1251}, {1252, MCodePage1252}, {437, MCodePage437},
    {850, MCodePage850},   {1250, MCodePage1250}, {65001, MCodePageUtf8},
};
const int ChoiceCount = int(sizeof Choices / sizeof Choices[0]);

int CurrentChoice = 0;

// The choice of a code page by its number; the first when none has it.
int ChoiceOf(unsigned long code_page) {
  for (int i = 0; i < ChoiceCount; ++i)
    if (Choices[i].CodePage == code_page) return i;
  return 0;
}

}  // namespace

unsigned TextCodePage() { return Choices[CurrentChoice].CodePage; }

const wchar_t *TextCodePageName() { return TextOf(Choices[CurrentChoice].Label); }

void LoadCodePageSetting() {
  unsigned long kept = 0;
  CurrentChoice = ChoiceOf(LocaleOemCodePage());
  if (!ReadConfigNumber(SettingName, &kept)) return;
  // A value this plug-in never wrote leaves the default.
  for (int i = 0; i < ChoiceCount; ++i)
    if (Choices[i].CodePage == kept) CurrentChoice = i;
}

int ConfigureCodePage() {
  const wchar_t *labels[ChoiceCount];
  for (int i = 0; i < ChoiceCount; ++i) labels[i] = TextOf(Choices[i].Label);
  const int chosen = ChooseFromMenu(TextOf(MCodePageMenuTitle), labels, ChoiceCount,
                                    CurrentChoice, HELP_CODE_PAGE);
  if (chosen < 0 || chosen >= ChoiceCount) return 0;
  CurrentChoice = chosen;
  WriteConfigNumber(SettingName, Choices[chosen].CodePage);
  return 1;
}
