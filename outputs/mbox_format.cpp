#include "outputs/mbox_format.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "outputs/mail_dates.h"

namespace {

const char NoSender[] = "MAILER-DAEMON";

bool IsFoldSpace(char c) { return c == ' ' || c == '\t'; }

char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

// The end of the line starting at `at`: the position of its line feed, or `size`.
size_t LineEnd(const char *text, size_t size, size_t at) {
  const void *feed = memchr(text + at, '\n', size - at);
  return feed != nullptr ? size_t(static_cast<const char *>(feed) - text) : size;
}

// The line's length without its CR before the line feed.
size_t TrimmedLength(const char *text, size_t start, size_t end) {
  return end > start && text[end - 1] == '\r' ? end - start - 1 : end - start;
}

// The value of the first From: header, unfolded; false when there is none.
bool FromHeaderValue(const char *message, size_t size, std::string *value) {
  bool in_from = false;
  for (size_t at = 0; at < size;) {
    const size_t end = LineEnd(message, size, at);
    const size_t length = TrimmedLength(message, at, end);
    if (length == 0) break;  // the empty line that ends the headers
    const char *line = message + at;
    if (in_from && IsFoldSpace(line[0])) {
      value->append(line, length);
    } else if (in_from) {
      return true;
    } else if (length >= 4 && AsciiLower(line[0]) == 'f' && AsciiLower(line[1]) == 'r' &&
               AsciiLower(line[2]) == 'o' && AsciiLower(line[3]) == 'm') {
      size_t colon = 4;
      while (colon < length && IsFoldSpace(line[colon])) ++colon;
      if (colon < length && line[colon] == ':') {
        value->assign(line + colon + 1, length - colon - 1);
        in_from = true;
      }
    }
    at = end + 1;
  }
  return in_from;
}

bool IsBlank(char c) { return uint8_t(c) <= ' ' || c == 0x7F; }

// The address with white space dropped, or made '_' in quoted strings.
std::string OneWord(const std::string &address) {
  std::string word;
  bool quoted = false;
  for (size_t i = 0; i < address.size(); ++i) {
    const char c = address[i];
    if (c == '"') quoted = !quoted;
    if (quoted && c == '\\' && i + 1 < address.size() && !IsBlank(address[i + 1])) {
      word += c;
      word += address[++i];
    } else if (!IsBlank(c)) {
      word += c;
    } else if (quoted) {
      word += '_';
    }
  }
  return word;
}

std::string AddressOf(const std::string &value) {
  std::string outside;  // the value without comments
  bool quoted = false;
  int comment_depth = 0;
  for (size_t i = 0; i < value.size(); ++i) {
    const char c = value[i];
    if (c == '\\' && i + 1 < value.size()) {
      if (comment_depth == 0) outside.append(value, i, 2);
      ++i;
    } else if (quoted) {
      outside += c;
      if (c == '"') quoted = false;
    } else if (c == '(') {
      ++comment_depth;
    } else if (c == ')' && comment_depth > 0) {
      --comment_depth;
    } else if (comment_depth > 0) {
      continue;
    } else if (c == '<') {
      // The address runs to the first '>' outside a quoted string.
      std::string address;
      bool in_quote = false;
      for (++i; i < value.size() && (in_quote || value[i] != '>'); ++i) {
        if (value[i] == '"') in_quote = !in_quote;
        address += value[i];
      }
      return OneWord(address);
    } else {
      if (c == '"') quoted = true;
      outside += c;
    }
  }
  // Without angle brackets, only a lone word is taken for the address.
  size_t first = 0, last = outside.size();
  while (first < last && IsBlank(outside[first])) ++first;
  while (last > first && IsBlank(outside[last - 1])) --last;
  const std::string word = outside.substr(first, last - first), joined = OneWord(word);
  return joined.size() == word.size() ? joined : std::string();
}

}  // namespace

std::string MboxSender(const char *message, size_t size) {
  std::string value;
  if (!FromHeaderValue(message, size, &value)) return NoSender;
  const std::string address = AddressOf(value);
  return address.empty() ? NoSender : address;
}

namespace {

// Appends `size` bytes, handing `out` to `drain` (where there is one) at each
// mebibyte it holds.
bool Put(ByteBuffer *out, const char *bytes, size_t size, MboxDrain drain, void *context) {
  const size_t window = 1024 * 1024;
  if (drain == nullptr) return AppendBytes(out, bytes, size);
  while (size > 0) {
    if (out->Size >= window && !drain(context, out)) return false;
    const size_t take = std::min(size, window - std::min(out->Size, window));
    if (take == 0 || !AppendBytes(out, bytes, take)) return false;
    bytes += take;
    size -= take;
  }
  return true;
}

}  // namespace

bool AppendMboxMessage(ByteBuffer *out, const std::string &given, const char *message, size_t size,
                       int64_t seconds, const std::string &envelope, MboxDrain drain,
                       void *context) {
  const size_t held = out->Size;
  // Given lines that end with an empty line are the whole header section.
  const bool block = given.size() >= 2 && given[given.size() - 1] == '\n' &&
                     (given[given.size() - 2] == '\n' ||
                      given.compare(given.size() - std::min<size_t>(4, given.size()),
                                    std::string::npos, "\r\n\r\n") == 0);
  // The envelope's sender stands; its date gives way to the moment every
  // output gives the message.
  std::string sender = envelope.substr(std::min<size_t>(5, envelope.size()));
  sender.resize(size_t(std::find_if(sender.begin(), sender.end(), IsBlank) - sender.begin()));
  if (sender.empty()) sender = MboxSender(given.data(), given.size());
  if (sender == NoSender && !block) sender = MboxSender(message, size);
  const std::string date = AsctimeOf(seconds);
  bool ok = AppendBytes(out, "From ", 5) && AppendBytes(out, sender.data(), sender.size()) &&
            AppendBytes(out, " ", 1) && AppendBytes(out, date.data(), date.size()) &&
            AppendBytes(out, "\n", 1) && AppendBytes(out, given.data(), given.size());
  // The bytes go on in long runs, broken only where a '>' goes in.
  size_t copied = 0;
  for (size_t at = 0; ok && at < size;) {
    size_t quotes = at;
    while (quotes < size && message[quotes] == '>') ++quotes;
    if (size - quotes >= 5 && memcmp(message + quotes, "From ", 5) == 0) {
      ok = Put(out, message + copied, at - copied, drain, context) && AppendBytes(out, ">", 1);
      copied = at;
    }
    const size_t end = LineEnd(message, size, quotes);
    at = end < size ? end + 1 : size;
  }
  ok = ok && Put(out, message + copied, size - copied, drain, context);
  const bool ends_in_feed = size > 0 ? message[size - 1] == '\n' : !given.empty();
  if (ok && !ends_in_feed) ok = AppendBytes(out, "\n", 1);
  ok = ok && AppendBytes(out, "\n", 1);
  if (!ok && drain == nullptr) out->Size = held;
  return ok;
}
