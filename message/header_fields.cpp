// Header field values: folded lines unfolded, RFC 2047 encoded words
// (=?charset?B?...?= and =?charset?Q?...?=) decoded into UTF-8.
#include <cstring>

#include "message/charset_converter.h"
#include "message/mime_fields.h"

namespace {

int Base64Value(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

// A word's bytes; stray characters of base64 are skipped, as in bodies.
std::string WordBytes(char encoding, const std::string &text) {
  std::string bytes;
  if (encoding == 'b' || encoding == 'B') {
    unsigned bits = 0;
    int count = 0;
    for (const char c : text) {
      const int value = Base64Value(c);
      if (value < 0) continue;
      bits = (bits << 6) | unsigned(value);
      count += 6;
      if (count >= 8) {
        count -= 8;
        bytes += char((bits >> count) & 0xFF);
      }
    }
    return bytes;
  }
  return HexEscapesDecoded(text, '=', true);
}

// The encoded word at `at`: its end, charset, encoding and text; false when
// none starts there.
bool EncodedWordAt(const std::string &value, size_t at, size_t *end, std::string *charset,
                   char *encoding, std::string *text) {
  if (value.compare(at, 2, "=?") != 0) return false;
  const size_t mark1 = value.find('?', at + 2);
  if (mark1 == std::string::npos || mark1 == at + 2 || mark1 + 2 >= value.size()) return false;
  if (value[mark1 + 2] != '?') return false;
  const char kind = value[mark1 + 1];
  if (kind != 'b' && kind != 'B' && kind != 'q' && kind != 'Q') return false;
  const size_t close = value.find("?=", mark1 + 3);
  if (close == std::string::npos) return false;
  *charset = value.substr(at + 2, mark1 - at - 2);
  // RFC 2231 lets a language follow the charset: =?utf-8*en?Q?...?=
  const size_t star = charset->find('*');
  if (star != std::string::npos) charset->resize(star);
  for (char &c : *charset)
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  if (charset->find_first_of(" \t") != std::string::npos) return false;
  *encoding = kind;
  *text = value.substr(mark1 + 3, close - mark1 - 3);
  if (text->find_first_of(" \t") != std::string::npos) return false;
  *end = close + 2;
  return true;
}

}  // namespace

bool AppendInUtf8(const std::string &charset, const std::string &bytes, std::string *utf8) {
  CharsetConverter converter;
  if (!OpenCharsetConverter(charset.c_str(), &converter)) return false;
  ConvertToUtf8(&converter, bytes.data(), bytes.size(), utf8, nullptr);
  CloseCharsetConverter(&converter);
  return true;
}

DecodedField DecodeHeaderValue(const std::string &raw) {
  DecodedField field = {std::string(), false};
  // Unfolding takes out the line breaks; the white space after them stays.
  std::string value;
  value.reserve(raw.size());
  for (const char c : raw)
    if (c != '\r' && c != '\n') value += c;
  size_t at = 0;
  size_t pending_space = 0;  // white space after an encoded word, not yet kept
  size_t space_from = 0;
  bool after_word = false;
  while (at < value.size()) {
    size_t end;
    std::string charset, text;
    char encoding;
    if (EncodedWordAt(value, at, &end, &charset, &encoding, &text)) {
      // White space between two encoded words goes.
      if (!after_word && pending_space > 0) field.Text.append(value, space_from, pending_space);
      pending_space = 0;
      if (!AppendInUtf8(charset, WordBytes(encoding, text), &field.Text)) {
        field.Text.append(value, at, end - at);
        field.UnknownCharset = true;
      }
      at = end;
      after_word = true;
      continue;
    }
    if (value[at] == ' ' || value[at] == '\t') {
      if (pending_space == 0) space_from = at;
      ++pending_space;
      ++at;
      continue;
    }
    if (pending_space > 0) field.Text.append(value, space_from, pending_space);
    pending_space = 0;
    after_word = false;
    field.Text += value[at++];
  }
  if (pending_space > 0) field.Text.append(value, space_from, pending_space);
  // The value's own leading and trailing white space is no part of it.
  const size_t first = field.Text.find_first_not_of(" \t");
  if (first == std::string::npos) {
    field.Text.clear();
  } else {
    field.Text.erase(0, first);
    field.Text.erase(field.Text.find_last_not_of(" \t") + 1);
  }
  return field;
}
