#include "host/far2l/info_lines.h"

#include <ctime>
#include <cwchar>

#include "host/far2l/code_page_setting.h"
#include "host/far2l/host_services.h"

using namespace far2l;

namespace {

// Seconds from 1601, where FILETIME counts, to 1970, where time_t does.
const uint64_t UnixEpochSeconds = 11644473600ull;

void WriteNumber(uint64_t number, wchar_t *out) { WriteGroupedNumber(number, out, InfoTextSize); }

void WriteBytes(int64_t size, wchar_t *out) {
  if (size < 0) {
    wcsncpy(out, TextOf(MInfoMissing), InfoTextSize - 1);
    return;
  }
  wchar_t number[InfoTextSize];
  WriteNumber(uint64_t(size), number);
  swprintf(out, InfoTextSize, L"%ls %ls", number, CountedNoun(MByteOne, uint64_t(size)));
}

// The date as the panel's date column shows it: in local time.
void WriteDate(uint64_t ticks, wchar_t *out) {
  const time_t seconds = time_t(ticks / 10000000 - UnixEpochSeconds);
  tm parts;
  if (ticks / 10000000 < UnixEpochSeconds || localtime_r(&seconds, &parts) == nullptr) {
    wcsncpy(out, TextOf(MInfoNoDate), InfoTextSize - 1);
    return;
  }
  swprintf(out, InfoTextSize, L"%04d-%02d-%02d %02d:%02d", parts.tm_year + 1900, parts.tm_mon + 1,
           parts.tm_mday, parts.tm_hour, parts.tm_min);
}

}  // namespace

void MakeInfoLines(const FolderFacts &facts, const wchar_t *index_path, const wchar_t *data_path,
                   InfoLines *lines) {
  const MessageId labels[InfoLineCount] = {
      MInfoFiles,    MInfoIndexFile, MInfoIndexSize, MInfoDataFile,  MInfoDataSize,
      MInfoMessages, MInfoCount,     MInfoHidden,    MInfoReadOnly,  MInfoTotalSize,
      MInfoOldest,   MInfoNewest,    MInfoUndated,   MInfoPastEnd,   MInfoCodePage};
  for (size_t i = 0; i < InfoLineCount; ++i) {
    wcsncpy(lines->Labels[i], TextOf(labels[i]), InfoTextSize - 1);
    lines->Labels[i][InfoTextSize - 1] = L'\0';
    lines->Data[i][0] = L'\0';
    lines->Lines[i] = InfoPanelLine{lines->Labels[i], lines->Data[i], 0};
  }
  lines->Lines[0].Separator = lines->Lines[5].Separator = 1;
  lines->Lines[1].Data = index_path;
  WriteBytes(facts.IndexSize, lines->Data[2]);
  lines->Lines[3].Data = data_path;
  WriteBytes(facts.DataSize, lines->Data[4]);
  WriteNumber(facts.Messages, lines->Data[6]);
  WriteNumber(facts.Hidden, lines->Data[7]);
  WriteNumber(facts.ReadOnly, lines->Data[8]);
  WriteBytes(int64_t(facts.TotalSize), lines->Data[9]);
  WriteDate(facts.Oldest, lines->Data[10]);
  WriteDate(facts.Newest, lines->Data[11]);
  WriteNumber(facts.Undated, lines->Data[12]);
  WriteNumber(facts.PastEnd, lines->Data[13]);
  wcsncpy(lines->Data[14], TextCodePageName(), InfoTextSize - 1);
  for (size_t i = 0; i < InfoLineCount; ++i) lines->Data[i][InfoTextSize - 1] = L'\0';
}
