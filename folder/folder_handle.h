// One open folder: its two paths and, once the listing and the export have
// needed them, its two files.
#pragma once

#include <cstdint>

#include "platform/file_system.h"

struct FolderHandle {
  char *IndexPath;             // the path the host offered
  char *DataPath;              // the same path ending in 'M'
  int32_t RecordCount;         // fixed by the first listing
  FileRef IndexFile;           // opened by the first listing
  unsigned char *IndexBuffer;  // a piece of the index as the listing reads it
  size_t BufferHeld, BufferAt; // bytes in the buffer, and the next record's place
  uint64_t IndexAt;            // where in the index file the next piece starts
  int32_t RecordsLeft;         // records of the current listing still to come
  FileRef DataFile;            // opened by the first export
};

// A new handle for the index file at `path`, with no file open yet; null for
// an empty path or when memory runs out. The data folder file is the path
// with its last byte replaced by 'M', as for paths of single-byte letters.
FolderHandle *CreateFolderHandle(const char *path);

// The same with the data folder file's path given: for paths whose last
// letter may take more than one byte.
FolderHandle *CreateFolderHandleOf(const char *index_path, const char *data_path);

// Closes whatever files are open and frees the handle with its paths.
void ReleaseFolderHandle(FolderHandle *folder);
