// The members both hosts' open-panel records name alike, filled from the
// shared panel; each adapter adds its own flags and sort order.
#pragma once

#include <cstddef>

#include "host/shared/panel_entries.h"
#include "host/shared/panel_view.h"

// Fills `info`'s host file, directory, title and info lines from the panel's
// texts (GetPanelTexts, `separator` between the messages entered; a heading
// flagged `heading`), its view modes with mode 7 at the start, sorted by
// `sort_mode`, and its key bar; the modes (of `mode_of`) and the key bar (of
// `key_bar`) are made once, at the first call. Gives the texts.
template <typename Info, typename Line, typename Flag, typename Mode, typename Bar, typename Sort>
PanelTexts FillPanelRecord(HostPanelOf<Line> *panel, wchar_t separator, Flag heading,
                           Mode (*mode_of)(const ViewMode &), Bar (*key_bar)(), Sort sort_mode,
                           Info *info) {
  static const ModeTable<Mode> modes = MakeModes(mode_of);
  static const Bar bar = key_bar();
  PanelTexts texts;
  GetPanelTexts(&panel->Panel, separator, &texts);
  for (size_t i = 0; i < texts.LineCount; ++i)
    panel->Lines[i] = Line{texts.Labels[i], texts.Data[i], texts.Separator[i] ? heading : Flag(0)};
  info->HostFile = texts.HostFile;
  info->CurDir = texts.CurDir;
  info->PanelTitle = texts.Title;
  info->InfoLines = texts.LineCount > 0 ? panel->Lines : nullptr;
  info->InfoLinesNumber = decltype(info->InfoLinesNumber)(texts.LineCount);
  info->PanelModesArray = modes.Modes;
  info->PanelModesNumber = PanelModeCount;
  info->StartPanelMode = '7';
  info->StartSortMode = sort_mode;
  info->KeyBar = &bar;
  return texts;
}
