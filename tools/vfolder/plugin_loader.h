// Loads the plug-in library at run time and finds its ten entry points by
// their exported names, as the file manager does.
#pragma once

#include "host/far1/far_plugin.h"

struct PluginApi {
  void *Library;
  SetStartupInfoFn SetStartupInfo;
  GetPluginInfoFn GetPluginInfo;
  OpenPluginFn OpenPlugin;
  OpenFilePluginFn OpenFilePlugin;
  GetOpenPluginInfoFn GetOpenPluginInfo;
  GetFindDataFn GetFindData;
  FreeFindDataFn FreeFindData;
  GetFilesFn GetFiles;
  ClosePluginFn ClosePlugin;
  ExitFARFn ExitFAR;
};

// Loads the library at `path` and fills `api`. On failure writes a one-line
// reason into `error` (of `error_size` bytes) and returns false.
bool LoadPlugin(const char *path, PluginApi *api, char *error, size_t error_size);

void UnloadPlugin(PluginApi *api);

// Points the plug-in's message boxes at `handler`, so that a host without
// windows (vfolder, the tests) gets each box as a call instead of a window
// waiting for a click. On Windows this rewrites the plug-in's import of
// MessageBoxA (false when it has none); elsewhere the host's own exported
// MessageBoxA, which takes the place of the plug-in's stand-in, calls it.
typedef int(WINAPI *MessageBoxFn)(HWND, const char *, const char *, UINT);
bool RedirectMessageBox(const PluginApi *api, MessageBoxFn handler);

// The plug-in library's file name, and its default place: beside the running
// program, or else in a VessorFolder folder beside it. Returns false when the
// program's own path cannot be found.
extern const char PluginFileName[];
bool DefaultPluginPath(char *out, size_t out_size);
