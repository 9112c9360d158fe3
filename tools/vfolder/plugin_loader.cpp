#include "tools/vfolder/plugin_loader.h"

#include <cstdio>
#include <cstring>

#ifdef _WIN32
#define PLACE_SEPARATOR "\\"
const char PluginFileName[] = "vessor.dll";
#else
#include <dlfcn.h>
#include <unistd.h>
#define PLACE_SEPARATOR "/"
const char PluginFileName[] = "vessor.so";

namespace {
MessageBoxFn BoxHandler;
}  // namespace

// Exported from the host program (see CMakeLists.txt), so the dynamic linker
// binds the plug-in's calls here rather than to its weak stand-in.
extern "C" int MessageBoxA(HWND owner, const char *text, const char *caption, UINT type) {
  if (BoxHandler != nullptr) return BoxHandler(owner, text, caption, type);
  fprintf(stderr, "%s: %s\n", caption, text);
  return 1;  // IDOK
}
#endif

namespace {

void *LoadLibraryAt(const char *path) {
#ifdef _WIN32
  return reinterpret_cast<void *>(LoadLibraryA(path));
#else
  return dlopen(path, RTLD_NOW | RTLD_LOCAL);
#endif
}

void *FindSymbol(void *library, const char *name) {
#ifdef _WIN32
  return reinterpret_cast<void *>(GetProcAddress(static_cast<HMODULE>(library), name));
#else
  return dlsym(library, name);
#endif
}

template <typename Fn>
bool Find(void *library, const char *name, Fn *out, char *error, size_t error_size) {
  void *symbol = FindSymbol(library, name);
  if (symbol == nullptr) {
    snprintf(error, error_size, "the plug-in exports no %s", name);
    return false;
  }
  *out = reinterpret_cast<Fn>(symbol);
  return true;
}

}  // namespace

bool LoadPlugin(const char *path, PluginApi *api, char *error, size_t error_size) {
  memset(api, 0, sizeof *api);
  api->Library = LoadLibraryAt(path);
  if (api->Library == nullptr) {
    snprintf(error, error_size, "cannot load the plug-in %s", path);
    return false;
  }
  void *lib = api->Library;
  if (Find(lib, "SetStartupInfo", &api->SetStartupInfo, error, error_size) &&
      Find(lib, "GetPluginInfo", &api->GetPluginInfo, error, error_size) &&
      Find(lib, "OpenPlugin", &api->OpenPlugin, error, error_size) &&
      Find(lib, "OpenFilePlugin", &api->OpenFilePlugin, error, error_size) &&
      Find(lib, "GetOpenPluginInfo", &api->GetOpenPluginInfo, error, error_size) &&
      Find(lib, "GetFindData", &api->GetFindData, error, error_size) &&
      Find(lib, "FreeFindData", &api->FreeFindData, error, error_size) &&
      Find(lib, "GetFiles", &api->GetFiles, error, error_size) &&
      Find(lib, "ClosePlugin", &api->ClosePlugin, error, error_size) &&
      Find(lib, "ExitFAR", &api->ExitFAR, error, error_size))
    return true;
  UnloadPlugin(api);
  return false;
}

void UnloadPlugin(PluginApi *api) {
  if (api->Library == nullptr) return;
#ifdef _WIN32
  FreeLibrary(static_cast<HMODULE>(api->Library));
#else
  dlclose(api->Library);
#endif
  api->Library = nullptr;
}

#ifndef _WIN32
bool RedirectMessageBox(const PluginApi *, MessageBoxFn handler) {
  BoxHandler = handler;
  return true;
}
#else
bool RedirectMessageBox(const PluginApi *api, MessageBoxFn handler) {
  auto *base = static_cast<unsigned char *>(api->Library);
  auto *dos = reinterpret_cast<IMAGE_DOS_HEADER *>(base);
  auto *nt = reinterpret_cast<IMAGE_NT_HEADERS *>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY &imports =
      nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  auto *descriptor = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR *>(base + imports.VirtualAddress);
  for (; descriptor->Name != 0; ++descriptor) {
    auto *names = reinterpret_cast<IMAGE_THUNK_DATA *>(base + descriptor->OriginalFirstThunk);
    auto *slots = reinterpret_cast<IMAGE_THUNK_DATA *>(base + descriptor->FirstThunk);
    for (; names->u1.AddressOfData != 0; ++names, ++slots) {
      if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
      auto *by_name = reinterpret_cast<IMAGE_IMPORT_BY_NAME *>(base + names->u1.AddressOfData);
      if (strcmp(reinterpret_cast<const char *>(by_name->Name), "MessageBoxA") != 0) continue;
      DWORD old_protection;
      if (!VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, PAGE_READWRITE,
                          &old_protection))
        return false;
      slots->u1.Function = reinterpret_cast<ULONG_PTR>(handler);
      VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, old_protection,
                     &old_protection);
      return true;
    }
  }
  return false;
}
#endif

bool DefaultPluginPath(char *out, size_t out_size) {
  char self[4096];
#ifdef _WIN32
  const DWORD length = GetModuleFileNameA(nullptr, self, sizeof self);
  if (length == 0 || length >= sizeof self) return false;
#else
  const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
  if (length <= 0) return false;
  self[length] = '\0';
#endif
  char *slash = strrchr(self, '/');
#ifdef _WIN32
  char *backslash = strrchr(self, '\\');
  if (backslash != nullptr && (slash == nullptr || backslash > slash)) slash = backslash;
#endif
  const int dir_length = slash != nullptr ? int(slash - self + 1) : 0;
  // Beside the program, or in the plug-in folder beside it as the release
  // package lays them out.
  const char *const places[] = {"", "VessorFolder" PLACE_SEPARATOR};
  for (const char *place : places) {
    const int written =
        snprintf(out, out_size, "%.*s%s%s", dir_length, self, place, PluginFileName);
    if (written <= 0 || size_t(written) >= out_size) return false;
    if (FILE *file = fopen(out, "rb")) {
      fclose(file);
      return true;
    }
  }
  snprintf(out, out_size, "%.*s%s", dir_length, self, PluginFileName);
  return true;
}
