#include "host/far3/panel_view.h"

using namespace far3;

namespace {

// Columns: N name, Z description, D and T the date and time (of last write,
// which is the message's date), S size, A attributes (read-only, hidden).
// A width of 0 shares out what the others leave.
const wchar_t Status[] = L"N,S,D,T";
const wchar_t StatusWidths[] = L"0,10,8,5";

PanelMode Mode(const wchar_t *types, const wchar_t *widths, unsigned long long flags) {
  return PanelMode{types, widths, nullptr, Status, StatusWidths, flags};
}

KeyBarLabel Blank(WORD key, DWORD control) { return KeyBarLabel{{key, control}, L"", L""}; }

KeyBarLabel Labels[] = {
    Blank(VK_F4, 0),
    Blank(VK_F6, 0),
    Blank(VK_F7, 0),
    Blank(VK_F8, 0),
    Blank(VK_F4, SHIFT_PRESSED),     // edit a new file
    Blank(VK_F6, SHIFT_PRESSED),     // rename or move the current item
    Blank(VK_F8, SHIFT_PRESSED),     // delete the current item
    Blank(VK_F6, LEFT_ALT_PRESSED),  // make links
};

}  // namespace

const PanelMode PanelModes[PanelModeCount] = {
    Mode(L"N,S,D,T", L"0,10,10,5", 0),                      // 0 alternative full
    Mode(L"N,N,N", L"0,0,0", 0),                            // 1 brief
    Mode(L"N,N", L"0,0", 0),                                // 2 medium
    Mode(L"N,S,D,T", L"0,10,8,5", 0),                       // 3 full
    Mode(L"N,S", L"0,10", 0),                               // 4 wide
    Mode(L"N,Z,S,D,T,A", L"0,0,10,10,5,6", PMFLAGS_FULLSCREEN),  // 5 detailed
    Mode(L"N,Z", L"0,0", 0),                                // 6 descriptions
    Mode(L"N,Z,D,T,S", L"0,0,8,5,8", 0),                   // 7 long descriptions
    Mode(L"N,Z,S", L"0,0,10", 0),                           // 8 owners: the sender instead
    Mode(L"N,D,T", L"0,8,5", 0),                            // 9 links: the date instead
};

const KeyBarTitles PanelKeyBar = {sizeof Labels / sizeof Labels[0], Labels};
