#include "host/far3/folder_panel.h"

#include <cstdlib>
#include <cwchar>

#include "folder/message_copy.h"
#include "host/far3/host_services.h"
#include "host/far3/panel_items.h"
#include "host/far3/panel_view.h"
#include "platform/file_system.h"
#include "platform/wide_text.h"

using namespace far3;

FolderPanel *OpenFolderPanel(const wchar_t *path) {
  if (path == nullptr || path[0] == L'\0') return nullptr;
  FolderPanel *panel = static_cast<FolderPanel *>(calloc(1, sizeof(FolderPanel)));
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
  if (panel->Folder != nullptr) ReleaseFolderHandle(panel->Folder);
  free(panel->HostFile);
  free(panel->DataFile);
  free(panel);
}

intptr_t ListFolderPanel(FolderPanel *panel, unsigned code_page, GetFindDataInfo *info) {
  FolderHandle *folder = panel->Folder;
  FolderFacts facts;
  StartFolderFacts(&facts, OpenDataFile(folder) ? FileSystem.SizeOf(folder->DataFile) : -1);
  const intptr_t listed =
      ListPanelItems(folder, code_page, &info->PanelItem, &info->ItemsNumber, &facts);
  if (listed == 0) return 0;
  facts.IndexSize = FileSystem.SizeOf(folder->IndexFile);
  MakeInfoLines(facts, panel->HostFile, panel->DataFile, &panel->Info);
  panel->Listed = true;
  return listed;
}

void FillPanelSettings(const FolderPanel *panel, OpenPanelInfo *info) {
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
}
