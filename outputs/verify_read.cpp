#include <algorithm>
#include <cstring>

#include "outputs/mail_run_parts.h"
#include "outputs/verify.h"
#include "platform/system_facts.h"

namespace {

// Outputs are read in pieces of this size.
const size_t ReadPiece = 1024 * 1024;

void AddName(void *names, const char *name) {
  static_cast<std::vector<std::string> *>(names)->push_back(name);
}

bool IsDirectory(const std::string &path) {
  return FileSystem.KindOf(path.c_str(), true) == PathDirectory;
}

// Splits the mbox at its From lines (a line starting "From " at the start of
// the file or after a line feed: every other is quoted in mboxrd) and takes
// each message's digest without its From line. Bytes before the first From
// line are a message of their own, which no folder message is.
bool ReadMbox(const std::string &path, std::vector<FoundMessage> *found, int *error) {
  ClearSystemError();
  const FileRef file = FileSystem.OpenForReading(path.c_str());
  if (file == NoFile) {
    *error = LastSystemError();
    return false;
  }
  std::vector<char> buffer(ReadPiece + 8);
  char *bytes = buffer.data();
  uint64_t offset = 0;  // of bytes[0] in the file
  size_t held = 0;      // bytes carried over at the start of the buffer
  bool line_start = true, in_from_line = false, have = false;
  DigestState digest;
  FoundMessage message;
  for (;;) {
    const size_t got = FileSystem.ReadAt(file, offset + held, bytes + held, ReadPiece);
    const bool end = got == 0;
    const size_t size = held + got;
    if (end && size == 0) break;
    size_t at = 0, run = 0;  // bytes from `run` on are not yet taken
    while (at < size) {
      // A From line's first five bytes, which a piece may cut, are taken whole.
      if (line_start && size - at < 5 && !end) break;
      if (line_start && size - at >= 5 && memcmp(bytes + at, "From ", 5) == 0) {
        if (have) {
          AddToDigest(&digest, bytes + run, at - run);
          message.Digest = EndDigest(&digest);
          found->push_back(message);
        }
        message.Name = "#" + std::to_string(found->size() + 1) + " at byte " +
                       std::to_string(offset + at);
        StartDigest(&digest);
        have = in_from_line = true;
      } else if (!have) {
        message.Name = "bytes before the first From line";
        StartDigest(&digest);
        have = true;
        run = at;
      }
      const void *feed = memchr(bytes + at, '\n', size - at);
      const size_t line_end =
          feed != nullptr ? size_t(static_cast<const char *>(feed) - bytes) + 1 : size;
      if (in_from_line) {
        run = line_end;
        in_from_line = feed == nullptr;
      }
      line_start = feed != nullptr;
      at = line_end;
    }
    if (have && at > run) AddToDigest(&digest, bytes + run, at - run);
    memmove(bytes, bytes + at, size - at);
    held = size - at;
    offset += at;
    if (end) break;
  }
  if (have) {
    message.Digest = EndDigest(&digest);
    found->push_back(message);
  }
  FileSystem.Close(file);
  return true;
}

// The digest of the whole file; false when it cannot be read.
bool DigestFile(const std::string &path, std::vector<char> *buffer, MessageDigest *digest) {
  const FileRef file = FileSystem.OpenForReading(path.c_str());
  if (file == NoFile) return false;
  DigestState state;
  StartDigest(&state);
  uint64_t offset = 0;
  for (size_t got; (got = FileSystem.ReadAt(file, offset, buffer->data(), buffer->size())) > 0;
       offset += got)
    AddToDigest(&state, buffer->data(), got);
  const int64_t size = FileSystem.SizeOf(file);
  FileSystem.Close(file);
  *digest = EndDigest(&state);
  return size >= 0 && uint64_t(size) == offset;
}

// Each file of the directories `subs` of `dir` whose name `wanted` takes, in
// the order of their names.
template <typename Wanted>
bool ReadFiles(const std::string &dir, const std::vector<std::string> &subs, Wanted wanted,
               std::vector<FoundMessage> *found, std::vector<std::string> *unread, int *error) {
  std::vector<std::pair<std::string, std::string>> files;  // name, its path below `dir`
  for (const std::string &sub : subs) {
    std::vector<std::string> names;
    const std::string path = sub.empty() ? dir : Join(dir, sub);
    ClearSystemError();
    if (!FileSystem.ListDirectory(path.c_str(), AddName, &names)) {
      *error = LastSystemError();
      return false;
    }
    for (const std::string &name : names)
      if (wanted(path, name)) files.push_back({name, sub.empty() ? name : Join(sub, name)});
  }
  std::sort(files.begin(), files.end());
  std::vector<char> buffer(ReadPiece);
  for (const auto &file : files) {
    FoundMessage message = {file.second, {}};
    if (DigestFile(Join(dir, file.second), &buffer, &message.Digest))
      found->push_back(message);
    else
      unread->push_back(file.second);
  }
  return true;
}

bool EndsWith(const std::string &text, const char *ending) {
  const size_t size = strlen(ending);
  return text.size() >= size && text.compare(text.size() - size, size, ending) == 0;
}

}  // namespace

bool ReadOutputMessages(const std::string &place, VerifyKind kind,
                        std::vector<FoundMessage> *found, std::vector<std::string> *unread,
                        int *error) {
  *error = 0;
  if (kind == VerifyMbox) return ReadMbox(place, found, error);
  if (kind == VerifyMaildir)
    return ReadFiles(
        place, {"new", "cur"}, [](const std::string &, const std::string &name) {
          return name[0] != '.';
        },
        found, unread, error);
  return ReadFiles(
      place, {""},
      [](const std::string &dir, const std::string &name) {
        return EndsWith(name, ".eml") &&
               FileSystem.KindOf(Join(dir, name).c_str(), true) == PathRegular;
      },
      found, unread, error);
}

bool OutputKindAt(const std::string &place, VerifyKind *kind) {
  const PathKind found = FileSystem.KindOf(place.c_str(), true);
  if (found == PathRegular) *kind = VerifyMbox;
  if (found == PathDirectory)
    *kind = IsDirectory(Join(place, "new")) && IsDirectory(Join(place, "cur")) ? VerifyMaildir
                                                                              : VerifyEml;
  return found == PathRegular || found == PathDirectory;
}

std::vector<TreeOutput> TreeOutputs(const TreeNode &top, const std::string &out) {
  std::vector<TreeOutput> outputs;
  VerifyKind kind = VerifyEml;
  std::vector<TreePlace> places;
  if (OutputKindAt(out, &kind) && kind == VerifyMaildir) {
    places = TreePlaces(top, out, MaildirTree, MaildirPlusPlusLayout);
  } else {
    places = TreePlaces(top, out, MboxTree, MaildirPlusPlusLayout);
    const bool mbox = std::any_of(places.begin(), places.end(), [](const TreePlace &place) {
      return FileSystem.KindOf(place.Target.c_str(), true) == PathRegular;
    });
    kind = mbox ? VerifyMbox : VerifyEml;
    if (!mbox) places = TreePlaces(top, out, DirectoryTree, FileSystemLayout);
  }
  for (const TreePlace &place : places) {
    TreeOutput output = {place.Folder, place.Target, kind, false};
    VerifyKind found = kind;
    output.Exists = OutputKindAt(place.Target, &found);
    // Directories of a tree hold a Maildir or .eml files, each folder its own.
    if (output.Exists && kind == VerifyEml) output.Kind = found;
    outputs.push_back(output);
  }
  return outputs;
}
