#include "outputs/mail_run_parts.h"

#include "folder/export_name.h"
#include "outputs/byte_buffer.h"
#include "outputs/disk_writer.h"
#include "outputs/mail_dates.h"
#include "platform/system_facts.h"

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
  ByteBuffer held = {};
  for (size_t i = 0; i < chosen.size() && !RunStopped(*run); ++i) {
    if (PassOver(run, folder, chosen[i])) continue;
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
    if (problem == NoProblem) TellDelivered(*run, folder, chosen[i]);
    outcomes->push_back({chosen[i], problem, problem != NoProblem ? error : 0,
                         problem == NoProblem ? given : NoHeadersGiven});
    Handled(run, *folder, chosen[i]);
  }
  FreeBytes(&held);
  FinishExport(&exported);
}
