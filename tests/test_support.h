// Folders in temporary directories, and the plug-in loaded as the host does.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/vfolder/plugin_loader.h"

// Around a call that a thrown failure cuts short on purpose: the entry points
// promise the host's failure value, not a heap as clean as before, so what
// the cut work had allocated is not counted as a leak.
void LeaksIgnored(bool ignored);

// A fresh directory under the system's temporary directory, removed on exit.
std::string MakeTempDir();

std::string JoinPath(const std::string &dir, const std::string &name);
std::string ReadFile(const std::string &path);
void WriteFileBytes(const std::string &path, const std::string &bytes);
bool FileExists(const std::string &path);
void ResizeFile(const std::string &path, uint64_t size);  // sparse where it grows
std::vector<std::string> ListDir(const std::string &dir);
// The file's last-write time as a file time (100 ns since 1601), 0 when unknown.
uint64_t FileWriteTicks(const std::string &path);

// Writes a folder from a description (tools/mkfolder) into `dir` as INBOX.IDX
// and INBOX.IDM; returns the index path.
std::string MakeFolder(const std::string &dir, const std::string &description);

// The plug-in loaded once for the whole test run, started with a Message
// service that records every warning in Warnings().
const PluginApi &Plugin();
struct Warning {
  std::vector<std::string> Items;
  int Flags, ItemsNumber, ButtonsNumber;
};
std::vector<Warning> &Warnings();

// The system message boxes shown while `action` runs, each as "CAPTION: TEXT".
template <typename Action>
std::vector<std::string> BoxesShownBy(Action action);
std::vector<std::string> TakeBoxes();
void StartBoxCapture();

template <typename Action>
std::vector<std::string> BoxesShownBy(Action action) {
  StartBoxCapture();
  action();
  return TakeBoxes();
}

// The old interface's entry points linked into the test program, started as
// Plugin() is, with the same recorders: the file calls they make are this
// program's FileSystem table, which a test may replace.
const PluginApi &LinkedPlugin();

// Opens `index` through OpenFilePlugin with its leading bytes, as the host does.
HANDLE OpenFolder(const std::string &index, const PluginApi &api = Plugin());
