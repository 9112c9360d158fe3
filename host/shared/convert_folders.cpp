#include "host/shared/convert_folders.h"

#include <cstdlib>
#include <string>

#include "host/shared/host_texts.h"
#include "host/shared/mail_save.h"
#include "host/shared/panel_host.h"
#include "host/shared/text_fill.h"
#include "platform/wide_text.h"

namespace {

MailRun Reading;
std::string Unread;  // the first directory that could not be read; empty: none
int UnreadError;

void KeepFirstUnread(void *, OutputNotice notice, const char *path, int error) {
  if (notice != NoticeCannotReadDirectory || !Unread.empty() || path == nullptr) return;
  Unread = path;
  UnreadError = error;
}

// "Cannot read directory (the system's reason): path".
std::wstring UnreadLine() {
  const std::wstring said = WithSystemReason(TextOf(MCannotReadDirectory), UnreadError);
  wchar_t *path = WideFromUtf8(Unread.c_str());
  const std::wstring line =
      FillText(TextOf(MFailureAt), {said.c_str(), path != nullptr ? path : L""});
  free(path);
  return line;
}

}  // namespace

const MailRun *ChosenReading() {
  Reading = MailRun();
  Reading.Events.Notice = KeepFirstUnread;
  Unread.clear();
  UnreadError = 0;
  return &Reading;
}

void TellNoFolder(const wchar_t *const *lines, size_t count) {
  const std::wstring unread = Unread.empty() ? L"" : UnreadLine();
  const wchar_t *told[3] = {lines[0], count > 1 ? lines[1] : nullptr, nullptr};
  if (count > 2) count = 2;
  if (!Unread.empty()) told[count++] = unread.c_str();
  ShowLines(TextOf(MConvertTitle), told, count, true, HELP_CONVERT);
}

void ConvertFolders(const TreeNode &top, const wchar_t *question, const wchar_t *dest,
                    unsigned code_page) {
  if (!Unread.empty()) {
    const std::wstring unread = UnreadLine();
    const wchar_t *lines[] = {unread.c_str()};
    ShowLines(TextOf(MConvertTitle), lines, 1, true, HELP_CONVERT);
  }
  SaveChoice choice;
  const wchar_t *answer =
      AskDestination(TextOf(MConvertTitle), question, dest, true, HELP_CONVERT, &choice);
  char *out = answer != nullptr ? Utf8FromWide(answer) : nullptr;
  if (out != nullptr && (out[0] != '\0' || SavesToAccount(choice))) {
    SaveFoldersAsMail(top, choice, out, code_page);
    ShowOtherPanelChanges();
  }
  free(out);
}
