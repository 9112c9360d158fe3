// The plug-ins menu's entry (F11) converts the index files and directories
// selected on an ordinary file panel, and every folder below them, into a
// tree for a mail program, as vfolder does.
#include <cstdlib>
#include <cwchar>
#include <string>
#include <vector>

#include "host/far3/far_plugin.h"
#include "host/far3/host_services.h"
#include "host/shared/convert_folders.h"
#include "host/shared/text_fill.h"
#include "outputs/folder_tree.h"
#include "outputs/mail_run.h"
#include "platform/file_system.h"
#include "platform/wide_text.h"

using namespace far3;

namespace {

// The panel's directory, empty when the host gives none.
std::wstring PanelDirectory(HANDLE panel) {
  const intptr_t size = ControlPanel(panel, FCTL_GETPANELDIRECTORY, 0, nullptr);
  if (size < intptr_t(sizeof(FarPanelDirectory))) return L"";
  std::vector<char> block(size_t(size), 0);
  FarPanelDirectory *dir = reinterpret_cast<FarPanelDirectory *>(block.data());
  dir->StructSize = sizeof *dir;
  if (ControlPanel(panel, FCTL_GETPANELDIRECTORY, size, dir) == 0 || dir->Name == nullptr)
    return L"";
  return dir->Name;
}

// The selected items' names and whether each is a directory; the current
// item when none is selected, as the host counts it. `..` is no choice.
std::vector<std::wstring> SelectedNames(const PanelInfo &info) {
  std::vector<std::wstring> names;
  for (size_t i = 0; i < info.SelectedItemsNumber; ++i) {
    const intptr_t size = ControlPanel(PANEL_ACTIVE, FCTL_GETSELECTEDPANELITEM, intptr_t(i), nullptr);
    if (size < intptr_t(sizeof(PluginPanelItem))) continue;
    std::vector<char> block(size_t(size), 0);
    FarGetPluginPanelItem get = {sizeof get, size_t(size),
                                 reinterpret_cast<PluginPanelItem *>(block.data())};
    if (ControlPanel(PANEL_ACTIVE, FCTL_GETSELECTEDPANELITEM, intptr_t(i), &get) == 0) continue;
    const wchar_t *name = get.Item->FileName;
    if (name == nullptr || name[0] == L'\0' || wcscmp(name, L"..") == 0) continue;
    names.push_back(name);
  }
  return names;
}

}  // namespace

void ConvertChosenFolders(unsigned code_page) {
  PanelInfo info = {};
  info.StructSize = sizeof info;
  if (ControlPanel(PANEL_ACTIVE, FCTL_GETPANELINFO, 0, &info) == 0 ||
      info.PanelType != PTYPE_FILEPANEL || (info.Flags & PFLAGS_PLUGIN) != 0) {
    ShowWarning(TextOf(MConvertTitle), TextOf(MConvertNothing), HELP_CONVERT);
    return;
  }
  const std::wstring dir = PanelDirectory(PANEL_ACTIVE);
  const std::vector<std::wstring> names = SelectedNames(info);
  TreeNode top = {Utf8Of(dir), "", false, 0, {}, {}};
  int passed_over = 0;
  const MailRun *reading = ChosenReading();
  for (const std::wstring &name : names) {
    std::wstring path = dir;
    if (!path.empty() && path.back() != L'\\' && path.back() != L'/') path += L'\\';
    AddChosenPath(Utf8Of(path + name), &top, &passed_over, reading);
  }
  if (top.Children.empty()) {
    const wchar_t *line = TextOf(names.empty() ? MConvertNothing : MConvertNoFolder);
    TellNoFolder(&line, 1);
    return;
  }

  const std::wstring count = std::to_wstring(static_cast<unsigned long long>(names.size()));
  const std::wstring question = FillText(TextOf(MConvertCountQuestion),
                                         {count.c_str(), CountedNoun(MItemOne, names.size())});
  ConvertFolders(top, question.c_str(), PanelDirectory(PANEL_PASSIVE).c_str(), code_page);
}
