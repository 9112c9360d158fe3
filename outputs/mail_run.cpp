#include "outputs/mail_run.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "folder/export.h"
#include "outputs/byte_buffer.h"
#include "outputs/given_headers.h"
#include "outputs/mbox_format.h"
#include "platform/system_facts.h"

namespace {

#ifdef _WIN32
const bool NamesTakeColons = false;
#else
const bool NamesTakeColons = true;
#endif

// Formatted mbox messages are written in pieces of about this size.
const size_t MboxPieceSize = 1024 * 1024;

// What became of one message handled: written, or the reason it was not.
struct Outcome {
  int Position;
  OutputProblem Problem;
  int Error;            // the system's error number the failing call left; 0 for none
  HeadersGiven Given;   // a written message's headers given
};

// Every chosen message fails for one reason, said once already.
void FailAll(const std::vector<int> &chosen, OutputProblem problem, int error,
             std::vector<Outcome> *outcomes) {
  for (int position : chosen) outcomes->push_back({position, problem, error, NoHeadersGiven});
}

std::string Join(const std::string &dir, const std::string &name) {
  return dir + SystemSeparator + name;
}

// Tells that message `position` failed, naming the file where there is one.
void Failed(const MailRun &run, const MailFolder &folder, int position, OutputProblem problem,
            int error, const std::string &path = std::string()) {
  TellFailed(run, {&folder, position, problem, error, NoHeadersGiven,
                   path.empty() ? nullptr : path.c_str()});
}

void Handled(MailRun *run, const MailFolder &folder, int position) {
  ++run->Done;
  if (run->Events.Progress != nullptr)
    run->Events.Progress(run->Events.Context, run->Done, run->Total, NameOf(folder, position));
}

bool IsZero(const FILETIME &time) { return time.dwLowDateTime == 0 && time.dwHighDateTime == 0; }

// A size of 2 GiB or more is negative where the mail program keeps it: no
// message has it, and the copy would give an empty one.
bool SizeDamaged(const MessageEntry &entry) { return int32_t(entry.Size) < 0; }

// Why the file opened for the output must not be written, whatever path led
// to it: it is one of the folder's own files or the log. NoProblem when it may be.
OutputProblem GuardedFile(const MailRun &run, FileRef file) {
  const FileIdentity identity = FileSystem.IdentifyOpen(file);
  if (IsSameFile(identity, run.Guarded[0]) || IsSameFile(identity, run.Guarded[1]))
    return ProblemOwnFile;
  return IsSameFile(identity, run.Guarded[2]) ? ProblemIsTheLog : NoProblem;
}

bool StopAsked(const MailRun &run) {
  return run.Events.Stopping != nullptr && run.Events.Stopping(run.Events.Context);
}

// A message's bytes into memory; a stop asked for ends the copy.
struct BufferSink {
  const MailRun *Run;
  ByteBuffer *Buffer;
};

bool BufferWrite(void *context, const void *bytes, size_t size) {
  const BufferSink *sink = static_cast<BufferSink *>(context);
  return !StopAsked(*sink->Run) && AppendBytes(sink->Buffer, bytes, size);
}

// What message `position` is given, and the lines that go before it (with
// --seen the status lines too), decided on its first `size` bytes (`whole`
// when they are all of it); false when more are needed. With --exact nothing
// but the status lines, and the bytes as they are.
bool DecideGiven(const MailRun &run, const MailFolder &folder, int position, const char *head,
                 size_t size, bool whole, MessageHead *decided, std::string *text) {
  const std::string date = HeaderDateOf(folder, position);
  if (!DecideHeaders(head, size, whole, !date.empty(), decided)) return false;
  if (run.Exact) *decided = {NoHeadersGiven, decided->Crlf, false, 0};
  *text = GivenHeaderText(decided->Given, NameOf(folder, position), DescriptionOf(folder, position),
                          date.c_str(), run.Seen, decided->Crlf);
  return true;
}

// Holds a message's first bytes until what it is given is known, then writes
// the given lines and the message into the file, without an envelope line,
// and with CR LF for lone CRs.
struct HeadingSink {
  const MailRun *Run;
  const MailFolder *Folder;
  int Position;
  FileRef *File;
  ByteBuffer *Held;  // first bytes not yet written
  bool Decided;
  MessageHead Head;
  ByteBuffer Converted;  // a piece with its lone CRs made CR LF
  bool AfterCr;          // the last piece ended in a CR
};

// The message's bytes into the open file; a stop asked for ends the copy.
bool WriteSink(const HeadingSink *sink, const void *bytes, size_t size) {
  return !StopAsked(*sink->Run) && FileSystem.Write(*sink->File, bytes, size);
}

bool ExactWrite(void *context, const void *bytes, size_t size) {
  return WriteSink(static_cast<HeadingSink *>(context), bytes, size);
}

// Writes bytes of the message after its head is decided.
bool WriteOn(HeadingSink *sink, const char *bytes, size_t size, bool whole) {
  if (!sink->Head.LoneCr || (size == 0 && !whole)) return size == 0 || WriteSink(sink, bytes, size);
  sink->Converted.Size = 0;
  return AppendCrLfEnds(&sink->Converted, bytes, size, &sink->AfterCr) &&
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
                   &text))
    return held || AppendBytes(sink->Held, bytes, size);
  sink->Decided = true;
  const size_t skipped = sink->Head.EnvelopeSize;
  return (text.empty() || WriteSink(sink, text.data(), text.size())) &&
         WriteOn(sink, head + skipped, head_size - skipped, whole);
}

bool HeadingWrite(void *context, const void *bytes, size_t size) {
  return PassOn(static_cast<HeadingSink *>(context), static_cast<const char *>(bytes), size, false);
}

// Copies message `position` into `file` after the lines it is given, which
// `*given` tells; byte for byte with --exact. `held` keeps first bytes.
ExportResult CopyGivingHeaders(const MailRun &run, MailFolder *folder, int position, FileRef *file,
                               ByteBuffer *held, HeadersGiven *given) {
  const MessageEntry &entry = folder->Entries[size_t(position)];
  *given = NoHeadersGiven;
  HeadingSink sink = {&run, folder, position, file, held, false, {}, {}, false};
  if (run.Exact && !run.Seen)
    return CopyMessage(folder->Handle, entry.DataOffset, entry.Size, ExactWrite, &sink);
  held->Size = 0;
  ExportResult result =
      CopyMessage(folder->Handle, entry.DataOffset, entry.Size, HeadingWrite, &sink);
  if (result == ExportWritten && !PassOn(&sink, "", 0, true)) result = ExportCannotWrite;
  FreeBytes(&sink.Converted);
  *given = sink.Head.Given;
  return result;
}

OutputProblem ProblemOf(ExportResult result) {
  return result == ExportCannotRead     ? ProblemCannotRead
         : result == ExportCannotCreate ? ProblemCannotCreate
                                        : ProblemCannotWrite;
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

// ---- mbox

struct MboxFile {
  FileRef File = NoFile;
  std::string Path;      // the file written: FILE, the new file beside it, or "-"
  std::string Replaces;  // with MboxReplace: FILE, which the new file replaces at the end
  bool ToStandardOutput = false;
  uint64_t WholeEnd = 0;     // the end of the last message that is in the file whole
  ByteBuffer Pending = {};   // messages formatted and not yet written
  std::vector<size_t> Ends;  // where each of them ends in Pending
  size_t Confirmed = 0;      // outcomes of messages that are in the file whole (or failed)
  bool Broken = false;       // a write failed: nothing more goes in
  const char *Separator = "";  // line feeds the old mbox needs before the first new message
  int Error = 0;             // what the system said of the write that failed
};

// Starts the new file beside FILE, in its directory, so that renaming it is
// one step; it lets in whom `old` (FILE opened, or NoFile for a link) does.
// The reason when the file made is one the run must not write, else
// NoProblem.
OutputProblem CreateBeside(const MailRun &run, const std::string &path, FileRef old,
                           MboxFile *mbox) {
  mbox->Replaces = path;
  bool exists = false;
  TellPartial(run, PartialStarting);
  for (int attempt = 0; attempt < 100 && mbox->File == NoFile; ++attempt) {
    mbox->Path = path + ".vf" + std::to_string(ProcessId()) +
                 (attempt > 0 ? "." + std::to_string(attempt) : std::string());
    mbox->File = FileSystem.CreateNew(mbox->Path.c_str(), OwnerOnly, &exists);
    if (!exists) break;
  }
  OutputProblem problem = mbox->File != NoFile ? GuardedFile(run, mbox->File) : NoProblem;
  if (mbox->File == NoFile || problem != NoProblem) {
    TellPartial(run, PartialStopped);
    return problem;
  }
  TellPartial(run, PartialMarked, mbox->File, mbox->Path.c_str());
  if (old != NoFile) FileSystem.CopyAccess(old, mbox->File);
  return NoProblem;
}

// The line feeds that end the old mbox's last message with an empty line, so
// that the first new "From " line starts a message: the file's last bytes
// `tail` (up to 3).
const char *SeparatorAfter(const std::string &tail) {
  const size_t size = tail.size();
  if (size == 0 || tail[size - 1] != '\n') return "\n\n";
  const bool empty_line = (size >= 2 && tail[size - 2] == '\n') ||
                          (size >= 3 && tail[size - 3] == '\n' && tail[size - 2] == '\r');
  return empty_line ? "" : "\n";
}

// Opens the mbox as TargetAllowed found it allowed, and checks the file it
// opened once more: one of the folder's own files or the log that took the
// path since is never written, and whether FILE holds messages is told by the
// file opened, not by another look at the path.
bool OpenMbox(const MailRun &run, const std::string &path, MboxFile *mbox) {
  mbox->Path = path;
  if (path == "-") {
    mbox->ToStandardOutput = true;
    mbox->File = StandardOutput();
    return true;
  }
  const PathKind kind = FileSystem.KindOf(path.c_str(), false);
  OutputProblem problem = NoProblem;
  bool no_file = false, holds_messages = false;
  ClearSystemError();
  if (kind == PathMissing) {
    bool exists = false;
    mbox->File = FileSystem.CreateNew(path.c_str(), OwnerOnly, &exists);
    if (mbox->File != NoFile) problem = GuardedFile(run, mbox->File);
  } else if (kind == PathLink) {
    // Only --replace comes here: the link is replaced, never followed.
    problem = CreateBeside(run, path, NoFile, mbox);
  } else {
    FoundFile found = {};
    FileRef old = FileSystem.OpenExisting(path.c_str(), &found);
    const bool writable = old != NoFile;
    // Replacing FILE needs no right to write it, only its directory's.
    if (!writable && run.Existing == MboxReplace) {
      old = FileSystem.OpenForReading(path.c_str());
      found.Regular = true;
    }
    const int64_t size = old != NoFile ? FileSystem.SizeOf(old) : -1;
    if (old != NoFile) {
      no_file = !found.Regular;
      if (!no_file) problem = GuardedFile(run, old);
      if (no_file || problem != NoProblem || size < 0) {
      } else if (size == 0 && writable) {
        mbox->File = old;  // an empty FILE is written into
      } else if (writable && run.Existing == MboxAppend) {
        char tail[3];
        const uint64_t from = size > 3 ? uint64_t(size) - 3 : 0;
        const size_t got = FileSystem.ReadAt(old, from, tail, size_t(uint64_t(size) - from));
        mbox->Separator = SeparatorAfter(std::string(tail, got));
        mbox->File = old;
        // A failed write cuts the file back to here: its old end, before the
        // line feeds the first new message brings.
        mbox->WholeEnd = uint64_t(size);
      } else if (run.Existing == MboxReplace) {
        problem = CreateBeside(run, path, old, mbox);
      } else {
        holds_messages = true;
      }
      // Written after what it holds.
      if (mbox->File == old && !FileSystem.Truncate(old, uint64_t(size))) mbox->File = NoFile;
      if (mbox->File != old) FileSystem.Close(old);
    }
  }
  if (no_file || holds_messages || problem != NoProblem) {
    if (mbox->File != NoFile) FileSystem.Close(mbox->File);
    mbox->File = NoFile;
    Tell(run,
         no_file                     ? NoticeNoFile
         : holds_messages            ? NoticeHoldsMessages
         : problem == ProblemOwnFile ? NoticeOwnFile
                                     : NoticeIsTheLog,
         path.c_str());
    return false;
  }
  if (mbox->File == NoFile) {
    mbox->Error = LastSystemError();
    Tell(run, NoticeCannotCreateFile, mbox->Path.c_str(), mbox->Error);
    return false;
  }
  if (mbox->Replaces.empty()) TellPartial(run, CutBackMarked, mbox->File, "", mbox->WholeEnd);
  return true;
}

// Writes the formatted messages. When that fails, the file is cut back to its
// last whole message and they are written once more one by one, so that each
// one that fits (below a file-size limit, say) is kept; from the first that
// does not, each fails and nothing more goes in.
void FlushMbox(MailRun *run, MboxFile *mbox, std::vector<Outcome> *outcomes) {
  if (mbox->Pending.Size > 0 && !mbox->Broken &&
      !FileSystem.Write(mbox->File, mbox->Pending.Bytes, mbox->Pending.Size)) {
    int error = LastSystemError();
    size_t whole = 0;  // bytes of Pending in the file whole
    for (size_t end : mbox->Ends) {
      if (mbox->ToStandardOutput || !FileSystem.Truncate(mbox->File, mbox->WholeEnd + whole) ||
          !FileSystem.Write(mbox->File, mbox->Pending.Bytes + whole, end - whole)) {
        if (!mbox->ToStandardOutput) error = LastSystemError();
        break;
      }
      whole = end;
    }
    mbox->Broken = true;
    mbox->Error = error;
    if (mbox->ToStandardOutput && IsClosedPipe(error))
      run->PipeClosed = true;
    else
      Tell(*run, NoticeCannotWriteFile, mbox->ToStandardOutput ? nullptr : mbox->Path.c_str(),
           error);
    if (!mbox->ToStandardOutput) FileSystem.Truncate(mbox->File, mbox->WholeEnd + whole);
    for (size_t i = mbox->Confirmed, written = 0; i < outcomes->size(); ++i) {
      if ((*outcomes)[i].Problem != NoProblem) continue;
      if (written < mbox->Ends.size() && mbox->Ends[written] <= whole)
        ++written;
      else
        (*outcomes)[i] = {(*outcomes)[i].Position, ProblemCannotWrite, error, NoHeadersGiven};
    }
    mbox->Pending.Size = whole;
  }
  mbox->WholeEnd += mbox->Pending.Size;
  if (!mbox->ToStandardOutput && mbox->Replaces.empty())
    TellPartial(*run, CutBackMarked, mbox->File, "", mbox->WholeEnd);
  mbox->Pending.Size = 0;
  mbox->Ends.clear();
  mbox->Confirmed = outcomes->size();
}

// Writes what is pending, closes the file and, with MboxReplace, puts the new
// file in FILE's place, or takes it away again when the run did not write
// every message it could read.
void FinishMbox(MailRun *run, MboxFile *mbox, std::vector<Outcome> *outcomes, bool whole_run) {
  FlushMbox(run, mbox, outcomes);
  FreeBytes(&mbox->Pending);
  if (mbox->ToStandardOutput) return;
  ClearSystemError();
  const bool closed = FileSystem.Close(mbox->File);
  TellPartial(*run, CutBackForgotten);
  OutputProblem lost = NoProblem;
  int error = 0;
  if (!closed && !mbox->Broken) {
    error = LastSystemError();
    Tell(*run, NoticeCannotWriteFile, mbox->Path.c_str(), error);
    lost = ProblemCannotWrite;
  }
  if (!mbox->Replaces.empty()) {
    if (lost == NoProblem && !mbox->Broken && whole_run) {
      ClearSystemError();
      if (!FileSystem.MoveReplacing(mbox->Path.c_str(), mbox->Replaces.c_str())) {
        error = LastSystemError();
        Tell(*run, NoticeCannotReplace, mbox->Replaces.c_str(), error);
        lost = ProblemCannotWrite;
      }
    } else {
      Tell(*run, NoticeLeftAsItWas, mbox->Replaces.c_str());
      lost = ProblemReplacementKept;
    }
    if (lost != NoProblem) FileSystem.Remove(mbox->Path.c_str());
    TellPartial(*run, PartialForgotten);
  }
  if (lost != NoProblem)
    for (Outcome &outcome : *outcomes)
      if (outcome.Problem == NoProblem) outcome = {outcome.Position, lost, error, NoHeadersGiven};
}

void WriteMbox(MailRun *run, MailFolder *folder, const std::vector<int> &chosen,
               const std::string &target, std::vector<Outcome> *outcomes) {
  MboxFile mbox;
  if (!OpenMbox(*run, target, &mbox)) {
    FailAll(chosen, ProblemCannotCreate, mbox.Error, outcomes);
    return;
  }
  ByteBuffer message = {}, converted = {};
  BufferSink sink = {run, &message};
  for (int position : chosen) {
    if (RunStopped(*run)) break;
    if (mbox.Broken) {
      outcomes->push_back({position, ProblemCannotWrite, mbox.Error, NoHeadersGiven});
      continue;
    }
    const MessageEntry &entry = folder->Entries[size_t(position)];
    message.Size = 0;
    ClearSystemError();
    const bool damaged = SizeDamaged(entry);
    const ExportResult result =
        damaged ? ExportCannotRead
                : CopyMessage(folder->Handle, entry.DataOffset, entry.Size, BufferWrite, &sink);
    if (result != ExportWritten && StopAsked(*run)) break;
    const int error = result == ExportCannotRead && !damaged ? LastSystemError() : 0;
    const char *bytes = message.Size > 0 ? message.Bytes : "";
    size_t size = message.Size;
    MessageHead head = {};
    std::string text, envelope;
    bool formed = true;
    if (result == ExportWritten) {
      DecideGiven(*run, *folder, position, bytes, size, true, &head, &text);
      // The message's own envelope line is its From line.
      envelope.assign(bytes, head.EnvelopeSize);
      while (!envelope.empty() && (envelope.back() == '\n' || envelope.back() == '\r'))
        envelope.pop_back();
      bytes += head.EnvelopeSize;
      size -= head.EnvelopeSize;
      bool after_cr = false;
      if (head.LoneCr) {
        converted.Size = 0;
        formed = AppendCrLfEnds(&converted, bytes, size, &after_cr) &&
                 AppendCrLfEnds(&converted, "", 0, &after_cr);
        bytes = converted.Size > 0 ? converted.Bytes : "";
        size = converted.Size;
      }
    }
    const size_t before = mbox.Pending.Size;
    OutputProblem problem =
        damaged                                                                  ? ProblemDamagedSize
        : result == ExportCannotRead                                             ? ProblemCannotRead
        : result != ExportWritten || !formed                                     ? ProblemNoMemory
        : !AppendBytes(&mbox.Pending, mbox.Separator, strlen(mbox.Separator)) ||
                !AppendMboxMessage(&mbox.Pending, text, bytes, size, entry.Time, envelope)
            ? ProblemNoMemory
            : NoProblem;
    if (problem == NoProblem) mbox.Separator = "";
    if (result == ExportWritten && problem != NoProblem) mbox.Pending.Size = before;
    if (problem != NoProblem) Failed(*run, *folder, position, problem, error);
    if (problem == NoProblem) mbox.Ends.push_back(mbox.Pending.Size);
    outcomes->push_back(
        {position, problem, error, problem == NoProblem ? head.Given : NoHeadersGiven});
    if (mbox.Pending.Size >= MboxPieceSize) FlushMbox(run, &mbox, outcomes);
    Handled(run, *folder, position);
  }
  FreeBytes(&message);
  FreeBytes(&converted);
  FinishMbox(run, &mbox, outcomes, !RunStopped(*run));
}

// ---- Maildir

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
  const ExportResult result = CopyGivingHeaders(*run, folder, position, &file, held, given);
  *error = result != ExportWritten ? LastSystemError() : 0;
  // The message's date on the file; a time that cannot be set loses nothing.
  if (result == ExportWritten && !IsZero(entry.Time)) FileSystem.SetTime(file, entry.Time);
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
    bool stopped = false;
    HeadersGiven given = NoHeadersGiven;
    OutputProblem problem =
        DeliverMessage(run, folder, position, dir, &held, &given, &error, &stopped);
    if (stopped) break;
    if (problem != NoProblem) Failed(*run, *folder, position, problem, error);
    outcomes->push_back({position, problem, problem != NoProblem ? error : 0,
                         problem == NoProblem ? given : NoHeadersGiven});
    Handled(run, *folder, position);
  }
  FreeBytes(&held);
}

// ---- .eml files

void WriteEml(MailRun *run, MailFolder *folder, const std::vector<int> &chosen,
              const std::string &dir, std::vector<Outcome> *outcomes) {
  // File names in UTF-8 where a character set is given, as the system's other
  // names are; Windows keeps the bytes, which its file functions take in their
  // own code page.
  std::vector<const char *> names;
  for (int position : chosen)
#ifdef _WIN32
    names.push_back(folder->Entries[size_t(position)].Name);
#else
    names.push_back(NameOf(*folder, position));
#endif
  ExportRun exported;
  int error = 0;
  if (!CanMakeFilesIn(dir, &error)) {
    Tell(*run, NoticeCannotMakeFilesIn, dir.c_str(), error);
    FailAll(chosen, ProblemCannotCreate, error, outcomes);
    return;
  }
  if (!StartExport(&exported, folder->Handle, dir.c_str(), names.data(), int(names.size()),
                   LongestItemName, 0)) {
    Tell(*run, NoticeNoMemory, dir.c_str());
    FailAll(chosen, ProblemNoMemory, 0, outcomes);
    return;
  }
  exported.KeepExisting = true;
  exported.NameEnding = ".eml";
  exported.Access = OwnerOnly;
  ByteBuffer held = {};
  for (size_t i = 0; i < chosen.size() && !RunStopped(*run); ++i) {
    const MessageEntry &entry = folder->Entries[size_t(chosen[i])];
    const bool damaged = SizeDamaged(entry);
    TellPartial(*run, PartialStarting);
    ClearSystemError();
    FileRef file = damaged ? NoFile : CreateExportFile(&exported, int(i));
    const std::string path = damaged ? std::string() : ExportPath(&exported);
    OutputProblem problem = damaged ? ProblemDamagedSize : ProblemCannotCreate;
    HeadersGiven given = NoHeadersGiven;
    error = file == NoFile && !damaged ? LastSystemError() : 0;
    // Not ours: closed as it is, and left there.
    if (file != NoFile && (problem = GuardedFile(*run, file)) != NoProblem) {
      FileSystem.Close(file);
      file = NoFile;
    }
    if (file == NoFile) TellPartial(*run, PartialStopped);
    if (file != NoFile) {
      TellPartial(*run, PartialMarked, file, path.c_str());
      ClearSystemError();
      const ExportResult result =
          CopyGivingHeaders(*run, folder, chosen[i], &file, &held, &given);
      error = result != ExportWritten ? LastSystemError() : 0;
      if (result == ExportWritten && !IsZero(entry.Time)) FileSystem.SetTime(file, entry.Time);
      ClearSystemError();
      const bool closed = FileSystem.Close(file);
      if (!closed && result == ExportWritten) error = LastSystemError();
      TellPartial(*run, PartialMarked, NoFile, path.c_str());
      problem = result != ExportWritten ? ProblemOf(result) : closed ? NoProblem : ProblemCannotWrite;
      // A message that is not whole leaves no file.
      if (problem != NoProblem) FileSystem.Remove(path.c_str());
      TellPartial(*run, PartialForgotten);
      if (result != ExportWritten && StopAsked(*run)) break;
    }
    if (problem != NoProblem) Failed(*run, *folder, chosen[i], problem, error, path);
    outcomes->push_back({chosen[i], problem, problem != NoProblem ? error : 0,
                         problem == NoProblem ? given : NoHeadersGiven});
    Handled(run, *folder, chosen[i]);
  }
  FreeBytes(&held);
  FinishExport(&exported);
}

}  // namespace

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
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string path = Join(dir, ".vfolder-probe-" + std::to_string(ProcessId()) + "-" +
                                           std::to_string(attempt) + ending);
    bool exists = false;
    ClearSystemError();
    const FileRef file = FileSystem.CreateNew(path.c_str(), DefaultAccess, &exists);
    if (file != NoFile) {
      FileSystem.Close(file);
      FileSystem.Remove(path.c_str());
      return true;
    }
    if (!exists) break;
  }
  *error = LastSystemError();
  return false;
}

bool TargetAllowed(const MailRun &run, const std::string &target, const FileIdentity own[2]) {
  const bool standard_output = run.Output == MboxOutput && target == "-";
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
  } else if (run.Output != MboxOutput) {
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
  if (run.Charset != nullptr || run.Exact || !OpenDataFile(folder->Handle)) return false;
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
  const std::string dir = run->Output == MboxOutput ? ParentOf(target) : target;
  const bool opened = OpenDataFile(folder->Handle);
  FolderFileIdentities(folder->Handle, run->Guarded);
  if (!opened) {
    // As the plug-in warns the user.
    Tell(*run, NoticeNoDataFile, folder->Handle->DataPath);
    FailAll(chosen, ProblemNoDataFile, 0, &outcomes);
  } else if (!(run->Output == MboxOutput && target == "-") && !dir.empty() &&
             (ClearSystemError(), !FileSystem.MakeDirectories(dir.c_str(), OwnerOnly))) {
    const int error = LastSystemError();
    Tell(*run, NoticeCannotMakeDirectory, dir.c_str(), error);
    FailAll(chosen, ProblemCannotCreate, error, &outcomes);
  } else if (run->Output == MboxOutput) {
    WriteMbox(run, folder, chosen, target, &outcomes);
  } else if (run->Output == MaildirOutput) {
    WriteMaildir(run, folder, chosen, target, &outcomes);
  } else {
    WriteEml(run, folder, chosen, target, &outcomes);
  }
  Tally tally = {int(chosen.size()), int(outcomes.size()), 0, 0, 0};
  for (const Outcome &outcome : outcomes) {
    ++(outcome.Problem == NoProblem ? tally.Written : tally.Failed);
    if (outcome.Given != NoHeadersGiven) ++tally.Given;
    TellOutcome(*run, {folder, outcome.Position, outcome.Problem, outcome.Error, outcome.Given,
                       nullptr});
  }
  return tally;
}
