// Content-Type and Content-Disposition values and their parameters: quoted
// strings, RFC 2231 continuations (name*0=, name*1*=) and charset'language'
// percent-encoding, RFC 2047 words inside quoted values.
#include <algorithm>
#include <cstdlib>

#include "message/mime_fields.h"

std::string Lower(std::string text) {
  for (char &c : text)
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  return text;
}

std::string Trimmed(const std::string &text) {
  const size_t first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return std::string();
  return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::string HexEscapesDecoded(const std::string &text, char mark, bool underscore_blank) {
  std::string bytes;
  for (size_t i = 0; i < text.size(); ++i) {
    if (underscore_blank && text[i] == '_') {
      bytes += ' ';
    } else if (text[i] == mark && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 &&
               HexValue(text[i + 2]) >= 0) {
      bytes += char(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
      i += 2;
    } else {
      bytes += text[i];
    }
  }
  return bytes;
}

namespace {

// One piece of a parameter as the field gives it.
struct RawParameter {
  std::string Name;  // lower case, without its section and star
  int Section;       // -1 for none
  bool Encoded;      // it had a trailing star
  std::string Value;
  bool Quoted;
};

// Reads the value at `at` up to the next ';' outside quotes.
std::string ReadValue(const std::string &raw, size_t *at, bool *quoted) {
  std::string value;
  *quoted = false;
  size_t i = *at;
  while (i < raw.size() && (raw[i] == ' ' || raw[i] == '\t' || raw[i] == '\r' || raw[i] == '\n'))
    ++i;
  if (i < raw.size() && raw[i] == '"') {
    *quoted = true;
    ++i;
    while (i < raw.size() && raw[i] != '"') {
      if (raw[i] == '\\' && i + 1 < raw.size()) ++i;
      if (raw[i] != '\r' && raw[i] != '\n') value += raw[i];
      ++i;
    }
    if (i < raw.size()) ++i;
    while (i < raw.size() && raw[i] != ';') ++i;
  } else {
    while (i < raw.size() && raw[i] != ';') value += raw[i++];
    value = Trimmed(value);
  }
  *at = i;
  return value;
}

}  // namespace

MimeField ParseMimeField(const std::string &raw) {
  MimeField field;
  size_t at = raw.find(';');
  field.Value = Lower(Trimmed(raw.substr(0, at)));
  std::vector<RawParameter> pieces;
  while (at != std::string::npos && at < raw.size()) {
    ++at;  // the ';'
    const size_t equals = raw.find_first_of("=;", at);
    if (equals == std::string::npos) break;
    if (raw[equals] == ';') {
      at = equals;
      continue;
    }
    RawParameter piece = {Lower(Trimmed(raw.substr(at, equals - at))), -1, false, "", false};
    at = equals + 1;
    piece.Value = ReadValue(raw, &at, &piece.Quoted);
    if (!piece.Name.empty() && piece.Name.back() == '*') {
      piece.Encoded = true;
      piece.Name.pop_back();
    }
    const size_t star = piece.Name.rfind('*');
    if (star != std::string::npos && star + 1 < piece.Name.size() &&
        piece.Name.find_first_not_of("0123456789", star + 1) == std::string::npos &&
        piece.Name.size() - star <= 5) {
      piece.Section = atoi(piece.Name.c_str() + star + 1);
      piece.Name.resize(star);
    }
    if (!piece.Name.empty()) pieces.push_back(piece);
  }
  // Each name once, its sections in order; the first whole value wins.
  for (size_t i = 0; i < pieces.size(); ++i) {
    const std::string &name = pieces[i].Name;
    bool seen = false;
    for (const MimeParameter &done : field.Parameters) seen = seen || done.Name == name;
    if (seen) continue;
    std::vector<const RawParameter *> sections;
    for (size_t j = i; j < pieces.size(); ++j)
      if (pieces[j].Name == name) sections.push_back(&pieces[j]);
    std::stable_sort(sections.begin(), sections.end(),
                     [](const RawParameter *a, const RawParameter *b) {
                       return a->Section < b->Section;
                     });
    std::string charset;
    std::string bytes;
    std::string encoded;  // encoded sections in a row, decoded together: senders
                          // split an escape between two
    bool any_encoded = false;
    for (size_t k = 0; k < sections.size(); ++k) {
      const RawParameter &piece = *sections[k];
      if (k > 0 && (piece.Section < 0 || piece.Section == sections[k - 1]->Section)) continue;
      std::string value = piece.Value;
      if (piece.Encoded) {
        if (k == 0) {
          // charset'language'text
          const size_t quote1 = value.find('\'');
          const size_t quote2 =
              quote1 == std::string::npos ? std::string::npos : value.find('\'', quote1 + 1);
          if (quote2 != std::string::npos) {
            charset = Lower(value.substr(0, quote1));
            value = value.substr(quote2 + 1);
          }
        }
        encoded += value;
        any_encoded = true;
      } else {
        bytes += HexEscapesDecoded(encoded, '%', false);
        encoded.clear();
        bytes += value;
      }
      if (sections[0]->Section < 0) break;
    }
    bytes += HexEscapesDecoded(encoded, '%', false);
    MimeParameter parameter = {name, std::string()};
    const bool converted =
        any_encoded && !charset.empty() && AppendInUtf8(charset, bytes, &parameter.Value);
    // Mail programs put RFC 2047 words in quoted names, against the rules.
    if (!converted)
      parameter.Value = bytes.find("=?") != std::string::npos ? DecodeHeaderValue(bytes).Text
                                                               : bytes;
    field.Parameters.push_back(parameter);
  }
  return field;
}

const std::string *ParameterOf(const MimeField &field, const char *name) {
  for (const MimeParameter &parameter : field.Parameters)
    if (parameter.Name == name) return &parameter.Value;
  return nullptr;
}
