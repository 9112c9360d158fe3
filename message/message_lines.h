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
