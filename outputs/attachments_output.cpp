// The attachments of each message, decoded, in a directory of its own named
// as copy names the message: OUT/<message>/<attachment>.
#include "outputs/mail_run_parts.h"

#include "folder/export_name.h"
#include "message/message_parts.h"
#include "outputs/disk_writer.h"
#include "outputs/stored_message.h"
#include "platform/system_facts.h"

namespace {

// Decoded bytes into the open file; a stop asked for ends the decoding.
struct FileSink {
  const MailRun *Run;
  FileRef File;
  bool WriteFailed;  // tells a failed write from a failed read
};

bool WriteDecoded(void *context, const void *bytes, size_t size) {
  FileSink *sink = static_cast<FileSink *>(context);
  if (StopAsked(*sink->Run)) return false;
  sink->WriteFailed = !FileSystem.Write(sink->File, bytes, size);
  return !sink->WriteFailed;
}

// Makes item `item`'s directory in `dir` under its export name, or the next
// suffix of it where something has the name already: a directory made anew,
// never one from before, nor through a link. False, the system's error left,
// when none can be made.
bool MakeMessageDirectory(ExportNames *names, int item, const std::string &dir,
                          std::string *path) {
  for (int attempt = 0; attempt < 1000; ++attempt) {
    *path = Join(dir, ExportNameOf(names, item));
    bool exists = false;
    ClearSystemError();
    if (FileSystem.MakeDirectory(path->c_str(), OwnerOnly, &exists)) return true;
    if (!exists || !NextExportName(names, item)) return false;
  }
  return false;
}

// Creates the file `name` in the message's new directory, where nothing was
// before: a name in use there is one the reader told apart that the file
// system takes for another (Windows folds more than A-Z), so it takes the
// next suffix before its extension, as the reader's twins do. NoFile, the
// system's error left, when none can be made.
FileRef CreateAttachmentFile(const std::string &dir, const std::string &name,
                             std::string *path) {
  for (unsigned number = 1; number < 1000; ++number) {
    *path = Join(dir, number == 1 ? name : TwinFileName(name, number));
    bool exists = false;
    ClearSystemError();
    const FileRef file = FileSystem.CreateNew(path->c_str(), OwnerOnly, &exists);
    if (file != NoFile || !exists) return file;
  }
  return NoFile;
}

// What became of one message: its outcome, and whether a stop cut it short
// (it then counts as not handled).
struct MessageDone {
  Outcome Result;
  bool Stopped;
};

// Writes attachment `index` of the message into its file in `dir`, under
// the reader's name. NoProblem when the file is whole; a file not whole is
// taken away again.
OutputProblem WriteAttachment(MailRun *run, const std::string &dir, const MessageSource &source,
                              const MessageParts &parts, size_t index, const FILETIME &time,
                              std::string *path, int *error, bool *stopped) {
  TellPartial(*run, PartialStarting);
  FileRef file = CreateAttachmentFile(dir, SystemFileName(*run, parts.Parts[index].Name), path);
  *error = file == NoFile ? LastSystemError() : 0;
  OutputProblem problem = ProblemCannotCreate;
  // Not ours: closed as it is, and left there.
  if (file != NoFile && (problem = GuardedFile(*run, file)) != NoProblem) {
    FileSystem.Close(file);
    file = NoFile;
  }
  if (file == NoFile) {
    TellPartial(*run, PartialStopped);
    return problem;
  }
  TellPartial(*run, PartialMarked, file, path->c_str());
  FileSink sink = {run, file, false};
  uint64_t decoded = 0;
  ClearSystemError();
  const bool whole = DecodePart(source, parts, index, false, WriteDecoded, &sink, &decoded);
  *error = whole ? 0 : LastSystemError();
  *stopped = !whole && !sink.WriteFailed && StopAsked(*run);
  if (whole) SetMessageTime(file, time);
  ClearSystemError();
  const bool closed = FileSystem.Close(file);
  if (!closed && whole) *error = LastSystemError();
  TellPartial(*run, PartialMarked, NoFile, path->c_str());
  problem = !whole ? (sink.WriteFailed ? ProblemCannotWrite : ProblemCannotRead)
            : closed ? NoProblem
                     : ProblemCannotWrite;
  if (problem != NoProblem) FileSystem.Remove(path->c_str());
  TellPartial(*run, PartialForgotten);
  return problem;
}

// Every attachment of message `position`, the `item`-th chosen, into its
// directory in `dir`; nothing is made for a message without one.
MessageDone WriteMessageAttachments(MailRun *run, MailFolder *folder, int position, int item,
                                    ExportNames *names, const std::string &dir) {
  const MessageEntry &entry = folder->Entries[size_t(position)];
  MessageDone done = {{position, NoProblem, 0, NoHeadersGiven}, false};
  if (SizeDamaged(entry)) {
    done.Result.Problem = ProblemDamagedSize;
    Failed(*run, *folder, position, ProblemDamagedSize, 0);
    return done;
  }
  StoredMessage stored = {folder->Handle->DataFile, entry.DataOffset, entry.Size};
  const MessageSource source = StoredMessageSource(&stored);
  MessageParts parts;
  ClearSystemError();
  if (!ReadMessageParts(source, &parts)) {
    done.Result = {position, ProblemCannotRead, LastSystemError(), NoHeadersGiven};
    Failed(*run, *folder, position, ProblemCannotRead, done.Result.Error);
    return done;
  }
  // A message that cannot be taken apart whole is not written in part: its
  // outcome says why.
  if (parts.Limit != PartsWhole) {
    const OutputProblem problem =
        parts.Limit == PartsTooDeep ? ProblemTooDeep : ProblemTooManyParts;
    done.Result = {position, problem, 0, NoHeadersGiven};
    Failed(*run, *folder, position, problem, 0);
    return done;
  }
  std::vector<size_t> attached;
  for (size_t i = 0; i < parts.Parts.size(); ++i)
    if (parts.Parts[i].IsAttachment) attached.push_back(i);
  if (attached.empty()) return done;
  std::string message_dir;
  if (!MakeMessageDirectory(names, item, dir, &message_dir)) {
    done.Result = {position, ProblemCannotCreate, LastSystemError(), NoHeadersGiven};
    Failed(*run, *folder, position, ProblemCannotCreate, done.Result.Error, message_dir);
    return done;
  }
  size_t k = 0;
  for (; k < attached.size() && !RunStopped(*run); ++k) {
    std::string path;
    int error = 0;
    const OutputProblem problem = WriteAttachment(run, message_dir, source, parts, attached[k],
                                                  entry.Time, &path, &error, &done.Stopped);
    if (done.Stopped) break;
    if (problem == NoProblem) continue;
    Failed(*run, *folder, position, problem, error, path);
    if (done.Result.Problem == NoProblem) done.Result = {position, problem, error, NoHeadersGiven};
  }
  // Stopped between two of its files: not handled either.
  done.Stopped = done.Stopped || k < attached.size();
  return done;
}

}  // namespace

void WriteAttachments(MailRun *run, MailFolder *folder, const std::vector<int> &chosen,
                      const std::string &dir, std::vector<Outcome> *outcomes) {
  // Named as WriteEml names its files, without the ending.
  std::vector<const char *> names = MessageFileNames(*run, *folder, chosen);
  int error = 0;
  if (!CanMakeFilesIn(dir, &error)) {
    Tell(*run, NoticeCannotMakeFilesIn, dir.c_str(), error);
    FailAll(chosen, ProblemCannotCreate, error, outcomes);
    return;
  }
  ExportNames message_names;
  if (!MakeExportNames(names.data(), int(names.size()), LongestItemName, &message_names)) {
    Tell(*run, NoticeNoMemory, dir.c_str());
    FailAll(chosen, ProblemNoMemory, 0, outcomes);
    return;
  }
  for (size_t i = 0; i < chosen.size() && !RunStopped(*run); ++i) {
    const MessageDone done =
        WriteMessageAttachments(run, folder, chosen[i], int(i), &message_names, dir);
    if (done.Stopped) break;
    outcomes->push_back(done.Result);
    Handled(run, *folder, chosen[i]);
  }
  FreeExportNames(&message_names);
}
