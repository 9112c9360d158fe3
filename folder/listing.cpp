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

// Both texts end inside their fields, which the entry's buffers hold whole;
// the bound only guards against a change of either.
size_t CopyText(const char *text, char *out, size_t out_size) {
  const size_t length = strnlen(text, out_size - 1);
  memcpy(out, text, length);
  out[length] = '\0';
  return length;
}

}  // namespace

void MakeMessageEntry(IndexRecord *record, MessageEntry *entry) {
  // Whole fields are copied in one piece; only a name that starts blank moves.
  static_assert(sizeof entry->Name == sizeof record->NameText, "the entry holds a whole name");
  static_assert(sizeof entry->Description == sizeof record->DescriptionText,
                "the entry holds a whole description");
  memcpy(entry->Description, record->DescriptionText, sizeof entry->Description);
  entry->DescriptionLength = strlen(entry->Description);
  if (record->NameText[0] != ' ' && record->NameText[0] != '\0') {
    memcpy(entry->Name, record->NameText, sizeof entry->Name);
    entry->NameLength = strlen(entry->Name);
  } else {
    const char *name = record->NameText;
    while (*name == ' ') ++name;
    if (*name == '\0') name = record->DescriptionText;
    entry->NameLength = CopyText(name, entry->Name, sizeof entry->Name);
  }
  // The host takes ".." for the panel's way up, and some of its builds fail
  // on an empty name: such items get the names their files get.
  if (entry->NameLength == 2 && entry->Name[0] == '.' && entry->Name[1] == '.')
    memcpy(entry->Name, "__", 3);
  if (entry->NameLength == 0) {
    memcpy(entry->Name, "_", 2);
    entry->NameLength = 1;
  }
  entry->Size = uint32_t(record->MessageSize);

  memcpy(entry->DateText, record->DateText, sizeof entry->DateText);
  // A date the system cannot convert leaves the time zero.
  const uint32_t packed = DecodeIndexDate(record->DateText);
  entry->Time = FILETIME{};
  DosDateTimeToFileTime(WORD(packed), WORD(packed >> 16), &entry->Time);

  entry->Attributes = 0;
  if (record->RecordFlags & RecordFlagHidden) entry->Attributes = EntryHidden;
  if (!(record->RecordFlags & RecordFlagWritable)) entry->Attributes |= EntryReadOnly;
  entry->DataOffset = uint32_t(record->DataOffset);
}

bool StartListing(FolderHandle *folder) {
  if (!OpenIndexFile(folder)) return false;
  folder->BufferHeld = folder->BufferAt = 0;
  folder->IndexAt = 0;
  folder->RecordsLeft = folder->RecordCount;
  return true;
}

bool NextMessageEntry(FolderHandle *folder, MessageEntry *entry) {
  if (folder->RecordsLeft <= 0) return false;
  if (folder->BufferHeld - folder->BufferAt < IndexRecordSize) {
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
    if (folder->RecordsLeft == 0) return false;
  }
  IndexRecord record;
  DecodeIndexRecord(folder->IndexBuffer + folder->BufferAt, &record);
  folder->BufferAt += IndexRecordSize;
  --folder->RecordsLeft;
  MakeMessageEntry(&record, entry);
  return true;
}
