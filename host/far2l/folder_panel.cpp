#include "host/far2l/folder_panel.h"

#include "host/far2l/host_services.h"

using namespace far2l;

namespace {

PanelMode ModeOf(const ViewMode &mode) {
  return PanelMode{mode.Columns, mode.Widths, mode.Titles, mode.FullScreen ? 1 : 0, 0, 0, 0,
                   StatusColumns, StatusWidths, {0, 0}};
}

// "" blanks a label; null keeps the host's.
KeyBarTitles BlankedKeys() {
  KeyBarTitles bar = {};
  for (const BlankKey &key : BlankKeys) {
    const wchar_t **titles = key.Shift == KeyShifted ? bar.ShiftTitles
                             : key.Shift == KeyAlt   ? bar.AltTitles
                                                     : bar.Titles;
    titles[key.Number - 1] = L"";
  }
  return bar;
}

}  // namespace

void FillPanelSettings(HostPanel *panel, OpenPluginInfo *info) {
  // far2l sorts times newest first unless told to reverse: undated
  // messages, of no time, come last.
  const PanelTexts texts = FillPanelRecord(panel, L'/', 1, ModeOf, BlankedKeys, SM_CTIME, info);
  info->StructSize = sizeof *info;
  info->Flags = OPIF_SHOWPRESERVECASE | OPIF_USEFILTER | OPIF_USESORTGROUPS | OPIF_USEHIGHLIGHTING |
                OPIF_ADDDOTS;
  info->Format = TextOf(MTitle);
  info->StartSortOrder = 0;
  if (texts.Inside) {
    // The parts are a list of their own: no message columns or start mode.
    info->StartPanelMode = 0;
    info->StartSortMode = SM_UNSORTED;
    info->StartSortOrder = 0;
  }
}

namespace {

// The panel whose last key opens the item under the cursor; the next key,
// or the copy it makes, clears it.
const HostPanel *OpeningPanel = nullptr;

}  // namespace

void NoteOpeningKey(HostPanel *panel, int key, unsigned control) {
  const unsigned held = control & (PKF_CONTROL | PKF_ALT | PKF_SHIFT);
  const bool opening = !InsideMessage(panel->Panel.Inside) &&
                       ((key == VK_RETURN && held == 0) || (key == VK_NEXT && held == PKF_CONTROL));
  OpeningPanel = opening ? panel : nullptr;
}

bool TakeOpeningKey(HostPanel *panel) {
  const bool opening = OpeningPanel == panel;
  OpeningPanel = nullptr;
  return opening;
}
