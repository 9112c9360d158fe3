#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

// Opens the file at `path` as a binary read stream that denies other programs
// nothing: the mail program may go on writing, renaming or deleting the file
// while the folder is open. Null when the file cannot be opened.
FILE *OpenSharedForReading(const char *path);

// Reads up to `size` bytes at `offset` of the file behind `stream`, without
// moving through the stream or its buffer, so every read sees what the file
// holds now. Returns the number of bytes read; fewer than `size` at the end
// of the file or on an error.
size_t ReadAt(FILE *stream, uint64_t offset, void *buffer, size_t size);
