#include "folder/folder_handle.h"

#include <cstdlib>
#include <cstring>

#include "folder/vessor_folder.h"

FolderHandle *CreateFolderHandle(const char *path) {
  if (path == nullptr || path[0] == '\0') return nullptr;
  FolderHandle *folder = static_cast<FolderHandle *>(calloc(1, sizeof(FolderHandle)));
  if (folder == nullptr) return nullptr;
  folder->IndexFile = NoFile;
  folder->DataFile = NoFile;
  const size_t length = strlen(path);
  folder->IndexPath = static_cast<char *>(malloc(length + 1));
  if (folder->IndexPath != nullptr) memcpy(folder->IndexPath, path, length + 1);
  folder->DataPath = PairedDataPath(path);
  if (folder->IndexPath == nullptr || folder->DataPath == nullptr) {
    ReleaseFolderHandle(folder);
    return nullptr;
  }
  return folder;
}

void ReleaseFolderHandle(FolderHandle *folder) {
  free(folder->IndexPath);
  free(folder->DataPath);
  if (folder->IndexFile != NoFile) FileSystem.Close(folder->IndexFile);
  if (folder->DataFile != NoFile) FileSystem.Close(folder->DataFile);
  free(folder->IndexBuffer);
  free(folder);
}
