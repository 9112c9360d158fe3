#pragma once

#include <cstdint>

// What tells one file from another, whatever path or link leads to it: the
// volume and file number on Windows, the device and inode elsewhere.
struct FileIdentity {
  bool Exists;
  uint64_t Volume;
  uint64_t Index;
};

// True when both name one existing file.
inline bool IsSameFile(const FileIdentity &a, const FileIdentity &b) {
  return a.Exists && b.Exists && a.Volume == b.Volume && a.Index == b.Index;
}
