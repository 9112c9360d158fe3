// The records and entry points of far2l 2.6.5's wide plug-in interface, as
// far as this plug-in uses them. far2l keeps the FAR 2 call model (no GUIDs,
// int arguments, StructSize only in the top-level records), packs every
// record to 2 bytes and has a 4-byte wchar_t; each size and offset is
// checked below against the values the host was measured with (x86_64).
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/win_types.h"

namespace far2l {

#pragma pack(push, 2)

struct FAR_FIND_DATA {
  FILETIME ftCreationTime;
  FILETIME ftLastAccessTime;
  FILETIME ftLastWriteTime;
  uint64_t nPhysicalSize;
  uint64_t nFileSize;
  DWORD dwFileAttributes;
  DWORD dwUnixMode;
  const wchar_t *lpwszFileName;
};

struct PluginPanelItem {
  FAR_FIND_DATA FindData;
  DWORD_PTR UserData;
  DWORD Flags;
  DWORD NumberOfLinks;
  const wchar_t *Description;
  const wchar_t *Owner;
  const wchar_t *Group;
  const wchar_t *const *CustomColumnData;
  int CustomColumnNumber;
  DWORD CRC32;
  DWORD_PTR Reserved[2];
};

struct InfoPanelLine {
  const wchar_t *Text;
  const wchar_t *Data;
  int Separator;
};

struct PanelMode {
  const wchar_t *ColumnTypes;
  const wchar_t *ColumnWidths;
  const wchar_t *const *ColumnTitles;
  int FullScreen;
  int DetailedStatus;
  int AlignExtensions;
  int CaseConversion;
  const wchar_t *StatusColumnTypes;
  const wchar_t *StatusColumnWidths;
  DWORD Reserved[2];
};

struct KeyBarTitles {
  const wchar_t *Titles[12];
  const wchar_t *CtrlTitles[12];
  const wchar_t *AltTitles[12];
  const wchar_t *ShiftTitles[12];
  const wchar_t *CtrlShiftTitles[12];
  const wchar_t *AltShiftTitles[12];
  const wchar_t *CtrlAltTitles[12];
};

struct OpenPluginInfo {
  int StructSize;
  DWORD Flags;
  const wchar_t *HostFile;
  const wchar_t *CurDir;
  const wchar_t *Format;
  const wchar_t *PanelTitle;
  const InfoPanelLine *InfoLines;
  int InfoLinesNumber;
  const wchar_t *const *DescrFiles;
  int DescrFilesNumber;
  const PanelMode *PanelModesArray;
  int PanelModesNumber;
  int StartPanelMode;
  int StartSortMode;
  int StartSortOrder;
  const KeyBarTitles *KeyBar;
  const wchar_t *ShortcutData;
  long Reserved;
};

struct PluginInfo {
  int StructSize;
  DWORD Flags;
  const wchar_t *const *DiskMenuStrings;
  int *Reserved0;
  int DiskMenuStringsNumber;
  const wchar_t *const *PluginMenuStrings;
  int PluginMenuStringsNumber;
  const wchar_t *const *PluginConfigStrings;
  int PluginConfigStringsNumber;
  const wchar_t *CommandPrefix;
  DWORD SysID;
};

struct FarMenuItem {
  const wchar_t *Text;
  int Selected;
  int Checked;
  int Separator;
};

struct FarMenuItemEx {
  DWORD Flags;
  const wchar_t *Text;
  DWORD AccelKey;
  DWORD Reserved;
  DWORD_PTR UserData;
};

struct FarListItem;
struct FarList;

struct FarDialogItem {
  int Type;
  int X1, Y1, X2, Y2;
  int Focus;
  union {
    DWORD_PTR Reserved;
    int Selected;
    const wchar_t *History;
    const wchar_t *Mask;
    FarList *ListItems;
  } Param;
  DWORD Flags;
  int DefaultButton;
  const wchar_t *PtrData;
  size_t MaxLen;
};

typedef INT_PTR LONG_PTR;
typedef LONG_PTR(WINAPI *FARWINDOWPROC)(HANDLE hDlg, int Msg, int Param1, LONG_PTR Param2);

typedef int(WINAPI *FARAPIMENU)(INT_PTR PluginNumber, int X, int Y, int MaxHeight, DWORD Flags,
                                const wchar_t *Title, const wchar_t *Bottom,
                                const wchar_t *HelpTopic, const int *BreakKeys, int *BreakCode,
                                const FarMenuItem *Item, int ItemsNumber);
typedef int(WINAPI *FARAPIMESSAGE)(INT_PTR PluginNumber, DWORD Flags, const wchar_t *HelpTopic,
                                   const wchar_t *const *Items, int ItemsNumber,
                                   int ButtonsNumber);
typedef const wchar_t *(WINAPI *FARAPIGETMSG)(INT_PTR PluginNumber, int MsgId);
typedef int(WINAPI *FARAPICONTROL)(HANDLE hPlugin, int Command, int Param1, LONG_PTR Param2);
typedef HANDLE(WINAPI *FARAPISAVESCREEN)(int X1, int Y1, int X2, int Y2);
typedef void(WINAPI *FARAPIRESTORESCREEN)(HANDLE hScreen);
typedef int(WINAPI *FARAPIINPUTBOX)(const wchar_t *Title, const wchar_t *SubTitle,
                                    const wchar_t *HistoryName, const wchar_t *SrcText,
                                    wchar_t *DestText, int DestLength, const wchar_t *HelpTopic,
                                    DWORD Flags);
typedef INT_PTR(WINAPI *FARAPIADVCONTROL)(INT_PTR ModuleNumber, int Command, void *Param1,
                                          void *Param2);
typedef HANDLE(WINAPI *FARAPIDIALOGINIT)(INT_PTR PluginNumber, int X1, int Y1, int X2, int Y2,
                                         const wchar_t *HelpTopic, FarDialogItem *Item,
                                         unsigned int ItemsNumber, DWORD Reserved, DWORD Flags,
                                         FARWINDOWPROC DlgProc, LONG_PTR Param);
typedef int(WINAPI *FARAPIDIALOGRUN)(HANDLE hDlg);
typedef void(WINAPI *FARAPIDIALOGFREE)(HANDLE hDlg);
typedef LONG_PTR(WINAPI *FARAPISENDDLGMESSAGE)(HANDLE hDlg, int Msg, int Param1, LONG_PTR Param2);
typedef BOOL(WINAPI *FARAPISHOWHELP)(const wchar_t *ModuleName, const wchar_t *Topic, DWORD Flags);

// The services the plug-in does not call are kept as untyped slots, so that
// the record's layout still matches the host's.
typedef void (*FARAPIUNUSED)();

struct PluginStartupInfo {
  int StructSize;
  const wchar_t *ModuleName;
  INT_PTR ModuleNumber;
  const wchar_t *RootKey;
  FARAPIMENU Menu;
  FARAPIMESSAGE Message;
  FARAPIGETMSG GetMsg;
  FARAPICONTROL Control;
  FARAPISAVESCREEN SaveScreen;
  FARAPIRESTORESCREEN RestoreScreen;
  FARAPIUNUSED GetDirList;
  FARAPIUNUSED GetPluginDirList;
  FARAPIUNUSED FreeDirList;
  FARAPIUNUSED FreePluginDirList;
  FARAPIUNUSED Viewer;
  FARAPIUNUSED Editor;
  FARAPIUNUSED CmpName;
  FARAPIUNUSED Text;
  FARAPIUNUSED EditorControl;
  const void *FSF;  // the standard functions' table, which the plug-in never calls
  FARAPISHOWHELP ShowHelp;
  FARAPIADVCONTROL AdvControl;
  FARAPIINPUTBOX InputBox;
  FARAPIDIALOGINIT DialogInit;
  FARAPIDIALOGRUN DialogRun;
  FARAPIDIALOGFREE DialogFree;
  FARAPISENDDLGMESSAGE SendDlgMessage;
  FARWINDOWPROC DefDlgProc;
  DWORD_PTR Reserved;
  FARAPIUNUSED ViewerControl;
  FARAPIUNUSED PluginsControl;
  FARAPIUNUSED FileFilterControl;
  FARAPIUNUSED RegExpControl;
};

#pragma pack(pop)

// Checks each record's size and the offsets the host was measured with.
#define FAR2L_SIZE(record, size) static_assert(sizeof(record) == size, #record)
#define FAR2L_AT(record, member, at) \
  static_assert(offsetof(record, member) == at, #record "::" #member)
FAR2L_SIZE(FAR_FIND_DATA, 56);
FAR2L_AT(FAR_FIND_DATA, ftLastWriteTime, 16);
FAR2L_AT(FAR_FIND_DATA, nPhysicalSize, 24);
FAR2L_AT(FAR_FIND_DATA, nFileSize, 32);
FAR2L_AT(FAR_FIND_DATA, dwFileAttributes, 40);
FAR2L_AT(FAR_FIND_DATA, dwUnixMode, 44);
FAR2L_AT(FAR_FIND_DATA, lpwszFileName, 48);
FAR2L_SIZE(PluginPanelItem, 128);
FAR2L_AT(PluginPanelItem, UserData, 56);
FAR2L_AT(PluginPanelItem, Flags, 64);
FAR2L_AT(PluginPanelItem, NumberOfLinks, 68);
FAR2L_AT(PluginPanelItem, Description, 72);
FAR2L_AT(PluginPanelItem, Owner, 80);
FAR2L_AT(PluginPanelItem, Group, 88);
FAR2L_AT(PluginPanelItem, CustomColumnData, 96);
FAR2L_AT(PluginPanelItem, CustomColumnNumber, 104);
FAR2L_AT(PluginPanelItem, CRC32, 108);
FAR2L_AT(PluginPanelItem, Reserved, 112);
FAR2L_SIZE(InfoPanelLine, 20);
FAR2L_AT(InfoPanelLine, Data, 8);
FAR2L_AT(InfoPanelLine, Separator, 16);
FAR2L_SIZE(PanelMode, 64);
FAR2L_AT(PanelMode, ColumnTitles, 16);
FAR2L_AT(PanelMode, FullScreen, 24);
FAR2L_AT(PanelMode, CaseConversion, 36);
FAR2L_AT(PanelMode, StatusColumnTypes, 40);
FAR2L_AT(PanelMode, StatusColumnWidths, 48);
FAR2L_AT(PanelMode, Reserved, 56);
FAR2L_SIZE(KeyBarTitles, 672);
FAR2L_AT(KeyBarTitles, CtrlTitles, 96);
FAR2L_AT(KeyBarTitles, AltTitles, 192);
FAR2L_AT(KeyBarTitles, ShiftTitles, 288);
FAR2L_AT(KeyBarTitles, CtrlShiftTitles, 384);
FAR2L_AT(KeyBarTitles, AltShiftTitles, 480);
FAR2L_AT(KeyBarTitles, CtrlAltTitles, 576);
FAR2L_SIZE(OpenPluginInfo, 112);
FAR2L_AT(OpenPluginInfo, Flags, 4);
FAR2L_AT(OpenPluginInfo, HostFile, 8);
FAR2L_AT(OpenPluginInfo, CurDir, 16);
FAR2L_AT(OpenPluginInfo, Format, 24);
FAR2L_AT(OpenPluginInfo, PanelTitle, 32);
FAR2L_AT(OpenPluginInfo, InfoLines, 40);
FAR2L_AT(OpenPluginInfo, InfoLinesNumber, 48);
FAR2L_AT(OpenPluginInfo, DescrFiles, 52);
FAR2L_AT(OpenPluginInfo, DescrFilesNumber, 60);
FAR2L_AT(OpenPluginInfo, PanelModesArray, 64);
FAR2L_AT(OpenPluginInfo, PanelModesNumber, 72);
FAR2L_AT(OpenPluginInfo, StartPanelMode, 76);
FAR2L_AT(OpenPluginInfo, StartSortMode, 80);
FAR2L_AT(OpenPluginInfo, StartSortOrder, 84);
FAR2L_AT(OpenPluginInfo, KeyBar, 88);
FAR2L_AT(OpenPluginInfo, ShortcutData, 96);
FAR2L_AT(OpenPluginInfo, Reserved, 104);
FAR2L_SIZE(PluginInfo, 64);
FAR2L_AT(PluginInfo, DiskMenuStrings, 8);
FAR2L_AT(PluginInfo, DiskMenuStringsNumber, 24);
FAR2L_AT(PluginInfo, PluginMenuStrings, 28);
FAR2L_AT(PluginInfo, PluginMenuStringsNumber, 36);
FAR2L_AT(PluginInfo, PluginConfigStrings, 40);
FAR2L_AT(PluginInfo, PluginConfigStringsNumber, 48);
FAR2L_AT(PluginInfo, CommandPrefix, 52);
FAR2L_AT(PluginInfo, SysID, 60);
FAR2L_SIZE(FarMenuItem, 20);
FAR2L_AT(FarMenuItem, Selected, 8);
FAR2L_AT(FarMenuItem, Checked, 12);
FAR2L_AT(FarMenuItem, Separator, 16);
FAR2L_SIZE(FarMenuItemEx, 28);
FAR2L_AT(FarMenuItemEx, Text, 4);
FAR2L_AT(FarMenuItemEx, AccelKey, 12);
FAR2L_AT(FarMenuItemEx, UserData, 20);
FAR2L_SIZE(FarDialogItem, 56);
FAR2L_AT(FarDialogItem, Focus, 20);
FAR2L_AT(FarDialogItem, Param, 24);
FAR2L_AT(FarDialogItem, Flags, 32);
FAR2L_AT(FarDialogItem, DefaultButton, 36);
FAR2L_AT(FarDialogItem, PtrData, 40);
FAR2L_AT(FarDialogItem, MaxLen, 48);
FAR2L_SIZE(PluginStartupInfo, 260);
FAR2L_AT(PluginStartupInfo, ModuleName, 4);
FAR2L_AT(PluginStartupInfo, ModuleNumber, 12);
FAR2L_AT(PluginStartupInfo, RootKey, 20);
FAR2L_AT(PluginStartupInfo, Menu, 28);
FAR2L_AT(PluginStartupInfo, Message, 36);
FAR2L_AT(PluginStartupInfo, GetMsg, 44);
FAR2L_AT(PluginStartupInfo, Control, 52);
FAR2L_AT(PluginStartupInfo, SaveScreen, 60);
FAR2L_AT(PluginStartupInfo, RestoreScreen, 68);
FAR2L_AT(PluginStartupInfo, Viewer, 108);
FAR2L_AT(PluginStartupInfo, FSF, 148);
FAR2L_AT(PluginStartupInfo, ShowHelp, 156);
FAR2L_AT(PluginStartupInfo, AdvControl, 164);
FAR2L_AT(PluginStartupInfo, InputBox, 172);
FAR2L_AT(PluginStartupInfo, DialogInit, 180);
FAR2L_AT(PluginStartupInfo, DialogRun, 188);
FAR2L_AT(PluginStartupInfo, DialogFree, 196);
FAR2L_AT(PluginStartupInfo, SendDlgMessage, 204);
FAR2L_AT(PluginStartupInfo, DefDlgProc, 212);
FAR2L_AT(PluginStartupInfo, Reserved, 220);
FAR2L_AT(PluginStartupInfo, ViewerControl, 228);
FAR2L_AT(PluginStartupInfo, RegExpControl, 252);

// far2l's console input, which its executable exports as WINPORT_* calls.
// These records are not the plug-in headers': they keep natural alignment,
// the event's union at 8. Read from the host's queue by a probe plug-in of
// our own while keys were pressed in 2.6.5: a 32-byte record, the type 1 at
// 0; a key's down flag at 8, its repeat count at 12, virtual key code at 14
// (Esc 0x1B, Enter 0x0D), scan code at 16, character (4 bytes) at 20 and
// control keys at 24 (Ctrl 0x08).
struct KEY_EVENT_RECORD {
  BOOL bKeyDown;
  WORD wRepeatCount;
  WORD wVirtualKeyCode;
  WORD wVirtualScanCode;
  wchar_t UnicodeChar;
  DWORD dwControlKeyState;
};

struct INPUT_RECORD {
  WORD EventType;
  union alignas(8) {
    KEY_EVENT_RECORD KeyEvent;
    unsigned char Other[24];  // the other events, which the plug-in only passes on
  } Event;
};

FAR2L_SIZE(KEY_EVENT_RECORD, 20);
FAR2L_AT(KEY_EVENT_RECORD, wRepeatCount, 4);
FAR2L_AT(KEY_EVENT_RECORD, wVirtualKeyCode, 6);
FAR2L_AT(KEY_EVENT_RECORD, wVirtualScanCode, 8);
FAR2L_AT(KEY_EVENT_RECORD, UnicodeChar, 12);
FAR2L_AT(KEY_EVENT_RECORD, dwControlKeyState, 16);
FAR2L_SIZE(INPUT_RECORD, 32);
FAR2L_AT(INPUT_RECORD, Event, 8);

const WORD KEY_EVENT = 1;
const WORD VK_ESCAPE = 0x1B;
const int VK_RETURN = 0x0D, VK_NEXT = 0x22;

// ProcessKeyW's control state: the modifiers held, and the call made before
// the host's own handling of the key.
enum : unsigned {
  PKF_CONTROL = 0x1,
  PKF_ALT = 0x2,
  PKF_SHIFT = 0x4,
  PKF_PREPROCESS = 0x80000,
};

// The calls' handle is a console object, null for far2l's own: another value
// (-10, Windows's STD_INPUT_HANDLE) crashed 2.6.5. Peeking an empty queue
// answers at once with none; reading waits for an event, so it follows a
// peek. Events written back reach the host as if typed.
typedef BOOL (*WinportPeekInput)(HANDLE console, INPUT_RECORD *records, DWORD size, DWORD *got);
typedef BOOL (*WinportReadInput)(HANDLE console, INPUT_RECORD *records, DWORD size, DWORD *got);
typedef BOOL (*WinportWriteInput)(HANDLE console, const INPUT_RECORD *records, DWORD count,
                                  DWORD *written);

#undef FAR2L_SIZE
#undef FAR2L_AT

// The wide host's record sizes, checked before members past the first.
const int StartupInfoSize = 260;

// The FAR 2 call model's constants that the plug-in uses (far2l's values).
enum : int {
  OPM_SILENT = 0x0001,
  OPM_FIND = 0x0002,
  OPM_VIEW = 0x0004,
  OPM_EDIT = 0x0008,
  OPM_TOPLEVEL = 0x0010,
  OPM_DESCR = 0x0020,
  OPM_QUICKVIEW = 0x0040,
  OPM_PGDN = 0x0080,
  OPM_COMMANDS = 0x0100,
};

enum : DWORD {
  OPIF_USEFILTER = 0x0001,
  OPIF_USESORTGROUPS = 0x0002,
  OPIF_USEHIGHLIGHTING = 0x0004,
  OPIF_ADDDOTS = 0x0008,
  OPIF_SHOWPRESERVECASE = 0x0100,
  OPIF_USEATTRHIGHLIGHTING = 0x8000,
};

enum : DWORD {
  PPIF_USERDATA = 0x20000000,
  PPIF_SELECTED = 0x40000000,
};

enum : int {
  SM_UNSORTED = 1,
  SM_NAME = 2,
  SM_EXT = 3,
  SM_MTIME = 4,
  SM_CTIME = 5,
  SM_ATIME = 6,
  SM_SIZE = 7,
  SM_DESCR = 8,
};

enum : DWORD {
  FMSG_WARNING = 0x00000001,
  FMSG_ERRORTYPE = 0x00000002,
  FMSG_LEFTALIGN = 0x00000010,
  FMSG_ALLINONE = 0x00000020,
  FMSG_MB_OK = 0x00010000,
  FMSG_MB_OKCANCEL = 0x00020000,
  FMSG_MB_YESNO = 0x00040000,
};

enum : DWORD {
  FMENU_WRAPMODE = 0x00000002,
  FMENU_USEEXT = 0x00000020,
  MIF_SELECTED = 0x00010000,
  MIF_CHECKED = 0x00020000,
  MIF_SEPARATOR = 0x00040000,
  MIF_DISABLE = 0x00080000,
};

enum : DWORD {
  FIB_ENABLEEMPTY = 0x00000001,
  FIB_BUTTONS = 0x00000010,
  FIB_NOAMPERSAND = 0x00000020,
  FIB_EDITPATH = 0x01000000,
};

// Dialog items, flags and messages as 2.6.5 was seen to draw and answer
// them by a probe plug-in of our own. The host keeps the user's changes to
// itself: the items passed in stay as they were, so the states are asked
// for before the dialog is freed.
enum : int {
  DI_TEXT = 0,
  DI_DOUBLEBOX = 3,
  DI_EDIT = 4,
  DI_PSWEDIT = 5,  // shows a mark for each letter typed
  DI_BUTTON = 7,
  DI_CHECKBOX = 8,
  DI_RADIOBUTTON = 9,
};

enum : DWORD {
  DIF_GROUP = 0x00000400,
  DIF_CENTERGROUP = 0x00004000,
  DIF_SEPARATOR = 0x00010000,
  DIF_HISTORY = 0x00040000,
  DIF_EDITPATH = 0x01000000,  // completes paths as they are typed, as FIB_EDITPATH
  DIF_DISABLE = 0x80000000,   // greyed: no focus, no hot key, no change
};

// DM_GETCHECK answers 1 for a checked box or radio button; DM_GETTEXTPTR
// copies the text with its terminating zero into Param2; DM_ENABLE greys
// out item Param1 (Param2 0) or enables it (1). The dialog's procedure hears
// DN_BTNCLICK for a button, box or radio button pressed (Param1 the item,
// Param2 its new mark), before it is drawn so.
enum : int {
  DM_ENABLE = 2,
  DN_BTNCLICK = 0x1001,
  DM_GETTEXTLENGTH = 8,
  DM_GETTEXTPTR = 21,
  DM_GETCHECK = 25,
};

// OpenPluginW's OpenFrom for the plug-ins menu (F11), as 2.6.5 was seen to
// pass it, with Item the entry's number.
const int OPEN_PLUGINSMENU = 1;

// Control's panel commands (FAR 2's numbers, which 2.6.5 was seen to act on
// by the real-host test's stopped convert): the panel named by a plug-in's
// handle or by PANEL_ACTIVE / PANEL_PASSIVE is read anew (Param1 1: its
// selection kept) or drawn again (Param2 null: its cursor kept).
enum : int {
  FCTL_UPDATEPANEL = 2,
  FCTL_REDRAWPANEL = 3,
};
#define PANEL_ACTIVE ((HANDLE)(intptr_t)-1)
#define PANEL_PASSIVE ((HANDLE)(intptr_t)-2)

const int ACTL_GETFARVERSION = 0;
const int ACTL_GETPLUGINMAXREADDATA = 21;

// The oldest host this layer's records match: 2.6, as MAKEFARVERSION makes it.
const int FarVersion2_6 = (2 << 16) | 6;

// OpenFilePluginW's "I dealt with it myself" answer, beside INVALID_HANDLE_VALUE.
#define FAR2L_HANDLED ((HANDLE)(intptr_t)-2)

const DWORD FileAttributeReadOnly = 0x01;
const DWORD FileAttributeHidden = 0x02;
const DWORD FileAttributeDirectory = 0x10;
const DWORD FileAttributeArchive = 0x20;

}  // namespace far2l
