#include "outputs/mail_run_parts.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "folder/message_copy.h"
#include "outputs/byte_buffer.h"
#include "outputs/given_headers.h"
#include "outputs/mail_dates.h"
#include "outputs/mbox_format.h"
#include "platform/system_facts.h"

namespace {

// Formatted mbox messages are written in pieces of about this size.
const size_t MboxPieceSize = 1024 * 1024;

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
  // With a ledger: the file is synced before its messages are told delivered.
  bool Resuming = false;
  // A run killed before its ledger told all it wrote left messages after
  // WholeEnd: each next message found there whole is taken as delivered.
  bool Settling = false;
  // Messages whole in the file, with their ends, that the ledger is yet to
  // be told of, once a sync has put them on the disk.
  std::vector<std::pair<int, uint64_t>> Unconfirmed;
  DeliveryBatch Batch;  // its size and age only
};

// Puts the messages whole in the file on the disk and tells the ledger, when
// enough of them wait, or `now`.
void ConfirmMbox(const MailRun &run, MailFolder *folder, MboxFile *mbox, bool now) {
  if (mbox->Unconfirmed.empty() || (!now && !BatchDue(mbox->Batch))) return;
  if (FileSystem.Sync(mbox->File, false)) {
    for (const auto &whole : mbox->Unconfirmed)
      TellDelivered(run, folder, whole.first, mbox->Path, std::to_string(whole.second).c_str());
    ConfirmDelivered(run);
  }
  mbox->Unconfirmed.clear();
  mbox->Batch = DeliveryBatch();
}

// Reads the mbox's `size` bytes at `offset` and compares them with `bytes`.
bool FileHolds(FileRef file, uint64_t offset, const char *bytes, size_t size) {
  char piece[64 * 1024];
  for (size_t done = 0; done < size;) {
    const size_t want = std::min(sizeof piece, size - done);
    if (FileSystem.ReadAt(file, offset + done, piece, want) != want ||
        memcmp(piece, bytes + done, want) != 0)
      return false;
    done += want;
  }
  return true;
}

// What is after the last message found whole is no message: cut away.
void EndSettling(MboxFile *mbox) {
  if (!mbox->Settling) return;
  mbox->Settling = false;
  FileSystem.Truncate(mbox->File, mbox->WholeEnd);
}

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

// Where the run's messages begin in the mbox `path`, on the disk before the
// first is written.
void MarkStart(const MailRun &run, const std::string &path, uint64_t end) {
  TellReached(run, path, std::to_string(end).c_str());
  ConfirmDelivered(run);
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
    mbox->Resuming = Resuming(run);
    if (mbox->File != NoFile && problem == NoProblem && mbox->Resuming) MarkStart(run, path, 0);
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
      } else if (size == 0 && writable && !Resuming(run)) {
        mbox->File = old;  // an empty FILE is written into
      } else if (writable && (run.Existing == MboxAppend || size == 0)) {
        // Appended after what the ledger knows to be there: the rest was
        // left by a run that was killed, and is to be found whole or cut.
        char place[41];
        uint64_t end = uint64_t(size);
        bool known_end = false;
        if (Resuming(run) && PlaceKnown(run, path, place)) {
          const uint64_t known = strtoull(place, nullptr, 10);
          mbox->Settling = known < end;
          known_end = known <= end;
          if (known_end) end = known;
        }
        char tail[3];
        const uint64_t from = end > 3 ? end - 3 : 0;
        const size_t got = FileSystem.ReadAt(old, from, tail, size_t(end - from));
        // Nothing before the run's messages (a killed run left only its own):
        // the first From line starts the file.
        mbox->Separator = end == 0 ? "" : SeparatorAfter(std::string(tail, got));
        mbox->File = old;
        // A failed write cuts the file back to here: its old end, before the
        // line feeds the first new message brings.
        mbox->WholeEnd = end;
        mbox->Resuming = Resuming(run);
        // A run killed before it told anything leaves its messages after here.
        if (mbox->Resuming && !known_end) MarkStart(run, path, end);
      } else if (run.Existing == MboxReplace) {
        problem = CreateBeside(run, path, old, mbox);
      } else {
        holds_messages = true;
      }
      // Written after what it holds.
      if (mbox->File == old && !mbox->Settling && !FileSystem.Truncate(old, uint64_t(size)))
        mbox->File = NoFile;
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
void FlushMbox(MailRun *run, MailFolder *folder, MboxFile *mbox, std::vector<Outcome> *outcomes) {
  EndSettling(mbox);
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
  // Told only once they are in the file, and a second Ctrl+C cuts back no
  // further than their end.
  const uint64_t start = mbox->WholeEnd;
  // The ledger waits for a sync: the disk writes this piece meanwhile.
  if (mbox->Resuming && !mbox->ToStandardOutput && mbox->Pending.Size > 0)
    FileSystem.StartWriteBack(mbox->File, start, mbox->Pending.Size);
  mbox->WholeEnd += mbox->Pending.Size;
  if (!mbox->ToStandardOutput && mbox->Replaces.empty())
    TellPartial(*run, CutBackMarked, mbox->File, "", mbox->WholeEnd);
  size_t told = 0;
  for (size_t i = mbox->Confirmed; i < outcomes->size(); ++i) {
    if ((*outcomes)[i].Problem != NoProblem) continue;
    const uint64_t end = start + mbox->Ends[told++];
    if (!mbox->Resuming)
      TellDelivered(*run, folder, (*outcomes)[i].Position);
    else
      mbox->Unconfirmed.push_back({(*outcomes)[i].Position, end});
  }
  mbox->Batch.Bytes += mbox->Pending.Size;
  ConfirmMbox(*run, folder, mbox, mbox->Broken);
  mbox->Pending.Size = 0;
  mbox->Ends.clear();
  mbox->Confirmed = outcomes->size();
}

// Writes what is pending, closes the file and, with MboxReplace, puts the new
// file in FILE's place, or takes it away again when the run did not write
// every message it could read.
void FinishMbox(MailRun *run, MailFolder *folder, MboxFile *mbox, std::vector<Outcome> *outcomes,
                bool whole_run) {
  FlushMbox(run, folder, mbox, outcomes);
  ConfirmMbox(*run, folder, mbox, true);
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

// A message of a piece or more, written (or, while settling, compared with
// the file) a mebibyte at a time as it is formatted.
struct LargeMessage {
  MboxFile *Mbox;
  bool Comparing;
  bool Differs;     // the file does not hold it there
  uint64_t Done;    // its bytes written or compared
  int Error;
};

bool DrainLarge(void *context, ByteBuffer *out) {
  LargeMessage *large = static_cast<LargeMessage *>(context);
  MboxFile *mbox = large->Mbox;
  if (out->Size == 0) return true;
  if (large->Comparing) {
    large->Differs = !FileHolds(mbox->File, mbox->WholeEnd + large->Done, out->Bytes, out->Size);
    if (large->Differs) return false;
  } else if (!FileSystem.Write(mbox->File, out->Bytes, out->Size)) {
    large->Error = LastSystemError();
    return false;
  }
  large->Done += out->Size;
  out->Size = 0;
  return true;
}

// Writes (or finds whole, while settling) a large message after what is in
// the file; the pieces before it are written first. Its problem, NoProblem
// when it is whole in the file.
OutputProblem WriteLarge(MailRun *run, MailFolder *folder, MboxFile *mbox,
                         std::vector<Outcome> *outcomes, int position, const std::string &text,
                         const char *bytes, size_t size, int64_t seconds,
                         const std::string &envelope, int *error) {
  FlushMbox(run, folder, mbox, outcomes);
  if (mbox->Broken) {
    *error = mbox->Error;
    return ProblemCannotWrite;
  }
  LargeMessage large = {mbox, mbox->Settling, false, 0, 0};
  for (;;) {
    mbox->Pending.Size = 0;
    ClearSystemError();
    const bool whole =
        AppendBytes(&mbox->Pending, mbox->Separator, strlen(mbox->Separator)) &&
        AppendMboxMessage(&mbox->Pending, text, bytes, size, seconds, envelope, DrainLarge,
                          &large) &&
        DrainLarge(&large, &mbox->Pending);
    mbox->Pending.Size = 0;
    if (whole) break;
    if (!large.Comparing || !large.Differs) {
      // Memory ran out, or a write failed: cut back, and nothing more goes in.
      if (!large.Comparing) FileSystem.Truncate(mbox->File, mbox->WholeEnd);
      *error = large.Error;
      if (large.Comparing || large.Error == 0) return ProblemNoMemory;
      mbox->Broken = true;
      mbox->Error = large.Error;
      Tell(*run, NoticeCannotWriteFile, mbox->Path.c_str(), large.Error);
      return ProblemCannotWrite;
    }
    // Not what the killed run left: written after the last one found.
    EndSettling(mbox);
    large = {mbox, false, false, 0, 0};
  }
  mbox->Separator = "";
  mbox->WholeEnd += large.Done;
  TellPartial(*run, CutBackMarked, mbox->File, "", mbox->WholeEnd);
  if (mbox->Resuming)
    mbox->Unconfirmed.push_back({position, mbox->WholeEnd});
  else
    TellDelivered(*run, folder, position);
  mbox->Batch.Bytes += large.Done;
  ConfirmMbox(*run, folder, mbox, false);
  return NoProblem;
}

}  // namespace

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
    const MessageEntry &entry = folder->Entries[size_t(position)];
    message.Size = 0;
    ClearSystemError();
    const bool damaged = SizeDamaged(entry);
    // Read once: what the ledger knows it by, and what is written.
    const ExportResult result =
        damaged || mbox.Broken
            ? ExportCannotRead
            : CopyMessage(folder->Handle, entry.DataOffset, entry.Size, BufferWrite, &sink);
    if (result != ExportWritten && StopAsked(*run)) break;
    if (result == ExportWritten
            ? PassOver(run, folder, position, message.Size > 0 ? message.Bytes : "", message.Size)
            : PassOver(run, folder, position))
      continue;
    if (mbox.Broken) {
      outcomes->push_back({position, ProblemCannotWrite, mbox.Error, NoHeadersGiven});
      continue;
    }
    const int error = result == ExportCannotRead && !damaged ? LastSystemError() : 0;
    const char *bytes = message.Size > 0 ? message.Bytes : "";
    size_t size = message.Size;
    MessageHead head = {};
    MailTime time = {};
    std::string text, envelope;
    bool formed = true;
    if (result == ExportWritten) {
      DecideGiven(*run, *folder, position, bytes, size, true, &head, &text, &time);
      // The sender of the message's own envelope line is its From line's.
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
    // A large message goes a mebibyte at a time: held once, as read.
    if (result == ExportWritten && formed && size >= MboxPieceSize && !mbox.ToStandardOutput) {
      int large_error = 0;
      const OutputProblem problem =
          WriteLarge(run, folder, &mbox, outcomes, position, text, bytes, size,
                     time.Known ? time.Seconds : 0, envelope, &large_error);
      if (problem != NoProblem) Failed(*run, *folder, position, problem, large_error);
      outcomes->push_back(
          {position, problem, large_error, problem == NoProblem ? head.Given : NoHeadersGiven});
      mbox.Confirmed = outcomes->size();
      Handled(run, *folder, position);
      continue;
    }
    const size_t before = mbox.Pending.Size;
    OutputProblem problem =
        damaged                                                                  ? ProblemDamagedSize
        : result == ExportCannotRead                                             ? ProblemCannotRead
        : result != ExportWritten || !formed                                     ? ProblemNoMemory
        : !AppendBytes(&mbox.Pending, mbox.Separator, strlen(mbox.Separator)) ||
                // Undated: the epoch, so that every run writes the same mbox.
                !AppendMboxMessage(&mbox.Pending, text, bytes, size,
                                   time.Known ? time.Seconds : 0, envelope)
            ? ProblemNoMemory
            : NoProblem;
    if (problem == NoProblem) mbox.Separator = "";
    if (result == ExportWritten && problem != NoProblem) mbox.Pending.Size = before;
    if (problem == NoProblem && mbox.Settling) {
      const size_t length = mbox.Pending.Size - before;
      if (FileHolds(mbox.File, mbox.WholeEnd, mbox.Pending.Bytes + before, length)) {
        // Written whole by the run that was killed: told, not written again.
        mbox.Pending.Size = before;
        mbox.WholeEnd += length;
        TellPartial(*run, CutBackMarked, mbox.File, "", mbox.WholeEnd);
        mbox.Unconfirmed.push_back({position, mbox.WholeEnd});
        outcomes->push_back({position, NoProblem, 0, head.Given});
        mbox.Confirmed = outcomes->size();
        Handled(run, *folder, position);
        continue;
      }
      EndSettling(&mbox);
    }
    if (problem != NoProblem) Failed(*run, *folder, position, problem, error);
    if (problem == NoProblem) mbox.Ends.push_back(mbox.Pending.Size);
    outcomes->push_back(
        {position, problem, error, problem == NoProblem ? head.Given : NoHeadersGiven});
    if (mbox.Pending.Size >= MboxPieceSize) FlushMbox(run, folder, &mbox, outcomes);
    Handled(run, *folder, position);
  }
  FreeBytes(&message);
  FreeBytes(&converted);
  FinishMbox(run, folder, &mbox, outcomes, !RunStopped(*run));
}
