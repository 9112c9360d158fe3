#include <cstdlib>
#include <cstring>

#include "platform/wide_text.h"
#include "platform/win_types.h"

wchar_t *WideFromUtf8(const char *text) {
  const int size = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
  if (size <= 0) return nullptr;
  wchar_t *wide = static_cast<wchar_t *>(malloc(size_t(size) * sizeof(wchar_t)));
  if (wide != nullptr) MultiByteToWideChar(CP_UTF8, 0, text, -1, wide, size);
  return wide;
}

size_t Utf8OfWide(const wchar_t *text, char *out, size_t out_size) {
  const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (size > 0 && size_t(size) <= out_size)
    WideCharToMultiByte(CP_UTF8, 0, text, -1, out, size, nullptr, nullptr);
  return size > 0 ? size_t(size) : 0;
}

char *Utf8FromWide(const wchar_t *text) {
  const size_t size = Utf8OfWide(text, nullptr, 0);
  char *utf8 = size > 0 ? static_cast<char *>(malloc(size)) : nullptr;
  if (utf8 != nullptr) Utf8OfWide(text, utf8, size);
  return utf8;
}

unsigned SystemCodePage(unsigned code_page) {
  return code_page == CP_ACP ? GetACP() : code_page == CP_OEMCP ? GetOEMCP() : code_page;
}

bool KnowsCodePage(unsigned code_page) { return IsValidCodePage(SystemCodePage(code_page)) != 0; }

size_t DecodeText(unsigned code_page, const char *text, wchar_t *out, size_t out_size) {
  if (out_size == 0) return 0;
  const size_t length = strlen(text);
  const int room = out_size - 1 < 0x7FFFFFFF ? int(out_size - 1) : 0x7FFFFFFF;
  int written = 0;
  if (length > 0) {
    written = MultiByteToWideChar(code_page, 0, text, int(length), out, room);
    if (written == 0) written = MultiByteToWideChar(CP_OEMCP, 0, text, int(length), out, room);
  }
  // A text no code page takes (or too long for `out`): each byte as the
  // letter of its own number, so that nothing with a name is listed nameless.
  if (written == 0 && length > 0) {
    for (; size_t(written) < length && written < room; ++written)
      out[written] = wchar_t(static_cast<unsigned char>(text[written]));
  }
  out[written] = L'\0';
  return size_t(written);
}
