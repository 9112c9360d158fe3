// The record behind the handle the host carries for one open folder.
#pragma once

#include <cstdint>
#include <cstdio>

struct FolderHandle {
  char *IndexPath;      // the path the host offered
  char *DataPath;       // the same path ending in 'M'
  int32_t RecordCount;  // fixed by the first listing
  FILE *IndexFile;      // opened by the first listing
  unsigned char *IndexBuffer;  // what the listing reads the records into
  FILE *DataFile;       // opened by the first export
};

// A new handle for the index file at `path`, or null when memory runs out.
FolderHandle *CreateFolderHandle(const char *path);

// Closes whatever streams are open and frees the handle with its paths.
void ReleaseFolderHandle(FolderHandle *folder);
