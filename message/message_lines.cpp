#include "message/message_lines.h"

#include <cstring>

namespace {

const size_t WindowBytes = 64 * 1024;
const size_t BackWindowBytes = 4 * 1024;

// Makes the window hold the byte at `at`, if the message has it.
bool Hold(MessageLines *lines, uint64_t at) {
  if (at >= lines->WindowStart && at < lines->WindowStart + lines->WindowSize) return true;
  if (at >= lines->Source->Size) return false;
  // Reading on from the window's end takes a whole window; going back (to a
  // part's start, to read the part itself) a small one first, so that a
  // message of many small parts is not read a window per part.
  size_t want = at == lines->WindowStart + lines->WindowSize ? WindowBytes : BackWindowBytes;
  if (lines->Source->Size - at < want) want = size_t(lines->Source->Size - at);
  const int64_t got = lines->Source->ReadAt(lines->Source->Context, at, lines->Window.data(), want);
  lines->WindowStart = at;
  lines->WindowSize = got > 0 ? size_t(got) : 0;
  if (got < 0) lines->Failed = true;
  return lines->WindowSize > 0;
}

}  // namespace

void StartLines(const MessageSource *source, MessageLines *lines) {
  lines->Source = source;
  lines->Window.assign(WindowBytes, '\0');
  lines->WindowStart = 0;
  lines->WindowSize = 0;
  lines->Failed = false;
}

bool ReadLine(MessageLines *lines, uint64_t at, uint64_t limit, size_t keep, MessageLine *line) {
  if (limit > lines->Source->Size) limit = lines->Source->Size;
  if (at >= limit) return false;
  line->Start = at;
  line->Head.clear();
  uint64_t position = at;
  while (position < limit) {
    if (!Hold(lines, position)) {
      // The message is shorter than it said: what was read is the last line.
      limit = position;
      break;
    }
    const char *from = lines->Window.data() + (position - lines->WindowStart);
    size_t span = size_t(lines->WindowStart + lines->WindowSize - position);
    if (span > limit - position) span = size_t(limit - position);
    const char *feed = static_cast<const char *>(memchr(from, '\n', span));
    const size_t taken = feed != nullptr ? size_t(feed - from) : span;
    if (line->Head.size() < keep)
      line->Head.append(from, taken < keep - line->Head.size() ? taken : keep - line->Head.size());
    position += taken;
    if (feed != nullptr) {
      line->ContentEnd = position;
      line->End = position + 1;
      // CR LF: the CR belongs to the line's end.
      if (position > at) {
        char before = 0;
        if (position - 1 >= lines->WindowStart) {
          before = lines->Window[size_t(position - 1 - lines->WindowStart)];
        } else if (Hold(lines, position - 1)) {
          before = lines->Window[size_t(position - 1 - lines->WindowStart)];
        }
        if (before == '\r') {
          --line->ContentEnd;
          if (line->Head.size() > size_t(line->ContentEnd - at)) line->Head.pop_back();
        }
      }
      return true;
    }
  }
  line->ContentEnd = line->End = position;
  return position > at;
}

bool FindLineStartingWith(MessageLines *lines, uint64_t at, uint64_t limit, char first,
                          uint64_t *start, uint64_t *content_end, PassedBytes passed,
                          void *passed_context) {
  if (limit > lines->Source->Size) limit = lines->Source->Size;
  // The two bytes before `position`; -1 for those before `at`, where a line starts.
  int before1 = -1, before2 = -1;
  uint64_t position = at;
  while (position < limit && Hold(lines, position)) {
    const char *window = lines->Window.data() + (position - lines->WindowStart);
    size_t span = size_t(lines->WindowStart + lines->WindowSize - position);
    if (span > limit - position) span = size_t(limit - position);
    // Only the bytes that could start the line are looked at one by one: in a
    // body of base64 there are none.
    for (const char *found = window;
         (found = static_cast<const char *>(memchr(found, first, span - size_t(found - window)))) !=
         nullptr;
         ++found) {
      const size_t k = size_t(found - window);
      const int b1 = k >= 1 ? static_cast<unsigned char>(window[k - 1]) : before1;
      if (b1 != '\n' && b1 != -1) continue;
      if (passed != nullptr && k > 0) passed(passed_context, position, window, k);
      *start = position + k;
      if (b1 == '\n') {
        const int b2 = k >= 2 ? static_cast<unsigned char>(window[k - 2]) : k == 1 ? before1 : before2;
        *content_end = *start - 1 - (b2 == '\r' ? 1 : 0);
      }
      return true;
    }
    if (passed != nullptr) passed(passed_context, position, window, span);
    before2 = span >= 2 ? static_cast<unsigned char>(window[span - 2]) : before1;
    before1 = static_cast<unsigned char>(window[span - 1]);
    position += span;
  }
  // The last line passed over ends where the bytes end, or at its line feed.
  if (position > at)
    *content_end = before1 == '\n' ? position - 1 - (before2 == '\r' ? 1 : 0) : position;
  return false;
}
