#include "outputs/mail_run_parts.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "folder/message_copy.h"
#include "outputs/byte_buffer.h"
#include "outputs/disk_writer.h"
#include "outputs/mail_dates.h"
#include "platform/system_facts.h"

namespace {

#ifdef _WIN32
const bool NamesTakeColons = false;
#else
const bool NamesTakeColons = true;
#endif

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
  static const unsigned long process = ProcessId();
  const long long micros = std::chrono::duration_cast<std::chrono::microseconds>(
                               std::chrono::system_clock::now().time_since_epoch())
                               .count();
  char name[96];
  snprintf(name, sizeof name, "%lld.M%06lldP%luQ%lu.", micros / 1000000, micros % 1000000, process,
           count);
  return name + host;
}

// Delivers message `position`: written in tmp, then renamed into new (with
// --seen into cur, flagged as seen) under a name no file there has. NoProblem
// when it was delivered, with the headers it was given in `*given`, else the
// reason, with the system's error in `*error`; nothing is left in tmp either
// way. `*stopped` when a stop asked for cut it short.
OutputProblem DeliverMessage(MailRun *run, MailFolder *folder, int position,
                             const std::string &dir, ByteBuffer *held, HeadersGiven *given,
                             int *error, bool *stopped) {
  const MessageEntry &entry = folder->Entries[size_t(position)];
  if (SizeDamaged(entry)) return ProblemDamagedSize;
  const std::string tmp = Join(dir, "tmp"), place = Join(dir, run->Seen ? "cur" : "new");
  const char *flags = run->Seen ? ":2,S" : "";
  std::string name, path;
  FileRef file = NoFile;
  bool exists = true;
  TellPartial(*run, PartialStarting);
  ClearSystemError();
  for (int attempt = 0; attempt < 100 && file == NoFile && exists; ++attempt) {
    name = MaildirName(++run->Deliveries);
    path = Join(tmp, name);
    file = FileSystem.CreateNew(path.c_str(), OwnerOnly, &exists);
  }
  if (file == NoFile) {
    *error = LastSystemError();
    TellPartial(*run, PartialStopped);
    return ProblemCannotCreate;
  }
  // Not ours: closed as it is, and left there.
  if (const OutputProblem guarded = GuardedFile(*run, file); guarded != NoProblem) {
    FileSystem.Close(file);
    TellPartial(*run, PartialStopped);
    return guarded;
  }
  TellPartial(*run, PartialMarked, file, path.c_str());
  // Only an error the copy itself leaves is its reason: a short read leaves none.
  ClearSystemError();
  MailTime time = {};
  const ExportResult result =
      CopyGivingHeaders(*run, folder, position, &file, held, given, &time);
  *error = result != ExportWritten ? LastSystemError() : 0;
  if (result == ExportWritten) SetMessageTime(file, FileTimeOf(time));
  ClearSystemError();
  const bool closed = FileSystem.Close(file);
  if (!closed && result == ExportWritten) *error = LastSystemError();
  TellPartial(*run, PartialMarked, NoFile, path.c_str());
  OutputProblem problem = result != ExportWritten ? ProblemOf(result)
                          : closed                ? NoProblem
                                                  : ProblemCannotWrite;
  *stopped = result != ExportWritten && StopAsked(*run);
  const OutputProblem unmoved = run->Seen ? ProblemNotMovedIntoCur : ProblemNotMovedIntoNew;
  bool moved = false;
  for (int attempt = 0; problem == NoProblem && attempt < 100; ++attempt) {
    bool taken = false;
    ClearSystemError();
    moved = FileSystem.MoveNoReplace(path.c_str(), Join(place, name + flags).c_str(), &taken);
    if (moved) break;
    if (!taken) {
      problem = unmoved;
      *error = LastSystemError();
    }
    name = MaildirName(++run->Deliveries);
  }
  // Every name tried was taken.
  if (problem == NoProblem && !moved) problem = unmoved;
  if (problem != NoProblem) FileSystem.Remove(path.c_str());
  TellPartial(*run, PartialForgotten);
  return problem;
}

}  // namespace

void WriteMaildir(MailRun *run, MailFolder *folder, const std::vector<int> &chosen,
                  const std::string &dir, std::vector<Outcome> *outcomes) {
  int error = 0;
  for (const char *sub : {"tmp", "new", "cur"}) {
    const std::string path = Join(dir, sub);
    ClearSystemError();
    if (!FileSystem.MakeDirectories(path.c_str(), OwnerOnly)) {
      Tell(*run, NoticeCannotMakeDirectory, path.c_str(), error = LastSystemError());
      FailAll(chosen, ProblemCannotCreate, error, outcomes);
      return;
    }
  }
  if (!CanMakeFilesIn(Join(dir, "tmp"), &error)) {
    Tell(*run, NoticeCannotMakeFilesIn, Join(dir, "tmp").c_str(), error);
    FailAll(chosen, ProblemCannotCreate, error, outcomes);
    return;
  }
  // A name with the flags of a message read has a colon, which Windows takes
  // for the start of a stream's name and other file systems (FAT) refuse.
  if (run->Seen && (!NamesTakeColons || !CanMakeFilesIn(Join(dir, "tmp"), &error, ":2,S"))) {
    Tell(*run, NoticeNoColons, dir.c_str());
    FailAll(chosen, ProblemNoColons, 0, outcomes);
    return;
  }
  ByteBuffer held = {};
  for (int position : chosen) {
    if (RunStopped(*run)) break;
    if (PassOver(run, folder, position)) continue;
    bool stopped = false;
    HeadersGiven given = NoHeadersGiven;
    OutputProblem problem =
        DeliverMessage(run, folder, position, dir, &held, &given, &error, &stopped);
    if (stopped) break;
    if (problem != NoProblem) Failed(*run, *folder, position, problem, error);
    if (problem == NoProblem) TellDelivered(*run, folder, position);
    outcomes->push_back({position, problem, problem != NoProblem ? error : 0,
                         problem == NoProblem ? given : NoHeadersGiven});
    Handled(run, *folder, position);
  }
  FreeBytes(&held);
}
