// The far2l plug-in (vessor.far-plug-wide) driven as far2l 2.6.5 drives it:
// loaded with dlopen, its W entry points found by plain name, a startup
// record of 260 bytes whose services record what they are asked, texts read
// from the English language file beside the module, and the configuration
// directory a temporary one (FARSETTINGS, as the host's -u sets it).
#include <dlfcn.h>
#include <sys/resource.h>
#include <unistd.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <new>
#include <string>
#include <vector>

#include "host/far2l/far2l_plugin.h"
#include "host/shared/messages.h"
#include "outputs/output_table.h"
#include "platform/dos_date_time.h"
#include "tests/dovecot_server.h"
#include "tests/test_support.h"
#include "tools/mkfolder/folder_writer.h"

// far2l's console input, as its executable exports it: this program exports
// these too, so the module finds them at its start. The events waiting are
// taken from the front; those written back are kept apart.
std::vector<far2l::INPUT_RECORD> ConsoleWaiting, ConsoleWrittenBack;

extern "C" __attribute__((visibility("default"))) BOOL WINPORT_PeekConsoleInput(
    HANDLE, far2l::INPUT_RECORD *records, DWORD size, DWORD *got) {
  *got = 0;
  for (; *got < size && *got < ConsoleWaiting.size(); ++*got) records[*got] = ConsoleWaiting[*got];
  return TRUE;
}

extern "C" __attribute__((visibility("default"))) BOOL WINPORT_ReadConsoleInput(
    HANDLE console, far2l::INPUT_RECORD *records, DWORD size, DWORD *got) {
  WINPORT_PeekConsoleInput(console, records, size, got);
  ConsoleWaiting.erase(ConsoleWaiting.begin(), ConsoleWaiting.begin() + *got);
  return TRUE;
}

extern "C" __attribute__((visibility("default"))) BOOL WINPORT_WriteConsoleInput(
    HANDLE, const far2l::INPUT_RECORD *records, DWORD count, DWORD *written) {
  ConsoleWrittenBack.insert(ConsoleWrittenBack.end(), records, records + count);
  *written = count;
  return TRUE;
}


// An allocation made to fail: the module takes operator new from this
// program, as it takes the console calls. The allocation after the next
// `AllocationsLeft` throws; -1 lets every one through. The operator delete
// below frees what malloc gave (the sanitizers' own would not take it).
long AllocationsLeft = -1;
bool AllocationRefused = false;
// Inside the stand-ins of the host's services: the host's own memory.
int InHost = 0;
struct InHostCall {
  InHostCall() { ++InHost; }
  ~InHostCall() { --InHost; }
};

void *operator new(size_t size) {
  if (InHost > 0) {
    void *block = malloc(size > 0 ? size : 1);
    if (block == nullptr) throw std::bad_alloc();
    return block;
  }
  if (AllocationsLeft == 0) {
    AllocationsLeft = -1;
    AllocationRefused = true;
    throw std::bad_alloc();
  }
  if (AllocationsLeft > 0) --AllocationsLeft;
  void *block = malloc(size > 0 ? size : 1);
  if (block == nullptr) throw std::bad_alloc();
  return block;
}

// The library's nothrow form (std::stable_sort's buffer) goes through it too,
// so that every block the delete below takes came from malloc.
void *operator new(size_t size, const std::nothrow_t &) noexcept {
  try {
    return operator new(size);
  } catch (...) {
    return nullptr;
  }
}

// GCC cannot see that the operator new above is malloc's.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
void operator delete(void *block) noexcept { free(block); }
void operator delete(void *block, size_t) noexcept { free(block); }
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

namespace {

// The old interface's records of the same names, which the test support
// declares, are not these.
using far2l::FarDialogItem;
using far2l::FarMenuItem;
using far2l::OpenPluginInfo;
using far2l::PluginInfo;
using far2l::PluginPanelItem;
using far2l::PluginStartupInfo;
using far2l::OPM_EDIT;
using far2l::OPM_PGDN;
using far2l::OPM_SILENT;
using far2l::OPM_VIEW;
using far2l::PPIF_SELECTED;

struct Far2lApi {
  int (*GetMinFarVersion)();
  void (*SetStartupInfo)(const PluginStartupInfo *);
  void (*GetPluginInfo)(PluginInfo *);
  HANDLE (*OpenFilePlugin)(const wchar_t *, const unsigned char *, int, int);
  void (*GetOpenPluginInfo)(HANDLE, OpenPluginInfo *);
  int (*GetFindData)(HANDLE, PluginPanelItem **, int *, int);
  void (*FreeFindData)(HANDLE, PluginPanelItem *, int);
  int (*GetFiles)(HANDLE, PluginPanelItem *, int, int, const wchar_t **, int);
  void (*ClosePlugin)(HANDLE);
  int (*Configure)(int);
  int (*SetDirectory)(HANDLE, const wchar_t *, int);
  HANDLE (*OpenPlugin)(int, INT_PTR);
  int (*ProcessKey)(HANDLE, int, unsigned);
};

// What the user does in a dialog: the radio button chosen (its place among
// them; -1: as shown), the check box (-1: as shown, 0 or 1), the last edit
// line's text (empty: as prefilled), or Esc; `Edits` types into the edit
// lines in their order (an empty one left as it is).
struct DialogAnswer {
  int Radio;
  int Check;
  std::wstring Line;
  bool Esc;
  std::vector<std::wstring> Edits = {};
};

// What the stand-in services saw, and what they answer.
struct HostState {
  std::vector<std::wstring> Texts;  // of the English language file
  std::vector<std::vector<std::wstring>> Boxes;
  std::vector<std::vector<std::wstring>> Menus;
  std::vector<int> MenuAnswers;  // taken from the front; -1 (Esc) when none is left
  std::vector<std::wstring> Lines, Prefilled;
  std::wstring LineAnswer;       // empty: the prefilled text
  std::vector<std::wstring> LineAnswers;  // taken from the front first, as LineAnswer
  // Each dialog's items' texts, a radio button's or check box's after
  // "(*) ", "( ) ", "[x] " or "[ ] " as it was set.
  std::vector<std::vector<std::wstring>> Dialogs;
  std::vector<DialogAnswer> DialogAnswers;  // taken from the front; Esc when none is left
  // Each dialog's check box: enabled as shown, and as the user left it.
  std::vector<std::pair<bool, bool>> CheckEnabled;
  std::wstring ConfigDir;
} Host;

// The dialog being shown: as the host, it keeps the user's changes to itself
// and tells them through its messages until it is freed.
struct ShownDialog {
  std::vector<FarDialogItem> Items;
  std::vector<int> Checked, Enabled;
  far2l::FARWINDOWPROC Proc = nullptr;
  std::wstring Line;
  std::vector<std::wstring> Texts;  // each edit line's, once the dialog has run
  int Edit = -1;
  bool Live = false;
} Shown;

std::wstring Wide(const std::string &utf8) {
  std::wstring wide;
  for (size_t i = 0; i < utf8.size();) {
    const unsigned char lead = utf8[i];
    const int length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    uint32_t code = length == 1 ? lead : length == 2 ? lead & 0x1F : length == 3 ? lead & 0x0F : lead & 0x07;
    for (int k = 1; k < length && i + k < utf8.size(); ++k) code = code << 6 | (utf8[i + k] & 0x3F);
    wide += wchar_t(code);
    i += size_t(length);
  }
  return wide;
}

std::string Utf8(const std::wstring &wide) {
  std::string text;
  for (wchar_t letter : wide) {
    const uint32_t code = uint32_t(letter);
    if (code < 0x80) {
      text += char(code);
    } else if (code < 0x800) {
      text += char(0xC0 | code >> 6);
      text += char(0x80 | (code & 0x3F));
    } else {
      text += char(0xE0 | code >> 12);
      text += char(0x80 | (code >> 6 & 0x3F));
      text += char(0x80 | (code & 0x3F));
    }
  }
  return text;
}

std::string ModuleDir() { return VESSOR_FAR2L_MODULE_DIR; }

// The language file's quoted lines, as the host numbers them.
std::vector<std::wstring> LanguageTexts(const char *name) {
  const std::string bytes = ReadFile(ModuleDir() + "/" + name);
  std::vector<std::wstring> texts;
  size_t at = 0;
  while (at < bytes.size()) {
    size_t end = bytes.find('\n', at);
    if (end == std::string::npos) end = bytes.size();
    std::string line = bytes.substr(at, end - at);
    at = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.size() < 2 || line[0] != '"') continue;
    std::string text;
    for (size_t i = 1; i + 1 < line.size(); ++i) {
      if (line[i] == '\\' && i + 2 < line.size()) {
        ++i;
        text += line[i] == 'n' ? '\n' : line[i];
      } else {
        text += line[i];
      }
    }
    texts.push_back(Wide(text));
  }
  return texts;
}

const wchar_t *WINAPI GetMsg(INT_PTR, int id) {
  InHostCall host;
  return id >= 0 && size_t(id) < Host.Texts.size() ? Host.Texts[size_t(id)].c_str() : nullptr;
}

int WINAPI Message(INT_PTR, DWORD, const wchar_t *, const wchar_t *const *items, int count, int) {
  InHostCall host;
  Host.Boxes.emplace_back(items, items + count);
  return 0;
}

int WINAPI Menu(INT_PTR, int, int, int, DWORD, const wchar_t *title, const wchar_t *,
                const wchar_t *, const int *, int *, const FarMenuItem *items, int count) {
  InHostCall host;
  std::vector<std::wstring> shown = {title != nullptr ? title : L""};
  for (int i = 0; i < count; ++i) shown.push_back(items[i].Text);
  Host.Menus.push_back(shown);
  if (Host.MenuAnswers.empty()) return -1;
  const int answer = Host.MenuAnswers.front();
  Host.MenuAnswers.erase(Host.MenuAnswers.begin());
  return answer;
}

int WINAPI InputBox(const wchar_t *, const wchar_t *question, const wchar_t *, const wchar_t *text,
                    wchar_t *answer, int answer_size, const wchar_t *, DWORD) {
  InHostCall host;
  Host.Lines.push_back(question);
  Host.Prefilled.push_back(text);
  std::wstring given = Host.LineAnswer;
  if (!Host.LineAnswers.empty()) {
    given = Host.LineAnswers.front();
    Host.LineAnswers.erase(Host.LineAnswers.begin());
  }
  if (given.empty()) given = text;
  if (given.size() + 1 > size_t(answer_size)) return 0;
  wmemcpy(answer, given.c_str(), given.size() + 1);
  return 1;
}

HANDLE WINAPI DialogInit(INT_PTR, int, int, int, int, const wchar_t *, FarDialogItem *items,
                         unsigned count, DWORD, DWORD, far2l::FARWINDOWPROC proc,
                         far2l::LONG_PTR) {
  InHostCall host;
  EXPECT_FALSE(Shown.Live) << "a dialog left unfreed";
  Shown = ShownDialog();
  Shown.Proc = proc;
  Shown.Items.assign(items, items + count);
  std::vector<std::wstring> texts;
  for (unsigned i = 0; i < count; ++i) {
    const FarDialogItem &item = items[i];
    const bool box = item.Type == far2l::DI_CHECKBOX, radio = item.Type == far2l::DI_RADIOBUTTON;
    Shown.Checked.push_back((box || radio) && item.Param.Selected == 1);
    Shown.Enabled.push_back(!(item.Flags & far2l::DIF_DISABLE));
    if (box) Host.CheckEnabled.push_back({Shown.Enabled.back(), Shown.Enabled.back()});
    if (item.Type == far2l::DI_EDIT) Shown.Edit = int(i), Shown.Line = item.PtrData;
    const wchar_t *mark = radio ? (item.Param.Selected ? L"(*) " : L"( ) ")
                          : box ? (item.Param.Selected ? L"[x] " : L"[ ] ")
                                : L"";
    texts.push_back(mark + std::wstring(item.PtrData != nullptr ? item.PtrData : L""));
  }
  Host.Dialogs.push_back(texts);
  Shown.Live = true;
  return &Shown;
}

int WINAPI DialogRun(HANDLE dialog) {
  InHostCall host;
  EXPECT_EQ(dialog, &Shown);
  if (Host.DialogAnswers.empty()) return -1;
  const DialogAnswer answer = Host.DialogAnswers.front();
  Host.DialogAnswers.erase(Host.DialogAnswers.begin());
  if (answer.Esc) return -1;
  // The radio button pressed, the dialog's procedure told; then the box,
  // unless it is greyed.
  int radio = 0, ok = -1;
  for (size_t i = 0; i < Shown.Items.size(); ++i) {
    if (Shown.Items[i].Type != far2l::DI_RADIOBUTTON || answer.Radio < 0) continue;
    Shown.Checked[i] = radio++ == answer.Radio;
    if (Shown.Checked[i] && Shown.Proc != nullptr) {
      EXPECT_EQ(Shown.Proc(dialog, far2l::DN_BTNCLICK, int(i), 1), 1);
    }
  }
  for (size_t i = 0; i < Shown.Items.size(); ++i) {
    const int type = Shown.Items[i].Type;
    if (type == far2l::DI_CHECKBOX && answer.Check >= 0 && Shown.Enabled[i])
      Shown.Checked[i] = answer.Check;
    if (type == far2l::DI_BUTTON && ok < 0) ok = int(i);
  }
  if (!answer.Line.empty()) Shown.Line = answer.Line;
  Shown.Texts.assign(Shown.Items.size(), L"");
  size_t typed = 0;
  for (size_t i = 0; i < Shown.Items.size(); ++i) {
    const int type = Shown.Items[i].Type;
    if (type != far2l::DI_EDIT && type != far2l::DI_PSWEDIT) continue;
    if (Shown.Items[i].PtrData != nullptr) Shown.Texts[i] = Shown.Items[i].PtrData;
    if (int(i) == Shown.Edit) Shown.Texts[i] = Shown.Line;
    if (typed < answer.Edits.size() && !answer.Edits[typed].empty()) Shown.Texts[i] = answer.Edits[typed];
    ++typed;
  }
  return ok;
}

void WINAPI DialogFree(HANDLE dialog) {
  InHostCall host;
  EXPECT_EQ(dialog, &Shown);
  Shown.Live = false;
}

far2l::LONG_PTR WINAPI SendDlgMessage(HANDLE, int message, int item, far2l::LONG_PTR param) {
  InHostCall host;
  EXPECT_TRUE(Shown.Live) << "a message to a freed dialog";
  if (!Shown.Live || item < 0 || size_t(item) >= Shown.Items.size()) return 0;
  if (message == far2l::DM_GETCHECK) return Shown.Checked[size_t(item)];
  if (message == far2l::DM_ENABLE) {
    Shown.Enabled[size_t(item)] = param != 0;
    if (Shown.Items[size_t(item)].Type == far2l::DI_CHECKBOX) Host.CheckEnabled.back().second = param != 0;
    return 1;
  }
  if (size_t(item) >= Shown.Texts.size()) return 0;
  const std::wstring &text = Shown.Texts[size_t(item)];
  if (message == far2l::DM_GETTEXTLENGTH) return far2l::LONG_PTR(text.size());
  if (message == far2l::DM_GETTEXTPTR) {
    wmemcpy(reinterpret_cast<wchar_t *>(param), text.c_str(), text.size() + 1);
    return far2l::LONG_PTR(text.size());
  }
  return 0;
}

// What the host does of a message the dialog's procedure leaves to it: a
// box or radio button pressed keeps its new mark.
far2l::LONG_PTR WINAPI DefDlgProc(HANDLE, int message, int, far2l::LONG_PTR) {
  return message == far2l::DN_BTNCLICK;
}

const wchar_t ModuleName[] = L"/plugins/vessor/vessor.far-plug-wide";

// The record as the host builds it, on the stack: the plug-in must copy it.
void StartPlugin(const Far2lApi &api) {
  PluginStartupInfo info = {};
  info.StructSize = sizeof info;
  info.ModuleName = ModuleName;
  info.ModuleNumber = 7;
  info.RootKey = L"Software/Far2/Plugins";
  info.Menu = Menu;
  info.Message = Message;
  info.GetMsg = GetMsg;
  info.InputBox = InputBox;
  info.DialogInit = DialogInit;
  info.DialogRun = DialogRun;
  info.DialogFree = DialogFree;
  info.SendDlgMessage = SendDlgMessage;
  info.DefDlgProc = DefDlgProc;
  api.SetStartupInfo(&info);
  memset(&info, 0xA5, sizeof info);
}

template <typename T>
void Find(void *module, const char *name, T *slot) {
  *slot = reinterpret_cast<T>(dlsym(module, name));
  ASSERT_NE(*slot, nullptr) << name;
}

const Far2lApi &Api() {
  static Far2lApi api = {};
  static bool loaded = false;
  if (loaded) return api;
  loaded = true;
  Host.Texts = LanguageTexts("VessorFolderEng.lng");
  // The configuration directory of a host started with -u.
  static const std::string settings = MakeTempDir();
  setenv("FARSETTINGS", settings.c_str(), 1);
  Host.ConfigDir = Wide(settings + "/.config");
  void *module = dlopen((ModuleDir() + "/vessor.far-plug-wide").c_str(), RTLD_LAZY | RTLD_LOCAL);
  EXPECT_NE(module, nullptr) << dlerror();
  if (module == nullptr) return api;
  Find(module, "GetMinFarVersionW", &api.GetMinFarVersion);
  Find(module, "SetStartupInfoW", &api.SetStartupInfo);
  Find(module, "GetPluginInfoW", &api.GetPluginInfo);
  Find(module, "OpenFilePluginW", &api.OpenFilePlugin);
  Find(module, "GetOpenPluginInfoW", &api.GetOpenPluginInfo);
  Find(module, "GetFindDataW", &api.GetFindData);
  Find(module, "FreeFindDataW", &api.FreeFindData);
  Find(module, "GetFilesW", &api.GetFiles);
  Find(module, "ClosePluginW", &api.ClosePlugin);
  Find(module, "ConfigureW", &api.Configure);
  Find(module, "SetDirectoryW", &api.SetDirectory);
  Find(module, "OpenPluginW", &api.OpenPlugin);
  Find(module, "ProcessKeyW", &api.ProcessKey);
  StartPlugin(api);
  return api;
}

std::string ConfigFile() { return Utf8(Host.ConfigDir) + "/plugins/vessor/config.ini"; }

// Keeps `code_page` as the settings file holds it and starts the plug-in
// anew, as the host does at its next start.
void UseCodePage(unsigned code_page) {
  Api();
  const std::string path = ConfigFile();
  std::string dir = path.substr(0, path.rfind('/'));
  ASSERT_EQ(system(("mkdir -p '" + dir + "'").c_str()), 0);
  WriteFileBytes(path, "[Settings]\nCodePage=" + std::to_string(code_page) + "\n");
  StartPlugin(Api());
}

HANDLE Open(const std::string &index) {
  const std::string bytes = ReadFile(index);
  return Api().OpenFilePlugin(Wide(index).c_str(),
                              bytes.empty() ? nullptr
                                            : reinterpret_cast<const unsigned char *>(bytes.data()),
                              int(bytes.size()), OPM_PGDN);
}

// A panel's items, copied out of the host's block as the host copies them.
struct Listing {
  std::vector<PluginPanelItem> Items;
  std::vector<std::wstring> Names, Descriptions;
};

Listing List(HANDLE panel) {
  Listing listing;
  PluginPanelItem *items = nullptr;
  int count = -1;
  EXPECT_EQ(Api().GetFindData(panel, &items, &count, 0), TRUE);
  for (int i = 0; i < count; ++i) {
    listing.Items.push_back(items[i]);
    listing.Names.push_back(items[i].FindData.lpwszFileName);
    listing.Descriptions.push_back(items[i].Description != nullptr ? items[i].Description : L"");
  }
  Api().FreeFindData(panel, items, count);
  // The host's copies point at its own strings, never at the freed block.
  for (size_t i = 0; i < listing.Items.size(); ++i) {
    PluginPanelItem &item = listing.Items[i];
    item.FindData.lpwszFileName = listing.Names[i].c_str();
    item.Description = listing.Descriptions[i].c_str();
    item.Owner = item.Group = nullptr;
    item.CustomColumnData = nullptr;
    item.CustomColumnNumber = 0;
  }
  return listing;
}

const char TwoMessages[] = R"(
message
name First one
description Alice
date 12 Mar 00 14:35
body From: a@example.org\r\nSubject: one\r\n\r\nfirst body\r\n
message
name Second
description Bob
date 3 Jan 01 09:05
body From: b@example.org\r\nSubject: two\r\n\r\nsecond body\r\n
)";

TEST(Far2lHost, AsksForTheHostItWasBuiltFor) {
  EXPECT_EQ(Api().GetMinFarVersion(), (2 << 16) | 6);
  PluginInfo info = {};
  Api().GetPluginInfo(&info);
  EXPECT_EQ(info.StructSize, int(sizeof info));
  ASSERT_EQ(info.PluginConfigStringsNumber, 1);
  EXPECT_EQ(std::wstring(info.PluginConfigStrings[0]), L"Vessor folder");
  ASSERT_EQ(info.PluginMenuStringsNumber, 1);
  EXPECT_EQ(std::wstring(info.PluginMenuStrings[0]), L"Convert mail folders…");
}

TEST(Far2lHost, ClaimsOnlyIndexFiles) {
  const std::string dir = MakeTempDir();
  const std::string index = MakeFolder(dir, TwoMessages);
  const std::string text = JoinPath(dir, "notes.txt");
  WriteFileBytes(text, "plain text, not a folder of mail\n");
  const std::string empty = JoinPath(dir, "EMPTY.IDX");
  WriteFileBytes(empty, "");
  struct Row {
    const char *What;
    std::string Path;
    bool Claimed;
  } rows[] = {{"an index file", index, true},
              {"not an index file", text, false},
              {"an empty file", empty, false}};
  for (const Row &row : rows) {
    HANDLE panel = Open(row.Path);
    EXPECT_NE(panel, nullptr) << row.What << ": a null handle would be a claim";
    EXPECT_EQ(panel != INVALID_HANDLE_VALUE, row.Claimed) << row.What;
    if (panel != INVALID_HANDLE_VALUE && panel != nullptr) Api().ClosePlugin(panel);
  }
  // Shift+F1 asks with no name: an archive to make, never ours.
  const std::string bytes = ReadFile(index);
  EXPECT_EQ(Api().OpenFilePlugin(nullptr, reinterpret_cast<const unsigned char *>(bytes.data()),
                                 int(bytes.size()), 0),
            INVALID_HANDLE_VALUE);
}

TEST(Far2lHost, ListsMessagesWithTheirSizesDatesAndPlaces) {
  UseCodePage(1252);
  const std::string index = MakeFolder(MakeTempDir(), TwoMessages);
  HANDLE panel = Open(index);
  ASSERT_NE(panel, INVALID_HANDLE_VALUE);
  const Listing listing = List(panel);
  ASSERT_EQ(listing.Items.size(), 2u);
  EXPECT_EQ(listing.Names[0], L"First one");
  EXPECT_EQ(listing.Descriptions[1], L"Bob");
  const uint64_t first_size = strlen("From: a@example.org\r\nSubject: one\r\n\r\nfirst body\r\n");
  EXPECT_EQ(listing.Items[0].FindData.nFileSize, first_size);
  EXPECT_EQ(listing.Items[0].UserData, 0u);
  EXPECT_EQ(listing.Items[1].UserData, first_size);
  // The date an hour earlier than written, as every host shows it.
  FILETIME expected = {};
  DosDateTimeToFileTime(WORD((2000 - 1980) << 9 | 3 << 5 | 12), WORD(13 << 11 | 35 << 5),
                        &expected);
  EXPECT_EQ(listing.Items[0].FindData.ftLastWriteTime.dwLowDateTime, expected.dwLowDateTime);
  EXPECT_EQ(listing.Items[0].FindData.ftLastWriteTime.dwHighDateTime, expected.dwHighDateTime);
  EXPECT_EQ(listing.Items[0].FindData.ftCreationTime.dwHighDateTime, expected.dwHighDateTime);
  EXPECT_EQ(listing.Items[0].FindData.dwFileAttributes, 0u);
  Api().ClosePlugin(panel);

  // A hidden message the mail program keeps from changes: hidden, read-only.
  // (The first record makes the file an index file.)
  panel = Open(MakeFolder(MakeTempDir(),
                          "message\nname a\nbody x\nmessage\nflags 0x40000\nname kept\nbody y\n"));
  ASSERT_NE(panel, INVALID_HANDLE_VALUE);
  EXPECT_EQ(List(panel).Items[1].FindData.dwFileAttributes, 0x3u);
  Api().ClosePlugin(panel);
}

TEST(Far2lHost, DecodesNamesInTheChosenCodePage) {
  // "Привет" and "Письмо" in each code page's bytes.
  struct Row {
    unsigned CodePage;
    const char *Name;
    const char *Description;
  } rows[] = {{1251, "\\xCF\\xF0\\xE8\\xE2\\xE5\\xF2", "\\xCF\\xE8\\xF1\\xFC\\xEC\\xEE"},
              {866, "\\x8F\\xE0\\xA8\\xA2\\xA5\\xE2", "\\x8F\\xA8\\xE1\\xEC\\xAC\\xAE"}};
  for (const Row &row : rows) {
    UseCodePage(row.CodePage);
    const std::string index =
        MakeFolder(MakeTempDir(), std::string("message\nname ") + row.Name + "\ndescription " +
                                      row.Description + "\nbody x\n");
    HANDLE panel = Open(index);
    ASSERT_NE(panel, INVALID_HANDLE_VALUE);
    const Listing listing = List(panel);
    ASSERT_EQ(listing.Items.size(), 1u);
    EXPECT_EQ(listing.Names[0], L"Привет") << row.CodePage;
    EXPECT_EQ(listing.Descriptions[0], L"Письмо") << row.CodePage;
    Api().ClosePlugin(panel);
  }
}

TEST(Far2lHost, TellsThePanelsSettingsAndTheFoldersFacts) {
  UseCodePage(1252);
  const std::string index = MakeFolder(MakeTempDir(), TwoMessages);
  HANDLE panel = Open(index);
  ASSERT_NE(panel, INVALID_HANDLE_VALUE);
  List(panel);
  OpenPluginInfo info = {};
  info.StructSize = sizeof info;
  Api().GetOpenPluginInfo(panel, &info);
  EXPECT_EQ(std::wstring(info.PanelTitle), L"Vessor folder");
  EXPECT_EQ(std::wstring(info.HostFile), Wide(index));
  EXPECT_EQ(std::wstring(info.CurDir), L"");
  EXPECT_EQ(info.Flags & 0x20u, 0u) << "the host would copy by itself";
  EXPECT_EQ(info.PanelModesNumber, 10);
  EXPECT_EQ(info.StartPanelMode, '7');
  // far2l sorts times newest first by itself: reversed, the undated
  // messages, of no time, would come first and the oldest after them.
  EXPECT_EQ(info.StartSortMode, far2l::SM_CTIME);
  EXPECT_EQ(info.StartSortOrder, 0);
  EXPECT_EQ(std::wstring(info.PanelModesArray[7].ColumnTypes), L"N,Z,D,T,S");
  ASSERT_NE(info.KeyBar, nullptr);
  EXPECT_EQ(std::wstring(info.KeyBar->Titles[7]), L"");
  ASSERT_EQ(info.InfoLinesNumber, 15);
  struct Row {
    int Line;
    const wchar_t *Text, *Data;
  } rows[] = {{1, L"Index file", nullptr},  {6, L"Messages", L"2"}, {7, L"Hidden", L"0"},
              {14, nullptr, L"windows-1252 (set by hand)"}};
  for (const Row &row : rows) {
    if (row.Text != nullptr) {
      EXPECT_EQ(std::wstring(info.InfoLines[row.Line].Text), row.Text);
    }
    if (row.Data != nullptr) {
      EXPECT_EQ(std::wstring(info.InfoLines[row.Line].Data), row.Data);
    }
  }
  EXPECT_EQ(std::wstring(info.InfoLines[1].Data), Wide(index));
  EXPECT_NE(info.InfoLines[0].Separator, 0);
  Api().ClosePlugin(panel);
}

// For a view the host opens the item's name after its last slash at the top
// of its fresh directory; a name that ends in nothing of its own takes the
// copy's name.
TEST(Far2lHost, ViewsNamesWithSlashesWhereTheHostOpensThem) {
  UseCodePage(1252);
  const std::string index = MakeFolder(MakeTempDir(), TwoMessages);
  HANDLE panel = Open(index);
  ASSERT_NE(panel, INVALID_HANDLE_VALUE);
  Listing listing = List(panel);
  ASSERT_EQ(listing.Items.size(), 2u);
  const struct {
    const wchar_t *Shown;
    const char *File;
  } rows[] = {{L"Re: a/b", "b"}, {L"../up", "up"}, {L"a//b", "b"}, {L"/abs", "abs"},
                {L"..", "__"}, {L"a/..", "a___"}, {L"a/", "a_"}};
  for (const auto &row : rows) {
    const std::string view = MakeTempDir();
    const std::wstring view_wide = Wide(view);
    const wchar_t *dest = view_wide.c_str();
    PluginPanelItem item = listing.Items[0];
    item.FindData.lpwszFileName = row.Shown;
    EXPECT_EQ(Api().GetFiles(panel, &item, 1, 0, &dest, OPM_SILENT | OPM_VIEW), 1) << row.File;
    EXPECT_EQ(ListDir(view), std::vector<std::string>{row.File});
    EXPECT_EQ(ReadFile(JoinPath(view, row.File)),
              "From: a@example.org\r\nSubject: one\r\n\r\nfirst body\r\n")
        << row.File;
  }
  // F4: the folder is only read, so an edit is refused and writes nothing
  // for an editor whose changes would go nowhere.
  const std::string edit = MakeTempDir();
  const std::wstring edit_wide = Wide(edit);
  const wchar_t *dest = edit_wide.c_str();
  EXPECT_EQ(Api().GetFiles(panel, &listing.Items[0], 1, 0, &dest, OPM_SILENT | OPM_EDIT), 0);
  EXPECT_TRUE(ListDir(edit).empty());
  Api().ClosePlugin(panel);
}

TEST(Far2lHost, SavesMessagesAsTheHostAsks) {
  UseCodePage(1252);
  const std::string index = MakeFolder(MakeTempDir(), TwoMessages);
  HANDLE panel = Open(index);
  ASSERT_NE(panel, INVALID_HANDLE_VALUE);
  Listing listing = List(panel);
  ASSERT_EQ(listing.Items.size(), 2u);
  const std::string first = "From: a@example.org\r\nSubject: one\r\n\r\nfirst body\r\n";
  const std::string second = "From: b@example.org\r\nSubject: two\r\n\r\nsecond body\r\n";

  // F3: the host's temp directory, no question, one file, named as the item
  // is, which the host opens.
  const std::string view = MakeTempDir();
  const std::wstring view_wide = Wide(view);
  const wchar_t *dest = view_wide.c_str();
  Host.Menus.clear();
  Host.Lines.clear();
  EXPECT_EQ(Api().GetFiles(panel, &listing.Items[0], 1, 0, &dest, OPM_SILENT | OPM_VIEW), 1);
  EXPECT_TRUE(Host.Menus.empty());
  EXPECT_TRUE(Host.Lines.empty());
  ASSERT_EQ(ListDir(view).size(), 1u);
  EXPECT_EQ(ReadFile(JoinPath(view, "First one")), first);

  // F5 as message files: one dialog, the other panel's directory and message
  // files offered first; the destination typed there is made.
  const std::string out = JoinPath(MakeTempDir(), "made");
  Host.CheckEnabled.clear();
  Host.DialogAnswers = {{-1, -1, L"  \"" + Wide(out) + L"\" ", false}};
  const std::wstring passive = Wide(view);
  dest = passive.c_str();
  for (PluginPanelItem &item : listing.Items) item.Flags = PPIF_SELECTED;
  EXPECT_EQ(Api().GetFiles(panel, listing.Items.data(), 2, 0, &dest, 0), 1);
  EXPECT_TRUE(Host.Lines.empty());
  EXPECT_TRUE(Host.Menus.empty());
  ASSERT_EQ(Host.Dialogs.size(), 1u);
  EXPECT_EQ(Host.Dialogs[0], (std::vector<std::wstring>{
                                 L"Copy", L"Copy 2 messages to:", passive, L"", L"Save as:",
                                 L"(*) Message &files", L"( ) .&eml files", L"( ) One &mbox file",
                                 L"( ) A Mail&dir", L"( ) A mail &account (IMAP)",
                                 L"[ ] Mark as &read", L"", L"Copy", L"Cancel"}));
  EXPECT_EQ(Utf8(dest), out);
  // Named as vfolder copy names them.
  EXPECT_EQ(ReadFile(JoinPath(out, "First_one")), first);
  EXPECT_EQ(ReadFile(JoinPath(out, "Second")), second);
  EXPECT_EQ(listing.Items[0].Flags & PPIF_SELECTED, 0u);

  // F5 as one mbox, marked as read, which Python's mailbox reads back; the
  // next dialog offers that choice again.
  const std::string mail = MakeTempDir();
  Host.DialogAnswers = {{2, 1, Wide(mail), false}, {-1, -1, L"", true}};
  EXPECT_EQ(Api().GetFiles(panel, listing.Items.data(), 2, 0, &dest, 0), 1);
  const std::string mbox = JoinPath(mail, "INBOX.mbox");
  ASSERT_TRUE(FileExists(mbox));
  const std::string check =
      "python3 -c \"import mailbox,sys; m=list(mailbox.mbox(sys.argv[1])); "
      "sys.exit(0 if [x['Subject'] for x in m]==['one','two'] and "
      "[x['Status'] for x in m]==['RO','RO'] and "
      "m[1].get_payload().strip()=='second body' else 1)\" '" + mbox + "'";
  EXPECT_EQ(system(check.c_str()), 0);
  EXPECT_EQ(Api().GetFiles(panel, listing.Items.data(), 2, 0, &dest, 0), -1);
  ASSERT_EQ(Host.Dialogs.size(), 3u);
  EXPECT_EQ(Host.Dialogs[2][7], L"(*) One &mbox file");
  EXPECT_EQ(Host.Dialogs[2][10], L"[x] Mark as &read");
  const std::string settings = ReadFile(ConfigFile());
  EXPECT_NE(settings.find("\nSaveAs=2\n"), std::string::npos) << settings;
  EXPECT_NE(settings.find("\nMarkRead=1\n"), std::string::npos) << settings;
  // "Mark as read" greyed while the format chosen cannot mark (message
  // files), enabled by the press on one mbox, shown enabled for it next.
  EXPECT_EQ(Host.CheckEnabled, (std::vector<std::pair<bool, bool>>{
                                   {false, false}, {false, true}, {true, true}}));

  // A destination that cannot be a directory: each item fails, and one box
  // tells the counts and the first reason.
  const std::string blocked = JoinPath(MakeTempDir(), "a file");
  WriteFileBytes(blocked, "in the way");
  Host.DialogAnswers = {{0, 0, Wide(blocked), false}};
  Host.Boxes.clear();
  for (PluginPanelItem &item : listing.Items) item.Flags = PPIF_SELECTED;
  EXPECT_EQ(Api().GetFiles(panel, listing.Items.data(), 2, 0, &dest, 0), 0);
  ASSERT_EQ(Host.Boxes.size(), 1u);
  ASSERT_GE(Host.Boxes[0].size(), 3u);
  EXPECT_EQ(Host.Boxes[0][0], L"Saving");
  EXPECT_EQ(Host.Boxes[0][1], L"2 messages: 0 saved, 2 failed");
  EXPECT_EQ(Host.Boxes[0][2].compare(0, 18, L"Cannot create file"), 0) << Utf8(Host.Boxes[0][2]);
  EXPECT_EQ(listing.Items[0].Flags & PPIF_SELECTED, PPIF_SELECTED);

  // Esc, Cancel or an empty line: nothing saved, the host told of the cancel.
  Host.DialogAnswers = {{-1, -1, L"", true}};
  EXPECT_EQ(Api().GetFiles(panel, listing.Items.data(), 2, 0, &dest, 0), -1);
  Host.DialogAnswers = {{-1, -1, L"   ", false}};
  EXPECT_EQ(Api().GetFiles(panel, listing.Items.data(), 2, 0, &dest, 0), -1);
  Api().ClosePlugin(panel);
}

// "A mail account" asks for the account in a dialog of its own: the server
// and the user with their own histories, the password in the host's
// password line with none. A server's line that names no account is told,
// nothing is sent and the items stay selected.
TEST(Far2lHost, AsksForAMailAccountInADialogOfItsOwn) {
  const std::string index = MakeFolder(MakeTempDir(), TwoMessages);
  HANDLE panel = Open(index);
  ASSERT_NE(panel, INVALID_HANDLE_VALUE);
  Listing listing = List(panel);
  ASSERT_EQ(listing.Items.size(), 2u);
  const std::wstring other = Wide(MakeTempDir());
  const wchar_t *dest = other.c_str();
  for (PluginPanelItem &item : listing.Items) item.Flags = PPIF_SELECTED;
  Host.Dialogs.clear();
  Host.Boxes.clear();
  // This host types into a dialog's last edit line: the token command's.
  Host.DialogAnswers = {{4, -1, L"", false}, {-1, -1, L"print-token", false}};
  EXPECT_EQ(Api().GetFiles(panel, listing.Items.data(), 2, 0, &dest, 0), -1);
  ASSERT_EQ(Host.Dialogs.size(), 2u);
  EXPECT_EQ(Host.Dialogs[0][9], L"( ) A mail &account (IMAP)");
  EXPECT_EQ(Host.Dialogs[1],
            (std::vector<std::wstring>{
                L"Mail account", L"Server: imaps://HOST[:PORT][/MAILBOX], or imap:// for STARTTLS:",
                L"", L"User name:", L"", L"Password (kept nowhere):", L"",
                L"Or a command that prints an OAuth2 token:", L"", L"", L"Send", L"Cancel"}));
  ASSERT_EQ(Shown.Items.size(), 12u);
  const FarDialogItem &url = Shown.Items[2], &user = Shown.Items[4], &secret = Shown.Items[6];
  EXPECT_EQ(url.Type, far2l::DI_EDIT);
  EXPECT_TRUE((url.Flags & far2l::DIF_HISTORY) && url.Focus);
  EXPECT_EQ(std::wstring(url.Param.History), L"VessorAccountUrl");
  EXPECT_EQ(std::wstring(user.Param.History), L"VessorAccountUser");
  EXPECT_EQ(secret.Type, far2l::DI_PSWEDIT);
  EXPECT_EQ(secret.Flags & far2l::DIF_HISTORY, 0u);
  ASSERT_EQ(Host.Boxes.size(), 1u);
  EXPECT_EQ(Host.Boxes[0][1], L"Not an account's address: the URL starts with imaps:// or imap://");
  EXPECT_NE(listing.Items[0].Flags & PPIF_SELECTED, 0u);
  EXPECT_EQ(ListDir(Utf8(other)).size(), 0u);
  Api().ClosePlugin(panel);
}

// What vfolder verify says of `what` (a folder or a directory) against
// `mailbox` of the Dovecot's account, the password in its environment only.
std::string VerifiedIn(const Dovecot &server, const std::string &what, const char *mailbox) {
  setenv("VFOLDER_PASSWORD", server.Password.c_str(), 1);
  FILE *verify = popen((std::string(VESSOR_VFOLDER) + " --ca '" + server.Ca + "' verify '" + what +
                        "' '" + server.Url + "/" + mailbox + "' 2>&1").c_str(), "r");
  unsetenv("VFOLDER_PASSWORD");
  std::string said;
  char piece[256];
  while (verify != nullptr && fgets(piece, sizeof piece, verify) != nullptr) said += piece;
  if (verify != nullptr) pclose(verify);
  return said;
}

// F11 into a mail account: each folder of the directory goes into a mailbox
// of its own below the one named, with the destination's line left empty
// (an account needs none) and the password typed into the account's dialog
// (the user from the URL); vfolder verify then finds every message there once.
TEST(Far2lHost, ConvertsWholeFoldersIntoAMailAccount) {
  if (!HaveDovecot()) GTEST_SKIP() << "!!! Dovecot's IMAP server is not installed: this check is SKIPPED";
  Dovecot server;
  const StopsDovecot stopping = {&server};
  ASSERT_TRUE(StartDovecot(&server)) << "tests/imap_test.py serve did not start";
  UseCodePage(1252);
  const std::string mail = MakeTempDir();
  MakeFolder(mail, TwoMessages);
  ASSERT_EQ(system(("mkdir '" + JoinPath(mail, "Work") + "'").c_str()), 0);
  MakeFolder(JoinPath(mail, "Work"), "message\nname Third\nbody Subject: three\\r\\n\\r\\nthird\\r\\n\n");
  char *was = getcwd(nullptr, 0);
  ASSERT_EQ(chdir(mail.c_str()), 0);
  setenv("SSL_CERT_FILE", server.Ca.c_str(), 1);
  Host.Boxes.clear();
  Host.Dialogs.clear();
  Host.LineAnswers = {L""};
  const int account = OutputOfSetting(4)->TreePlace - 1;
  Host.DialogAnswers = {{account, -1, L"", false},
                        {-1, -1, L"", false, {Wide(server.Url + "/Converted"), L"", Wide(server.Password)}}};
  EXPECT_EQ(Api().OpenPlugin(far2l::OPEN_PLUGINSMENU, 0), INVALID_HANDLE_VALUE);
  unsetenv("SSL_CERT_FILE");
  ASSERT_EQ(chdir(was), 0);
  free(was);
  ASSERT_EQ(Host.Dialogs.size(), 2u);
  EXPECT_EQ(Host.Dialogs[0][size_t(5 + account)].substr(4), L"Mailboxes of a mail &account (IMAP)");
  EXPECT_EQ(Host.Dialogs[1][0], L"Mail account");
  for (const std::vector<std::wstring> &box : Host.Boxes) ADD_FAILURE() << Utf8(box[1]);
  EXPECT_EQ(VerifiedIn(server, mail, "Converted"),
            "INBOX.IDX: 2 messages: 2 present, 0 missing, 0 twice, 0 changed\n"
            "Work/INBOX.IDX: 1 message: 1 present, 0 missing, 0 twice, 0 changed\n"
            "all folders: 3 messages: 3 present, 0 missing, 0 twice, 0 changed\n");
}

// F5 into a mail account with an OAuth2 token command instead of the
// password: the command's token logs in (Dovecot's oauth2 passdb asks the
// token service), each chosen message goes once, and nothing of the token is
// left in the settings.
TEST(Far2lHost, SendsWithATokenCommandFromThePanel) {
  if (!HaveDovecot()) GTEST_SKIP() << "!!! Dovecot's IMAP server is not installed: this check is SKIPPED";
  Dovecot server;
  const StopsDovecot stopping = {&server};
  ASSERT_TRUE(StartDovecot(&server, true)) << "tests/imap_test.py serve oauth2 did not start";
  const std::string mail = MakeTempDir();
  const std::string index = MakeFolder(mail, TwoMessages);
  const std::string token_file = JoinPath(mail, "token");
  WriteFileBytes(token_file, server.Token + "\n");
  HANDLE panel = Open(index);
  ASSERT_NE(panel, INVALID_HANDLE_VALUE);
  Listing listing = List(panel);
  ASSERT_EQ(listing.Items.size(), 2u);
  for (PluginPanelItem &item : listing.Items) item.Flags = PPIF_SELECTED;
  const std::wstring other = Wide(MakeTempDir());
  const wchar_t *dest = other.c_str();
  Host.Boxes.clear();
  setenv("SSL_CERT_FILE", server.Ca.c_str(), 1);
  Host.DialogAnswers = {{4, -1, L"", false},
                        {-1, -1, L"", false, {Wide(server.Url + "/Token"), L"", L"", Wide("cat '" + token_file + "'")}}};
  EXPECT_EQ(Api().GetFiles(panel, listing.Items.data(), 2, 0, &dest, 0), 1);
  unsetenv("SSL_CERT_FILE");
  for (const std::vector<std::wstring> &box : Host.Boxes)
    for (const std::wstring &line : box) ADD_FAILURE() << Utf8(line);
  for (const PluginPanelItem &item : listing.Items) EXPECT_EQ(item.Flags & PPIF_SELECTED, 0u);
  Api().ClosePlugin(panel);
  EXPECT_EQ(VerifiedIn(server, index, "Token"),
            "2 messages: 2 present, 0 missing, 0 twice, 0 changed\n");
  EXPECT_EQ(ReadFile(ConfigFile()).find(server.Token), std::string::npos);
}

far2l::INPUT_RECORD KeyEvent(WORD key, bool down) {
  far2l::INPUT_RECORD record = {};
  record.EventType = far2l::KEY_EVENT;
  record.Event.KeyEvent.bKeyDown = down;
  record.Event.KeyEvent.wRepeatCount = 1;
  record.Event.KeyEvent.wVirtualKeyCode = key;
  return record;
}

// Esc waiting in far2l's input stops a long save: the question, Yes, fewer
// files than asked for. The other keys go; a mouse event is given back.
TEST(Far2lHost, StopsASaveOnEscInTheHostsInput) {
  Api();
  std::string text;
  const int count = 10000;
  for (int i = 0; i < count; ++i)
    text += "message\nname M" + std::to_string(i) + "\nbody From: a@example.org\\r\\n\\r\\n\n";
  HANDLE panel = Open(MakeFolder(MakeTempDir(), text));
  ASSERT_NE(panel, INVALID_HANDLE_VALUE);
  Listing listing = List(panel);
  ASSERT_EQ(listing.Items.size(), size_t(count));
  far2l::INPUT_RECORD mouse = {};
  mouse.EventType = 2;
  mouse.Event.Other[0] = 7;
  ConsoleWaiting = {KeyEvent('A', true), KeyEvent('A', false), mouse,
                    KeyEvent(far2l::VK_ESCAPE, true), KeyEvent(far2l::VK_ESCAPE, false)};
  ConsoleWrittenBack.clear();
  const std::string out = MakeTempDir();
  Host.DialogAnswers = {{0, 0, Wide(out), false}};
  Host.Boxes.clear();
  const wchar_t *dest = L"";
  EXPECT_EQ(Api().GetFiles(panel, listing.Items.data(), count, 0, &dest, 0), -1);
  // The question, and one box that tells what the stopped save saved.
  ASSERT_EQ(Host.Boxes.size(), 2u);
  EXPECT_EQ(Host.Boxes[0], (std::vector<std::wstring>{L"Saving", Host.Texts[MStopQuestion]}));
  const size_t saved = ListDir(out).size();
  EXPECT_LT(saved, size_t(count));
  if (saved < 1000) {
    EXPECT_EQ(Host.Boxes[1], (std::vector<std::wstring>{
                                 L"Saving", L"10,000 messages: " + std::to_wstring(saved) +
                                                L" saved, 0 failed"}));
  }
  EXPECT_TRUE(ConsoleWaiting.empty());
  ASSERT_EQ(ConsoleWrittenBack.size(), 1u);
  EXPECT_EQ(ConsoleWrittenBack[0].EventType, 2);
  EXPECT_EQ(ConsoleWrittenBack[0].Event.Other[0], 7);
  Api().ClosePlugin(panel);
}

TEST(Far2lHost, KeepsTheCodePageInItsOwnSettingsFile) {
  UseCodePage(1252);
  Host.Menus.clear();
  // The menu lists each folder's own, 866, 1251, 1252, 437, 850, 1250,
  // UTF-8: 1251 is third.
  Host.MenuAnswers = {2};
  EXPECT_EQ(Api().Configure(0), 1);
  ASSERT_EQ(Host.Menus.size(), 1u);
  EXPECT_EQ(Host.Menus[0].size(), 9u);
  EXPECT_EQ(ReadFile(ConfigFile()), "[Settings]\nCodePage=1251\n");
  // Read back at the next start; Esc keeps it.
  StartPlugin(Api());
  Host.MenuAnswers = {};
  EXPECT_EQ(Api().Configure(0), 0);
  EXPECT_EQ(ReadFile(ConfigFile()), "[Settings]\nCodePage=1251\n");
  const std::string index = MakeFolder(MakeTempDir(), "message\nname \\xCF\\xE8\\xF1\\xFC\\xEC\\xEE\nbody x\n");
  HANDLE panel = Open(index);
  ASSERT_NE(panel, INVALID_HANDLE_VALUE);
  EXPECT_EQ(List(panel).Names[0], L"Письмо");
  Api().ClosePlugin(panel);
}

TEST(Far2lHost, ShowsAMessageAsAFolderOfItsParts) {
  UseCodePage(1252);
  const std::string index = MakeFolder(MakeTempDir(), R"(
message
name With attachment
body From: a@example.org\r\nSubject: parts\r\nMIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary="XX"\r\n\r\n--XX\r\nContent-Type: text/plain; charset=utf-8\r\n\r\nHello there\r\n--XX\r\nContent-Type: application/octet-stream; name="data.bin"\r\nContent-Disposition: attachment; filename="data.bin"\r\nContent-Transfer-Encoding: base64\r\n\r\nAAECAwQF\r\n--XX\r\nContent-Type: message/rfc822\r\n\r\nFrom: b@example.org\r\nSubject: inner\r\n\r\ninner body\r\n--XX--\r\n
)");
  HANDLE folder = Open(index);
  ASSERT_NE(folder, INVALID_HANDLE_VALUE);
  Listing messages = List(folder);
  ASSERT_EQ(messages.Items.size(), 1u);
  // A file that holds a message but was not just written for the host is
  // not claimed.
  const std::string other = JoinPath(MakeTempDir(), "With attachment");
  WriteFileBytes(other, "From: a@example.org\r\n\r\nbody\r\n");
  EXPECT_EQ(Open(other), INVALID_HANDLE_VALUE);
  // F3: the message's bytes under its name, which the viewer opens.
  const std::string viewed = MakeTempDir();
  const std::wstring viewed_wide = Wide(viewed);
  const wchar_t *dest = viewed_wide.c_str();
  const int F3 = 0x72, Enter = 0x0D;
  EXPECT_EQ(Api().ProcessKey(folder, Enter, 0), FALSE) << "the host acts on the key";
  EXPECT_EQ(Api().ProcessKey(folder, F3, 0), FALSE);
  ASSERT_EQ(Api().GetFiles(folder, messages.Items.data(), 1, 0, &dest, OPM_SILENT | OPM_VIEW), 1);
  EXPECT_NE(ReadFile(JoinPath(viewed, "With attachment")).find("Subject: parts"),
            std::string::npos);
  // Enter: the host takes the message into a file of its own, then offers
  // that file to the plug-ins in the order of their names; the file is a
  // stand-in, or a plug-in of archives would claim a message with a
  // uuencoded block (and an empty file too, as an empty archive).
  const std::string taken = MakeTempDir();
  const std::wstring taken_wide = Wide(taken);
  dest = taken_wide.c_str();
  EXPECT_EQ(Api().ProcessKey(folder, Enter, 0), FALSE);
  ASSERT_EQ(Api().GetFiles(folder, messages.Items.data(), 1, 0, &dest, OPM_SILENT | OPM_VIEW), 1);
  const std::string stand_in = ReadFile(JoinPath(taken, "With attachment"));
  EXPECT_NE(stand_in, "");
  EXPECT_EQ(stand_in.find("Subject"), std::string::npos);
  HANDLE parts = Open(JoinPath(taken, "With attachment"));
  ASSERT_NE(parts, INVALID_HANDLE_VALUE);
  Listing listing = List(parts);
  const std::vector<std::wstring> names = {L"Message.txt", L"data.bin", L"part 3.eml",
                                           L"Original.eml"};
  EXPECT_EQ(listing.Names, names);
  EXPECT_EQ(listing.Items[2].FindData.dwFileAttributes & 0x10u, 0x10u) << "a folder to enter";
  EXPECT_EQ(listing.Items[1].FindData.nFileSize, 6u);
  OpenPluginInfo info = {};
  Api().GetOpenPluginInfo(parts, &info);
  EXPECT_EQ(std::wstring(info.PanelTitle), L"Vessor folder: With attachment");
  EXPECT_EQ(std::wstring(info.CurDir), L"") << "'..' here goes back to the folder";
  ASSERT_EQ(info.InfoLinesNumber, 5);
  EXPECT_EQ(std::wstring(info.InfoLines[0].Data), L"a@example.org");
  EXPECT_EQ(std::wstring(info.InfoLines[4].Data), L"parts");

  // F5 on the attachment: its decoded bytes, never over a file there.
  const std::string out = MakeTempDir();
  WriteFileBytes(JoinPath(out, "data.bin"), "kept");
  Host.LineAnswer = Wide(out);
  listing.Items[1].Flags = PPIF_SELECTED;
  EXPECT_EQ(Api().GetFiles(parts, &listing.Items[1], 1, 0, &dest, 0), 1);
  Host.LineAnswer.clear();
  EXPECT_EQ(ReadFile(JoinPath(out, "data.bin")), "kept");
  EXPECT_EQ(ReadFile(JoinPath(out, "data_(2).bin")), std::string("\0\1\2\3\4\5", 6));
  // F3 on the text: under its own name, in UTF-8 after its header lines.
  const std::string view = MakeTempDir();
  const std::wstring view_wide = Wide(view);
  dest = view_wide.c_str();
  EXPECT_EQ(Api().GetFiles(parts, &listing.Items[0], 1, 0, &dest, OPM_SILENT | OPM_VIEW), 1);
  EXPECT_NE(ReadFile(JoinPath(view, "Message.txt")).find("Hello there"), std::string::npos);

  // Into the message inside and back.
  EXPECT_EQ(Api().SetDirectory(parts, L"part 3.eml", 0), TRUE);
  Api().GetOpenPluginInfo(parts, &info);
  EXPECT_EQ(std::wstring(info.CurDir), L"/part 3.eml");
  EXPECT_EQ(List(parts).Names, (std::vector<std::wstring>{L"Message.txt", L"Original.eml"}));
  EXPECT_EQ(Api().SetDirectory(parts, L"..", 0), TRUE);
  EXPECT_EQ(List(parts).Names, names);
  ASSERT_EQ(Api().SetDirectory(parts, L"part 3.eml", 0), TRUE);
  EXPECT_EQ(Api().SetDirectory(parts, L"/", 0), TRUE);
  EXPECT_EQ(List(parts).Names, names);
  EXPECT_EQ(Api().SetDirectory(parts, L"..", 0), FALSE);
  EXPECT_EQ(Api().SetDirectory(parts, L"no such", 0), FALSE);
  Api().ClosePlugin(parts);
  Api().ClosePlugin(folder);
}

// In Russian: the parts panel's own items, title and header labels, and
// sentences whose words stand in Russian order around their numbers. An
// attachment named as one of the panel's own items keeps its name.
TEST(Far2lHost, ShowsThePartsAndItsSentencesInTheHostsLanguage) {
  UseCodePage(1252);
  const std::string index = MakeFolder(MakeTempDir(), R"(
message
name Named
body From: a@example.org\r\nTo: b@example.org\r\nSubject: parts\r\nMIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary="XX"\r\n\r\n--XX\r\nContent-Type: text/plain; charset=utf-8\r\n\r\nHello there\r\n--XX\r\nContent-Type: text/plain\r\nContent-Disposition: attachment; filename*=UTF-8''%D0%A1%D0%BE%D0%BE%D0%B1%D1%89%D0%B5%D0%BD%D0%B8%D0%B5.txt\r\n\r\nattached\r\n--XX--\r\n
)");
  struct KeepTexts {
    std::vector<std::wstring> Kept;
    ~KeepTexts() { Host.Texts = Kept; }
  } english = {Host.Texts};
  Host.Texts = LanguageTexts("VessorFolderRus.lng");
  HANDLE folder = Open(index);
  ASSERT_NE(folder, INVALID_HANDLE_VALUE);
  Listing messages = List(folder);
  ASSERT_EQ(messages.Items.size(), 1u);
  const std::string taken = MakeTempDir();
  const std::wstring taken_wide = Wide(taken);
  const wchar_t *dest = taken_wide.c_str();
  ASSERT_EQ(Api().GetFiles(folder, messages.Items.data(), 1, 0, &dest, OPM_SILENT | OPM_VIEW), 1);
  HANDLE parts = Open(JoinPath(taken, "Named"));
  ASSERT_NE(parts, INVALID_HANDLE_VALUE);
  Listing listing = List(parts);
  EXPECT_EQ(listing.Names, (std::vector<std::wstring>{L"Сообщение_(2).txt", L"Сообщение.txt",
                                                      L"Исходное сообщение.eml"}));
  OpenPluginInfo info = {};
  Api().GetOpenPluginInfo(parts, &info);
  EXPECT_EQ(std::wstring(info.PanelTitle), L"Папка Vessor: Named");
  ASSERT_EQ(info.InfoLinesNumber, 5);
  std::vector<std::wstring> labels;
  for (int i = 0; i < info.InfoLinesNumber; ++i) labels.push_back(info.InfoLines[i].Text);
  EXPECT_EQ(labels, (std::vector<std::wstring>{L"От", L"Кому", L"Копия", L"Дата", L"Тема"}));

  // F5 of every part: the question in Russian, the files under the names shown.
  const std::string out = MakeTempDir();
  Host.LineAnswer = Wide(out);
  Host.Lines.clear();
  for (PluginPanelItem &item : listing.Items) item.Flags = PPIF_SELECTED;
  EXPECT_EQ(Api().GetFiles(parts, listing.Items.data(), 3, 0, &dest, 0), 1);
  Host.LineAnswer.clear();
  ASSERT_EQ(Host.Lines.size(), 1u);
  EXPECT_EQ(Host.Lines[0], L"Копировать 3 элемента в:");
  EXPECT_NE(ReadFile(JoinPath(out, "Сообщение_(2).txt")).find("Hello there"), std::string::npos);
  EXPECT_EQ(ReadFile(JoinPath(out, "Сообщение.txt")), "attached");
  EXPECT_NE(ReadFile(JoinPath(out, "Исходное сообщение.eml")).find("Subject: parts"),
            std::string::npos);
  Api().ClosePlugin(parts);

  // A save that fails: its question and its summary, the count after the words.
  const std::string blocked = JoinPath(MakeTempDir(), "a file");
  WriteFileBytes(blocked, "in the way");
  Host.DialogAnswers = {{0, 0, Wide(blocked), false}};
  Host.Dialogs.clear();
  Host.Boxes.clear();
  messages.Items[0].Flags = PPIF_SELECTED;
  EXPECT_EQ(Api().GetFiles(folder, messages.Items.data(), 1, 0, &dest, 0), 0);
  ASSERT_EQ(Host.Dialogs.size(), 1u);
  EXPECT_EQ(Host.Dialogs[0][1], L"Копировать 1 сообщение в:");
  ASSERT_EQ(Host.Boxes.size(), 1u);
  ASSERT_GE(Host.Boxes[0].size(), 3u);
  EXPECT_EQ(Host.Boxes[0][1], L"1 сообщение: сохранено 0, не сохранено 1");
  EXPECT_EQ(Host.Boxes[0][2].compare(0, 25, L"Не удаётся создать файл ("), 0)
      << Utf8(Host.Boxes[0][2]);
  Api().ClosePlugin(folder);
}

// The info line of the code page, as the host shows it.
std::wstring CodePageLine(HANDLE panel) {
  OpenPluginInfo info = {};
  info.StructSize = sizeof info;
  Api().GetOpenPluginInfo(panel, &info);
  return info.InfoLinesNumber == 15 ? info.InfoLines[14].Data : L"";
}

// With no code page chosen, each folder's names are read in the code page
// its messages declare most, else in the ANSI one of the user's language;
// one chosen in the menu wins.
TEST(Far2lHost, ReadsNamesInTheCodePageTheFolderDeclares) {
  Api();
  const std::string latin = "Content-Type: text/plain; charset=windows-1252";
  const std::string koi8 = "Content-Type: text/plain; charset=koi8-r";
  // "Jürgen" in windows-1252, "Письмо" in koi8-r, windows-1251 and cp866.
  const std::string jurgen = "J\\xFCrgen", koi8_name = "\\xF0\\xC9\\xD3\\xD8\\xCD\\xCF",
                    ansi_name = "\\xCF\\xE8\\xF1\\xFC\\xEC\\xEE",
                    dos_name = "\\x8F\\xA8\\xE1\\xEC\\xAC\\xAE";
  auto folder = [](const std::string &name, const std::string &head) {
    return MakeFolder(MakeTempDir(), "message\nname " + name + "\nbody " + head +
                                         "\\r\\n\\r\\nx\\r\\n\nmessage\nname y\nbody " +
                                         head + "\\r\\n\\r\\ny\\r\\n");
  };
  struct Row {
    const char *What, *Lang;
    unsigned Chosen;  // 0: none
    std::string Index;
    const wchar_t *Name, *Line;
  } rows[] = {
      {"1252 declared", "ru_RU.UTF-8", 0, folder(jurgen, latin), L"J\u00FCrgen",
       L"windows-1252 (from the folder)"},
      {"koi8-r declared", "en_US.UTF-8", 0, folder(koi8_name, koi8), L"Письмо",
       L"koi8-r (from the folder)"},
      {"nothing declared, English", "en_US.UTF-8", 0, folder(jurgen, "Subject: x"),
       L"J\u00FCrgen", L"windows-1252 (the system's)"},
      {"nothing declared, Russian", "ru_RU.UTF-8", 0, folder(ansi_name, "Subject: x"), L"Письмо",
       L"windows-1251 (the system's)"},
      {"chosen by hand", "en_US.UTF-8", 866, folder(dos_name, koi8), L"Письмо",
       L"cp866 (set by hand)"},
  };
  unsetenv("LC_ALL");
  unsetenv("LC_MESSAGES");
  const char *was = getenv("LANG");
  const std::string kept = was != nullptr ? was : "";
  for (const Row &row : rows) {
    setenv("LANG", row.Lang, 1);
    if (row.Chosen != 0) {
      UseCodePage(row.Chosen);
    } else {
      remove(ConfigFile().c_str());
      StartPlugin(Api());
    }
    HANDLE panel = Open(row.Index);
    ASSERT_NE(panel, INVALID_HANDLE_VALUE);
    const Listing listing = List(panel);
    EXPECT_NE(std::find(listing.Names.begin(), listing.Names.end(), row.Name),
              listing.Names.end())
        << row.What;
    EXPECT_EQ(CodePageLine(panel), row.Line) << row.What;
    Api().ClosePlugin(panel);
  }
  if (was != nullptr) setenv("LANG", kept.c_str(), 1);
  else unsetenv("LANG");
  remove(ConfigFile().c_str());
  StartPlugin(Api());
}

}  // namespace

// F11's entry: the folders of the directory far2l keeps the process in (the
// active panel's), or of what is typed instead, into a tree; no panel opens.
TEST(Far2lHost, ConvertsWholeFoldersFromThePluginsMenu) {
  UseCodePage(1252);
  // A Maildir kept for messages, and message files (no choice for whole
  // folders) kept for them: whole folders are offered as mbox files first.
  WriteFileBytes(ConfigFile(), "[Settings]\nCodePage=1252\nSaveAs=3\nTreeSaveAs=0\n");
  const std::string mail = MakeTempDir();
  const std::string index = MakeFolder(mail, TwoMessages);
  ASSERT_EQ(system(("mkdir '" + JoinPath(mail, "Work") + "'").c_str()), 0);
  MakeFolder(JoinPath(mail, "Work"), "message\nname Third\nbody Subject: three\\r\\n\\r\\nthird\\r\\n\n");
  const std::string index_bytes = ReadFile(index);
  const std::string empty = MakeTempDir();
  const std::string out = JoinPath(MakeTempDir(), "converted");
  char *was = getcwd(nullptr, 0);
  ASSERT_EQ(chdir(mail.c_str()), 0);
  const struct Row {
    const char *What;
    std::vector<std::wstring> Lines;  // "": the prefilled text
    std::vector<DialogAnswer> Dialog;
    const wchar_t *Box;               // the box's first line, or none
    bool Made;
  } rows[] = {
      {"Esc at the dialog", {L""}, {}, nullptr, false},
      {"a directory with no folder", {Wide(empty)}, {}, L"No Vessor mail folder in what was chosen", false},
      {"the index file as the destination", {L""}, {{0, -1, Wide(index), false}}, L"3 messages: 0 saved, 3 failed", false},
      {"as mbox files", {L""}, {{0, -1, Wide(out), false}}, nullptr, true},
  };
  for (const Row &row : rows) {
    SCOPED_TRACE(row.What);
    Host.Boxes.clear();
    Host.Lines.clear();
    Host.Prefilled.clear();
    Host.Dialogs.clear();
    Host.LineAnswers = row.Lines;
    Host.DialogAnswers = row.Dialog;
    EXPECT_EQ(Api().OpenPlugin(far2l::OPEN_PLUGINSMENU, 0), INVALID_HANDLE_VALUE);
    ASSERT_FALSE(Host.Prefilled.empty());
    EXPECT_EQ(Host.Prefilled[0], Wide(mail));
    EXPECT_EQ(Host.Lines[0], L"Convert the mail folders in this directory or index file:");
    EXPECT_EQ(Host.Lines.size(), 1u);
    if (!Host.Dialogs.empty()) {
      ASSERT_EQ(Host.Dialogs[0].size(), 13u);
      EXPECT_EQ(Host.Dialogs[0][1], L"Convert " + Wide(mail) + L" to:");
      EXPECT_EQ(Host.Dialogs[0][5], L"(*) &mbox files in Thunderbird's layout");
      EXPECT_EQ(Host.Dialogs[0][11], L"Convert");
    }
    if (row.Box != nullptr) {
      ASSERT_EQ(Host.Boxes.size(), 1u);
      EXPECT_EQ(Host.Boxes[0][1], row.Box);
    } else {
      EXPECT_TRUE(Host.Boxes.empty());
    }
    EXPECT_EQ(FileExists(out), row.Made);
    EXPECT_EQ(ReadFile(index), index_bytes);
  }
  // Maildirs chosen once are offered first the next time, and the choice
  // kept for messages is left as it was.
  const std::string maildirs = JoinPath(MakeTempDir(), "maildirs");
  Host.LineAnswers = {L"", L""};
  Host.DialogAnswers = {{1, -1, Wide(maildirs), false}};
  Host.Dialogs.clear();
  Api().OpenPlugin(far2l::OPEN_PLUGINSMENU, 0);
  EXPECT_TRUE(FileExists(JoinPath(maildirs, "cur")));
  Api().OpenPlugin(far2l::OPEN_PLUGINSMENU, 0);
  ASSERT_EQ(Host.Dialogs.size(), 2u);
  EXPECT_EQ(Host.Dialogs[1][5].compare(0, 4, L"( ) "), 0) << Utf8(Host.Dialogs[1][5]);
  EXPECT_EQ(Host.Dialogs[1][6].compare(0, 4, L"(*) "), 0) << Utf8(Host.Dialogs[1][6]);
  const std::string settings = ReadFile(ConfigFile());
  EXPECT_NE(settings.find("\nTreeSaveAs=3\n"), std::string::npos) << settings;
  EXPECT_NE(settings.find("\nSaveAs=3\n"), std::string::npos) << settings;
  ASSERT_EQ(chdir(was), 0);
  free(was);
  Host.LineAnswers.clear();
  // Thunderbird's layout: the folder of a directory in its .sbd.
  const std::string check =
      "python3 -c \"import mailbox,sys; s=lambda p: [m['Subject'] for m in mailbox.mbox(p)]; "
      "sys.exit(0 if s(sys.argv[1]+'/INBOX')==['one','two'] and "
      "s(sys.argv[1]+'/Work.sbd/INBOX')==['three'] else 1)\" '" + out + "'";
  EXPECT_EQ(system(check.c_str()), 0) << system(("find '" + out + "' >&2").c_str());
}

// With no code page chosen, F11's entry reads each folder's names in the
// code page its messages declare, as its panel does: the .eml files are
// named so.
TEST(Far2lHost, ConvertsEachFolderInItsOwnCodePage) {
  Api();
  remove(ConfigFile().c_str());
  StartPlugin(Api());
  const std::string mail = MakeTempDir();
  MakeFolder(mail, "message\nname J\\xFCrgen\nbody Content-Type: text/plain; "
                   "charset=windows-1252\\r\\n\\r\\nx\\r\\n\n");
  ASSERT_EQ(system(("mkdir '" + JoinPath(mail, "Work") + "'").c_str()), 0);
  MakeFolder(JoinPath(mail, "Work"), "message\nname \\xF0\\xC9\\xD3\\xD8\\xCD\\xCF\nbody "
                                     "Content-Type: text/plain; charset=koi8-r\\r\\n\\r\\nx\\r\\n\n");
  const std::string out = JoinPath(MakeTempDir(), "converted");
  Host.LineAnswers = {Wide(mail)};
  Host.DialogAnswers = {{2, -1, Wide(out), false}};
  Host.Boxes.clear();
  EXPECT_EQ(Api().OpenPlugin(far2l::OPEN_PLUGINSMENU, 0), INVALID_HANDLE_VALUE);
  EXPECT_TRUE(Host.Boxes.empty());
  EXPECT_TRUE(FileExists(JoinPath(out, "INBOX/Jürgen.eml")))
      << system(("find '" + out + "' >&2").c_str());
  EXPECT_TRUE(FileExists(JoinPath(out, "Work/INBOX/Письмо.eml")))
      << system(("find '" + out + "' >&2").c_str());
  Host.LineAnswers.clear();
  Host.DialogAnswers.clear();
}

// The texts and help installed beside the module, made from the sources the
// two native hosts share: a text per message number in each language, help
// under the language's own header, with every topic the plug-in opens or a
// link names, and no line for the other host alone left in it.
TEST(Far2lHost, InstallsEveryTextAndHelpTopicInEachLanguage) {
  for (const char *language : {"Eng", "Rus"}) {
    const std::string name = ModuleDir() + "/VessorFolder" + language;
    EXPECT_EQ(LanguageTexts(("VessorFolder" + std::string(language) + ".lng").c_str()).size(),
              size_t(MessageCount)) << language;
    const std::string texts = ReadFile(name + ".lng"), help = ReadFile(name + ".hlf");
    ASSERT_EQ(help.compare(0, 13, "\xEF\xBB\xBF.Language="), 0) << language;
    EXPECT_EQ(help.substr(0, help.find('\n')), texts.substr(0, texts.find('\n'))) << language;
    std::vector<std::string> wanted = {"Contents", "Keys", "InfoLines", "Never"};
    for (const wchar_t *topic : {HELP_SAVING, HELP_CODE_PAGE, HELP_CONVERT, HELP_PARTS})
      wanted.push_back(Utf8(topic));
    for (size_t at = 0; (at = help.find("~@", at)) != std::string::npos; at += 2)
      wanted.push_back(help.substr(at + 2, help.find('@', at + 2) - at - 2));
    for (const std::string &topic : wanted)
      EXPECT_NE(help.find("\n@" + topic + "\n"), std::string::npos) << language << ": " << topic;
    EXPECT_EQ(help.find("\n%"), std::string::npos) << language;
    EXPECT_EQ(help.find("Alt+F7"), std::string::npos) << language << ": far3's search";
  }
}

// Each output the table offers in a save dialog: its label, in English with
// the row's hotkey; in each language, hotkeys that no other choice of that
// dialog ("Mark as read" too) shares; and its help topic in each help file.
TEST(Far2lHost, OffersTheTablesOutputsWithTheirHotkeysAndHelp) {
  size_t count = 0;
  const OutputRow *rows = OutputRows(&count);
  auto hotkey = [](const std::wstring &text) {
    const size_t at = text.find(L'&');
    const wchar_t key = at != std::wstring::npos && at + 1 < text.size() ? text[at + 1] : L'\0';
    return key >= L'A' && key <= L'Z' ? wchar_t(key - L'A' + L'a') : key;
  };
  int offered = 0;
  for (const char *language : {"Eng", "Rus"}) {
    const std::vector<std::wstring> texts =
        LanguageTexts((std::string("VessorFolder") + language + ".lng").c_str());
    ASSERT_EQ(texts.size(), size_t(MessageCount)) << language;
    const std::string help = ReadFile(ModuleDir() + "/VessorFolder" + language + ".hlf");
    for (bool trees : {false, true}) {
      std::vector<wchar_t> keys = {hotkey(texts[MMarkRead])};
      for (size_t i = 0; i < count; ++i) {
        const int label = trees ? rows[i].TreeLabel : rows[i].Label;
        if (label < 0) continue;
        ++offered;
        const wchar_t key = hotkey(texts[size_t(label)]);
        EXPECT_NE(key, L'\0') << OutputName(rows[i]) << " " << language;
        if (std::string(language) == "Eng") {
          EXPECT_EQ(key, rows[i].Hotkey) << OutputName(rows[i]);
        }
        EXPECT_EQ(std::count(keys.begin(), keys.end(), key), 0)
            << OutputName(rows[i]) << " " << language << " trees " << trees;
        keys.push_back(key);
        char topic[64];
        snprintf(topic, sizeof topic, "\n@%ls", rows[i].HelpTopic);
        const size_t at = help.find(topic);
        const char after = at != std::string::npos ? help[at + strlen(topic)] : '\0';
        EXPECT_TRUE(after == '\r' || after == '\n') << OutputName(rows[i]) << " " << language;
      }
    }
  }
  EXPECT_EQ(offered, 2 * (5 + 4));
}

// Items that share a name, and two records of one message: each item has a
// name of its own (the host carries the selection over by name), message
// files keep the records' names, and each item is its own message.
TEST(Far2lHost, GivesEachItemANameOfItsOwn) {
  UseCodePage(1252);
  // Two records of one message first, at one place.
  const std::string shared = "From: b@example.org\\r\\n\\r\\nshared\\r\\n";
  std::string text = "message\nname Same\nbody " + shared + "\nmessage\nname Same\noffset 0\nsize 31\n";
  const char *names[] = {"Re: meeting", "Re: meeting", "MEETING", "meeting", "x_(2)",
                         "x", "x", "Re: meeting"};
  for (size_t i = 0; i < sizeof names / sizeof names[0]; ++i)
    text += "message\nname " + std::string(names[i]) + "\nbody From: a@example.org\\r\\n\\r\\n" +
            std::to_string(i) + "\n";
  const std::string index = MakeFolder(MakeTempDir(), text);
  HANDLE panel = Open(index);
  ASSERT_NE(panel, INVALID_HANDLE_VALUE);
  Listing listing = List(panel);
  EXPECT_EQ(listing.Names,
            (std::vector<std::wstring>{L"Same", L"Same_(2)", L"Re: meeting", L"Re: meeting_(2)",
                                       L"MEETING", L"meeting_(2)", L"x_(2)", L"x", L"x_(3)",
                                       L"Re: meeting_(3)"}));

  // F5 as message files, in the panel's order backwards: the records' names,
  // twins numbered as the host hands them over.
  std::vector<far2l::PluginPanelItem> backwards(listing.Items.rbegin(), listing.Items.rend());
  const std::string out = MakeTempDir();
  Host.DialogAnswers = {{0, 0, Wide(out), false}};
  const wchar_t *dest = L"";
  for (far2l::PluginPanelItem &item : backwards) item.Flags = PPIF_SELECTED;
  EXPECT_EQ(Api().GetFiles(panel, backwards.data(), 10, 0, &dest, 0), 1);
  EXPECT_EQ(ListDir(out), (std::vector<std::string>{"MEETING_(2)", "Re__meeting", "Re__meeting_(2)",
                                                    "Re__meeting_(3)", "Same", "Same_(2)",
                                                    "meeting", "x", "x_(2)", "x_(2)_(2)"}));
  EXPECT_EQ(ReadFile(JoinPath(out, "Re__meeting")), "From: a@example.org\r\n\r\n7");

  // The two items of one message as one mbox: the folder holds it twice, so
  // does the mbox, and each item is unselected for its own.
  const std::string mail = MakeTempDir();
  Host.DialogAnswers = {{2, 0, Wide(mail), false}};
  for (far2l::PluginPanelItem &item : listing.Items) item.Flags = PPIF_SELECTED;
  EXPECT_EQ(Api().GetFiles(panel, listing.Items.data(), 2, 0, &dest, 0), 1);
  EXPECT_EQ(listing.Items[0].Flags & PPIF_SELECTED, 0u);
  EXPECT_EQ(listing.Items[1].Flags & PPIF_SELECTED, 0u);
  const std::string check =
      "python3 -c \"import mailbox,sys; m=list(mailbox.mbox(sys.argv[1])); "
      "sys.exit(0 if [x.get_payload() for x in m]==['shared\\r\\n']*2 else sys.exit(repr([x.get_payload() for x in m])))\" '" +
      JoinPath(mail, "INBOX.mbox") + "'";
  EXPECT_EQ(system(check.c_str()), 0);

  // One item handed over twice: its message once, and both unselected.
  const std::string again = MakeTempDir();
  Host.DialogAnswers = {{2, 0, Wide(again), false}};
  Host.Boxes.clear();
  std::vector<far2l::PluginPanelItem> twice = {listing.Items[2], listing.Items[2]};
  for (far2l::PluginPanelItem &item : twice) item.Flags = PPIF_SELECTED;
  EXPECT_EQ(Api().GetFiles(panel, twice.data(), 2, 0, &dest, 0), 1);
  EXPECT_TRUE(Host.Boxes.empty());
  EXPECT_EQ(twice[0].Flags & PPIF_SELECTED, 0u);
  EXPECT_EQ(twice[1].Flags & PPIF_SELECTED, 0u);
  EXPECT_EQ(ReadFile(JoinPath(again, "INBOX.mbox")).find("From ", 1), std::string::npos);
  Api().ClosePlugin(panel);
}

// Memory that runs out anywhere in an entry point's work: the call fails
// with the host's value and one "Not enough memory" box, and the next call
// works. Every allocation of each call is made to fail in turn.
TEST(Far2lHost, FailsACallWhoseMemoryRunsOut) {
  UseCodePage(1252);
  const std::string index = MakeFolder(MakeTempDir(), TwoMessages + std::string(R"(
message
name With parts
body From: a@example.org\r\nMIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary="XX"\r\n\r\n--XX\r\nContent-Type: text/plain\r\n\r\nHello\r\n--XX\r\nContent-Type: application/octet-stream; name="data.bin"\r\n\r\ndata\r\n--XX--\r\n
)"));
  const std::wstring no_memory = Host.Texts[MNoMemory];
  // The allocation that fails in the call under test, counted from its start.
  long failing = -1, left = -1;
  auto armed = [&](const std::function<int()> &call) {
    AllocationRefused = false;
    AllocationsLeft = failing;
    LeaksIgnored(true);
    const int result = call();
    LeaksIgnored(false);
    left = AllocationsLeft;
    AllocationsLeft = -1;
    return result;
  };
  struct Call {
    const char *What;
    int Failed;  // the host's value for a failure
    std::function<int(HANDLE)> Run;
  };
  const std::vector<Call> calls = {
      {"GetFindDataW", FALSE,
       [&](HANDLE panel) {
         far2l::PluginPanelItem *items = nullptr;
         int count = 0;
         const int listed = armed([&] { return Api().GetFindData(panel, &items, &count, 0); });
         if (listed) Api().FreeFindData(panel, items, count);
         return listed;
       }},
      {"GetFilesW as one mbox", FALSE,
       [&](HANDLE panel) {
         Listing listing = List(panel);
         for (far2l::PluginPanelItem &item : listing.Items) item.Flags = PPIF_SELECTED;
         Host.DialogAnswers = {{2, 0, Wide(MakeTempDir()), false}};
         const wchar_t *dest = L"";
         return armed([&] {
           return Api().GetFiles(panel, listing.Items.data(), int(listing.Items.size()), 0, &dest, 0);
         });
       }},
      {"GetFilesW as message files", FALSE,
       [&](HANDLE panel) {
         Listing listing = List(panel);
         Host.DialogAnswers = {{0, 0, Wide(MakeTempDir()), false}};
         const wchar_t *dest = L"";
         return armed([&] {
           return Api().GetFiles(panel, listing.Items.data(), int(listing.Items.size()), 0, &dest, 0);
         });
       }},
      {"OpenFilePluginW on a message: its parts", FALSE,
       [&](HANDLE panel) {
         Listing listing = List(panel);
         const std::string view = MakeTempDir();
         const std::wstring view_wide = Wide(view);
         const wchar_t *dest = view_wide.c_str();
         if (Api().GetFiles(panel, &listing.Items[2], 1, 0, &dest, OPM_SILENT | OPM_VIEW) != 1)
           return FALSE;
         const std::string taken = JoinPath(view, "With parts");
         const std::string bytes = ReadFile(taken);
         const std::wstring name = Wide(taken);
         HANDLE parts = INVALID_HANDLE_VALUE;
         armed([&] {
           parts = Api().OpenFilePlugin(name.c_str(),
                                        reinterpret_cast<const unsigned char *>(bytes.data()),
                                        int(bytes.size()), OPM_PGDN);
           return 0;
         });
         if (parts == INVALID_HANDLE_VALUE) return FALSE;
         Api().ClosePlugin(parts);
         return TRUE;
       }},
  };
  for (const Call &call : calls) {
    SCOPED_TRACE(call.What);
    HANDLE panel = Open(index);
    ASSERT_NE(panel, INVALID_HANDLE_VALUE);
    // How many allocations the call makes when none fails.
    failing = 1000000;
    EXPECT_NE(call.Run(panel), call.Failed);
    const long made = 1000000 - left;
    ASSERT_GT(made, 0);
    long failed = 0;
    for (failing = 0; failing < made; ++failing) {
      Host.Boxes.clear();
      int result = call.Failed;
      try {
        result = call.Run(panel);
      } catch (...) {
        ADD_FAILURE() << "allocation " << failing << " threw out of the call";
        break;
      }
      // A run may make fewer than the first (which kept the settings).
      if (!AllocationRefused) break;
      // A request that may be refused (a sort's spare room) leaves the call
      // to go on without it; any other fails the call, and says so.
      if (result != call.Failed) continue;
      ++failed;
      bool told = false;
      for (const std::vector<std::wstring> &box : Host.Boxes)
        told = told || (box.size() >= 2 && box[1] == no_memory);
      EXPECT_TRUE(told) << "allocation " << failing;
      if (HasFailure()) break;
    }
    EXPECT_GT(failing, made / 2);
    EXPECT_GT(failed, failing / 2);
    // And the next call works.
    failing = -1;
    EXPECT_NE(call.Run(panel), call.Failed);
    Api().ClosePlugin(panel);
  }
}

// Every box that tells of a failure gives the system's own words for it
// beside what failed. Each failure is a real one (a file where a directory
// must be, a file gone), so the words are the C library's.
TEST(Far2lHost, EveryFailureBoxGivesTheSystemsReason) {
  UseCodePage(1252);
  const std::string dir = MakeTempDir();
  const std::string index = MakeFolder(dir, TwoMessages + std::string(R"(
message
name With parts
body From: a@example.org\r\nMIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary="XX"\r\n\r\n--XX\r\nContent-Type: text/plain\r\n\r\nHello\r\n--XX\r\nContent-Type: application/octet-stream; name="data.bin"\r\n\r\ndata\r\n--XX--\r\n
)"));
  const std::string blocked = JoinPath(MakeTempDir(), "a file");
  WriteFileBytes(blocked, "in the way");
  const std::wstring under_file = Wide(JoinPath(blocked, "out"));
  HANDLE panel = Open(index);
  ASSERT_NE(panel, INVALID_HANDLE_VALUE);
  Listing listing = List(panel);
  ASSERT_EQ(listing.Items.size(), 3u);
  const wchar_t *dest = L"";
  // `act` where a file stands for the settings' directory, which is then
  // put back.
  auto without_settings = [&](const std::function<void()> &act) {
    const std::string settings = ConfigFile();
    const std::string settings_dir = settings.substr(0, settings.rfind('/'));
    const std::string kept = ReadFile(settings);
    ASSERT_EQ(system(("rm -rf '" + settings_dir + "'").c_str()), 0);
    WriteFileBytes(settings_dir, "in the way");
    act();
    const std::string back = "rm -f '" + settings_dir + "' && mkdir -p '" + settings_dir + "'";
    ASSERT_EQ(system(back.c_str()), 0);
    WriteFileBytes(settings, kept);
  };
  auto save_all_as = [&](int radio) {
    for (far2l::PluginPanelItem &item : listing.Items) item.Flags = PPIF_SELECTED;
    Host.DialogAnswers = {{radio, 0, under_file, false}};
    Api().GetFiles(panel, listing.Items.data(), 3, 0, &dest, 0);
  };
  struct Row {
    const char *What;
    int Error;
    std::function<void()> Do;
  };
  const std::vector<Row> rows = {
      {"F5 as message files under a file", ENOTDIR, [&] { save_all_as(0); }},
      {"F5 as one mbox under a file", ENOTDIR, [&] { save_all_as(2); }},
      {"F5 of a part under a file", ENOTDIR,
       [&] {
         const std::string view = MakeTempDir();
         const std::wstring view_wide = Wide(view);
         const wchar_t *view_dest = view_wide.c_str();
         far2l::PluginPanelItem *item = &listing.Items[0];
         for (far2l::PluginPanelItem &each : listing.Items)
           if (std::wstring(each.FindData.lpwszFileName) == L"With parts") item = &each;
         item->Flags = 0;
         ASSERT_EQ(Api().GetFiles(panel, item, 1, 0, &view_dest, OPM_SILENT | OPM_VIEW), 1);
         HANDLE parts = Open(JoinPath(view, "With parts"));
         ASSERT_NE(parts, INVALID_HANDLE_VALUE);
         Listing inside = List(parts);
         ASSERT_GE(inside.Items.size(), 2u);
         Host.LineAnswer = under_file;
         const wchar_t *part_dest = L"";
         Api().GetFiles(parts, &inside.Items[1], 1, 0, &part_dest, 0);
         Host.LineAnswer.clear();
         Api().ClosePlugin(parts);
       }},
      {"the code page kept where a file stands for the settings' directory", ENOTDIR,
       [&] { without_settings([&] {
         Host.MenuAnswers = {1};
         Api().Configure(0);
       }); }},
      // The choice then holds for the next dialog all the same.
      {"the save dialog's choice kept where a file stands for the settings' directory", ENOTDIR,
       [&] { without_settings([&] {
         const std::string out = MakeTempDir();
         for (far2l::PluginPanelItem &item : listing.Items) item.Flags = PPIF_SELECTED;
         Host.DialogAnswers = {{1, -1, Wide(out), false}, {-1, -1, L"", true}};
         Host.Dialogs.clear();
         Api().GetFiles(panel, listing.Items.data(), 3, 0, &dest, 0);
         Api().GetFiles(panel, listing.Items.data(), 3, 0, &dest, 0);
         ASSERT_EQ(Host.Dialogs.size(), 2u);
         EXPECT_EQ(Host.Dialogs[1][6], L"(*) .&eml files");
       }); }},
      // With no file to be opened, the directory typed cannot be listed.
      {"F11's convert of a directory that cannot be read", EMFILE,
       [&] {
         Host.LineAnswers = {Wide(dir)};
         rlimit was = {};
         ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &was), 0);
         const rlimit none = {0, was.rlim_max};
         ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &none), 0);
         Api().OpenPlugin(far2l::OPEN_PLUGINSMENU, 0);
         ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &was), 0);
       }},
      {"F5 with the data folder file gone", ENOENT,
       [&] {
         // A panel opened anew: the first holds the file open.
         ASSERT_EQ(unlink((index.substr(0, index.size() - 1) + "M").c_str()), 0);
         HANDLE bare = Open(index);
         ASSERT_NE(bare, INVALID_HANDLE_VALUE);
         Listing all = List(bare);
         for (far2l::PluginPanelItem &item : all.Items) item.Flags = PPIF_SELECTED;
         Host.DialogAnswers = {{0, 0, Wide(MakeTempDir()), false}};
         Api().GetFiles(bare, all.Items.data(), int(all.Items.size()), 0, &dest, 0);
         Api().ClosePlugin(bare);
       }},
  };
  for (const Row &row : rows) {
    Host.Boxes.clear();
    row.Do();
    const std::wstring words = Wide(strerror(row.Error));
    std::string shown;
    bool told = false;
    for (const std::vector<std::wstring> &box : Host.Boxes)
      for (const std::wstring &line : box) {
        told = told || line.find(words) != std::wstring::npos;
        shown += Utf8(line) + " | ";
      }
    EXPECT_TRUE(told) << row.What << ": " << shown;
  }
  Api().ClosePlugin(panel);
}
