// The folder's messages as entries, one per whole index record.
#include "folder/listing.h"

#include <climits>
#include <cstdlib>
#include <cstring>

namespace {

// The index is read in pieces of whole records, about 64 KiB each.
const size_t IndexPieceSize = 65536 / IndexRecordSize * IndexRecordSize;

// Opens the index file and fixes the record count, once per folder.
bool OpenIndexFile(FolderHandle *folder) {
  if (folder->IndexFile != NoFile) return true;
  const FileRef file = FileSystem.OpenForReading(folder->IndexPath);
  if (file == NoFile) return false;
  const int64_t size = FileSystem.SizeOf(file);
  const int64_t count = CountIndexRecords(size);
  if (size < 0 || count > INT32_MAX) {
    FileSystem.Close(file);
    return false;
  }
  folder->IndexBuffer = static_cast<unsigned char *>(malloc(IndexPieceSize));
  if (folder->IndexBuffer == nullptr) {
    FileSystem.Close(file);
    return false;
  }
  folder->IndexFile = file;
  folder->RecordCount = int32_t(count);
  return true;
}

}  // namespace

void DecodeMessageEntry(const unsigned char *record, MessageEntry *entry) {
  static_assert(sizeof entry->Name == NameTextSize + 1, "the entry holds a whole name");
  static_assert(sizeof entry->Description == DescriptionTextSize + 1,
                "the entry holds a whole description");
  const EntryTexts texts = FindEntryTexts(record);
  memcpy(entry->Name, texts.Name, texts.NameLength);
  entry->Name[texts.NameLength] = '\0';
  entry->NameLength = texts.NameLength;
  memcpy(entry->Description, texts.Description, texts.DescriptionLength);
  entry->Description[texts.DescriptionLength] = '\0';
  entry->DescriptionLength = texts.DescriptionLength;
  entry->Size = MessageSizeOf(record);
  entry->Time = EntryTimeOf(record);
  entry->Attributes = EntryAttributesOf(record);
  entry->DataOffset = DataOffsetOf(record);
}

bool StartListing(FolderHandle *folder) {
  if (!OpenIndexFile(folder)) return false;
  folder->BufferHeld = folder->BufferAt = 0;
  folder->IndexAt = 0;
  folder->RecordsLeft = folder->RecordCount;
  return true;
}

const unsigned char *ReadIndexPiece(FolderHandle *folder) {
  // Whole records only: a piece that ends inside a record ends the listing.
  size_t wanted = size_t(folder->RecordsLeft) * IndexRecordSize;
  if (wanted > IndexPieceSize) wanted = IndexPieceSize;
  folder->BufferHeld =
      FileSystem.ReadAt(folder->IndexFile, folder->IndexAt, folder->IndexBuffer, wanted);
  folder->BufferAt = 0;
  folder->IndexAt += folder->BufferHeld;
  // A short piece is the file's end, or a failed read: nothing after it.
  if (folder->BufferHeld < wanted)
    folder->RecordsLeft = int32_t(folder->BufferHeld / IndexRecordSize);
  if (folder->RecordsLeft == 0) return nullptr;
  folder->BufferAt = IndexRecordSize;
  --folder->RecordsLeft;
  return folder->IndexBuffer;
}

bool NextMessageEntry(FolderHandle *folder, MessageEntry *entry) {
  const unsigned char *record = NextIndexRecord(folder);
  if (record == nullptr) return false;
  DecodeMessageEntry(record, entry);
  return true;
}
