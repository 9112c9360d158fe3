#include "host/panel_settings.h"

#include <cstring>

void FillPanelSettings(const FolderHandle *folder, OpenPluginInfo *info) {
  memset(info, 0, sizeof *info);
  info->StructSize = int(sizeof *info);
  info->Flags = OPIF_SHOWPRESERVECASE;
  info->HostFile = folder->IndexPath;
  info->CurDir = "";
  info->PanelTitle = "Vessor folder";
  info->StartPanelMode = '7';
  info->StartSortMode = SM_CTIME;
  info->StartSortOrder = 1;
}
