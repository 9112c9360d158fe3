// Copying messages out of the data folder file into files named after them.
#include "folder/export.h"

#include <cstdlib>
#include <cstring>

#include "host/host_services.h"
#include "platform/file_identity.h"
#include "platform/read_stream.h"

namespace {

enum CopyResult { Copied, ReadFailed, WriteFailed };

const size_t CopyBufferSize = 1024;

// A switch rather than a search of the character list: this runs for every
// character of every exported name.
bool IsForbiddenInName(char c) {
  switch (c) {
    case ' ':
    case '"':
    case '*':
    case '/':
    case ':':
    case '<':
    case '>':
    case '?':
    case '\\':
    case '|': return true;
    default: return c >= 0x01 && c <= 0x1F;
  }
}

char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c; }

// True when the name's part before its first dot is one that Windows takes for
// a device (CON, PRN, AUX, NUL, COM1-COM9, LPT1-LPT9), in any letter case.
bool IsDeviceStem(const char *name, size_t stem_length) {
  char stem[5] = {};
  if (stem_length < 3 || stem_length > 4) return false;
  for (size_t i = 0; i < stem_length; ++i) stem[i] = AsciiUpper(name[i]);
  if (stem_length == 3)
    return !strcmp(stem, "CON") || !strcmp(stem, "PRN") || !strcmp(stem, "AUX") ||
           !strcmp(stem, "NUL");
  return (!strncmp(stem, "COM", 3) || !strncmp(stem, "LPT", 3)) && stem[3] >= '1' && stem[3] <= '9';
}

// Copies `size` bytes from `offset` of the data folder file to `out`. Only bytes
// that were read from the message's place are written. A negative offset is
// never handed to a seek: some C runtimes end the process on one.
CopyResult CopyMessage(FILE *data, int32_t offset, int32_t size, FILE *out) {
  if (size <= 0) return Copied;
  if (offset < 0) return ReadFailed;
  clearerr(data);
  if (fseek(data, long(offset), SEEK_SET) != 0) return ReadFailed;
  char buffer[CopyBufferSize];
  for (size_t left = size_t(size); left > 0;) {
    const size_t wanted = left < CopyBufferSize ? left : CopyBufferSize;
    const size_t got = fread(buffer, 1, wanted, data);
    if (got > 0 && fwrite(buffer, 1, got, out) != got) return WriteFailed;
    if (got < wanted) return ReadFailed;
    left -= got;
  }
  return Copied;
}

// Tells the user that the destination for this item cannot be created; the
// caption is the whole intended path, even one too long for a path buffer.
void ReportCannotCreate(const char *dest_dir, const char *name, size_t path_length) {
  char *path = static_cast<char *>(malloc(path_length + 1));
  if (path != nullptr) BuildExportPath(dest_dir, name, path, path_length + 1);
  MessageBoxA(nullptr, "Cannot create file", path != nullptr ? path : dest_dir, MB_OK);
  free(path);
}

// The folder's own two files, which no export may overwrite.
struct FolderFiles {
  FileIdentity Index, Data;
};

void ExportMessage(FILE *data, const FolderFiles &own, const PluginPanelItem *item,
                   const char *dest_dir) {
  // The host's name buffer ends at its size, whether or not it holds a zero.
  char name[MAX_PATH + 1];
  memcpy(name, item->FindData.cFileName, MAX_PATH);
  name[MAX_PATH] = '\0';

  char path[MAX_PATH];
  const size_t path_length = BuildExportPath(dest_dir, name, path, sizeof path);
  // Never a file under a cut-off name, never one at the root for want of a
  // destination, and never one of the folder's own files.
  bool refused = path_length >= sizeof path || dest_dir[0] == '\0';
  if (!refused) {
    const FileIdentity target = IdentifyFile(path);
    refused = IsSameFile(target, own.Index) || IsSameFile(target, own.Data);
  }
  if (refused) {
    ReportCannotCreate(dest_dir, name, path_length);
    return;
  }

  FILE *out = fopen(path, "wb");
  if (out == nullptr) {
    MessageBoxA(nullptr, "Cannot create file", path, MB_OK);
    return;
  }
  // A buffer of our own spares the C library asking the file system for one.
  static char out_buffer[4096];
  setvbuf(out, out_buffer, _IOFBF, sizeof out_buffer);
  const int32_t offset = int32_t(uint32_t(item->UserData));
  const int32_t size = int32_t(item->FindData.nFileSizeLow);
  CopyResult result = CopyMessage(data, offset, size, out);
  if (fclose(out) != 0 && result == Copied) result = WriteFailed;
  if (result == ReadFailed) MessageBoxA(nullptr, "Cannot read message", path, MB_OK);
  if (result == WriteFailed) MessageBoxA(nullptr, "Cannot write file", path, MB_OK);
}

}  // namespace

size_t BuildExportPath(const char *dest_dir, const char *name, char *out, size_t out_size) {
  size_t length = 0;
  auto append = [&](char c) {
    if (length + 1 < out_size) out[length] = c;
    ++length;
  };
  for (const char *c = dest_dir; *c != '\0'; ++c) append(*c);
  append(PATH_SEPARATOR);
  const size_t stem_length = strcspn(name, ".");
  for (size_t i = 0; name[i] != '\0'; ++i) {
    append(IsForbiddenInName(name[i]) ? '_' : name[i]);
    if (i + 1 == stem_length && IsDeviceStem(name, stem_length)) append('_');
  }
  if (out_size > 0) out[length < out_size ? length : out_size - 1] = '\0';
  return length;
}

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
  // Each export reads what the file holds now, not what an earlier one left
  // in the stream's buffer; within one export, messages that lie close
  // together are then served from one buffered read.
  fflush(folder->DataFile);
  const FolderFiles own = {IdentifyFile(folder->IndexPath), IdentifyFile(folder->DataPath)};
  for (int i = 0; i < count; ++i) ExportMessage(folder->DataFile, own, &items[i], dest_dir);
  return TRUE;
}
