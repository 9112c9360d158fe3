#include "host/far2l/info_lines.h"

#include <ctime>
#include <cwchar>

#include "host/far2l/code_page_setting.h"

using namespace far2l;

namespace {

// Seconds from 1601, where FILETIME counts, to 1970, where time_t does.
const uint64_t UnixEpochSeconds = 11644473600ull;

}  // namespace

bool WriteLocalDate(uint64_t ticks, wchar_t *out) {
  const time_t seconds = time_t(ticks / 10000000 - UnixEpochSeconds);
  tm parts;
  if (ticks / 10000000 < UnixEpochSeconds || localtime_r(&seconds, &parts) == nullptr)
    return false;
  swprintf(out, InfoTextSize, L"%04d-%02d-%02d %02d:%02d", parts.tm_year + 1900, parts.tm_mon + 1,
           parts.tm_mday, parts.tm_hour, parts.tm_min);
  return true;
}

void MakeInfoLines(const FolderFacts &facts, const wchar_t *index_path, const wchar_t *data_path,
                   InfoLines *lines) {
  MakeInfoTexts(facts, index_path, data_path, TextCodePageName(), &lines->Texts);
  for (size_t i = 0; i < InfoLineCount; ++i)
    lines->Lines[i] = InfoPanelLine{lines->Texts.Labels[i], lines->Texts.Shown[i],
                                    lines->Texts.Separator[i] ? 1 : 0};
}
