#include "tools/vfolder/escaped_text.h"

#include <cstdio>

namespace {

std::string EscapedText(const char *text, bool backslash) {
  std::string out;
  for (const unsigned char *c = reinterpret_cast<const unsigned char *>(text); *c; ++c) {
    switch (*c) {
      case '\\': out += backslash ? "\\\\" : "\\"; break;
      case '\t': out += "\\t"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      default:
        if (*c < 0x20 || *c == 0x7F) {
          char hex[5];
          snprintf(hex, sizeof hex, "\\x%02x", *c);
          out += hex;
        } else {
          out += char(*c);
        }
    }
  }
  return out;
}

}  // namespace

std::string Escaped(const char *text) { return EscapedText(text, true); }

std::string Printable(const char *text) { return EscapedText(text, false); }
