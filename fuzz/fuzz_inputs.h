// What the fuzz targets do with their raw input and what must hold afterwards.
// The fuzzers call the plug-in's code linked in; the test that replays the kept
// inputs calls the built plug-in library through the same PluginApi.
//
// A message input is the raw bytes of one message.
//
// A folder input is one mode byte, two bytes (little-endian) with the index
// file's length, then the index file's bytes and the data folder file's bytes.
// Mode bits 0-1: the data folder file is written (0, 3), missing (1) or a
// directory (2), which the plug-in takes for a missing one. Bits 2-3: between
// the two listings the index file is left alone (0), loses its second half
// (1), has its bytes appended once more (2) or is emptied (3).
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

#include "folder/export_name.h"
#include "folder/vessor_folder.h"
#include "message/message_parts.h"
#include "tools/vfolder/plugin_loader.h"

namespace fuzz_inputs {

namespace fs = std::filesystem;

inline std::string Slurp(const std::string &path) {
  std::ifstream input(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << input.rdbuf();
  return bytes.str();
}

inline void Spill(const std::string &path, const std::string &bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// The names in a directory, sorted, one a line.
inline std::string Entries(const std::string &dir) {
  std::vector<std::string> names;
  std::error_code error;
  for (const auto &entry : fs::directory_iterator(dir, error))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  std::string lines;
  for (const std::string &name : names) lines += name + "\n";
  return lines;
}

// The two leading bytes docs/user-guide.md names as an index file's, on a
// file of more than four bytes.
inline bool LooksLikeIndex(const std::string &offered) {
  return offered.size() > 4 && uint8_t(offered[0]) == 0x80 && (uint8_t(offered[1]) & 0x9F) == 0;
}

inline std::string CheckListing(const PluginPanelItem *items, int result, int count, int expected) {
  if (result != 1 || items == nullptr || count != expected)
    return "listing gave result " + std::to_string(result) + " and " + std::to_string(count) +
           " items, not " + std::to_string(expected);
  for (int i = 0; i < count; ++i) {
    const char *name = items[i].FindData.cFileName;
    const void *end = memchr(name, 0, MAX_PATH);
    if (end == nullptr || strlen(name) > NameTextSize + 0u)
      return "item " + std::to_string(i) + " has a name longer than its field";
    if (items[i].Description != name + strlen(name) + 1 ||
        strlen(items[i].Description) > DescriptionTextSize + 0u)
      return "item " + std::to_string(i) + " has its description out of place";
  }
  return "";
}

// The files the export must leave in `out_dir`: each item under the name of
// its own that the export gives it, holding exactly the bytes of its message
// that the data folder file has; none for a path too long.
inline std::map<std::string, std::string> ExpectedExport(const PluginPanelItem *items, int count,
                                                         const std::string &out_dir,
                                                         const std::string *data) {
  std::map<std::string, std::string> files;
  ExportNames names;
  std::vector<const char *> item_names;
  for (int i = 0; i < count; ++i) item_names.push_back(items[i].FindData.cFileName);
  if (!MakeExportNames(item_names.data(), count, MAX_PATH, &names)) return files;
  for (int i = 0; i < count; ++i) {
    const char *file = ExportNameOf(&names, i);
    char path[MAX_PATH];
    if (JoinExportPath(out_dir.c_str(), file, path, sizeof path) >= sizeof path) continue;
    const int32_t offset = int32_t(uint32_t(items[i].UserData));
    const int32_t size = int32_t(items[i].FindData.nFileSizeLow);
    std::string &content = files[file];
    if (data != nullptr && size > 0 && offset >= 0 && size_t(offset) < data->size())
      content = data->substr(size_t(offset), size_t(size));
  }
  FreeExportNames(&names);
  return files;
}

inline std::string CheckExport(const std::map<std::string, std::string> &expected,
                               const std::string &out_dir) {
  std::map<std::string, std::string> actual;
  for (const auto &entry : fs::directory_iterator(out_dir)) {
    if (!entry.is_regular_file()) return "the export made " + entry.path().string();
    actual[entry.path().filename().string()] = Slurp(entry.path().string());
  }
  for (const auto &[name, content] : expected) {
    const auto found = actual.find(name);
    if (found == actual.end()) return "the export did not write " + name;
    if (found->second != content) return "the export wrote other bytes into " + name;
  }
  if (actual.size() != expected.size()) return "the export wrote files that no item names";
  return "";
}

// Drives an open folder as the host does and checks each step.
inline std::string DriveFolder(const PluginApi &api, HANDLE folder, const std::string &index,
                               std::string *index_bytes, const std::string *data, int index_change,
                               bool data_missing, const std::string &out_dir) {
  PluginPanelItem *items = nullptr;
  int count = -1;
  int result = api.GetFindData(folder, &items, &count, 0);
  const int records = int(index_bytes->size() / IndexRecordSize);
  std::string problem = CheckListing(items, result, count, records);
  if (items != nullptr) api.FreeFindData(folder, items, count);
  if (!problem.empty()) return "first " + problem;

  if (index_change == 1) *index_bytes = index_bytes->substr(0, index_bytes->size() / 2);
  if (index_change == 2) *index_bytes += *index_bytes;
  if (index_change == 3) index_bytes->clear();
  if (index_change != 0) Spill(index, *index_bytes);

  items = nullptr;
  count = -1;
  result = api.GetFindData(folder, &items, &count, 0);
  problem = CheckListing(items, result, count,
                         std::min(records, int(index_bytes->size() / IndexRecordSize)));
  if (!problem.empty()) {
    if (items != nullptr) api.FreeFindData(folder, items, count);
    return "second " + problem;
  }

  fs::create_directory(out_dir);
  std::string dest = out_dir;
  const int exported = api.GetFiles(folder, items, count, 0, &dest[0], 0);
  const auto expected = ExpectedExport(items, count, out_dir, data);
  api.FreeFindData(folder, items, count);
  if (exported != (data_missing ? 0 : 1)) return "export gave " + std::to_string(exported);
  if (dest != out_dir) return "the export changed the destination text";
  return CheckExport(data_missing ? std::map<std::string, std::string>() : expected, out_dir);
}

inline std::string CheckFolder(const PluginApi &api, const std::string &work_dir,
                               const std::string &index_given, const std::string &data_bytes,
                               int data_kind, int index_change) {
  const std::string folder_dir = work_dir + "/folder", out_dir = work_dir + "/out";
  const std::string index = folder_dir + "/INBOX.IDX", data_path = folder_dir + "/INBOX.IDM";
  fs::create_directory(folder_dir);
  std::string index_bytes = index_given;
  Spill(index, index_bytes);
  if (data_kind == 2) fs::create_directory(data_path);
  if (data_kind == 0 || data_kind == 3) Spill(data_path, data_bytes);

  const std::string offered = index_bytes.substr(0, 128);
  std::string path = index;
  HANDLE folder = api.OpenFilePlugin(
      &path[0], reinterpret_cast<const unsigned char *>(offered.data()), int(offered.size()));
  if ((folder != INVALID_HANDLE_VALUE) != LooksLikeIndex(offered))
    return "recognition differs from the leading bytes' rule";
  if (folder == INVALID_HANDLE_VALUE) return "";
  const std::string *data = data_kind == 0 || data_kind == 3 ? &data_bytes : nullptr;
  std::string problem =
      DriveFolder(api, folder, index, &index_bytes, data, index_change, data == nullptr, out_dir);
  api.ClosePlugin(folder);
  if (!problem.empty()) return problem;

  if (Slurp(index) != index_bytes) return "the index file changed";
  if (data_kind == 0 || data_kind == 3) {
    if (Slurp(data_path) != data_bytes) return "the data folder file changed";
  } else if (data_kind == 2 && !Entries(data_path).empty()) {
    return "something was written into the data folder directory";
  }
  const std::string folder_files = data_kind == 1 ? "INBOX.IDX\n" : "INBOX.IDM\nINBOX.IDX\n";
  if (Entries(folder_dir) != folder_files)
    return "the folder's directory holds " + Entries(folder_dir);
  if (Entries(work_dir) != "folder\nout\n") return "the work directory holds " + Entries(work_dir);
  return "";
}

}  // namespace fuzz_inputs

// Recognition and record decoding of raw bytes; "" when every check holds,
// otherwise what failed.
inline std::string CheckRecognitionInput(const uint8_t *data, size_t size) {
  const int length = int(std::min(size, size_t(1) << 20));
  const bool expected = length > 4 && data[0] == 0x80 && (data[1] & 0x9F) == 0;
  if (IsIndexFile(data, length) != expected) return "IsIndexFile breaks the leading bytes' rule";
  if (IsIndexFile(nullptr, length)) return "IsIndexFile accepts no bytes";

  // A record from the input, zero-filled when it is short.
  unsigned char bytes[IndexRecordSize] = {};
  memcpy(bytes, data, std::min(size, sizeof bytes));
  IndexRecord record;
  memset(&record, 0xA5, sizeof record);
  DecodeIndexRecord(bytes, &record);
  uint32_t flags;
  memcpy(&flags, bytes, 4);  // the fuzzing hosts are little-endian
  if (record.RecordFlags != flags) return "flags decoded wrongly";
  const struct {
    const char *Text;
    size_t Offset, Size;
  } texts[] = {{record.DescriptionText, DescriptionTextOffset, DescriptionTextSize},
               {record.NameText, NameTextOffset, NameTextSize},
               {record.DateText, DateTextOffset, DateTextSize}};
  for (const auto &text : texts) {
    if (text.Text[text.Size] != '\0' || memcmp(text.Text, bytes + text.Offset, text.Size) != 0)
      return "a text field decoded wrongly";
  }
  DecodeIndexDate(record.DateText);

  // A date text straight from the input, in a buffer of exactly the field's
  // size and terminator, so that any stray access lands in a red zone.
  std::unique_ptr<char[]> date(new char[DateTextSize + 1]());
  memcpy(date.get(), data, std::min(size, size_t(DateTextSize)));
  DecodeIndexDate(date.get());
  return "";
}

// One folder input (see above) through the entry points, inside `work_dir`,
// which it leaves empty again; "" when every check holds, otherwise what failed.
inline std::string CheckFolderInput(const PluginApi &api, const uint8_t *data, size_t size,
                                    const std::string &work_dir) {
  if (size < 3) return "";
  const char *bytes = reinterpret_cast<const char *>(data);
  const size_t index_size = std::min(size_t(data[1] | data[2] << 8), size - 3);
  const std::string index(bytes + 3, index_size),
      data_bytes(bytes + 3 + index_size, size - 3 - index_size);
  std::string problem;
  try {
    problem =
        fuzz_inputs::CheckFolder(api, work_dir, index, data_bytes, data[0] & 3, data[0] >> 2 & 3);
  } catch (const std::exception &error) {
    problem = std::string("the check itself failed: ") + error.what();
  }
  std::error_code ignored;
  for (const auto &entry : fuzz_inputs::fs::directory_iterator(work_dir, ignored))
    fuzz_inputs::fs::remove_all(entry.path(), ignored);
  return problem;
}

namespace fuzz_inputs {

struct CountedBytes {
  uint64_t Count;
};

inline bool CountBytes(void *context, const void *, size_t size) {
  static_cast<CountedBytes *>(context)->Count += size;
  return true;
}

inline bool KeepBytes(void *context, const void *bytes, size_t size) {
  static_cast<std::string *>(context)->append(static_cast<const char *>(bytes), size);
  return true;
}

inline bool KeepLeafBytes(void *context, size_t index, const void *bytes, size_t size) {
  std::vector<std::string> *kept = static_cast<std::vector<std::string> *>(context);
  if (index >= kept->size()) kept->resize(index + 1);
  (*kept)[index].append(static_cast<const char *>(bytes), size);
  return true;
}

}  // namespace fuzz_inputs

// One message's parts read and every part decoded, as it stands and in
// UTF-8; "" when every check holds, otherwise what failed.
inline std::string CheckMessageInput(const uint8_t *data, size_t size) {
  const MessageSource source = MemorySource(data, size);
  MessageParts parts;
  if (!ReadMessageParts(source, &parts)) return "a message in memory is not read";
  if (parts.Parts.empty() || parts.Parts[0].Parent != -1 || parts.Parts[0].BodyEnd != size)
    return "the first part is not the whole message";
  // The one pass that decodes as it reads gives each part's bytes as
  // DecodePart does, and the same tree.
  std::vector<std::string> passed;
  MessageParts again;
  if (!ReadAndDecodeMessageParts(source, &again, fuzz_inputs::KeepLeafBytes, &passed))
    return "a message in memory is not read and decoded";
  if (again.Parts.size() != parts.Parts.size()) return "decoding on the way changes the tree";
  passed.resize(parts.Parts.size());
  for (size_t i = 0; i < parts.Parts.size(); ++i) {
    const MessagePart &part = parts.Parts[i];
    std::string bytes;
    uint64_t counted = 0;
    if (part.Kind == PartLeaf || part.Kind == PartUuencoded) {
      if (!DecodePart(source, parts, i, false, fuzz_inputs::KeepBytes, &bytes, &counted))
        return "part " + part.Position + " is not decoded";
    }
    if (passed[i] != bytes || again.Parts[i].BodyStart != part.BodyStart ||
        again.Parts[i].BodyEnd != part.BodyEnd || again.Parts[i].Name != part.Name)
      return "part " + part.Position + " is decoded otherwise on the way";
  }
  for (size_t i = 0; i < parts.Parts.size(); ++i) {
    const MessagePart &part = parts.Parts[i];
    if (part.HeaderStart > part.BodyStart || part.BodyStart > part.BodyEnd || part.BodyEnd > size)
      return "part " + part.Position + " lies outside the message";
    if (i > 0) {
      if (part.Parent < 0 || size_t(part.Parent) >= i) return "a part comes before its parent";
      const MessagePart &parent = parts.Parts[size_t(part.Parent)];
      if (part.HeaderStart < parent.BodyStart || part.BodyEnd > parent.BodyEnd)
        return "part " + part.Position + " lies outside its parent";
    }
    if (part.Name.empty() || part.Name.size() > 255 || part.Name == "." || part.Name == ".." ||
        part.Name.find_first_of(std::string("/\0", 2)) != std::string::npos)
      return "part " + part.Position + " has no safe name";
    for (const bool utf8 : {false, true}) {
      fuzz_inputs::CountedBytes counted = {0};
      uint64_t decoded = 0;
      if (!DecodePart(source, parts, i, utf8, fuzz_inputs::CountBytes, &counted, &decoded))
        return "part " + part.Position + " is not decoded";
      // No decoding makes more bytes than its input's, but uuencode (a line
      // "M" is 45 zero bytes) and a charset (four bytes of UTF-8 a byte).
      const uint64_t most = (part.BodyEnd - part.BodyStart) *
                                (part.Encoding == EncodingUuencode ? 32 : 1) * (utf8 ? 4 : 1) +
                            64;
      if (decoded != counted.Count || decoded > most)
        return "part " + part.Position + " decodes into too many bytes";
    }
  }
  return "";
}
