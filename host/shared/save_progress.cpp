#include "host/shared/save_progress.h"

#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "host/shared/host_texts.h"
#include "host/shared/text_fill.h"
#include "platform/console_input.h"
#include "platform/wide_text.h"

namespace {

// Work shorter than this shows nothing; the box is redrawn no oftener than
// every DrawEvery, and the keys are looked at no oftener than every KeysEvery.
const uint64_t ShowAfter = 1000, DrawEvery = 100, KeysEvery = 50;
const size_t BarWidth = 50, NameShown = 60;

// `name` cut to what the box shows.
void ShortName(const char *name, wchar_t *out, size_t out_size) {
  out[0] = L'\0';
  if (name == nullptr) return;
  wchar_t *wide = WideFromUtf8(name);
  if (wide == nullptr) return;
  const size_t room = out_size - 1 < NameShown ? out_size - 1 : NameShown;
  if (wcslen(wide) > room) wcscpy(wide + room - 3, L"...");
  wcsncpy(out, wide, out_size - 1);
  out[out_size - 1] = L'\0';
  free(wide);
}

const wchar_t *TitleOf(const SaveProgress &progress) {
  return TextOf(progress.Sending ? MSendingTitle : MSavingTitle);
}

void Draw(SaveProgress *progress, const char *name) {
  wchar_t done[32], total[32], shown[NameShown + 1], bar[BarWidth + 1];
  WriteGroupedNumber(progress->Done, done, 32);
  WriteGroupedNumber(progress->Total, total, 32);
  const std::wstring line = FillText(TextOf(progress->Sending ? MSendProgressOf : MProgressOf),
                                     {done, total, CountedNoun(MOfMessageOne, progress->Total)});
  ShortName(name, shown, NameShown + 1);
  const size_t filled =
      progress->Total > 0 ? size_t(progress->Done * BarWidth / progress->Total) : 0;
  for (size_t i = 0; i < BarWidth; ++i) bar[i] = i < filled ? L'\x2588' : L'\x2591';
  bar[BarWidth] = L'\0';
  if (!progress->Drawn) progress->Screen = SaveHostScreen();
  const wchar_t *lines[] = {line.c_str(), shown, bar};
  ShowWorkBox(TitleOf(*progress), lines, 3);
  SetTaskbarProgress(progress->Done, progress->Total > 0 ? progress->Total : 1);
  progress->Drawn = true;
}

}  // namespace

void StartSaveProgress(SaveProgress *progress, uint64_t total, bool quiet) {
  memset(progress, 0, sizeof *progress);
  progress->Quiet = quiet;
  progress->Total = total;
  progress->Started = Console.Milliseconds();
  progress->LastKeys = progress->Started;
}

void StepSaveProgress(SaveProgress *progress, uint64_t done, const char *name) {
  progress->Done = done;
  if (progress->Quiet) return;
  const uint64_t now = Console.Milliseconds();
  if (now - progress->Started < ShowAfter) return;
  if (progress->Drawn && now - progress->LastDrawn < DrawEvery) return;
  progress->LastDrawn = now;
  Draw(progress, name);
}

bool SaveStopAsked(SaveProgress *progress) {
  if (progress->Stopped) return true;
  if (progress->Quiet) return false;
  const uint64_t now = Console.Milliseconds();
  if (now - progress->LastKeys < KeysEvery) return false;
  progress->LastKeys = now;
  if (!Console.EscapePressed()) return false;
  progress->Stopped =
      AskYesNo(TitleOf(*progress), TextOf(progress->Sending ? MSendStopQuestion : MStopQuestion),
               HELP_SAVING);
  // The question covered the box: draw it again at the next step.
  progress->LastDrawn = 0;
  return progress->Stopped;
}

void NoteSaveFailure(SaveProgress *progress, MessageId reason, const char *path, int error) {
  if (progress->Reasons == SaveReasonCount) return;
  wchar_t *wide = path != nullptr ? WideFromUtf8(path) : nullptr;
  wchar_t *line = progress->Reason[progress->Reasons];
  // The system's words before the path, which may be long enough to be cut.
  const std::wstring said = WithSystemReason(TextOf(reason), error);
  const std::wstring told = wide != nullptr && wide[0] != L'\0'
                               ? FillText(TextOf(MFailureAt), {said.c_str(), wide})
                               : said;
  free(wide);
  wcsncpy(line, told.c_str(), SaveReasonSize - 1);
  line[SaveReasonSize - 1] = L'\0';
  // The same reason for the same path is told once.
  for (size_t i = 0; i < progress->Reasons; ++i)
    if (wcscmp(progress->Reason[i], line) == 0) return;
  ++progress->Reasons;
}

void FinishSaveProgress(SaveProgress *progress) {
  if (progress->Drawn) {
    RestoreHostScreen(progress->Screen);
    SetTaskbarProgress(0, 0);
    progress->Drawn = false;
  }
  // A stopped save tells what it saved; a finished one only what failed.
  const bool anything_failed = progress->Failed > 0 || progress->Reasons > 0;
  if (progress->Quiet || !(anything_failed || progress->Stopped)) return;
  wchar_t total[32], saved[32], failed[32];
  WriteGroupedNumber(progress->Total, total, 32);
  WriteGroupedNumber(progress->Saved, saved, 32);
  WriteGroupedNumber(progress->Failed, failed, 32);
  const std::wstring counts =
      FillText(TextOf(progress->Sending ? MSendSummaryCounts : MSummaryCounts),
               {total, CountedNoun(MMessageOne, progress->Total), saved, failed});
  const wchar_t *lines[1 + SaveReasonCount] = {counts.c_str()};
  for (size_t i = 0; i < progress->Reasons; ++i) lines[1 + i] = progress->Reason[i];
  ShowLines(TitleOf(*progress), lines, 1 + progress->Reasons, anything_failed, HELP_SAVING);
}
