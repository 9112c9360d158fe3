#include "folder/folder_handle.h"

#include <cstdlib>
#include <cstring>

#include "folder/vessor_folder.h"

namespace {

char *CopyText(const char *text) {
  const size_t size = strlen(text) + 1;
  char *copy = static_cast<char *>(malloc(size));
  if (copy != nullptr) memcpy(copy, text, size);
  return copy;
}

// Takes over `data_path`.
FolderHandle *CreateWithDataPath(const char *index_path, char *data_path) {
  FolderHandle *folder = static_cast<FolderHandle *>(calloc(1, sizeof(FolderHandle)));
  if (folder == nullptr) {
    free(data_path);
    return nullptr;
  }
  folder->IndexFile = NoFile;
  folder->DataFile = NoFile;
  folder->IndexPath = CopyText(index_path);
  folder->DataPath = data_path;
  if (folder->IndexPath == nullptr || folder->DataPath == nullptr) {
    ReleaseFolderHandle(folder);
    return nullptr;
  }
  return folder;
}

}  // namespace

FolderHandle *CreateFolderHandle(const char *path) {
  if (path == nullptr || path[0] == '\0') return nullptr;
  return CreateWithDataPath(path, PairedDataPath(path));
}

FolderHandle *CreateFolderHandleOf(const char *index_path, const char *data_path) {
  if (index_path == nullptr || index_path[0] == '\0' || data_path == nullptr ||
      data_path[0] == '\0')
    return nullptr;
  return CreateWithDataPath(index_path, CopyText(data_path));
}

void ReleaseFolderHandle(FolderHandle *folder) {
  free(folder->IndexPath);
  free(folder->DataPath);
  if (folder->IndexFile != NoFile) FileSystem.Close(folder->IndexFile);
  if (folder->DataFile != NoFile) FileSystem.Close(folder->DataFile);
  free(folder->IndexBuffer);
  free(folder);
}
