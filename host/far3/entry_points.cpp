// The entry points of the file manager's native interface (version 3). Each
// checks that the host's record reaches the members it reads, unpacks the
// panel into the plug-in's own record and hands the work to one function,
// which nothing thrown leaves (Guarded): the host catches nothing.
#include <climits>
#include <cstdlib>

#include "folder/vessor_folder.h"
#include "host/far3/far_plugin.h"
#include "host/far3/folder_panel.h"
#include "host/far3/host_services.h"
#include "host/far3/panel_items.h"
#include "host/shared/account_save.h"
#include "platform/file_system.h"

using namespace far3;

namespace {

// The host reads the menu entries' texts after GetPluginInfoW.
const wchar_t *ConfigEntries[1];
const wchar_t *MenuEntries[1];

// The oldest host the plug-in has been tried in.
const DWORD OldestHostBuild = 6106;

// What AnalyseW answers for a file it claims: OpenW makes the panel from the
// file's path, so there is nothing to hold until then.
char Claimed;

// A panel of the folder the host found, or the plug-ins menu's work.
HANDLE Open(const OpenInfo *info) {
  if (!Reaches(info, info->Data)) return nullptr;
  // The plug-ins menu's entry works over the file panel and opens none.
  if (info->OpenFrom == OPEN_PLUGINSMENU) {
    ConvertEntry();
    return nullptr;
  }
  if (info->OpenFrom != OPEN_ANALYSE || info->Data == 0) return nullptr;
  const OpenAnalyseInfo *open = reinterpret_cast<const OpenAnalyseInfo *>(info->Data);
  if (!Reaches(open, open->Info) || open->Info == nullptr ||
      !Reaches(open->Info, open->Info->FileName))
    return nullptr;
  return OpenHostPanel<HostPanel>(open->Info->FileName, false);
}

}  // namespace

void WINAPI GetGlobalInfoW(GlobalInfo *info) {
  info->StructSize = sizeof *info;
  info->MinFarVersion = VersionInfo{3, 0, 0, OldestHostBuild, 0};
  info->Version =
      VersionInfo{VESSOR_VERSION_MAJOR, VESSOR_VERSION_MINOR, VESSOR_VERSION_PATCH, 0, 0};
  info->Guid = PluginGuid;
  info->Title = L"Vessor folder";
  info->Description = L"Lists the messages of a Vessor mail folder and copies them out as files";
  info->Author = L"The Vessor folder plug-in's developers";
  info->Instance = nullptr;
}

void WINAPI SetStartupInfoW(const PluginStartupInfo *info) {
  // Paths come from the host in UTF-16 and go to the system as such, through
  // UTF-8 in the reader: any letters, any length.
  FileSystem = Utf8PathFileCalls;
  if (info == nullptr) return;
  KeepHostServices(info);
  LoadSettingsEntry();
#ifdef VESSOR_MAIL_ACCOUNT
  OfferMailAccount();
#endif
}

void WINAPI GetPluginInfoW(PluginInfo *info) {
  // Texts the host hands over, and nothing that allocates.
  info->StructSize = sizeof *info;
  info->Flags = 0;
  info->DiskMenu = PluginMenuItem{};
  MenuEntries[0] = TextOf(MConvertEntry);
  info->PluginMenu = PluginMenuItem{&ConvertEntryGuid, MenuEntries, 1};
  ConfigEntries[0] = TextOf(MTitle);
  info->PluginConfig = PluginMenuItem{&ConfigEntryGuid, ConfigEntries, 1};
  info->CommandPrefix = nullptr;
}

// Asked of every file the user opens: a failure there claims nothing and
// shows nothing.
HANDLE WINAPI AnalyseW(const AnalyseInfo *info) {
  return Guarded<HANDLE>(nullptr, nullptr, [&]() -> HANDLE {
    if (!Reaches(info, info->BufferSize) || info->FileName == nullptr ||
        info->FileName[0] == L'\0')
      return nullptr;
    const int size = info->BufferSize < INT_MAX ? int(info->BufferSize) : INT_MAX;
    if (!IsIndexFile(static_cast<const unsigned char *>(info->Buffer), size)) return nullptr;
    return &Claimed;
  });
}

void WINAPI CloseAnalyseW(const CloseAnalyseInfo *) {}

HANDLE WINAPI OpenW(const OpenInfo *info) {
  return Guarded<HANDLE>(nullptr, TellEntryFailure, [&] { return Open(info); });
}

// Asked at every redraw: a failure shows nothing, or it would be asked again.
void WINAPI GetOpenPanelInfoW(OpenPanelInfo *info) {
  GuardedVoid(nullptr, [&] { FillPanelSettings(HostPanel::Of(info->hPanel), info); });
}

intptr_t WINAPI GetFindDataW(GetFindDataInfo *info) {
  if (!Reaches(info, info->ItemsNumber)) return 0;
  size_t count = 0;
  void *block = ListPanelEntry(&HostPanel::Of(info->hPanel)->Panel, (info->OpMode & OPM_FIND) != 0,
                               sizeof(PluginPanelItem), FillItem, &count);
  info->PanelItem = static_cast<PluginPanelItem *>(block);
  info->ItemsNumber = block != nullptr ? count : 0;
  return block != nullptr ? 1 : 0;
}

void WINAPI FreeFindDataW(const FreeFindDataInfo *info) {
  if (Reaches(info, info->PanelItem)) free(info->PanelItem);
}

intptr_t WINAPI GetFilesW(GetFilesInfo *info) {
  if (!Reaches(info, info->OpMode)) return 0;
  // A view goes out under the name a copy gives it: the item's own may not
  // be a Windows file name.
  return CopyPanelEntry(&HostPanel::Of(info->hPanel)->Panel, info->PanelItem, info->ItemsNumber,
                        RowOf, &info->DestPath, RequestOf(info->OpMode, 0, false));
}

intptr_t WINAPI ProcessPanelInputW(const ProcessPanelInputInfo *info) {
  if (!Reaches(info, info->Rec)) return 0;
  // A key whose work failed is taken: the host does nothing more with it.
  return Guarded<intptr_t>(1, TellEntryFailure, [&] {
    return ProcessPanelKey(HostPanel::Of(info->hPanel), info->hPanel, info->Rec);
  });
}

intptr_t WINAPI SetDirectoryW(const SetDirectoryInfo *info) {
  if (!Reaches(info, info->Dir)) return 0;
  const bool quiet = Reaches(info, info->OpMode) && (info->OpMode & OPM_FIND) != 0;
  return SetDirectoryEntry(&HostPanel::Of(info->hPanel)->Panel, info->Dir, quiet) ? 1 : 0;
}

void WINAPI ClosePanelW(const ClosePanelInfo *info) {
  if (Reaches(info, info->hPanel)) CloseHostPanel(HostPanel::Of(info->hPanel));
}

void WINAPI ExitFARW(const ExitInfo *) {}

intptr_t WINAPI ConfigureW(const ConfigureInfo *) { return ConfigureEntry(); }
