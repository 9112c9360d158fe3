// Reading one message's bytes out of the data folder file.
#include "folder/message_copy.h"

#include <cstdlib>

#include "platform/file_system.h"

namespace {

// One buffer for every copy: messages are read and written in pieces of this
// size, most of them in one.
const size_t CopyBufferSize = 64 * 1024;
char CopyBuffer[CopyBufferSize];

}  // namespace

bool OpenDataFile(FolderHandle *folder) {
  if (folder->DataFile != NoFile) return true;
  folder->DataFile = FileSystem.OpenForReading(folder->DataPath);
  if (folder->DataFile == NoFile) {
    // Found as Windows finds it, where names differ in the case of A-Z.
    char *other = PathInOtherCase(folder->DataPath);
    if (other != nullptr) folder->DataFile = FileSystem.OpenForReading(other);
    free(other);
  }
  return folder->DataFile != NoFile;
}

ExportResult CopyMessage(FolderHandle *folder, uint32_t offset, uint32_t size, MessageSink sink,
                         void *context) {
  // Offsets and sizes are signed in the record: a size of 0 or below is an
  // empty message, a negative offset a place that does not exist.
  if (int32_t(size) <= 0) return ExportWritten;
  if (int32_t(offset) < 0) return ExportCannotRead;
  uint64_t at = offset;
  for (size_t left = size; left > 0;) {
    const size_t wanted = left < CopyBufferSize ? left : CopyBufferSize;
    const size_t got = FileSystem.ReadAt(folder->DataFile, at, CopyBuffer, wanted);
    if (got > 0 && !sink(context, CopyBuffer, got)) return ExportCannotWrite;
    if (got < wanted) return ExportCannotRead;
    left -= got;
    at += got;
  }
  return ExportWritten;
}
