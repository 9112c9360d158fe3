// The plug-ins menu's entry (F11) converts a directory of mail folders, or
// one index file, into a tree for a mail program, as vfolder does. It asks
// what to convert, offering the active panel's directory: far2l keeps the
// process in it, and tells no plug-in its panels' state in numbers this
// layer knows.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cwchar>
#include <string>

#include "host/far2l/host_services.h"
#include "host/shared/convert_folders.h"
#include "host/shared/save_choice.h"
#include "host/shared/text_fill.h"
#include "outputs/folder_tree.h"
#include "outputs/mail_run.h"
#include "platform/file_system.h"
#include "platform/wide_text.h"

namespace {

const int LongestPath = 4096;

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

// A directory is read as vfolder reads one, its folders at the top of the
// tree; anything else is taken for one folder's index file.
void FindChosenFolders(const std::string &source, TreeNode *top) {
  int passed_over = 0;
  if (FileSystem.KindOf(source.c_str(), true) == PathDirectory) {
    FindFolders(source, top, &passed_over, ChosenReading());
    return;
  }
  *top = TreeNode{"", "", false, 0, {}, {}};
  AddChosenPath(source, top, &passed_over, ChosenReading());
}

}  // namespace

void ConvertChosenFolders(unsigned code_page) {
  static wchar_t typed[LongestPath];
  if (!AskLine(TextOf(MConvertTitle), TextOf(MConvertSource), CurrentDirectory().c_str(), typed,
               LongestPath, HELP_CONVERT))
    return;
  TrimAnswer(typed);
  const std::wstring source = typed;
  if (source.empty()) return;
  TreeNode top;
  FindChosenFolders(Utf8Of(source), &top);
  if (top.Children.empty()) {
    const wchar_t *lines[] = {TextOf(MConvertNoFolder), TextOf(MConvertNothing)};
    TellNoFolder(lines, 2);
    return;
  }

  const std::wstring question = FillText(TextOf(MConvertPathQuestion), {source.c_str()});
  ConvertFolders(top, question.c_str(), L"", code_page);
}
