#include "outputs/mail_run_parts.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>

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

// The machine's name as Maildir names hold it.
const std::string &NameHost() {
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
  return host;
}

// The Maildir's name for a new message: the delivery time, the process and a
// count that tell every delivery apart, and the machine's name.
std::string MaildirName(unsigned long count) {
  const std::string &host = NameHost();
  static const unsigned long process = ProcessId();
  const long long micros = std::chrono::duration_cast<std::chrono::microseconds>(
                               std::chrono::system_clock::now().time_since_epoch())
                               .count();
  // "%lld.M%06lldP%luQ%lu." and the host
  std::string name;
  name.reserve(64 + host.size());
  AppendDecimal(&name, micros / 1000000);
  name += ".M";
  AppendDecimal(&name, micros % 1000000, 6);
  name += 'P';
  AppendDecimal(&name, int64_t(process));
  name += 'Q';
  AppendDecimal(&name, int64_t(count));
  name += '.';
  name += host;
  return name;
}

// Writes message `position` into `file` and gives it the message's time;
// NoProblem, else the reason with the system's error in `*error`. The file is
// closed in either case when `close` is set.
OutputProblem WriteMessage(MailRun *run, MailFolder *folder, int position, FileRef file,
                           bool close, ByteBuffer *held, HeadersGiven *given, int *error,
                           bool *stopped) {
  // Only an error the copy itself leaves is its reason: a short read leaves none.
  ClearSystemError();
  MailTime time = {};
  const ExportResult result =
      CopyGivingHeaders(*run, folder, position, &file, held, given, &time);
  *error = result != ExportWritten ? LastSystemError() : 0;
  if (result == ExportWritten) SetMessageTime(file, FileTimeOf(time));
  ClearSystemError();
  const bool closed = !close || FileSystem.Close(file);
  if (!closed && result == ExportWritten) *error = LastSystemError();
  *stopped = result != ExportWritten && StopAsked(*run);
  return result != ExportWritten ? ProblemOf(result) : closed ? NoProblem : ProblemCannotWrite;
}

// Delivers message `position` as DeliverMessage does, through a file made in
// new (cur) itself with no name until it is whole: a step fewer than through
// tmp, and a run killed meanwhile leaves nothing. False, nothing written and
// nothing told, where the system makes or links no such file.
bool DeliverUnnamed(MailRun *run, MailFolder *folder, int position, FileRef place_dir,
                    const std::string &place, const char *flags, ByteBuffer *held,
                    HeadersGiven *given, int *error, bool *stopped, std::string *delivered,
                    unsigned long *count, OutputProblem *problem) {
  TellPartial(*run, PartialStarting);
  FileRef file = FileSystem.CreateUnnamed(place_dir);
  // Nothing named to tidy, whatever ends the process.
  TellPartial(*run, PartialStopped);
  if (file == NoFile) return false;
  // A file with no name is a new one: never the folder's own or the log, so
  // it needs no guard.
  *problem = WriteMessage(run, folder, position, file, false, held, given, error, stopped);
  bool linked = false, taken = true;
  for (int attempt = 0; *problem == NoProblem && !linked && taken && attempt < 100; ++attempt) {
    const std::string name = MaildirName(*count = ++run->Deliveries) + flags;
    ClearSystemError();
    linked = FileSystem.LinkUnnamed(file, place_dir, name.c_str(), &taken);
    if (linked) *delivered = Join(place, name);
  }
  if (*problem == NoProblem && !linked && !taken) {
    FileSystem.Close(file);
    return false;
  }
  ClearSystemError();
  const bool closed = FileSystem.Close(file);
  // Every name tried was taken.
  if (*problem == NoProblem && !linked)
    *problem = run->Seen ? ProblemNotMovedIntoCur : ProblemNotMovedIntoNew;
  // Lost data told only by the close: the message named already goes again.
  if (*problem == NoProblem && !closed) {
    *error = LastSystemError();
    *problem = ProblemCannotWrite;
    FileSystem.Remove(delivered->c_str());
  }
  return true;
}

// Delivers message `position` under a name no file in new (with --seen in
// cur, flagged as seen) has: made there unnamed where the system can, else
// written in tmp and renamed. NoProblem when it was delivered, with the
// headers it was given in `*given`, else the reason, with the system's error
// in `*error`; nothing is left in tmp either way. `*stopped` when a stop
// asked for cut it short.
OutputProblem DeliverMessage(MailRun *run, MailFolder *folder, int position,
                             const std::string &dir, FileRef place_dir, ByteBuffer *held,
                             HeadersGiven *given, int *error, bool *stopped,
                             std::string *delivered, unsigned long *count) {
  const MessageEntry &entry = folder->Entries[size_t(position)];
  if (SizeDamaged(entry)) return ProblemDamagedSize;
  const std::string tmp = Join(dir, "tmp"), place = Join(dir, run->Seen ? "cur" : "new");
  const char *flags = run->Seen ? ":2,S" : "";
  OutputProblem problem = NoProblem;
  if (!run->NamedDeliveries && place_dir != NoFile &&
      DeliverUnnamed(run, folder, position, place_dir, place, flags, held, given, error, stopped,
                     delivered, count, &problem))
    return problem;
  // From now on through tmp, as every Maildir writer may.
  run->NamedDeliveries = true;
  std::string name, path;
  FileRef file = NoFile;
  bool exists = true;
  TellPartial(*run, PartialStarting);
  ClearSystemError();
  for (int attempt = 0; attempt < 100 && file == NoFile && exists; ++attempt) {
    name = MaildirName(*count = ++run->Deliveries);
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
  problem = WriteMessage(run, folder, position, file, true, held, given, error, stopped);
  TellPartial(*run, PartialMarked, NoFile, path.c_str());
  const OutputProblem unmoved = run->Seen ? ProblemNotMovedIntoCur : ProblemNotMovedIntoNew;
  bool moved = false;
  for (int attempt = 0; problem == NoProblem && attempt < 100; ++attempt) {
    bool taken = false;
    ClearSystemError();
    *delivered = Join(place, name + flags);
    moved = FileSystem.MoveNoReplace(path.c_str(), delivered->c_str(), &taken);
    if (moved) break;
    if (!taken) {
      problem = unmoved;
      *error = LastSystemError();
    }
    name = MaildirName(*count = ++run->Deliveries);
  }
  // Every name tried was taken.
  if (problem == NoProblem && !moved) problem = unmoved;
  if (problem != NoProblem) FileSystem.Remove(path.c_str());
  TellPartial(*run, PartialForgotten);
  return problem;
}

// Files a run that was killed delivered after the last place its ledger
// tells, "PROCESS.COUNT": found by their names, in the order made.
struct Unconfirmed {
  std::string Dir;
  unsigned long Process, After;
  std::vector<std::pair<unsigned long, std::string>> Files;  // count and path
};

void AddUnconfirmed(void *context, const char *name) {
  Unconfirmed *found = static_cast<Unconfirmed *>(context);
  unsigned long process = 0, count = 0;
  int end = 0;
  if (sscanf(name, "%*u.M%*uP%luQ%lu.%n", &process, &count, &end) != 2 || end == 0 ||
      process != found->Process || count <= found->After)
    return;
  const std::string &host = NameHost();
  if (strncmp(name + end, host.c_str(), host.size()) != 0 ||
      (name[end + host.size()] != '\0' && name[end + host.size()] != ':'))
    return;
  found->Files.push_back({count, Join(found->Dir, name)});
}

std::string PlaceOfCount(unsigned long process, unsigned long count) {
  return std::to_string(process) + "." + std::to_string(count);
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
  ByteBuffer held = {}, expected = {};
  const bool resuming = Resuming(*run);
  DeliveryBatch batch;
  // The messages of a run that was killed after its ledger's last place,
  // which the next messages are taken for when their bytes are the same.
  Unconfirmed left = {Join(dir, "new"), 0, 0, {}};
  char place[41];
  if (resuming && PlaceKnown(*run, dir, place) &&
      sscanf(place, "%lu.%lu", &left.Process, &left.After) == 2) {
    for (const char *sub : {"new", "cur", "tmp"}) {
      left.Dir = Join(dir, sub);
      const size_t before = left.Files.size();
      FileSystem.ListDirectory(left.Dir.c_str(), AddUnconfirmed, &left);
      // Never renamed into new: not whole.
      if (strcmp(sub, "tmp") != 0) continue;
      for (size_t i = before; i < left.Files.size(); ++i) FileSystem.Remove(left.Files[i].second.c_str());
      left.Files.resize(before);
    }
    std::sort(left.Files.begin(), left.Files.end());
  }
  size_t next_left = 0;
  bool marked = !resuming;
  // Where the messages go, opened once for files made there without a name.
  const FileRef place_dir = FileSystem.OpenDirectory(Join(dir, run->Seen ? "cur" : "new").c_str());
  for (int position : chosen) {
    if (RunStopped(*run)) break;
    if (PassOver(run, folder, position)) continue;
    HeadersGiven given = NoHeadersGiven;
    if (next_left < left.Files.size()) {
      const auto &file = left.Files[next_left++];
      if (MessageBytes(*run, folder, position, &expected, &held, &given) == ExportWritten &&
          MatchFile(file.second, expected.Size > 0 ? expected.Bytes : "", expected.Size) ==
              FileSame) {
        batch.Told.push_back({position, PlaceOfCount(left.Process, file.first)});
        batch.Files.push_back(file.second);
        outcomes->push_back({position, NoProblem, 0, given});
        Handled(run, *folder, position);
        continue;
      }
      // From the first that is not the message due, none is whole or due.
      for (--next_left; next_left < left.Files.size(); ++next_left)
        FileSystem.Remove(left.Files[next_left].second.c_str());
    }
    // Where this run's deliveries begin, on the disk before the first.
    if (!marked) {
      FlushBatch(*run, folder, dir, &batch);
      TellReached(*run, dir, PlaceOfCount(ProcessId(), run->Deliveries).c_str());
      ConfirmDelivered(*run);
      marked = true;
    }
    bool stopped = false;
    std::string delivered;
    unsigned long count = 0;
    OutputProblem problem = DeliverMessage(run, folder, position, dir, place_dir, &held, &given,
                                           &error, &stopped, &delivered, &count);
    if (stopped) break;
    if (problem != NoProblem) Failed(*run, *folder, position, problem, error);
    if (problem == NoProblem && !resuming) TellDelivered(*run, folder, position);
    if (problem == NoProblem && resuming) {
      batch.Told.push_back({position, PlaceOfCount(ProcessId(), count)});
      batch.Files.push_back(delivered);
      batch.Bytes += folder->Entries[size_t(position)].Size;
    }
    outcomes->push_back({position, problem, problem != NoProblem ? error : 0,
                         problem == NoProblem ? given : NoHeadersGiven});
    Handled(run, *folder, position);
    if (BatchDue(batch))
      FlushBatch(*run, folder, dir, &batch);
  }
  // A run that stopped before them leaves them for the next.
  FlushBatch(*run, folder, dir, &batch);
  if (place_dir != NoFile) FileSystem.Close(place_dir);
  FreeBytes(&held);
  FreeBytes(&expected);
}
