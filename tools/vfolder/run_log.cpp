#include "tools/vfolder/run_log.h"

#include <cstdio>

#include "tools/vfolder/escaped_text.h"
#include "tools/vfolder/progress.h"

namespace {

const size_t LogPieceSize = 64 * 1024;

void WritePending(RunLog *log) {
  if (log->Pending.Size == 0) return;
  if (!log->Failed && !FileSystem.Write(log->File, log->Pending.Bytes, log->Pending.Size)) {
    log->Failed = true;
    ClearProgress();
    fprintf(stderr, "vfolder: %s: cannot write the log\n", Printable(log->Path.c_str()).c_str());
  }
  log->Pending.Size = 0;
}

}  // namespace

bool OpenRunLog(const std::string &path, RunLog *log) {
  *log = RunLog{NoFile, path, {}, false, false};
  const char *problem = nullptr;
  bool exists = false;
  log->File = FileSystem.CreateNew(path.c_str(), DefaultAccess, &exists);
  log->Made = log->File != NoFile;
  if (log->File == NoFile && exists) {
    FoundFile found = {};
    log->File = FileSystem.OpenExisting(path.c_str(), &found);
    const int64_t size = log->File != NoFile ? FileSystem.SizeOf(log->File) : -1;
    if (log->File == NoFile || !found.Regular || size < 0 ||
        !FileSystem.Truncate(log->File, uint64_t(size))) {
      if (log->File != NoFile) FileSystem.Close(log->File);
      log->File = NoFile;
      problem = "is no file the log can be added to";
    }
  }
  if (log->File != NoFile) return true;
  fprintf(stderr, "vfolder: %s: %s\n", Printable(path.c_str()).c_str(),
          problem != nullptr ? problem : "cannot create the log");
  return false;
}

void LogMessage(RunLog *log, const std::string &folder, int position, const char *name,
                uint32_t size, const char *problem, const std::string &note) {
  const std::string line =
      Escaped(folder.c_str()) + "\t" + std::to_string(position) + "\t" + Escaped(name) + "\t" +
      std::to_string(size) +
      (problem == nullptr ? "\twritten\t" + note + "\n" : "\tfailed\t" + Escaped(problem) + "\n");
  if (!AppendBytes(&log->Pending, line.data(), line.size())) {
    WritePending(log);
    AppendBytes(&log->Pending, line.data(), line.size());
  }
  if (log->Pending.Size >= LogPieceSize) WritePending(log);
}

void DropRunLog(RunLog *log) {
  FileSystem.Close(log->File);
  if (log->Made) FileSystem.Remove(log->Path.c_str());
  FreeBytes(&log->Pending);
}

bool CloseRunLog(RunLog *log) {
  WritePending(log);
  if (!FileSystem.Close(log->File) && !log->Failed) {
    log->Failed = true;
    fprintf(stderr, "vfolder: %s: cannot write the log\n", Printable(log->Path.c_str()).c_str());
  }
  FreeBytes(&log->Pending);
  return !log->Failed;
}
