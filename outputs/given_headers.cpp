#include "outputs/given_headers.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "outputs/utf8_text.h"

namespace {

// Bytes of text in one encoded word: its base64 (48 characters) and the
// word's frame keep a folded line within 78 characters.
const size_t WordBytes = 36;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// The end of the line starting at `at`: its line end `eol`, or `size` when none.
size_t LineEnd(const char *text, size_t size, size_t at, char eol) {
  const void *end = memchr(text + at, eol, size - at);
  return end != nullptr ? size_t(static_cast<const char *>(end) - text) : size;
}

// The line's length without a CR before its line feed.
size_t LineLength(const char *text, size_t at, size_t end, char eol) {
  return eol == '\n' && end > at && text[end - 1] == '\r' ? end - at - 1 : end - at;
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

bool HasEightBits(const char *text) {
  for (; *text != '\0'; ++text)
    if (uint8_t(*text) > 0x7F) return true;
  return false;
}

// Whether the message's lines end in a lone CR: its first line does, and no
// line feed comes before the empty line that ends its header section (or,
// where that is not in sight, at all). False in `*known` when the bytes end
// before that is known.
bool EndsInLoneCr(const char *head, size_t size, bool enough, bool *known) {
  *known = true;
  size_t first = 0;
  while (first < size && head[first] != '\r' && head[first] != '\n') ++first;
  if (first == size || head[first] == '\n') {
    *known = first < size || enough;
    return false;
  }
  if (first + 1 == size && !enough) *known = false;
  if (first + 1 == size || head[first + 1] == '\n') return false;
  for (size_t at = 0; at < size; ++at) {
    if (head[at] == '\n') return false;
    if (head[at] == '\r' && (at == 0 || head[at - 1] == '\r')) return true;
  }
  *known = enough;
  return true;
}

}  // namespace

bool DecideHeaders(const char *head, size_t size, bool whole, bool has_date, MessageHead *decided) {
  const bool enough = whole || size >= LongestHeadSection;
  bool known = false;
  const bool lone_cr = EndsInLoneCr(head, size, enough, &known);
  if (!known) return false;
  const char eol = lone_cr ? '\r' : '\n';
  *decided = {BlockGiven, lone_cr, lone_cr, 0};
  size_t end = LineEnd(head, size, 0, eol);
  if (end == size && !enough) return false;
  // An envelope line before a header section: the headers start after it.
  size_t start = 0;
  if (size >= 5 && memcmp(head, "From ", 5) == 0 && end < size) {
    const size_t next = LineEnd(head, size, end + 1, eol);
    if (next == size && !enough) return false;
    if (!FieldName(head + end + 1, LineLength(head, end + 1, next, eol)).empty()) {
      decided->EnvelopeSize = start = end + 1;
      end = next;
    }
  }
  if (!lone_cr) decided->Crlf = end < size && end > start && head[end - 1] == '\r';
  if (FieldName(head + start, LineLength(head, start, end, eol)).empty()) return true;
  decided->Given = NoHeadersGiven;
  if (!has_date) return true;
  // Date: anywhere in the header section; lines that go on a field start blank.
  for (size_t at = start;; at = end + 1) {
    if (at >= size && !enough) return false;
    if (at >= size) break;
    end = LineEnd(head, size, at, eol);
    if (end == size && !enough) return false;
    const size_t length = LineLength(head, at, end, eol);
    if (length == 0) break;
    if (IsDateField(FieldName(head + at, length))) return true;
  }
  decided->Given = DateGiven;
  return true;
}

DateField FindDateField(const char *head, size_t size, bool whole, bool lone_cr,
                        std::string *value) {
  const bool enough = whole || size >= LongestHeadSection;
  const char eol = lone_cr ? '\r' : '\n';
  bool in_date = false;
  for (size_t at = 0;;) {
    if (at >= size) return !enough ? DateFieldNeedsMore : in_date ? DateFieldFound : NoDateField;
    const size_t end = LineEnd(head, size, at, eol);
    if (end == size && !enough) return DateFieldNeedsMore;
    const size_t length = LineLength(head, at, end, eol);
    const bool goes_on = length > 0 && IsBlank(head[at]);
    if (in_date && !goes_on) return DateFieldFound;
    if (length == 0) return NoDateField;
    if (in_date) {
      value->append(head + at, length);
    } else if (!goes_on && IsDateField(FieldName(head + at, length))) {
      const size_t colon = size_t(static_cast<const char *>(memchr(head + at, ':', length)) - head);
      value->assign(head + colon + 1, at + length - colon - 1);
      in_date = true;
    }
    at = end + 1;
  }
}

std::string GivenHeaderText(HeadersGiven given, const char *name, const char *description,
                            const char *date, bool seen, bool crlf) {
  const char *line_end = crlf ? "\r\n" : "\n";
  // Appended in place: this runs for every message.
  std::string text;
  text.reserve(128);
  if (given == BlockGiven && description[0] != '\0')
    text.append("From: ").append(HeaderValue(description, line_end)).append(line_end);
  if (given == BlockGiven)
    text.append("Subject: ").append(HeaderValue(name, line_end)).append(line_end);
  if (given != NoHeadersGiven && date[0] != '\0')
    text.append("Date: ").append(date).append(line_end);
  if (seen)
    text.append("Status: RO").append(line_end).append("X-Mozilla-Status: 0001").append(line_end);
  if (given == BlockGiven) text += line_end;
  return text;
}

bool GivesEightBitText(HeadersGiven given, const char *name, const char *description) {
  return given == BlockGiven && (HasEightBits(name) || HasEightBits(description));
}

bool AppendCrLfEnds(ByteBuffer *out, const char *bytes, size_t size, bool *after_cr) {
  const size_t held = out->Size;
  bool ok = !*after_cr || (size > 0 && bytes[0] == '\n') || AppendBytes(out, "\n", 1);
  size_t copied = 0;
  for (size_t at = 0; ok && at + 1 < size; ++at) {
    if (bytes[at] != '\r' || bytes[at + 1] == '\n') continue;
    ok = AppendBytes(out, bytes + copied, at + 1 - copied) && AppendBytes(out, "\n", 1);
    copied = at + 1;
  }
  ok = ok && AppendBytes(out, bytes + copied, size - copied);
  if (!ok) {
    out->Size = held;
    return false;
  }
  *after_cr = size > 0 && bytes[size - 1] == '\r';
  return true;
}

std::string GivenHeadersNote(HeadersGiven given, const char *description, const char *date) {
  std::string fields;
  if (given == BlockGiven) fields = description[0] != '\0' ? "From, Subject" : "Subject";
  if (given != NoHeadersGiven && date[0] != '\0') fields += fields.empty() ? "Date" : ", Date";
  if (fields.empty()) return fields;
  return (fields.find(',') == std::string::npos ? "given header " : "given headers ") + fields;
}
