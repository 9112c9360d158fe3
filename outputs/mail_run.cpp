#include "outputs/mail_run.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "folder/export_name.h"
#include "folder/message_copy.h"
#include "outputs/byte_buffer.h"
#include "outputs/given_headers.h"
#include "outputs/mail_run_parts.h"
#include "outputs/text_charset.h"
#include "platform/system_facts.h"

namespace {

// Holds a message's first bytes until what it is given is known, then writes
// the given lines and the message into the file, without an envelope line,
// and with CR LF for lone CRs.
struct HeadingSink {
  const MailRun *Run;
  const MailFolder *Folder;
  int Position;
  FileRef *File;
  ByteBuffer *Out;   // where the bytes go instead of the file, when not null
  ByteBuffer *Held;  // first bytes not yet written
  bool Decided;
  MessageHead Head;
  ByteBuffer Converted;  // a piece with its lone CRs made CR LF
  bool AfterCr;          // the last piece ended in a CR
  MailTime Time;         // the moment the message is given, once decided
};

// The message's bytes into the open file; a stop asked for ends the copy.
bool WriteSink(const HeadingSink *sink, const void *bytes, size_t size) {
  if (StopAsked(*sink->Run)) return false;
  return sink->Out != nullptr ? AppendBytes(sink->Out, bytes, size)
                              : FileSystem.Write(*sink->File, bytes, size);
}

// Writes bytes of the message after its head is decided, the `given` lines
// before them: both in one write, as a file of a message each costs a call
// per write.
bool WriteOn(HeadingSink *sink, const char *bytes, size_t size, bool whole,
             const std::string &given = std::string()) {
  sink->Converted.Size = 0;
  if (!sink->Head.LoneCr || (size == 0 && !whole)) {
    // Into a buffer they go one after the other, with no copy between.
    if (given.empty() || sink->Out != nullptr)
      return (given.empty() || WriteSink(sink, given.data(), given.size())) &&
             (size == 0 || WriteSink(sink, bytes, size));
    return AppendBytes(&sink->Converted, given.data(), given.size()) &&
           AppendBytes(&sink->Converted, bytes, size) &&
           WriteSink(sink, sink->Converted.Bytes, sink->Converted.Size);
  }
  return AppendBytes(&sink->Converted, given.data(), given.size()) &&
         AppendCrLfEnds(&sink->Converted, bytes, size, &sink->AfterCr) &&
         (!whole || AppendCrLfEnds(&sink->Converted, "", 0, &sink->AfterCr)) &&
         (sink->Converted.Size == 0 ||
          WriteSink(sink, sink->Converted.Bytes, sink->Converted.Size));
}

// Takes `bytes` (`whole`: the message ends with them). False when a write
// failed or memory ran out.
bool PassOn(HeadingSink *sink, const char *bytes, size_t size, bool whole) {
  if (sink->Decided) return WriteOn(sink, bytes, size, whole);
  // Decided on the bytes as they come where that is enough, as it mostly is.
  const bool held = sink->Held->Size > 0;
  if (held && !AppendBytes(sink->Held, bytes, size)) return false;
  const char *head = held ? sink->Held->Bytes : bytes;
  const size_t head_size = held ? sink->Held->Size : size;
  std::string text;
  if (!DecideGiven(*sink->Run, *sink->Folder, sink->Position, head, head_size, whole, &sink->Head,
                   &text, &sink->Time))
    return held || AppendBytes(sink->Held, bytes, size);
  sink->Decided = true;
  const size_t skipped = sink->Head.EnvelopeSize;
  return WriteOn(sink, head + skipped, head_size - skipped, whole, text);
}

bool HeadingWrite(void *context, const void *bytes, size_t size) {
  return PassOn(static_cast<HeadingSink *>(context), static_cast<const char *>(bytes), size, false);
}

// The size of the file at `path`; -1 when it cannot be read.
int64_t SizeAt(const std::string &path) {
  const FileRef file = FileSystem.OpenForReading(path.c_str());
  const int64_t size = file != NoFile ? FileSystem.SizeOf(file) : -1;
  if (file != NoFile) FileSystem.Close(file);
  return size;
}

std::string ParentOf(const std::string &path) {
  const size_t slash = path.find_last_of(SystemSeparator == '\\' ? "\\/" : "/");
  return slash == std::string::npos ? std::string() : path.substr(0, slash == 0 ? 1 : slash);
}

}  // namespace

void FailAll(const std::vector<int> &chosen, OutputProblem problem, int error,
             std::vector<Outcome> *outcomes) {
  for (int position : chosen) outcomes->push_back({position, problem, error, NoHeadersGiven});
}

std::string Join(const std::string &dir, const std::string &name) {
  return dir + SystemSeparator + name;
}

void Failed(const MailRun &run, const MailFolder &folder, int position, OutputProblem problem,
            int error, const std::string &path) {
  TellFailed(run, {&folder, position, problem, error, NoHeadersGiven,
                   path.empty() ? nullptr : path.c_str()});
}

void Handled(MailRun *run, const MailFolder &folder, int position) {
  ++run->Done;
  if (run->Events.Progress != nullptr)
    run->Events.Progress(run->Events.Context, run->Done, run->Total, NameOf(folder, position));
}

bool SizeDamaged(const MessageEntry &entry) { return int32_t(entry.Size) < 0; }

OutputProblem GuardedFile(const MailRun &run, FileRef file) {
  const FileIdentity identity = FileSystem.IdentifyOpen(file);
  if (IsSameFile(identity, run.Guarded[0]) || IsSameFile(identity, run.Guarded[1]))
    return ProblemOwnFile;
  return IsSameFile(identity, run.Guarded[2]) ? ProblemIsTheLog : NoProblem;
}

bool StopAsked(const MailRun &run) {
  return run.Events.Stopping != nullptr && run.Events.Stopping(run.Events.Context);
}

bool BufferWrite(void *context, const void *bytes, size_t size) {
  const BufferSink *sink = static_cast<BufferSink *>(context);
  return !StopAsked(*sink->Run) && AppendBytes(sink->Buffer, bytes, size);
}

bool DecideGiven(const MailRun &run, const MailFolder &folder, int position, const char *head,
                 size_t size, bool whole, MessageHead *decided, std::string *text,
                 MailTime *time) {
  const std::string date = HeaderDateOf(folder, position);
  if (!DecideHeaders(head, size, whole, !date.empty(), decided)) return false;
  // The message's own Date:, where it has a header section; else the given
  // one, which states the index date as ChooseMailTime reads it.
  std::string own;
  const size_t skipped = decided->EnvelopeSize;
  const DateField found = decided->Given == BlockGiven
                              ? NoDateField
                              : FindDateField(head + skipped, size - skipped, whole,
                                              decided->LoneCr, &own);
  if (found == DateFieldNeedsMore) return false;
  *time = ChooseMailTime(folder.Dates[size_t(position)], found == DateFieldFound ? &own : nullptr,
                         SecondsNow());
  if (run.Exact) *decided = {NoHeadersGiven, decided->Crlf, false, 0};
  *text = GivenHeaderText(decided->Given, NameOf(folder, position), DescriptionOf(folder, position),
                          date.c_str(), run.Seen, decided->Crlf);
  return true;
}

namespace {

ExportResult CopyInto(const MailRun &run, MailFolder *folder, int position, FileRef *file,
                      ByteBuffer *out, ByteBuffer *held, HeadersGiven *given, MailTime *time) {
  const MessageEntry &entry = folder->Entries[size_t(position)];
  *given = NoHeadersGiven;
  // With --exact too the head is looked at, for the message's date: its
  // bytes go on as they are.
  HeadingSink sink = {&run, folder, position, file, out, held, false, {}, {}, false, {}};
  held->Size = 0;
  ExportResult result =
      CopyMessage(folder->Handle, entry.DataOffset, entry.Size, HeadingWrite, &sink);
  if (result == ExportWritten && !PassOn(&sink, "", 0, true)) result = ExportCannotWrite;
  FreeBytes(&sink.Converted);
  *given = sink.Head.Given;
  if (time != nullptr) *time = sink.Time;
  return result;
}

}  // namespace

ExportResult CopyGivingHeaders(const MailRun &run, MailFolder *folder, int position, FileRef *file,
                               ByteBuffer *held, HeadersGiven *given, MailTime *time) {
  return CopyInto(run, folder, position, file, nullptr, held, given, time);
}

ExportResult MessageBytes(const MailRun &run, MailFolder *folder, int position, ByteBuffer *out,
                          ByteBuffer *held, HeadersGiven *given) {
  out->Size = 0;
  return CopyInto(run, folder, position, nullptr, out, held, given, nullptr);
}

OutputProblem ProblemOf(ExportResult result) {
  return result == ExportCannotRead     ? ProblemCannotRead
         : result == ExportCannotCreate ? ProblemCannotCreate
                                        : ProblemCannotWrite;
}

bool PassOver(MailRun *run, MailFolder *folder, int position, const char *bytes, size_t size) {
  if (run->Resume.DeliveredBefore == nullptr ||
      !run->Resume.DeliveredBefore(run->Resume.Context, folder, position, bytes, size))
    return false;
  ++run->PassedOver;
  Handled(run, *folder, position);
  return true;
}

bool Resuming(const MailRun &run) { return run.Resume.Confirm != nullptr; }

void TellDelivered(const MailRun &run, MailFolder *folder, int position, const std::string &output,
                   const char *place) {
  if (run.Resume.Delivered != nullptr)
    run.Resume.Delivered(run.Resume.Context, folder, position, output.c_str(), place);
}

void TellReached(const MailRun &run, const std::string &output, const char *place) {
  if (run.Resume.Reached != nullptr) run.Resume.Reached(run.Resume.Context, output.c_str(), place);
}

bool PlaceKnown(const MailRun &run, const std::string &output, char place[41]) {
  return run.Resume.PlaceOf != nullptr &&
         run.Resume.PlaceOf(run.Resume.Context, output.c_str(), place);
}

void ConfirmDelivered(const MailRun &run) {
  if (run.Resume.Confirm != nullptr) run.Resume.Confirm(run.Resume.Context);
}

bool RunStopped(const MailRun &run) { return run.PipeClosed || StopAsked(run); }

void Tell(const MailRun &run, OutputNotice notice, const char *path, int error) {
  if (run.Events.Notice != nullptr) run.Events.Notice(run.Events.Context, notice, path, error);
}

void TellFailed(const MailRun &run, const MessageOutcome &outcome) {
  if (run.Events.MessageFailed != nullptr) run.Events.MessageFailed(run.Events.Context, outcome);
}

void TellOutcome(const MailRun &run, const MessageOutcome &outcome) {
  if (run.Events.Outcome != nullptr) run.Events.Outcome(run.Events.Context, outcome);
}

void TellPartial(const MailRun &run, PartialStep step, FileRef file, const char *path,
                 uint64_t size) {
  if (run.Events.Partial != nullptr) run.Events.Partial(run.Events.Context, step, file, path, size);
}

bool CanMakeFilesIn(const std::string &dir, int *error, const char *ending) {
  // A probe that a kill at any moment leaves nowhere in the user's directory;
  // one whose name must take `ending` has to be a named file.
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string path = Join(dir, ".vfolder-probe-" + std::to_string(ProcessId()) + "-" +
                                           std::to_string(attempt) + ending);
    bool exists = false;
    ClearSystemError();
    const FileRef file = *ending == '\0' ? FileSystem.CreateVanishing(path.c_str(), &exists)
                                         : FileSystem.CreateNew(path.c_str(), OwnerOnly, &exists);
    if (file != NoFile) {
      FileSystem.Close(file);
      if (*ending != '\0') FileSystem.Remove(path.c_str());
      return true;
    }
    if (!exists) break;
  }
  *error = LastSystemError();
  return false;
}

bool TargetAllowed(const MailRun &run, const std::string &target, const FileIdentity own[2]) {
  const bool standard_output = OutputTakes(*run.Output, TakesStandardOutput) && target == "-";
  bool refused = true;
  OutputNotice notice = NoticeOwnFile;
  const FileIdentity identity = standard_output ? FileSystem.IdentifyOpen(StandardOutput())
                                                : FileSystem.Identify(target.c_str());
  const PathKind kind = FileSystem.KindOf(target.c_str(), false);
  const PathKind leads_to = FileSystem.KindOf(target.c_str(), true);
  if (IsSameFile(identity, own[0]) || IsSameFile(identity, own[1])) {
    notice = NoticeOwnFile;
  } else if (standard_output) {
    refused = false;
  } else if (run.Output->Tree != MboxTree) {
    refused = leads_to != PathMissing && leads_to != PathDirectory;
    notice = NoticeNoDirectory;
  } else if (kind == PathLink && run.Existing != MboxReplace) {
    notice = NoticeIsLink;
  } else if (kind != PathMissing && kind != PathRegular && kind != PathLink) {
    notice = NoticeNoFile;
  } else if (kind == PathRegular && run.Existing == MboxRefuse && SizeAt(target) != 0) {
    notice = NoticeHoldsMessages;
  } else {
    refused = false;
  }
  if (refused) Tell(run, notice, standard_output ? nullptr : target.c_str());
  return !refused;
}

bool NeedsCharset(const MailRun &run, MailFolder *folder, const std::vector<int> &chosen) {
  if (run.Charset != nullptr || run.Exact || !OutputTakes(*run.Output, TakesExact) ||
      !OpenDataFile(folder->Handle))
    return false;
  ByteBuffer head = {};
  BufferSink sink = {&run, &head};
  int needing = -1;
  for (size_t i = 0; i < chosen.size() && needing < 0; ++i) {
    const char *name = NameOf(*folder, chosen[i]), *description = DescriptionOf(*folder, chosen[i]);
    if (!GivesEightBitText(BlockGiven, name, description)) continue;
    // Mostly the first line tells; the header section at most.
    const MessageEntry &entry = folder->Entries[size_t(chosen[i])];
    MessageHead decided = {};
    for (uint32_t limit : {uint32_t(4096), uint32_t(LongestHeadSection)}) {
      const uint32_t size = std::min(entry.Size, limit);
      head.Size = 0;
      if (CopyMessage(folder->Handle, entry.DataOffset, size, BufferWrite, &sink) != ExportWritten)
        break;
      if (!DecideHeaders(head.Size > 0 ? head.Bytes : "", head.Size, size == entry.Size, false,
                         &decided))
        continue;
      if (GivesEightBitText(decided.Given, name, description)) needing = chosen[i];
      break;
    }
  }
  FreeBytes(&head);
  if (needing < 0) return false;
  Failed(run, *folder, needing, ProblemCharsetNeeded, 0);
  return true;
}

Tally ConvertFolder(MailRun *run, MailFolder *folder, const std::vector<int> &chosen,
                    const std::string &target) {
  std::vector<Outcome> outcomes;
  const int passed_over = run->PassedOver;
  const bool one_file = run->Output->Tree == MboxTree;
  const std::string dir = one_file ? ParentOf(target) : target;
  const bool opened = OpenDataFile(folder->Handle);
  FolderFileIdentities(folder->Handle, run->Guarded);
  if (!opened) {
    // As the plug-in warns the user.
    Tell(*run, NoticeNoDataFile, folder->Handle->DataPath);
    FailAll(chosen, ProblemNoDataFile, 0, &outcomes);
  } else if (!(one_file && target == "-") && !dir.empty() &&
             (ClearSystemError(), !FileSystem.MakeDirectories(dir.c_str(), OwnerOnly))) {
    const int error = LastSystemError();
    Tell(*run, NoticeCannotMakeDirectory, dir.c_str(), error);
    FailAll(chosen, ProblemCannotCreate, error, &outcomes);
  } else {
    run->Output->Write(run, folder, chosen, target, &outcomes);
  }
  const int before = run->PassedOver - passed_over;
  Tally tally = {int(chosen.size()), int(outcomes.size()) + before, 0, 0, 0, before};
  for (const Outcome &outcome : outcomes) {
    ++(outcome.Problem == NoProblem ? tally.Written : tally.Failed);
    if (outcome.Given != NoHeadersGiven) ++tally.Given;
    TellOutcome(*run, {folder, outcome.Position, outcome.Problem, outcome.Error, outcome.Given,
                       nullptr});
  }
  return tally;
}

std::vector<const char *> MessageFileNames(const MailRun &run, const MailFolder &folder,
                                           const std::vector<int> &chosen) {
  std::vector<const char *> names;
  for (int position : chosen) {
#ifdef _WIN32
    if (!run.Utf8Paths) {
      names.push_back(folder.Entries[size_t(position)].Name);
      continue;
    }
#else
    (void)run;
#endif
    names.push_back(NameOf(folder, position));
  }
  return names;
}

std::string SystemFileName(const MailRun &run, const std::string &utf8) {
#ifdef _WIN32
  if (!run.Utf8Paths) {
    // A character the code page lacks became '?', which the name cannot hold.
    return MakePartFileName(InCodePage(utf8, CP_ACP));
  }
#else
  (void)run;
#endif
  return utf8;
}

FileMatch MatchFile(const std::string &path, const char *bytes, size_t size) {
  const FileRef file = FileSystem.OpenForReading(path.c_str());
  if (file == NoFile) return FileMissing;
  const int64_t held = FileSystem.SizeOf(file);
  bool same = held >= 0 && uint64_t(held) <= size;
  char piece[64 * 1024];
  for (size_t done = 0; same && done < size_t(held);) {
    const size_t want = std::min(sizeof piece, size_t(held) - done);
    same = FileSystem.ReadAt(file, done, piece, want) == want &&
           memcmp(piece, bytes + done, want) == 0;
    done += want;
  }
  FileSystem.Close(file);
  return !same ? FileOther : uint64_t(held) == size ? FileSame : FileCut;
}

double SteadySeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

bool BatchDue(const DeliveryBatch &batch) {
  return batch.Bytes >= 64 * 1024 * 1024 || SteadySeconds() - batch.Started >= 1.0;
}

void FlushBatch(const MailRun &run, MailFolder *folder, const std::string &output,
                DeliveryBatch *batch) {
  if (batch->Told.empty()) return;
  // One sync of the volume where it reaches every file; else each file's.
  bool synced = true;
  const size_t first = SyncReachesVolume && !batch->Files.empty() ? batch->Files.size() - 1 : 0;
  for (size_t i = first; synced && i < batch->Files.size(); ++i) {
    const FileRef file = FileSystem.OpenForReading(batch->Files[i].c_str());
    synced = file != NoFile && FileSystem.Sync(file, true);
    if (file != NoFile) FileSystem.Close(file);
  }
  if (synced) {
    for (const auto &told : batch->Told)
      TellDelivered(run, folder, told.first, output,
                    told.second.empty() ? nullptr : told.second.c_str());
    ConfirmDelivered(run);
  }
  *batch = DeliveryBatch();
}
