#include "tools/vfolder/plugin_commands.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "folder/export_name.h"
#include "outputs/mail_folder.h"
#include "outputs/utf8_text.h"
#include "tools/vfolder/escaped_text.h"
#include "tools/vfolder/plugin_loader.h"
#include "tools/vfolder/run_log.h"
#include "tools/vfolder/system_calls.h"
#include "tools/vfolder/terminal_events.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace {

// The host's Message service: each line of text as "TITLE: LINE".
int WINAPI PrintMessage(INT_PTR, DWORD, const char *, const char *const *items, int items_number,
                        int buttons_number) {
  if (items == nullptr || items_number < 1) return -1;
  for (int i = 1; i < items_number - buttons_number; ++i)
    fprintf(stderr, "%s: %s\n", Printable(items[0]).c_str(), Printable(items[i]).c_str());
  return 0;
}

struct ShownBox {
  std::string Caption, Text;
};

// The boxes the plug-in showed since they were last taken: each one is a
// message that was not written whole.
std::vector<ShownBox> Boxes;

// The plug-in's message boxes, as lines on standard error. A file that could
// not be made or written gets the reason the system gave for the call that
// failed, the last one before the box; each box starts the wait for the next.
int WINAPI PrintMessageBox(HWND, const char *text, const char *caption, UINT) {
  const int error = LastSystemError();
  caption = caption != nullptr ? caption : "";
  std::string shown = text != nullptr ? text : "";
  if (shown == "Cannot create file" || shown == "Cannot write file") shown += Because(error);
  fprintf(stderr, "%s: %s\n", Printable(caption).c_str(), Printable(shown.c_str()).c_str());
  Boxes.push_back({caption, shown});
  ClearSystemError();
  return 1;  // IDOK
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

const char *DescriptionOf(const PluginPanelItem &item) {
  return item.Description != nullptr ? item.Description : "";
}

// The table, as UTF-8 that a terminal shows as it is, its columns aligned by
// the width the terminal gives each text. Without a character set, bytes
// that are no UTF-8 are shown as \xHH, and a line on standard error says
// how to see them as letters.
void PrintTable(const PluginPanelItem *items, int count, const OpenPluginInfo &info,
                const TextCharset *charset) {
  std::vector<std::string> names, descriptions;
  size_t name_width = 4;
  bool escaped = false;
  for (int i = 0; i < count; ++i) {
    const std::string name = DecodedText(charset, items[i].FindData.cFileName);
    const std::string description = DecodedText(charset, DescriptionOf(items[i]));
    names.push_back(TableText(name));
    descriptions.push_back(TableText(description));
    name_width = std::max(name_width, DisplayWidth(names.back()));
    escaped = escaped || !IsUtf8(name) || !IsUtf8(description);
  }
  if (escaped && charset == nullptr)
    fputs("vfolder: some texts are not UTF-8 and show as \\xHH; --charset CP decodes them from "
          "the mail program's code page CP (cp1251, cp866, ...)\n",
          stderr);
  char line[160];
  snprintf(line, sizeof line, "%s: %d %s\n", info.PanelTitle != nullptr ? info.PanelTitle : "",
           count, count == 1 ? "item" : "items");
  std::string table = line;
  snprintf(line, sizeof line, "  %10s  %-16s  %-4s  %s\n", "Size", "Date", "Attr", "Description");
  table += PaddedTo("Name", name_width) + line;
  for (int i : PanelOrder(items, count, info)) {
    const PanelFindData &find = items[i].FindData;
    const DWORD attributes = find.dwFileAttributes;
    snprintf(line, sizeof line, "  %10" PRIu32 "  %-16s  %c%c    ", uint32_t(find.nFileSizeLow),
             LocalCalendarTime(find.ftCreationTime).c_str(),
             attributes & FILE_ATTRIBUTE_READONLY_BIT ? 'R' : '-',
             attributes & FILE_ATTRIBUTE_HIDDEN_BIT ? 'H' : '-');
    table += PaddedTo(names[size_t(i)], name_width) + line + descriptions[size_t(i)] + "\n";
  }
  PrintText(stdout, table);
}

void PrintTsv(const PluginPanelItem *items, int count, const TextCharset *charset) {
#ifdef _WIN32
  // Lines end in a bare line feed everywhere, so scripts read one format.
  fflush(stdout);
  _setmode(_fileno(stdout), _O_BINARY);
#endif
  for (int i = 0; i < count; ++i) {
    const PanelFindData &find = items[i].FindData;
    printf("%d\t%s\t%s\t%" PRIu32 "\t%" PRIu64 "\t%" PRIu64 "\t%" PRIu32 "\t%" PRId32 "\n", i,
           Escaped(DecodedText(charset, find.cFileName).c_str()).c_str(),
           Escaped(DecodedText(charset, DescriptionOf(items[i])).c_str()).c_str(),
           uint32_t(find.nFileSizeLow), Ticks(find.ftCreationTime), Ticks(find.ftLastWriteTime),
           uint32_t(find.dwFileAttributes), DataOffset(items[i]));
  }
}

// A file name without a suffix "_(N)" that tells twins apart.
std::string WithoutSuffix(const std::string &name) {
  const size_t open = name.rfind("_(");
  if (open == std::string::npos || name.back() != ')' || open + 3 > name.size() - 1) return name;
  for (size_t i = open + 2; i + 1 < name.size(); ++i)
    if (name[i] < '0' || name[i] > '9') return name;
  return name.substr(0, open);
}

bool SameIgnoringCase(const std::string &a, const std::string &b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    const char x = a[i] >= 'a' && a[i] <= 'z' ? char(a[i] - 32) : a[i];
    const char y = b[i] >= 'a' && b[i] <= 'z' ? char(b[i] - 32) : b[i];
    if (x != y) return false;
  }
  return true;
}

// The reason each item was not written, empty for those written, from the
// boxes the plug-in showed: they come in item order, one for each message not
// written whole, each captioned with the path it tried. A box goes to the
// item whose file has that name, or else to the first after the last one
// matched whose name has the same stem (another suffix, where the file system
// took a name for one made already), or else to that next item.
std::vector<std::string> FailuresFromBoxes(const std::vector<PluginPanelItem> &items,
                                           const std::string &dest) {
  std::vector<std::string> reasons(items.size());
  std::vector<const char *> names;
  for (const PluginPanelItem &item : items) names.push_back(item.FindData.cFileName);
  ExportNames given;
  const bool named = MakeExportNames(names.data(), int(names.size()), MAX_PATH, &given);
  const std::string prefix = dest + PATH_SEPARATOR;
  size_t next = 0;
  for (const ShownBox &box : Boxes) {
    const bool in_dest = box.Caption.compare(0, prefix.size(), prefix) == 0;
    const std::string name = in_dest ? box.Caption.substr(prefix.size()) : std::string();
    size_t match = items.size();
    for (size_t i = next; named && in_dest && i < items.size() && match == items.size(); ++i)
      if (name == ExportNameOf(&given, int(i))) match = i;
    for (size_t i = next; named && in_dest && i < items.size() && match == items.size(); ++i)
      if (SameIgnoringCase(WithoutSuffix(name), WithoutSuffix(ExportNameOf(&given, int(i)))))
        match = i;
    if (match == items.size()) match = next;
    if (match >= items.size()) break;
    reasons[match] = box.Text;
    next = match + 1;
  }
  if (named) FreeExportNames(&given);
  return reasons;
}

// Whether the copy would write a message into the log at `log_path`: it is
// the file at the path one of `items` is copied to, or it is to be made in
// DEST under such a name (in any case of A-Z, which some file systems fold).
bool LogIsMessageFile(const std::vector<PluginPanelItem> &items, const std::string &dest,
                      const char *log_path) {
  std::vector<const char *> names;
  for (const PluginPanelItem &item : items) names.push_back(item.FindData.cFileName);
  ExportNames given;
  if (!MakeExportNames(names.data(), int(names.size()), MAX_PATH, &given)) return true;
  const std::string log = FullPath(log_path);
  const size_t slash = log.find_last_of(SystemSeparator == '\\' ? "\\/" : "/");
  const FileIdentity log_file = FileSystem.Identify(log.c_str());
  const bool in_dest = IsSameFile(FileSystem.Identify(log.substr(0, slash + 1).c_str()),
                                  FileSystem.Identify(dest.c_str()));
  bool found = false;
  for (size_t i = 0; i < items.size() && !found; ++i) {
    const std::string name = ExportNameOf(&given, int(i));
    found = (in_dest && SameIgnoringCase(name, log.substr(slash + 1))) ||
            IsSameFile(log_file, FileSystem.Identify((dest + PATH_SEPARATOR + name).c_str()));
  }
  FreeExportNames(&given);
  return found;
}

// copy: one GetFiles call for every chosen item, as the file manager makes it.
int Copy(const PluginCommand &command, const PluginApi &api, HANDLE folder,
         const PluginPanelItem *items, int count) {
  // The names as the table shows them, and ITEMs in the same form.
  std::vector<std::string> item_names, wanted;
  for (int i = 0; i < count; ++i)
    item_names.push_back(DecodedText(command.Charset, items[i].FindData.cFileName));
  for (const char *item : command.Items) wanted.push_back(ArgumentText(command.Charset, item));
  std::vector<int> chosen;
  std::string unmatched;
  if (!SelectItems(item_names, wanted, &chosen, &unmatched)) {
    fprintf(stderr, "vfolder: %s: no item %s\n", Printable(command.Index).c_str(),
            TableText(unmatched).c_str());
    return 2;
  }
  std::vector<PluginPanelItem> copied;
  for (int position : chosen) {
    copied.push_back(items[position]);
#ifndef _WIN32
    // File names in UTF-8, as the system's other names are; Windows keeps the
    // bytes, which its file functions take in their own code page.
    if (command.Charset != nullptr)
      snprintf(copied.back().FindData.cFileName, sizeof copied.back().FindData.cFileName, "%s",
               item_names[size_t(position)].c_str());
#endif
  }
  const std::string dest = FullPath(command.Dest);
  // A destination that cannot take a file is said once, not once a message.
  const PathKind kind = FileSystem.KindOf(dest.c_str(), true);
  std::string unusable;
  int error = 0;
  if (kind == PathMissing)
    unusable = "no such directory";
  else if (kind != PathDirectory)
    unusable = "is no directory";
  else if (!CanMakeFilesIn(dest, &error))
    unusable = "cannot make files in it" + Because(error);
  if (!unusable.empty())
    fprintf(stderr, "vfolder: %s: %s\n", Printable(command.Dest).c_str(), unusable.c_str());
  RunLog log;
  if (command.LogPath != nullptr) {
    // The log never takes the place of one of the folder's files.
    MailFolder opened = {command.Index, CreateFolderHandle(FullPath(command.Index).c_str()), {},
                         {}, {}, {}};
    FileIdentity own[2] = {};
    if (opened.Handle != nullptr) FolderFileIdentities(opened.Handle, own);
    CloseMailFolder(&opened);
    const FileIdentity identity = FileSystem.Identify(command.LogPath);
    const char *problem = IsSameFile(identity, own[0]) || IsSameFile(identity, own[1])
                              ? "is one of the folder's own files"
                          : LogIsMessageFile(copied, dest, command.LogPath)
                              ? "is the file a message is copied to"
                              : nullptr;
    if (problem != nullptr) {
      fprintf(stderr, "vfolder: %s: %s\n", Printable(command.LogPath).c_str(), problem);
      return 2;
    }
    if (!OpenRunLog(command.LogPath, &log)) return 2;
  }
  const int total = int(copied.size());
  Boxes.clear();
  ClearSystemError();
  const int done = unusable.empty() && total > 0 && api.GetFiles(folder, copied.data(), total, 0,
                                                    const_cast<char *>(dest.c_str()), 0);
  // No box at all when the data folder file cannot be opened: the host
  // warning said so, and nothing was written.
  const std::vector<std::string> reasons =
      !unusable.empty() ? std::vector<std::string>(copied.size(), "Cannot create file: " + unusable)
      : done || total == 0 ? FailuresFromBoxes(copied, dest)
                        : std::vector<std::string>(copied.size(), "Unable to open Data Folder File");
  int failed = 0;
  for (size_t i = 0; i < copied.size(); ++i) {
    if (!reasons[i].empty()) ++failed;
    if (command.LogPath != nullptr)
      LogMessage(&log, command.Index, chosen[i], item_names[size_t(chosen[i])].c_str(),
                 uint32_t(copied[i].FindData.nFileSizeLow),
                 reasons[i].empty() ? nullptr : reasons[i].c_str());
  }
  fprintf(stderr, "vfolder: %s\n", SummaryOf({total, total, total - failed, failed, 0, 0}).c_str());
  const bool logged = command.LogPath == nullptr || CloseRunLog(&log);
  return failed > 0 || !logged ? 1 : 0;
}

}  // namespace

int RunPluginCommand(const PluginCommand &command) {
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

  // The file manager offers the plug-in the file's full path and its leading
  // bytes.
  std::string index_path = FullPath(command.Index);
  unsigned char leading[128];
  size_t leading_count = 0;
  const FileRef file = FileSystem.OpenForReading(index_path.c_str());
  if (file == NoFile) {
    const int error = LastSystemError();
    const std::string problem = FileSystem.KindOf(index_path.c_str(), true) == PathDirectory
                                    ? "is a directory, not a folder's index file"
                                    : "cannot read the file" + Because(error);
    fprintf(stderr, "vfolder: %s: %s\n", Printable(command.Index).c_str(), problem.c_str());
    UnloadPlugin(&api);
    return 2;
  }
  leading_count = FileSystem.ReadAt(file, 0, leading, sizeof leading);
  FileSystem.Close(file);

  int status = 0;
  // The mail program's empty folder, an empty index file beside its data
  // folder file, is one the host opens no plug-in for: it has no item.
  int64_t records = 0;
  const bool empty = leading_count == 0 && IsFolderFile(index_path, &records);
  HANDLE folder =
      empty ? INVALID_HANDLE_VALUE : api.OpenFilePlugin(&index_path[0], leading, int(leading_count));
  if (empty) {
    OpenPluginInfo panel = {};
    panel.PanelTitle = "Vessor folder";
    if (command.Copy)
      status = Copy(command, api, folder, nullptr, 0);
    else if (!command.Tsv)
      PrintTable(nullptr, 0, panel, command.Charset);
  } else if (folder == INVALID_HANDLE_VALUE) {
    fprintf(stderr, "vfolder: %s: not a Vessor mail folder\n", Printable(command.Index).c_str());
    status = 2;
  } else {
    OpenPluginInfo panel;
    api.GetOpenPluginInfo(folder, &panel);
    PluginPanelItem *items = nullptr;
    int count = 0;
    if (!api.GetFindData(folder, &items, &count, 0)) {
      fprintf(stderr, "vfolder: %s: cannot list the folder\n", Printable(command.Index).c_str());
      status = 2;
    } else if (!command.Copy) {
      if (command.Tsv)
        PrintTsv(items, count, command.Charset);
      else
        PrintTable(items, count, panel, command.Charset);
    } else {
      status = Copy(command, api, folder, items, count);
    }
    if (items != nullptr) api.FreeFindData(folder, items, count);
    api.ClosePlugin(folder);
  }
  api.ExitFAR();
  UnloadPlugin(&api);
  return status;
}
