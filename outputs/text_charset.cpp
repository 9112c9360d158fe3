#include "outputs/text_charset.h"

#include <cstdlib>
#include <cstring>

#include "message/folder_charset.h"
#include "platform/wide_text.h"

#ifdef _WIN32
#include <io.h>

#include "platform/win_types.h"
#endif

#ifdef _WIN32

namespace {

std::string Utf8Of(const wchar_t *wide, int length) {
  const int size = WideCharToMultiByte(CP_UTF8, 0, wide, length, nullptr, 0, nullptr, nullptr);
  std::string text(size_t(size > 0 ? size : 0), '\0');
  if (size > 0) WideCharToMultiByte(CP_UTF8, 0, wide, length, &text[0], size, nullptr, nullptr);
  return text;
}

std::string Utf8From(unsigned code_page, const char *text) {
  const int length = int(strlen(text));
  if (length == 0) return std::string();
  const int wide_size = MultiByteToWideChar(code_page, 0, text, length, nullptr, 0);
  if (wide_size <= 0) return text;
  std::wstring wide(size_t(wide_size), L'\0');
  MultiByteToWideChar(code_page, 0, text, length, &wide[0], wide_size);
  return Utf8Of(wide.data(), wide_size);
}

}  // namespace

bool OpenTextCharset(const char *name, TextCharset *charset) {
  charset->Name = name;
  return OpenCharsetConverter(name, &charset->Converter);
}

void CloseTextCharset(TextCharset *charset) { CloseCharsetConverter(&charset->Converter); }

std::string DecodedText(const TextCharset *charset, const char *text) {
  if (charset == nullptr) return text;
  std::string decoded;
  ConvertToUtf8(const_cast<CharsetConverter *>(&charset->Converter), text, strlen(text), &decoded,
                nullptr);
  return decoded;
}

std::string ArgumentText(const TextCharset *charset, const char *argument) {
  return charset == nullptr ? std::string(argument) : Utf8From(CP_ACP, argument);
}

std::string InCodePage(const std::string &utf8, unsigned code_page) {
  if (utf8.empty()) return utf8;
  const int wide_size = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), nullptr, 0);
  if (wide_size <= 0) return utf8;
  std::wstring wide(size_t(wide_size), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), &wide[0], wide_size);
  const int size =
      WideCharToMultiByte(code_page, 0, wide.data(), wide_size, nullptr, 0, nullptr, nullptr);
  std::string text(size_t(size > 0 ? size : 0), '\0');
  if (size > 0)
    WideCharToMultiByte(code_page, 0, wide.data(), wide_size, &text[0], size, nullptr, nullptr);
  return text;
}

void PrintText(FILE *stream, const std::string &utf8) {
  DWORD mode = 0;
  const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
  if (handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode))
    fputs(InCodePage(utf8, GetConsoleOutputCP()).c_str(), stream);
  else
    fputs(utf8.c_str(), stream);
}

#else

bool OpenTextCharset(const char *name, TextCharset *charset) {
  charset->Name = name;
  return OpenCharsetConverter(name, &charset->Converter);
}

void CloseTextCharset(TextCharset *charset) { CloseCharsetConverter(&charset->Converter); }

std::string DecodedText(const TextCharset *charset, const char *text) {
  if (charset == nullptr) return text;
  std::string decoded;
  ConvertToUtf8(const_cast<CharsetConverter *>(&charset->Converter), text, strlen(text), &decoded,
                nullptr);
  return decoded;
}

std::string ArgumentText(const TextCharset *, const char *argument) { return argument; }

void PrintText(FILE *stream, const std::string &utf8) { fputs(utf8.c_str(), stream); }

#endif

bool OpenDeclaredCharset(const char *index_path, TextCharset *charset) {
  FolderHandle *folder = CreateFolderHandle(index_path);
  if (folder == nullptr) return false;
  const unsigned code_page = DeclaredCodePage(folder);
  ReleaseFolderHandle(folder);
  return code_page != 0 && OpenTextCharset(CodePageCharset(code_page).c_str(), charset);
}
