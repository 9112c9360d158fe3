// The code pages the native host's menu offers: each folder's own first
// (the default), then the system's OEM code page, which the old interface's
// texts were shown in, and its ANSI one.
#include "host/shared/code_page_setting.h"

#include "platform/win_types.h"

const CodePageChoice CodePageChoices[] = {
    {CodePageFromFolder, MCodePageAuto},
    {CP_OEMCP, MCodePageOem},   {CP_ACP, MCodePageAnsi},    {CP_UTF8, MCodePageUtf8},
    {437, MCodePage437},        {850, MCodePage850},        {866, MCodePage866},
    {1250, MCodePage1250},      {1251, MCodePage1251},      {1252, MCodePage1252},
};
const int CodePageChoiceCount = int(sizeof CodePageChoices / sizeof CodePageChoices[0]);

int DefaultCodePageChoice() { return 0; }
