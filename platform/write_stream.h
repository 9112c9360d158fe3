#pragma once

#include <cstdio>

#include "host/win_types.h"
#include "platform/file_identity.h"

// Creates the file at `path` as a binary write stream that other programs may
// read, with `buffer` (of `buffer_size` bytes) as its buffer. The file is made
// new where there is none; a regular file already there is emptied and
// reused, unless it is one of the `keep_count` files in `keep` (compared on
// the open file, so links lead to no other answer), which stays as it was.
// One look-up of the name where the file is new. Null when the file cannot be
// created or must be kept.
FILE *CreateForWriting(const char *path, const FileIdentity *keep, int keep_count, char *buffer,
                       size_t buffer_size);

// Flushes `stream` and gives its file the last-write time `time` (and the
// creation time, where the system keeps one). False when either fails.
bool FlushWithFileTime(FILE *stream, const FILETIME &time);
