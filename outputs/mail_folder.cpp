#include "outputs/mail_folder.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "folder/folder_handle.h"
#include "folder/vessor_folder.h"
#include "outputs/mail_dates.h"
#include "platform/file_system.h"

namespace {

// The leading bytes the file manager offers the plug-in.
const size_t LeadingSize = 128;

// -1 when the file cannot be read.
int ReadLeadingBytes(const char *path, unsigned char *bytes, int64_t *size) {
  const FileRef file = FileSystem.OpenForReading(path);
  if (file == NoFile) return -1;
  const size_t got = FileSystem.ReadAt(file, 0, bytes, LeadingSize);
  *size = FileSystem.SizeOf(file);
  FileSystem.Close(file);
  return int(got);
}

FileIdentity DataFileIdentity(const char *data_path) {
  const FileIdentity identity = FileSystem.Identify(data_path);
  if (identity.Exists) return identity;
  char *other = PathInOtherCase(data_path);
  const FileIdentity found = other != nullptr ? FileSystem.Identify(other) : FileIdentity{};
  free(other);
  return found;
}

// The data folder file is there, and is another file than the index.
bool HasDataFile(const char *index_path) {
  char *data_path = PairedDataPath(index_path);
  if (data_path == nullptr) return false;
  const FileIdentity data = DataFileIdentity(data_path);
  free(data_path);
  return data.Exists && !IsSameFile(data, FileSystem.Identify(index_path));
}

// Recognised, or empty with a data folder file of its own.
bool Recognised(const char *index_path, const unsigned char *bytes, int count) {
  return count > 0 ? IsIndexFile(bytes, count) : count == 0 && HasDataFile(index_path);
}

}  // namespace

FolderFileKind IsFolderFile(const std::string &index_path, int64_t *records) {
  unsigned char bytes[LeadingSize];
  int64_t size = -1;
  const int count = ReadLeadingBytes(index_path.c_str(), bytes, &size);
  *records = CountIndexRecords(size > 0 ? size : 0);
  const bool recognised = count > 0 && IsIndexFile(bytes, count);
  if (!recognised && count != 0) return NoFolderFile;
  if (HasDataFile(index_path.c_str())) return FolderFile;
  // An index that pairs with itself is no folder of its own.
  char *data_path = PairedDataPath(index_path.c_str());
  const bool paired_with_itself = data_path == nullptr || index_path == data_path;
  free(data_path);
  if (paired_with_itself) return NoFolderFile;
  if (recognised && *records > 0) return FolderFile;
  const size_t length = index_path.size();
  const bool idx_name = length >= 4 && index_path[length - 4] == '.' &&
                        (index_path[length - 3] | 0x20) == 'i' &&
                        (index_path[length - 2] | 0x20) == 'd' &&
                        (index_path[length - 1] | 0x20) == 'x';
  return recognised || idx_name ? EmptyWithoutDataFile : NoFolderFile;
}

const char *NameOf(const MailFolder &folder, int position) {
  return folder.Names.empty() ? folder.Entries[size_t(position)].Name
                              : folder.Names[size_t(position)].c_str();
}

const char *DescriptionOf(const MailFolder &folder, int position) {
  return folder.Descriptions.empty() ? folder.Entries[size_t(position)].Description
                                     : folder.Descriptions[size_t(position)].c_str();
}

std::string HeaderDateOf(const MailFolder &folder, int position) {
  const IndexDateText &date = folder.Dates[size_t(position)];
  if (date.Month == 0) return std::string();
  return UnzonedHeaderDate(date.Year, date.Month, date.Day, date.Hour, date.Minute);
}

FolderOpening OpenMailFolder(const std::string &index_path, MailFolder *folder,
                             const TextCharset *charset) {
  folder->Shown = index_path;
  folder->Handle = nullptr;
  folder->Entries.clear();
  folder->Dates.clear();
  folder->Names.clear();
  folder->Descriptions.clear();
  unsigned char bytes[LeadingSize];
  int64_t size = -1;
  const int count = ReadLeadingBytes(index_path.c_str(), bytes, &size);
  if (count < 0) return FolderUnreadable;
  if (!Recognised(index_path.c_str(), bytes, count)) return NotAFolder;
  folder->Handle = CreateFolderHandle(index_path.c_str());
  if (folder->Handle == nullptr || !StartListing(folder->Handle)) return FolderNotListed;
  const size_t records = size_t(std::max(folder->Handle->RecordCount, 0));
  folder->Entries.reserve(records);
  folder->Dates.reserve(records);
  MessageEntry entry;
  // The date text is read from the record itself: the entry, as the hosts
  // list it, keeps none.
  while (const unsigned char *record = NextIndexRecord(folder->Handle)) {
    DecodeMessageEntry(record, &entry);
    IndexDateText date = {};
    if (!ReadRecordDate(record, &date)) entry.Time = FILETIME{};
    folder->Entries.push_back(entry);
    folder->Dates.push_back(date);
    if (charset == nullptr) continue;
    folder->Names.push_back(DecodedText(charset, entry.Name));
    folder->Descriptions.push_back(DecodedText(charset, entry.Description));
  }
  return FolderOpened;
}

void CloseMailFolder(MailFolder *folder) {
  if (folder->Handle != nullptr) ReleaseFolderHandle(folder->Handle);
  folder->Handle = nullptr;
}

void FolderFileIdentities(const FolderHandle *folder, FileIdentity own[2]) {
  own[0] = FileSystem.Identify(folder->IndexPath);
  own[1] = folder->DataFile != NoFile ? FileSystem.IdentifyOpen(folder->DataFile)
                                      : DataFileIdentity(folder->DataPath);
}

bool SelectItems(const std::vector<std::string> &item_names, const std::vector<std::string> &names,
                 std::vector<int> *chosen, std::string *unmatched) {
  const int count = int(item_names.size());
  if (names.empty()) {
    for (int i = 0; i < count; ++i) chosen->push_back(i);
    return true;
  }
  for (const std::string &name : names) {
    char *end = nullptr;
    const long position = strtol(name.c_str(), &end, 10);
    if (name[0] >= '0' && name[0] <= '9' && *end == '\0' && position < count) {
      chosen->push_back(int(position));
      continue;
    }
    bool found = false;
    for (int i = 0; i < count; ++i) {
      if (item_names[size_t(i)] != name) continue;
      chosen->push_back(i);
      found = true;
    }
    if (!found) {
      *unmatched = name;
      return false;
    }
  }
  return true;
}

bool SelectMessages(const MailFolder &folder, const std::vector<std::string> &names,
                    std::vector<int> *chosen, std::string *unmatched) {
  // No names: every message, with no list of names made for it.
  if (names.empty()) {
    for (int i = 0; i < int(folder.Entries.size()); ++i) chosen->push_back(i);
    return true;
  }
  std::vector<std::string> item_names;
  for (int i = 0; i < int(folder.Entries.size()); ++i) item_names.push_back(NameOf(folder, i));
  return SelectItems(item_names, names, chosen, unmatched);
}
