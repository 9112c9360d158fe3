#include "host/far2l/panel_view.h"

using namespace far2l;

namespace {

// Columns: N name, Z description, D and T the date and time (of last write,
// which is the message's date), S size, A attributes (read-only, hidden).
// A width of 0 shares out what the others leave.
const wchar_t Status[] = L"N,S,D,T";
const wchar_t StatusWidths[] = L"0,10,8,5";

PanelMode Mode(const wchar_t *types, const wchar_t *widths, int full_screen) {
  return PanelMode{types, widths, nullptr, full_screen, 0, 0, 0, Status, StatusWidths, {0, 0}};
}

// "" blanks a label; null keeps the host's. F4, F6, F7 and F8; Shift+F4,
// Shift+F6, Shift+F8; Alt+F6.
KeyBarTitles BlankedKeys() {
  KeyBarTitles bar = {};
  bar.Titles[3] = bar.Titles[5] = bar.Titles[6] = bar.Titles[7] = L"";
  bar.ShiftTitles[3] = bar.ShiftTitles[5] = bar.ShiftTitles[7] = L"";
  bar.AltTitles[5] = L"";
  return bar;
}

}  // namespace

const PanelMode PanelModes[PanelModeCount] = {
    Mode(L"N,S,D,T", L"0,10,10,5", 0),             // 0 alternative full
    Mode(L"N,N,N", L"0,0,0", 0),                   // 1 brief
    Mode(L"N,N", L"0,0", 0),                       // 2 medium
    Mode(L"N,S,D,T", L"0,10,8,5", 0),              // 3 full
    Mode(L"N,S", L"0,10", 0),                      // 4 wide
    Mode(L"N,Z,S,D,T,A", L"0,0,10,10,5,6", 1),     // 5 detailed
    Mode(L"N,Z", L"0,0", 0),                       // 6 descriptions
    Mode(L"N,Z,D,T,S", L"0,0,8,5,8", 0),           // 7 long descriptions
    Mode(L"N,Z,S", L"0,0,10", 0),                  // 8 owners: the sender instead
    Mode(L"N,D,T", L"0,8,5", 0),                   // 9 links: the date instead
};

const KeyBarTitles PanelKeyBar = BlankedKeys();
