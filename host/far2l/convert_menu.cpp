#include "host/far2l/convert_menu.h"

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cwchar>
#include <string>

#include "host/far2l/host_services.h"
#include "host/far2l/save_destination.h"
#include "host/shared/mail_save.h"
#include "host/shared/save_progress.h"
#include "outputs/folder_tree.h"
#include "outputs/mail_run.h"
#include "platform/file_system.h"
#include "platform/wide_text.h"

namespace {

const int LongestPath = 4096;

std::string Utf8(const wchar_t *text) {
  char *utf8 = Utf8FromWide(text);
  std::string kept = utf8 != nullptr ? utf8 : "";
  free(utf8);
  return kept;
}

// The process's directory, which far2l keeps at the active panel's; empty
// when it cannot be told.
std::wstring CurrentDirectory() {
  char dir[LongestPath];
  if (getcwd(dir, sizeof dir) == nullptr) return L"";
  wchar_t *wide = WideFromUtf8(dir);
  std::wstring kept = wide != nullptr ? wide : L"";
  free(wide);
  return kept;
}

// A path as typed, without the blanks and the quotes around it (the host's
// Ctrl+Enter quotes names with blanks).
std::wstring Trimmed(const wchar_t *typed) {
  std::wstring path = typed;
  const size_t first = path.find_first_not_of(L" \t");
  const size_t last = path.find_last_not_of(L" \t");
  path = first == std::wstring::npos ? L"" : path.substr(first, last - first + 1);
  if (path.size() >= 2 && path.front() == L'"' && path.back() == L'"')
    path = path.substr(1, path.size() - 2);
  return path;
}

// A directory is read as vfolder reads one, its folders at the top of the
// tree; anything else is taken for one folder's index file.
void FindChosenFolders(const std::string &source, TreeNode *top) {
  int passed_over = 0;
  if (FileSystem.KindOf(source.c_str(), true) == PathDirectory) {
    FindFolders(source, top, &passed_over);
    return;
  }
  *top = TreeNode{"", "", false, 0, {}, {}};
  AddChosenPath(source, top, &passed_over);
}

}  // namespace

void ConvertChosenFolders(unsigned code_page) {
  static wchar_t typed[LongestPath];
  if (!AskLine(TextOf(MConvertTitle), TextOf(MConvertSource), CurrentDirectory().c_str(), typed,
               LongestPath, HELP_CONVERT))
    return;
  const std::wstring source = Trimmed(typed);
  if (source.empty()) return;
  TreeNode top;
  FindChosenFolders(Utf8(source.c_str()), &top);
  if (top.Children.empty()) {
    const wchar_t *lines[] = {TextOf(MConvertNoFolder), TextOf(MConvertNothing)};
    ShowLines(TextOf(MConvertTitle), lines, 2, true, HELP_CONVERT);
    return;
  }

  std::wstring question = std::wstring(TextOf(MConvertVerb)) + L" " + source + L" " +
                          TextOf(MDestinationEnd);
  SaveChoice choice;
  const wchar_t *answer =
      AskDestination(TextOf(MConvertTitle), question.c_str(), L"", true, HELP_CONVERT, &choice);
  if (answer == nullptr) return;
  const std::string out = Utf8(Trimmed(answer).c_str());
  if (out.empty()) return;

  SaveProgress progress;
  const int64_t total = CountMessages(top);
  StartSaveProgress(&progress, uint64_t(total), false);
  MailSave save = {&progress, nullptr, nullptr, {}, {}};
  MailRun run = StartMailSave(&save, choice, code_page);
  run.Total = int(total < INT32_MAX ? total : INT32_MAX);
  // Never written over: an index file or a data folder file named as the
  // destination.
  if (IsTreeFile(top, FileSystem.Identify(out.c_str()))) {
    NoteSaveFailure(&progress, MOwnFile, out.c_str());
    progress.Failed = progress.Total;
  } else {
    ConvertTree(&run, top, out, MaildirPlusPlusLayout);
  }
  CloseMailSave(&save);
  FinishSaveProgress(&progress);
}
