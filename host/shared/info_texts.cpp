#include "host/shared/info_texts.h"

#include <cwchar>

#include "host/shared/host_texts.h"
#include "host/shared/text_fill.h"

namespace {

void WriteNumber(uint64_t number, wchar_t *out) { WriteGroupedNumber(number, out, InfoTextSize); }

void WriteBytes(int64_t size, wchar_t *out) {
  if (size < 0) {
    wcsncpy(out, TextOf(MInfoMissing), InfoTextSize - 1);
    return;
  }
  wchar_t number[InfoTextSize];
  WriteNumber(uint64_t(size), number);
  const std::wstring bytes =
      FillText(TextOf(MCountedBytes), {number, CountedNoun(MByteOne, uint64_t(size))});
  wcsncpy(out, bytes.c_str(), InfoTextSize - 1);
  out[InfoTextSize - 1] = L'\0';
}

void WriteDate(uint64_t ticks, wchar_t *out) {
  if (ticks == 0 || !WriteLocalDate(ticks, out)) wcsncpy(out, TextOf(MInfoNoDate), InfoTextSize - 1);
}

}  // namespace

void MakeInfoTexts(const FolderFacts &facts, const wchar_t *index_path, const wchar_t *data_path,
                   const wchar_t *code_page_name, InfoTexts *texts) {
  const MessageId labels[InfoLineCount] = {
      MInfoFiles,    MInfoIndexFile, MInfoIndexSize, MInfoDataFile,  MInfoDataSize,
      MInfoMessages, MInfoCount,     MInfoHidden,    MInfoReadOnly,  MInfoTotalSize,
      MInfoOldest,   MInfoNewest,    MInfoUndated,   MInfoPastEnd,   MInfoCodePage};
  for (size_t i = 0; i < InfoLineCount; ++i) {
    wcsncpy(texts->Labels[i], TextOf(labels[i]), InfoTextSize - 1);
    texts->Labels[i][InfoTextSize - 1] = L'\0';
    texts->Data[i][0] = L'\0';
    texts->Shown[i] = texts->Data[i];
    texts->Separator[i] = i == 0 || i == 5;
  }
  texts->Shown[1] = index_path;
  WriteBytes(facts.IndexSize, texts->Data[2]);
  texts->Shown[3] = data_path;
  WriteBytes(facts.DataSize, texts->Data[4]);
  WriteNumber(facts.Messages, texts->Data[6]);
  WriteNumber(facts.Hidden, texts->Data[7]);
  WriteNumber(facts.ReadOnly, texts->Data[8]);
  WriteBytes(int64_t(facts.TotalSize), texts->Data[9]);
  WriteDate(facts.Oldest, texts->Data[10]);
  WriteDate(facts.Newest, texts->Data[11]);
  WriteNumber(facts.Undated, texts->Data[12]);
  WriteNumber(facts.PastEnd, texts->Data[13]);
  wcsncpy(texts->Data[14], code_page_name, InfoTextSize - 1);
  for (size_t i = 0; i < InfoLineCount; ++i) texts->Data[i][InfoTextSize - 1] = L'\0';
}
