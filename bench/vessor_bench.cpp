// vessor_bench: the plug-in's listing and export, driven through its exported
// entry points, each timed against the machine's own floor for the same work
// in the same process, the two sides taking turns; plus the listing's peak
// memory, the date decoding alone and (on Linux) vfolder's whole-folder
// commands. It writes its folders into a temporary directory of its own and
// removes it at the end. It builds for Linux and, with MinGW, for Windows.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cinttypes>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "folder/export_name.h"
#include "folder/vessor_folder.h"
#include "host/far1/far_plugin.h"
#include "tools/vfolder/plugin_loader.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <sys/vfs.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

// Elsewhere than on Windows the plug-in is loaded from its own build; on
// Windows it lies beside the program.
#ifndef VESSOR_PLUGIN_PATH
#define VESSOR_PLUGIN_PATH ""
#endif
#ifndef VESSOR_VFOLDER_PATH
#define VESSOR_VFOLDER_PATH ""
#endif

namespace {

const double MiB = 1024.0 * 1024.0;
const double ListingTarget = 1.3;      // x the 64 KiB floor, every build
const double ExportTarget = 1.2;       // x the floor, Linux (tmpfs and ext4)
const double WineExportTarget = 1.3;   // x create/write/close, 32-bit Windows
const double VfolderTarget = 1.5;      // mbox and maildir x copy
const int64_t MemorySlack = 8 << 20;
const size_t ListingPiece = 64 * 1024;

#ifdef _WIN32
const char Sep[] = "\\";
#else
const char Sep[] = "/";
#endif

struct Options {
  int64_t Records = 1000000;
  int64_t Messages = 10000;
  int Repeats = 5;
  bool Smoke = false;
  bool Verbose = false;
  std::string Plugin = VESSOR_PLUGIN_PATH;
  std::string Vfolder = VESSOR_VFOLDER_PATH;
  std::string TempParent;
};

struct Message {
  uint32_t Offset;
  uint32_t Size;
};

std::string TempDir;  // removed at exit, whatever path the run takes

void RemoveTempDir() {
  if (TempDir.empty()) return;
  std::error_code ignored;
  std::filesystem::remove_all(TempDir, ignored);
  TempDir.clear();
}

[[noreturn]] void Fail(const char *what, const std::string &detail) {
  fprintf(stderr, "vessor_bench: %s%s%s\n", what, detail.empty() ? "" : ": ", detail.c_str());
  exit(1);
}

double Now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// The middle of the samples (the mean of the middle two for an even count):
// one slow round on a shared machine moves it less than it moves a mean, and
// one lucky round less than it moves the best.
double Median(std::vector<double> samples) {
  if (samples.empty()) return 0;
  std::sort(samples.begin(), samples.end());
  const size_t n = samples.size();
  return n % 2 == 1 ? samples[n / 2] : (samples[n / 2 - 1] + samples[n / 2]) / 2;
}

// A fixed sequence, so every run lists and exports the same folders.
uint64_t NextRandom(uint64_t *state) {
  uint64_t z = (*state += 0x9E3779B97F4A7C15u);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
  return z ^ (z >> 31);
}

uint32_t RandomBelow(uint64_t *state, uint32_t bound) {
  return uint32_t(NextRandom(state) % bound);
}

uint32_t GetLittleEndian32(const unsigned char *bytes) {
  return uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 |
         uint32_t(bytes[3]) << 24;
}

void PutLittleEndian32(unsigned char *bytes, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[i] = (unsigned char)(value >> (8 * i));
}

// ---- Files, through the system's own calls on each side: these are what the
// floors are made of.

#ifdef _WIN32
typedef HANDLE FileRef;
const FileRef NoFile = INVALID_HANDLE_VALUE;

FileRef OpenForReading(const char *path) {
  return CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                     nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

FileRef CreateForWriting(const char *path) {
  return CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                     nullptr);
}

int64_t SizeOfFile(FileRef file) {
  LARGE_INTEGER size;
  return GetFileSizeEx(file, &size) ? int64_t(size.QuadPart) : -1;
}

// A positioned read: the offset travels with the call, the file pointer is
// not used. Bytes read, 0 at the end of the file, -1 on an error.
int64_t ReadAt(FileRef file, void *bytes, size_t size, int64_t offset) {
  OVERLAPPED at;
  memset(&at, 0, sizeof at);
  at.Offset = DWORD(uint64_t(offset));
  at.OffsetHigh = DWORD(uint64_t(offset) >> 32);
  DWORD got = 0;
  if (!ReadFile(file, bytes, DWORD(size), &got, &at))
    return GetLastError() == ERROR_HANDLE_EOF ? 0 : -1;
  return int64_t(got);
}

bool WriteAllTo(FileRef file, const void *bytes, size_t size) {
  const char *at = static_cast<const char *>(bytes);
  while (size > 0) {
    DWORD written = 0;
    if (!WriteFile(file, at, DWORD(size), &written, nullptr) || written == 0) return false;
    at += written;
    size -= written;
  }
  return true;
}

bool CloseFile(FileRef file) { return CloseHandle(file) != 0; }
#else
typedef int FileRef;
const FileRef NoFile = -1;

FileRef OpenForReading(const char *path) { return open(path, O_RDONLY | O_CLOEXEC); }

FileRef CreateForWriting(const char *path) {
  return open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
}

int64_t SizeOfFile(FileRef file) {
  struct stat info;
  return fstat(file, &info) == 0 ? int64_t(info.st_size) : -1;
}

int64_t ReadAt(FileRef file, void *bytes, size_t size, int64_t offset) {
  return int64_t(pread(file, bytes, size, off_t(offset)));
}

bool WriteAllTo(FileRef file, const void *bytes, size_t size) {
  const char *at = static_cast<const char *>(bytes);
  while (size > 0) {
    const ssize_t written = write(file, at, size);
    if (written <= 0) return false;
    at += written;
    size -= size_t(written);
  }
  return true;
}

bool CloseFile(FileRef file) { return close(file) == 0; }
#endif

// Reads exactly `size` bytes at `offset`, however many calls it takes.
bool ReadFullyAt(FileRef file, void *bytes, size_t size, int64_t offset) {
  char *at = static_cast<char *>(bytes);
  while (size > 0) {
    const int64_t got = ReadAt(file, at, size, offset);
    if (got <= 0) return false;
    at += got;
    offset += got;
    size -= size_t(got);
  }
  return true;
}

void WriteFileOrFail(const std::string &path, const void *bytes, size_t size) {
  const FileRef file = CreateForWriting(path.c_str());
  if (file == NoFile || !WriteAllTo(file, bytes, size) || !CloseFile(file))
    Fail("cannot write", path);
}

void MakeDir(const std::string &path) {
  std::error_code error;
  if (!std::filesystem::create_directory(path, error)) Fail("cannot create", path);
}

int64_t CountEntries(const std::string &path) {
  std::error_code error;
  int64_t entries = 0;
  for (std::filesystem::directory_iterator it(path, error), end; !error && it != end;
       it.increment(error))
    ++entries;
  if (error) Fail("cannot read", path);
  return entries;
}

// ---- The machine

std::string MachineCpu() {
  // Under Wine the Linux file is there too, as Z:\proc\cpuinfo.
  FILE *cpuinfo = fopen("/proc/cpuinfo", "r");
  char line[512];
  std::string model = "unknown CPU";
  while (cpuinfo != nullptr && fgets(line, sizeof line, cpuinfo) != nullptr) {
    const char *colon = strchr(line, ':');
    if (strncmp(line, "model name", 10) == 0 && colon != nullptr) {
      model = colon + 1 + strspn(colon + 1, " \t");
      model.erase(model.find_last_not_of("\r\n") + 1);
      break;
    }
  }
  if (cpuinfo != nullptr) fclose(cpuinfo);
  return model;
}

#ifdef _WIN32
double MachineMemoryGiB() {
  MEMORYSTATUSEX status;
  status.dwLength = sizeof status;
  return GlobalMemoryStatusEx(&status) ? double(status.ullTotalPhys) / (MiB * 1024) : 0;
}

std::string SystemName() {
  typedef const char *(*WineVersionFn)();
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  const WineVersionFn wine_version =
      ntdll != nullptr
          ? reinterpret_cast<WineVersionFn>(
                reinterpret_cast<void *>(GetProcAddress(ntdll, "wine_get_version")))
          : nullptr;
  return wine_version != nullptr ? std::string("Wine ") + wine_version() : "Windows";
}

// Wine calls every drive NTFS (and complains on standard error when asked),
// so the file system is named by whoever knows it: scripts/bench.sh.
std::string FileSystemName(const std::string &) { return "file system not known here"; }

std::string MakeTempDir(const std::string &parent) {
  for (unsigned attempt = 0; attempt < 1000; ++attempt) {
    const std::string path = parent + Sep + "vessor_bench." +
                             std::to_string(GetCurrentProcessId()) + "." +
                             std::to_string(attempt);
    if (CreateDirectoryA(path.c_str(), nullptr)) return path;
    if (GetLastError() != ERROR_ALREADY_EXISTS) break;
  }
  Fail("cannot create a directory in", parent);
}

std::string DefaultTempParent() {
  char path[MAX_PATH + 1];
  const DWORD length = GetTempPathA(sizeof path, path);
  if (length == 0 || length > MAX_PATH) return ".";
  if (path[length - 1] == '\\') path[length - 1] = '\0';
  return path;
}
#else
double MachineMemoryGiB() {
  return double(sysconf(_SC_PHYS_PAGES)) * double(sysconf(_SC_PAGESIZE)) / (MiB * 1024);
}

std::string SystemName() {
  struct utsname name;
  if (uname(&name) != 0) return "unknown system";
  return std::string(name.sysname) + " " + name.release;
}

std::string FileSystemName(const std::string &path) {
  struct statfs info;
  if (statfs(path.c_str(), &info) != 0) return "unknown";
  switch (uint32_t(info.f_type)) {
    case 0xEF53: return "ext4";  // the one magic of ext2, ext3 and ext4
    case 0x01021994: return "tmpfs";
    case 0x58465342: return "xfs";
    case 0x9123683E: return "btrfs";
    case 0x794C7630: return "overlayfs";
    default: return "other";
  }
}

std::string MakeTempDir(const std::string &parent) {
  std::string pattern = parent + "/vessor_bench.XXXXXX";
  if (mkdtemp(&pattern[0]) == nullptr) Fail("cannot create a directory in", parent);
  return pattern;
}

std::string DefaultTempParent() {
  const char *tmp = getenv("TMPDIR");
  return tmp != nullptr && tmp[0] != '\0' ? tmp : "/tmp";
}

char *RemoveCommand[] = {const_cast<char *>("rm"), const_cast<char *>("-rf"), nullptr, nullptr};

// On an interrupt the temporary directory goes too. A signal handler may not
// allocate, so it leaves the work to rm.
void RemoveTempDirOnSignal(int signal_number) {
  const pid_t child = fork();
  if (child == 0) {
    execvp("rm", RemoveCommand);
    _exit(127);
  }
  if (child > 0) waitpid(child, nullptr, 0);
  _exit(128 + signal_number);
}

// The process's peak resident memory so far, from /proc/self/status.
int64_t PeakResidentKiB() {
  FILE *status = fopen("/proc/self/status", "r");
  if (status == nullptr) return -1;
  char line[256];
  int64_t kib = -1;
  while (fgets(line, sizeof line, status) != nullptr)
    if (sscanf(line, "VmHWM: %" SCNd64, &kib) == 1) break;
  fclose(status);
  return kib;
}
#endif

// ---- Folders written with the layout of folder/vessor_folder.h

// Puts a text into a field, zero-padded; a text as long as the field fills it
// to the brim without a terminator, as the mail program may.
void PutText(unsigned char *record, size_t offset, size_t size, const char *text) {
  const size_t length = strnlen(text, size);
  memset(record + offset, 0, size);
  memcpy(record + offset, text, length);
}

// Date texts as the mail program writes them, with the odd ones the decoder
// must also take: one-digit days, midnight (which borrows a day), letter case,
// an unknown month, a zone after the time.
void MakeDateText(uint64_t *rng, char *out, size_t out_size) {
  static const char *const Months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug",
                                       "Sep", "Oct", "Nov", "Dec", "mar", "DEC", "Xyz"};
  const unsigned month = RandomBelow(rng, 15);
  const unsigned day = 1 + RandomBelow(rng, 31);
  const unsigned year = RandomBelow(rng, 100);
  const unsigned hour = RandomBelow(rng, 8) == 0 ? 0 : RandomBelow(rng, 24);
  const unsigned minute = RandomBelow(rng, 60);
  const char *zone = RandomBelow(rng, 4) == 0 ? " +0100" : "";
  snprintf(out, out_size, "%u %s %02u %02u:%02u%s", day, Months[month], year, hour, minute, zone);
}

// One index record of a varied shape: blank, padded and brim-full names,
// read-only and hidden flags. Every name is unique, so the export's paths are
// the names' paths.
void MakeRecord(uint64_t *rng, int64_t number, uint32_t offset, uint32_t size,
                unsigned char *record) {
  static const uint32_t Flags[] = {0x80, 0x80, 0x80, 0x00, 0x40080, 0x2080};
  char text[64];
  memset(record, 0, IndexRecordSize);
  // The first record's flags make the file an index file.
  PutLittleEndian32(record + RecordFlagsOffset, number == 0 ? 0x80 : Flags[RandomBelow(rng, 6)]);
  PutLittleEndian32(record + DataOffsetOffset, offset);
  snprintf(text, sizeof text, "Sender %" PRId64 " <s%" PRId64 "@example.org>", number, number);
  PutText(record, DescriptionTextOffset, DescriptionTextSize, text);
  switch (RandomBelow(rng, 8)) {
    case 0: snprintf(text, sizeof text, "   "); break;
    case 1: snprintf(text, sizeof text, "  Padded %" PRId64, number); break;
    case 2: snprintf(text, sizeof text, "Subject filling the field %010" PRId64, number); break;
    default: snprintf(text, sizeof text, "Re: report %" PRId64 " / \"Q3\"?", number); break;
  }
  PutText(record, NameTextOffset, NameTextSize, text);
  MakeDateText(rng, text, sizeof text);
  PutText(record, DateTextOffset, DateTextSize, text);
  PutLittleEndian32(record + MessageSizeOffset, size);
}

// An index of `records` records (no data folder file: the listing never reads one).
void WriteListingIndex(const std::string &path, int64_t records) {
  const FileRef file = CreateForWriting(path.c_str());
  if (file == NoFile) Fail("cannot create", path);
  std::vector<unsigned char> chunk(IndexRecordSize * 4096);
  uint64_t rng = 1;
  uint32_t offset = 0;
  for (int64_t number = 0; number < records;) {
    size_t used = 0;
    for (; used < chunk.size() && number < records; used += IndexRecordSize, ++number) {
      const uint32_t size = RandomBelow(&rng, 65537);
      MakeRecord(&rng, number, offset, size, &chunk[used]);
      offset += size;
    }
    if (!WriteAllTo(file, chunk.data(), used)) Fail("cannot write", path);
  }
  if (!CloseFile(file)) Fail("cannot write", path);
}

// The messages' sizes: mostly short ones, every hundredth a long one, some
// empty, and the largest (64 KiB) among them; about 2 KiB each on average.
uint32_t MessageSize(uint64_t *rng, int64_t number) {
  if (number % 1000 == 500) return 65536;
  if (number % 100 == 0) return 16384 + RandomBelow(rng, 65536 - 16384);
  if (number % 50 == 7) return 0;
  return RandomBelow(rng, 3001);
}

std::string DataPathOf(const std::string &index_path) {
  return index_path.substr(0, index_path.size() - 1) + "M";
}

// A folder of `count` messages: the index and the data folder file; returns
// the data folder file's bytes and where each message lies in it.
std::vector<unsigned char> WriteExportFolder(const std::string &index_path, int64_t count,
                                             std::vector<Message> *messages) {
  uint64_t rng = 2;
  std::vector<unsigned char> data;
  std::vector<unsigned char> index(size_t(count) * IndexRecordSize);
  for (int64_t number = 0; number < count; ++number) {
    const Message message = {uint32_t(data.size()), MessageSize(&rng, number)};
    messages->push_back(message);
    for (uint32_t i = 0; i < message.Size; ++i)
      data.push_back((unsigned char)(i % 61 == 60 ? '\n' : 'a' + (number + i) % 26));
    MakeRecord(&rng, number, message.Offset, message.Size,
               &index[size_t(number) * IndexRecordSize]);
  }
  WriteFileOrFail(index_path, index.data(), index.size());
  WriteFileOrFail(DataPathOf(index_path), data.data(), data.size());
  return data;
}

// ---- The plug-in, loaded as the host loads it

int HostWarnings = 0;

int WINAPI CountWarning(INT_PTR, DWORD, const char *, const char *const *items, int count, int) {
  fprintf(stderr, "vessor_bench: host warning:");
  for (int i = 0; i < count; ++i) fprintf(stderr, " %s", items[i]);
  fputc('\n', stderr);
  ++HostWarnings;
  return 0;
}

#ifdef _WIN32
// A message box of the plug-in would wait for a click; here it is a failure.
int WINAPI CountMessageBox(HWND, LPCSTR text, LPCSTR caption, UINT) {
  fprintf(stderr, "vessor_bench: message box: %s: %s\n", caption, text);
  ++HostWarnings;
  return IDOK;
}
#endif

PluginApi LoadPluginOrFail(const std::string &path) {
  PluginApi api;
  char error[512];
  if (!LoadPlugin(path.c_str(), &api, error, sizeof error)) Fail(error, "");
#ifdef _WIN32
  RedirectMessageBox(&api, CountMessageBox);
#endif
  PluginStartupInfo info;
  memset(&info, 0, sizeof info);
  info.StructSize = int(sizeof info);
  info.Message = CountWarning;
  api.SetStartupInfo(&info);
  return api;
}

// What the host hands OpenFilePlugin: the path and the file's first 128 bytes,
// which the host has read before the plug-in is asked.
struct FolderOpening {
  std::vector<char> Name;
  unsigned char Head[128];
  int HeadSize;
};

FolderOpening ReadOpening(const std::string &index_path) {
  FolderOpening opening;
  FILE *file = fopen(index_path.c_str(), "rb");
  if (file == nullptr) Fail("cannot read", index_path);
  opening.HeadSize = int(fread(opening.Head, 1, sizeof opening.Head, file));
  fclose(file);
  opening.Name.assign(index_path.begin(), index_path.end());
  opening.Name.push_back('\0');
  return opening;
}

HANDLE OpenFolder(const PluginApi &api, FolderOpening *opening) {
  HANDLE folder = api.OpenFilePlugin(opening->Name.data(), opening->Head, opening->HeadSize);
  if (folder == INVALID_HANDLE_VALUE) Fail("the plug-in does not open", opening->Name.data());
  return folder;
}

// A digest of the items' bytes, the description as its place in the item, so
// that listings by different builds of the plug-in can be compared.
uint64_t DigestItems(const PluginPanelItem *items, int count) {
  uint64_t digest = 0xCBF29CE484222325u;
  for (int i = 0; i < count; ++i) {
    PluginPanelItem item = items[i];
    item.Description = reinterpret_cast<char *>(item.Description - (char *)&items[i]);
    const unsigned char *bytes = reinterpret_cast<const unsigned char *>(&item);
    size_t at = 0;
    for (; at + 8 <= sizeof item; at += 8) {
      uint64_t word;
      memcpy(&word, bytes + at, 8);
      digest = (digest ^ word) * 0x100000001B3u;
    }
    for (; at < sizeof item; ++at) digest = (digest ^ bytes[at]) * 0x100000001B3u;
  }
  return digest;
}

// ---- Listing. Each round opens the folder afresh on both sides, so that the
// first listing (which opens the index) has as many samples as the repeated one.

struct ListingTimes {
  std::vector<double> First, Repeated;
};

// The plug-in's side of one round: OpenFilePlugin and the first GetFindData +
// FreeFindData, then one GetFindData + FreeFindData more. The digest of the
// first round's items is left out of its time.
void ListWithPlugin(const PluginApi &api, FolderOpening *opening, int64_t records,
                    uint64_t *digest, ListingTimes *times) {
  double start = Now();
  HANDLE folder = OpenFolder(api, opening);
  for (int pass = 0; pass < 2; ++pass) {
    PluginPanelItem *items = nullptr;
    int count = 0;
    if (!api.GetFindData(folder, &items, &count, 0)) Fail("GetFindData failed on", opening->Name.data());
    double seconds = Now() - start;
    if (count != records) Fail("the listing has not every record of", opening->Name.data());
    if (digest != nullptr && pass == 0) *digest = DigestItems(items, count);
    const double free_start = Now();
    api.FreeFindData(folder, items, count);
    seconds += Now() - free_start;
    (pass == 0 ? times->First : times->Repeated).push_back(seconds);
    start = Now();
  }
  api.ClosePlugin(folder);
  if (HostWarnings > 0) Fail("the listing warned", opening->Name.data());
}

// Seen from outside, so that the compiler keeps the floor's block and its writes.
PluginPanelItem *volatile FloorItems;

// The floor's listing: the index read in 64 KiB pieces into a zero-filled
// block of items of this build's size, each item given its record's size and
// offset. Returns the number of items filled.
int64_t FillFloorItems(FileRef index, int64_t index_size) {
  static unsigned char buffer[ListingPiece + IndexRecordSize];
  const size_t count = size_t(index_size / int64_t(IndexRecordSize));
  PluginPanelItem *items =
      static_cast<PluginPanelItem *>(calloc(count > 0 ? count : 1, sizeof(PluginPanelItem)));
  if (items == nullptr) Fail("out of memory listing", "");
  size_t filled = 0, held = 0;
  int64_t offset = 0;
  while (filled < count) {
    // A record cut by the end of a piece waits at the front of the buffer.
    const int64_t got = ReadAt(index, buffer + held, ListingPiece, offset);
    if (got <= 0) break;
    offset += got;
    held += size_t(got);
    size_t used = 0;
    for (; used + IndexRecordSize <= held && filled < count; used += IndexRecordSize, ++filled) {
      items[filled].FindData.nFileSizeLow = GetLittleEndian32(buffer + used + MessageSizeOffset);
      items[filled].UserData = GetLittleEndian32(buffer + used + DataOffsetOffset);
    }
    memmove(buffer, buffer + used, held - used);
    held -= used;
  }
  FloorItems = items;
  free(items);
  return int64_t(filled);
}

// The floor's side of one round: the index opened and sized, then listed, then
// listed once more from the open file.
void ListFloor(const std::string &index_path, int64_t records, ListingTimes *times) {
  double start = Now();
  const FileRef index = OpenForReading(index_path.c_str());
  const int64_t size = index != NoFile ? SizeOfFile(index) : -1;
  if (size < 0) Fail("cannot read", index_path);
  for (int pass = 0; pass < 2; ++pass) {
    if (FillFloorItems(index, size) != records) Fail("cannot read", index_path);
    (pass == 0 ? times->First : times->Repeated).push_back(Now() - start);
    start = Now();
  }
  CloseFile(index);
}

struct ListingFigures {
  ListingTimes Plugin, Floor;
  uint64_t Digest = 0;
};

// The two sides in turns, the one to go first alternating from round to round.
ListingFigures MeasureListing(const Options &options, const PluginApi &api,
                              const std::string &index_path) {
  ListingFigures figures;
  FolderOpening opening = ReadOpening(index_path);
  for (int round = 0; round < options.Repeats; ++round) {
    for (int side = 0; side < 2; ++side) {
      if ((side + round) % 2 == 0)
        ListWithPlugin(api, &opening, options.Records, round == 0 ? &figures.Digest : nullptr,
                       &figures.Plugin);
      else
        ListFloor(index_path, options.Records, &figures.Floor);
    }
    if (options.Verbose)
      printf("  listing round %d: plug-in %.4f + %.4f s, floor %.4f + %.4f s\n", round,
             figures.Plugin.First.back(), figures.Plugin.Repeated.back(),
             figures.Floor.First.back(), figures.Floor.Repeated.back());
  }
  return figures;
}

#ifndef _WIN32
// ---- The listing's peak memory, each side in a process of its own so that
// the peak is its own. A child prints: peak before, peak after.

void PrintPlugInListingPeak(const std::string &index_path, const std::string &plugin) {
  const PluginApi api = LoadPluginOrFail(plugin);
  FolderOpening opening = ReadOpening(index_path);
  const int64_t base = PeakResidentKiB();
  HANDLE folder = OpenFolder(api, &opening);
  PluginPanelItem *items = nullptr;
  int count = 0;
  if (!api.GetFindData(folder, &items, &count, 0)) Fail("GetFindData failed on", index_path);
  api.FreeFindData(folder, items, count);
  api.ClosePlugin(folder);
  printf("%" PRId64 " %" PRId64 "\n", base, PeakResidentKiB());
}

void PrintFloorListingPeak(const std::string &index_path) {
  const int64_t base = PeakResidentKiB();
  const FileRef index = OpenForReading(index_path.c_str());
  if (index == NoFile) Fail("cannot read", index_path);
  FillFloorItems(index, SizeOfFile(index));
  CloseFile(index);
  printf("%" PRId64 " %" PRId64 "\n", base, PeakResidentKiB());
}

struct PeakFigures {
  int64_t BaseKiB = 0;  // VmHWM before the listing
  int64_t PeakKiB = 0;  // VmHWM after it
};

// Runs this program again as a memory child and reads back its figures.
PeakFigures RunPeakChild(const std::vector<std::string> &arguments) {
  int channel[2];
  if (pipe(channel) != 0) Fail("cannot make a pipe", strerror(errno));
  const pid_t child = fork();
  if (child < 0) Fail("cannot fork", strerror(errno));
  if (child == 0) {
    dup2(channel[1], STDOUT_FILENO);
    close(channel[0]);
    close(channel[1]);
    std::vector<char *> argv;
    for (const std::string &argument : arguments)
      argv.push_back(const_cast<char *>(argument.c_str()));
    argv.push_back(nullptr);
    // The program by the name it was started with, so that a tool that runs
    // it (valgrind) can follow; /proc/self/exe when that name has no path.
    execv(strchr(arguments[0].c_str(), '/') != nullptr ? arguments[0].c_str() : "/proc/self/exe",
          argv.data());
    _exit(127);
  }
  close(channel[1]);
  std::string output;
  char buffer[256];
  for (ssize_t got; (got = read(channel[0], buffer, sizeof buffer)) > 0;)
    output.append(buffer, size_t(got));
  close(channel[0]);
  int status = 0;
  waitpid(child, &status, 0);
  PeakFigures figures;
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 ||
      sscanf(output.c_str(), "%" SCNd64 " %" SCNd64, &figures.BaseKiB, &figures.PeakKiB) != 2)
    Fail("a memory child failed", arguments[1]);
  return figures;
}
#endif

// ---- Export

// The item's name as the export reads it: the host's buffer ends at its size,
// whether or not it holds a zero.
void ItemName(const PluginPanelItem &item, char (*name)[MAX_PATH + 1]) {
  memcpy(*name, item.FindData.cFileName, MAX_PATH);
  (*name)[MAX_PATH] = '\0';
}

// The path a message named `name` is exported to inside `dest_dir` when no
// earlier item of the same export took its name.
size_t BuildExportPath(const char *dest_dir, const char *name, char *out, size_t out_size) {
  char file_name[MAX_PATH * 2];
  MakeExportName(name, file_name, sizeof file_name);
  return JoinExportPath(dest_dir, file_name, out, out_size);
}

// The path the export gives each item in `dest`.
std::vector<std::string> ExportPaths(const PluginPanelItem *items, int count,
                                     const std::string &dest) {
  std::vector<std::string> paths;
  for (int i = 0; i < count; ++i) {
    char name[MAX_PATH + 1];
    ItemName(items[i], &name);
    char path[4096];
    BuildExportPath(dest.c_str(), name, path, sizeof path);
    paths.push_back(path);
  }
  return paths;
}

// Every exported file holds its message's bytes, and there is nothing else.
void VerifyExport(const std::string &dest, const std::vector<std::string> &paths,
                  const std::vector<Message> &messages, const std::vector<unsigned char> &data) {
  std::vector<unsigned char> bytes;
  for (size_t i = 0; i < paths.size(); ++i) {
    FILE *file = fopen(paths[i].c_str(), "rb");
    if (file == nullptr) Fail("not exported", paths[i]);
    bytes.assign(size_t(messages[i].Size) + 1, 0);
    const size_t got = fread(bytes.data(), 1, bytes.size(), file);
    fclose(file);
    if (got != messages[i].Size ||
        (got > 0 && memcmp(bytes.data(), &data[messages[i].Offset], got) != 0))
      Fail("exported wrongly", paths[i]);
  }
  if (CountEntries(dest) != int64_t(paths.size())) Fail("other files than the messages in", dest);
}

// The floor: for each item its destination path built, the file created, the
// message read from the data folder file at its offset in one positioned read,
// written in one write, and the file closed.
void ExportFloor(const PluginPanelItem *items, int count, const std::string &dest,
                 const std::string &data_path) {
  static unsigned char buffer[65536];
  const FileRef data = OpenForReading(data_path.c_str());
  if (data == NoFile) Fail("cannot read", data_path);
  for (int i = 0; i < count; ++i) {
    char name[MAX_PATH + 1];
    ItemName(items[i], &name);
    char path[4096];
    if (BuildExportPath(dest.c_str(), name, path, sizeof path) >= sizeof path)
      Fail("too long a path in", dest);
    const FileRef out = CreateForWriting(path);
    if (out == NoFile) Fail("cannot create", path);
    const size_t size = items[i].FindData.nFileSizeLow;
    if (size > sizeof buffer) Fail("a message larger than the floor's buffer in", data_path);
    if (!ReadFullyAt(data, buffer, size, int64_t(uint32_t(items[i].UserData))))
      Fail("cannot read", data_path);
    if (!WriteAllTo(out, buffer, size) || !CloseFile(out)) Fail("cannot write", path);
  }
  CloseFile(data);
}

// The plain loop: each file created, its bytes written from memory in one
// write, closed; the paths made beforehand.
void ExportPlain(const std::vector<std::string> &paths, const std::vector<Message> &messages,
                 const std::vector<unsigned char> &data) {
  for (size_t i = 0; i < paths.size(); ++i) {
    const FileRef out = CreateForWriting(paths[i].c_str());
    if (out == NoFile) Fail("cannot create", paths[i]);
    if (!WriteAllTo(out, data.data() + messages[i].Offset, messages[i].Size) || !CloseFile(out))
      Fail("cannot write", paths[i]);
  }
}

struct ExportFigures {
  std::vector<double> Plugin, Floor, Plain;
  int64_t Files = 0;
  int64_t Bytes = 0;
};

// GetFiles of every message into a fresh directory, the floor and the plain
// loop, in turns, `repeats` rounds.
ExportFigures MeasureExport(const Options &options, const PluginApi &api,
                            const std::string &index_path, const std::vector<Message> &messages,
                            const std::vector<unsigned char> &data) {
  FolderOpening opening = ReadOpening(index_path);
  HANDLE folder = OpenFolder(api, &opening);
  PluginPanelItem *items = nullptr;
  int count = 0;
  if (!api.GetFindData(folder, &items, &count, 0) || count != int(messages.size()))
    Fail("cannot list", index_path);

  ExportFigures figures;
  figures.Files = count;
  figures.Bytes = int64_t(data.size());
  // Every run gets a directory of its own, and all are removed only at the
  // end: ext4 skips recently deleted inodes when it allocates new ones, so
  // creating files right after deleting as many slows down more with every
  // run. The sides take turns at going first, so that none always meets the
  // file system in the state another left it in.
  static const char *const Sides[] = {"plugin", "floor", "plain"};
  for (int round = 0; round < options.Repeats; ++round) {
    double seconds[3] = {};
    for (int turn = 0; turn < 3; ++turn) {
      const int side = (turn + round) % 3;
      const std::string dest = TempDir + Sep + Sides[side] + "-" + std::to_string(round);
      const std::vector<std::string> paths = ExportPaths(items, count, dest);
      MakeDir(dest);
      std::vector<char> dest_path(dest.begin(), dest.end());
      dest_path.push_back('\0');
      const double start = Now();
      if (side == 0) {
        if (!api.GetFiles(folder, items, count, 0, dest_path.data(), 0))
          Fail("GetFiles failed", dest);
      } else if (side == 1) {
        ExportFloor(items, count, dest, DataPathOf(index_path));
      } else {
        ExportPlain(paths, messages, data);
      }
      seconds[side] = Now() - start;
      if (HostWarnings > 0) Fail("the export warned", dest);
      // The floor is checked too: it must do the same work to be a floor.
      if (round == 0 && side < 2) VerifyExport(dest, paths, messages, data);
    }
    if (options.Verbose)
      printf("  export round %d: GetFiles %.4f s, floor %.4f s, plain %.4f s\n", round, seconds[0],
             seconds[1], seconds[2]);
    figures.Plugin.push_back(seconds[0]);
    figures.Floor.push_back(seconds[1]);
    figures.Plain.push_back(seconds[2]);
  }
  api.FreeFindData(folder, items, count);
  api.ClosePlugin(folder);
  return figures;
}

// ---- Date decoding alone

// Nanoseconds per record: each record's date field copied out, as the listing
// does, and decoded; over a varied set of texts.
double MeasureDateDecoding(int64_t decodes, uint64_t *sink) {
  enum { Texts = 4096 };
  static char texts[Texts][DateTextSize + 1];
  uint64_t rng = 3;
  for (char *text : texts) {
    char made[64];
    MakeDateText(&rng, made, sizeof made);
    memset(text, 0, DateTextSize + 1);
    memcpy(text, made, strnlen(made, DateTextSize));
  }
  char scratch[DateTextSize + 1];
  uint64_t sum = 0;
  const double start = Now();
  for (int64_t i = 0; i < decodes; ++i) {
    memcpy(scratch, texts[i % Texts], sizeof scratch);
    sum += DecodeIndexDate(scratch);
  }
  const double seconds = Now() - start;
  *sink = sum;
  return seconds * 1e9 / double(decodes);
}

#ifndef _WIN32
// ---- vfolder's whole-folder commands, run as the user runs them

// The regular files anywhere below `path` (a Maildir keeps its messages in
// subdirectories).
int64_t CountFilesBelow(const std::string &path) {
  std::error_code error;
  int64_t files = 0;
  for (std::filesystem::recursive_directory_iterator it(path, error), end; !error && it != end;
       it.increment(error))
    if (it->is_regular_file()) ++files;
  return error ? -1 : files;
}

int64_t FileSizeAt(const std::string &path) {
  std::error_code error;
  const uintmax_t size = std::filesystem::file_size(path, error);
  return error ? -1 : int64_t(size);
}

// Runs a program with its standard output thrown away and its standard error
// kept in `err_path`; returns its exit status, or -1 when it did not exit.
int RunProgram(const std::vector<std::string> &arguments, const std::string &err_path) {
  const pid_t child = fork();
  if (child < 0) Fail("cannot fork", strerror(errno));
  if (child == 0) {
    const int null_fd = open("/dev/null", O_WRONLY);
    const int err_fd = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (null_fd < 0 || err_fd < 0) _exit(127);
    dup2(null_fd, STDOUT_FILENO);
    dup2(err_fd, STDERR_FILENO);
    std::vector<char *> argv;
    for (const std::string &argument : arguments)
      argv.push_back(const_cast<char *>(argument.c_str()));
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  if (waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

std::string FirstLineOf(const std::string &path) {
  std::string line;
  if (FILE *file = fopen(path.c_str(), "r")) {
    char text[512];
    if (fgets(text, sizeof text, file) != nullptr) line = text;
    fclose(file);
  }
  line.erase(line.find_last_not_of("\r\n") + 1);
  return line;
}

bool FileMentions(const std::string &path, const char *word) {
  std::string all;
  if (FILE *file = fopen(path.c_str(), "r")) {
    char text[512];
    for (size_t got; (got = fread(text, 1, sizeof text, file)) > 0;) all.append(text, got);
    fclose(file);
  }
  return all.find(word) != std::string::npos;
}

enum VfolderSide { VfolderCopy, VfolderMbox, VfolderMaildir, VfolderFloor, VfolderSides };
const char *const VfolderCommands[] = {"copy", "mbox", "maildir", "floor"};

struct VfolderFigures {
  bool Built = false;
  // Per side: whether it runs and does its work, and why not.
  bool Available[VfolderSides] = {};
  std::string Note[VfolderSides];
  std::vector<double> Seconds[VfolderSides];
};

// The floor: the messages' bytes written into one new file, one write each.
void WriteOneFileFloor(const std::string &path, const std::vector<Message> &messages,
                       const std::vector<unsigned char> &data) {
  const FileRef out = CreateForWriting(path.c_str());
  if (out == NoFile) Fail("cannot create", path);
  for (const Message &message : messages)
    if (!WriteAllTo(out, data.data() + message.Offset, message.Size)) Fail("cannot write", path);
  if (!CloseFile(out)) Fail("cannot write", path);
}

// One run of a side into a fresh place named by `tag`; the seconds it took,
// or -1 (with the reason in `*note`) when it failed or did not do its work.
double RunVfolderSide(const Options &options, int side, const std::string &index_path,
                      const std::string &tag, const std::vector<Message> &messages,
                      const std::vector<unsigned char> &data, std::string *note) {
  const std::string dest = TempDir + Sep + "vfolder-" + VfolderCommands[side] + "-" + tag;
  const double start = Now();
  if (side == VfolderFloor) {
    WriteOneFileFloor(dest, messages, data);
    return Now() - start;
  }
  // copy wants its directory there; mbox and maildir make their own.
  if (side == VfolderCopy) MakeDir(dest);
  const std::string err_path = TempDir + Sep + "vfolder.err";
  const double made = Now();
  const int status = RunProgram({options.Vfolder, "--plugin", options.Plugin,
                                 VfolderCommands[side], index_path, dest},
                                err_path);
  const double seconds = Now() - made;
  if (status == 2 && side != VfolderCopy &&
      (FileMentions(err_path, "usage") || FileMentions(err_path, "unknown"))) {
    *note = std::string("skipped: this vfolder has no ") + VfolderCommands[side] + " command";
    return -1;
  }
  if (status != 0) {
    *note = "FAILED: exit " + std::to_string(status) + ": " + FirstLineOf(err_path);
    return -1;
  }
  // What each command must have written at the least.
  const int64_t want_files = int64_t(messages.size());
  if (side == VfolderCopy && CountEntries(dest) != want_files) {
    *note = "FAILED: copy wrote " + std::to_string(CountEntries(dest)) + " files";
    return -1;
  }
  if (side == VfolderMbox && FileSizeAt(dest) < int64_t(data.size())) {
    *note = "FAILED: the mbox file is shorter than the messages";
    return -1;
  }
  if (side == VfolderMaildir && CountFilesBelow(dest) != want_files) {
    *note = "FAILED: the Maildir holds " + std::to_string(CountFilesBelow(dest)) + " files, not " +
            std::to_string(want_files);
    return -1;
  }
  return seconds;
}

// copy, mbox, maildir and the floor in turns on the export folder, after one
// run of each that checks it works (and warms the caches alike).
VfolderFigures MeasureVfolder(const Options &options, const std::string &index_path,
                              const std::vector<Message> &messages,
                              const std::vector<unsigned char> &data) {
  VfolderFigures figures;
  figures.Built = access(options.Vfolder.c_str(), X_OK) == 0;
  if (!figures.Built) return figures;
  for (int side = 0; side < VfolderSides; ++side)
    figures.Available[side] =
        RunVfolderSide(options, side, index_path, "check", messages, data, &figures.Note[side]) >= 0;
  for (int round = 0; round < options.Repeats; ++round) {
    for (int turn = 0; turn < VfolderSides; ++turn) {
      const int side = (turn + round) % VfolderSides;
      if (!figures.Available[side]) continue;
      const double seconds = RunVfolderSide(options, side, index_path, std::to_string(round),
                                            messages, data, &figures.Note[side]);
      if (seconds < 0) {
        figures.Available[side] = false;
        figures.Seconds[side].clear();
      } else {
        figures.Seconds[side].push_back(seconds);
      }
    }
  }
  return figures;
}
#endif

// ---- Report

const char *Verdict(bool met) { return met ? "met" : "NOT met"; }

void Usage(FILE *out) {
  fputs(
      "usage: vessor_bench [--records N] [--messages N] [--repeats N] [--smoke]\n"
      "                    [--plugin PATH] [--vfolder PATH] [--tmp DIR] [--verbose]\n"
      "Times the plug-in's listing (OpenFilePlugin, GetFindData + FreeFindData on N\n"
      "records) and export (GetFiles of N messages) against the machine's floor for\n"
      "the same work, the two taking turns for N rounds (the median of each is\n"
      "reported); on Linux also the listing's peak memory and vfolder's copy, mbox\n"
      "and maildir commands. Defaults: 1000000 records, 10000 messages, 5 rounds.\n"
      "--smoke: tiny sizes, a second or so, every check still made.\n"
      "The folders go into a new directory in DIR (default: the temporary\n"
      "directory), removed at the end. --verbose: every round's times.\n"
      "Exit status 1 when something fails; missed targets only print NOT met.\n",
      out);
}

Options ParseOptions(int argc, char **argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string flag = argv[i];
    const bool has_value = i + 1 < argc;
    if (flag == "--smoke") {
      options.Smoke = true;
      options.Records = 5000;
      options.Messages = 200;
      options.Repeats = 3;
    } else if (flag == "--verbose") {
      options.Verbose = true;
    } else if (flag == "--records" && has_value) {
      options.Records = atoll(argv[++i]);
    } else if (flag == "--messages" && has_value) {
      options.Messages = atoll(argv[++i]);
    } else if (flag == "--repeats" && has_value) {
      options.Repeats = atoi(argv[++i]);
    } else if (flag == "--plugin" && has_value) {
      options.Plugin = argv[++i];
    } else if (flag == "--vfolder" && has_value) {
      options.Vfolder = argv[++i];
    } else if (flag == "--tmp" && has_value) {
      options.TempParent = argv[++i];
    } else if (flag == "--help") {
      Usage(stdout);
      exit(0);
    } else {
      Usage(stderr);
      exit(2);
    }
  }
  if (options.Records < 1 || options.Records > INT32_MAX || options.Messages < 1 ||
      options.Messages > 1000000 || options.Repeats < 1) {
    Usage(stderr);
    exit(2);
  }
  if (options.Plugin.empty()) {
    char path[4096];
    if (!DefaultPluginPath(path, sizeof path)) Fail("cannot find the plug-in", "");
    options.Plugin = path;
  }
  if (options.TempParent.empty()) options.TempParent = DefaultTempParent();
  return options;
}

// One line of figures: the rate, the median seconds and up to two ratios.
void PrintRow(const char *label, double units, double seconds, double ratio, double ratio2) {
  printf("  %-44s %12.0f %10.4f", label, units / seconds, seconds);
  // A ratio of 0 leaves its column blank, so that the next stays in place.
  if (ratio > 0)
    printf(" %8.2f", ratio);
  else if (ratio2 > 0)
    printf(" %8s", "");
  if (ratio2 > 0) printf(" %8.2f", ratio2);
  printf("\n");
}

// One target line; `label` holds a %.1f for the target. A negative ratio is
// one that could not be measured.
void PrintTarget(const char *label, double target, double ratio) {
  char text[128];
  snprintf(text, sizeof text, label, target);
  if (ratio < 0)
    printf("  %-44s     -  not measured\n", text);
  else
    printf("  %-44s %5.2f  %s\n", text, ratio, Verdict(ratio <= target));
}

int RunBenchmarks(const Options &options, const char *self) {
  TempDir = MakeTempDir(options.TempParent);
  atexit(RemoveTempDir);
#ifndef _WIN32
  RemoveCommand[2] = strdup(TempDir.c_str());
  signal(SIGINT, RemoveTempDirOnSignal);
  signal(SIGTERM, RemoveTempDirOnSignal);
  signal(SIGHUP, RemoveTempDirOnSignal);
#else
  (void)self;
#endif
  const bool windows =
#ifdef _WIN32
      true;
#else
      false;
#endif
  const bool build32 = sizeof(void *) == 4;
  const size_t item_size = sizeof(PluginPanelItem);
  const int64_t records = options.Records;
  const unsigned cores = std::thread::hardware_concurrency();
  printf("vessor_bench%s: %" PRId64 " records, %" PRId64 " messages, median of %d rounds\n",
         options.Smoke ? " --smoke" : "", records, options.Messages, options.Repeats);
  printf("build: %s %s\n", windows ? "Windows" : "Linux", build32 ? "32-bit" : "64-bit");
  printf("machine: %u cores, %s, %.1f GiB, %s\n", cores, MachineCpu().c_str(), MachineMemoryGiB(),
         SystemName().c_str());
  printf("temporary directory: %s (%s)\n", TempDir.c_str(), FileSystemName(TempDir).c_str());
  printf("sizeof(PluginPanelItem) = %d bytes\n\n", int(item_size));
  fflush(stdout);

  const PluginApi api = LoadPluginOrFail(options.Plugin);

  // Listing.
  const std::string index_path = TempDir + Sep + "INBOX.IDX";
  WriteListingIndex(index_path, records);
  const ListingFigures listing = MeasureListing(options, api, index_path);
  const double floor_first = Median(listing.Floor.First);
  const double floor_repeated = Median(listing.Floor.Repeated);
  const double plugin_first = Median(listing.Plugin.First);
  const double plugin_repeated = Median(listing.Plugin.Repeated);
  const double first_ratio = plugin_first / floor_first;
  const double repeated_ratio = plugin_repeated / floor_repeated;
  printf("listing of %" PRId64 " records (%.1f MB index)      records/s    seconds  x floor\n",
         records, double(records) * IndexRecordSize / 1e6);
  PrintRow("floor, first: open + 64 KiB reads + items", double(records), floor_first, 0, 0);
  PrintRow("plug-in, first: OpenFilePlugin + GetFindData", double(records), plugin_first,
           first_ratio, 0);
  PrintRow("floor, repeated", double(records), floor_repeated, 0, 0);
  PrintRow("plug-in, repeated: GetFindData", double(records), plugin_repeated, repeated_ratio, 0);
  printf("  items digest %016" PRIx64 "\n\n", listing.Digest);
  fflush(stdout);

#ifndef _WIN32
  const PeakFigures plugin_peak =
      RunPeakChild({self, "--peak-child", index_path, options.Plugin});
  const PeakFigures floor_peak = RunPeakChild({self, "--peak-floor-child", index_path});
#endif
  remove(index_path.c_str());

  // Export.
  const std::string export_index = TempDir + Sep + "EXPORT.IDX";
  std::vector<Message> messages;
  const std::vector<unsigned char> data =
      WriteExportFolder(export_index, options.Messages, &messages);
  const ExportFigures exported = MeasureExport(options, api, export_index, messages, data);
  const double export_floor = Median(exported.Floor);
  const double export_plain = Median(exported.Plain);
  const double export_plugin = Median(exported.Plugin);
  const double export_ratio = export_plugin / export_floor;
  const double plain_ratio = export_plugin / export_plain;
  printf("export of %" PRId64 " messages (%.1f MB)         files/s    seconds  x floor  x plain\n",
         exported.Files, double(exported.Bytes) / 1e6);
  PrintRow("plain: create + write + close", double(exported.Files), export_plain, 0, 0);
  PrintRow("floor: path, create, positioned read, write", double(exported.Files), export_floor,
           export_floor / export_plain, 0);
  PrintRow("GetFiles", double(exported.Files), export_plugin, export_ratio, plain_ratio);
  printf("\n");
  fflush(stdout);

#ifndef _WIN32
  const double items_mib = double(item_size) * double(records) / MiB;
  const double peak_mib = double(plugin_peak.PeakKiB) / 1024;
  printf("memory of a listing, in a process of its own        MiB\n");
  printf("  sizeof(item) x records               %12.1f\n", items_mib);
  printf("  plug-in: peak resident (VmHWM)       %12.1f  (%.1f before the listing)\n", peak_mib,
         double(plugin_peak.BaseKiB) / 1024);
  printf("  floor: peak resident                 %12.1f  (%.1f before)\n\n",
         double(floor_peak.PeakKiB) / 1024, double(floor_peak.BaseKiB) / 1024);

  const VfolderFigures vfolder = MeasureVfolder(options, export_index, messages, data);
  bool vfolder_failed = false;
  const double copy_seconds = Median(vfolder.Seconds[VfolderCopy]);
  const double floor_seconds = Median(vfolder.Seconds[VfolderFloor]);
  if (!vfolder.Built) {
    printf("vfolder: not built (%s): the measurement is skipped\n\n", options.Vfolder.c_str());
  } else {
    printf("vfolder on the export folder, a process a run    MB/s    seconds   x copy  x floor\n");
    static const char *const Labels[] = {"vfolder copy INDEX DIR", "vfolder mbox INDEX FILE",
                                         "vfolder maildir INDEX DIR",
                                         "floor: the bytes into one file"};
    for (int side = 0; side < VfolderSides; ++side) {
      if (!vfolder.Available[side]) {
        printf("  %-44s %s\n", Labels[side], vfolder.Note[side].c_str());
        vfolder_failed = vfolder_failed || vfolder.Note[side].compare(0, 6, "FAILED") == 0;
        continue;
      }
      const double seconds = Median(vfolder.Seconds[side]);
      PrintRow(Labels[side], double(data.size()) / 1e6, seconds,
               side != VfolderCopy && vfolder.Available[VfolderCopy] ? seconds / copy_seconds : 0,
               side != VfolderFloor ? seconds / floor_seconds : 0);
    }
    printf("\n");
  }
  fflush(stdout);
#endif

  uint64_t sink = 0;
  const double date_ns = MeasureDateDecoding(records * 4, &sink);
  printf("date decoding: %.1f ns per record (%" PRId64 " decodes, sum %" PRIu64 ")\n\n", date_ns,
         records * 4, sink);

  printf("targets%s\n", options.Smoke ? " (smoke sizes: not meaningful)" : "");
  PrintTarget("first listing <= %.1f x its floor", ListingTarget, first_ratio);
  PrintTarget("repeated listing <= %.1f x its floor", ListingTarget, repeated_ratio);
  if (!windows) {
    const std::string label = "export <= %.1f x its floor (" + FileSystemName(TempDir) + ")";
    PrintTarget(label.c_str(), ExportTarget, export_ratio);
  }
  if (windows && build32)
    PrintTarget("export <= %.1f x create/write/close", WineExportTarget, plain_ratio);
#ifndef _WIN32
  const bool memory_met = double(plugin_peak.PeakKiB) * 1024 <=
                          double(item_size) * double(records) + double(MemorySlack);
  printf("  %-44s %5.1f <= %.1f MiB  %s\n", "listing peak <= items + 8 MiB", peak_mib,
         items_mib + 8, Verdict(memory_met));
  for (int side = VfolderMbox; side <= VfolderMaildir; ++side) {
    const std::string label = std::string("vfolder ") + VfolderCommands[side] + " <= %.1f x copy";
    if (vfolder.Available[side] && vfolder.Available[VfolderCopy])
      PrintTarget(label.c_str(), VfolderTarget, Median(vfolder.Seconds[side]) / copy_seconds);
    else
      PrintTarget(label.c_str(), VfolderTarget, -1);
  }
#else
  printf("  (peak memory: not measured on Windows)\n");
#endif
  fflush(stdout);
  PluginApi loaded = api;
  UnloadPlugin(&loaded);
#ifndef _WIN32
  if (vfolder_failed) Fail("a vfolder command failed", "");
#endif
  return 0;
}

}  // namespace

int main(int argc, char **argv) {
#ifndef _WIN32
  // The memory children: the index path, and the plug-in's path.
  if (argc == 4 && !strcmp(argv[1], "--peak-child")) {
    PrintPlugInListingPeak(argv[2], argv[3]);
    return 0;
  }
  if (argc == 3 && !strcmp(argv[1], "--peak-floor-child")) {
    PrintFloorListingPeak(argv[2]);
    return 0;
  }
#endif
  return RunBenchmarks(ParseOptions(argc, argv), argv[0]);
}
