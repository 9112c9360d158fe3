#include "host/far3/folder_panel.h"

#include <cstdlib>
#include <cwchar>
#include <new>

#include "folder/message_copy.h"
#include "host/far3/host_services.h"
#include "host/far3/panel_items.h"
#include "host/far3/panel_view.h"
#include "platform/file_system.h"
#include "platform/wide_text.h"

using namespace far3;

FolderPanel *OpenFolderPanel(const wchar_t *path) {
  if (path == nullptr || path[0] == L'\0') return nullptr;
  FolderPanel *panel = new (std::nothrow) FolderPanel();
  const size_t length = wcslen(path);
  wchar_t *data_path = static_cast<wchar_t *>(malloc((length + 1) * sizeof(wchar_t)));
  if (panel != nullptr)
    panel->HostFile = static_cast<wchar_t *>(malloc((length + 1) * sizeof(wchar_t)));
  char *index_utf8 = Utf8FromWide(path);
  char *data_utf8 = nullptr;
  if (panel != nullptr && panel->HostFile != nullptr && data_path != nullptr) {
    wmemcpy(panel->HostFile, path, length + 1);
    wmemcpy(data_path, path, length + 1);
    // A letter beyond the first 65,536 takes two places: both become the M.
    size_t last = length - 1;
    if (last > 0 && IS_LOW_SURROGATE(path[last]) && IS_HIGH_SURROGATE(path[last - 1])) --last;
    data_path[last] = L'M';
    data_path[last + 1] = L'\0';
    data_utf8 = Utf8FromWide(data_path);
  }
  if (panel != nullptr && index_utf8 != nullptr && data_utf8 != nullptr)
    panel->Folder = CreateFolderHandleOf(index_utf8, data_utf8);
  if (panel != nullptr) panel->DataFile = data_path;
  else free(data_path);
  free(index_utf8);
  free(data_utf8);
  if (panel != nullptr && panel->Folder == nullptr) {
    CloseFolderPanel(panel);
    return nullptr;
  }
  return panel;
}

void CloseFolderPanel(FolderPanel *panel) {
  FreeMessageStack(panel->Inside);
  if (panel->Folder != nullptr) ReleaseFolderHandle(panel->Folder);
  free(panel->HostFile);
  free(panel->DataFile);
  delete panel;
}

intptr_t ListFolderPanel(FolderPanel *panel, unsigned code_page, GetFindDataInfo *info) {
  FolderHandle *folder = panel->Folder;
  FolderFacts facts;
  StartFolderFacts(&facts, OpenDataFile(folder) ? FileSystem.SizeOf(folder->DataFile) : -1);
  const intptr_t listed = ListFolderItems(folder, code_page, info, &facts);
  if (listed == 0) return 0;
  facts.IndexSize = FileSystem.SizeOf(folder->IndexFile);
  MakeInfoLines(facts, panel->HostFile, panel->DataFile, &panel->Info);
  panel->Listed = true;
  return listed;
}

void FillPanelSettings(FolderPanel *panel, OpenPanelInfo *info) {
  info->StructSize = sizeof *info;
  info->Flags = OPIF_SHOWPRESERVECASE;
  info->HostFile = panel->HostFile;
  info->CurDir = L"";
  info->PanelTitle = TextOf(MTitle);
  if (panel->Listed) {
    info->InfoLines = panel->Info.Lines;
    info->InfoLinesNumber = InfoLineCount;
  }
  info->PanelModesArray = PanelModes;
  info->PanelModesNumber = PanelModeCount;
  info->StartPanelMode = '7';
  info->StartSortMode = SM_CTIME;
  info->StartSortOrder = 1;
  info->KeyBar = &PanelKeyBar;
  FillMessagePanelSettings(panel->Inside, &panel->InsideTexts, info);
}

intptr_t ProcessPanelKey(FolderPanel *panel, HANDLE handle, const INPUT_RECORD &input) {
  if (input.EventType != KEY_EVENT || !input.Event.KeyEvent.bKeyDown ||
      InsideMessage(panel->Inside))
    return 0;
  const DWORD control = input.Event.KeyEvent.dwControlKeyState;
  const DWORD modifiers = control & (LEFT_ALT_PRESSED | RIGHT_ALT_PRESSED | LEFT_CTRL_PRESSED |
                                     RIGHT_CTRL_PRESSED | SHIFT_PRESSED);
  const WORD key = input.Event.KeyEvent.wVirtualKeyCode;
  const bool ctrl = modifiers != 0 && (modifiers & ~DWORD(LEFT_CTRL_PRESSED | RIGHT_CTRL_PRESSED)) == 0;
  if (!((key == VK_RETURN && modifiers == 0) || (key == VK_NEXT && ctrl))) return 0;
  const intptr_t size = ControlPanel(handle, FCTL_GETCURRENTPANELITEM, 0, nullptr);
  if (size < intptr_t(sizeof(PluginPanelItem))) return 0;
  void *block = calloc(1, size_t(size));
  if (block == nullptr) return 0;
  FarGetPluginPanelItem get = {sizeof get, size_t(size), static_cast<PluginPanelItem *>(block)};
  const bool entered = ControlPanel(handle, FCTL_GETCURRENTPANELITEM, 0, &get) != 0 &&
                       get.Item->FileName != nullptr && wcscmp(get.Item->FileName, L"..") != 0 &&
                       EnterMessage(&panel->Inside, panel->Folder, *get.Item);
  free(block);
  if (!entered) return 0;
  ControlPanel(handle, FCTL_UPDATEPANEL, 0, nullptr);
  PanelRedrawInfo redraw = {sizeof redraw, 0, 0};
  ControlPanel(handle, FCTL_REDRAWPANEL, 0, &redraw);
  return 1;
}

intptr_t ChangePanelDirectory(FolderPanel *panel, const wchar_t *dir) {
  if (dir == nullptr) return 0;
  if (wcscmp(dir, L"..") == 0) return LeaveMessage(panel->Inside) ? 1 : 0;
  if (wcscmp(dir, L"\\") == 0) {
    while (LeaveMessage(panel->Inside)) {
    }
    return 1;
  }
  return EnterInnerMessage(panel->Inside, dir) ? 1 : 0;
}
