#include "outputs/mail_run_parts.h"

#include "folder/export_name.h"
#include "outputs/byte_buffer.h"
#include "outputs/disk_writer.h"
#include "outputs/mail_dates.h"
#include "platform/system_facts.h"

#include <set>

namespace {

// Whether item `item`'s message is whole in a file under one of its names,
// left there by a run that was killed before its ledger told it: then true,
// with the path in `*found`. A file that holds the message's first bytes
// only is a write the kill cut short: taken away, its name is used anew.
bool FoundWhole(const MailRun &run, MailFolder *folder, int position, ExportRun *exported,
                int item, const std::set<std::string> &taken, ByteBuffer *expected,
                ByteBuffer *held, HeadersGiven *given, std::string *found) {
  bool read = false;
  for (int attempt = 0; attempt < 1000; ++attempt) {
    const char *path = ExportPathOf(exported, item);
    if (path == nullptr || FileSystem.KindOf(path, false) != PathRegular) return false;
    if (!read && MessageBytes(run, folder, position, expected, held, given) != ExportWritten)
      return false;
    read = true;
    const FileMatch match =
        taken.count(path) > 0
            ? FileOther
            : MatchFile(path, expected->Size > 0 ? expected->Bytes : "", expected->Size);
    if (match == FileSame) {
      *found = path;
      return true;
    }
    if (match == FileCut) {
      FileSystem.Remove(path);
      return false;
    }
    if (!NextExportName(&exported->Names, item)) return false;
  }
  return false;
}

}  // namespace

void WriteEml(MailRun *run, MailFolder *folder, const std::vector<int> &chosen,
              const std::string &dir, std::vector<Outcome> *outcomes) {
  std::vector<const char *> names = MessageFileNames(*run, *folder, chosen);
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
  ByteBuffer held = {}, expected = {};
  const bool resuming = Resuming(*run);
  DeliveryBatch batch;
  std::set<std::string> taken;  // files found whole
  for (size_t i = 0; i < chosen.size() && !RunStopped(*run); ++i) {
    if (PassOver(run, folder, chosen[i])) continue;
    const MessageEntry &entry = folder->Entries[size_t(chosen[i])];
    const bool damaged = SizeDamaged(entry);
    std::string found;
    HeadersGiven found_given = NoHeadersGiven;
    if (resuming && !damaged &&
        FoundWhole(*run, folder, chosen[i], &exported, int(i), taken, &expected, &held,
                   &found_given, &found)) {
      taken.insert(found);
      batch.Told.push_back({chosen[i], std::string()});
      batch.Files.push_back(found);
      outcomes->push_back({chosen[i], NoProblem, 0, found_given});
      Handled(run, *folder, chosen[i]);
      continue;
    }
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
      MailTime time = {};
      const ExportResult result =
          CopyGivingHeaders(*run, folder, chosen[i], &file, &held, &given, &time);
      error = result != ExportWritten ? LastSystemError() : 0;
      if (result == ExportWritten) SetMessageTime(file, FileTimeOf(time));
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
    if (problem == NoProblem && !resuming) TellDelivered(*run, folder, chosen[i]);
    if (problem == NoProblem && resuming) {
      batch.Told.push_back({chosen[i], std::string()});
      batch.Files.push_back(path);
      batch.Bytes += entry.Size;
    }
    outcomes->push_back({chosen[i], problem, problem != NoProblem ? error : 0,
                         problem == NoProblem ? given : NoHeadersGiven});
    Handled(run, *folder, chosen[i]);
    if (BatchDue(batch))
      FlushBatch(*run, folder, dir, &batch);
  }
  FlushBatch(*run, folder, dir, &batch);
  FreeBytes(&held);
  FreeBytes(&expected);
  FinishExport(&exported);
}
