// The message read line by line through a window of bounded size: each line's
// place, and no more of its bytes than the reader asks to keep, however long
// the line is.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "message/message_parts.h"

struct MessageLines {
  const MessageSource *Source;
  std::vector<char> Window;
  uint64_t WindowStart;  // the message's offset of Window[0]
  size_t WindowSize;     // bytes held
  bool Failed;           // the source could not be read
};

struct MessageLine {
  uint64_t Start;       // its first byte
  uint64_t ContentEnd;  // where its line feed (or CR LF) starts
  uint64_t End;         // past its line feed
  std::string Head;     // its first bytes up to the kept length, no line end
};

void StartLines(const MessageSource *source, MessageLines *lines);

// Reads the line at `at`, which ends at a line feed or at `limit`, keeping
// up to `keep` bytes of it. False at `limit` or when the source fails.
bool ReadLine(MessageLines *lines, uint64_t at, uint64_t limit, size_t keep, MessageLine *line);

// Takes bytes a search passed over, in order: `size` bytes from `at`.
typedef void (*PassedBytes)(void *context, uint64_t at, const char *bytes, size_t size);

// Finds the first line from `at` (which starts one) up to `limit` that
// starts with `first`, without taking the lines before it apart: `*start`
// gets its place. `*content_end` gets the ContentEnd of the last line passed
// over (of the last line before `limit` where none starts so); it stays as
// it was where none was passed. `passed`, where given, is handed the bytes
// before that line as they go by. False where none starts so or the source
// fails.
bool FindLineStartingWith(MessageLines *lines, uint64_t at, uint64_t limit, char first,
                          uint64_t *start, uint64_t *content_end, PassedBytes passed = nullptr,
                          void *passed_context = nullptr);
