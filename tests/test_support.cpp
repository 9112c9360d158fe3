#include "tests/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "tools/mkfolder/folder_writer.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace fs = std::filesystem;

namespace {

std::vector<std::string> TempDirs;

struct TempDirCleaner {
  ~TempDirCleaner() {
    std::error_code ignored;
    for (const std::string &dir : TempDirs) fs::remove_all(dir, ignored);
  }
} Cleaner;

int WINAPI RecordMessage(INT_PTR, DWORD flags, const char *, const char *const *items,
                         int items_number, int buttons_number) {
  Warning warning{{}, int(flags), items_number, buttons_number};
  for (int i = 0; i < items_number; ++i) warning.Items.push_back(items[i]);
  Warnings().push_back(warning);
  return 0;
}

}  // namespace

std::string MakeTempDir() {
  static int counter = 0;
  for (;;) {
    const fs::path dir = fs::temp_directory_path() / ("vessor-test-" + std::to_string(rand()) +
                                                      "-" + std::to_string(++counter));
    // Tests run side by side in processes of their own, whose rand() gives
    // the same names: one that another process has just taken away again
    // is only a name in use.
    std::error_code in_use;
    if (fs::create_directory(dir, in_use)) {
      TempDirs.push_back(dir.string());
      return dir.string();
    }
  }
}

std::string JoinPath(const std::string &dir, const std::string &name) {
  return dir + PATH_SEPARATOR + name;
}

std::string ReadFile(const std::string &path) {
  std::ifstream input(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << input.rdbuf();
  return bytes.str();
}

void WriteFileBytes(const std::string &path, const std::string &bytes) {
  std::ofstream output(path, std::ios::binary | std::ios::trunc);
  output << bytes;
}

void ResizeFile(const std::string &path, uint64_t size) {
#ifdef _WIN32
  // The C runtime's resizing stops at 2 GiB.
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  LARGE_INTEGER end;
  end.QuadPart = LONGLONG(size);
  const bool resized = file != INVALID_HANDLE_VALUE &&
                       SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && SetEndOfFile(file);
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  EXPECT_TRUE(resized) << path;
#else
  fs::resize_file(path, size);
#endif
}

bool FileExists(const std::string &path) { return fs::exists(path); }

uint64_t FileWriteTicks(const std::string &path) {
#ifdef _WIN32
  HANDLE file = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  FILETIME written = {};
  const bool known = file != INVALID_HANDLE_VALUE && GetFileTime(file, nullptr, nullptr, &written);
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  return known ? uint64_t(written.dwHighDateTime) << 32 | written.dwLowDateTime : 0;
#else
  struct stat info;
  if (stat(path.c_str(), &info) != 0) return 0;
  return uint64_t(int64_t(info.st_mtim.tv_sec) + 11644473600) * 10000000u +
         uint64_t(info.st_mtim.tv_nsec) / 100;
#endif
}

std::vector<std::string> ListDir(const std::string &dir) {
  std::vector<std::string> names;
#ifdef _WIN32
  // In the code page of the "A" calls, which the plug-in and ReadFile take;
  // the C++ library would give UTF-8.
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((dir + "\\*").c_str(), &found);
  for (bool more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileA(search, &found))
    if (strcmp(found.cFileName, ".") != 0 && strcmp(found.cFileName, "..") != 0)
      names.push_back(found.cFileName);
  if (search != INVALID_HANDLE_VALUE) FindClose(search);
#else
  for (const auto &entry : fs::directory_iterator(dir))
    names.push_back(entry.path().filename().string());
#endif
  std::sort(names.begin(), names.end());
  return names;
}

std::string MakeFolder(const std::string &dir, const std::string &description) {
  const std::string index = JoinPath(dir, "INBOX.IDX");
  std::string error;
  EXPECT_TRUE(WriteFolder(description, index, &error)) << error;
  return index;
}

std::vector<Warning> &Warnings() {
  static std::vector<Warning> warnings;
  return warnings;
}

namespace {

std::vector<std::string> ShownBoxes;

int WINAPI RecordBox(HWND, const char *text, const char *caption, UINT) {
  ShownBoxes.push_back(std::string(caption) + ": " + text);
  return 1;  // IDOK
}

}  // namespace

void StartBoxCapture() { ShownBoxes.clear(); }

std::vector<std::string> TakeBoxes() {
  std::vector<std::string> boxes;
  boxes.swap(ShownBoxes);
  return boxes;
}

namespace {

// SetStartupInfo with a Message service that records every warning.
void StartWithRecorder(const PluginApi &api, int module_number) {
  static PluginStartupInfo startup;
  startup.StructSize = int(sizeof startup);
  startup.ModuleNumber = module_number;
  startup.Message = RecordMessage;
  api.SetStartupInfo(&startup);
}

}  // namespace

const PluginApi &Plugin() {
  static PluginApi api;
  static bool loaded = false;
  if (!loaded) {
    char path[4096], error[512];
    if (!DefaultPluginPath(path, sizeof path)) abort();
    // The tests sit beside the plug-in, as vfolder does.
    std::string plugin = fs::path(path).replace_filename(VESSOR_PLUGIN_FILE).string();
    if (!LoadPlugin(plugin.c_str(), &api, error, sizeof error)) {
      fprintf(stderr, "%s\n", error);
      abort();
    }
    if (!RedirectMessageBox(&api, RecordBox)) {
      fprintf(stderr, "the plug-in does not import MessageBoxA\n");
      abort();
    }
    StartWithRecorder(api, 42);
    loaded = true;
  }
  return api;
}

const PluginApi &LinkedPlugin() {
  static PluginApi api = {nullptr,        SetStartupInfo,    GetPluginInfo, OpenPlugin,
                          OpenFilePlugin, GetOpenPluginInfo, GetFindData,   FreeFindData,
                          GetFiles,       ClosePlugin,       ExitFAR};
  static bool started = false;
  if (!started) {
    Plugin();  // the boxes' handler, and the Message service to record with
#ifdef _WIN32
    // This program's own import of MessageBoxA serves the linked-in copy.
    api.Library = GetModuleHandleA(nullptr);
    if (!RedirectMessageBox(&api, RecordBox)) abort();
#endif
    StartWithRecorder(api, 43);
    started = true;
  }
  return api;
}

HANDLE OpenFolder(const std::string &index, const PluginApi &api) {
  char leading[128];
  std::ifstream input(index, std::ios::binary);
  input.read(leading, sizeof leading);
  std::string path = index;
  return api.OpenFilePlugin(&path[0], reinterpret_cast<const unsigned char *>(leading),
                           int(input.gcount()));
}

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VESSOR_LEAK_CHECKS 1
#endif
#elif defined(__SANITIZE_ADDRESS__)
#define VESSOR_LEAK_CHECKS 1
#endif
#ifdef VESSOR_LEAK_CHECKS
#include <sanitizer/lsan_interface.h>
void LeaksIgnored(bool ignored) { ignored ? __lsan_disable() : __lsan_enable(); }
#else
void LeaksIgnored(bool) {}
#endif
