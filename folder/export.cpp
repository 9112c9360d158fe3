// Copying messages out of the data folder file into files named after them.
#include "folder/export.h"

#include <cstdlib>
#include <cstring>

#include "folder/export_name.h"
#include "host/host_services.h"
#include "platform/file_identity.h"
#include "platform/read_stream.h"
#include "platform/write_stream.h"

namespace {

enum CopyResult { Copied, ReadFailed, WriteFailed };

const size_t CopyBufferSize = 1024;

// Copies `size` bytes from `offset` of the data folder file to `out`. Only bytes
// that were read from the message's place are written, and a negative offset
// reads nothing.
CopyResult CopyMessage(FILE *data, int32_t offset, int32_t size, FILE *out) {
  if (size <= 0) return Copied;
  if (offset < 0) return ReadFailed;
  char buffer[CopyBufferSize];
  uint64_t at = uint64_t(offset);
  for (size_t left = size_t(size); left > 0;) {
    const size_t wanted = left < CopyBufferSize ? left : CopyBufferSize;
    const size_t got = ReadAt(data, at, buffer, wanted);
    if (got > 0 && fwrite(buffer, 1, got, out) != got) return WriteFailed;
    if (got < wanted) return ReadFailed;
    left -= got;
    at += got;
  }
  return Copied;
}

// Tells the user that the destination for this item cannot be created; the
// caption is the whole intended path, even one too long for a path buffer.
void ReportCannotCreate(const char *dest_dir, const char *file_name, size_t path_length) {
  char *path = static_cast<char *>(malloc(path_length + 1));
  if (path != nullptr) JoinExportPath(dest_dir, file_name, path, path_length + 1);
  MessageBoxA(nullptr, "Cannot create file", path != nullptr ? path : dest_dir, MB_OK);
  free(path);
}

bool IsZero(const FILETIME &time) { return time.dwLowDateTime == 0 && time.dwHighDateTime == 0; }

void ExportMessage(FILE *data, const FileIdentity *own, const PluginPanelItem *item,
                   const char *file_name, const char *dest_dir) {
  char path[MAX_PATH];
  const size_t path_length = JoinExportPath(dest_dir, file_name, path, sizeof path);
  // Never a file under a cut-off name, never one at the root for want of a
  // destination, and never one of the folder's own files.
  FILE *out = nullptr;
  if (path_length < sizeof path && dest_dir[0] != '\0') {
    // A buffer of our own spares the C library asking the file system for
    // one, and takes most messages in one write.
    static char out_buffer[64 * 1024];
    out = CreateForWriting(path, own, 2, out_buffer, sizeof out_buffer);
  }
  if (out == nullptr) {
    ReportCannotCreate(dest_dir, file_name, path_length);
    return;
  }
  const int32_t offset = int32_t(uint32_t(item->UserData));
  const int32_t size = int32_t(item->FindData.nFileSizeLow);
  CopyResult result = CopyMessage(data, offset, size, out);
  // The message's date on the file, so that exported messages sort by date.
  // A time that could not be set loses no message; the file keeps its own.
  const FILETIME &date = item->FindData.ftLastWriteTime;
  if (result == Copied && !IsZero(date)) FlushWithFileTime(out, date);
  if (fclose(out) != 0 && result == Copied) result = WriteFailed;
  if (result == ReadFailed) MessageBoxA(nullptr, "Cannot read message", path, MB_OK);
  if (result == WriteFailed) MessageBoxA(nullptr, "Cannot write file", path, MB_OK);
}

}  // namespace

BOOL ExportMessages(FolderHandle *folder, const PluginPanelItem *items, int count,
                    const char *dest_dir) {
  if (dest_dir == nullptr) dest_dir = "";
  if (folder->DataFile == nullptr) {
    folder->DataFile = OpenSharedForReading(folder->DataPath);
    if (folder->DataFile == nullptr) {
      ShowWarning("Unable to open Data Folder File", folder->DataPath);
      return FALSE;
    }
  }
  if (count <= 0) return TRUE;
  ExportNames names;
  if (!MakeExportNames(items, count, &names)) {
    // Out of memory before any file is made: each message says so.
    for (int i = 0; i < count; ++i) MessageBoxA(nullptr, "Cannot create file", dest_dir, MB_OK);
    return TRUE;
  }
  const FileIdentity own[2] = {IdentifyFile(folder->IndexPath), IdentifyFile(folder->DataPath)};
  for (int i = 0; i < count; ++i)
    ExportMessage(folder->DataFile, own, &items[i], ExportNameOf(&names, i), dest_dir);
  FreeExportNames(&names);
  return TRUE;
}
