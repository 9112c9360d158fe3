#include "host/far2l/folder_panel.h"

#include <cstdlib>
#include <cwchar>

#include "folder/message_copy.h"
#include "host/far2l/host_services.h"
#include "host/far2l/panel_items.h"
#include "host/far2l/panel_view.h"
#include "host/shared/panel_copy.h"
#include "platform/file_system.h"
#include "platform/wide_text.h"

using namespace far2l;

namespace {

wchar_t *CopyOf(const wchar_t *text) {
  const size_t length = wcslen(text);
  wchar_t *copy = static_cast<wchar_t *>(malloc((length + 1) * sizeof(wchar_t)));
  if (copy != nullptr) wmemcpy(copy, text, length + 1);
  return copy;
}

}  // namespace

FolderPanel *OpenFolderPanel(const wchar_t *path) {
  if (path == nullptr || path[0] == L'\0') return nullptr;
  FolderPanel *panel = static_cast<FolderPanel *>(calloc(1, sizeof(FolderPanel)));
  if (panel == nullptr) return nullptr;
  panel->HostFile = CopyOf(path);
  panel->DataFile = CopyOf(path);
  // One wchar_t is one letter here: the last one becomes the M.
  if (panel->DataFile != nullptr) panel->DataFile[wcslen(path) - 1] = L'M';
  char *index_utf8 = panel->HostFile != nullptr ? Utf8FromWide(panel->HostFile) : nullptr;
  char *data_utf8 = panel->DataFile != nullptr ? Utf8FromWide(panel->DataFile) : nullptr;
  if (index_utf8 != nullptr && data_utf8 != nullptr)
    panel->Folder = CreateFolderHandleOf(index_utf8, data_utf8);
  free(index_utf8);
  free(data_utf8);
  if (panel->Folder == nullptr) {
    CloseFolderPanel(panel);
    return nullptr;
  }
  return panel;
}

FolderPanel *OpenPartsPanel(const wchar_t *path) {
  char *path_utf8 = path != nullptr ? Utf8FromWide(path) : nullptr;
  ViewedMessage viewed;
  const bool ours = path_utf8 != nullptr && TakeViewedMessage(path_utf8, &viewed);
  free(path_utf8);
  if (!ours) return nullptr;
  FolderPanel *panel = OpenFolderPanel(viewed.IndexPath.c_str());
  if (panel == nullptr) return nullptr;
  panel->PartsFile = CopyOf(path);
  panel->Parts = new PartsTexts;
  if (panel->PartsFile == nullptr ||
      !EnterFolderMessage(&panel->Inside, panel->Folder, viewed.Name.c_str(), viewed.Offset,
                          viewed.Size, viewed.Time)) {
    CloseFolderPanel(panel);
    return nullptr;
  }
  return panel;
}

void CloseFolderPanel(FolderPanel *panel) {
  FreeMessageStack(panel->Inside);
  delete panel->Parts;
  free(panel->PartsFile);
  if (panel->Folder != nullptr) ReleaseFolderHandle(panel->Folder);
  free(panel->HostFile);
  free(panel->DataFile);
  free(panel);
}

bool ListFolderPanel(FolderPanel *panel, unsigned code_page, PluginPanelItem **items,
                     int *count) {
  FolderHandle *folder = panel->Folder;
  FolderFacts facts;
  StartFolderFacts(&facts, OpenDataFile(folder) ? FileSystem.SizeOf(folder->DataFile) : -1);
  if (!ListFolderItems(folder, code_page, items, count, &facts)) return false;
  facts.IndexSize = FileSystem.SizeOf(folder->IndexFile);
  MakeInfoLines(facts, panel->HostFile, panel->DataFile, &panel->Info);
  panel->Listed = true;
  return true;
}

bool ChangePanelDirectory(FolderPanel *panel, const wchar_t *dir) {
  if (dir == nullptr || !InsideMessage(panel->Inside)) return false;
  if (wcscmp(dir, L"..") == 0)
    return MessageDepth(panel->Inside) > 1 && LeaveMessage(panel->Inside);
  // The panel's root is the first message's parts.
  if (wcscmp(dir, L"/") == 0 || wcscmp(dir, L"\\") == 0) {
    while (MessageDepth(panel->Inside) > 1) LeaveMessage(panel->Inside);
    return true;
  }
  return EnterInnerMessage(panel->Inside, dir);
}

void FillPanelSettings(const FolderPanel *panel, OpenPluginInfo *info) {
  info->StructSize = sizeof *info;
  info->Flags = OPIF_SHOWPRESERVECASE | OPIF_USEFILTER | OPIF_USESORTGROUPS |
                OPIF_USEHIGHLIGHTING | OPIF_ADDDOTS;
  info->HostFile = panel->HostFile;
  info->CurDir = L"";
  info->Format = TextOf(MTitle);
  info->PanelTitle = TextOf(MTitle);
  if (panel->Listed) {
    info->InfoLines = panel->Info.Lines;
    info->InfoLinesNumber = int(InfoLineCount);
  }
  info->PanelModesArray = PanelModes;
  info->PanelModesNumber = PanelModeCount;
  info->StartPanelMode = '7';
  info->StartSortMode = SM_CTIME;
  info->StartSortOrder = 1;
  info->KeyBar = &PanelKeyBar;
  if (InsideMessage(panel->Inside)) {
    info->HostFile = panel->PartsFile;
    FillMessagePanelSettings(panel->Inside, panel->Parts, info);
  }
}
