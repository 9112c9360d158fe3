#include "host/shared/settings_file.h"

#include <cstdlib>
#include <cstring>

#include "host/shared/panel_host.h"
#include "platform/file_system.h"

namespace {

const char SectionLine[] = "[Settings]";

// The whole file, or empty when it is missing or cannot be read.
std::string ReadWholeFile(const std::string &path) {
  std::string text;
  const FileRef file = FileSystem.OpenForReading(path.c_str());
  if (file == NoFile) return text;
  const int64_t size = FileSystem.SizeOf(file);
  // A settings file of ours is a few lines; anything far larger is not ours.
  if (size > 0 && size < 65536) {
    text.resize(size_t(size));
    text.resize(FileSystem.ReadAt(file, 0, &text[0], text.size()));
  }
  FileSystem.Close(file);
  return text;
}

// Where the line `name=` starts in `text`'s section, and where it ends
// (after its line feed); npos when it is not there.
size_t FindSetting(const std::string &text, const char *name, size_t *end) {
  bool in_section = false;
  const size_t name_length = strlen(name);
  for (size_t at = 0; at < text.size();) {
    size_t next = text.find('\n', at);
    next = next == std::string::npos ? text.size() : next + 1;
    const std::string line = text.substr(at, next - at);
    if (!line.empty() && line[0] == '[') {
      in_section = line.compare(0, sizeof SectionLine - 1, SectionLine) == 0;
    } else if (in_section && line.compare(0, name_length, name) == 0 && line.size() > name_length &&
               line[name_length] == '=') {
      *end = next;
      return at;
    }
    at = next;
  }
  return std::string::npos;
}

}  // namespace

bool ReadSettingsFileNumber(const std::string &path, const char *name, unsigned long long *value) {
  if (path.empty()) return false;
  const std::string text = ReadWholeFile(path);
  size_t end = 0;
  const size_t at = FindSetting(text, name, &end);
  if (at == std::string::npos) return false;
  const std::string number = text.substr(at + strlen(name) + 1, end - at - strlen(name) - 1);
  char *after = nullptr;
  const unsigned long long read = strtoull(number.c_str(), &after, 10);
  if (after == number.c_str() || (*after != '\0' && *after != '\n' && *after != '\r')) return false;
  *value = read;
  return true;
}

bool WriteSettingsFileNumber(const std::string &path, const char *name, unsigned long long value) {
  if (path.empty()) return false;
  if (!FileSystem.MakeDirectories(path.substr(0, path.rfind('/')).c_str(), DefaultAccess))
    return false;
  std::string text = ReadWholeFile(path);
  const std::string line = std::string(name) + "=" + std::to_string(value) + "\n";
  size_t end = 0;
  const size_t at = FindSetting(text, name, &end);
  if (at != std::string::npos) {
    text.replace(at, end - at, line);
  } else {
    const size_t section = text.find(SectionLine);
    if (section == std::string::npos) {
      if (!text.empty() && text.back() != '\n') text += '\n';
      text += std::string(SectionLine) + "\n" + line;
    } else {
      size_t after = text.find('\n', section);
      after = after == std::string::npos ? text.size() : after + 1;
      if (after == text.size() && text.back() != '\n') text += '\n', ++after;
      text.insert(after, line);
    }
  }
  const std::string fresh = path + ".new";
  FileSystem.Remove(fresh.c_str());
  bool exists = false;
  const FileRef file = FileSystem.CreateNew(fresh.c_str(), DefaultAccess, &exists);
  if (file == NoFile) return false;
  const bool written = FileSystem.Write(file, text.data(), text.size());
  if (!FileSystem.Close(file) || !written) {
    FileSystem.Remove(fresh.c_str());
    return false;
  }
  return FileSystem.MoveReplacing(fresh.c_str(), path.c_str());
}

bool ReadNumberSetting(const char *name, unsigned long long *value) {
  return ReadSettingsFileNumber(SettingsFilePath(), name, value);
}

bool WriteNumberSetting(const char *name, unsigned long long value) {
  return WriteSettingsFileNumber(SettingsFilePath(), name, value);
}
