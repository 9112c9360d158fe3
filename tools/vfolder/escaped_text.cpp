#include "tools/vfolder/escaped_text.h"

#include <cstdint>
#include <cstdio>

#include "outputs/utf8_text.h"

namespace {

std::string Hex(const char *form, unsigned value) {
  char hex[8];
  snprintf(hex, sizeof hex, form, value);
  return hex;
}

// The escape of a byte below 0x80, or nothing when it stands for itself.
std::string EscapeOf(unsigned char c, bool backslash) {
  switch (c) {
    case '\\': return backslash ? "\\\\" : "";
    case '\t': return "\\t";
    case '\n': return "\\n";
    case '\r': return "\\r";
    default: return c < 0x20 || c == 0x7F ? Hex("\\x%02x", c) : "";
  }
}

// `text` with each byte that is not part of valid UTF-8 written \xHH, each
// C1 control character \u00HH and each other control byte as EscapeOf gives
// it, so that no byte reaches the terminal that it could take for a command.
std::string TerminalText(const std::string &text, bool backslash) {
  std::string out;
  const unsigned char *bytes = reinterpret_cast<const unsigned char *>(text.data());
  for (size_t at = 0; at < text.size();) {
    uint32_t code = 0;
    const size_t length = Utf8Sequence(bytes + at, text.size() - at, &code);
    if (length == 0) {
      out += Hex("\\x%02x", bytes[at++]);
    } else if (length == 1) {
      const std::string escape = EscapeOf(bytes[at], backslash);
      out += escape.empty() ? std::string(1, char(bytes[at])) : escape;
      ++at;
    } else {
      out += code <= 0x9F ? Hex("\\u%04x", code) : text.substr(at, length);
      at += length;
    }
  }
  return out;
}

struct Range {
  uint32_t First, Last;
};

bool InRanges(uint32_t code, const Range *ranges, size_t count) {
  for (size_t i = 0; i < count; ++i)
    if (code >= ranges[i].First && code <= ranges[i].Last) return true;
  return false;
}

const Range Combining[] = {{0x0300, 0x036F}, {0x0483, 0x0489}, {0x0591, 0x05BD}, {0x0610, 0x061A},
                           {0x064B, 0x065F}, {0x200B, 0x200F}, {0x20D0, 0x20FF}, {0xFE00, 0xFE0F},
                           {0xFE20, 0xFE2F}};
const Range Wide[] = {{0x1100, 0x115F},   {0x2E80, 0x303E},   {0x3041, 0x33FF}, {0x3400, 0x4DBF},
                      {0x4E00, 0x9FFF},   {0xA000, 0xA4CF},   {0xAC00, 0xD7A3}, {0xF900, 0xFAFF},
                      {0xFE30, 0xFE4F},   {0xFF00, 0xFF60},   {0xFFE0, 0xFFE6}, {0x1F300, 0x1F64F},
                      {0x1F900, 0x1F9FF}, {0x20000, 0x3FFFD}};

// Each byte below 0x80 as EscapeOf gives it, the others as they are.
std::string EscapedBytes(const char *text, bool backslash) {
  std::string out;
  for (const unsigned char *c = reinterpret_cast<const unsigned char *>(text); *c; ++c) {
    const std::string escape = EscapeOf(*c, backslash);
    out += escape.empty() ? std::string(1, char(*c)) : escape;
  }
  return out;
}

}  // namespace

std::string Escaped(const char *text) { return EscapedBytes(text, true); }

std::string Printable(const char *text) {
#ifdef _WIN32
  // Paths and names are in the code page of the system's "A" calls, and the
  // console takes no byte above 0x7F for a command.
  return EscapedBytes(text, false);
#else
  return TerminalText(text, false);
#endif
}

std::string TableText(const std::string &text) { return TerminalText(text, true); }

size_t DisplayWidth(const std::string &utf8) {
  size_t width = 0;
  const unsigned char *bytes = reinterpret_cast<const unsigned char *>(utf8.data());
  for (size_t at = 0; at < utf8.size();) {
    uint32_t code = 0;
    const size_t length = Utf8Sequence(bytes + at, utf8.size() - at, &code);
    at += length > 0 ? length : 1;
    if (length == 0 || !InRanges(code, Combining, sizeof Combining / sizeof *Combining))
      width += length > 0 && InRanges(code, Wide, sizeof Wide / sizeof *Wide) ? 2 : 1;
  }
  return width;
}

std::string PaddedTo(const std::string &utf8, size_t width) {
  const size_t shown = DisplayWidth(utf8);
  return shown >= width ? utf8 : utf8 + std::string(width - shown, ' ');
}
