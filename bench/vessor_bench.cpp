// vessor_bench: the plug-in's listing and export, driven through its entry
// points, and the message reader on a large message of attachments, each
// timed against the machine's floor for the same work in the same process,
// the sides taking turns; the listing's and the reader's peak memory and the
// date decoding alone; and on Linux vfolder's outputs for mail programs and
// its attachments (beside ripmime's), each run as a process by hyperfine, on
// one folder and on a directory of folders.
// Folders are written with mkfolder's record encoder, files go through the
// platform's file table, all in a temporary directory removed at the end.
#include <algorithm>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <string>
#include <vector>

#include "folder/export_name.h"
#include "folder/vessor_folder.h"
#include "host/far1/far_plugin.h"
#include "message/folder_charset.h"
#include "message/message_parts.h"
#include "outputs/stored_message.h"
#include "platform/file_system.h"
#include "tools/mkfolder/folder_writer.h"
#include "tools/vfolder/plugin_loader.h"

#ifndef _WIN32
#include <sys/vfs.h>
#include <unistd.h>
#endif

#ifndef VESSOR_PLUGIN_PATH
#define VESSOR_PLUGIN_PATH ""  // on Windows: beside the program
#endif
#ifndef VESSOR_VFOLDER_PATH
#define VESSOR_VFOLDER_PATH ""
#endif

namespace {

const double ListingTarget = 1.1;      // x the 64 KiB floor, every build
const double ExportTarget = 1.2;       // x the floor, Linux
const double WineExportTarget = 1.3;   // x create/write/close, 32-bit Windows
const double MboxTarget = 2.0;         // vfolder mbox x the floor of one file
const double FilesTarget = 1.3;        // vfolder maildir and copy --eml x copy
const double TreeTarget = 1.0;         // a directory's time per message x one folder's
const double PartsTarget = 2.0;        // a message's parts decoded x its bytes read
const double AttachmentsTarget = 2.0;  // vfolder attachments x copy --eml
const double ResumeTarget = 1.5;       // mbox --append and maildir with --resume x without
const double VerifyTarget = 1.5;       // vfolder verify of a tree x its conversion
const int PartsAttachments = 10;       // in the one large message
const size_t ListingPiece = 64 * 1024;
const char Sep[] = {PATH_SEPARATOR, '\0'};

struct Options {
  int64_t Records = 1000000, Messages = 10000, TreeFolders = 50, TreeMessages = 2000;
  // Each attachment of the large message, before base64: ten make it 20 MB.
  uint32_t PartBytes = 1500000;
  int Repeats = 5;
  bool Smoke = false, Verbose = false;
  std::string Plugin = VESSOR_PLUGIN_PATH, Vfolder = VESSOR_VFOLDER_PATH, TempParent;
  // Rows to run, comma-separated (listing, export, parts, vfolder,
  // attachments); empty for all. One row alone disturbs a shared machine
  // less and is measured sooner.
  std::string Only;
  bool Keep = false;  // the temporary directory left for runs by hand
};

bool Runs(const Options &options, const char *row) {
  return options.Only.empty() ||
         ("," + options.Only + ",").find("," + std::string(row) + ",") != std::string::npos;
}

std::string TempDir;

void RemoveTempDir() {
  std::error_code ignored;
  if (!TempDir.empty()) std::filesystem::remove_all(TempDir, ignored);
}

[[noreturn]] void Fail(const char *what, const std::string &detail) {
  fprintf(stderr, "vessor_bench: %s%s%s\n", what, detail.empty() ? "" : ": ", detail.c_str());
  exit(1);
}

double Now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// The middle sample: one slow round on a shared machine moves it less than a mean.
double Median(std::vector<double> samples) {
  if (samples.empty()) return 0;
  std::sort(samples.begin(), samples.end());
  const size_t n = samples.size();
  return n % 2 == 1 ? samples[n / 2] : (samples[n / 2 - 1] + samples[n / 2]) / 2;
}

// A fixed sequence, so that every run lists and exports the same folders.
uint32_t RandomBelow(uint64_t *state, uint32_t bound) {
  uint64_t z = (*state += 0x9E3779B97F4A7C15u);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
  return uint32_t((z ^ (z >> 31)) % bound);
}

// ---- Files, through the platform's table

FileRef CreateOrFail(const std::string &path) {
  bool exists = false;
  const FileRef file = FileSystem.CreateNew(path.c_str(), DefaultAccess, &exists);
  if (file == NoFile) Fail("cannot create", path);
  return file;
}

void WriteOrFail(FileRef file, const void *bytes, size_t size, const std::string &path) {
  if (!FileSystem.Write(file, bytes, size)) Fail("cannot write", path);
}

void MakeDirOrFail(const std::string &path) {
  bool exists = false;
  if (!FileSystem.MakeDirectory(path.c_str(), DefaultAccess, &exists)) Fail("cannot create", path);
}

std::string FileSystemName(const std::string &path) {
#ifdef _WIN32
  (void)path;
  return "named by scripts/bench.sh";  // Wine calls every drive NTFS
#else
  struct statfs info;
  if (statfs(path.c_str(), &info) != 0) return "unknown";
  switch (uint32_t(info.f_type)) {
    case 0xEF53: return "ext4";
    case 0x01021994: return "tmpfs";
    case 0x58465342: return "xfs";
    case 0x9123683E: return "btrfs";
    default: return "other";
  }
#endif
}

std::string DataPathOf(const std::string &index) { return index.substr(0, index.size() - 1) + "M"; }

// ---- Folders

// Date texts as the mail program writes them, with the odd ones the decoder
// must also take: one-digit days, midnight, letter case, an unknown month, a zone.
std::string DateText(uint64_t *rng) {
  static const char *const Months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug",
                                       "Sep", "Oct", "Nov", "Dec", "mar", "DEC", "Xyz"};
  char text[64];
  const unsigned month = RandomBelow(rng, 15), day = 1 + RandomBelow(rng, 31);
  const unsigned year = RandomBelow(rng, 100);
  const unsigned hour = RandomBelow(rng, 8) == 0 ? 0 : RandomBelow(rng, 24);
  snprintf(text, sizeof text, "%u %s %02u %02u:%02u%s", day, Months[month], year, hour,
           RandomBelow(rng, 60), RandomBelow(rng, 4) == 0 ? " +0100" : "");
  return text;
}

// A record of a varied shape: blank, padded and brim-full names, read-only and
// hidden flags. Every name is unique, so the export's paths are the names' paths.
FolderRecord MakeRecord(uint64_t *rng, int64_t number, uint32_t offset, uint32_t size) {
  static const uint32_t Flags[] = {0x80, 0x80, 0x80, 0x00, 0x40080, 0x2080};
  char name[64], description[64];
  snprintf(description, sizeof description, "Sender %" PRId64 " <s%" PRId64 "@example.org>", number,
           number);
  switch (RandomBelow(rng, 8)) {
    case 0: snprintf(name, sizeof name, "   "); break;
    case 1: snprintf(name, sizeof name, "  Padded %" PRId64, number); break;
    case 2: snprintf(name, sizeof name, "Subject filling the field %010" PRId64, number); break;
    default: snprintf(name, sizeof name, "Re: report %" PRId64 " / \"Q3\"?", number); break;
  }
  FolderRecord record = {number == 0 ? 0x80u : Flags[RandomBelow(rng, 6)],
                         std::string(name).substr(0, NameTextSize),
                         std::string(description).substr(0, DescriptionTextSize),
                         DateText(rng),
                         offset,
                         size};
  return record;
}

void AppendRecord(const FolderRecord &record, std::vector<unsigned char> *index) {
  index->resize(index->size() + IndexRecordSize);
  EncodeIndexRecord(record, index->data() + index->size() - IndexRecordSize);
}

// An index of `records` records and no data folder file: the listing reads none.
void WriteListingIndex(const std::string &path, int64_t records) {
  const FileRef file = CreateOrFail(path);
  std::vector<unsigned char> chunk;
  uint64_t rng = 1;
  uint32_t offset = 0;
  for (int64_t number = 0; number < records; ++number) {
    const uint32_t size = RandomBelow(&rng, 65537);
    AppendRecord(MakeRecord(&rng, number, offset, size), &chunk);
    offset += size;
    if (chunk.size() >= 4096 * IndexRecordSize || number + 1 == records) {
      WriteOrFail(file, chunk.data(), chunk.size(), path);
      chunk.clear();
    }
  }
  if (!FileSystem.Close(file)) Fail("cannot write", path);
}

struct Message {
  uint32_t Offset, Size;
};

// A folder of `count` messages of lines of 61 bytes: mostly short ones, every
// hundredth a long one, some empty, one of 64 KiB in a thousand; about 2 KiB
// each. Returns the data folder file's bytes; `seed` makes folders differ.
std::vector<unsigned char> WriteMailFolder(const std::string &index_path, int64_t count,
                                           uint64_t seed, std::vector<Message> *messages) {
  uint64_t rng = seed;
  std::vector<unsigned char> data, index;
  for (int64_t number = 0; number < count; ++number) {
    uint32_t size = number % 1000 == 500 ? 65536
                    : number % 100 == 0  ? 16384 + RandomBelow(&rng, 65536 - 16384)
                    : number % 50 == 7   ? 0
                                         : RandomBelow(&rng, 3001);
    const Message message = {uint32_t(data.size()), size};
    messages->push_back(message);
    for (uint32_t i = 0; i < size; ++i)
      data.push_back((unsigned char)(i % 61 == 60 ? '\n' : 'a' + (number + i) % 26));
    AppendRecord(MakeRecord(&rng, number, message.Offset, size), &index);
  }
  for (const std::string &path : {index_path, DataPathOf(index_path)}) {
    const std::vector<unsigned char> &bytes = path == index_path ? index : data;
    const FileRef file = CreateOrFail(path);
    WriteOrFail(file, bytes.data(), bytes.size(), path);
    if (!FileSystem.Close(file)) Fail("cannot write", path);
  }
  return data;
}

// ---- The plug-in, loaded as the host loads it

int Warnings = 0;

int WINAPI CountWarning(INT_PTR, DWORD, const char *, const char *const *items, int count, int) {
  fprintf(stderr, "vessor_bench: host warning:");
  for (int i = 0; i < count; ++i) fprintf(stderr, " %s", items[i]);
  fputc('\n', stderr);
  ++Warnings;
  return 0;
}

// A message box is a failure here: it would wait for a click.
int WINAPI CountMessageBox(HWND, const char *text, const char *caption, UINT) {
  fprintf(stderr, "vessor_bench: message box: %s: %s\n", caption, text);
  ++Warnings;
  return 1;
}

PluginApi LoadPluginOrFail(const std::string &path) {
  PluginApi api;
  char error[512];
  if (!LoadPlugin(path.c_str(), &api, error, sizeof error)) Fail(error, "");
  RedirectMessageBox(&api, CountMessageBox);
  static PluginStartupInfo info;
  info.StructSize = int(sizeof info);
  info.Message = CountWarning;
  api.SetStartupInfo(&info);
  return api;
}

// OpenFilePlugin with the path and the leading bytes, as the host offers them.
HANDLE OpenFolder(const PluginApi &api, const std::string &index_path) {
  unsigned char head[128];
  const FileRef file = FileSystem.OpenForReading(index_path.c_str());
  if (file == NoFile) Fail("cannot read", index_path);
  const size_t got = FileSystem.ReadAt(file, 0, head, sizeof head);
  FileSystem.Close(file);
  std::vector<char> name(index_path.begin(), index_path.end());
  name.push_back('\0');
  HANDLE folder = api.OpenFilePlugin(name.data(), head, int(got));
  if (folder == INVALID_HANDLE_VALUE) Fail("the plug-in does not open", index_path);
  return folder;
}

// The items' bytes, the description as its place in the item, so that the
// listings of different builds can be compared.
uint64_t DigestItems(const PluginPanelItem *items, int count) {
  uint64_t digest = 0xCBF29CE484222325u;
  for (int i = 0; i < count; ++i) {
    PluginPanelItem item = items[i];
    item.Description = reinterpret_cast<char *>(item.Description - (const char *)&items[i]);
    const unsigned char *bytes = reinterpret_cast<const unsigned char *>(&item);
    for (size_t at = 0; at < sizeof item; ++at) digest = (digest ^ bytes[at]) * 0x100000001B3u;
  }
  return digest;
}

// ---- Listing: each round opens the folder afresh on both sides.

struct ListingTimes {
  std::vector<double> First, Repeated;
};

// OpenFilePlugin and GetFindData + FreeFindData, then once more GetFindData +
// FreeFindData; the digest is left out of the time.
void ListWithPlugin(const PluginApi &api, const std::string &index, int64_t records,
                    uint64_t *digest, ListingTimes *times) {
  double start = Now();
  HANDLE folder = OpenFolder(api, index);
  for (int pass = 0; pass < 2; ++pass) {
    PluginPanelItem *items = nullptr;
    int count = 0;
    if (!api.GetFindData(folder, &items, &count, 0) || count != records)
      Fail("the listing has not every record of", index);
    double seconds = Now() - start;
    if (digest != nullptr && pass == 0) *digest = DigestItems(items, count);
    const double freed = Now();
    api.FreeFindData(folder, items, count);
    (pass == 0 ? times->First : times->Repeated).push_back(seconds + Now() - freed);
    start = Now();
  }
  api.ClosePlugin(folder);
}

PluginPanelItem *volatile FloorItems;  // seen from outside: the compiler keeps the writes

// The floor: the index read in 64 KiB pieces into a zero-filled block of
// items of this build's size, each given its record's size and offset.
int64_t FillFloorItems(FileRef index, int64_t index_size) {
  static unsigned char buffer[ListingPiece + IndexRecordSize];
  const size_t count = size_t(index_size / int64_t(IndexRecordSize));
  PluginPanelItem *items = static_cast<PluginPanelItem *>(calloc(count + 1, sizeof *items));
  if (items == nullptr) Fail("out of memory listing", "");
  size_t filled = 0, held = 0;
  for (uint64_t offset = 0; filled < count;) {
    const size_t got = FileSystem.ReadAt(index, offset, buffer + held, ListingPiece);
    if (got == 0) break;
    offset += got;
    held += got;
    size_t used = 0;
    for (; used + IndexRecordSize <= held && filled < count; used += IndexRecordSize, ++filled) {
      uint32_t size, data_offset;
      memcpy(&size, buffer + used + MessageSizeOffset, 4);
      memcpy(&data_offset, buffer + used + DataOffsetOffset, 4);
      items[filled].FindData.nFileSizeLow = size;
      items[filled].UserData = data_offset;
    }
    memmove(buffer, buffer + used, held - used);
    held -= used;
  }
  FloorItems = items;
  free(items);
  return int64_t(filled);
}

void ListFloor(const std::string &index_path, int64_t records, ListingTimes *times) {
  double start = Now();
  const FileRef index = FileSystem.OpenForReading(index_path.c_str());
  const int64_t size = index != NoFile ? FileSystem.SizeOf(index) : -1;
  for (int pass = 0; pass < 2; ++pass) {
    if (size < 0 || FillFloorItems(index, size) != records) Fail("cannot read", index_path);
    (pass == 0 ? times->First : times->Repeated).push_back(Now() - start);
    start = Now();
  }
  FileSystem.Close(index);
}

// ---- Export: GetFiles, the floor and the plain loop, in turns.

std::vector<std::string> ExportPaths(const PluginPanelItem *items, int count,
                                     const std::string &dest) {
  std::vector<std::string> paths;
  for (int i = 0; i < count; ++i) {
    char name[MAX_PATH * 2];
    MakeExportName(items[i].FindData.cFileName, name, sizeof name);
    paths.push_back(dest + Sep + name);
  }
  return paths;
}

// The floor: each path built, the file created, the message read at its
// offset in one positioned read, written in one write, the file closed.
void ExportFloor(const PluginPanelItem *items, int count, const std::string &dest,
                 const std::string &data_path) {
  static unsigned char buffer[65536];
  const FileRef data = FileSystem.OpenForReading(data_path.c_str());
  if (data == NoFile) Fail("cannot read", data_path);
  for (int i = 0; i < count; ++i) {
    char name[MAX_PATH * 2], path[MAX_PATH * 4];
    MakeExportName(items[i].FindData.cFileName, name, sizeof name);
    JoinExportPath(dest.c_str(), name, path, sizeof path);
    const FileRef out = CreateOrFail(path);
    const size_t size = items[i].FindData.nFileSizeLow;
    if (FileSystem.ReadAt(data, uint32_t(items[i].UserData), buffer, size) != size)
      Fail("cannot read", data_path);
    WriteOrFail(out, buffer, size, path);
    if (!FileSystem.Close(out)) Fail("cannot write", path);
  }
  FileSystem.Close(data);
}

// Every exported file holds its message, and there is nothing else.
void VerifyExport(const std::string &dest, const std::vector<std::string> &paths,
                  const std::vector<Message> &messages, const std::vector<unsigned char> &data) {
  std::vector<unsigned char> bytes(65537);
  for (size_t i = 0; i < paths.size(); ++i) {
    const FileRef file = FileSystem.OpenForReading(paths[i].c_str());
    if (file == NoFile) Fail("not exported", paths[i]);
    const size_t got = FileSystem.ReadAt(file, 0, bytes.data(), bytes.size());
    FileSystem.Close(file);
    if (got != messages[i].Size || memcmp(bytes.data(), &data[messages[i].Offset], got) != 0)
      Fail("exported wrongly", paths[i]);
  }
  size_t entries = 0;
  for (const auto &entry : std::filesystem::directory_iterator(dest))
    entries += !entry.is_directory();
  if (entries != paths.size()) Fail("other files than the messages in", dest);
}

struct ExportTimes {
  std::vector<double> Plugin, Floor, Plain;
};

// Every run into a directory of its own, all removed only at the end: ext4
// creates files slowly for a while after as many were deleted.
ExportTimes MeasureExport(const Options &options, const PluginApi &api, const std::string &index,
                          const std::vector<Message> &messages,
                          const std::vector<unsigned char> &data) {
  HANDLE folder = OpenFolder(api, index);
  PluginPanelItem *items = nullptr;
  int count = 0;
  if (!api.GetFindData(folder, &items, &count, 0) || count != int(messages.size()))
    Fail("cannot list", index);
  ExportTimes times;
  std::vector<double> *const sides[] = {&times.Plugin, &times.Floor, &times.Plain};
  for (int round = 0; round < options.Repeats; ++round) {
    for (int turn = 0; turn < 3; ++turn) {
      const int side = (turn + round) % 3;
      const std::string dest =
          TempDir + Sep + "export-" + std::to_string(side) + "-" + std::to_string(round);
      const std::vector<std::string> paths = ExportPaths(items, count, dest);
      MakeDirOrFail(dest);
      std::vector<char> dest_path(dest.begin(), dest.end());
      dest_path.push_back('\0');
      const double start = Now();
      if (side == 0 && !api.GetFiles(folder, items, count, 0, dest_path.data(), 0))
        Fail("GetFiles failed", dest);
      if (side == 1) ExportFloor(items, count, dest, DataPathOf(index));
      for (size_t i = 0; side == 2 && i < paths.size(); ++i) {
        const FileRef out = CreateOrFail(paths[i]);
        WriteOrFail(out, &data[messages[i].Offset], messages[i].Size, paths[i]);
        if (!FileSystem.Close(out)) Fail("cannot write", paths[i]);
      }
      sides[side]->push_back(Now() - start);
      if (Warnings > 0) Fail("the export warned", dest);
      if (round == 0 && side < 2) VerifyExport(dest, paths, messages, data);
    }
    if (options.Verbose)
      printf("  export round %d: GetFiles %.4f s, floor %.4f s, plain %.4f s\n", round,
             times.Plugin.back(), times.Floor.back(), times.Plain.back());
  }
  api.FreeFindData(folder, items, count);
  api.ClosePlugin(folder);
  return times;
}

// Nanoseconds per record: each date field copied out, as the listing does, and decoded.
double MeasureDateDecoding(int64_t decodes, uint64_t *sink) {
  static char texts[4096][DateTextSize + 1];
  uint64_t rng = 3;
  for (char *text : texts) {
    memset(text, 0, DateTextSize + 1);
    const std::string made = DateText(&rng);
    memcpy(text, made.data(), std::min(made.size(), size_t(DateTextSize)));
  }
  char scratch[DateTextSize + 1];
  const double start = Now();
  for (int64_t i = 0; i < decodes; ++i) {
    memcpy(scratch, texts[i % 4096], sizeof scratch);
    *sink += DecodeIndexDate(scratch);
  }
  return (Now() - start) * 1e9 / double(decodes);
}

// ---- Mail messages: the message reader on one large message, and folders of
// messages with attachments for vfolder

// Base64 in lines of 76, as mail programs write attachments.
std::string Base64Lines(const std::vector<unsigned char> &bytes) {
  static const char Digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve(bytes.size() / 57 * 77 + 80);
  for (size_t line = 0; line < bytes.size(); line += 57) {
    const size_t end = std::min(bytes.size(), line + 57);
    for (size_t i = line; i < end; i += 3) {
      const uint32_t n = uint32_t(bytes[i]) << 16 |
                         (i + 1 < end ? uint32_t(bytes[i + 1]) << 8 : 0) |
                         (i + 2 < end ? bytes[i + 2] : 0);
      out += Digits[n >> 18 & 63];
      out += Digits[n >> 12 & 63];
      out += i + 1 < end ? Digits[n >> 6 & 63] : '=';
      out += i + 2 < end ? Digits[n & 63] : '=';
    }
    out += '\n';
  }
  return out;
}

// A MIME message: headers, a text of some lines and, where `sizes` has any,
// attachments of random bytes of those sizes in base64, named after the
// message and their place ("file-12-3.bin"), each name unique in a folder.
std::string MailMessage(uint64_t *rng, int64_t number, const std::vector<uint32_t> &sizes) {
  const std::string boundary = "=_bench_" + std::to_string(number);
  std::string text;
  for (uint32_t lines = 3 + RandomBelow(rng, 40), i = 0; i < lines; ++i)
    text += "Line " + std::to_string(i) + " of message " + std::to_string(number) +
            ", text to be read and left alone.\n";
  std::string message = "From: Sender " + std::to_string(number) + " <s" + std::to_string(number) +
                        "@example.org>\nTo: reader@example.org\n" + "Subject: Report " +
                        std::to_string(number) +
                        "\nDate: Tue, 1 Dec 2026 10:00:00 +0000\nMIME-Version: 1.0\n";
  if (sizes.empty()) return message + "Content-Type: text/plain; charset=us-ascii\n\n" + text;
  message += "Content-Type: multipart/mixed; boundary=\"" + boundary + "\"\n\n--" + boundary +
             "\nContent-Type: text/plain; charset=us-ascii\n\n" + text;
  for (size_t k = 0; k < sizes.size(); ++k) {
    std::vector<unsigned char> bytes(sizes[k]);
    for (unsigned char &byte : bytes) byte = (unsigned char)RandomBelow(rng, 256);
    const std::string name = "file-" + std::to_string(number) + "-" + std::to_string(k) + ".bin";
    message += "--" + boundary + "\nContent-Type: application/octet-stream; name=\"" + name +
               "\"\nContent-Disposition: attachment; filename=\"" + name +
               "\"\nContent-Transfer-Encoding: base64\n\n" + Base64Lines(bytes);
  }
  return message + "--" + boundary + "--\n";
}

// A folder of the messages, in their order; returns each one's size.
std::vector<uint32_t> WriteMessages(const std::string &index_path,
                                    const std::vector<std::string> &messages) {
  uint64_t rng = 7;
  std::vector<unsigned char> index;
  std::vector<uint32_t> sizes;
  const FileRef data = CreateOrFail(DataPathOf(index_path));
  uint32_t offset = 0;
  for (size_t number = 0; number < messages.size(); ++number) {
    const uint32_t size = uint32_t(messages[number].size());
    AppendRecord(MakeRecord(&rng, int64_t(number), offset, size), &index);
    WriteOrFail(data, messages[number].data(), size, DataPathOf(index_path));
    sizes.push_back(size);
    offset += size;
  }
  if (!FileSystem.Close(data)) Fail("cannot write", DataPathOf(index_path));
  const FileRef file = CreateOrFail(index_path);
  WriteOrFail(file, index.data(), index.size(), index_path);
  if (!FileSystem.Close(file)) Fail("cannot write", index_path);
  return sizes;
}

bool CountPiece(void *context, const void *, size_t size) {
  *static_cast<uint64_t *>(context) += size;
  return true;
}

struct PartsRead {
  uint64_t Decoded = 0, Attached = 0;  // every leaf's decoded bytes; the attachments'
  uint64_t LargestPart = 0;            // the largest leaf's bytes in the message
  size_t Parts = 0;
};

bool CountPartPiece(void *context, size_t index, const void *, size_t size) {
  std::vector<uint64_t> *counts = static_cast<std::vector<uint64_t> *>(context);
  if (index >= counts->size()) counts->resize(index + 1, 0);
  (*counts)[index] += size;
  return true;
}

// How the reader is timed: its tree and every leaf from one reading, as the
// panel reads a message; the tree alone; the tree, then each leaf read
// again by DecodePart.
enum PartsWay { PartsInOnePass, PartsTreeAlone, PartsTreeThenLeaves };

// The reader's side: the data folder file opened, the message's tree of
// parts read, and every part with bytes of its own (leaves, uuencoded
// blocks) decoded into a sink that only counts. The containers are left
// out: their bytes are their children's.
PartsRead ReadParts(const std::string &data_path, uint32_t size, PartsWay way = PartsInOnePass) {
  StoredMessage stored = {FileSystem.OpenForReading(data_path.c_str()), 0, size};
  if (stored.DataFile == NoFile) Fail("cannot read", data_path);
  const MessageSource source = StoredMessageSource(&stored);
  MessageParts parts;
  std::vector<uint64_t> counts;
  if (way == PartsInOnePass ? !ReadAndDecodeMessageParts(source, &parts, CountPartPiece, &counts)
                            : !ReadMessageParts(source, &parts))
    Fail("the message reader cannot read", data_path);
  counts.resize(parts.Parts.size(), 0);
  PartsRead read;
  read.Parts = parts.Parts.size();
  for (size_t i = 0; i < parts.Parts.size() && way != PartsTreeAlone; ++i) {
    const MessagePart &part = parts.Parts[i];
    if (part.Kind != PartLeaf && part.Kind != PartUuencoded) continue;
    uint64_t ignored = 0;
    if (way == PartsTreeThenLeaves &&
        !DecodePart(source, parts, i, false, CountPiece, &counts[i], &ignored))
      Fail("the message reader cannot decode", data_path);
    read.Decoded += counts[i];
    if (part.IsAttachment) read.Attached += counts[i];
    read.LargestPart = std::max(read.LargestPart, part.BodyEnd - part.BodyStart);
  }
  FileSystem.Close(stored.DataFile);
  return read;
}

// The floor: the data folder file opened and the message's bytes read in
// 64 KiB positioned reads, counted.
uint64_t ReadMessageFloor(const std::string &data_path, uint32_t size) {
  static unsigned char buffer[ListingPiece];
  const FileRef file = FileSystem.OpenForReading(data_path.c_str());
  if (file == NoFile) Fail("cannot read", data_path);
  uint64_t read = 0;
  while (read < size) {
    const size_t got = FileSystem.ReadAt(file, read, buffer,
                                         size_t(std::min<uint64_t>(ListingPiece, size - read)));
    if (got == 0) Fail("cannot read", data_path);
    read += got;
  }
  FileSystem.Close(file);
  return read;
}

struct PartsTimes {
  std::vector<double> Reader, Floor, Tree, TwoPasses;
  PartsRead First;
};

// The large message alone in a folder, read by each side in turns.
PartsTimes MeasureParts(const Options &options, const std::string &index_path,
                        uint32_t message_size, uint64_t attached) {
  PartsTimes times;
  const std::string data_path = DataPathOf(index_path);
  for (int round = 0; round < options.Repeats; ++round) {
    for (int side = 0; side < 4; ++side) {
      const int which = (side + round) % 4;
      const double start = Now();
      if (which == 0) {
        if (ReadMessageFloor(data_path, message_size) != message_size)
          Fail("cannot read", index_path);
        times.Floor.push_back(Now() - start);
      } else if (which == 1) {
        const PartsRead read = ReadParts(data_path, message_size);
        times.Reader.push_back(Now() - start);
        if (read.Attached != attached) Fail("the attachments decode wrongly in", index_path);
        if (times.Reader.size() == 1) times.First = read;
      } else if (which == 2) {
        ReadParts(data_path, message_size, PartsTreeAlone);
        times.Tree.push_back(Now() - start);
      } else {
        if (ReadParts(data_path, message_size, PartsTreeThenLeaves).Attached != attached)
          Fail("the attachments decode wrongly in", index_path);
        times.TwoPasses.push_back(Now() - start);
      }
    }
  }
  return times;
}

#ifndef _WIN32
// ---- Linux: the listing's peak memory, and vfolder's outputs as processes

// The process's peak resident memory so far, from /proc/self/status.
int64_t PeakResidentKiB() {
  FILE *status = fopen("/proc/self/status", "r");
  char line[256];
  int64_t kib = -1;
  while (status != nullptr && fgets(line, sizeof line, status) != nullptr)
    if (sscanf(line, "VmHWM: %" SCNd64, &kib) == 1) break;
  if (status != nullptr) fclose(status);
  return kib;
}

// A child of this program: one listing by the plug-in, or by the floor with
// an empty plug-in path; prints the peak before and after.
int PeakChild(const std::string &index, const std::string &plugin) {
  const PluginApi api = plugin.empty() ? PluginApi{} : LoadPluginOrFail(plugin);
  const int64_t base = PeakResidentKiB();
  if (plugin.empty()) {
    const FileRef file = FileSystem.OpenForReading(index.c_str());
    FillFloorItems(file, FileSystem.SizeOf(file));
    FileSystem.Close(file);
  } else {
    HANDLE folder = OpenFolder(api, index);
    PluginPanelItem *items = nullptr;
    int count = 0;
    if (!api.GetFindData(folder, &items, &count, 0)) Fail("GetFindData failed on", index);
    api.FreeFindData(folder, items, count);
    api.ClosePlugin(folder);
  }
  printf("%" PRId64 " %" PRId64 "\n", base, PeakResidentKiB());
  return 0;
}

// A child of this program: the large message's parts read and decoded as
// the benchmark reads them; prints the peak before and after.
int PartsPeakChild(const std::string &index, const std::string &size) {
  const int64_t base = PeakResidentKiB();
  ReadParts(DataPathOf(index), uint32_t(strtoul(size.c_str(), nullptr, 10)));
  printf("%" PRId64 " %" PRId64 "\n", base, PeakResidentKiB());
  return 0;
}

// The output of a command, or empty when it failed.
std::string Output(const std::string &command) {
  std::string text;
  FILE *pipe = popen(command.c_str(), "r");
  char buffer[4096];
  for (size_t got; pipe != nullptr && (got = fread(buffer, 1, sizeof buffer, pipe)) > 0;)
    text.append(buffer, got);
  return pipe != nullptr && pclose(pipe) == 0 ? text : std::string();
}

std::string Quoted(const std::string &text) { return "'" + text + "'"; }

// The floor of the mbox: a process that reads each message of the folder at
// its offset and writes its bytes into one new file, one write each.
int FloorChild(const std::string &index_path, const std::string &out_path) {
  const FileRef index = FileSystem.OpenForReading(index_path.c_str());
  const FileRef data = FileSystem.OpenForReading(DataPathOf(index_path).c_str());
  const int64_t size = index != NoFile && data != NoFile ? FileSystem.SizeOf(index) : -1;
  std::vector<unsigned char> records(size > 0 ? size_t(size) : 0), message(65536);
  if (size < 0 || FileSystem.ReadAt(index, 0, records.data(), records.size()) != records.size())
    Fail("cannot read", index_path);
  const FileRef out = CreateOrFail(out_path);
  for (size_t at = 0; at + IndexRecordSize <= records.size(); at += IndexRecordSize) {
    uint32_t offset, length;
    memcpy(&offset, &records[at + DataOffsetOffset], 4);
    memcpy(&length, &records[at + MessageSizeOffset], 4);
    if (FileSystem.ReadAt(data, offset, message.data(), length) != length)
      Fail("cannot read", index_path);
    WriteOrFail(out, message.data(), length, out_path);
  }
  return FileSystem.Close(out) ? 0 : 1;
}

// hyperfine's median of `runs` runs of one command (its output taken out of
// the way before each; none when `out` is empty), in seconds; -1 when it failed. On tmpfs the outputs
// are deleted: files kept by the hundred thousand slow the next ones down.
// Elsewhere they are moved aside and deleted only at the end: ext4 creates
// files slowly for a while after many were deleted.
double Hyperfine(const Options &options, int runs, const std::string &command,
                 const std::string &out, bool out_is_dir) {
  const std::string json = TempDir + "/hyperfine.json", trash = TempDir + "/trash";
  const std::string aside = FileSystemName(TempDir) == "tmpfs"
                                ? "rm -rf " + Quoted(out)
                                : "mkdir -p " + Quoted(trash) + " && { [ ! -e " + Quoted(out) +
                                      " ] || mv " + Quoted(out) + " " + Quoted(trash) +
                                      "/$(date +%s%N); }";
  // Each run starts with nothing of the last one still to be written back:
  // ext4 writing the last run's files meanwhile made one run twice another.
  const std::string prepare =
      out.empty() ? "sync" : aside + (out_is_dir ? " && mkdir " + Quoted(out) : "") + " && sync";
  const std::string run = "hyperfine --style none --warmup 1 --runs " + std::to_string(runs) +
                          " --export-json " + Quoted(json) + " --prepare " + Quoted(prepare) + " " +
                          Quoted(command) + " >/dev/null";
  if (options.Verbose) printf("  %s\n", command.c_str());
  const bool ran = system(run.c_str()) == 0;
  const std::string report = Output("cat " + Quoted(json));
  if (!out.empty()) Output(aside);
  const size_t median = report.find("\"median\":");
  return ran && median != std::string::npos ? atof(report.c_str() + median + 9) : -1;
}

// The directory of folders: in three levels, each folder its own messages.
void WriteTree(const Options &options, const std::string &top) {
  MakeDirOrFail(top);
  std::vector<Message> ignored;
  for (int64_t n = 0; n < options.TreeFolders; ++n) {
    // Ten at the top, then six in each directory and two more a level below.
    std::string dir = top;
    if (n >= 10) {
      dir += "/Dir" + std::to_string((n - 10) / 8);
      if (!std::filesystem::exists(dir)) MakeDirOrFail(dir);
      if ((n - 10) % 8 >= 6) {
        dir += "/Sub";
        if (!std::filesystem::exists(dir)) MakeDirOrFail(dir);
      }
    }
    WriteMailFolder(dir + "/Folder" + std::to_string(n) + ".IDX", options.TreeMessages,
                    100 + uint64_t(n), &ignored);
  }
}

struct VfolderFigures {
  double Seconds[5] = {-1, -1, -1, -1, -1};  // floor, copy, copy --eml, mbox, maildir
  double Tree[3] = {-1, -1, -1};             // copy --eml, mbox, maildir of the directory
  double Before[3] = {-1, -1, -1};           // the same on the folder, timed again just before
  double Resumed[2] = {-1, -1};              // mbox --append and maildir, with --resume
  double Verify[2] = {-1, -1};               // verify of the directory's mbox, maildir
};

const char *const Commands[] = {"floor", "copy", "copy --eml", "mbox", "maildir"};

// Each output on the folder, then each on the directory right after the
// same on the folder once more: each pair that a target compares meets the
// machine in the same state. ext4 creates files more slowly after a few
// hundred thousand, so the folder's outputs all come before the directory's.
VfolderFigures MeasureVfolder(const Options &options, const char *self, const std::string &index) {
  VfolderFigures figures;
  if (Output("hyperfine --version").empty() || access(options.Vfolder.c_str(), X_OK) != 0)
    return figures;
  const std::string vfolder = Quoted(options.Vfolder) + " ";
  const std::string out = TempDir + "/vfolder-out", tree = TempDir + "/Mail";
  WriteTree(options, tree);
  // With a ledger, new for each run: the output synced a piece or a batch at
  // a time, and the ledger's lines after. Timed right after the same output
  // without one, so that the two meet the disk in the same state: after the
  // directory's runs, ext4 made them two or three times slower.
  const std::string ledger = TempDir + "/vfolder.ledger";
  for (int side = 0; side < 5; ++side) {
    const std::string command =
        side == 0 ? Quoted(self) + " --floor-child " + Quoted(index) + " " + Quoted(out)
                  : vfolder + Commands[side] + " " + Quoted(index) + " " + Quoted(out);
    figures.Seconds[side] =
        Hyperfine(options, options.Repeats, command, out, side == 1 || side == 2);
    if (side >= 3)
      figures.Resumed[side - 3] = Hyperfine(
          options, options.Repeats,
          "rm -f " + Quoted(ledger) + " && " + vfolder + "--resume --ledger " + Quoted(ledger) +
              (side == 3 ? " --append mbox " : " maildir ") + Quoted(index) + " " + Quoted(out),
          out, false);
  }
  Output("rm -f " + Quoted(ledger));
  for (int side = 2; side < 5; ++side) {
    figures.Before[side - 2] = Hyperfine(
        options, options.Repeats,
        vfolder + Commands[side] + " " + Quoted(index) + " " + Quoted(out), out, side == 2);
    figures.Tree[side - 2] =
        Hyperfine(options, std::max(options.Repeats / 2, 1),
                  vfolder + Commands[side] + " " + Quoted(tree) + " " + Quoted(out), out, false);
  }
  // verify reads back what the conversion of the directory wrote, made once.
  for (int side = 3; side < 5; ++side) {
    const std::string made = TempDir + "/verify-out";
    Output("rm -rf " + Quoted(made));
    if (Output(vfolder + Commands[side] + " " + Quoted(tree) + " " + Quoted(made) +
               " 2>/dev/null && echo made")
            .empty())
      continue;
    figures.Verify[side - 3] =
        Hyperfine(options, std::max(options.Repeats / 2, 1),
                  vfolder + "verify " + Quoted(tree) + " " + Quoted(made), "", false);
    Output("rm -rf " + Quoted(made));
  }
  return figures;
}

// Each file under `dir` (its path below `dir`) with its size and digest.
struct FoundFile {
  std::string Path;
  uint64_t Size, Digest;
};

std::vector<FoundFile> FilesUnder(const std::string &dir) {
  std::vector<FoundFile> found;
  std::error_code error;
  for (auto entry = std::filesystem::recursive_directory_iterator(dir, error);
       !error && entry != std::filesystem::recursive_directory_iterator(); entry.increment(error)) {
    if (!entry->is_regular_file()) continue;
    const std::string path = entry->path().string();
    FoundFile file = {path.substr(dir.size() + 1), 0, 0xCBF29CE484222325u};
    const FileRef in = FileSystem.OpenForReading(path.c_str());
    if (in == NoFile) Fail("cannot read", path);
    static unsigned char buffer[ListingPiece];
    for (size_t got; (got = FileSystem.ReadAt(in, file.Size, buffer, sizeof buffer)) > 0;) {
      for (size_t i = 0; i < got; ++i) file.Digest = (file.Digest ^ buffer[i]) * 0x100000001B3u;
      file.Size += got;
    }
    FileSystem.Close(in);
    found.push_back(file);
  }
  return found;
}

// What is in `a` and not in `b`, as a multiset of `key`s.
template <typename Key>
std::vector<std::string> Missing(std::vector<FoundFile> a, std::vector<FoundFile> b, Key key) {
  std::vector<std::string> ka, kb, missing;
  for (const FoundFile &file : a) ka.push_back(key(file));
  for (const FoundFile &file : b) kb.push_back(key(file));
  std::sort(ka.begin(), ka.end());
  std::sort(kb.begin(), kb.end());
  std::set_difference(ka.begin(), ka.end(), kb.begin(), kb.end(), std::back_inserter(missing));
  return missing;
}

struct AttachmentFigures {
  double Seconds[3] = {-1, -1, -1};      // vfolder attachments, vfolder copy --eml, ripmime
  size_t Files[2] = {0, 0};              // attachments written by vfolder, by ripmime
  size_t ContentsDiffer = 0;             // contents in one of them only, either way
  std::vector<std::string> NamesDiffer;  // names in one only, "vfolder: " or "ripmime: " first
};

// ripmime on the directory of .eml files in one process: it goes down the
// directory itself, which is faster than one process for each file.
std::string RipmimeCommand(const std::string &eml_dir, const std::string &out) {
  return "ripmime -q --no-nameless -i " + Quoted(eml_dir) + " -d " + Quoted(out) +
         " >/dev/null 2>&1";
}

// vfolder attachments against copy --eml of the same folder and against
// ripmime on the .eml files copy --eml made, all through hyperfine; before
// the timed runs, one run of each checks that both take out the same bytes.
AttachmentFigures MeasureAttachments(const Options &options, const std::string &index) {
  AttachmentFigures figures;
  if (Output("hyperfine --version").empty() || access(options.Vfolder.c_str(), X_OK) != 0)
    return figures;
  const bool ripmime = !Output("command -v ripmime").empty();
  const std::string vfolder = Quoted(options.Vfolder) + " ";
  const std::string eml = TempDir + "/attachments-eml", out = TempDir + "/attachments-out";
  const std::string ours = TempDir + "/attachments-vfolder",
                    theirs = TempDir + "/attachments-ripmime";
  const std::string make_eml = vfolder + "copy --eml " + Quoted(index) + " " + Quoted(eml);
  const std::string take_out = vfolder + "attachments " + Quoted(index) + " " + Quoted(ours);
  if (system((make_eml + " 2>/dev/null").c_str()) != 0 ||
      system((take_out + " 2>/dev/null").c_str()) != 0)
    Fail("vfolder failed on", index);
  const std::vector<FoundFile> written = FilesUnder(ours);
  figures.Files[0] = written.size();
  if (ripmime) {
    MakeDirOrFail(theirs);
    if (system(RipmimeCommand(eml, theirs).c_str()) != 0) Fail("ripmime failed on", eml);
    const std::vector<FoundFile> taken = FilesUnder(theirs);
    figures.Files[1] = taken.size();
    const auto contents = [](const FoundFile &file) {
      return std::to_string(file.Size) + ":" + std::to_string(file.Digest);
    };
    const auto name = [](const FoundFile &file) {
      return std::filesystem::path(file.Path).filename().string();
    };
    figures.ContentsDiffer =
        Missing(written, taken, contents).size() + Missing(taken, written, contents).size();
    for (const std::string &missing : Missing(written, taken, name))
      figures.NamesDiffer.push_back("vfolder: " + missing);
    for (const std::string &missing : Missing(taken, written, name))
      figures.NamesDiffer.push_back("ripmime: " + missing);
    std::filesystem::remove_all(theirs);
  }
  std::filesystem::remove_all(ours);
  figures.Seconds[0] =
      Hyperfine(options, options.Repeats,
                vfolder + "attachments " + Quoted(index) + " " + Quoted(out), out, false);
  figures.Seconds[1] =
      Hyperfine(options, options.Repeats,
                vfolder + "copy --eml " + Quoted(index) + " " + Quoted(out), out, true);
  if (ripmime)
    figures.Seconds[2] = Hyperfine(options, options.Repeats, RipmimeCommand(eml, out), out, true);
  return figures;
}
#endif

// ---- Report

void PrintRow(const char *label, double units, double seconds, double ratio) {
  printf("  %-46s %12.0f %10.4f", label, units / seconds, seconds);
  if (ratio > 0) printf(" %8.2f", ratio);
  printf("\n");
}

// One target; `label` holds a %.1f for it. A ratio below 0 was not measured.
void PrintTarget(const char *label, double target, double ratio) {
  char text[160];
  snprintf(text, sizeof text, label, target);
  if (ratio < 0)
    printf("  %-52s     -  not measured\n", text);
  else
    printf("  %-52s %5.2f  %s\n", text, ratio, ratio <= target ? "met" : "NOT met");
}

[[maybe_unused]] double Ratio(double a, double b) { return a > 0 && b > 0 ? a / b : -1; }

Options ParseOptions(int argc, char **argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string flag = argv[i];
    const char *value = i + 1 < argc ? argv[i + 1] : nullptr;
    if (flag == "--smoke") {
      options.Smoke = true;
      options.Records = 5000, options.Messages = 200, options.Repeats = 2;
      options.TreeFolders = 12, options.TreeMessages = 20, options.PartBytes = 30000;
    } else if (flag == "--keep") {
      options.Keep = true;
    } else if (flag == "--verbose") {
      options.Verbose = true;
    } else if (value != nullptr && flag == "--records") {
      options.Records = atoll(argv[++i]);
    } else if (value != nullptr && flag == "--messages") {
      options.Messages = atoll(argv[++i]);
    } else if (value != nullptr && flag == "--repeats") {
      options.Repeats = atoi(argv[++i]);
    } else if (value != nullptr && flag == "--plugin") {
      options.Plugin = argv[++i];
    } else if (value != nullptr && flag == "--vfolder") {
      options.Vfolder = argv[++i];
    } else if (value != nullptr && flag == "--tmp") {
      options.TempParent = argv[++i];
    } else if (value != nullptr && flag == "--only") {
      options.Only = argv[++i];
    } else {
      fputs(
          "usage: vessor_bench [--records N] [--messages N] [--repeats N] [--smoke] [--verbose]\n"
          "                    [--plugin PATH] [--vfolder PATH] [--tmp DIR]\n"
          "                    [--only listing,export,parts,vfolder,attachments] [--keep]\n"
          "Times the plug-in's listing and export and the message reader against the\n"
          "machine's floor, and on Linux vfolder's outputs and attachments (and\n"
          "ripmime's) with hyperfine; prints each target met or not.\n"
          "Defaults: 1000000 records, 10000 messages, 5 rounds. --smoke: tiny sizes.\n",
          flag == "--help" ? stdout : stderr);
      exit(flag == "--help" ? 0 : 2);
    }
  }
  if (options.Records < 1 || options.Records > INT32_MAX || options.Messages < 1 ||
      options.Messages > 1000000 || options.Repeats < 1)
    Fail("a count out of range", "");
  if (options.Plugin.empty()) {
    char path[4096];
    if (!DefaultPluginPath(path, sizeof path)) Fail("cannot find the plug-in", "");
    options.Plugin = path;
  }
  if (options.TempParent.empty()) {
    const char *tmp = getenv("TMPDIR");
    options.TempParent =
        tmp != nullptr && tmp[0] != '\0' ? tmp : std::filesystem::temp_directory_path().string();
  }
  return options;
}

#ifndef _WIN32
// The reader's peak memory, each in a process of its own, on messages made
// to make it hold much: 16 MB of delimiter lines, 16 MB of uuencoded
// blocks, 12,000 attachments, 2,000 of names of 15 KB, 70 levels of nesting. Its bound: the largest
// part and 8 MiB over the process's start.
void MeasureHostileParts(const std::string &self) {
  const std::string head = "From: a@example.org\r\nSubject: hostile\r\nMIME-Version: 1.0\r\n";
  std::string delimiters = head + "Content-Type: multipart/mixed; boundary=b\r\n\r\n";
  while (delimiters.size() < (16u << 20)) delimiters += "--b\r\n";
  std::string blocks = head + "\r\n";
  while (blocks.size() < (16u << 20)) blocks += "begin 644 a\r\nend\r\n";
  std::string many = head + "Content-Type: multipart/mixed; boundary=b\r\n\r\n";
  for (int i = 0; i < 12000; ++i)
    many += "--b\r\nContent-Type: application/octet-stream; name=\"a b.bin\"\r\n\r\nx\r\n";
  std::string named = head + "Content-Type: multipart/mixed; boundary=b\r\n\r\n";
  for (int i = 0; i < 2000; ++i)
    named += "--b\r\nContent-Type: application/octet-stream; name=\"" + std::string(15000, 'n') +
             ".bin\"\r\n\r\nx\r\n";
  std::string deep = head + "Content-Type: multipart/mixed; boundary=b0\r\n\r\n";
  for (int i = 1; i < 70; ++i)
    deep += "--b" + std::to_string(i - 1) + "\r\nContent-Type: multipart/mixed; boundary=b" +
            std::to_string(i) + "\r\n\r\n";
  const struct {
    const char *Name;
    const std::string &Message;
  } cases[] = {{"16 MB of delimiter lines", delimiters},
               {"16 MB of uuencoded blocks", blocks},
               {"12,000 attachments", many},
               {"2,000 attachments of 15 KB names", named},
               {"70 levels of nesting", deep}};
  printf("the reader's peak memory on hostile messages, a process each    MiB over its start\n");
  const std::string index = TempDir + Sep + "HOSTILE.IDX";
  for (const auto &hostile : cases) {
    const uint32_t size = WriteMessages(index, {hostile.Message})[0];
    const std::string line =
        Output(Quoted(self) + " --parts-peak-child " + Quoted(index) + " " + std::to_string(size));
    int64_t peak[2] = {};
    if (sscanf(line.c_str(), "%" SCNd64 " %" SCNd64, &peak[0], &peak[1]) != 2)
      Fail("a memory child failed", line);
    const double over = double(peak[1] - peak[0]) / 1024;
    printf("  %-46s %8.1f  %s\n", hostile.Name, over,
           over <= 8 ? "within 8 MiB" : "OVER the bound of 8 MiB");
    FileSystem.Remove(index.c_str());
    FileSystem.Remove(DataPathOf(index).c_str());
  }
  printf("\n");
  fflush(stdout);
}
#endif

int RunBenchmarks(const Options &options, [[maybe_unused]] const char *self) {
  for (int attempt = 0; TempDir.empty() && attempt < 100; ++attempt) {
    const std::string path = options.TempParent + Sep + "vessor_bench." +
                             std::to_string(uint64_t(Now() * 1e6) % 1000000000u) + "." +
                             std::to_string(attempt);
    bool exists = false;
    if (FileSystem.MakeDirectory(path.c_str(), DefaultAccess, &exists)) TempDir = path;
  }
  if (TempDir.empty()) Fail("cannot create a directory in", options.TempParent);
  if (options.Keep)
    printf("kept: %s\n", TempDir.c_str());
  else
    atexit(RemoveTempDir);
  const bool windows = Sep[0] == '\\', build32 = sizeof(void *) == 4;
  printf("vessor_bench%s: %" PRId64 " records, %" PRId64 " messages, median of %d rounds\n",
         options.Smoke ? " --smoke" : "", options.Records, options.Messages, options.Repeats);
  printf("build: %s %s, sizeof(PluginPanelItem) = %d; temporary directory %s (%s)\n\n",
         windows ? "Windows" : "Linux", build32 ? "32-bit" : "64-bit", int(sizeof(PluginPanelItem)),
         TempDir.c_str(), FileSystemName(TempDir).c_str());
  fflush(stdout);
  const PluginApi api = LoadPluginOrFail(options.Plugin);

  const std::string listing_index = TempDir + Sep + "LISTING.IDX";
  const double records = double(options.Records), files = double(options.Messages);
  [[maybe_unused]] const double tree_messages = double(options.TreeFolders * options.TreeMessages);
  double first_ratio = -1, repeated_ratio = -1;
  [[maybe_unused]] double listing_peak = -1, items_mib = 0;
  ListingTimes plugin, floor;
  if (Runs(options, "listing")) {
  WriteListingIndex(listing_index, options.Records);
  uint64_t digest = 0;
  // A round first that is not counted, as hyperfine warms up: on a virtual
  // machine that hands free memory back to its host, the first block of huge
  // pages after much was freed waits for the host to give it back.
  ListingTimes warming;
  for (int round = -1; round < options.Repeats; ++round) {
    for (int side = 0; side < 2; ++side) {
      if ((side + round + 2) % 2 == 0)
        ListWithPlugin(api, listing_index, options.Records, round == 0 ? &digest : nullptr,
                       round < 0 ? &warming : &plugin);
      else
        ListFloor(listing_index, options.Records, round < 0 ? &warming : &floor);
    }
  }
  if (Warnings > 0) Fail("the listing warned", listing_index);
  first_ratio = Median(plugin.First) / Median(floor.First);
  repeated_ratio = Median(plugin.Repeated) / Median(floor.Repeated);
  printf("listing of %" PRId64 " records                        records/s    seconds  x floor\n",
         options.Records);
  PrintRow("floor, first: open + 64 KiB reads + items", records, Median(floor.First), 0);
  PrintRow("plug-in, first: OpenFilePlugin + GetFindData", records, Median(plugin.First),
           first_ratio);
  PrintRow("floor, repeated", records, Median(floor.Repeated), 0);
  PrintRow("plug-in, repeated: GetFindData", records, Median(plugin.Repeated), repeated_ratio);
  printf("  items digest %016" PRIx64 "\n\n", digest);
  fflush(stdout);
#ifndef _WIN32
  int64_t peaks[2][2] = {};
  for (int side = 0; side < 2; ++side) {
    const std::string line = Output(Quoted(self) + " --peak-child " + Quoted(listing_index) + " " +
                                    Quoted(side == 0 ? options.Plugin : ""));
    if (sscanf(line.c_str(), "%" SCNd64 " %" SCNd64, &peaks[side][0], &peaks[side][1]) != 2)
      Fail("a memory child failed", line);
  }
  items_mib = double(sizeof(PluginPanelItem)) * records / 1048576;
  listing_peak = double(peaks[0][1]) / 1024;
  printf(
      "listing's peak resident memory, a process each: plug-in %.1f MiB (%.1f before), floor "
      "%.1f MiB; the items take %.1f MiB\n\n",
      double(peaks[0][1]) / 1024, double(peaks[0][0]) / 1024, double(peaks[1][1]) / 1024,
      items_mib);
#endif
  FileSystem.Remove(listing_index.c_str());
  }

  const std::string export_index = TempDir + Sep + "EXPORT.IDX";
  std::vector<Message> messages;
  // Made only for the rows that read it.
  const std::vector<unsigned char> data =
      Runs(options, "export") || Runs(options, "vfolder")
          ? WriteMailFolder(export_index, options.Messages, 2, &messages)
          : std::vector<unsigned char>();
  double export_ratio = -1, plain_ratio = -1;
  if (Runs(options, "export")) {
  const ExportTimes exported = MeasureExport(options, api, export_index, messages, data);
  export_ratio = Median(exported.Plugin) / Median(exported.Floor);
  plain_ratio = Median(exported.Plugin) / Median(exported.Plain);
  printf("export of %" PRId64 " messages (%.1f MB)                  files/s    seconds  x floor\n",
         options.Messages, double(data.size()) / 1e6);
  PrintRow("plain: create + write + close", files, Median(exported.Plain), 0);
  PrintRow("floor: path, create, positioned read, write", files, Median(exported.Floor), 0);
  PrintRow("GetFiles", files, Median(exported.Plugin), export_ratio);
  printf("  GetFiles x plain: %.2f\n\n", plain_ratio);
  fflush(stdout);

  // What the native hosts add to a folder's first listing where no code page
  // is chosen: the guess from the heads of a sample of its messages, beside
  // the first listing of as many records.
  std::vector<double> guesses;
  unsigned guessed = 0;
  for (int round = 0; round < options.Repeats; ++round) {
    const double start = Now();
    FolderHandle *folder = CreateFolderHandle(export_index.c_str());
    if (folder == nullptr) Fail("cannot open", export_index);
    guessed = DeclaredCodePage(folder);
    ReleaseFolderHandle(folder);
    guesses.push_back(Now() - start);
  }
  printf("code page of names guessed from %u heads of %" PRId64
         " messages: %.3f ms (code page %u); the first listing of as many records: %.3f ms\n\n",
         unsigned(std::min<int64_t>(CharsetSampleMessages, options.Messages)), options.Messages,
         Median(guesses) * 1e3, guessed,
         Median(plugin.First) * double(options.Messages) / records * 1e3);
  fflush(stdout);

  uint64_t sink = 0;
  const double date_ns = MeasureDateDecoding(options.Records * 4, &sink);
  printf("date decoding: %.1f ns per record (sum %" PRIu64 ")\n\n", date_ns, sink);
  }

  // One message of ten attachments, alone in its folder.
  double parts_ratio = -1;
  [[maybe_unused]] double parts_peak_mib = -1, largest_mib = 0;
  if (Runs(options, "parts")) {
  const std::string parts_index = TempDir + Sep + "PARTS.IDX";
  uint64_t parts_rng = 11;
  const std::vector<uint32_t> part_sizes(PartsAttachments, options.PartBytes);
  const uint32_t parts_size =
      WriteMessages(parts_index, {MailMessage(&parts_rng, 0, part_sizes)})[0];
  const PartsTimes parts = MeasureParts(options, parts_index, parts_size,
                                        uint64_t(PartsAttachments) * options.PartBytes);
  parts_ratio = Median(parts.Reader) / Median(parts.Floor);
  const double parts_mb = double(parts_size) / 1e6;
  printf(
      "parts of a message of %d attachments (%.1f MB, %d parts)       MB/s    seconds  x floor\n",
      PartsAttachments, parts_mb, int(parts.First.Parts));
  PrintRow("floor: open + 64 KiB positioned reads", parts_mb, Median(parts.Floor), 0);
  PrintRow("ReadAndDecodeMessageParts (tree + every leaf)", parts_mb, Median(parts.Reader),
           parts_ratio);
  PrintRow("  ReadMessageParts alone (the tree)", parts_mb, Median(parts.Tree),
           Median(parts.Tree) / Median(parts.Floor));
  PrintRow("  ReadMessageParts, then DecodePart of each leaf", parts_mb,
           Median(parts.TwoPasses), Median(parts.TwoPasses) / Median(parts.Floor));
#ifndef _WIN32
  largest_mib = double(parts.First.LargestPart) / 1048576;
  int64_t parts_peak[2] = {};
  const std::string parts_line = Output(Quoted(self) + " --parts-peak-child " +
                                        Quoted(parts_index) + " " + std::to_string(parts_size));
  if (sscanf(parts_line.c_str(), "%" SCNd64 " %" SCNd64, &parts_peak[0], &parts_peak[1]) != 2)
    Fail("a memory child failed", parts_line);
  parts_peak_mib = double(parts_peak[1]) / 1024;
  printf(
      "  reader's peak resident memory, a process of its own: %.1f MiB (%.1f before); the "
      "largest part %.1f MiB\n",
      double(parts_peak[1]) / 1024, double(parts_peak[0]) / 1024, largest_mib);
#endif
  printf("\n");
  fflush(stdout);
  FileSystem.Remove(parts_index.c_str());
  FileSystem.Remove(DataPathOf(parts_index).c_str());
#ifndef _WIN32
  MeasureHostileParts(self);
#endif
  }

#ifndef _WIN32
  const VfolderFigures vfolder =
      Runs(options, "vfolder") ? MeasureVfolder(options, self, export_index) : VfolderFigures();
  if (Runs(options, "vfolder")) {
  const double megabytes = double(data.size()) / 1e6;
  printf("vfolder on the export folder, hyperfine, a process a run   MB/s    seconds\n");
  for (int side = 0; side < 5; ++side) {
    const std::string label = side == 0 ? "floor: each message read, written into one file"
                                        : std::string("vfolder ") + Commands[side];
    if (vfolder.Seconds[side] < 0)
      printf("  %-46s not measured (no hyperfine, no vfolder, or it failed)\n", label.c_str());
    else
      PrintRow(label.c_str(), megabytes, vfolder.Seconds[side], 0);
  }
  for (int side = 0; side < 2; ++side)
    if (vfolder.Resumed[side] > 0)
      PrintRow(side == 0 ? "vfolder --resume mbox --append" : "vfolder --resume maildir",
               megabytes, vfolder.Resumed[side], 0);
  printf("the same on a directory of %" PRId64 " folders, %.0f messages    messages/s\n",
         options.TreeFolders, tree_messages);
  for (int side = 0; side < 3; ++side) {
    if (vfolder.Before[side] > 0)
      PrintRow((std::string("vfolder ") + Commands[side + 2] + ", the folder just before").c_str(),
               files, vfolder.Before[side], 0);
    if (vfolder.Tree[side] > 0)
      PrintRow((std::string("vfolder ") + Commands[side + 2] + " DIR").c_str(), tree_messages,
               vfolder.Tree[side], 0);
  }
  for (int side = 0; side < 2; ++side)
    if (vfolder.Verify[side] > 0)
      PrintRow((std::string("vfolder verify DIR, its ") + Commands[side + 3]).c_str(),
               tree_messages, vfolder.Verify[side], 0);
  printf("\n");
  }

  // A folder in which every fifth message has an attachment of up to 32 KiB.
  AttachmentFigures attached;
  if (Runs(options, "attachments")) {
  const std::string mail_index = TempDir + Sep + "ATTACH.IDX";
  std::vector<std::string> mail;
  uint64_t mail_rng = 13;
  for (int64_t number = 0; number < options.Messages; ++number)
    mail.push_back(MailMessage(&mail_rng, number,
                               number % 5 == 0
                                   ? std::vector<uint32_t>{1 + RandomBelow(&mail_rng, 32768)}
                                   : std::vector<uint32_t>{}));
  double mail_mb = 0;
  for (const uint32_t size : WriteMessages(mail_index, mail)) mail_mb += double(size) / 1e6;
  mail.clear();
  attached = MeasureAttachments(options, mail_index);
  const size_t expected_files = size_t((options.Messages + 4) / 5);
  if (attached.Seconds[0] > 0 && attached.Files[0] != expected_files)
    Fail("vfolder attachments wrote other files than the attachments of", mail_index);
  printf("attachments of %" PRId64
         " messages (%.1f MB, %zu attachments), hyperfine  messages/s    seconds\n",
         options.Messages, mail_mb, expected_files);
  const char *const attachment_sides[] = {"vfolder attachments", "vfolder copy --eml",
                                          "ripmime on the .eml files, one process"};
  for (int side = 0; side < 3; ++side) {
    if (attached.Seconds[side] < 0)
      printf("  %-46s not measured (no hyperfine, vfolder or ripmime, or it failed)\n",
             attachment_sides[side]);
    else
      PrintRow(attachment_sides[side], files, attached.Seconds[side], 0);
  }
  if (attached.Seconds[2] > 0) {
    printf(
        "  files: vfolder %zu, ripmime %zu; contents in one only: %zu%s; names in one only: %zu\n",
        attached.Files[0], attached.Files[1], attached.ContentsDiffer,
        attached.ContentsDiffer == 0 ? " (the same bytes)" : " (NOT the same bytes)",
        attached.NamesDiffer.size());
    for (size_t i = 0; i < attached.NamesDiffer.size() && i < 10; ++i)
      printf("    %s\n", attached.NamesDiffer[i].c_str());
  }
  printf("\n");
  }
#endif

  printf("targets%s\n", options.Smoke ? " (smoke sizes: not meaningful)" : "");
  PrintTarget("first listing <= %.1f x its floor", ListingTarget, first_ratio);
  PrintTarget("repeated listing <= %.1f x its floor", ListingTarget, repeated_ratio);
  PrintTarget("message parts <= %.1f x reading its bytes", PartsTarget, parts_ratio);
  if (!windows)
    PrintTarget(("export <= %.1f x its floor (" + FileSystemName(TempDir) + ")").c_str(),
                ExportTarget, export_ratio);
  if (windows && build32)
    PrintTarget("export <= %.1f x create/write/close", WineExportTarget, plain_ratio);
#ifndef _WIN32
  if (listing_peak >= 0)
    printf("  %-52s %5.1f  %s\n", "listing peak <= items + 8 MiB", listing_peak,
           listing_peak <= items_mib + 8 ? "met" : "NOT met");
  if (parts_peak_mib >= 0)
    printf("  %-52s %5.1f  %s\n", "message reader's peak <= largest part + 8 MiB",
           parts_peak_mib, parts_peak_mib <= largest_mib + 8 ? "met" : "NOT met");
  PrintTarget("vfolder mbox <= %.1f x its floor", MboxTarget,
              Ratio(vfolder.Seconds[3], vfolder.Seconds[0]));
  PrintTarget("vfolder maildir <= %.1f x copy", FilesTarget,
              Ratio(vfolder.Seconds[4], vfolder.Seconds[1]));
  PrintTarget("vfolder copy --eml <= %.1f x copy", FilesTarget,
              Ratio(vfolder.Seconds[2], vfolder.Seconds[1]));
  PrintTarget("vfolder --resume mbox --append <= %.1f x without", ResumeTarget,
              Ratio(vfolder.Resumed[0], vfolder.Seconds[3]));
  PrintTarget("vfolder --resume maildir <= %.1f x without", ResumeTarget,
              Ratio(vfolder.Resumed[1], vfolder.Seconds[4]));
  PrintTarget("vfolder attachments <= %.1f x copy --eml", AttachmentsTarget,
              Ratio(attached.Seconds[0], attached.Seconds[1]));
  PrintTarget("vfolder attachments <= %.1f x ripmime", 1.0,
              Ratio(attached.Seconds[0], attached.Seconds[2]));
  for (int side = 0; side < 3; ++side) {
    const std::string label =
        std::string("vfolder ") + Commands[side + 2] + " DIR, per message <= %.1f x one folder's";
    PrintTarget(label.c_str(), TreeTarget,
                Ratio(vfolder.Tree[side] / tree_messages, vfolder.Before[side] / files));
  }
  for (int side = 0; side < 2; ++side)
    PrintTarget((std::string("vfolder verify DIR <= %.1f x ") + Commands[side + 3] + " DIR").c_str(),
                VerifyTarget, Ratio(vfolder.Verify[side], vfolder.Tree[side + 1]));
#endif
  fflush(stdout);
  PluginApi loaded = api;
  UnloadPlugin(&loaded);
  return 0;
}

}  // namespace

int main(int argc, char **argv) {
#ifndef _WIN32
  if (argc == 4 && !strcmp(argv[1], "--peak-child")) return PeakChild(argv[2], argv[3]);
  if (argc == 4 && !strcmp(argv[1], "--floor-child")) return FloorChild(argv[2], argv[3]);
  if (argc == 4 && !strcmp(argv[1], "--parts-peak-child")) return PartsPeakChild(argv[2], argv[3]);
#endif
  return RunBenchmarks(ParseOptions(argc, argv), argv[0]);
}
