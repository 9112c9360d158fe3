// The folder's messages as panel items, one per whole index record.
#include "folder/listing.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "platform/read_stream.h"

namespace {

const size_t IndexPieceRecords = 65536 / IndexRecordSize;

// The stream's size in bytes, or -1 when it cannot be told. Leaves the stream
// at its end.
int64_t StreamSize(FILE *stream) {
#ifdef _WIN32
  if (_fseeki64(stream, 0, SEEK_END) != 0) return -1;
  return _ftelli64(stream);
#else
  if (fseeko(stream, 0, SEEK_END) != 0) return -1;
  return ftello(stream);
#endif
}

// Opens the index file and fixes the record count, once per folder.
bool OpenIndexFile(FolderHandle *folder) {
  if (folder->IndexFile != nullptr) return true;
  FILE *stream = OpenSharedForReading(folder->IndexPath);
  if (stream == nullptr) return false;
  // The records come in pieces of about 64 KiB straight into a buffer of the
  // folder's own, which the stream need not copy through one of its own.
  setvbuf(stream, nullptr, _IONBF, 0);
  const int64_t size = StreamSize(stream);
  const int64_t count = CountIndexRecords(size);
  if (size < 0 || count > INT32_MAX) {
    fclose(stream);
    return false;
  }
  folder->IndexBuffer = static_cast<unsigned char *>(malloc(IndexPieceRecords * IndexRecordSize));
  if (folder->IndexBuffer == nullptr) {
    fclose(stream);
    return false;
  }
  folder->IndexFile = stream;
  folder->RecordCount = int32_t(count);
  return true;
}

}  // namespace

void FillPanelItem(IndexRecord *record, PluginPanelItem *item) {
  PanelFindData *find = &item->FindData;

  // Name and description share the name buffer: the name and its zero, then
  // the description and its zero. Both texts end inside their fields, so they
  // take at most 68 of its 260 bytes.
  const char *name = record->NameText;
  while (*name == ' ') ++name;
  if (*name == '\0') name = record->DescriptionText;
  const size_t name_length = strlen(name);
  memcpy(find->cFileName, name, name_length + 1);
  char *description = find->cFileName + name_length + 1;
  memcpy(description, record->DescriptionText, strlen(record->DescriptionText) + 1);
  item->Description = description;

  find->nFileSizeLow = DWORD(record->MessageSize);

  // A date the system cannot convert leaves the times zero. The conversion
  // gives the same time for the same input, so it is made once.
  const uint32_t packed = DecodeIndexDate(record->DateText);
  DosDateTimeToFileTime(WORD(packed), WORD(packed >> 16), &find->ftCreationTime);
  find->ftLastWriteTime = find->ftCreationTime;

  if (record->RecordFlags & RecordFlagHidden) find->dwFileAttributes = FILE_ATTRIBUTE_HIDDEN_BIT;
  if (!(record->RecordFlags & RecordFlagWritable))
    find->dwFileAttributes |= FILE_ATTRIBUTE_READONLY_BIT;

  item->UserData = DWORD_PTR(uint32_t(record->DataOffset));
}

BOOL ListMessages(FolderHandle *folder, PluginPanelItem **items_out, int *count_out) {
  *items_out = nullptr;
  *count_out = 0;
  if (!OpenIndexFile(folder)) return FALSE;
  // The stream keeps no buffer, so every listing reads the file afresh.
  rewind(folder->IndexFile);

  const size_t count = size_t(folder->RecordCount);
  if (count > SIZE_MAX / sizeof(PluginPanelItem)) return FALSE;
  // At least one item, so that an empty folder still gets a block to free.
  PluginPanelItem *items =
      static_cast<PluginPanelItem *>(calloc(count > 0 ? count : 1, sizeof(PluginPanelItem)));
  if (items == nullptr) return FALSE;

  // Whole records only: a piece that ends inside a record ends the listing.
  size_t filled = 0;
  IndexRecord record;
  while (filled < count) {
    const size_t wanted = std::min(IndexPieceRecords, count - filled) * IndexRecordSize;
    const size_t got = fread(folder->IndexBuffer, 1, wanted, folder->IndexFile);
    for (size_t at = 0; at + IndexRecordSize <= got; at += IndexRecordSize) {
      DecodeIndexRecord(folder->IndexBuffer + at, &record);
      FillPanelItem(&record, &items[filled++]);
    }
    if (got < wanted) break;
  }
  *items_out = items;
  *count_out = int(filled);
  return TRUE;
}
