#include "outputs/byte_buffer.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

bool AppendBytes(ByteBuffer *buffer, const void *bytes, size_t size) {
  if (size > SIZE_MAX - buffer->Size) return false;
  if (buffer->Size + size > buffer->Room) {
    size_t room = buffer->Room < 4096 ? 4096 : buffer->Room;
    while (room < buffer->Size + size) room = room <= SIZE_MAX / 2 ? room * 2 : SIZE_MAX;
    char *grown = static_cast<char *>(realloc(buffer->Bytes, room));
    if (grown == nullptr) return false;
    buffer->Bytes = grown;
    buffer->Room = room;
  }
  if (size > 0) memcpy(buffer->Bytes + buffer->Size, bytes, size);
  buffer->Size += size;
  return true;
}

void FreeBytes(ByteBuffer *buffer) {
  free(buffer->Bytes);
  *buffer = ByteBuffer{};
}
