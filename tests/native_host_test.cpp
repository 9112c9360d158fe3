// The native plug-in (vessor3.dll) driven as the file manager's version 3
// drives it: its fifteen entry points found by name, the host's records laid
// out as that host lays them out, and stand-ins for the host's texts from the
// plug-in's language files, message box, menu, input line and settings store.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "host/far3/far_plugin.h"
#include "host/shared/messages.h"
#include "platform/system_facts.h"
#include "tests/test_support.h"
#include "tools/mkfolder/folder_writer.h"

using namespace far3;

namespace {

struct NativeApi {
  decltype(&GetGlobalInfoW) GetGlobalInfo;
  decltype(&SetStartupInfoW) SetStartupInfo;
  decltype(&GetPluginInfoW) GetPluginInfo;
  decltype(&AnalyseW) Analyse;
  decltype(&CloseAnalyseW) CloseAnalyse;
  decltype(&OpenW) Open;
  decltype(&GetOpenPanelInfoW) GetOpenPanelInfo;
  decltype(&GetFindDataW) GetFindData;
  decltype(&FreeFindDataW) FreeFindData;
  decltype(&GetFilesW) GetFiles;
  decltype(&ClosePanelW) ClosePanel;
  decltype(&ExitFARW) ExitFAR;
  decltype(&ConfigureW) Configure;
  decltype(&ProcessPanelInputW) ProcessPanelInput;
  decltype(&SetDirectoryW) SetDirectory;
};

// What the stand-in services saw, and what they answer.
struct Box {
  unsigned long long Flags;
  std::vector<std::wstring> Items;
  std::wstring Help;
};
struct Line {
  std::wstring Title, Question, History, Text;
  unsigned long long Flags;
  std::wstring Help;
};
// What the save dialog showed: its title, question, destination line and
// help, the formats offered (with the one marked) and "Mark as read", and
// whether that box was enabled as shown and as the user left it.
struct SaveDialog {
  std::wstring Title, Question, History, Text;
  unsigned long long Flags;
  std::wstring Help;
  std::vector<std::wstring> Formats;
  int Marked = -1;
  bool MarkRead = false;
  bool MarkShown = false, MarkLeft = false;
  // Each edit line's type, flags and history, in order.
  std::vector<FarDialogItem> Edits;
  std::vector<std::wstring> EditHistories;
};
struct HostState {
  GUID PluginId;
  std::vector<std::wstring> Texts;  // of the language file the host is set to
  std::vector<Box> Boxes;
  intptr_t BoxAnswer = 0;
  std::vector<Line> Lines;
  bool LineAnswered = true;
  std::wstring LineAnswer;  // empty: the prefilled text
  std::vector<SaveDialog> Dialogs;
  int FormatAnswer = -1;    // the format chosen, by place; -1: as marked
  int MarkReadAnswer = -1;  // 0 or 1; -1: as shown
  bool SettingsRefused = false;  // SCTL_SET fails
  std::vector<FarDialogItem> Items;  // of the dialog running
  FARWINDOWPROC DialogProc = nullptr;
  // The file panels: the active one's directory and selected items (a
  // trailing '\\' marks a directory), whether it is a plug-in's, the other's
  // directory, and how often the plug-in had them read anew.
  std::wstring PanelDir, PassiveDir;
  std::vector<std::wstring> Selected;
  far3::PluginPanelItem Current = {};  // the item under the cursor
  bool PluginPanel = false;
  int Updates = 0;
  int WorkBoxes = 0;                 // boxes drawn with no button
  int Screens = 0;                   // saved and not yet restored
  std::vector<std::wstring> MenuItems;
  int MenuMarked = -1;
  intptr_t MenuAnswer = -1;
  std::wstring MenuHelp;
  std::map<std::wstring, unsigned long long> Settings;
  int SettingsOpen = 0;
} Host;

const HANDLE SettingsHandle = reinterpret_cast<HANDLE>(0x5E77);

std::wstring Wide(const std::string &text, UINT code_page = CP_UTF8) {
  std::wstring wide(text.size(), L'\0');
  wide.resize(size_t(MultiByteToWideChar(code_page, 0, text.data(), int(text.size()), &wide[0],
                                         int(wide.size()))));
  return wide;
}

// The path of a file beside the tests (and the plug-in).
std::string Beside(const char *name) {
  char self[MAX_PATH];
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  const std::string path = self;
  return path.substr(0, path.find_last_of('\\') + 1) + name;
}

// A language or help file's lines, read as the host reads them: UTF-8 after
// a byte-order mark, which an empty list stands for the lack of.
std::vector<std::wstring> TextFileLines(const char *name) {
  std::string bytes;
  if (FILE *file = fopen(Beside(name).c_str(), "rb")) {
    char buffer[4096];
    for (size_t got; (got = fread(buffer, 1, sizeof buffer, file)) > 0;) bytes.append(buffer, got);
    fclose(file);
  }
  std::vector<std::wstring> lines;
  if (bytes.compare(0, 3, "\xEF\xBB\xBF") != 0) return lines;
  std::wstring text = Wide(bytes.substr(3));
  for (size_t at = 0; at < text.size();) {
    size_t end = text.find(L'\n', at);
    if (end == std::wstring::npos) end = text.size();
    std::wstring line = text.substr(at, end - at);
    if (!line.empty() && line.back() == L'\r') line.pop_back();
    lines.push_back(line);
    at = end + 1;
  }
  return lines;
}

// The texts of a language file: the line after the language's, each quoted;
// a line that is not quoted is kept as it stands, for the test to see.
std::vector<std::wstring> LanguageTexts(const char *name) {
  std::vector<std::wstring> texts = TextFileLines(name);
  if (texts.empty()) return texts;
  texts.erase(texts.begin());
  for (std::wstring &text : texts)
    if (text.size() >= 2 && text.front() == L'"' && text.back() == L'"')
      text = text.substr(1, text.size() - 2);
  return texts;
}

// The host's language: its texts for the plug-in.
void SetLanguage(const char *file) { Host.Texts = LanguageTexts(file); }

const wchar_t *WINAPI HostGetMsg(const GUID *plugin, intptr_t id) {
  EXPECT_EQ(memcmp(plugin, &Host.PluginId, sizeof(GUID)), 0);
  EXPECT_TRUE(id >= 0 && size_t(id) < Host.Texts.size()) << id;
  return id >= 0 && size_t(id) < Host.Texts.size() ? Host.Texts[size_t(id)].c_str() : L"";
}

intptr_t WINAPI HostMessage(const GUID *plugin, const GUID *, unsigned long long flags,
                            const wchar_t *help, const wchar_t *const *items, size_t count,
                            intptr_t) {
  EXPECT_EQ(memcmp(plugin, &Host.PluginId, sizeof(GUID)), 0);
  Box box{flags, {}, help != nullptr ? help : L""};
  if (count > 0 && (flags & 0xF0000) == 0) {
    ++Host.WorkBoxes;  // no button: drawn and left on the screen
    return -1;
  }
  for (size_t i = 0; i < count; ++i) box.Items.push_back(items[i]);
  Host.Boxes.push_back(box);
  return Host.BoxAnswer;
}

intptr_t WINAPI HostInputBox(const GUID *plugin, const GUID *, const wchar_t *title,
                             const wchar_t *question, const wchar_t *history, const wchar_t *text,
                             wchar_t *answer, size_t answer_size, const wchar_t *help,
                             unsigned long long flags) {
  EXPECT_EQ(memcmp(plugin, &Host.PluginId, sizeof(GUID)), 0);
  Host.Lines.push_back(Line{title, question, history != nullptr ? history : L"", text, flags,
                            help != nullptr ? help : L""});
  const std::wstring given = Host.LineAnswer.empty() ? text : Host.LineAnswer;
  if (given.size() >= answer_size) return 0;
  wcscpy(answer, given.c_str());
  return Host.LineAnswered;
}

intptr_t WINAPI HostMenu(const GUID *plugin, const GUID *, intptr_t, intptr_t, intptr_t,
                         unsigned long long, const wchar_t *, const wchar_t *, const wchar_t *help,
                         const FarKey *, intptr_t *, const FarMenuItem *items, size_t count) {
  EXPECT_EQ(memcmp(plugin, &Host.PluginId, sizeof(GUID)), 0);
  Host.MenuHelp = help != nullptr ? help : L"";
  Host.MenuItems.clear();
  for (size_t i = 0; i < count; ++i) {
    Host.MenuItems.push_back(items[i].Text);
    if (items[i].Flags & MIF_SELECTED) Host.MenuMarked = int(i);
  }
  return Host.MenuAnswer;
}

intptr_t WINAPI HostSettings(HANDLE handle, int command, intptr_t, void *param) {
  if (command == SCTL_CREATE) {
    auto *create = static_cast<FarSettingsCreate *>(param);
    EXPECT_EQ(memcmp(&create->Guid, &Host.PluginId, sizeof(GUID)), 0);
    create->Handle = SettingsHandle;
    ++Host.SettingsOpen;
    return 1;
  }
  EXPECT_EQ(handle, SettingsHandle);
  if (command == SCTL_FREE) {
    --Host.SettingsOpen;
    return 1;
  }
  auto *item = static_cast<FarSettingsItem *>(param);
  EXPECT_EQ(item->Type, FST_QWORD);
  if (command == SCTL_SET) {
    if (Host.SettingsRefused) return 0;
    Host.Settings[item->Name] = item->Number;
    return 1;
  }
  auto kept = Host.Settings.find(item->Name);
  if (command != SCTL_GET || kept == Host.Settings.end()) return 0;
  item->Number = kept->second;
  return 1;
}

// The stand-in dialog answers as the user would: LineAnswer typed in the
// line, FormatAnswer's radio button pressed (the dialog's procedure told),
// MarkReadAnswer set unless the box is greyed, then the default button
// (Enter), or Esc when LineAnswered is false.
const HANDLE DialogHandle = reinterpret_cast<HANDLE>(0xD1A1);

HANDLE WINAPI HostDialogInit(const GUID *plugin, const GUID *, intptr_t, intptr_t, intptr_t,
                             intptr_t, const wchar_t *help, const FarDialogItem *items,
                             size_t count, intptr_t, unsigned long long, FARWINDOWPROC proc,
                             void *) {
  EXPECT_EQ(memcmp(plugin, &Host.PluginId, sizeof(GUID)), 0);
  Host.DialogProc = proc;
  SaveDialog seen;
  seen.Help = help != nullptr ? help : L"";
  Host.Items.assign(items, items + count);
  int radio = 0;
  for (FarDialogItem &item : Host.Items) {
    const std::wstring text = item.Data != nullptr ? item.Data : L"";
    if (item.Type == DI_DOUBLEBOX) seen.Title = text;
    if (item.Type == DI_TEXT && seen.Question.empty() && !text.empty()) seen.Question = text;
    if (item.Type == DI_EDIT || item.Type == DI_PSWEDIT) {
      seen.Edits.push_back(item);
      seen.EditHistories.push_back(item.History != nullptr ? item.History : L"");
    }
    if (item.Type == DI_EDIT) {
      seen.Text = text;
      seen.History = item.History != nullptr ? item.History : L"";
      seen.Flags = item.Flags;
      if (!Host.LineAnswer.empty()) item.Data = Host.LineAnswer.c_str();
    }
    if (item.Type == DI_RADIOBUTTON) {
      seen.Formats.push_back(text);
      if (item.Selected) seen.Marked = radio;
      ++radio;
    }
    if (item.Type == DI_CHECKBOX) {
      seen.MarkRead = item.Selected != 0;
      seen.MarkShown = seen.MarkLeft = !(item.Flags & DIF_DISABLE);
    }
  }
  Host.Dialogs.push_back(seen);
  Host.Lines.push_back(Line{seen.Title, seen.Question, seen.History, seen.Text, seen.Flags,
                            seen.Help});
  return DialogHandle;
}

intptr_t WINAPI HostDialogRun(HANDLE dialog) {
  EXPECT_EQ(dialog, DialogHandle);
  if (!Host.LineAnswered) return -1;
  int radio = 0;
  for (size_t i = 0; i < Host.Items.size(); ++i) {
    FarDialogItem &item = Host.Items[i];
    if (item.Type != DI_RADIOBUTTON || radio++ != Host.FormatAnswer) continue;
    for (FarDialogItem &other : Host.Items) other.Selected &= other.Type != DI_RADIOBUTTON;
    item.Selected = 1;
    if (Host.DialogProc != nullptr) {
      EXPECT_TRUE(Host.DialogProc(dialog, DN_BTNCLICK, intptr_t(i), reinterpret_cast<void *>(1)));
    }
  }
  for (FarDialogItem &item : Host.Items)
    if (item.Type == DI_CHECKBOX && Host.MarkReadAnswer >= 0 && !(item.Flags & DIF_DISABLE))
      item.Selected = Host.MarkReadAnswer;
  for (size_t i = 0; i < Host.Items.size(); ++i)
    if (Host.Items[i].Flags & DIF_DEFAULTBUTTON) return intptr_t(i);
  ADD_FAILURE() << "no default button";
  return -1;
}

intptr_t WINAPI HostSendDlgMessage(HANDLE dialog, intptr_t message, intptr_t param1,
                                   void *param2) {
  EXPECT_EQ(dialog, DialogHandle);
  if (param1 < 0 || size_t(param1) >= Host.Items.size()) return 0;
  FarDialogItem &item = Host.Items[size_t(param1)];
  if (message == DM_GETCHECK) return item.Selected;
  if (message == DM_ENABLE) {
    item.Flags = param2 != nullptr ? item.Flags & ~DIF_DISABLE : item.Flags | DIF_DISABLE;
    Host.Dialogs.back().MarkLeft = param2 != nullptr;
    return 1;
  }
  if (message != DM_GETTEXT) return 0;
  const std::wstring text = item.Data != nullptr ? item.Data : L"";
  auto *data = static_cast<FarDialogItemData *>(param2);
  EXPECT_EQ(data->StructSize, sizeof *data);
  const size_t length = std::min(text.size(), data->PtrLength);
  wmemcpy(data->PtrData, text.c_str(), length);
  data->PtrData[length] = L'\0';
  return intptr_t(length);
}

void WINAPI HostDialogFree(HANDLE dialog) {
  EXPECT_EQ(dialog, DialogHandle);
  Host.Items.clear();
}

HANDLE WINAPI HostSaveScreen(intptr_t, intptr_t, intptr_t, intptr_t) {
  ++Host.Screens;
  return reinterpret_cast<HANDLE>(0x5C);
}
void WINAPI HostRestoreScreen(HANDLE) { --Host.Screens; }
intptr_t WINAPI HostAdvControl(const GUID *, int, intptr_t, void *) { return 1; }
// What the host does of a message the dialog's procedure leaves to it: a
// box or radio button pressed keeps its new mark.
intptr_t WINAPI HostDefDlgProc(HANDLE, intptr_t message, intptr_t, void *) {
  return message == DN_BTNCLICK;
}

// A text copied after a record into the caller's block, as the host copies
// panel items and directories: the size needed, filled only when it fits.
template <typename Record>
intptr_t CopyOut(const std::wstring &text, Record *record, size_t room,
                 const wchar_t *Record::*member) {
  const size_t size = sizeof(Record) + (text.size() + 1) * sizeof(wchar_t);
  if (record == nullptr || room < size) return intptr_t(size);
  wchar_t *copy = reinterpret_cast<wchar_t *>(record + 1);
  wcscpy(copy, text.c_str());
  record->*member = copy;
  return intptr_t(size);
}

intptr_t WINAPI HostPanelControl(HANDLE panel, int command, intptr_t param1, void *param2) {
  if (command == FCTL_GETPANELINFO) {
    auto *info = static_cast<PanelInfo *>(param2);
    EXPECT_EQ(info->StructSize, sizeof *info);
    info->ItemsNumber = Host.Selected.size() + 1;
    info->SelectedItemsNumber = Host.Selected.size();
    info->Flags = Host.PluginPanel ? PFLAGS_PLUGIN : 0ULL;
    info->PanelType = PTYPE_FILEPANEL;
    return 1;
  }
  if (command == FCTL_GETPANELDIRECTORY) {
    auto *dir = static_cast<FarPanelDirectory *>(param2);
    if (dir != nullptr) {
      EXPECT_EQ(dir->StructSize, sizeof *dir);
    }
    return CopyOut(panel == PANEL_ACTIVE ? Host.PanelDir : Host.PassiveDir, dir, size_t(param1),
                   &FarPanelDirectory::Name);
  }
  if (command == FCTL_GETSELECTEDPANELITEM) {
    EXPECT_EQ(panel, PANEL_ACTIVE);
    if (param1 < 0 || size_t(param1) >= Host.Selected.size()) return 0;
    std::wstring name = Host.Selected[size_t(param1)];
    const bool directory = name.back() == L'\\';
    if (directory) name.pop_back();
    auto *get = static_cast<FarGetPluginPanelItem *>(param2);
    if (get == nullptr) return CopyOut(name, static_cast<far3::PluginPanelItem *>(nullptr), 0,
                                       &far3::PluginPanelItem::FileName);
    EXPECT_EQ(get->StructSize, sizeof *get);
    memset(get->Item, 0, sizeof *get->Item);
    get->Item->FileAttributes = directory ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
    return CopyOut(name, get->Item, get->Size, &far3::PluginPanelItem::FileName);
  }
  if (command == FCTL_GETCURRENTPANELITEM) {
    auto *get = static_cast<FarGetPluginPanelItem *>(param2);
    const std::wstring name = Host.Current.FileName != nullptr ? Host.Current.FileName : L"";
    if (get == nullptr) return CopyOut(name, static_cast<far3::PluginPanelItem *>(nullptr), 0,
                                       &far3::PluginPanelItem::FileName);
    *get->Item = Host.Current;
    return CopyOut(name, get->Item, get->Size, &far3::PluginPanelItem::FileName);
  }
  if (command == FCTL_UPDATEPANEL) ++Host.Updates;
  return 1;
}

// Starts the plug-in afresh, as a host that starts with the settings store
// as it is now.
void StartPlugin(const NativeApi &api) {
  static far3::PluginStartupInfo startup;
  memset(&startup, 0, sizeof startup);
  startup.StructSize = sizeof startup;
  startup.ModuleName = L"vessor3.dll";
  startup.Message = HostMessage;
  startup.GetMsg = HostGetMsg;
  startup.Menu = HostMenu;
  startup.InputBox = HostInputBox;
  startup.SettingsControl = HostSettings;
  startup.DialogInit = HostDialogInit;
  startup.DialogRun = HostDialogRun;
  startup.SendDlgMessage = HostSendDlgMessage;
  startup.DefDlgProc = HostDefDlgProc;
  startup.DialogFree = HostDialogFree;
  startup.SaveScreen = HostSaveScreen;
  startup.RestoreScreen = HostRestoreScreen;
  startup.AdvControl = HostAdvControl;
  startup.PanelControl = HostPanelControl;
  api.SetStartupInfo(&startup);
}

template <typename Fn>
void Find(HMODULE library, const char *name, Fn *out) {
  *out = reinterpret_cast<Fn>(reinterpret_cast<void *>(GetProcAddress(library, name)));
  if (*out == nullptr) {
    fprintf(stderr, "vessor3.dll exports no %s\n", name);
    abort();
  }
}

const NativeApi &Native() {
  static NativeApi api;
  static bool loaded = false;
  if (loaded) return api;
  const std::string path = Beside("vessor3.dll");
  HMODULE library = LoadLibraryA(path.c_str());
  if (library == nullptr) {
    fprintf(stderr, "cannot load %s\n", path.c_str());
    abort();
  }
  Find(library, "GetGlobalInfoW", &api.GetGlobalInfo);
  Find(library, "SetStartupInfoW", &api.SetStartupInfo);
  Find(library, "GetPluginInfoW", &api.GetPluginInfo);
  Find(library, "AnalyseW", &api.Analyse);
  Find(library, "CloseAnalyseW", &api.CloseAnalyse);
  Find(library, "OpenW", &api.Open);
  Find(library, "GetOpenPanelInfoW", &api.GetOpenPanelInfo);
  Find(library, "GetFindDataW", &api.GetFindData);
  Find(library, "FreeFindDataW", &api.FreeFindData);
  Find(library, "GetFilesW", &api.GetFiles);
  Find(library, "ClosePanelW", &api.ClosePanel);
  Find(library, "ExitFARW", &api.ExitFAR);
  Find(library, "ConfigureW", &api.Configure);
  Find(library, "ProcessPanelInputW", &api.ProcessPanelInput);
  Find(library, "SetDirectoryW", &api.SetDirectory);
  GlobalInfo global;
  memset(&global, 0, sizeof global);
  global.StructSize = sizeof global;
  api.GetGlobalInfo(&global);
  Host.PluginId = global.Guid;
  SetLanguage("VessorFolderEng.lng");
  StartPlugin(api);
  loaded = true;
  return api;
}

std::wstring LongPath(const std::wstring &path) { return L"\\\\?\\" + path; }

// The names in a directory, any letters and any length.
std::vector<std::wstring> ListWide(const std::wstring &dir) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW(LongPath(dir + L"\\*").c_str(), &found);
  for (bool more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileW(search, &found))
    if (wcscmp(found.cFileName, L".") != 0 && wcscmp(found.cFileName, L"..") != 0)
      names.push_back(found.cFileName);
  if (search != INVALID_HANDLE_VALUE) FindClose(search);
  std::sort(names.begin(), names.end());
  return names;
}

std::string ReadWide(const std::wstring &path) {
  HANDLE file = CreateFileW(LongPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  std::string bytes;
  char buffer[4096];
  DWORD got = 0;
  while (file != INVALID_HANDLE_VALUE && ReadFile(file, buffer, sizeof buffer, &got, nullptr) &&
         got > 0)
    bytes.append(buffer, got);
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  return bytes;
}

bool MakeDirectoryWide(const std::wstring &path) {
  return CreateDirectoryW(LongPath(path).c_str(), nullptr) != 0;
}

uint64_t Ticks(const FILETIME &time) {
  return uint64_t(time.dwHighDateTime) << 32 | time.dwLowDateTime;
}

struct Listing {
  intptr_t Result = -1;
  far3::PluginPanelItem *Items = nullptr;
  size_t Count = 0;
  std::vector<std::wstring> Names() const {
    std::vector<std::wstring> names;
    for (size_t i = 0; i < Count; ++i) names.push_back(Items[i].FileName);
    return names;
  }
};

class NativeTest : public testing::Test {
 protected:
  void SetUp() override {
    Native();
    Host.Boxes.clear();
    Host.Lines.clear();
    Host.BoxAnswer = 0;
    Host.LineAnswered = true;
    Host.LineAnswer.clear();
    Host.Dialogs.clear();
    Host.FormatAnswer = Host.MarkReadAnswer = -1;
    Host.SettingsRefused = false;
    Host.Selected.clear();
    Host.PluginPanel = false;
    Host.Updates = 0;
    Host.Settings.clear();
    SetLanguage("VessorFolderEng.lng");
    StartPlugin(Native());
    dir = Wide(MakeTempDir(), CP_ACP);
  }
  void TearDown() override {
    for (Listing &listing : listings) Free(listing);
    if (panel != nullptr) Close();
    EXPECT_EQ(Host.SettingsOpen, 0);
  }

  // Writes a folder into `folder_dir` under the names `index_name` and
  // `data_name` and opens it as the host does: AnalyseW with the leading
  // bytes, then OpenW.
  void Open(const std::string &description, const std::wstring &folder_dir = L"",
            const std::wstring &index_name = L"INBOX.IDX",
            const std::wstring &data_name = L"INBOX.IDM") {
    const std::string made = MakeFolder(MakeTempDir(), description);
    index = (folder_dir.empty() ? dir : folder_dir) + L"\\" + index_name;
    data = (folder_dir.empty() ? dir : folder_dir) + L"\\" + data_name;
    ASSERT_TRUE(MoveFileW(Wide(made, CP_ACP).c_str(), LongPath(index).c_str()));
    MoveFileW(Wide(DataPathFor(made), CP_ACP).c_str(), LongPath(data).c_str());
    std::string leading = ReadWide(index).substr(0, 128);
    AnalyseInfo analyse = {sizeof analyse, index.c_str(), &leading[0], leading.size(), 0, nullptr};
    HANDLE claim = Native().Analyse(&analyse);
    ASSERT_NE(claim, nullptr);
    OpenAnalyseInfo open_analyse = {sizeof open_analyse, &analyse, claim};
    OpenInfo open = {sizeof open, OPEN_ANALYSE, nullptr, intptr_t(&open_analyse), nullptr};
    panel = Native().Open(&open);
    ASSERT_NE(panel, nullptr);
  }

  void Close() {
    ClosePanelInfo close = {sizeof close, panel, nullptr};
    Native().ClosePanel(&close);
    panel = nullptr;
  }

  Listing &List() {
    listings.push_back(Listing());
    if (panel == nullptr) {
      ADD_FAILURE() << "no folder open";
      return listings.back();
    }
    GetFindDataInfo find = {sizeof find, panel, nullptr, 0, 0, nullptr};
    Listing &listing = listings.back();
    listing.Result = Native().GetFindData(&find);
    listing.Items = find.PanelItem;
    listing.Count = find.ItemsNumber;
    return listing;
  }

  void Free(Listing &listing) {
    FreeFindDataInfo free_info = {sizeof free_info, panel, listing.Items, listing.Count, nullptr};
    Native().FreeFindData(&free_info);
    listing.Items = nullptr;
  }

  // GetFilesW for `count` items from `first`, all of them chosen, into `dest`.
  intptr_t Copy(Listing &listing, const std::wstring &dest, unsigned long long mode,
                size_t first = 0, size_t count = SIZE_MAX) {
    if (count == SIZE_MAX) count = listing.Count - first;
    for (size_t i = first; i < first + count; ++i) listing.Items[i].Flags |= PPIF_SELECTED;
    GetFilesInfo files = {sizeof files, panel,  listing.Items + first, count, FALSE, dest.c_str(),
                          mode,         nullptr};
    const intptr_t result = Native().GetFiles(&files);
    answered_dest = files.DestPath != nullptr ? files.DestPath : L"";
    return result;
  }

  std::wstring dir, index, data, answered_dest;
  HANDLE panel = nullptr;
  std::deque<Listing> listings;  // references to them stay valid
};

const char CopiedFolder[] = R"(
message
  name \xcf\xee\xf7\xf2\xe0
  body first
message
  name \xcf\xce\xd7\xd2\xc0
  body second
message
  name ..
  description dots
  body third
message
  body fourth
message
  name Re: lunch?
  description Joe
  date 12 Mar 00 14:35
  body fifth
)";

}  // namespace

TEST(Native, DeclaresItselfAndClaimsOnlyIndexFiles) {
  const NativeApi &api = Native();
  GlobalInfo global;
  memset(&global, 0xAB, sizeof global);
  global.StructSize = sizeof global;
  api.GetGlobalInfo(&global);
  EXPECT_EQ(global.MinFarVersion.Major, 3u);
  EXPECT_STREQ(global.Title, L"Vessor folder");
  const GUID none = {};
  EXPECT_NE(memcmp(&global.Guid, &none, sizeof none), 0);
  far3::PluginInfo plugin = {};
  plugin.StructSize = sizeof plugin;
  api.GetPluginInfo(&plugin);
  ASSERT_EQ(plugin.PluginMenu.Count, 1u);
  EXPECT_STREQ(plugin.PluginMenu.Strings[0], L"Convert mail folders\x2026");
  EXPECT_EQ(plugin.DiskMenu.Count, 0u);
  ASSERT_EQ(plugin.PluginConfig.Count, 1u);
  EXPECT_STREQ(plugin.PluginConfig.Strings[0], L"Vessor folder");

  // The same four first words as the old interface, more than 4 bytes, a path.
  unsigned char bytes[8] = {};
  AnalyseInfo info = {sizeof info, L"C:\\mail\\INBOX.IDX", bytes, sizeof bytes, 0, nullptr};
  const std::pair<uint16_t, bool> words[] = {{0x0080, true},  {0x2080, true},  {0x4080, true},
                                             {0x6080, true},  {0x0081, false}, {0x8080, false},
                                             {0x0000, false}, {0x1080, false}};
  for (const auto &word : words) {
    bytes[0] = uint8_t(word.first);
    bytes[1] = uint8_t(word.first >> 8);
    EXPECT_EQ(api.Analyse(&info) != nullptr, word.second) << word.first;
  }
  bytes[0] = 0x80;
  bytes[1] = 0;
  info.BufferSize = 4;
  EXPECT_EQ(api.Analyse(&info), nullptr);
  info.BufferSize = 5;
  EXPECT_NE(api.Analyse(&info), nullptr);
  info.FileName = L"";
  EXPECT_EQ(api.Analyse(&info), nullptr);
  info.FileName = L"C:\\mail\\INBOX.IDX";
  info.StructSize = offsetof(AnalyseInfo, BufferSize);  // a host whose record ends sooner
  EXPECT_EQ(api.Analyse(&info), nullptr);
  info.StructSize = sizeof info;
  CloseAnalyseInfo close = {sizeof close, api.Analyse(&info), nullptr};
  api.CloseAnalyse(&close);

  // Only an opening from a claimed file makes a panel; no file is opened.
  OpenAnalyseInfo open_analyse = {sizeof open_analyse, &info, close.Handle};
  OpenInfo open = {sizeof open, 1, nullptr, intptr_t(&open_analyse), nullptr};
  EXPECT_EQ(api.Open(&open), nullptr);
  open.OpenFrom = OPEN_ANALYSE;
  HANDLE panel = api.Open(&open);
  ASSERT_NE(panel, nullptr);

  OpenPanelInfo settings = {};
  settings.StructSize = sizeof settings;
  settings.hPanel = panel;
  api.GetOpenPanelInfo(&settings);
  // Never OPIF_REALNAMES, with which the host would copy by itself; ".."
  // leads out of the folder.
  EXPECT_EQ(settings.Flags, far3::OPIF_SHOWPRESERVECASE | far3::OPIF_ADDDOTS);
  EXPECT_STREQ(settings.HostFile, L"C:\\mail\\INBOX.IDX");
  ASSERT_NE(settings.CurDir, nullptr);
  EXPECT_STREQ(settings.CurDir, L"");
  EXPECT_STREQ(settings.PanelTitle, L"Vessor folder");
  EXPECT_EQ(settings.StartPanelMode, '7');
  EXPECT_EQ(settings.StartSortMode, far3::SM_CTIME);
  EXPECT_EQ(settings.StartSortOrder, 1);
  EXPECT_EQ(settings.InfoLinesNumber, 0u);  // until a listing has counted them
  // Ten modes of the columns a message has; the start view shows them all.
  ASSERT_EQ(settings.PanelModesNumber, 10u);
  EXPECT_STREQ(settings.PanelModesArray[7].ColumnTypes, L"N,Z,D,T,S");
  const std::wstring known = L",N,Z,D,T,S,A,";
  for (size_t i = 0; i < 10; ++i) {
    const std::wstring types = settings.PanelModesArray[i].ColumnTypes;
    for (size_t at = 0; at <= types.size();) {
      size_t end = types.find(L',', at);
      if (end == std::wstring::npos) end = types.size();
      EXPECT_NE(known.find(L"," + types.substr(at, end - at) + L","), std::wstring::npos)
          << i << ": " << types;
      at = end + 1;
    }
  }
  // No label for the keys that would change the folder.
  ASSERT_NE(settings.KeyBar, nullptr);
  std::vector<WORD> blank;
  for (size_t i = 0; i < settings.KeyBar->CountLabels; ++i) {
    const KeyBarLabel &label = settings.KeyBar->Labels[i];
    EXPECT_STREQ(label.Text, L"");
    if (label.Key.ControlKeyState == 0) blank.push_back(label.Key.VirtualKeyCode);
  }
  std::sort(blank.begin(), blank.end());
  EXPECT_EQ(blank, (std::vector<WORD>{VK_F4, VK_F6, VK_F7, VK_F8}));
  ClosePanelInfo close_panel = {sizeof close_panel, panel, nullptr};
  api.ClosePanel(&close_panel);
  ExitInfo exit = {sizeof exit, nullptr};
  api.ExitFAR(&exit);
}

// A text missing from a language file shows as nothing, or as the next
// one's, in the host: each file holds one quoted text per message number.
TEST(Native, LanguageFilesHoldEveryText) {
  const struct {
    const char *File, *Language;
  } files[] = {{"VessorFolderEng.lng", ".Language=English,English"},
               {"VessorFolderRus.lng", ".Language=Russian,Russian (\xD0\xA0\xD1\x83\xD1\x81"
                                       "\xD1\x81\xD0\xBA\xD0\xB8\xD0\xB9)"}};
  for (const auto &file : files) {
    const std::vector<std::wstring> lines = TextFileLines(file.File);
    ASSERT_FALSE(lines.empty()) << file.File << ": missing, or no byte-order mark";
    EXPECT_EQ(lines[0], Wide(file.Language)) << file.File;
    ASSERT_EQ(lines.size(), size_t(MessageCount) + 1) << file.File;
    for (size_t i = 1; i <= size_t(MessageCount); ++i) {
      const std::wstring &line = lines[i];
      EXPECT_TRUE(line.size() > 2 && line.front() == L'"' && line.back() == L'"')
          << file.File << " text " << i - 1 << ": " << line;
      // The texts the plug-in fills in name each of their values' places
      // once, in any order, and hold no other "%".
      const MessageId id = MessageId(i - 1);
      const size_t wanted = id == MSummaryCounts || id == MSendSummaryCounts ? 4
                            : id == MProgressOf || id == MSendProgressOf      ? 3
                            : id == MConvertPathQuestion || id == MPartsTitle ||
                                      id == MCodePageFromFolder || id == MCodePageSystem ||
                                      id == MCodePageByHand
                                  ? 1
                            : id == MCopyQuestion || id == MConvertCountQuestion ||
                                    id == MCountedBytes || id == MFailureAt
                                ? 2
                                : 0;
      std::wstring places;
      for (size_t at = 0; (at = line.find(L'%', at)) != std::wstring::npos; ++at)
        places += at + 1 < line.size() ? line[at + 1] : L'%';
      std::sort(places.begin(), places.end());
      EXPECT_EQ(places, std::wstring(L"123456789").substr(0, wanted)) << file.File << ": " << line;
    }
  }
}

// The help files: each topic the plug-in opens, or a link leads to, is there.
TEST(Native, HelpFilesHoldEveryTopic) {
  for (const char *file : {"VessorFolderEng.hlf", "VessorFolderRus.hlf"}) {
    const std::vector<std::wstring> lines = TextFileLines(file);
    ASSERT_GT(lines.size(), 2u) << file << ": missing, or no byte-order mark";
    EXPECT_EQ(lines[0].substr(0, 10), L".Language=") << file;
    EXPECT_EQ(lines[1].substr(0, 16), L".PluginContents=") << file;
    std::vector<std::wstring> topics, wanted = {L"Contents",  L"Keys",  L"Saving",  L"Convert",
                                                L"CodePage",  L"InfoLines", L"Never"};
    for (size_t i = 0; i < lines.size(); ++i) {
      if (lines[i].size() > 1 && lines[i][0] == L'@') {
        topics.push_back(lines[i].substr(1));
        EXPECT_EQ(i + 1 < lines.size() ? lines[i + 1].substr(0, 3) : L"", L"$ #") << file;
      }
      for (size_t at = 0; (at = lines[i].find(L"~@", at)) != std::wstring::npos; at += 2)
        wanted.push_back(lines[i].substr(at + 2, lines[i].find(L'@', at + 2) - at - 2));
    }
    for (const std::wstring &topic : wanted)
      EXPECT_NE(std::find(topics.begin(), topics.end(), topic), topics.end())
          << file << ": no topic " << topic;
  }
}

// Each code page the configuration offers, taken from the settings store at
// start: the same bytes give different names and descriptions.
TEST_F(NativeTest, ListsTextsInTheChosenCodePage) {
  Open(R"(
message
  name \x8f\xae\xe7\xe2\xa0
  description \xe0\xa5\xaf\xa0\xe0
message
  name \xcf\xee\xf7\xf2\xe0
  description \xd0\xe5\xef\xe0
message
  name Gr\xfc\xdfe aus M\xfcnchen
  description J\xfcrgen
message
  name \xe9\x82\xae\xe4\xbb\xb6 \xd0\x9f\xd0\xbe\xd1\x87\xd1\x82\xd0\xb0
  description Zo\xc3\xab
)");
  const struct {
    unsigned long long CodePage;
    size_t Item;
    const wchar_t *Name, *Description;
  } rows[] = {
      {866, 0, L"Почта", L"репар"},
      {1251, 1, L"Почта", L"Репа"},
      {1252, 2, L"Grüße aus München", L"Jürgen"},
      {65001, 3, L"邮件 Почта", L"Zoë"},
  };
  for (const auto &row : rows) {
    Host.Settings[L"CodePage"] = row.CodePage;
    StartPlugin(Native());
    Listing &listing = List();
    ASSERT_EQ(listing.Result, 1);
    ASSERT_EQ(listing.Count, 4u);
    EXPECT_STREQ(listing.Items[row.Item].FileName, row.Name) << row.CodePage;
    EXPECT_STREQ(listing.Items[row.Item].Description, row.Description) << row.CodePage;
  }

  // By default, and for a value the plug-in never wrote: the folder's own,
  // here (no message declares one) the system's ANSI code page.
  const std::wstring ansi = Wide("\x8f\xae\xe7\xe2\xa0", CP_ACP);
  for (unsigned long long kept : {0ull, 12345ull}) {
    Host.Settings.clear();
    if (kept != 0) Host.Settings[L"CodePage"] = kept;
    StartPlugin(Native());
    EXPECT_EQ(List().Items[0].FileName, ansi);
  }
}

// With no code page chosen, the names are read in the code page the
// folder's messages declare most, else in the system's ANSI one; one chosen
// by hand wins. Ctrl+L's last line tells which and where it came from.
TEST_F(NativeTest, ListsTextsInTheCodePageTheFolderDeclares) {
  const std::string latin = "\\r\\nContent-Type: text/plain; charset=windows-1252\\r\\n\\r\\nx\n";
  const std::string koi8 = "\\r\\nContent-Type: text/plain; charset=koi8-r\\r\\n\\r\\nx\n";
  const std::string plain = "\\r\\n\\r\\nx\n";
  const std::wstring system =
      L"windows-" + std::to_wstring(GetACP()) + L" (the system's)";
  const struct {
    const char *What;
    unsigned long long Chosen;  // 0: none
    std::string Name, Body;
    std::wstring Shown, Line;
  } rows[] = {
      {"windows-1252", 0, "J\\xfcrgen", latin, L"Jürgen", L"windows-1252 (from the folder)"},
      {"koi8-r", 0, "\\xf0\\xc9\\xd3\\xd8\\xcd\\xcf", koi8, L"Письмо",
       L"koi8-r (from the folder)"},
      {"nothing declared", 0, "J\\xfcrgen", plain, Wide("J\xfcrgen", CP_ACP), system},
      {"chosen by hand", 866, "\\x8f\\xa8\\xe1\\xec\\xac\\xae", koi8, L"Письмо",
       L"cp866 (set by hand)"},
  };
  for (const auto &row : rows) {
    Host.Settings.clear();
    if (row.Chosen != 0) Host.Settings[L"CodePage"] = row.Chosen;
    StartPlugin(Native());
    const std::wstring place = dir + L"\\" + Wide(row.What, CP_ACP);
    ASSERT_TRUE(MakeDirectoryWide(place));
    Open("message\nname " + row.Name + "\nbody Subject: x" + row.Body, place);
    Listing &listing = List();
    ASSERT_EQ(listing.Count, 1u) << row.What;
    EXPECT_EQ(std::wstring(listing.Items[0].FileName), row.Shown) << row.What;
    OpenPanelInfo settings = {};
    settings.StructSize = sizeof settings;
    settings.hPanel = panel;
    Native().GetOpenPanelInfo(&settings);
    ASSERT_EQ(settings.InfoLinesNumber, 15u);
    EXPECT_EQ(std::wstring(settings.InfoLines[14].Data), row.Line) << row.What;
    Close();
  }
}

TEST_F(NativeTest, ListsWhatTheOldInterfaceListed) {
  Open(R"(
message
  flags 0x00040080
  name \x20\x20Hello
  description Ann
  date 12 Mar 00 14:35
  body-fill 2500
message
  flags 0
  name \x20
  description  Joe
  body x
message
  name ..
  body dots
message
  body nameless
)");
  Listing &listing = List();
  ASSERT_EQ(listing.Count, 4u);
  // The host takes ".." for the way up and fails on an empty name: they get
  // the names their files get.
  EXPECT_EQ(listing.Names(), (std::vector<std::wstring>{L"Hello", L" Joe", L"__", L"_"}));
  const far3::PluginPanelItem &item = listing.Items[0];
  EXPECT_STREQ(item.Description, L"Ann");
  EXPECT_EQ(item.FileSize, 2500u);
  EXPECT_EQ(Ticks(item.CreationTime), 125973417000000000ull);  // an hour before 14:35
  EXPECT_EQ(Ticks(item.LastWriteTime), 125973417000000000ull);
  EXPECT_EQ(item.FileAttributes, 2u);              // hidden
  EXPECT_EQ(listing.Items[1].FileAttributes, 1u);  // read-only
  EXPECT_EQ(uintptr_t(listing.Items[1].UserData.Data), 2500u);
  for (size_t i = 0; i < listing.Count; ++i) {
    EXPECT_EQ(listing.Items[i].UserData.FreeData, nullptr);
    EXPECT_EQ(listing.Items[i].Flags, 0u);
    // One block: the texts follow the items.
    const char *end = reinterpret_cast<const char *>(listing.Items + listing.Count);
    EXPECT_GE(reinterpret_cast<const char *>(listing.Items[i].FileName), end);
    EXPECT_LT(reinterpret_cast<const char *>(listing.Items[i].Description), end + 4096);
  }
}

// Ctrl+L: the facts of the folder, counted by the listing.
TEST_F(NativeTest, InfoLinesTellTheFolder) {
  Open(R"(
message
  flags 0x00040080
  name hidden
  date 12 Mar 00 12:35
  body-fill 2500
message
  flags 0
  name read-only
  date 01 Jan 99 12:00
  body x
message
  name undated
  body yy
message
  name cut short
  date garbage
  offset 2400
  size 200
  body zzz
message
  name empty
  size 0
)");
  List();
  OpenPanelInfo settings = {};
  settings.StructSize = sizeof settings;
  settings.hPanel = panel;
  Native().GetOpenPanelInfo(&settings);
  ASSERT_EQ(settings.InfoLinesNumber, 15u);
  std::vector<std::wstring> texts, values;
  for (size_t i = 0; i < settings.InfoLinesNumber; ++i) {
    const InfoPanelLine &line = settings.InfoLines[i];
    texts.push_back(line.Text);
    values.push_back(line.Flags & IPLFLAGS_SEPARATOR ? L"-" : line.Data);
  }
  const std::wstring index_size = std::to_wstring(ReadWide(index).size()) + L" bytes";
  EXPECT_EQ(texts, (std::vector<std::wstring>{
                       L"Files", L"Index file", L"Size", L"Data folder file", L"Size",
                       L"Messages", L"Messages", L"Hidden", L"Read-only", L"Total size",
                       L"Oldest", L"Newest", L"Undated", L"Past data file's end",
                       L"Code page of names"}));
  EXPECT_EQ(values[1], index);
  EXPECT_EQ(values[2], index_size);
  EXPECT_EQ(values[3], data);
  EXPECT_EQ(values[4], L"2,506 bytes");
  EXPECT_EQ(values[6], L"5");
  EXPECT_EQ(values[7], L"1");
  EXPECT_EQ(values[8], L"1");
  EXPECT_EQ(values[9], L"2,703 bytes");  // the sizes as the records give them
  EXPECT_EQ(values[10].substr(0, 11), L"1999-01-01 ");
  EXPECT_EQ(values[11].substr(0, 11), L"2000-03-12 ");
  EXPECT_EQ(values[12], L"3");
  EXPECT_EQ(values[13], L"1");
  EXPECT_EQ(values[14], L"windows-" + std::to_wstring(GetACP()) + L" (the system's)");

  // Without the data folder file, every message with bytes lies past its end.
  Close();
  const std::wstring other = dir + L"\\other";
  ASSERT_TRUE(MakeDirectoryWide(other));
  Open("no-data\nmessage\nname a\nbody abc\nmessage\nname b\n", other);
  List();
  settings.hPanel = panel;
  Native().GetOpenPanelInfo(&settings);
  ASSERT_EQ(settings.InfoLinesNumber, 15u);
  EXPECT_STREQ(settings.InfoLines[4].Data, L"missing");
  EXPECT_STREQ(settings.InfoLines[10].Data, L"none");
  EXPECT_STREQ(settings.InfoLines[13].Data, L"1");
}

// The host set to Russian: its texts, with the noun's form chosen by number.
TEST_F(NativeTest, TextsInTheHostsLanguage) {
  SetLanguage("VessorFolderRus.lng");
  StartPlugin(Native());
  std::string folder;
  for (int i = 0; i < 22; ++i) folder += "message\nname m" + std::to_string(i) + "\nbody x\n";
  Open(folder);
  Listing &listing = List();
  ASSERT_EQ(listing.Count, 22u);
  Host.LineAnswered = false;
  const struct {
    size_t Count;
    const wchar_t *Question;
  } rows[] = {
      {1, L"Копировать 1 сообщение в:"},  {2, L"Копировать 2 сообщения в:"},
      {4, L"Копировать 4 сообщения в:"},  {5, L"Копировать 5 сообщений в:"},
      {11, L"Копировать 11 сообщений в:"}, {12, L"Копировать 12 сообщений в:"},
      {21, L"Копировать 21 сообщение в:"}, {22, L"Копировать 22 сообщения в:"},
  };
  for (const auto &row : rows) {
    EXPECT_EQ(Copy(listing, dir, 0, 0, row.Count), -1);
    EXPECT_EQ(Host.Lines.back().Question, row.Question);
  }
  EXPECT_EQ(Host.Lines.back().Title, L"Копирование");
  OpenPanelInfo settings = {};
  settings.StructSize = sizeof settings;
  settings.hPanel = panel;
  Native().GetOpenPanelInfo(&settings);
  EXPECT_STREQ(settings.PanelTitle, L"Папка Vessor");
  EXPECT_STREQ(settings.InfoLines[6].Text, L"Сообщений");
  EXPECT_STREQ(settings.InfoLines[4].Data, L"22 байта");

  // English has one plural form.
  SetLanguage("VessorFolderEng.lng");
  for (size_t count : {21, 22}) {
    EXPECT_EQ(Copy(listing, dir, 0, 0, count), -1);
    EXPECT_EQ(Host.Lines.back().Question,
              L"Copy " + std::to_wstring(count) + L" messages to:");
  }
}

// A changed choice in the configuration menu is kept in the store and
// decodes the next listing; one already made keeps its names.
TEST_F(NativeTest, ConfigurationChangesTheNextListing) {
  Open("message\nname \\xcf\\xee\\xf7\\xf2\\xe0\nbody x\n");
  Listing &before = List();
  ConfigureInfo configure = {sizeof configure, nullptr, nullptr};
  Host.MenuAnswer = -1;
  EXPECT_EQ(Native().Configure(&configure), 0);
  EXPECT_TRUE(Host.Settings.empty());
  ASSERT_EQ(Host.MenuItems.size(), 10u);
  EXPECT_EQ(Host.MenuMarked, 0);  // the folder's own
  EXPECT_EQ(Host.MenuItems[0].substr(0, 9), L"Automatic");
  EXPECT_EQ(Host.MenuHelp, L"CodePage");

  const size_t cp1251 = 8;
  ASSERT_EQ(Host.MenuItems[cp1251].substr(0, 4), L"1251");
  Host.MenuAnswer = intptr_t(cp1251);
  EXPECT_EQ(Native().Configure(&configure), 1);
  EXPECT_EQ(Host.Settings[L"CodePage"], 1251u);
  EXPECT_STREQ(List().Items[0].FileName, L"Почта");
  EXPECT_EQ(before.Items[0].FileName, Wide("\xcf\xee\xf7\xf2\xe0", CP_ACP));
  Host.MenuAnswer = -1;
  Native().Configure(&configure);
  EXPECT_EQ(Host.MenuMarked, int(cp1251));
}

// F5 shows the save dialog, its line prefilled with the other panel's directory; the
// answer may be any directory, of any letters and any length, made when it is
// not there. The folder itself may lie anywhere too.
TEST_F(NativeTest, CopiesIntoAnyDirectory) {
  const std::wstring mail = dir + L"\\Почта 邮件";
  ASSERT_TRUE(MakeDirectoryWide(mail));
  Host.Settings[L"CodePage"] = 1251;
  StartPlugin(Native());
  // An index whose last letter takes two UTF-16 places: the data folder
  // file's name ends in one M all the same.
  Open(CopiedFolder, mail, L"Ящик.邮\U0001D54F", L"Ящик.邮M");
  Listing &listing = List();
  ASSERT_EQ(listing.Count, 5u);

  const std::wstring out = dir + L"\\out";
  ASSERT_TRUE(MakeDirectoryWide(out));
  EXPECT_EQ(Copy(listing, out, 0), 1);
  ASSERT_EQ(Host.Lines.size(), 1u);
  const Line &line = Host.Lines[0];
  EXPECT_EQ(line.Title, L"Copy");
  EXPECT_EQ(line.Question, L"Copy 5 messages to:");
  EXPECT_EQ(line.Text, out);
  EXPECT_FALSE(line.History.empty());
  EXPECT_EQ(line.Flags & (DIF_HISTORY | DIF_EDITPATH), DIF_HISTORY | DIF_EDITPATH);
  EXPECT_EQ(line.Help, L"Saving");
  // Names told apart as the system compares them: what the file system takes
  // for one name gets the next suffix.
  const std::vector<std::wstring> names = {L"Re__lunch_", L"_", L"__", L"ПОЧТА_(2)", L"Почта"};
  EXPECT_EQ(ListWide(out), names);
  EXPECT_EQ(ReadWide(out + L"\\Почта"), "first");
  EXPECT_EQ(ReadWide(out + L"\\ПОЧТА_(2)"), "second");
  EXPECT_EQ(ReadWide(out + L"\\__"), "third");
  EXPECT_EQ(ReadWide(out + L"\\_"), "fourth");
  for (size_t i = 0; i < listing.Count; ++i) EXPECT_EQ(listing.Items[i].Flags, 0u) << i;
  EXPECT_TRUE(Host.Boxes.empty());

  // Moved, into a directory typed in the input line that is not there: one
  // named in letters of no single code page, then one of over 300 letters.
  std::wstring deep = dir + L"\\Почта 邮件\\new";
  // Steps of at most 255 bytes in UTF-8, which every file system takes.
  const std::wstring step = L"\\" + std::wstring(80, L'д') + L"\\" + std::wstring(80, L'邮');
  const std::wstring deeper = deep + step + step;
  for (const std::wstring &typed : {deep, deeper}) {
    Host.LineAnswer = L"  \"" + typed + L"\" ";
    GetFilesInfo files = {sizeof files, panel, listing.Items, 1, TRUE, out.c_str(), 0, nullptr};
    listing.Items[0].Flags = PPIF_SELECTED;
    EXPECT_EQ(Native().GetFiles(&files), 1);
    EXPECT_EQ(Host.Lines.back().Question, L"Copy 1 message to:");  // F6 only copies
    EXPECT_STREQ(files.DestPath, typed.c_str());
    EXPECT_EQ(ListWide(typed), (std::vector<std::wstring>{L"Почта"}));
    EXPECT_EQ(ReadWide(typed + L"\\Почта"), "first");
  }
  EXPECT_GT(deeper.size(), 300u);
  Host.LineAnswer.clear();
  EXPECT_EQ(Copy(listing, deeper, 0), 1);
  EXPECT_EQ(ListWide(deeper), names);
  EXPECT_EQ(ReadWide(deeper + L"\\Re__lunch_"), "fifth");

  // Esc: nothing written, every item still chosen.
  const std::wstring untouched = dir + L"\\untouched";
  Host.LineAnswered = false;
  EXPECT_EQ(Copy(listing, untouched, 0), -1);
  EXPECT_TRUE(ListWide(untouched).empty());
  for (size_t i = 0; i < listing.Count; ++i) EXPECT_EQ(listing.Items[i].Flags, PPIF_SELECTED);
  EXPECT_TRUE(Host.Boxes.empty());
}

// A view (F3), another silent operation or the host's search (Alt+F7, which
// reads each item it looks into): one item into the host's fresh directory,
// with no question.
TEST_F(NativeTest, ViewWritesOneItemSilently) {
  Open(CopiedFolder);
  Listing &listing = List();
  for (unsigned long long mode :
       {OPM_SILENT | OPM_VIEW, OPM_SILENT | 0ull, OPM_SILENT | OPM_FIND, OPM_FIND | 0ull}) {
    const std::wstring temp = dir + L"\\view" + std::to_wstring(mode);
    ASSERT_TRUE(MakeDirectoryWide(temp));
    EXPECT_EQ(Copy(listing, temp, mode, 4, 1), 1);
    EXPECT_EQ(ListWide(temp), (std::vector<std::wstring>{L"Re__lunch_"}));
    EXPECT_EQ(ReadWide(temp + L"\\Re__lunch_"), "fifth");
  }
  // F4: the folder is only read, so an edit is refused and writes nothing
  // for an editor whose changes would go nowhere.
  const std::wstring edit = dir + L"\\edit";
  ASSERT_TRUE(MakeDirectoryWide(edit));
  EXPECT_EQ(Copy(listing, edit, OPM_SILENT | OPM_EDIT, 4, 1), 0);
  EXPECT_TRUE(ListWide(edit).empty());
  EXPECT_TRUE(Host.Lines.empty());
  EXPECT_TRUE(Host.Boxes.empty());
}

// " (WORDS)": the system's words for `error` (GetLastError()'s number), as
// the boxes add them.
std::wstring Reason(int error) {
  const std::string words = SystemErrorText(error);
  return L" (" + std::wstring(words.begin(), words.end()) + L")";
}
const int FileNotFound = 2, AccessDenied = 5;

TEST_F(NativeTest, MissingDataFileWarnsUnlessSilent) {
  Open("no-data\nmessage\nname a\nbody abc\n");
  Listing &listing = List();
  ASSERT_EQ(listing.Count, 1u);
  const std::wstring out = dir + L"\\out";
  ASSERT_TRUE(MakeDirectoryWide(out));
  EXPECT_EQ(Copy(listing, out, 0), 0);
  ASSERT_EQ(Host.Boxes.size(), 1u);
  EXPECT_EQ(Host.Boxes[0].Flags, far3::FMSG_WARNING | FMSG_MB_OK);
  EXPECT_EQ(Host.Boxes[0].Help, L"Saving");
  EXPECT_EQ(Host.Boxes[0].Items,
            (std::vector<std::wstring>{L"Unable to open Data Folder File",
                                       data + Reason(FileNotFound)}));
  EXPECT_TRUE(Host.Lines.empty());  // no question for a copy that cannot be made
  EXPECT_EQ(Copy(listing, out, OPM_SILENT | OPM_VIEW), 0);
  EXPECT_EQ(Copy(listing, out, OPM_FIND), 0);  // the host's search
  EXPECT_EQ(Host.Boxes.size(), 1u);
  EXPECT_TRUE(ListWide(out).empty());
  EXPECT_EQ(listing.Items[0].Flags, PPIF_SELECTED);
}

// The items that are not written stay chosen, and one box at the end tells
// the counts and the first reasons.
TEST_F(NativeTest, ItemsNotWrittenStayChosen) {
  Open(CopiedFolder);
  Listing &listing = List();
  const std::wstring out = dir + L"\\out";
  ASSERT_TRUE(MakeDirectoryWide(out));
  ASSERT_TRUE(MakeDirectoryWide(out + L"\\__"));  // takes the name of the third
  ASSERT_TRUE(MakeDirectoryWide(out + L"\\_"));   // and of the fourth
  EXPECT_EQ(Copy(listing, out, 0), 0);
  ASSERT_EQ(Host.Boxes.size(), 1u);
  EXPECT_EQ(Host.Boxes[0].Flags, far3::FMSG_WARNING | FMSG_MB_OK);
  const std::wstring cannot = L"Cannot create file" + Reason(AccessDenied) + L": ";
  EXPECT_EQ(Host.Boxes[0].Items,
            (std::vector<std::wstring>{L"Saving", L"5 messages: 3 saved, 2 failed",
                                       cannot + out + L"\\__", cannot + out + L"\\_"}));
  const unsigned long long chosen[] = {0, 0, PPIF_SELECTED, PPIF_SELECTED, 0};
  for (size_t i = 0; i < 5; ++i) EXPECT_EQ(listing.Items[i].Flags, chosen[i]) << i;
  EXPECT_EQ(Host.Screens, 0);
}

// The dialog's other formats: .eml files, one mbox file and a Maildir, each
// through the outputs vfolder writes with; the choice is remembered, and an
// mbox or a Maildir never takes a name in use.
TEST_F(NativeTest, SavesForMailPrograms) {
  Open(CopiedFolder);
  Listing &listing = List();
  const std::wstring out = dir + L"\\mail out";
  EXPECT_EQ(Copy(listing, out, 0), 1);
  ASSERT_EQ(Host.Dialogs.size(), 1u);
  EXPECT_EQ(Host.Dialogs[0].Formats,
            (std::vector<std::wstring>{L"Message &files", L".&eml files", L"One &mbox file",
                                       L"A Mail&dir", L"A mail &account (IMAP)"}));
  EXPECT_EQ(Host.Dialogs[0].Marked, 0);
  EXPECT_FALSE(Host.Dialogs[0].MarkShown);  // greyed: message files cannot mark
  EXPECT_EQ(Host.Settings[L"SaveAs"], 0u);

  const std::wstring eml = out + L"\\eml";
  Host.FormatAnswer = 1;
  EXPECT_EQ(Copy(listing, eml, 0), 1);
  const std::vector<std::wstring> emls = ListWide(eml);
  ASSERT_EQ(emls.size(), 5u);
  for (const std::wstring &name : emls) EXPECT_EQ(name.substr(name.size() - 4), L".eml");
  // Named in the letters the panel shows, whatever their code page.
  EXPECT_NE(std::find(emls.begin(), emls.end(), std::wstring(listing.Items[0].FileName) + L".eml"),
            emls.end());
  const std::string lunch = ReadWide(eml + L"\\Re__lunch_.eml");
  EXPECT_NE(lunch.find("From: Joe\nSubject: Re: lunch?\n"), std::string::npos) << lunch;
  for (size_t i = 0; i < listing.Count; ++i) EXPECT_EQ(listing.Items[i].Flags, 0u) << i;

  // One mbox named after the folder; the next one beside it.
  Host.FormatAnswer = 2;
  Host.MarkReadAnswer = 1;
  EXPECT_EQ(Copy(listing, out, 0), 1);
  EXPECT_EQ(Copy(listing, out, 0, 4, 1), 1);
  EXPECT_EQ(Host.Settings[L"SaveAs"], 2u);
  EXPECT_EQ(Host.Settings[L"MarkRead"], 1u);
  const std::string mbox = ReadWide(out + L"\\INBOX.mbox");
  size_t messages = 0;
  for (size_t at = 0; (at = mbox.find("From ", at)) != std::string::npos; at += 5)
    messages += at == 0 || mbox[at - 1] == '\n';
  EXPECT_EQ(messages, 5u);
  EXPECT_NE(mbox.find("Status: RO"), std::string::npos);
  EXPECT_NE(mbox.find("\n\nfifth\n"), std::string::npos);
  EXPECT_NE(ReadWide(out + L"\\INBOX_(2).mbox").find("\n\nfifth\n"), std::string::npos);

  // A Maildir: read ones cannot be marked where names hold no ':', so
  // nothing is written and the box says why.
  Host.FormatAnswer = 3;
  Host.Boxes.clear();
  EXPECT_EQ(Copy(listing, out, 0), 0);
  ASSERT_EQ(Host.Boxes.size(), 1u);
  EXPECT_EQ(Host.Boxes[0].Items[1], L"5 messages: 0 saved, 5 failed");
  for (size_t i = 0; i < listing.Count; ++i) EXPECT_EQ(listing.Items[i].Flags, PPIF_SELECTED);
  Host.MarkReadAnswer = 0;
  EXPECT_EQ(Copy(listing, out, 0), 1);
  EXPECT_EQ(ListWide(out + L"\\INBOX_(2)\\new").size(), 5u);
  Host.FormatAnswer = -1;
  Host.Dialogs.clear();
  Copy(listing, out, 0, 0, 0);
  EXPECT_TRUE(Host.Dialogs.empty());  // no item, no question
  Host.LineAnswered = false;
  EXPECT_EQ(Copy(listing, out, 0), -1);
  EXPECT_EQ(Host.Dialogs.back().Marked, 3);  // as last chosen
  EXPECT_FALSE(Host.Dialogs.back().MarkRead);

  // "Mark as read" is greyed while the format chosen cannot mark: as shown
  // for the last choice, then as the radio button pressed leaves it; a
  // greyed box keeps its mark.
  Host.LineAnswered = true;
  Host.FormatAnswer = 1, Host.MarkReadAnswer = 1;
  EXPECT_EQ(Copy(listing, out + L"\\eml again", 0), 1);
  EXPECT_TRUE(Host.Dialogs.back().MarkShown);  // a Maildir
  EXPECT_FALSE(Host.Dialogs.back().MarkLeft);
  EXPECT_EQ(Host.Settings[L"MarkRead"], 0u);
  Host.FormatAnswer = 2;
  EXPECT_EQ(Copy(listing, out, 0), 1);
  EXPECT_FALSE(Host.Dialogs.back().MarkShown);
  EXPECT_TRUE(Host.Dialogs.back().MarkLeft);
  EXPECT_EQ(Host.Settings[L"MarkRead"], 1u);

  // A choice the settings refuse: a box says so, and it holds all the same
  // until one is kept.
  Host.SettingsRefused = true;
  Host.Boxes.clear();
  Host.FormatAnswer = 1;
  EXPECT_EQ(Copy(listing, out + L"\\eml third", 0), 1);
  ASSERT_EQ(Host.Boxes.size(), 1u);
  EXPECT_EQ(Host.Boxes[0].Items[1], L"Cannot keep the setting: it holds until the file manager ends");
  Host.FormatAnswer = -1;
  Host.LineAnswered = false;
  Copy(listing, out, 0);
  EXPECT_EQ(Host.Dialogs.back().Marked, 1);
  Host.SettingsRefused = false;
  Host.LineAnswered = true;
  Host.FormatAnswer = 0;
  EXPECT_EQ(Copy(listing, out + L"\\files", 0), 1);
  EXPECT_EQ(Host.Settings[L"SaveAs"], 0u);
}

// "A mail account" asks for the account in a dialog of its own, as far2l's
// does: the server and the user with their own histories, the password in
// the host's password line with none. A server's line that names no account
// is told, nothing is sent, and the items stay chosen.
TEST_F(NativeTest, AsksForAMailAccountInADialogOfItsOwn) {
  Open(CopiedFolder);
  Listing &listing = List();
  Host.FormatAnswer = 4;
  Host.LineAnswer = L"ftp://example.org";  // typed into every edit line
  EXPECT_EQ(Copy(listing, dir + L"\\out", 0), -1);
  ASSERT_EQ(Host.Dialogs.size(), 2u);
  const SaveDialog &account = Host.Dialogs[1];
  EXPECT_EQ(account.Title, L"Mail account");
  ASSERT_EQ(account.Edits.size(), 4u);
  EXPECT_EQ(account.EditHistories[0], L"VessorAccountUrl");
  EXPECT_EQ(account.EditHistories[1], L"VessorAccountUser");
  EXPECT_NE(account.Edits[0].Flags & DIF_HISTORY, 0u);
  EXPECT_EQ(account.Edits[2].Type, DI_PSWEDIT);
  EXPECT_EQ(account.Edits[2].Flags & DIF_HISTORY, 0u);
  ASSERT_EQ(Host.Boxes.size(), 1u);
  EXPECT_EQ(Host.Boxes[0].Items[1],
            L"Not an account's address: the URL starts with imaps:// or imap://");
  for (size_t i = 0; i < listing.Count; ++i) EXPECT_EQ(listing.Items[i].Flags, PPIF_SELECTED);
  EXPECT_EQ(GetFileAttributesW((dir + L"\\out").c_str()), INVALID_FILE_ATTRIBUTES);
}

// The plug-ins menu's entry on a file panel: the chosen index files and
// directories (every folder below) become a tree for a mail program, into
// the other panel's directory, which is then read anew.
TEST_F(NativeTest, ConvertsChosenFoldersFromThePluginsMenu) {
  const std::wstring mail = dir + L"\\mail", out = dir + L"\\out";
  for (const std::wstring &made : {mail, mail + L"\\tree", mail + L"\\tree\\Archive"})
    ASSERT_TRUE(MakeDirectoryWide(made));
  for (const std::wstring folder : {L"tree\\Inbox", L"tree\\Archive\\2000", L"Loose"}) {
    std::string body(folder.begin(), folder.end());
    std::replace(body.begin(), body.end(), '\\', '/');
    const std::string made = MakeFolder(MakeTempDir(), "message\nname a\nbody in " + body + "\n");
    ASSERT_TRUE(MoveFileW(Wide(made, CP_ACP).c_str(), (mail + L"\\" + folder + L".IDX").c_str()));
    ASSERT_TRUE(MoveFileW(Wide(DataPathFor(made), CP_ACP).c_str(),
                          (mail + L"\\" + folder + L".IDM").c_str()));
  }
  Host.PanelDir = mail;
  Host.PassiveDir = out;
  Host.Selected = {L"..\\", L"tree\\", L"Loose.IDX", L"Loose.IDM"};
  OpenInfo open = {sizeof open, OPEN_PLUGINSMENU, nullptr, 0, nullptr};
  EXPECT_EQ(Native().Open(&open), nullptr);
  ASSERT_EQ(Host.Dialogs.size(), 1u);
  EXPECT_EQ(Host.Dialogs[0].Title, L"Convert mail folders");
  EXPECT_EQ(Host.Dialogs[0].Question, L"Convert 3 items to:");
  EXPECT_EQ(Host.Dialogs[0].Text, out);
  EXPECT_EQ(Host.Dialogs[0].Formats.size(), 4u);  // with mailboxes of a mail account
  EXPECT_EQ(Host.Dialogs[0].Marked, 0);  // mbox files
  EXPECT_TRUE(Host.Boxes.empty());
  EXPECT_EQ(ListWide(out), (std::vector<std::wstring>{L"Loose", L"tree", L"tree.sbd"}));
  EXPECT_NE(ReadWide(out + L"\\tree.sbd\\Archive.sbd\\2000").find("\nin tree/Archive/2000"),
            std::string::npos);
  EXPECT_EQ(Host.Updates, 1);

  Host.FormatAnswer = 1;  // Maildirs, as Dovecot lays them out
  Host.LineAnswer = dir + L"\\maildir";
  Native().Open(&open);
  EXPECT_EQ(ListWide(Host.LineAnswer),
            (std::vector<std::wstring>{L".Loose", L".tree.Archive.2000", L".tree.Inbox", L"cur",
                                       L"new", L"tmp"}));
  EXPECT_EQ(ListWide(Host.LineAnswer + L"\\.tree.Inbox\\new").size(), 1u);
  EXPECT_EQ(Host.Settings[L"TreeSaveAs"], 3u);

  // Nothing to convert: told, and no dialog.
  Host.Dialogs.clear();
  for (bool plugin : {false, true}) {
    Host.Selected = {L"Loose.IDM"};
    Host.PluginPanel = plugin;
    Host.Boxes.clear();
    Native().Open(&open);
    ASSERT_EQ(Host.Boxes.size(), 1u);
    EXPECT_EQ(Host.Boxes[0].Items[1], plugin ? L"Choose index files (*.IDX) or directories that hold them"
                                             : L"No Vessor mail folder in what was chosen");
  }
  EXPECT_TRUE(Host.Dialogs.empty());
}

// Enter on a message shows its parts: its text readable, its attachments
// decoded under their names, the message inside it as a folder, its own
// bytes; F3 and F5 give them, ".." goes back up.
TEST_F(NativeTest, EntersAMessageAsAFolderOfItsParts) {
  const std::string message =
      "From: =?UTF-8?B?0JDQvdC90LA=?= <anna@example.org>\n"
      "To: bob@example.org\n"
      "Subject: report\n"
      "MIME-Version: 1.0\n"
      "Content-Type: multipart/mixed; boundary=\"b1\"\n"
      "\n"
      "--b1\n"
      "Content-Type: text/plain; charset=windows-1251\n"
      "Content-Transfer-Encoding: quoted-printable\n"
      "\n"
      "=C4=EE=E1=F0=FB=E9 =E4=E5=ED=FC\n"
      "--b1\n"
      "Content-Type: application/pdf\n"
      "Content-Disposition: attachment; filename*=UTF-8''%D0%9E%D1%82%D1%87%D1%91%D1%82%20%D0%B7%D0%B0%20%D0%BC%D0%B0%D1%80%D1%82.pdf\n"
      "Content-Transfer-Encoding: base64\n"
      "\n"
      "JVBERi0xLjQK\n"
      "--b1\n"
      "Content-Type: text/plain\n"
      "\n"
      "begin 644 hello.txt\n"
      "&:&5L;&\\*\n"
      "`\n"
      "end\n"
      "--b1\n"
      "Content-Type: message/rfc822\n"
      "\n"
      "From: inner@example.org\n"
      "Subject: inner\n"
      "\n"
      "inner body\n"
      "--b1--\n";
  std::string escaped;
  for (char c : message) escaped += c == '\n' ? std::string("\\n") : c == '\\' ? "\\\\" : std::string(1, c);
  Open("message\nname report\ndate 12 Mar 00 14:35\nbody " + escaped + "\n");
  Listing &messages = List();
  ASSERT_EQ(messages.Count, 1u);
  Host.Current = messages.Items[0];
  ProcessPanelInputInfo enter = {sizeof enter, panel, {}, nullptr};
  enter.Rec.EventType = KEY_EVENT;
  enter.Rec.Event.KeyEvent.bKeyDown = TRUE;
  enter.Rec.Event.KeyEvent.wVirtualKeyCode = VK_RETURN;
  EXPECT_EQ(Native().ProcessPanelInput(&enter), 1);
  EXPECT_EQ(Host.Updates, 1);

  Listing &parts = List();
  std::vector<std::wstring> names = parts.Names();
  ASSERT_GE(names.size(), 5u);
  EXPECT_EQ(names.front(), L"Message.txt");
  EXPECT_EQ(names.back(), L"Original.eml");
  // The sender's spaces stay.
  const auto report = std::find(names.begin(), names.end(), L"Отчёт за март.pdf");
  ASSERT_NE(report, names.end());
  EXPECT_NE(std::find(names.begin(), names.end(), L"hello.txt"), names.end());
  size_t inner = SIZE_MAX;
  for (size_t i = 0; i < parts.Count; ++i)
    if (parts.Items[i].FileAttributes & FILE_ATTRIBUTE_DIRECTORY) inner = i;
  ASSERT_NE(inner, SIZE_MAX);
  EXPECT_EQ(Ticks(parts.Items[0].LastWriteTime), Ticks(messages.Items[0].LastWriteTime));

  OpenPanelInfo settings = {};
  settings.StructSize = sizeof settings;
  settings.hPanel = panel;
  Native().GetOpenPanelInfo(&settings);
  EXPECT_STREQ(settings.CurDir, L"\\report");
  EXPECT_STREQ(settings.PanelTitle, L"Vessor folder: report");
  EXPECT_TRUE(settings.Flags & OPIF_ADDDOTS);
  ASSERT_EQ(settings.InfoLinesNumber, 5u);
  EXPECT_STREQ(settings.InfoLines[0].Data, L"Анна <anna@example.org>");

  // F5 of every part but the folder: decoded, the text in UTF-8.
  const std::wstring out = dir + L"\\parts";
  ASSERT_TRUE(MakeDirectoryWide(out));
  for (size_t i = 0; i < parts.Count; ++i)
    if (i != inner) {
      EXPECT_EQ(Copy(parts, out, OPM_SILENT, i, 1), 1) << i;
    }
  const std::string text = ReadWide(out + L"\\Message.txt");
  EXPECT_EQ(text.substr(0, 3), "\xEF\xBB\xBF");
  EXPECT_NE(text.find("From: \xD0\x90\xD0\xBD\xD0\xBD\xD0\xB0 <anna@example.org>\r\n"), std::string::npos)
      << text;
  EXPECT_NE(text.find("\xD0\x94\xD0\xBE\xD0\xB1\xD1\x80\xD1\x8B\xD0\xB9 \xD0\xB4\xD0\xB5\xD0\xBD\xD1\x8C"),
            std::string::npos)
      << text;
  EXPECT_EQ(ReadWide(out + L"\\Отчёт за март.pdf"), "%PDF-1.4\n");
  EXPECT_EQ(ReadWide(out + L"\\hello.txt"), "hello\n");
  EXPECT_EQ(ReadWide(out + L"\\Original.eml"), message);
  // Again: the files there stay, the copies take the next free names.
  EXPECT_EQ(Copy(parts, out, OPM_SILENT, 0, 1), 1);
  EXPECT_EQ(ReadWide(out + L"\\Message.txt"), text);
  EXPECT_EQ(ListWide(out).size(), 5u);
  // The twin keeps its type: the suffix goes before the extension.
  EXPECT_EQ(Copy(parts, out, OPM_SILENT, size_t(report - names.begin()), 1), 1);
  EXPECT_EQ(ReadWide(out + L"\\Отчёт за март_(2).pdf"), "%PDF-1.4\n");
  // F5 asks where, and makes the directory typed.
  EXPECT_EQ(Copy(parts, dir + L"\\asked", 0, 0, 1), 1);
  ASSERT_EQ(Host.Lines.size(), 1u);
  EXPECT_EQ(Host.Lines[0].Question, L"Copy 1 item to:");
  EXPECT_EQ(ReadWide(dir + L"\\asked\\Message.txt"), text);

  // Into the message inside it, and back up twice to the list of messages.
  SetDirectoryInfo into = {sizeof into, panel, parts.Items[inner].FileName, 0, 0, {}, nullptr};
  EXPECT_EQ(Native().SetDirectory(&into), 1);
  Listing &inside = List();
  ASSERT_GE(inside.Count, 2u);
  const std::wstring inner_out = dir + L"\\inner";
  ASSERT_TRUE(MakeDirectoryWide(inner_out));
  EXPECT_EQ(Copy(inside, inner_out, OPM_SILENT | OPM_VIEW, 0, 1), 1);
  EXPECT_NE(ReadWide(inner_out + L"\\Message.txt").find("inner body"), std::string::npos);
  for (intptr_t up : {1, 1, 0}) {
    SetDirectoryInfo back = {sizeof back, panel, L"..", 0, 0, {}, nullptr};
    EXPECT_EQ(Native().SetDirectory(&back), up);
  }
  EXPECT_EQ(List().Names(), messages.Names());
}
