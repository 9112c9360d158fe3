// Recognition of index files, pairing with the data folder file, and reading
// index records field by field.
#include <cstdlib>
#include <cstring>

#include "folder/vessor_folder.h"

namespace {

// Copies a whole text field and adds the terminator the file may lack.
void CopyTextField(const unsigned char *bytes, size_t offset, size_t size, char *out) {
  memcpy(out, bytes + offset, size);
  out[size] = '\0';
}

}  // namespace

bool IsIndexFile(const unsigned char *data, int size) {
  if (data == nullptr || size <= 4) return false;
  // The first word sign-extended: bit 15 set would spread into the high half
  // and fail the mask, as the mail program's own test does.
  const uint32_t word = uint32_t(int32_t(int16_t(uint16_t(data[0] | data[1] << 8))));
  return (word & 0xFFFB9F7Fu) == 0 && (word & RecordFlagWritable) != 0;
}

char *PairedDataPath(const char *index_path) {
  if (index_path == nullptr || index_path[0] == '\0') return nullptr;
  const size_t length = strlen(index_path);
  char *data_path = static_cast<char *>(malloc(length + 1));
  if (data_path == nullptr) return nullptr;
  memcpy(data_path, index_path, length + 1);
  data_path[length - 1] = 'M';
  return data_path;
}

int64_t CountIndexRecords(int64_t file_size) {
  return file_size > 0 ? file_size / int64_t(IndexRecordSize) : 0;
}

void DecodeIndexRecord(const unsigned char *bytes, IndexRecord *record) {
  record->RecordFlags = RecordFlagsOf(bytes);
  record->DataOffset = int32_t(DataOffsetOf(bytes));
  CopyTextField(bytes, DescriptionTextOffset, DescriptionTextSize, record->DescriptionText);
  CopyTextField(bytes, NameTextOffset, NameTextSize, record->NameText);
  CopyTextField(bytes, DateTextOffset, DateTextSize, record->DateText);
  record->MessageSize = int32_t(MessageSizeOf(bytes));
}
