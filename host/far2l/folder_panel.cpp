#include "host/far2l/folder_panel.h"

#include "host/far2l/host_services.h"

using namespace far2l;

namespace {

PanelMode ModeOf(const ViewMode &mode) {
  return PanelMode{mode.Columns, mode.Widths, nullptr, mode.FullScreen ? 1 : 0, 0, 0, 0,
                   StatusColumns, StatusWidths, {0, 0}};
}

const ModeTable<PanelMode> Modes = MakeModes(ModeOf);

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

const KeyBarTitles PanelKeyBar = BlankedKeys();

}  // namespace

void FillPanelSettings(HostPanel *panel, OpenPluginInfo *info) {
  PanelTexts texts;
  GetPanelTexts(&panel->Panel, L'/', &texts);
  for (size_t i = 0; i < texts.LineCount; ++i)
    panel->Lines[i] = InfoPanelLine{texts.Labels[i], texts.Data[i], texts.Separator[i] ? 1 : 0};
  info->StructSize = sizeof *info;
  info->Flags = OPIF_SHOWPRESERVECASE | OPIF_USEFILTER | OPIF_USESORTGROUPS |
                OPIF_USEHIGHLIGHTING | OPIF_ADDDOTS;
  info->HostFile = texts.HostFile;
  info->CurDir = texts.CurDir;
  info->Format = TextOf(MTitle);
  info->PanelTitle = texts.Title;
  info->InfoLines = texts.LineCount > 0 ? panel->Lines : nullptr;
  info->InfoLinesNumber = int(texts.LineCount);
  info->PanelModesArray = Modes.Modes;
  info->PanelModesNumber = PanelModeCount;
  info->StartPanelMode = '7';
  // far2l sorts times newest first unless told to reverse: undated
  // messages, of no time, come last.
  info->StartSortMode = SM_CTIME;
  info->StartSortOrder = 0;
  info->KeyBar = &PanelKeyBar;
  if (texts.Inside) {
    // The parts are a list of their own: no message columns or start mode.
    info->StartPanelMode = 0;
    info->StartSortMode = SM_UNSORTED;
    info->StartSortOrder = 0;
  }
}
