// The entry points of far2l's wide plug-in interface. The host finds them by
// their plain names; each unpacks the panel into the plug-in's own record
// and hands the work to one function, which nothing thrown leaves (Guarded):
// the host catches nothing.
#include <cstdlib>

#include "folder/vessor_folder.h"
#include "host/far2l/console_keys.h"
#include "host/far2l/far2l_plugin.h"
#include "host/far2l/folder_panel.h"
#include "host/far2l/host_services.h"
#include "host/far2l/panel_items.h"
#include "host/shared/account_save.h"

using namespace far2l;

#define EXPORTED extern "C" __attribute__((visibility("default")))

namespace {

// The host reads the menu entries' texts after GetPluginInfoW.
const wchar_t *ConfigEntries[1];
const wchar_t *MenuEntries[1];

}  // namespace

EXPORTED int WINAPI GetMinFarVersionW() { return FarVersion2_6; }

EXPORTED void WINAPI SetStartupInfoW(const PluginStartupInfo *info) {
  KeepHostServices(info);
  LoadSettingsEntry();
  UseHostConsoleKeys();
#ifdef VESSOR_MAIL_ACCOUNT
  OfferMailAccount();
#endif
}

EXPORTED void WINAPI GetPluginInfoW(PluginInfo *info) {
  info->StructSize = sizeof *info;
  info->Flags = 0;
  info->DiskMenuStringsNumber = 0;
  MenuEntries[0] = TextOf(MConvertEntry);
  info->PluginMenuStrings = MenuEntries;
  info->PluginMenuStringsNumber = 1;
  ConfigEntries[0] = TextOf(MTitle);
  info->PluginConfigStrings = ConfigEntries;
  info->PluginConfigStringsNumber = 1;
  info->CommandPrefix = nullptr;
}

// A file is claimed when its leading bytes pass the index file's test. The
// host takes any handle but INVALID_HANDLE_VALUE as a claim, null included.
// Enter on a message offers the file it was just written to, its stand-in:
// its parts.
EXPORTED HANDLE WINAPI OpenFilePluginW(const wchar_t *name, const unsigned char *data,
                                       int data_size, int) {
  if (name == nullptr || name[0] == L'\0') return INVALID_HANDLE_VALUE;
  return Guarded<HANDLE>(INVALID_HANDLE_VALUE, TellEntryFailure, [&] {
    HostPanel *panel = OpenHostPanel<HostPanel>(name, true);
    if (panel == nullptr && data != nullptr && data_size > 0 && IsIndexFile(data, data_size))
      panel = OpenHostPanel<HostPanel>(name, false);
    return panel != nullptr ? HANDLE(panel) : INVALID_HANDLE_VALUE;
  });
}

// The plug-ins menu's one entry converts whole folders; no panel opens.
EXPORTED HANDLE WINAPI OpenPluginW(int open_from, INT_PTR) {
  if (open_from == OPEN_PLUGINSMENU) ConvertEntry();
  return INVALID_HANDLE_VALUE;
}

// Asked at every redraw: a failure shows nothing, or it would be asked again.
EXPORTED void WINAPI GetOpenPluginInfoW(HANDLE panel, OpenPluginInfo *info) {
  GuardedVoid(nullptr, [&] { FillPanelSettings(HostPanel::Of(panel), info); });
}

EXPORTED int WINAPI GetFindDataW(HANDLE handle, PluginPanelItem **items, int *count,
                                 int op_mode) {
  size_t listed = 0;
  void *block = ListPanelEntry(&HostPanel::Of(handle)->Panel, (op_mode & OPM_FIND) != 0,
                               sizeof(PluginPanelItem), FillItem, &listed);
  *items = static_cast<PluginPanelItem *>(block);
  *count = block != nullptr ? int(listed) : 0;
  return block != nullptr ? TRUE : FALSE;
}

EXPORTED void WINAPI FreeFindDataW(HANDLE, PluginPanelItem *items, int) { free(items); }

EXPORTED int WINAPI GetFilesW(HANDLE handle, PluginPanelItem *items, int count, int,
                              const wchar_t **dest, int op_mode) {
  // A view goes out under the item's own name, which the viewer's title
  // shows; Shift+F2's command on the whole panel asks nothing.
  CopyRequest request = RequestOf(op_mode, OPM_TOPLEVEL, true);
  request.Opening = TakeOpeningKey(HostPanel::Of(handle)) && request.Viewed;
  return CopyPanelEntry(&HostPanel::Of(handle)->Panel, items, size_t(count > 0 ? count : 0), RowOf,
                        dest, request);
}

// Every key comes here before the host acts on it: Enter and Ctrl+PgDn on a
// message are noted for the view they make (NoteOpeningKey); the host does
// the rest.
EXPORTED int WINAPI ProcessKeyW(HANDLE handle, int key, unsigned control) {
  GuardedVoid(nullptr, [&] { NoteOpeningKey(HostPanel::Of(handle), key, control); });
  return FALSE;
}

EXPORTED int WINAPI SetDirectoryW(HANDLE panel, const wchar_t *dir, int op_mode) {
  return SetDirectoryEntry(&HostPanel::Of(panel)->Panel, dir, (op_mode & OPM_FIND) != 0) ? TRUE
                                                                                         : FALSE;
}

EXPORTED void WINAPI ClosePluginW(HANDLE panel) { CloseHostPanel(HostPanel::Of(panel)); }

EXPORTED int WINAPI ConfigureW(int) { return ConfigureEntry(); }
