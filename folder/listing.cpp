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

// DecodeMessageEntry, kept in this file so that the listing's loop takes it
// inline, with no call through the library's exported name.
inline void DecodeEntry(const unsigned char *record, MessageEntry *entry) {
  // Whole fields are copied in one piece, each with a zero of our own; only a
  // name that starts blank moves, within the entry.
  static_assert(sizeof entry->Name == NameTextSize + 1, "the entry holds a whole name");
  static_assert(sizeof entry->Description == DescriptionTextSize + 1,
                "the entry holds a whole description");
  memcpy(entry->Description, record + DescriptionTextOffset, DescriptionTextSize);
  entry->Description[DescriptionTextSize] = '\0';
  entry->DescriptionLength = strlen(entry->Description);
  memcpy(entry->Name, record + NameTextOffset, NameTextSize);
  entry->Name[NameTextSize] = '\0';
  if (entry->Name[0] != ' ' && entry->Name[0] != '\0') {
    entry->NameLength = strlen(entry->Name);
  } else {
    const char *name = entry->Name;
    while (*name == ' ') ++name;
    if (*name == '\0') {
      memcpy(entry->Name, entry->Description, entry->DescriptionLength + 1);
      entry->NameLength = entry->DescriptionLength;
    } else {
      entry->NameLength = strlen(name);
      memmove(entry->Name, name, entry->NameLength + 1);
    }
  }
  // The host takes ".." for the panel's way up, and some of its builds fail
  // on an empty name: such items get the names their files get.
  if (entry->NameLength == 2 && entry->Name[0] == '.' && entry->Name[1] == '.')
    memcpy(entry->Name, "__", 3);
  if (entry->NameLength == 0) {
    memcpy(entry->Name, "_", 2);
    entry->NameLength = 1;
  }
  entry->Size = MessageSizeOf(record);

  // The decoder writes into its text. A date the system cannot convert
  // leaves the time zero.
  char date[DateTextSize + 1];
  memcpy(date, record + DateTextOffset, DateTextSize);
  date[DateTextSize] = '\0';
  const uint32_t packed = DecodeIndexDate(date);
  entry->Time = FILETIME{};
  DosDateTimeToFileTime(WORD(packed), WORD(packed >> 16), &entry->Time);

  const uint32_t flags = RecordFlagsOf(record);
  entry->Attributes = 0;
  if (flags & RecordFlagHidden) entry->Attributes = EntryHidden;
  if (!(flags & RecordFlagWritable)) entry->Attributes |= EntryReadOnly;
  entry->DataOffset = DataOffsetOf(record);
}

// NextIndexRecord, kept here for the same reason.
const unsigned char *NextRecord(FolderHandle *folder) {
  if (folder->RecordsLeft <= 0) return nullptr;
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
    if (folder->RecordsLeft == 0) return nullptr;
  }
  const unsigned char *record = folder->IndexBuffer + folder->BufferAt;
  folder->BufferAt += IndexRecordSize;
  --folder->RecordsLeft;
  return record;
}

}  // namespace

void DecodeMessageEntry(const unsigned char *record, MessageEntry *entry) {
  DecodeEntry(record, entry);
}

bool StartListing(FolderHandle *folder) {
  if (!OpenIndexFile(folder)) return false;
  folder->BufferHeld = folder->BufferAt = 0;
  folder->IndexAt = 0;
  folder->RecordsLeft = folder->RecordCount;
  return true;
}

const unsigned char *NextIndexRecord(FolderHandle *folder) { return NextRecord(folder); }

bool NextMessageEntry(FolderHandle *folder, MessageEntry *entry) {
  const unsigned char *record = NextRecord(folder);
  if (record == nullptr) return false;
  DecodeEntry(record, entry);
  return true;
}
