#include "host/far1/panel_settings.h"

#include <cstring>

namespace {

// Ten modes that all take the host's own columns. Some hosts take the start
// mode and sort order below only from a plug-in that gives panel modes.
const PanelMode HostPanelModes[10] = {};

}  // namespace

void FillPanelSettings(const FolderHandle *folder, OpenPluginInfo *info) {
  memset(info, 0, sizeof *info);
  info->StructSize = int(sizeof *info);
  info->Flags = OPIF_SHOWPRESERVECASE;
  info->HostFile = folder->IndexPath;
  info->CurDir = "";
  info->PanelTitle = "Vessor folder";
  info->PanelModesArray = HostPanelModes;
  info->PanelModesNumber = 10;
  info->StartPanelMode = '7';
  info->StartSortMode = SM_CTIME;
  info->StartSortOrder = 1;
}
