#include "host/far2l/folder_panel.h"

#include <ctime>
#include <cwchar>

#include "host/far2l/host_services.h"

using namespace far2l;

namespace {

// Seconds from 1601, where FILETIME counts, to 1970, where time_t does.
const uint64_t UnixEpochSeconds = 11644473600ull;

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

// The date as the panel's date column shows it: in local time.
bool WriteLocalDate(uint64_t ticks, wchar_t *out) {
  const time_t seconds = time_t(ticks / 10000000 - UnixEpochSeconds);
  tm parts;
  if (ticks / 10000000 < UnixEpochSeconds || localtime_r(&seconds, &parts) == nullptr)
    return false;
  swprintf(out, InfoTextSize, L"%04d-%02d-%02d %02d:%02d", parts.tm_year + 1900, parts.tm_mon + 1,
           parts.tm_mday, parts.tm_hour, parts.tm_min);
  return true;
}

HostPanel *OpenHostPanel(const wchar_t *path, bool parts) {
  HostPanel *panel = new HostPanel();
  if (parts ? OpenPartsPanel(&panel->Panel, path) : OpenFolderPanel(&panel->Panel, path))
    return panel;
  CloseHostPanel(panel);
  return nullptr;
}

void CloseHostPanel(HostPanel *panel) {
  CloseFolderPanel(&panel->Panel);
  delete panel;
}

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

void NoteOpeningKey(HostPanel *panel, int key, unsigned control) {
  const unsigned held = control & (PKF_CONTROL | PKF_ALT | PKF_SHIFT);
  panel->Opening = !InsideMessage(panel->Panel.Inside) &&
                   ((key == VK_RETURN && held == 0) || (key == VK_NEXT && held == PKF_CONTROL));
}

bool TakeOpeningKey(HostPanel *panel) {
  const bool opening = panel->Opening;
  panel->Opening = false;
  return opening;
}
