// A growing block of bytes that says when memory runs out instead of ending
// the program: a message may be as large as the index allows.
#pragma once

#include <cstddef>

struct ByteBuffer {
  char *Bytes;
  size_t Size;  // bytes held
  size_t Room;  // bytes allocated
};

// Appends `size` bytes; false (and nothing appended) when memory runs out.
bool AppendBytes(ByteBuffer *buffer, const void *bytes, size_t size);

void FreeBytes(ByteBuffer *buffer);
