#include "tools/vfolder/mail_outputs.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>

#include "tools/vfolder/mbox_format.h"
#include "tools/vfolder/progress.h"
#include "tools/vfolder/system_calls.h"

namespace {

struct ShownBox {
  std::string Caption, Text;
};

// The boxes the plug-in showed during the current GetFiles call. Their
// captions name staging paths, which the user never sees, so each output says
// in its own words which message failed.
std::vector<ShownBox> Boxes;

int WINAPI CatchBox(HWND, const char *text, const char *caption, UINT) {
  Boxes.push_back({caption != nullptr ? caption : "", text != nullptr ? text : ""});
  return 1;  // IDOK
}

std::string Join(const std::string &dir, const std::string &name) {
  return dir + SystemSeparator + name;
}

bool SamePath(const std::string &a, const std::string &b) {
#ifdef _WIN32
  return a.size() == b.size() && _stricmp(a.c_str(), b.c_str()) == 0;
#else
  return a == b;
#endif
}

// Makes a new directory of vfolder's own in `parent`, under a short name so
// that the plug-in's paths stay far below their limit of 260 bytes.
bool MakeStaging(const std::string &parent, std::string *staging) {
  const std::string base = Join(parent, ".vf" + std::to_string(ProcessId()));
  for (int attempt = 0; attempt < 100; ++attempt) {
    *staging = attempt == 0 ? base : base + "." + std::to_string(attempt);
    if (MakeDir(*staging)) return true;
    if (!IsDir(*staging)) break;  // not a leftover of an earlier run: no room here
  }
  fprintf(stderr, "vfolder: %s: cannot make a staging directory there\n", parent.c_str());
  return false;
}

void EmptyStaging(const std::string &staging) {
  std::vector<std::string> names;
  ListDir(staging, &names);
  for (const std::string &name : names) RemoveFile(Join(staging, name));
}

void RemoveStaging(const std::string &staging) {
  EmptyStaging(staging);
  if (!RemoveDir(staging))
    fprintf(stderr, "vfolder: %s: cannot remove the staging directory\n", staging.c_str());
}

void ReportMessage(const ChosenMessages &chosen, size_t i, const char *problem) {
  ClearProgress();
  fprintf(stderr, "vfolder: message %d (%.*s): %s\n", chosen.Positions[i], MAX_PATH,
          chosen.Items[i].FindData.cFileName, problem);
}

enum TakeResult { Taken, TakeFailed, NoDataFile };

// Has the plug-in write message `i` alone into `staging`, and finds its file.
// Reports a message that was not written whole; NoDataFile when the data
// folder file cannot be opened (the plug-in has warned the user).
TakeResult TakeMessage(ChosenMessages *chosen, size_t i, const std::string &staging,
                       std::string *path) {
  Boxes.clear();
  PluginPanelItem item = chosen->Items[i];
  const int copied = chosen->Api->GetFiles(chosen->Folder, &item, 1, 0,
                                           const_cast<char *>(staging.c_str()), 0);
  std::vector<std::string> names;
  const bool listed = ListDir(staging, &names);
  if (!copied) return NoDataFile;
  for (const ShownBox &box : Boxes) ReportMessage(*chosen, i, box.Text.c_str());
  if (!Boxes.empty()) return TakeFailed;
  if (!listed || names.size() != 1) {
    ReportMessage(*chosen, i, "the plug-in wrote no single file for it");
    return TakeFailed;
  }
  *path = Join(staging, names[0]);
  return Taken;
}

enum Delivery { Delivered, NotDelivered, StopAll };

// Takes each chosen message through `staging` and hands its file to
// `deliver`, which reports its own failures. Returns the number not delivered.
template <typename Deliver>
int EachMessage(ChosenMessages *chosen, const std::string &staging, Deliver deliver) {
  const size_t total = chosen->Items.size();
  int failed = 0;
  for (size_t i = 0; i < total; ++i) {
    if (Interrupted()) {
      ClearProgress();
      fprintf(stderr, "vfolder: interrupted\n");
      failed += int(total - i);
      break;
    }
    std::string path;
    const TakeResult taken = TakeMessage(chosen, i, staging, &path);
    if (taken == NoDataFile) {
      failed += int(total - i);
      break;
    }
    Delivery delivery = taken == Taken ? deliver(i, path) : NotDelivered;
    if (delivery != Delivered) ++failed;
    EmptyStaging(staging);
    if (delivery == StopAll) {
      failed += int(total - i - 1);
      break;
    }
    ShowProgress(int(i + 1), int(total));
  }
  ClearProgress();
  return failed;
}

// The whole file, in a buffer the caller frees; null when it cannot be read.
char *ReadWholeFile(const std::string &path, size_t size_hint, size_t *size) {
  FILE *file = fopen(path.c_str(), "rb");
  if (file == nullptr) return nullptr;
  size_t room = size_hint + 1, used = 0;
  char *bytes = static_cast<char *>(malloc(room));
  while (bytes != nullptr) {
    used += fread(bytes + used, 1, room - used, file);
    if (used < room) break;
    char *larger = room < SIZE_MAX / 2 ? static_cast<char *>(realloc(bytes, room * 2)) : nullptr;
    if (larger == nullptr) free(bytes);
    bytes = larger;
    room *= 2;
  }
  const bool read_error = ferror(file) != 0;
  fclose(file);
  if (read_error) {
    free(bytes);
    return nullptr;
  }
  *size = used;
  return bytes;
}

// The Maildir's name for a new message: the delivery time, the process and a
// count that tell every delivery apart, and the machine's name.
std::string MaildirName(unsigned long count) {
  static const std::string host = [] {
    std::string escaped;
    for (char c : HostName()) {
      if (c == '/')
        escaped += "\\057";
      else if (c == ':')
        escaped += "\\072";
      else
        escaped += c;
    }
#ifdef _WIN32
    // A backslash would separate paths here; Windows names never need one.
    std::replace(escaped.begin(), escaped.end(), '\\', '_');
#endif
    return escaped;
  }();
  const long long micros = std::chrono::duration_cast<std::chrono::microseconds>(
                               std::chrono::system_clock::now().time_since_epoch())
                               .count();
  char name[96];
  snprintf(name, sizeof name, "%lld.M%06lldP%luQ%lu.", micros / 1000000, micros % 1000000,
           ProcessId(), count);
  return name + host;
}

}  // namespace

int WriteMbox(ChosenMessages *chosen, const std::string &file) {
  const int total = int(chosen->Items.size());
  const bool to_stdout = file == "-";
  if (!to_stdout && (SamePath(file, chosen->IndexPath) || SamePath(file, chosen->DataPath))) {
    fprintf(stderr, "vfolder: %s: is the folder's own file\n", file.c_str());
    return total;
  }
  FILE *out = to_stdout ? stdout : fopen(file.c_str(), "wb");
  if (out == nullptr) {
    fprintf(stderr, "vfolder: %s: cannot create the file\n", file.c_str());
    return total;
  }
  if (to_stdout) SetBinary(stdout);
  // Beside the mbox, where the user may write; the bytes are copied, so any
  // file system will do.
  const size_t slash = file.find_last_of(SystemSeparator == '\\' ? "\\/" : "/");
  const std::string parent = to_stdout ? TempDir() : file.substr(0, slash == 0 ? 1 : slash);
  std::string staging;
  if (!MakeStaging(parent, &staging)) {
    if (!to_stdout) fclose(out);
    return total;
  }
  RedirectMessageBox(chosen->Api, CatchBox);
  CatchInterrupts();
  const char *shown_name = to_stdout ? "standard output" : file.c_str();
  int failed = EachMessage(chosen, staging, [&](size_t i, const std::string &path) {
    const PluginPanelItem &item = chosen->Items[i];
    size_t size = 0;
    char *message = ReadWholeFile(path, item.FindData.nFileSizeLow, &size);
    if (message == nullptr) {
      ReportMessage(*chosen, i, "cannot read the file the plug-in wrote");
      return NotDelivered;
    }
    const bool written = WriteMboxMessage(out, message, size, item.FindData.ftLastWriteTime);
    free(message);
    if (written) return Delivered;
    ClearProgress();
    fprintf(stderr, "vfolder: %s: cannot write the file\n", shown_name);
    return StopAll;
  });
  RemoveStaging(staging);
  if ((to_stdout ? fflush(out) : fclose(out)) != 0) {
    fprintf(stderr, "vfolder: %s: cannot write the file\n", shown_name);
    failed = total;
  }
  return failed;
}

int WriteMaildir(ChosenMessages *chosen, const std::string &dir) {
  const int total = int(chosen->Items.size());
  const std::string tmp = Join(dir, "tmp"), fresh = Join(dir, "new"), cur = Join(dir, "cur");
  for (const std::string &path : {dir, tmp, fresh, cur}) {
    if (!IsDir(path) && !MakeDir(path)) {
      fprintf(stderr, "vfolder: %s: cannot make the directory\n", path.c_str());
      return total;
    }
  }
  // Inside tmp, so that each rename into new stays on one file system.
  std::string staging;
  if (!MakeStaging(tmp, &staging)) return total;
  RedirectMessageBox(chosen->Api, CatchBox);
  CatchInterrupts();
  static unsigned long deliveries = 0;
  const int failed = EachMessage(chosen, staging, [&](size_t i, const std::string &path) {
    std::string target;
    bool taken = true;
    for (int attempt = 0; taken && attempt < 100; ++attempt) {
      target = Join(fresh, MaildirName(++deliveries));
      if (MoveNoReplace(path, target, &taken)) return Delivered;
    }
    ReportMessage(*chosen, i, ("cannot move it to " + target).c_str());
    return NotDelivered;
  });
  RemoveStaging(staging);
  return failed;
}

int CopyAsEml(ChosenMessages *chosen, const std::string &dest) {
  const int total = int(chosen->Items.size());
  // Inside the destination: the renames stay on one file system.
  std::string staging;
  if (!MakeStaging(dest, &staging)) return total;
  RedirectMessageBox(chosen->Api, CatchBox);
  CatchInterrupts();
  // One call for all, so the plug-in tells equal names apart as copy does.
  Boxes.clear();
  const int copied = chosen->Api->GetFiles(chosen->Folder, chosen->Items.data(), total, 0,
                                           const_cast<char *>(staging.c_str()), 0);
  int failed = copied ? std::min(int(Boxes.size()), total) : total;
  std::set<std::string> failed_names;
  const std::string staged_prefix = staging + SystemSeparator;
  for (const ShownBox &box : Boxes) {
    std::string caption = box.Caption;
    if (caption.compare(0, staged_prefix.size(), staged_prefix) == 0) {
      failed_names.insert(caption.substr(staged_prefix.size()));
      caption = Join(dest, caption.substr(staged_prefix.size()) + ".eml");
    }
    fprintf(stderr, "%s: %s\n", caption.c_str(), box.Text.c_str());
  }
  std::vector<std::string> names;
  ListDir(staging, &names);
  for (size_t n = 0; n < names.size(); ++n) {
    if (Interrupted()) {
      ClearProgress();
      fprintf(stderr, "vfolder: interrupted\n");
      failed += int(names.size() - n);
      break;
    }
    const std::string target = Join(dest, names[n] + ".eml");
    const bool own = SamePath(target, chosen->IndexPath) || SamePath(target, chosen->DataPath);
    if (own || !MoveReplacing(Join(staging, names[n]), target)) {
      ClearProgress();
      fprintf(stderr, "vfolder: %s: %s\n", target.c_str(),
              own ? "is the folder's own file" : "cannot move the file there");
      if (failed_names.count(names[n]) == 0) ++failed;
    }
    ShowProgress(int(n + 1), int(names.size()));
  }
  ClearProgress();
  RemoveStaging(staging);
  return std::min(failed, total);
}
