// libFuzzer target: a whole folder (index file and data folder file) opened,
// listed twice, exported and closed through the plug-in's entry points, which
// are linked in. See fuzz/fuzz_inputs.h for the input's layout.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "fuzz/fuzz_inputs.h"

namespace {

int WINAPI IgnoreMessage(INT_PTR, DWORD, const char *, const char *const *, int, int) { return 0; }

std::string WorkDir;

void RemoveWorkDir() {
  std::error_code ignored;
  std::filesystem::remove_all(WorkDir, ignored);
}

const PluginApi &StaticPlugin() {
  static PluginApi api = {nullptr,        SetStartupInfo,    GetPluginInfo, OpenPlugin,
                          OpenFilePlugin, GetOpenPluginInfo, GetFindData,   FreeFindData,
                          GetFiles,       ClosePlugin,       ExitFAR};
  return api;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  static PluginStartupInfo startup;
  startup.StructSize = int(sizeof startup);
  startup.Message = IgnoreMessage;
  SetStartupInfo(&startup);
  // One directory for the whole run; every input leaves it empty again.
  std::string pattern = (std::filesystem::temp_directory_path() / "vessor-fuzz-XXXXXX").string();
  if (mkdtemp(&pattern[0]) == nullptr) abort();
  WorkDir = pattern;
  atexit(RemoveWorkDir);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const std::string problem = CheckFolderInput(StaticPlugin(), data, size, WorkDir);
  if (!problem.empty()) {
    fprintf(stderr, "folder_fuzz: %s\n", problem.c_str());
    abort();
  }
  return 0;
}
