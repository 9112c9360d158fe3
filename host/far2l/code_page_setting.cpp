// The code pages far2l's menu offers: each folder's own first (the
// default), then the fixed ones.
#include "host/shared/code_page_setting.h"

const CodePageChoice CodePageChoices[] = {
    {CodePageFromFolder, MCodePageAuto},
    {866, MCodePage866},   {1251, MCodePage1251}, {1252, MCodePage1252}, {437, MCodePage437},
    {850, MCodePage850},   {1250, MCodePage1250}, {65001, MCodePageUtf8},
};
const int CodePageChoiceCount = int(sizeof CodePageChoices / sizeof CodePageChoices[0]);

int DefaultCodePageChoice() { return 0; }
