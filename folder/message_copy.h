// Reading messages out of the data folder file: one message's bytes handed,
// piece by piece, to whatever takes them. Writing them to disk is the disk
// writer's (outputs/disk_writer.h).
#pragma once

#include <cstddef>
#include <cstdint>

#include "folder/folder_handle.h"

enum ExportResult {
  ExportWritten,      // every byte read, written, and the file closed
  ExportCannotCreate, // the destination could not be made (or must be kept)
  ExportCannotRead,   // the message is not all in the data folder file
  ExportCannotWrite,  // a write or the close failed
};

// Opens the data folder file, once per folder: only a regular file is
// opened, so a pipe in its place never holds the export up. Where no file has
// the paired name, the one whose name differs from it only in the case of A-Z
// is taken, as Windows would take it. False when it cannot be opened; the
// next call tries again.
bool OpenDataFile(FolderHandle *folder);

// Takes the bytes of one message and passes them on; false when that fails.
typedef bool (*MessageSink)(void *context, const void *bytes, size_t size);

// Hands the `size` bytes of the message at `offset` of the data folder file
// (which must be open) to `sink`, piece by piece. Only bytes read from the
// message's place are handed on: a message that runs past the end of the file
// gives what is there, and an offset or size beyond 2^31 - 1 reads nothing.
// ExportCannotRead when the message is not there whole, ExportCannotWrite
// when the sink fails.
ExportResult CopyMessage(FolderHandle *folder, uint32_t offset, uint32_t size, MessageSink sink,
                         void *context);
