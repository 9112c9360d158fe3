#include "tools/vfolder/given_headers.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "tools/vfolder/escaped_text.h"
#include "tools/vfolder/mail_dates.h"

namespace {

// Bytes of text in one encoded word: its base64 (48 characters) and the
// word's frame keep a folded line within 78 characters.
const size_t WordBytes = 36;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// The end of the line starting at `at`: its line feed, or `size` when none.
size_t LineEnd(const char *text, size_t size, size_t at) {
  const void *feed = memchr(text + at, '\n', size - at);
  return feed != nullptr ? size_t(static_cast<const char *>(feed) - text) : size;
}

// The field name the line starts with, or an empty one when the line is no
// header field.
std::string FieldName(const char *line, size_t length) {
  size_t end = 0;
  while (end < length && uint8_t(line[end]) > ' ' && uint8_t(line[end]) < 0x7F && line[end] != ':')
    ++end;
  size_t colon = end;
  while (colon < length && IsBlank(line[colon])) ++colon;
  return end > 0 && colon < length && line[colon] == ':' ? std::string(line, end) : std::string();
}

bool IsDateField(const std::string &name) {
  return name.size() == 4 && (name[0] | 0x20) == 'd' && (name[1] | 0x20) == 'a' &&
         (name[2] | 0x20) == 't' && (name[3] | 0x20) == 'e';
}

std::string Base64(const std::string &bytes) {
  static const char Digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (size_t at = 0; at < bytes.size(); at += 3) {
    const size_t left = bytes.size() - at;
    const uint32_t group = uint32_t(uint8_t(bytes[at])) << 16 |
                           (left > 1 ? uint32_t(uint8_t(bytes[at + 1])) << 8 : 0) |
                           (left > 2 ? uint8_t(bytes[at + 2]) : 0);
    out += Digits[group >> 18];
    out += Digits[group >> 12 & 63];
    out += left > 1 ? Digits[group >> 6 & 63] : '=';
    out += left > 2 ? Digits[group & 63] : '=';
  }
  return out;
}

// The text as a header field's value: as it is when it is printable ASCII,
// else encoded words on folded lines, each word whole UTF-8 characters.
std::string HeaderValue(const char *text, const char *line_end) {
  std::string value = text;
  bool plain = true;
  for (char &c : value) {
    if (uint8_t(c) < ' ' || c == 0x7F) c = ' ';  // a control would break the line
    plain = plain && uint8_t(c) < 0x80;
  }
  if (plain) return value;
  const bool utf8 = IsUtf8(value);
  const std::string frame = utf8 ? "=?UTF-8?B?" : "=?UNKNOWN-8BIT?B?";
  std::string out;
  for (size_t at = 0; at < value.size();) {
    size_t end = std::min(value.size(), at + WordBytes);
    // Back to the start of a character, where a word may end.
    while (utf8 && end < value.size() && end > at + 1 && (uint8_t(value[end]) & 0xC0) == 0x80)
      --end;
    if (!out.empty()) out += std::string(line_end) + " ";
    out += frame + Base64(value.substr(at, end - at)) + "?=";
    at = end;
  }
  return out;
}

bool HasDate(const FILETIME &date) { return date.dwLowDateTime != 0 || date.dwHighDateTime != 0; }

}  // namespace

bool DecideHeaders(const char *head, size_t size, bool whole, bool has_date, HeadersGiven *given,
                   bool *crlf) {
  const bool enough = whole || size >= LongestHeadSection;
  size_t end = LineEnd(head, size, 0);
  if (end == size && !enough) return false;
  *crlf = end < size && end > 0 && head[end - 1] == '\r';
  const size_t first_length = end > 0 && head[end - 1] == '\r' ? end - 1 : end;
  if (FieldName(head, first_length).empty()) {
    *given = BlockGiven;
    return true;
  }
  *given = NoHeadersGiven;
  if (!has_date) return true;
  // Date: anywhere in the header section; lines that go on a field start blank.
  for (size_t at = 0;; at = end + 1) {
    if (at >= size && !enough) return false;
    if (at >= size) break;
    end = LineEnd(head, size, at);
    if (end == size && !enough) return false;
    const size_t length = end > at && head[end - 1] == '\r' ? end - at - 1 : end - at;
    if (length == 0) break;
    if (IsDateField(FieldName(head + at, length))) return true;
  }
  *given = DateGiven;
  return true;
}

std::string GivenHeaderText(HeadersGiven given, const char *name, const char *description,
                            const FILETIME &date, bool seen, bool crlf) {
  const char *line_end = crlf ? "\r\n" : "\n";
  std::string text;
  if (given == BlockGiven && description[0] != '\0')
    text += "From: " + HeaderValue(description, line_end) + line_end;
  if (given == BlockGiven) text += "Subject: " + HeaderValue(name, line_end) + line_end;
  if (given != NoHeadersGiven && HasDate(date)) text += "Date: " + HeaderDateOf(date) + line_end;
  if (seen) text += std::string("Status: RO") + line_end + "X-Mozilla-Status: 0001" + line_end;
  if (given == BlockGiven) text += line_end;
  return text;
}

std::string GivenHeadersNote(HeadersGiven given, const char *description, const FILETIME &date) {
  std::string fields;
  if (given == BlockGiven) fields = description[0] != '\0' ? "From, Subject" : "Subject";
  if (given != NoHeadersGiven && HasDate(date)) fields += fields.empty() ? "Date" : ", Date";
  if (fields.empty()) return fields;
  return (fields.find(',') == std::string::npos ? "given header " : "given headers ") + fields;
}
