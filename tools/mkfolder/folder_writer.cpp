#include "tools/mkfolder/folder_writer.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <vector>

#include "folder/vessor_folder.h"

namespace {

struct Message {
  uint32_t Flags = 0x80;
  std::string Name, Description, Date, Body;
  bool HasOffset = false, HasSize = false;
  int64_t Offset = 0, Size = 0;
};

bool Unescape(const std::string &text, std::string *out) {
  out->clear();
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\') {
      *out += text[i];
      continue;
    }
    if (++i == text.size()) return false;
    switch (text[i]) {
      case '\\': *out += '\\'; break;
      case 'n': *out += '\n'; break;
      case 'r': *out += '\r'; break;
      case 't': *out += '\t'; break;
      case '0': *out += '\0'; break;
      case 'x': {
        if (i + 2 >= text.size()) return false;
        const std::string hex = text.substr(i + 1, 2);
        char *end = nullptr;
        const long value = strtol(hex.c_str(), &end, 16);
        if (*end != '\0') return false;
        *out += char(value);
        i += 2;
        break;
      }
      default: return false;
    }
  }
  return true;
}

bool ParseNumber(const std::string &text, int64_t *value) {
  char *end = nullptr;
  *value = strtoll(text.c_str(), &end, 0);
  return !text.empty() && *end == '\0';
}

void PutLittleEndian32(unsigned char *out, uint32_t value) {
  for (int i = 0; i < 4; ++i) out[i] = (unsigned char)(value >> (8 * i));
}

bool PutText(unsigned char *record, size_t offset, size_t size, const std::string &text) {
  if (text.size() > size) return false;
  for (size_t i = 0; i < text.size(); ++i) record[offset + i] = (unsigned char)text[i];
  return true;
}

bool WriteFile(const std::string &path, const std::string &bytes) {
  FILE *file = fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  const bool written = fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return fclose(file) == 0 && written;
}

}  // namespace

bool EncodeIndexRecord(const FolderRecord &record, unsigned char *out) {
  for (size_t i = 0; i < IndexRecordSize; ++i) out[i] = 0;
  PutLittleEndian32(out + RecordFlagsOffset, record.Flags);
  PutLittleEndian32(out + DataOffsetOffset, record.Offset);
  PutLittleEndian32(out + MessageSizeOffset, record.Size);
  return PutText(out, NameTextOffset, NameTextSize, record.Name) &&
         PutText(out, DescriptionTextOffset, DescriptionTextSize, record.Description) &&
         PutText(out, DateTextOffset, DateTextSize, record.Date);
}

std::string DataPathFor(const std::string &index_path) {
  std::string data_path = index_path;
  if (!data_path.empty()) data_path.back() = 'M';
  return data_path;
}

bool WriteFolder(const std::string &description, const std::string &index_path,
                 std::string *error) {
  std::vector<Message> messages;
  int64_t index_tail = 0, data_truncate = -1;
  bool no_data = false;

  std::istringstream lines(description);
  std::string line;
  for (int number = 1; std::getline(lines, line); ++number) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const size_t start = line.find_first_not_of(" \t");
    if (start == std::string::npos || line[start] == '#') continue;
    const size_t space = line.find(' ', start);
    const std::string key = line.substr(start, space == std::string::npos ? space : space - start);
    const std::string raw = space == std::string::npos ? "" : line.substr(space + 1);
    auto fail = [&](const std::string &why) {
      *error = "line " + std::to_string(number) + ": " + why;
      return false;
    };
    std::string value;
    if (!Unescape(raw, &value)) return fail("bad escape in \"" + raw + "\"");
    int64_t number_value = 0;
    const bool numeric = ParseNumber(value, &number_value);

    if (key == "message") {
      messages.emplace_back();
      continue;
    }
    if (key == "no-data") {
      no_data = true;
      continue;
    }
    if (key == "index-tail" || key == "data-truncate") {
      if (!numeric || number_value < 0) return fail(key + " needs a count");
      (key == "index-tail" ? index_tail : data_truncate) = number_value;
      continue;
    }
    if (messages.empty()) return fail("\"" + key + "\" before any \"message\"");
    Message &message = messages.back();
    if (key == "name") {
      message.Name = value;
    } else if (key == "description") {
      message.Description = value;
    } else if (key == "date") {
      message.Date = value;
    } else if (key == "body") {
      message.Body = value;
    } else if (key == "body-fill" && numeric && number_value >= 0) {
      message.Body.resize(size_t(number_value));
      for (size_t i = 0; i < message.Body.size(); ++i) message.Body[i] = char('a' + i % 26);
    } else if (key == "flags" && numeric) {
      message.Flags = uint32_t(number_value);
    } else if (key == "offset" && numeric) {
      message.HasOffset = true;
      message.Offset = number_value;
    } else if (key == "size" && numeric) {
      message.HasSize = true;
      message.Size = number_value;
    } else {
      return fail("cannot read \"" + line.substr(start) + "\"");
    }
  }

  std::string index, data;
  for (size_t m = 0; m < messages.size(); ++m) {
    const Message &message = messages[m];
    unsigned char record[IndexRecordSize];
    const int64_t offset = message.HasOffset ? message.Offset : int64_t(data.size());
    const int64_t size = message.HasSize ? message.Size : int64_t(message.Body.size());
    data += message.Body;
    const FolderRecord fields = {message.Flags, message.Name, message.Description, message.Date,
                                 uint32_t(offset), uint32_t(size)};
    if (!EncodeIndexRecord(fields, record)) {
      *error = "message " + std::to_string(m + 1) + ": a text is longer than its field";
      return false;
    }
    index.append(reinterpret_cast<const char *>(record), sizeof record);
  }
  index.append(size_t(index_tail), '\0');
  if (data_truncate >= 0 && size_t(data_truncate) < data.size()) data.resize(size_t(data_truncate));

  if (!WriteFile(index_path, index)) {
    *error = "cannot write " + index_path;
    return false;
  }
  if (!no_data && !WriteFile(DataPathFor(index_path), data)) {
    *error = "cannot write " + DataPathFor(index_path);
    return false;
  }
  return true;
}
