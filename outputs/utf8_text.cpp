#include "outputs/utf8_text.h"

size_t Utf8Sequence(const unsigned char *text, size_t left, uint32_t *code) {
  const unsigned char lead = text[0];
  const size_t length = lead < 0x80 ? 1 : lead >= 0xC2 && lead <= 0xDF ? 2
                                       : lead >= 0xE0 && lead <= 0xEF   ? 3
                                       : lead >= 0xF0 && lead <= 0xF4   ? 4
                                                                        : 0;
  if (length == 0 || length > left) return 0;
  uint32_t value = length == 1 ? lead : lead & (0x7F >> length);
  for (size_t i = 1; i < length; ++i) {
    if ((text[i] & 0xC0) != 0x80) return 0;
    value = value << 6 | (text[i] & 0x3F);
  }
  static const uint32_t Least[] = {0, 0, 0x80, 0x800, 0x10000};
  if (value < Least[length] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
  *code = value;
  return length;
}

bool IsUtf8(const std::string &text) {
  const unsigned char *bytes = reinterpret_cast<const unsigned char *>(text.data());
  uint32_t code = 0;
  for (size_t at = 0, length = 0; at < text.size(); at += length)
    if ((length = Utf8Sequence(bytes + at, text.size() - at, &code)) == 0) return false;
  return true;
}
