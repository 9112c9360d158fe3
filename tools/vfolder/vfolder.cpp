// vfolder: lists and copies the messages of a Vessor mail folder through the
// plug-in library, calling its entry points in the order the file manager does.
#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "tools/vfolder/mail_outputs.h"
#include "tools/vfolder/plugin_loader.h"
#include "tools/vfolder/progress.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#else
#include <unistd.h>
#endif

namespace {

const char Usage[] =
    "usage: vfolder [--plugin PATH] list [--tsv] INDEX\n"
    "       vfolder [--plugin PATH] copy [--eml] INDEX DEST [ITEM...]\n"
    "       vfolder [--plugin PATH] mbox INDEX FILE [ITEM...]\n"
    "       vfolder [--plugin PATH] maildir INDEX DIR [ITEM...]\n";

const char Help[] =
    "Lists and copies out the messages of a Vessor mail folder through the\n"
    "file-manager plug-in, exactly as the file manager drives it.\n"
    "\n"
    "  list INDEX          a table of the items, newest first, with their times\n"
    "                      in the local time zone (TZ), as the panel shows them\n"
    "  list --tsv INDEX    one line per item in listing order, tab-separated:\n"
    "                      position, name, description, size, creation time,\n"
    "                      last-write time (file times), attributes, data offset;\n"
    "                      in name and description \\ \\t \\n \\r and other control\n"
    "                      bytes are escaped (\\\\, \\t, \\n, \\r, \\xHH)\n"
    "  copy INDEX DEST [ITEM...]\n"
    "                      copies the messages into directory DEST, all of them\n"
    "                      or the ITEMs given (a position from the listing, or an\n"
    "                      exact name), under the names the panel would give them;\n"
    "                      a file already there is replaced\n"
    "  copy --eml INDEX DEST [ITEM...]\n"
    "                      the same, each file's name ending in .eml, for mail\n"
    "                      programs that open or import .eml files\n"
    "  mbox INDEX FILE [ITEM...]\n"
    "                      one mbox file (mboxrd) of the messages, each once and in\n"
    "                      listing order, for mail programs that import mbox files;\n"
    "                      FILE is created or replaced, - is standard output. Each\n"
    "                      message follows a line \"From ADDRESS DATE\": the address\n"
    "                      of its From: header (MAILER-DAEMON when there is none)\n"
    "                      and the item's date in UTC; lines starting with >...From\n"
    "                      get one more >; each ends in a line feed and an empty line\n"
    "  maildir INDEX DIR [ITEM...]\n"
    "                      delivers the messages, each once, into the Maildir DIR\n"
    "                      (tmp, new and cur made when missing), one new file in\n"
    "                      DIR/new each; what is there already stays as it is\n"
    "  --plugin PATH       the plug-in library (default: beside this program)\n"
    "\n"
    "INDEX is the folder's index file; its data folder file is the same path\n"
    "ending in M. The folder is only read. Every output takes the messages\n"
    "through the plug-in; mbox, maildir and copy --eml stage them in a directory\n"
    "of their own (.vfPID beside FILE, in DIR/tmp, in DEST) that they remove.\n"
    "Each file keeps the message date as its modification time.\n"
    "copy, mbox and maildir end with the line\n"
    "\"vfolder: N messages, N written, N failed\" on standard error; while that\n"
    "is a terminal, mbox, maildir and copy --eml count the messages done on a\n"
    "line there.\n"
    "Exit status: 0 every chosen message was written whole; 1 some were not (a\n"
    "file could not be created, a message could not be read or written, the\n"
    "data folder file could not be opened, vfolder could not put a message\n"
    "into the mbox or the Maildir, or the run was interrupted); 2 not a folder,\n"
    "the listing failed, or a usage error.\n"
    "Messages from the plug-in are written to standard error.\n";

int UsageError(const char *problem) {
  if (problem != nullptr) fprintf(stderr, "vfolder: %s\n", problem);
  fputs(Usage, stderr);
  return 2;
}

// The host's Message service: each line of text as "TITLE: LINE".
int WINAPI PrintMessage(INT_PTR, DWORD, const char *, const char *const *items, int items_number,
                        int buttons_number) {
  if (items == nullptr || items_number < 1) return -1;
  ClearProgress();
  for (int i = 1; i < items_number - buttons_number; ++i)
    fprintf(stderr, "%s: %s\n", items[0], items[i]);
  return 0;
}

// Boxes the plug-in showed since the count was last reset: each one is a
// message that was not written whole.
int BoxesShown = 0;

// The plug-in's message boxes, as lines on standard error.
int WINAPI PrintMessageBox(HWND, const char *text, const char *caption, UINT) {
  fprintf(stderr, "%s: %s\n", caption, text);
  ++BoxesShown;
  return 1;  // IDOK
}

// The file manager hands the plug-in full paths.
std::string FullPath(const char *path) {
#ifdef _WIN32
  char full[MAX_PATH * 4];
  const DWORD length = GetFullPathNameA(path, sizeof full, full, nullptr);
  return length > 0 && length < sizeof full ? std::string(full) : std::string(path);
#else
  if (path[0] == '/') return path;
  char cwd[4096];
  if (getcwd(cwd, sizeof cwd) == nullptr) return path;
  return std::string(cwd) + "/" + path;
#endif
}

std::string Escaped(const char *text) {
  std::string out;
  for (const unsigned char *c = reinterpret_cast<const unsigned char *>(text); *c; ++c) {
    switch (*c) {
      case '\\': out += "\\\\"; break;
      case '\t': out += "\\t"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      default:
        if (*c < 0x20 || *c == 0x7F) {
          char hex[5];
          snprintf(hex, sizeof hex, "\\x%02x", *c);
          out += hex;
        } else {
          out += char(*c);
        }
    }
  }
  return out;
}

uint64_t Ticks(const FILETIME &time) {
  return uint64_t(time.dwHighDateTime) << 32 | time.dwLowDateTime;
}

// "YYYY-MM-DD HH:MM" of a file time in the local time zone, as the file
// manager shows item times (it takes them as UTC); "-" for none.
std::string LocalCalendarTime(const FILETIME &time) {
  if (Ticks(time) / 10000000u == 0) return "-";
  int year, month, day, hour, minute;
#ifdef _WIN32
  FILETIME local;
  SYSTEMTIME parts;
  if (!FileTimeToLocalFileTime(&time, &local) || !FileTimeToSystemTime(&local, &parts)) return "-";
  year = parts.wYear, month = parts.wMonth, day = parts.wDay;
  hour = parts.wHour, minute = parts.wMinute;
#else
  const time_t unix_seconds = time_t(int64_t(Ticks(time) / 10000000u) - 11644473600);
  struct tm parts;
  if (localtime_r(&unix_seconds, &parts) == nullptr) return "-";
  year = parts.tm_year + 1900, month = parts.tm_mon + 1, day = parts.tm_mday;
  hour = parts.tm_hour, minute = parts.tm_min;
#endif
  char text[48];
  snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d", year, month, day, hour, minute);
  return text;
}

int32_t DataOffset(const PluginPanelItem &item) { return int32_t(uint32_t(item.UserData)); }

// Item positions in the order the panel shows them.
std::vector<int> PanelOrder(const PluginPanelItem *items, int count, const OpenPluginInfo &info) {
  std::vector<int> order(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) order[size_t(i)] = i;
  auto key_less = [&](int a, int b) {
    const PanelFindData &x = items[a].FindData, &y = items[b].FindData;
    switch (info.StartSortMode) {
      case SM_NAME: return strcmp(x.cFileName, y.cFileName) < 0;
      case SM_MTIME: return Ticks(x.ftLastWriteTime) < Ticks(y.ftLastWriteTime);
      case SM_CTIME: return Ticks(x.ftCreationTime) < Ticks(y.ftCreationTime);
      case SM_SIZE: return x.nFileSizeLow < y.nFileSizeLow;
      case SM_DESCR: return strcmp(items[a].Description, items[b].Description) < 0;
      default: return false;
    }
  };
  std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
    return info.StartSortOrder ? key_less(b, a) : key_less(a, b);
  });
  return order;
}

void PrintTable(const PluginPanelItem *items, int count, const OpenPluginInfo &info) {
  size_t name_width = 4;
  for (int i = 0; i < count; ++i)
    name_width = std::max(name_width, Escaped(items[i].FindData.cFileName).size());
  name_width = std::min<size_t>(name_width, 40);
  printf("%s: %d items\n", info.PanelTitle != nullptr ? info.PanelTitle : "", count);
  printf("%-*s  %10s  %-16s  %-4s  %s\n", int(name_width), "Name", "Size", "Date", "Attr",
         "Description");
  for (int i : PanelOrder(items, count, info)) {
    const PanelFindData &find = items[i].FindData;
    const DWORD attributes = find.dwFileAttributes;
    printf("%-*s  %10" PRIu32 "  %-16s  %c%c    %s\n", int(name_width),
           Escaped(find.cFileName).c_str(), uint32_t(find.nFileSizeLow),
           LocalCalendarTime(find.ftCreationTime).c_str(),
           attributes & FILE_ATTRIBUTE_READONLY_BIT ? 'R' : '-',
           attributes & FILE_ATTRIBUTE_HIDDEN_BIT ? 'H' : '-',
           Escaped(items[i].Description != nullptr ? items[i].Description : "").c_str());
  }
}

void PrintTsv(const PluginPanelItem *items, int count) {
#ifdef _WIN32
  // Lines end in a bare line feed everywhere, so scripts read one format.
  fflush(stdout);
  _setmode(_fileno(stdout), _O_BINARY);
#endif
  for (int i = 0; i < count; ++i) {
    const PanelFindData &find = items[i].FindData;
    printf("%d\t%s\t%s\t%" PRIu32 "\t%" PRIu64 "\t%" PRIu64 "\t%" PRIu32 "\t%" PRId32 "\n", i,
           Escaped(find.cFileName).c_str(),
           Escaped(items[i].Description != nullptr ? items[i].Description : "").c_str(),
           uint32_t(find.nFileSizeLow), Ticks(find.ftCreationTime), Ticks(find.ftLastWriteTime),
           uint32_t(find.dwFileAttributes), DataOffset(items[i]));
  }
}

// The positions of the items named on the command line: positions from the
// listing, or exact names (every item of that name). False, naming the
// culprit, when one matches nothing.
bool SelectItems(const PluginPanelItem *items, int count, char **names, int names_count,
                 std::vector<int> *chosen, const char **unmatched) {
  if (names_count == 0) {
    for (int i = 0; i < count; ++i) chosen->push_back(i);
    return true;
  }
  for (int n = 0; n < names_count; ++n) {
    const char *name = names[n];
    char *end = nullptr;
    const long position = strtol(name, &end, 10);
    if (name[0] >= '0' && name[0] <= '9' && *end == '\0' && position < count) {
      chosen->push_back(int(position));
      continue;
    }
    bool found = false;
    for (int i = 0; i < count; ++i) {
      if (strcmp(items[i].FindData.cFileName, name) != 0) continue;
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

enum Output { NoOutput, ListOutput, CopyOutput, MboxOutput, MaildirOutput };

struct Command {
  Output What = NoOutput;
  bool Tsv = false, Eml = false;
  const char *PluginPath = nullptr;
  std::vector<char *> Arguments;
};

int Run(const Command &command) {
  char plugin_path[4096];
  if (command.PluginPath != nullptr) {
    snprintf(plugin_path, sizeof plugin_path, "%s", command.PluginPath);
  } else if (!DefaultPluginPath(plugin_path, sizeof plugin_path)) {
    fprintf(stderr, "vfolder: cannot find the plug-in beside this program; use --plugin\n");
    return 2;
  }
  PluginApi api;
  char error[512];
  if (!LoadPlugin(plugin_path, &api, error, sizeof error)) {
    fprintf(stderr, "vfolder: %s\n", error);
    return 2;
  }

  RedirectMessageBox(&api, PrintMessageBox);
  PluginStartupInfo startup;
  memset(&startup, 0, sizeof startup);
  startup.StructSize = int(sizeof startup);
  memcpy(startup.ModuleName, plugin_path,
         std::min(strlen(plugin_path), sizeof startup.ModuleName - 1));
  startup.ModuleNumber = 0;
  startup.Message = PrintMessage;
  api.SetStartupInfo(&startup);
  PluginInfo plugin_info;
  api.GetPluginInfo(&plugin_info);

  const char *index_arg = command.Arguments[0];
  std::string index_path = FullPath(index_arg);
  unsigned char leading[128];
  size_t leading_count = 0;
  if (FILE *file = fopen(index_path.c_str(), "rb")) {
    leading_count = fread(leading, 1, sizeof leading, file);
    fclose(file);
  } else {
    fprintf(stderr, "vfolder: %s: cannot read the file\n", index_arg);
    UnloadPlugin(&api);
    return 2;
  }

  int status = 0;
  HANDLE folder = api.OpenFilePlugin(&index_path[0], leading, int(leading_count));
  if (folder == INVALID_HANDLE_VALUE) {
    fprintf(stderr, "vfolder: %s: not a Vessor mail folder\n", index_arg);
    status = 2;
  } else {
    OpenPluginInfo panel;
    api.GetOpenPluginInfo(folder, &panel);
    PluginPanelItem *items = nullptr;
    int count = 0;
    if (!api.GetFindData(folder, &items, &count, 0)) {
      fprintf(stderr, "vfolder: %s: cannot list the folder\n", index_arg);
      status = 2;
    } else if (command.What == ListOutput) {
      if (command.Tsv)
        PrintTsv(items, count);
      else
        PrintTable(items, count, panel);
    } else {
      ChosenMessages chosen;
      const char *unmatched = nullptr;
      const int names_count = int(command.Arguments.size()) - 2;
      if (!SelectItems(items, count, const_cast<char **>(command.Arguments.data()) + 2, names_count,
                       &chosen.Positions, &unmatched)) {
        fprintf(stderr, "vfolder: %s: no item %s\n", index_arg, unmatched);
        status = 2;
      } else {
        const char *target_arg = command.Arguments[1];
        std::string target = command.What == MboxOutput && !strcmp(target_arg, "-")
                                 ? std::string(target_arg)
                                 : FullPath(target_arg);
        chosen.Api = &api;
        chosen.Folder = folder;
        chosen.IndexPath = index_path;
        chosen.DataPath = index_path.substr(0, index_path.size() - 1) + "M";
        // A mail program's file holds each message once, in the folder's order.
        if (command.What == MboxOutput || command.What == MaildirOutput) {
          std::vector<int> &positions = chosen.Positions;
          std::sort(positions.begin(), positions.end());
          positions.erase(std::unique(positions.begin(), positions.end()), positions.end());
        }
        for (int position : chosen.Positions) chosen.Items.push_back(items[position]);
        const int total = int(chosen.Items.size());
        int failed = 0;
        if (command.What == MboxOutput) {
          failed = WriteMbox(&chosen, target);
        } else if (command.What == MaildirOutput) {
          failed = WriteMaildir(&chosen, target);
        } else if (command.Eml) {
          failed = CopyAsEml(&chosen, target);
        } else {
          BoxesShown = 0;
          const int copied = api.GetFiles(folder, chosen.Items.data(), total, 0, &target[0], 0);
          // One box is shown for each message that is not written whole; none
          // at all are written when the data folder file cannot be opened.
          failed = copied ? std::min(BoxesShown, total) : total;
        }
        fprintf(stderr, "vfolder: %d messages, %d written, %d failed\n", total, total - failed,
                failed);
        status = failed > 0 ? 1 : 0;
      }
    }
    if (items != nullptr) api.FreeFindData(folder, items, count);
    api.ClosePlugin(folder);
  }
  api.ExitFAR();
  UnloadPlugin(&api);
  return status;
}

}  // namespace

int main(int argc, char **argv) {
  Command command;
  bool options_done = false;
  for (int i = 1; i < argc; ++i) {
    char *arg = argv[i];
    if (!options_done && (!strcmp(arg, "--help") || !strcmp(arg, "-h"))) {
      fputs(Usage, stdout);
      fputs("\n", stdout);
      fputs(Help, stdout);
      return 0;
    } else if (!options_done && !strcmp(arg, "--plugin")) {
      if (++i == argc) return UsageError("--plugin needs a path");
      command.PluginPath = argv[i];
    } else if (!options_done && !strcmp(arg, "--tsv")) {
      command.Tsv = true;
    } else if (!options_done && !strcmp(arg, "--eml")) {
      command.Eml = true;
    } else if (!options_done && !strcmp(arg, "--")) {
      options_done = true;
    } else if (!options_done && arg[0] == '-' && arg[1] != '\0') {
      return UsageError((std::string("unknown option ") + arg).c_str());
    } else if (command.What == NoOutput && command.Arguments.empty() && !strcmp(arg, "list")) {
      command.What = ListOutput;
    } else if (command.What == NoOutput && command.Arguments.empty() && !strcmp(arg, "copy")) {
      command.What = CopyOutput;
    } else if (command.What == NoOutput && command.Arguments.empty() && !strcmp(arg, "mbox")) {
      command.What = MboxOutput;
    } else if (command.What == NoOutput && command.Arguments.empty() &&
               !strcmp(arg, "maildir")) {
      command.What = MaildirOutput;
    } else {
      command.Arguments.push_back(arg);
    }
  }
  if (command.What == NoOutput) return UsageError(nullptr);
  if (command.What == ListOutput && command.Arguments.size() != 1)
    return UsageError("list takes one INDEX");
  if (command.What == CopyOutput && command.Arguments.size() < 2)
    return UsageError("copy takes INDEX and DEST");
  if (command.What == MboxOutput && command.Arguments.size() < 2)
    return UsageError("mbox takes INDEX and FILE");
  if (command.What == MaildirOutput && command.Arguments.size() < 2)
    return UsageError("maildir takes INDEX and DIR");
  if (command.What != ListOutput && command.Tsv) return UsageError("--tsv goes with list");
  if (command.What != CopyOutput && command.Eml) return UsageError("--eml goes with copy");
  return Run(command);
}
