#include "host/far3/code_page_setting.h"

#include "host/far3/host_services.h"
#include "platform/win_types.h"

namespace {

// {10C90E8F-61DA-4709-90AF-E71A7A044FBE}
const GUID CodePageMenuGuid = {
    0x10c90e8f, 0x61da, 0x4709, {0x90, 0xaf, 0xe7, 0x1a, 0x7a, 0x04, 0x4f, 0xbe}};

const wchar_t SettingName[] = L"CodePage";

struct CodePageChoice {
  unsigned CodePage;
  const wchar_t *Label;
};

const CodePageChoice Choices[] = {
    {CP_OEMCP, L"OEM: the system's DOS code page"},
    {CP_ACP, L"ANSI: the system's Windows code page"},
    {CP_UTF8, L"UTF-8"},
    {437, L"437: DOS, English"},
    {850, L"850: DOS, Western European"},
    {866, L"866: DOS, Cyrillic"},
    {1250, L"1250: Windows, Central European"},
    {1251, L"1251: Windows, Cyrillic"},
    {1252, L"1252: Windows, Western European"},
};
const int ChoiceCount = int(sizeof Choices / sizeof Choices[0]);

int CurrentChoice = 0;

}  // namespace

unsigned TextCodePage() { return Choices[CurrentChoice].CodePage; }

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
  for (int i = 0; i < ChoiceCount; ++i) labels[i] = Choices[i].Label;
  const int chosen = ChooseFromMenu(CodePageMenuGuid, L"Vessor folder: code page of names", labels,
                                    ChoiceCount, CurrentChoice);
  if (chosen < 0) return 0;
  CurrentChoice = chosen;
  WriteSetting(SettingName, Choices[chosen].CodePage);
  return 1;
}
