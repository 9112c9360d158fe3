// The ten entry points the file manager calls. Each unpacks the handle into
// the plug-in's own record and hands the work to one function, which nothing
// thrown leaves (Guarded): the host catches nothing.
#include <cstdlib>
#include <cstring>

#include "folder/folder_handle.h"
#include "folder/vessor_folder.h"
#include "host/far1/far_plugin.h"
#include "host/far1/host_services.h"
#include "host/far1/panel_items.h"
#include "host/far1/panel_settings.h"

void WINAPI SetStartupInfo(const PluginStartupInfo *info) {
  if (info != nullptr) KeepHostServices(info);
}

void WINAPI GetPluginInfo(PluginInfo *info) {
  memset(info, 0, sizeof *info);
  info->StructSize = int(sizeof *info);
}

// No menu offers the plug-in; a folder opens only from a file.
HANDLE WINAPI OpenPlugin(int, INT_PTR) { return INVALID_HANDLE_VALUE; }

HANDLE WINAPI OpenFilePlugin(char *name, const unsigned char *data, int data_size) {
  return Guarded<HANDLE>(INVALID_HANDLE_VALUE, TellEntryFailure, [&] {
    if (name == nullptr || name[0] == '\0' || !IsIndexFile(data, data_size))
      return INVALID_HANDLE_VALUE;
    FolderHandle *folder = CreateFolderHandle(name);
    return folder != nullptr ? HANDLE(folder) : INVALID_HANDLE_VALUE;
  });
}

void WINAPI GetOpenPluginInfo(HANDLE plugin, OpenPluginInfo *info) {
  GuardedVoid(nullptr, [&] { FillPanelSettings(static_cast<FolderHandle *>(plugin), info); });
}

int WINAPI GetFindData(HANDLE plugin, PluginPanelItem **items, int *items_number, int) {
  return Guarded(FALSE, TellEntryFailure, [&] {
    return ListPanelItems(static_cast<FolderHandle *>(plugin), items, items_number);
  });
}

void WINAPI FreeFindData(HANDLE, PluginPanelItem *items, int) { free(items); }

int WINAPI GetFiles(HANDLE plugin, PluginPanelItem *items, int items_number, int, char *dest_path,
                    int) {
  return Guarded(FALSE, TellEntryFailure, [&] {
    return CopyPanelItems(static_cast<FolderHandle *>(plugin), items, items_number, dest_path);
  });
}

void WINAPI ClosePlugin(HANDLE plugin) {
  GuardedVoid(nullptr, [&] { ReleaseFolderHandle(static_cast<FolderHandle *>(plugin)); });
}

void WINAPI ExitFAR(void) {}
