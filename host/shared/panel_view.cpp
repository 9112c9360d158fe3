#include "host/shared/panel_view.h"

const wchar_t StatusColumns[] = L"N,S,D,T";
const wchar_t StatusWidths[] = L"0,10,8,5";

const ViewMode ViewModes[PanelModeCount] = {
    {L"N,S,D,T", L"0,10,10,5", false},      // 0 alternative full
    {L"N,N,N", L"0,0,0", false},            // 1 brief
    {L"N,N", L"0,0", false},                // 2 medium
    {L"N,S,D,T", L"0,10,8,5", false},       // 3 full
    {L"N,S", L"0,10", false},               // 4 wide
    {L"N,Z,S,D,T,A", L"0,0,10,10,5,6", true},  // 5 detailed
    {L"N,Z", L"0,0", false},                // 6 descriptions
    {L"N,Z,D,T,S", L"0,0,8,5,8", false},    // 7 long descriptions
    {L"N,Z,S", L"0,0,10", false},           // 8 owners: the sender instead
    {L"N,D,T", L"0,8,5", false},            // 9 links: the date instead
};

const BlankKey BlankKeys[BlankKeyCount] = {
    {4, KeyAlone},   {6, KeyAlone},   {7, KeyAlone}, {8, KeyAlone},
    {4, KeyShifted},  // edit a new file
    {6, KeyShifted},  // rename or move the current item
    {8, KeyShifted},  // delete the current item
    {6, KeyAlt},      // make links
};
