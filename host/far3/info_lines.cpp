#include "host/far3/info_lines.h"

#include <cwchar>

#include "host/far3/code_page_setting.h"

using namespace far3;

bool WriteLocalDate(uint64_t ticks, wchar_t *out) {
  FILETIME utc = {DWORD(ticks), DWORD(ticks >> 32)}, local;
  SYSTEMTIME parts;
  if (!FileTimeToLocalFileTime(&utc, &local) || !FileTimeToSystemTime(&local, &parts))
    return false;
  swprintf(out, InfoTextSize, L"%04u-%02u-%02u %02u:%02u", parts.wYear, parts.wMonth, parts.wDay,
           parts.wHour, parts.wMinute);
  return true;
}

void MakeInfoLines(const FolderFacts &facts, const wchar_t *index_path, const wchar_t *data_path,
                   InfoLines *lines) {
  MakeInfoTexts(facts, index_path, data_path, TextCodePageName(), &lines->Texts);
  for (size_t i = 0; i < InfoLineCount; ++i)
    lines->Lines[i] = InfoPanelLine{lines->Texts.Labels[i], lines->Texts.Shown[i],
                                    lines->Texts.Separator[i] ? uint64_t(IPLFLAGS_SEPARATOR) : 0};
}
