// The code pages far2l's menu offers. Linux has no system ANSI or OEM code
// page: the default is the OEM code page a Windows machine of the user's
// language has (866 for Russian, Ukrainian and Belarusian, else 437).
#include "host/shared/code_page_setting.h"

#include "platform/wide_text.h"

const CodePageChoice CodePageChoices[] = {
    {866, MCodePage866},   {1251, MCodePage1251}, {1252, MCodePage1252}, {437, MCodePage437},
    {850, MCodePage850},   {1250, MCodePage1250}, {65001, MCodePageUtf8},
};
const int CodePageChoiceCount = int(sizeof CodePageChoices / sizeof CodePageChoices[0]);

int DefaultCodePageChoice() {
  for (int i = 0; i < CodePageChoiceCount; ++i)
    if (CodePageChoices[i].CodePage == LocaleOemCodePage()) return i;
  return 0;
}
