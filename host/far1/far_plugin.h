// The file manager's plug-in records and entry points, as far as this plug-in
// uses them. The 32-bit host packs its records on 2-byte boundaries; the 64-bit
// host lays them out naturally. Both layouts are checked below.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/win_types.h"

#if UINTPTR_MAX == 0xFFFFFFFFu
#define FAR_PLUGIN_32BIT 1
#pragma pack(push, 2)
#endif

// The WIN32_FIND_DATA members the host embeds in each panel item, declared here
// so that their packing is the host's and not the system header's.
struct PanelFindData {
  DWORD dwFileAttributes;
  FILETIME ftCreationTime;
  FILETIME ftLastAccessTime;
  FILETIME ftLastWriteTime;
  DWORD nFileSizeHigh;
  DWORD nFileSizeLow;
  DWORD dwReserved0;
  DWORD dwReserved1;
  char cFileName[MAX_PATH];
  char cAlternateFileName[14];
};

struct PluginPanelItem {
  PanelFindData FindData;
  DWORD PackSizeHigh;
  DWORD PackSize;
  DWORD Flags;
  DWORD NumberOfLinks;
  char *Description;
  char *Owner;
  char **CustomColumnData;
  int CustomColumnNumber;
  DWORD_PTR UserData;
  DWORD CRC32;
  DWORD_PTR Reserved[2];
};

typedef int(WINAPI *FARAPIMESSAGE)(INT_PTR PluginNumber, DWORD Flags, const char *HelpTopic,
                                   const char *const *Items, int ItemsNumber, int ButtonsNumber);

// The host's record runs on with more services after Message; the plug-in reads
// only ModuleNumber and Message, so the declaration ends there.
struct PluginStartupInfo {
  int StructSize;
  char ModuleName[MAX_PATH];
  INT_PTR ModuleNumber;
  const char *RootKey;
  void *Menu;
  void *Dialog;
  FARAPIMESSAGE Message;
};

struct PluginInfo {
  int StructSize;
  DWORD Flags;
  const char *const *DiskMenuStrings;
  int *DiskMenuNumbers;
  int DiskMenuStringsNumber;
  const char *const *PluginMenuStrings;
  int PluginMenuStringsNumber;
  const char *const *PluginConfigStrings;
  int PluginConfigStringsNumber;
  const char *CommandPrefix;
};

// One view mode of the panel. A mode whose ColumnTypes or ColumnWidths is
// null takes the host's own columns.
struct PanelMode {
  const char *ColumnTypes;
  const char *ColumnWidths;
  const char *const *ColumnTitles;
  int FullScreen;
  int DetailedStatus;
  int AlignExtensions;
  int CaseConversion;
  const char *StatusColumnTypes;
  const char *StatusColumnWidths;
  DWORD Reserved[2];
};

struct OpenPluginInfo {
  int StructSize;
  DWORD Flags;
  const char *HostFile;
  const char *CurDir;
  const char *Format;
  const char *PanelTitle;
  const void *InfoLines;
  int InfoLinesNumber;
  const char *const *DescrFiles;
  int DescrFilesNumber;
  const PanelMode *PanelModesArray;
  int PanelModesNumber;
  int StartPanelMode;
  int StartSortMode;
  int StartSortOrder;
  const void *KeyBar;
  const char *ShortcutData;
};

#ifdef FAR_PLUGIN_32BIT
#pragma pack(pop)
#endif

enum : DWORD {
  FMSG_WARNING = 0x00000001,
  OPIF_SHOWPRESERVECASE = 0x00000100,
  FILE_ATTRIBUTE_READONLY_BIT = 0x00000001,
  FILE_ATTRIBUTE_HIDDEN_BIT = 0x00000002,
};

enum { SM_DEFAULT, SM_UNSORTED, SM_NAME, SM_EXT, SM_MTIME, SM_CTIME, SM_ATIME, SM_SIZE, SM_DESCR };

#ifdef FAR_PLUGIN_32BIT
static_assert(sizeof(PanelFindData) == 318, "find data part");
static_assert(offsetof(PanelFindData, ftCreationTime) == 4, "");
static_assert(offsetof(PanelFindData, ftLastAccessTime) == 12, "");
static_assert(offsetof(PanelFindData, ftLastWriteTime) == 20, "");
static_assert(offsetof(PanelFindData, nFileSizeHigh) == 28, "");
static_assert(offsetof(PanelFindData, nFileSizeLow) == 32, "");
static_assert(offsetof(PanelFindData, cFileName) == 44, "");
static_assert(sizeof(PluginPanelItem) == 366, "item stride");
static_assert(offsetof(PluginPanelItem, Description) == 334, "");
static_assert(offsetof(PluginPanelItem, UserData) == 350, "");
static_assert(offsetof(PluginStartupInfo, ModuleNumber) == 264, "");
static_assert(offsetof(PluginStartupInfo, Message) == 280, "");
static_assert(sizeof(PluginInfo) == 40, "");
static_assert(sizeof(OpenPluginInfo) == 68, "");
static_assert(sizeof(PanelMode) == 44, "");
static_assert(offsetof(PanelMode, StatusColumnTypes) == 28, "");
static_assert(offsetof(OpenPluginInfo, PanelModesArray) == 40, "");
static_assert(offsetof(OpenPluginInfo, PanelModesNumber) == 44, "");
static_assert(offsetof(OpenPluginInfo, Flags) == 4, "");
static_assert(offsetof(OpenPluginInfo, HostFile) == 8, "");
static_assert(offsetof(OpenPluginInfo, CurDir) == 12, "");
static_assert(offsetof(OpenPluginInfo, PanelTitle) == 20, "");
static_assert(offsetof(OpenPluginInfo, StartPanelMode) == 48, "");
static_assert(offsetof(OpenPluginInfo, StartSortMode) == 52, "");
static_assert(offsetof(OpenPluginInfo, StartSortOrder) == 56, "");
#elif UINTPTR_MAX == 0xFFFFFFFFFFFFFFFFu
static_assert(sizeof(PanelFindData) == 320, "find data part");
static_assert(offsetof(PanelFindData, ftCreationTime) == 4, "");
static_assert(offsetof(PanelFindData, ftLastWriteTime) == 20, "");
static_assert(offsetof(PanelFindData, nFileSizeHigh) == 28, "");
static_assert(offsetof(PanelFindData, nFileSizeLow) == 32, "");
static_assert(offsetof(PanelFindData, cFileName) == 44, "");
static_assert(sizeof(PluginPanelItem) == 400, "item stride");
static_assert(offsetof(PluginPanelItem, Description) == 336, "");
static_assert(offsetof(PluginPanelItem, UserData) == 368, "");
static_assert(sizeof(PluginPanelItem::UserData) == 8, "");
static_assert(offsetof(PluginStartupInfo, ModuleNumber) == 264, "");
static_assert(sizeof(PluginStartupInfo::ModuleNumber) == 8, "");
static_assert(offsetof(PluginStartupInfo, Message) == 296, "");
static_assert(sizeof(PluginInfo) == 72, "");
static_assert(sizeof(OpenPluginInfo) == 112, "");
static_assert(sizeof(PanelMode) == 64, "");
static_assert(offsetof(PanelMode, StatusColumnTypes) == 40, "");
static_assert(offsetof(OpenPluginInfo, Flags) == 4, "");
static_assert(offsetof(OpenPluginInfo, HostFile) == 8, "");
static_assert(offsetof(OpenPluginInfo, CurDir) == 16, "");
static_assert(offsetof(OpenPluginInfo, PanelTitle) == 32, "");
static_assert(offsetof(OpenPluginInfo, StartPanelMode) == 84, "");
static_assert(offsetof(OpenPluginInfo, StartSortMode) == 88, "");
static_assert(offsetof(OpenPluginInfo, StartSortOrder) == 92, "");
#endif

// The ten entry points the host finds by name.
#if defined(_WIN32)
#define PLUGIN_EXPORT
#else
#define PLUGIN_EXPORT __attribute__((visibility("default")))
#endif

extern "C" {
PLUGIN_EXPORT void WINAPI SetStartupInfo(const PluginStartupInfo *info);
PLUGIN_EXPORT void WINAPI GetPluginInfo(PluginInfo *info);
PLUGIN_EXPORT HANDLE WINAPI OpenPlugin(int open_from, INT_PTR item);
PLUGIN_EXPORT HANDLE WINAPI OpenFilePlugin(char *name, const unsigned char *data, int data_size);
PLUGIN_EXPORT void WINAPI GetOpenPluginInfo(HANDLE plugin, OpenPluginInfo *info);
PLUGIN_EXPORT int WINAPI GetFindData(HANDLE plugin, PluginPanelItem **items, int *items_number,
                                     int op_mode);
PLUGIN_EXPORT void WINAPI FreeFindData(HANDLE plugin, PluginPanelItem *items, int items_number);
PLUGIN_EXPORT int WINAPI GetFiles(HANDLE plugin, PluginPanelItem *items, int items_number, int move,
                                  char *dest_path, int op_mode);
PLUGIN_EXPORT void WINAPI ClosePlugin(HANDLE plugin);
PLUGIN_EXPORT void WINAPI ExitFAR(void);
}

// Function-pointer types of the entry points, for hosts that load the plug-in.
typedef void(WINAPI *SetStartupInfoFn)(const PluginStartupInfo *);
typedef void(WINAPI *GetPluginInfoFn)(PluginInfo *);
typedef HANDLE(WINAPI *OpenPluginFn)(int, INT_PTR);
typedef HANDLE(WINAPI *OpenFilePluginFn)(char *, const unsigned char *, int);
typedef void(WINAPI *GetOpenPluginInfoFn)(HANDLE, OpenPluginInfo *);
typedef int(WINAPI *GetFindDataFn)(HANDLE, PluginPanelItem **, int *, int);
typedef void(WINAPI *FreeFindDataFn)(HANDLE, PluginPanelItem *, int);
typedef int(WINAPI *GetFilesFn)(HANDLE, PluginPanelItem *, int, int, char *, int);
typedef void(WINAPI *ClosePluginFn)(HANDLE);
typedef void(WINAPI *ExitFARFn)(void);
