// The file manager's native plug-in records and entry points (version 3), as
// far as this plug-in uses them. Every record begins with its StructSize; the
// layouts are the system's natural ones, with 64-bit integers on 8-byte
// boundaries on both bitnesses, and are checked below. The records sit in a
// namespace of their own: the old interface has records of the same names.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/win_types.h"

namespace far3 {

struct FarPanelItemFreeInfo;
struct PluginPanelItem;

struct VersionInfo {
  DWORD Major, Minor, Revision, Build;
  int Stage;  // 0: a release
};

struct GlobalInfo {
  size_t StructSize;
  VersionInfo MinFarVersion;
  VersionInfo Version;
  GUID Guid;
  const wchar_t *Title;
  const wchar_t *Description;
  const wchar_t *Author;
  void *Instance;
};

struct FarKey {
  WORD VirtualKeyCode;
  DWORD ControlKeyState;
};

struct FarMenuItem {
  unsigned long long Flags;
  const wchar_t *Text;
  FarKey AccelKey;
  intptr_t UserData;
  intptr_t Reserved[2];
};

struct FarSettingsCreate {
  size_t StructSize;
  GUID Guid;
  HANDLE Handle;
};

struct FarSettingsData {
  size_t Size;
  const void *Data;
};

struct FarSettingsItem {
  size_t StructSize;
  size_t Root;
  const wchar_t *Name;
  int Type;
  union {
    unsigned long long Number;
    const wchar_t *String;
    FarSettingsData Data;
  };
};

typedef intptr_t(WINAPI *FARAPIMESSAGE)(const GUID *PluginId, const GUID *Id,
                                        unsigned long long Flags, const wchar_t *HelpTopic,
                                        const wchar_t *const *Items, size_t ItemsNumber,
                                        intptr_t ButtonsNumber);
typedef const wchar_t *(WINAPI *FARAPIGETMSG)(const GUID *PluginId, intptr_t MsgId);
typedef intptr_t(WINAPI *FARAPIMENU)(const GUID *PluginId, const GUID *Id, intptr_t X, intptr_t Y,
                                     intptr_t MaxHeight, unsigned long long Flags,
                                     const wchar_t *Title, const wchar_t *Bottom,
                                     const wchar_t *HelpTopic, const FarKey *BreakKeys,
                                     intptr_t *BreakCode, const FarMenuItem *Item,
                                     size_t ItemsNumber);
typedef intptr_t(WINAPI *FARAPIINPUTBOX)(const GUID *PluginId, const GUID *Id, const wchar_t *Title,
                                         const wchar_t *SubTitle, const wchar_t *HistoryName,
                                         const wchar_t *SrcText, wchar_t *DestText, size_t DestSize,
                                         const wchar_t *HelpTopic, unsigned long long Flags);
typedef intptr_t(WINAPI *FARAPISETTINGSCONTROL)(HANDLE Handle, int Command, intptr_t Param1,
                                                void *Param2);

// The host's record holds a pointer-sized member in each of its 34 places;
// the plug-in reads five services and declares the others as places only.
// A dialog item: its kind, its box, its state (a check box's or radio
// button's mark), its history's name, flags, text and a value of the
// plug-in's own.
struct FarDialogItem {
  int Type;
  intptr_t X1, Y1, X2, Y2;
  intptr_t Selected;
  const wchar_t *History;
  const wchar_t *Mask;
  unsigned long long Flags;
  const wchar_t *Data;
  size_t MaxLength;
  intptr_t UserData;
  intptr_t Reserved[2];
};

// An item's text as DM_GETTEXT fills it: at most PtrLength characters and a
// terminator into PtrData.
struct FarDialogItemData {
  size_t StructSize;
  size_t PtrLength;
  wchar_t *PtrData;
};

struct ProgressValue {
  size_t StructSize;
  unsigned long long Completed;
  unsigned long long Total;
};

// A panel as the host describes it to a plug-in working over it.
struct PanelInfo {
  size_t StructSize;
  HANDLE PluginHandle;
  GUID OwnerGuid;
  unsigned long long Flags;
  size_t ItemsNumber;
  size_t SelectedItemsNumber;
  RECT PanelRect;
  size_t CurrentItem;
  size_t TopPanelItem;
  intptr_t ViewMode;
  int PanelType;
  int SortMode;
};

// One of a panel's items, copied by the host into the plug-in's block of
// `Size` bytes.
struct FarGetPluginPanelItem {
  size_t StructSize;
  size_t Size;
  PluginPanelItem *Item;
};

// A panel's directory, copied by the host into the plug-in's block.
struct FarPanelDirectory {
  size_t StructSize;
  const wchar_t *Name;
  const wchar_t *Param;
  GUID PluginId;
  const wchar_t *File;
};

typedef intptr_t(WINAPI *FARWINDOWPROC)(HANDLE Dialog, intptr_t Message, intptr_t Param1,
                                        void *Param2);
typedef HANDLE(WINAPI *FARAPIDIALOGINIT)(const GUID *PluginId, const GUID *Id, intptr_t X1,
                                         intptr_t Y1, intptr_t X2, intptr_t Y2,
                                         const wchar_t *HelpTopic, const FarDialogItem *Item,
                                         size_t ItemsNumber, intptr_t Reserved,
                                         unsigned long long Flags, FARWINDOWPROC DlgProc,
                                         void *Param);
typedef intptr_t(WINAPI *FARAPIDIALOGRUN)(HANDLE Dialog);
typedef void(WINAPI *FARAPIDIALOGFREE)(HANDLE Dialog);
typedef intptr_t(WINAPI *FARAPISENDDLGMESSAGE)(HANDLE Dialog, intptr_t Message, intptr_t Param1,
                                               void *Param2);
typedef intptr_t(WINAPI *FARAPIADVCONTROL)(const GUID *PluginId, int Command, intptr_t Param1,
                                           void *Param2);
typedef intptr_t(WINAPI *FARAPIPANELCONTROL)(HANDLE Panel, int Command, intptr_t Param1,
                                             void *Param2);
typedef HANDLE(WINAPI *FARAPISAVESCREEN)(intptr_t X1, intptr_t Y1, intptr_t X2, intptr_t Y2);
typedef void(WINAPI *FARAPIRESTORESCREEN)(HANDLE Screen);

struct PluginStartupInfo {
  size_t StructSize;
  const wchar_t *ModuleName;
  FARAPIMENU Menu;
  FARAPIMESSAGE Message;
  FARAPIGETMSG GetMsg;
  FARAPIPANELCONTROL PanelControl;
  FARAPISAVESCREEN SaveScreen;
  FARAPIRESTORESCREEN RestoreScreen;
  void *Services8To17[10];
  FARAPIADVCONTROL AdvControl;
  FARAPIINPUTBOX InputBox;
  void *ColorDialog;
  FARAPIDIALOGINIT DialogInit;
  FARAPIDIALOGRUN DialogRun;
  FARAPIDIALOGFREE DialogFree;
  FARAPISENDDLGMESSAGE SendDlgMessage;
  FARWINDOWPROC DefDlgProc;
  void *Services26To30[5];
  FARAPISETTINGSCONTROL SettingsControl;
  void *Services32To34[3];
};

struct PluginMenuItem {
  const GUID *Guids;
  const wchar_t *const *Strings;
  size_t Count;
};

struct PluginInfo {
  size_t StructSize;
  unsigned long long Flags;
  PluginMenuItem DiskMenu;
  PluginMenuItem PluginMenu;
  PluginMenuItem PluginConfig;
  const wchar_t *CommandPrefix;
  void *Instance;
};

struct AnalyseInfo {
  size_t StructSize;
  const wchar_t *FileName;
  void *Buffer;
  size_t BufferSize;
  unsigned long long OpMode;
  void *Instance;
};

struct OpenAnalyseInfo {
  size_t StructSize;
  AnalyseInfo *Info;
  HANDLE Handle;
};

struct OpenInfo {
  size_t StructSize;
  int OpenFrom;
  const GUID *Guid;
  intptr_t Data;
  void *Instance;
};

struct CloseAnalyseInfo {
  size_t StructSize;
  HANDLE Handle;
  void *Instance;
};

struct UserDataItem {
  void *Data;
  void(WINAPI *FreeData)(void *UserData, const FarPanelItemFreeInfo *Info);
};

struct PluginPanelItem {
  FILETIME CreationTime;
  FILETIME LastAccessTime;
  FILETIME LastWriteTime;
  FILETIME ChangeTime;
  unsigned long long FileSize;
  unsigned long long AllocationSize;
  const wchar_t *FileName;
  const wchar_t *AlternateFileName;
  const wchar_t *Description;
  const wchar_t *Owner;
  const wchar_t *const *CustomColumnData;
  size_t CustomColumnNumber;
  unsigned long long Flags;
  UserDataItem UserData;
  uintptr_t FileAttributes;
  uintptr_t NumberOfLinks;
  uintptr_t CRC32;
  intptr_t Reserved[2];
};

struct InfoPanelLine {
  const wchar_t *Text;
  const wchar_t *Data;
  unsigned long long Flags;
};

struct KeyBarLabel {
  FarKey Key;
  const wchar_t *Text;
  const wchar_t *LongText;
};

struct KeyBarTitles {
  size_t CountLabels;
  KeyBarLabel *Labels;
};

struct PanelMode {
  const wchar_t *ColumnTypes;
  const wchar_t *ColumnWidths;
  const wchar_t *const *ColumnTitles;
  const wchar_t *StatusColumnTypes;
  const wchar_t *StatusColumnWidths;
  unsigned long long Flags;
};

struct OpenPanelInfo {
  size_t StructSize;
  HANDLE hPanel;
  unsigned long long Flags;
  const wchar_t *HostFile;
  const wchar_t *CurDir;
  const wchar_t *Format;
  const wchar_t *PanelTitle;
  const InfoPanelLine *InfoLines;
  size_t InfoLinesNumber;
  const wchar_t *const *DescrFiles;
  size_t DescrFilesNumber;
  const PanelMode *PanelModesArray;
  size_t PanelModesNumber;
  intptr_t StartPanelMode;
  int StartSortMode;
  intptr_t StartSortOrder;
  const KeyBarTitles *KeyBar;
  const wchar_t *ShortcutData;
  unsigned long long FreeSize;
  UserDataItem UserData;
  void *Instance;
};

struct GetFindDataInfo {
  size_t StructSize;
  HANDLE hPanel;
  PluginPanelItem *PanelItem;
  size_t ItemsNumber;
  unsigned long long OpMode;
  void *Instance;
};

struct FreeFindDataInfo {
  size_t StructSize;
  HANDLE hPanel;
  PluginPanelItem *PanelItem;
  size_t ItemsNumber;
  void *Instance;
};

struct GetFilesInfo {
  size_t StructSize;
  HANDLE hPanel;
  PluginPanelItem *PanelItem;
  size_t ItemsNumber;
  BOOL Move;
  const wchar_t *DestPath;
  unsigned long long OpMode;
  void *Instance;
};

// A key or mouse event over the plug-in's panel, before the host acts on it.
struct ProcessPanelInputInfo {
  size_t StructSize;
  HANDLE hPanel;
  INPUT_RECORD Rec;
  void *Instance;
};

// The panel is to go into the directory `Dir` ("..": up).
struct SetDirectoryInfo {
  size_t StructSize;
  HANDLE hPanel;
  const wchar_t *Dir;
  intptr_t Reserved;
  unsigned long long OpMode;
  UserDataItem UserData;
  void *Instance;
};

// Where the cursor goes when the panel is drawn anew.
struct PanelRedrawInfo {
  size_t StructSize;
  size_t CurrentItem;
  size_t TopPanelItem;
};

struct ClosePanelInfo {
  size_t StructSize;
  HANDLE hPanel;
  void *Instance;
};

struct ExitInfo {
  size_t StructSize;
  void *Instance;
};

struct ConfigureInfo {
  size_t StructSize;
  const GUID *Guid;
  void *Instance;
};

enum : int { OPEN_PLUGINSMENU = 1, OPEN_ANALYSE = 9 };

enum : unsigned long long {
  OPIF_ADDDOTS = 0x8,
  OPIF_REALNAMES = 0x20,
  OPIF_SHOWPRESERVECASE = 0x100,
  PPIF_SELECTED = 0x40000000,
  OPM_SILENT = 0x1,
  OPM_FIND = 0x2,
  OPM_VIEW = 0x4,
  OPM_EDIT = 0x8,
  OPM_DESCR = 0x20,
  OPM_QUICKVIEW = 0x40,
  FMSG_WARNING = 0x1,
  FMSG_MB_OK = 0x10000,
  FMSG_MB_YESNO = 0x40000,
  FMENU_WRAPMODE = 0x2,
  MIF_SELECTED = 0x10000,
  MIF_CHECKED = 0x20000,
  FIB_EXPANDENV = 0x4,
  FIB_NOUSELASTHISTORY = 0x8,
  FIB_BUTTONS = 0x10,
  FIB_EDITPATH = 0x40,
  IPLFLAGS_SEPARATOR = 0x1,
  PMFLAGS_FULLSCREEN = 0x1,
  PMFLAGS_DETAILEDSTATUS = 0x2,
};


enum : int { SM_CTIME = 5 };

// Dialogs: the kinds of item, their flags, the messages that read an item's
// state and text after the dialog has closed.
enum : int {
  DI_TEXT = 0,
  DI_DOUBLEBOX = 3,
  DI_EDIT = 4,
  DI_PSWEDIT = 5,  // shows a mark for each letter typed
  DI_BUTTON = 7,
  DI_CHECKBOX = 8,
  DI_RADIOBUTTON = 9,
};
enum : unsigned long long {
  DIF_GROUP = 0x400,
  DIF_CENTERGROUP = 0x4000,
  DIF_SEPARATOR = 0x10000,
  DIF_HISTORY = 0x40000,
  DIF_EDITEXPAND = 0x80000,
  DIF_EDITPATH = 0x1000000,
  DIF_DEFAULTBUTTON = 0x100000000ULL,
  DIF_FOCUS = 0x200000000ULL,
  DIF_DISABLE = 0x80000000ULL,  // greyed: no focus, no hot key, no change
  FDLG_NONE = 0,
};
// DM_ENABLE greys out item Param1 (Param2 0) or enables it (1); the
// dialog's procedure hears DN_BTNCLICK for a box or radio button pressed
// (Param1 the item, Param2 its new mark).
enum : int { DM_ENABLE = 2, DM_GETTEXT = 7, DM_GETCHECK = 25, DN_BTNCLICK = 0x1001 };
enum : int { BSTATE_CHECKED = 1 };

// The host's other services: the taskbar's progress, the panels.
enum : int { ACTL_SETPROGRESSSTATE = 21, ACTL_SETPROGRESSVALUE = 22 };
enum : int { TBPS_NOPROGRESS = 0, TBPS_NORMAL = 2 };
enum : int {
  FCTL_GETPANELINFO = 1,
  FCTL_UPDATEPANEL = 2,
  FCTL_REDRAWPANEL = 3,
  FCTL_GETSELECTEDPANELITEM = 22,
  FCTL_GETCURRENTPANELITEM = 23,
  FCTL_GETPANELDIRECTORY = 24,
};
enum : int { PTYPE_FILEPANEL = 0 };
enum : unsigned long long { PFLAGS_PLUGIN = 0x800 };
#define PANEL_ACTIVE (reinterpret_cast<HANDLE>(-1))
#define PANEL_PASSIVE (reinterpret_cast<HANDLE>(-2))
enum : int { SCTL_CREATE = 0, SCTL_FREE = 1, SCTL_SET = 2, SCTL_GET = 3 };
enum : int { PSL_ROAMING = 0, FSSF_ROOT = 0, FST_QWORD = 2, FST_STRING = 3 };

#define FAR3_LAYOUT(record, size32, size64) \
  static_assert(sizeof(record) == (sizeof(void *) == 4 ? size32 : size64), #record)
#define FAR3_OFFSET(record, member, at32, at64)                                  \
  static_assert(offsetof(record, member) == (sizeof(void *) == 4 ? at32 : at64), \
                #record "::" #member)

FAR3_LAYOUT(VersionInfo, 20, 20);
FAR3_LAYOUT(GlobalInfo, 76, 96);
FAR3_OFFSET(GlobalInfo, MinFarVersion, 4, 8);
FAR3_OFFSET(GlobalInfo, Version, 24, 28);
FAR3_OFFSET(GlobalInfo, Guid, 44, 48);
FAR3_OFFSET(GlobalInfo, Title, 60, 64);
FAR3_OFFSET(GlobalInfo, Description, 64, 72);
FAR3_OFFSET(GlobalInfo, Author, 68, 80);
FAR3_OFFSET(GlobalInfo, Instance, 72, 88);
FAR3_LAYOUT(PluginStartupInfo, 140, 280);
FAR3_OFFSET(PluginStartupInfo, ModuleName, 4, 8);
FAR3_OFFSET(PluginStartupInfo, Menu, 8, 16);
FAR3_OFFSET(PluginStartupInfo, Message, 12, 24);
FAR3_OFFSET(PluginStartupInfo, GetMsg, 16, 32);
FAR3_OFFSET(PluginStartupInfo, PanelControl, 20, 40);
FAR3_OFFSET(PluginStartupInfo, SaveScreen, 24, 48);
FAR3_OFFSET(PluginStartupInfo, RestoreScreen, 28, 56);
FAR3_OFFSET(PluginStartupInfo, AdvControl, 72, 144);
FAR3_OFFSET(PluginStartupInfo, InputBox, 76, 152);
FAR3_OFFSET(PluginStartupInfo, DialogInit, 84, 168);
FAR3_OFFSET(PluginStartupInfo, DialogRun, 88, 176);
FAR3_OFFSET(PluginStartupInfo, DialogFree, 92, 184);
FAR3_OFFSET(PluginStartupInfo, SendDlgMessage, 96, 192);
FAR3_OFFSET(PluginStartupInfo, DefDlgProc, 100, 200);
FAR3_LAYOUT(FarDialogItem, 64, 112);
FAR3_OFFSET(FarDialogItem, X1, 4, 8);
FAR3_OFFSET(FarDialogItem, Selected, 20, 40);
FAR3_OFFSET(FarDialogItem, History, 24, 48);
FAR3_OFFSET(FarDialogItem, Flags, 32, 64);
FAR3_OFFSET(FarDialogItem, Data, 40, 72);
FAR3_OFFSET(FarDialogItem, MaxLength, 44, 80);
FAR3_LAYOUT(FarDialogItemData, 12, 24);
FAR3_LAYOUT(ProgressValue, 24, 24);
FAR3_OFFSET(ProgressValue, Completed, 8, 8);
FAR3_LAYOUT(PanelInfo, 80, 104);
FAR3_OFFSET(PanelInfo, OwnerGuid, 8, 16);
FAR3_OFFSET(PanelInfo, Flags, 24, 32);
FAR3_OFFSET(PanelInfo, ItemsNumber, 32, 40);
FAR3_OFFSET(PanelInfo, SelectedItemsNumber, 36, 48);
FAR3_OFFSET(PanelInfo, CurrentItem, 56, 72);
FAR3_OFFSET(PanelInfo, PanelType, 68, 96);
FAR3_LAYOUT(FarGetPluginPanelItem, 12, 24);
FAR3_LAYOUT(ProcessPanelInputInfo, 32, 48);
FAR3_OFFSET(ProcessPanelInputInfo, Rec, 8, 16);
FAR3_LAYOUT(SetDirectoryInfo, 40, 64);
FAR3_OFFSET(SetDirectoryInfo, Dir, 8, 16);
FAR3_OFFSET(SetDirectoryInfo, OpMode, 16, 32);
FAR3_OFFSET(SetDirectoryInfo, UserData, 24, 40);
FAR3_LAYOUT(PanelRedrawInfo, 12, 24);
FAR3_LAYOUT(FarPanelDirectory, 32, 48);
FAR3_OFFSET(FarPanelDirectory, PluginId, 12, 24);
FAR3_OFFSET(FarPanelDirectory, File, 28, 40);
FAR3_OFFSET(PluginStartupInfo, SettingsControl, 124, 248);
FAR3_LAYOUT(PluginMenuItem, 12, 24);
FAR3_LAYOUT(PluginInfo, 64, 104);
FAR3_OFFSET(PluginInfo, Flags, 8, 8);
FAR3_OFFSET(PluginInfo, DiskMenu, 16, 16);
FAR3_OFFSET(PluginInfo, PluginMenu, 28, 40);
FAR3_OFFSET(PluginInfo, PluginConfig, 40, 64);
FAR3_OFFSET(PluginInfo, CommandPrefix, 52, 88);
FAR3_OFFSET(PluginInfo, Instance, 56, 96);
FAR3_LAYOUT(AnalyseInfo, 32, 48);
FAR3_OFFSET(AnalyseInfo, FileName, 4, 8);
FAR3_OFFSET(AnalyseInfo, Buffer, 8, 16);
FAR3_OFFSET(AnalyseInfo, BufferSize, 12, 24);
FAR3_OFFSET(AnalyseInfo, OpMode, 16, 32);
FAR3_OFFSET(AnalyseInfo, Instance, 24, 40);
FAR3_LAYOUT(OpenAnalyseInfo, 12, 24);
FAR3_OFFSET(OpenAnalyseInfo, Info, 4, 8);
FAR3_OFFSET(OpenAnalyseInfo, Handle, 8, 16);
FAR3_LAYOUT(OpenInfo, 20, 40);
FAR3_OFFSET(OpenInfo, OpenFrom, 4, 8);
FAR3_OFFSET(OpenInfo, Guid, 8, 16);
FAR3_OFFSET(OpenInfo, Data, 12, 24);
FAR3_OFFSET(OpenInfo, Instance, 16, 32);
FAR3_LAYOUT(CloseAnalyseInfo, 12, 24);
FAR3_OFFSET(CloseAnalyseInfo, Handle, 4, 8);
FAR3_LAYOUT(UserDataItem, 8, 16);
FAR3_LAYOUT(PluginPanelItem, 112, 160);
FAR3_OFFSET(PluginPanelItem, LastAccessTime, 8, 8);
FAR3_OFFSET(PluginPanelItem, LastWriteTime, 16, 16);
FAR3_OFFSET(PluginPanelItem, ChangeTime, 24, 24);
FAR3_OFFSET(PluginPanelItem, FileSize, 32, 32);
FAR3_OFFSET(PluginPanelItem, AllocationSize, 40, 40);
FAR3_OFFSET(PluginPanelItem, FileName, 48, 48);
FAR3_OFFSET(PluginPanelItem, AlternateFileName, 52, 56);
FAR3_OFFSET(PluginPanelItem, Description, 56, 64);
FAR3_OFFSET(PluginPanelItem, Owner, 60, 72);
FAR3_OFFSET(PluginPanelItem, CustomColumnData, 64, 80);
FAR3_OFFSET(PluginPanelItem, CustomColumnNumber, 68, 88);
FAR3_OFFSET(PluginPanelItem, Flags, 72, 96);
FAR3_OFFSET(PluginPanelItem, UserData, 80, 104);
FAR3_OFFSET(PluginPanelItem, FileAttributes, 88, 120);
FAR3_OFFSET(PluginPanelItem, NumberOfLinks, 92, 128);
FAR3_OFFSET(PluginPanelItem, CRC32, 96, 136);
FAR3_OFFSET(PluginPanelItem, Reserved, 100, 144);
FAR3_LAYOUT(InfoPanelLine, 16, 24);
FAR3_OFFSET(InfoPanelLine, Data, 4, 8);
FAR3_OFFSET(InfoPanelLine, Flags, 8, 16);
FAR3_LAYOUT(KeyBarLabel, 16, 24);
FAR3_OFFSET(KeyBarLabel, Text, 8, 8);
FAR3_OFFSET(KeyBarLabel, LongText, 12, 16);
FAR3_LAYOUT(KeyBarTitles, 8, 16);
FAR3_OFFSET(KeyBarTitles, Labels, 4, 8);
FAR3_LAYOUT(PanelMode, 32, 48);
FAR3_OFFSET(PanelMode, StatusColumnTypes, 12, 24);
FAR3_OFFSET(PanelMode, Flags, 24, 40);
FAR3_LAYOUT(OpenPanelInfo, 104, 176);
FAR3_OFFSET(OpenPanelInfo, hPanel, 4, 8);
FAR3_OFFSET(OpenPanelInfo, Flags, 8, 16);
FAR3_OFFSET(OpenPanelInfo, HostFile, 16, 24);
FAR3_OFFSET(OpenPanelInfo, CurDir, 20, 32);
FAR3_OFFSET(OpenPanelInfo, Format, 24, 40);
FAR3_OFFSET(OpenPanelInfo, PanelTitle, 28, 48);
FAR3_OFFSET(OpenPanelInfo, InfoLines, 32, 56);
FAR3_OFFSET(OpenPanelInfo, DescrFilesNumber, 44, 80);
FAR3_OFFSET(OpenPanelInfo, PanelModesArray, 48, 88);
FAR3_OFFSET(OpenPanelInfo, PanelModesNumber, 52, 96);
FAR3_OFFSET(OpenPanelInfo, StartPanelMode, 56, 104);
FAR3_OFFSET(OpenPanelInfo, StartSortMode, 60, 112);
FAR3_OFFSET(OpenPanelInfo, StartSortOrder, 64, 120);
FAR3_OFFSET(OpenPanelInfo, KeyBar, 68, 128);
FAR3_OFFSET(OpenPanelInfo, ShortcutData, 72, 136);
FAR3_OFFSET(OpenPanelInfo, FreeSize, 80, 144);
FAR3_OFFSET(OpenPanelInfo, UserData, 88, 152);
FAR3_OFFSET(OpenPanelInfo, Instance, 96, 168);
FAR3_LAYOUT(GetFindDataInfo, 32, 48);
FAR3_OFFSET(GetFindDataInfo, PanelItem, 8, 16);
FAR3_OFFSET(GetFindDataInfo, ItemsNumber, 12, 24);
FAR3_OFFSET(GetFindDataInfo, OpMode, 16, 32);
FAR3_LAYOUT(FreeFindDataInfo, 20, 40);
FAR3_OFFSET(FreeFindDataInfo, PanelItem, 8, 16);
FAR3_OFFSET(FreeFindDataInfo, ItemsNumber, 12, 24);
FAR3_LAYOUT(GetFilesInfo, 40, 64);
FAR3_OFFSET(GetFilesInfo, PanelItem, 8, 16);
FAR3_OFFSET(GetFilesInfo, ItemsNumber, 12, 24);
FAR3_OFFSET(GetFilesInfo, Move, 16, 32);
FAR3_OFFSET(GetFilesInfo, DestPath, 20, 40);
FAR3_OFFSET(GetFilesInfo, OpMode, 24, 48);
FAR3_OFFSET(GetFilesInfo, Instance, 32, 56);
FAR3_LAYOUT(ClosePanelInfo, 12, 24);
FAR3_LAYOUT(ExitInfo, 8, 16);
FAR3_LAYOUT(ConfigureInfo, 12, 24);
FAR3_OFFSET(ConfigureInfo, Guid, 4, 8);
FAR3_LAYOUT(FarKey, 8, 8);
FAR3_LAYOUT(FarMenuItem, 32, 48);
FAR3_OFFSET(FarMenuItem, Text, 8, 8);
FAR3_OFFSET(FarMenuItem, AccelKey, 12, 16);
FAR3_OFFSET(FarMenuItem, UserData, 20, 24);
FAR3_OFFSET(FarMenuItem, Reserved, 24, 32);
FAR3_LAYOUT(FarSettingsCreate, 24, 32);
FAR3_OFFSET(FarSettingsCreate, Guid, 4, 8);
FAR3_OFFSET(FarSettingsCreate, Handle, 20, 24);
FAR3_LAYOUT(FarSettingsItem, 24, 48);
FAR3_OFFSET(FarSettingsItem, Root, 4, 8);
FAR3_OFFSET(FarSettingsItem, Name, 8, 16);
FAR3_OFFSET(FarSettingsItem, Type, 12, 24);
FAR3_OFFSET(FarSettingsItem, Number, 16, 32);

#undef FAR3_LAYOUT
#undef FAR3_OFFSET

// True when `member` of a record the host passed ends within the record's
// StructSize: an older host passes shorter records, whose later members the
// plug-in must not read.
template <typename Record, typename Member>
bool Reaches(const Record *record, const Member &member) {
  const size_t end =
      size_t(reinterpret_cast<const char *>(&member) - reinterpret_cast<const char *>(record)) +
      sizeof member;
  return record->StructSize >= end;
}

}  // namespace far3

// The entry points the host finds by name.
extern "C" {
void WINAPI GetGlobalInfoW(far3::GlobalInfo *info);
void WINAPI SetStartupInfoW(const far3::PluginStartupInfo *info);
void WINAPI GetPluginInfoW(far3::PluginInfo *info);
HANDLE WINAPI AnalyseW(const far3::AnalyseInfo *info);
void WINAPI CloseAnalyseW(const far3::CloseAnalyseInfo *info);
HANDLE WINAPI OpenW(const far3::OpenInfo *info);
void WINAPI GetOpenPanelInfoW(far3::OpenPanelInfo *info);
intptr_t WINAPI GetFindDataW(far3::GetFindDataInfo *info);
void WINAPI FreeFindDataW(const far3::FreeFindDataInfo *info);
intptr_t WINAPI GetFilesW(far3::GetFilesInfo *info);
void WINAPI ClosePanelW(const far3::ClosePanelInfo *info);
void WINAPI ExitFARW(const far3::ExitInfo *info);
intptr_t WINAPI ConfigureW(const far3::ConfigureInfo *info);
intptr_t WINAPI ProcessPanelInputW(const far3::ProcessPanelInputInfo *info);
intptr_t WINAPI SetDirectoryW(const far3::SetDirectoryInfo *info);
}
