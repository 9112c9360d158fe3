#include "tools/vfolder/parts_command.h"

#include <cinttypes>
#include <climits>
#include <cstdio>
#include <string>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include "folder/message_copy.h"
#include "message/message_parts.h"
#include "outputs/mail_folder.h"
#include "platform/file_system.h"
#include "tools/vfolder/escaped_text.h"
#include "tools/vfolder/system_calls.h"

namespace {

struct DataFileRead {
  FileRef File;
  uint64_t Offset;  // the message's first byte in the data folder file
};

int64_t ReadDataFile(void *context, uint64_t at, void *buffer, size_t size) {
  const DataFileRead *read = static_cast<const DataFileRead *>(context);
  return int64_t(FileSystem.ReadAt(read->File, read->Offset + at, buffer, size));
}

bool CountBytes(void *, const void *, size_t) { return true; }

bool CountPartBytes(void *context, size_t index, const void *, size_t size) {
  std::vector<uint64_t> *counts = static_cast<std::vector<uint64_t> *>(context);
  if (index >= counts->size()) counts->resize(index + 1, 0);
  (*counts)[index] += size;
  return true;
}

int Depth(const MessageParts &parts, size_t index) {
  int depth = 0;
  for (int at = parts.Parts[index].Parent; at >= 0; at = parts.Parts[size_t(at)].Parent) ++depth;
  return depth;
}

}  // namespace

int RunPartsCommand(const char *index, const char *item, bool tsv, const TextCharset *charset) {
  const std::string shown = Printable(index);
  MailFolder folder;
  const FolderOpening opening = OpenMailFolder(FullPath(index), &folder, charset);
  if (opening != FolderOpened) {
    fprintf(stderr, "vfolder: %s: %s\n", shown.c_str(),
            opening == FolderUnreadable ? "cannot read the file"
            : opening == NotAFolder     ? "not a Vessor mail folder"
                                        : "cannot list the folder");
    CloseMailFolder(&folder);
    return 2;
  }
  std::vector<int> chosen;
  std::string unmatched;
  if (!SelectMessages(folder, {ArgumentText(charset, item)}, &chosen, &unmatched) ||
      chosen.empty()) {
    fprintf(stderr, "vfolder: %s: no item %s\n", shown.c_str(), TableText(unmatched).c_str());
    CloseMailFolder(&folder);
    return 2;
  }
  const MessageEntry &entry = folder.Entries[size_t(chosen[0])];
  if (!OpenDataFile(folder.Handle)) {
    fprintf(stderr, "vfolder: %s: cannot open the data folder file\n", shown.c_str());
    CloseMailFolder(&folder);
    return 1;
  }
  // As CopyMessage reads it: what of the message the file holds, and nothing
  // at an offset or of a size beyond 2^31 - 1.
  DataFileRead read = {folder.Handle->DataFile, entry.DataOffset};
  const int64_t file_size = FileSystem.SizeOf(read.File);
  uint64_t size = entry.Size;
  if (entry.DataOffset > uint32_t(INT32_MAX) || entry.Size > uint32_t(INT32_MAX) ||
      file_size < 0 || uint64_t(file_size) < entry.DataOffset)
    size = 0;
  else if (uint64_t(file_size) - entry.DataOffset < size)
    size = uint64_t(file_size) - entry.DataOffset;
  const MessageSource source = {ReadDataFile, &read, size};
  MessageParts parts;
  // The leaves' sizes come with the tree, from one reading of the message.
  std::vector<uint64_t> counts;
  if (!ReadAndDecodeMessageParts(source, &parts, CountPartBytes, &counts)) {
    fprintf(stderr, "vfolder: %s: %s: cannot read the message\n", shown.c_str(),
            TableText(NameOf(folder, chosen[0])).c_str());
    CloseMailFolder(&folder);
    return 1;
  }
#ifdef _WIN32
  // Lines end in a bare line feed everywhere, so scripts read one format.
  fflush(stdout);
  if (tsv) _setmode(_fileno(stdout), _O_BINARY);
#endif
  if (tsv) printf("position\ttype\tcharset\tdisposition\tdecoded_size\tname\tnamed\tattachment\n");
  int status = 0;
  for (size_t i = 0; i < parts.Parts.size(); ++i) {
    const MessagePart &part = parts.Parts[i];
    uint64_t decoded = i < counts.size() ? counts[i] : 0;
    // A container's bytes are its body as it stands.
    if (part.Kind != PartLeaf && part.Kind != PartUuencoded &&
        !DecodePart(source, parts, i, false, CountBytes, nullptr, &decoded))
      status = 1;
    if (tsv) {
      printf("%s\t%s\t%s\t%s\t%" PRIu64 "\t%s\t%d\t%d\n", part.Position.c_str(),
             Escaped(part.Type.c_str()).c_str(), Escaped(part.Charset.c_str()).c_str(),
             part.Disposition.c_str(), decoded, Escaped(part.Name.c_str()).c_str(),
             part.NameGiven ? 1 : 0, part.IsAttachment ? 1 : 0);
    } else {
      const std::string line = std::string(size_t(2 * Depth(parts, i)), ' ') +
                               PaddedTo(part.Position, 8) + " " +
                               PaddedTo(TableText(part.Type), 28) + " " +
                               std::to_string(decoded) + "  " + TableText(part.Name) +
                               (part.IsAttachment ? "  (attachment)" : "") + "\n";
      PrintText(stdout, line);
    }
  }
  if (status != 0)
    fprintf(stderr, "vfolder: %s: %s: cannot read the message\n", shown.c_str(),
            TableText(NameOf(folder, chosen[0])).c_str());
  // The table shows what was found; the message is not whole in it.
  if (parts.Limit != PartsWhole) {
    fprintf(stderr, "vfolder: %s: %s: %s\n", shown.c_str(),
            TableText(NameOf(folder, chosen[0])).c_str(),
            parts.Limit == PartsTooDeep
                ? "its parts nest deeper than 64 levels; the deepest are shown as one part"
                : "it has more than 10000 parts; the rest are not shown");
    status = 1;
  }
  CloseMailFolder(&folder);
  return status;
}
