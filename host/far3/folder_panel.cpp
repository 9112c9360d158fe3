#include "host/far3/folder_panel.h"

#include <cstdlib>

#include "host/far3/host_services.h"
#include "host/far3/panel_items.h"

using namespace far3;

namespace {

PanelMode ModeOf(const ViewMode &mode) {
  return PanelMode{mode.Columns, mode.Widths, mode.Titles, StatusColumns, StatusWidths,
                   mode.FullScreen ? PMFLAGS_FULLSCREEN : 0ULL};
}

KeyBarLabel Labels[BlankKeyCount];

KeyBarTitles BlankedKeys() {
  const DWORD shifts[] = {0, SHIFT_PRESSED, LEFT_ALT_PRESSED};
  for (size_t i = 0; i < BlankKeyCount; ++i)
    Labels[i] = KeyBarLabel{{WORD(VK_F1 + BlankKeys[i].Number - 1), shifts[BlankKeys[i].Shift]},
                            L"", L""};
  return KeyBarTitles{BlankKeyCount, Labels};
}

}  // namespace

void FillPanelSettings(HostPanel *panel, OpenPanelInfo *info) {
  FillPanelRecord(panel, L'\\', uint64_t(IPLFLAGS_SEPARATOR), ModeOf, BlankedKeys, SM_CTIME, info);
  info->StructSize = sizeof *info;
  // ".." on every list, as far2l's: out of the folder, or up from a message.
  info->Flags = OPIF_SHOWPRESERVECASE | OPIF_ADDDOTS;
  info->StartSortOrder = 1;
}

intptr_t ProcessPanelKey(HostPanel *panel, HANDLE handle, const INPUT_RECORD &input) {
  if (input.EventType != KEY_EVENT || !input.Event.KeyEvent.bKeyDown ||
      InsideMessage(panel->Panel.Inside))
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
                       EnterPanelRow(&panel->Panel, RowOf(*get.Item));
  free(block);
  if (!entered) return 0;
  ControlPanel(handle, FCTL_UPDATEPANEL, 0, nullptr);
  PanelRedrawInfo redraw = {sizeof redraw, 0, 0};
  ControlPanel(handle, FCTL_REDRAWPANEL, 0, &redraw);
  return 1;
}
