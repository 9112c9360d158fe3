// How the folder's panel looks in every host: its ten view modes and the
// keys its key bar blanks.
#pragma once

#include <cstddef>

// Mode N is the view of Ctrl+N. Every mode shows what a message has: its
// name, description, date and size (no owners, links or packed sizes); mode
// 7, the start view, shows them all in half the screen, beside the info
// panel of Ctrl+L. Column titles are the host's own, in its language.
// Columns: N name, Z description, D and T the date and time (of last write,
// which is the message's date), S size, A attributes (read-only, hidden). A
// width of 0 shares out what the others leave. C0, C1... are the rows' own
// columns (PanelRow::Columns), titled by Titles.
struct ViewMode {
  const wchar_t *Columns, *Widths;
  bool FullScreen;
  const wchar_t *const *Titles = nullptr;  // one per column; null: the host's own
};

const size_t PanelModeCount = 10;
extern const ViewMode ViewModes[PanelModeCount];
extern const wchar_t StatusColumns[], StatusWidths[];

// The ten modes in a host's records, each made by `make`.
template <typename Mode>
struct ModeTable {
  Mode Modes[PanelModeCount];
};
template <typename Mode>
ModeTable<Mode> MakeModes(Mode (*make)(const ViewMode &)) {
  ModeTable<Mode> table;
  for (size_t i = 0; i < PanelModeCount; ++i) table.Modes[i] = make(ViewModes[i]);
  return table;
}

// The keys that would change the folder (edit, move, make a directory,
// delete) show no label, since the folder is only ever read: the F-key's
// number and whether with Shift or Alt.
enum KeyShift { KeyAlone, KeyShifted, KeyAlt };
struct BlankKey {
  int Number;
  KeyShift Shift;
};
const size_t BlankKeyCount = 8;
extern const BlankKey BlankKeys[BlankKeyCount];
