// vessor_bench: the plug-in's listing and export, driven through its exported
// entry points, each timed against the machine's own floor for the same work
// in the same run, plus the listing's peak memory and the date decoding alone.
// It writes its folders into a temporary directory and removes it at the end.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cinttypes>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "folder/export.h"
#include "folder/vessor_folder.h"
#include "host/far_plugin.h"
#include "tools/vfolder/plugin_loader.h"

#ifndef VESSOR_PLUGIN_PATH
#define VESSOR_PLUGIN_PATH ""
#endif

namespace {

const double MiB = 1024.0 * 1024.0;
const double ListingTarget = 2.0;
const double ExportTarget = 1.3;
const int64_t MemorySlack = 8 << 20;

struct Options {
  int64_t Records = 1000000;
  int64_t Messages = 10000;
  int Repeats = 5;
  bool Smoke = false;
  bool Verbose = false;
  std::string Plugin = VESSOR_PLUGIN_PATH;
  std::string TempParent;
};

// What a listing child (the plug-in or the floor) reports back.
struct ListingRun {
  double FirstSeconds = 0;
  double BestSeconds = 0;
  int64_t Count = 0;
  int64_t BaseKiB = 0;  // VmHWM before the first listing
  int64_t PeakKiB = 0;  // VmHWM after the last one
  uint64_t Digest = 0;
};

struct Message {
  uint32_t Offset;
  uint32_t Size;
};

std::string TempDir;  // removed at exit, whatever path the run takes
char *RemoveCommand[] = {const_cast<char *>("rm"), const_cast<char *>("-rf"), nullptr, nullptr};

void RemoveTempDir() {
  if (TempDir.empty()) return;
  std::error_code ignored;
  std::filesystem::remove_all(TempDir, ignored);
  TempDir.clear();
}

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

const char *FileSystemName(const std::string &path) {
  struct statfs info;
  if (statfs(path.c_str(), &info) != 0) return "unknown";
  switch (uint32_t(info.f_type)) {
    case 0xEF53: return "ext2/3/4";
    case 0x01021994: return "tmpfs";
    case 0x58465342: return "xfs";
    case 0x9123683E: return "btrfs";
    case 0x794C7630: return "overlayfs";
    default: return "other";
  }
}

[[noreturn]] void Fail(const char *what, const std::string &detail) {
  fprintf(stderr, "vessor_bench: %s%s%s\n", what, detail.empty() ? "" : ": ", detail.c_str());
  exit(1);
}

double Now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
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

// ---- Folders written with the layout of folder/vessor_folder.h

void PutLittleEndian32(unsigned char *bytes, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[i] = (unsigned char)(value >> (8 * i));
}

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
// read-only and hidden flags.
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

void WriteAll(int fd, const void *bytes, size_t size, const std::string &path) {
  const char *at = static_cast<const char *>(bytes);
  while (size > 0) {
    const ssize_t written = write(fd, at, size);
    if (written <= 0) Fail("cannot write", path);
    at += written;
    size -= size_t(written);
  }
}

// An index of `records` records (no data folder file: the listing never reads one).
void WriteListingIndex(const std::string &path, int64_t records) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) Fail("cannot create", path);
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
    WriteAll(fd, chunk.data(), used, path);
  }
  close(fd);
}

// The messages' sizes: mostly short ones, every hundredth a long one, some
// empty, and the largest (64 KiB) among them; about 2 KiB each on average.
uint32_t MessageSize(uint64_t *rng, int64_t number) {
  if (number % 1000 == 500) return 65536;
  if (number % 100 == 0) return 16384 + RandomBelow(rng, 65536 - 16384);
  if (number % 50 == 7) return 0;
  return RandomBelow(rng, 3001);
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
  const int index_fd = open(index_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  const std::string data_path = index_path.substr(0, index_path.size() - 1) + "M";
  const int data_fd = open(data_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (index_fd < 0 || data_fd < 0) Fail("cannot create", index_path);
  WriteAll(index_fd, index.data(), index.size(), index_path);
  WriteAll(data_fd, data.data(), data.size(), data_path);
  close(index_fd);
  close(data_fd);
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

PluginApi LoadPluginOrFail(const std::string &path) {
  PluginApi api;
  char error[512];
  if (!LoadPlugin(path.c_str(), &api, error, sizeof error)) Fail(error, "");
  PluginStartupInfo info;
  memset(&info, 0, sizeof info);
  info.StructSize = int(sizeof info);
  info.Message = CountWarning;
  api.SetStartupInfo(&info);
  return api;
}

// Opens the index as the host does: with the file's first 128 bytes.
HANDLE OpenFolder(const PluginApi &api, const std::string &index_path) {
  unsigned char head[128];
  FILE *file = fopen(index_path.c_str(), "rb");
  if (file == nullptr) Fail("cannot read", index_path);
  const size_t got = fread(head, 1, sizeof head, file);
  fclose(file);
  std::vector<char> name(index_path.begin(), index_path.end());
  name.push_back('\0');
  HANDLE folder = api.OpenFilePlugin(name.data(), head, int(got));
  if (folder == INVALID_HANDLE_VALUE) Fail("the plug-in does not open", index_path);
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
    for (size_t at = 0; at < sizeof item; at += 8) {
      uint64_t word;
      memcpy(&word, bytes + at, 8);
      digest = (digest ^ word) * 0x100000001B3u;
    }
  }
  return digest;
}

// ---- Listing, each side in a process of its own so that its peak memory is
// its own.

// The plug-in's side: OpenFilePlugin, then GetFindData + FreeFindData, the
// first time (which opens the index) and `repeats` times more.
ListingRun ListWithPlugin(const std::string &plugin, const std::string &index_path, int repeats) {
  const PluginApi api = LoadPluginOrFail(plugin);
  ListingRun run;
  run.BaseKiB = PeakResidentKiB();
  HANDLE folder = OpenFolder(api, index_path);
  for (int round = 0; round <= repeats; ++round) {
    PluginPanelItem *items = nullptr;
    int count = 0;
    const double start = Now();
    if (!api.GetFindData(folder, &items, &count, 0)) Fail("GetFindData failed on", index_path);
    double seconds = Now() - start;
    // The digest of the first listing is left out of its time.
    if (round == 0) run.Digest = DigestItems(items, count);
    const double free_start = Now();
    api.FreeFindData(folder, items, count);
    seconds += Now() - free_start;
    run.Count = count;
    if (round == 0) run.FirstSeconds = seconds;
    if (round > 0 && (round == 1 || seconds < run.BestSeconds)) run.BestSeconds = seconds;
  }
  api.ClosePlugin(folder);
  run.PeakKiB = PeakResidentKiB();
  if (HostWarnings > 0) Fail("the listing warned", index_path);
  return run;
}

// The floor: the whole index read in one pass, and a zero-filled block of as
// many items, every one of them touched.
ListingRun ListFloor(const std::string &index_path, int repeats) {
  ListingRun run;
  run.BaseKiB = PeakResidentKiB();
  uint64_t sink = 0;
  for (int round = 0; round < repeats; ++round) {
    const double start = Now();
    const int fd = open(index_path.c_str(), O_RDONLY);
    struct stat info;
    if (fd < 0 || fstat(fd, &info) != 0) Fail("cannot read", index_path);
    const size_t size = size_t(info.st_size);
    unsigned char *bytes = static_cast<unsigned char *>(malloc(size > 0 ? size : 1));
    if (bytes == nullptr) Fail("out of memory reading", index_path);
    for (size_t got = 0; got < size;) {
      const ssize_t now = read(fd, bytes + got, size - got);
      if (now <= 0) Fail("cannot read", index_path);
      got += size_t(now);
    }
    close(fd);
    const size_t count = size / IndexRecordSize;
    PluginPanelItem *items =
        static_cast<PluginPanelItem *>(calloc(count > 0 ? count : 1, sizeof(PluginPanelItem)));
    if (items == nullptr) Fail("out of memory listing", index_path);
    for (size_t i = 0; i < count; ++i)
      items[i].FindData.nFileSizeLow = bytes[i * IndexRecordSize + MessageSizeOffset];
    sink += count > 0 ? items[count - 1].FindData.nFileSizeLow : 0;
    free(items);
    free(bytes);
    const double seconds = Now() - start;
    run.Count = int64_t(count);
    if (round == 0 || seconds < run.BestSeconds) run.BestSeconds = seconds;
  }
  run.FirstSeconds = run.BestSeconds;
  run.PeakKiB = PeakResidentKiB();
  run.Digest = sink;
  return run;
}

void PrintListingRun(const ListingRun &run) {
  printf("%.9f %.9f %" PRId64 " %" PRId64 " %" PRId64 " %" PRIu64 "\n", run.FirstSeconds,
         run.BestSeconds, run.Count, run.BaseKiB, run.PeakKiB, run.Digest);
}

// Runs this program again as a listing child and reads back its figures.
ListingRun RunListingChild(const std::vector<std::string> &arguments) {
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
  ListingRun run;
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 ||
      sscanf(output.c_str(), "%lf %lf %" SCNd64 " %" SCNd64 " %" SCNd64 " %" SCNu64,
             &run.FirstSeconds, &run.BestSeconds, &run.Count, &run.BaseKiB, &run.PeakKiB,
             &run.Digest) != 6)
    Fail("a listing child failed", arguments[1]);
  return run;
}

// ---- Export

void MakeDir(const std::string &path) {
  if (mkdir(path.c_str(), 0755) != 0) Fail("cannot create", path);
}

int64_t CountFiles(const std::string &path) {
  int64_t files = 0;
  DIR *dir = opendir(path.c_str());
  if (dir == nullptr) Fail("cannot read", path);
  while (dirent *entry = readdir(dir))
    if (strcmp(entry->d_name, ".") != 0 && strcmp(entry->d_name, "..") != 0) ++files;
  closedir(dir);
  return files;
}

// The path the export gives each item in `dest`.
std::vector<std::string> ExportPaths(const PluginPanelItem *items, int count,
                                     const std::string &dest) {
  std::vector<std::string> paths;
  for (int i = 0; i < count; ++i) {
    char name[MAX_PATH + 1] = {};
    memcpy(name, items[i].FindData.cFileName, MAX_PATH);
    char path[4096];
    BuildExportPath(dest.c_str(), name, path, sizeof path);
    paths.push_back(path);
  }
  return paths;
}

// Every exported file holds its message's bytes, and there is nothing else.
void VerifyExport(const std::vector<std::string> &paths, const std::vector<Message> &messages,
                  const std::vector<unsigned char> &data) {
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
}

// The floor: each file created and its bytes written in one write.
void ExportFloor(const std::vector<std::string> &paths, const std::vector<Message> &messages,
                 const std::vector<unsigned char> &data) {
  for (size_t i = 0; i < paths.size(); ++i) {
    const int fd = open(paths[i].c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    if (fd < 0) Fail("cannot create", paths[i]);
    if (messages[i].Size > 0 &&
        write(fd, &data[messages[i].Offset], messages[i].Size) != ssize_t(messages[i].Size))
      Fail("cannot write", paths[i]);
    if (close(fd) != 0) Fail("cannot write", paths[i]);
  }
}

struct ExportFigures {
  double PluginSeconds = 0;
  double FloorSeconds = 0;
  int64_t Files = 0;
  int64_t Bytes = 0;
};

// GetFiles of every message into a fresh directory, and the floor, in turns,
// best of `repeats` each.
ExportFigures MeasureExport(const Options &options, const std::string &dir) {
  const std::string index_path = dir + "/EXPORT.IDX";
  std::vector<Message> messages;
  const std::vector<unsigned char> data =
      WriteExportFolder(index_path, options.Messages, &messages);
  PluginApi api = LoadPluginOrFail(options.Plugin);
  HANDLE folder = OpenFolder(api, index_path);
  PluginPanelItem *items = nullptr;
  int count = 0;
  if (!api.GetFindData(folder, &items, &count, 0) || count != int(messages.size()))
    Fail("cannot list", index_path);

  ExportFigures figures;
  figures.Files = count;
  figures.Bytes = int64_t(data.size());
  // Every run gets a directory of its own, and all are removed only at the
  // end: a file system without a journal (ext4 here) skips recently deleted
  // inodes when it allocates new ones, so creating files right after
  // deleting as many slows down more with every run.
  // The two sides take turns at going first, so that neither always meets
  // the file system in the state the other left it in.
  for (int round = 0; round < options.Repeats; ++round) {
    double plugin_seconds = 0, floor_seconds = 0;
    for (int side = 0; side < 2; ++side) {
      const bool plugin_side = (side + round) % 2 == 0;
      const std::string dest = dir + (plugin_side ? "/plugin-" : "/floor-") + std::to_string(round);
      const std::vector<std::string> paths = ExportPaths(items, count, dest);
      MakeDir(dest);
      if (plugin_side) {
        std::vector<char> dest_path(dest.begin(), dest.end());
        dest_path.push_back('\0');
        const double start = Now();
        if (!api.GetFiles(folder, items, count, 0, dest_path.data(), 0))
          Fail("GetFiles failed", dest);
        plugin_seconds = Now() - start;
        if (round == 0) VerifyExport(paths, messages, data);
        if (CountFiles(dest) != count) Fail("other files than the messages in", dest);
      } else {
        const double start = Now();
        ExportFloor(paths, messages, data);
        floor_seconds = Now() - start;
      }
    }
    if (options.Verbose)
      printf("  run %d: GetFiles %.4f s, floor %.4f s\n", round, plugin_seconds, floor_seconds);
    if (round == 0 || plugin_seconds < figures.PluginSeconds)
      figures.PluginSeconds = plugin_seconds;
    if (round == 0 || floor_seconds < figures.FloorSeconds) figures.FloorSeconds = floor_seconds;
  }
  api.FreeFindData(folder, items, count);
  api.ClosePlugin(folder);
  UnloadPlugin(&api);
  if (HostWarnings > 0) Fail("the export warned", dir);
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

// ---- Report

std::string MachineCpu() {
  FILE *cpuinfo = fopen("/proc/cpuinfo", "r");
  char line[512];
  std::string model = "unknown";
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

const char *Verdict(bool met) { return met ? "met" : "NOT met"; }

void Usage(FILE *out) {
  fputs(
      "usage: vessor_bench [--records N] [--messages N] [--repeats N] [--smoke]\n"
      "                    [--plugin PATH] [--tmp DIR] [--verbose]\n"
      "Times the plug-in's listing (GetFindData + FreeFindData on N records) and\n"
      "export (GetFiles of N messages) against the machine's floor for the same\n"
      "work, the listing's peak memory and the date decoding. Defaults: 1000000\n"
      "records, 10000 messages, best of 5. --smoke: tiny sizes, a second or so.\n"
      "The folders go into a new directory in DIR (default $TMPDIR, else /tmp),\n"
      "removed at the end. --verbose: every export run's times.\n"
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
      options.Repeats = 2;
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
  if (options.TempParent.empty()) {
    const char *tmp = getenv("TMPDIR");
    options.TempParent = tmp != nullptr && tmp[0] != '\0' ? tmp : "/tmp";
  }
  return options;
}

int RunBenchmarks(const Options &options, const char *self) {
  std::string pattern = options.TempParent + "/vessor_bench.XXXXXX";
  if (mkdtemp(&pattern[0]) == nullptr) Fail("cannot create a directory in", options.TempParent);
  TempDir = pattern;
  atexit(RemoveTempDir);
  RemoveCommand[2] = strdup(TempDir.c_str());
  signal(SIGINT, RemoveTempDirOnSignal);
  signal(SIGTERM, RemoveTempDirOnSignal);
  signal(SIGHUP, RemoveTempDirOnSignal);

  const size_t item_size = sizeof(PluginPanelItem);
  const int64_t records = options.Records;
  printf("vessor_bench%s: %" PRId64 " records, %" PRId64 " messages, best of %d\n",
         options.Smoke ? " --smoke" : "", records, options.Messages, options.Repeats);
  printf("machine: %ld cores, %s, %.1f GiB\n", sysconf(_SC_NPROCESSORS_ONLN), MachineCpu().c_str(),
         double(sysconf(_SC_PHYS_PAGES)) * double(sysconf(_SC_PAGESIZE)) / (MiB * 1024));
  printf("temporary directory: %s (%s)\n", TempDir.c_str(), FileSystemName(TempDir));
  printf("sizeof(PluginPanelItem) = %zu bytes (%s layout; 366 in the 32-bit Windows one)\n\n",
         item_size,
         item_size == 366   ? "32-bit Windows"
         : item_size == 400 ? "64-bit"
                            : "this");
  fflush(stdout);

  // Listing: the floor in one child, the plug-in in another.
  const std::string index_path = TempDir + "/INBOX.IDX";
  WriteListingIndex(index_path, records);
  const std::string repeats = std::to_string(options.Repeats);
  const ListingRun floor = RunListingChild({self, "--floor-child", index_path, repeats});
  const ListingRun listing =
      RunListingChild({self, "--listing-child", index_path, repeats, options.Plugin});
  if (listing.Count != records || floor.Count != records)
    Fail("the listing has not every record of", index_path);
  remove(index_path.c_str());

  const double per_second = double(records);
  const double first_ratio = listing.FirstSeconds / floor.BestSeconds;
  const double repeat_ratio = listing.BestSeconds / floor.BestSeconds;
  printf("listing of %" PRId64 " records (%.1f MB index)   records/s     seconds   x floor\n",
         records, double(records) * IndexRecordSize / 1e6);
  printf("  floor: read + zero-filled items      %12.0f  %10.4f\n", per_second / floor.BestSeconds,
         floor.BestSeconds);
  printf("  first listing (opens the file)       %12.0f  %10.4f  %8.2f\n",
         per_second / listing.FirstSeconds, listing.FirstSeconds, first_ratio);
  printf("  repeated listing (best)              %12.0f  %10.4f  %8.2f\n",
         per_second / listing.BestSeconds, listing.BestSeconds, repeat_ratio);
  printf("  items digest %016" PRIx64 "\n\n", listing.Digest);
  fflush(stdout);

  const ExportFigures exported = MeasureExport(options, TempDir);
  const double export_ratio = exported.PluginSeconds / exported.FloorSeconds;
  printf("export of %" PRId64 " messages (%.1f MB)            files/s     seconds   x floor\n",
         exported.Files, double(exported.Bytes) / 1e6);
  printf("  floor: create + one write each       %12.0f  %10.4f\n",
         double(exported.Files) / exported.FloorSeconds, exported.FloorSeconds);
  printf("  GetFiles (best)                      %12.0f  %10.4f  %8.2f\n\n",
         double(exported.Files) / exported.PluginSeconds, exported.PluginSeconds, export_ratio);
  fflush(stdout);

  const double items_mib = double(item_size) * double(records) / MiB;
  const double peak_mib = double(listing.PeakKiB) / 1024;
  printf("memory of the listing run                  MiB\n");
  printf("  sizeof(item) x records               %12.1f\n", items_mib);
  printf("  peak resident (VmHWM)                %12.1f  (%.1f before the first listing)\n",
         peak_mib, double(listing.BaseKiB) / 1024);
  printf("  floor's peak resident                %12.1f\n\n", double(floor.PeakKiB) / 1024);

  uint64_t sink = 0;
  const double date_ns = MeasureDateDecoding(records * 4, &sink);
  printf("date decoding: %.1f ns per record (%" PRId64 " decodes, sum %" PRIu64 ")\n\n", date_ns,
         records * 4, sink);

  const bool memory_met =
      double(listing.PeakKiB) * 1024 <= double(item_size) * double(records) + double(MemorySlack);
  printf("targets%s\n", options.Smoke ? " (smoke sizes: not meaningful)" : "");
  printf("  first listing    <= %.1f x floor: %5.2f  %s\n", ListingTarget, first_ratio,
         Verdict(first_ratio <= ListingTarget));
  printf("  repeated listing <= %.1f x floor: %5.2f  %s\n", ListingTarget, repeat_ratio,
         Verdict(repeat_ratio <= ListingTarget));
  printf("  export           <= %.1f x floor: %5.2f  %s\n", ExportTarget, export_ratio,
         Verdict(export_ratio <= ExportTarget));
  printf("  listing peak <= items + 8 MiB:  %.1f <= %.1f MiB  %s\n", peak_mib, items_mib + 8,
         Verdict(memory_met));
  return 0;
}

}  // namespace

int main(int argc, char **argv) {
  // The listing children: index path, repeats, and the plug-in's path.
  if (argc == 4 && !strcmp(argv[1], "--floor-child")) {
    PrintListingRun(ListFloor(argv[2], atoi(argv[3])));
    return 0;
  }
  if (argc == 5 && !strcmp(argv[1], "--listing-child")) {
    PrintListingRun(ListWithPlugin(argv[4], argv[2], atoi(argv[3])));
    return 0;
  }
  return RunBenchmarks(ParseOptions(argc, argv), argv[0]);
}
