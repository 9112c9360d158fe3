#include "tools/vfolder/terminal_events.h"

#include <cstdarg>
#include <cstdio>

#include "tools/vfolder/escaped_text.h"
#include "tools/vfolder/progress.h"
#include "tools/vfolder/system_calls.h"

namespace {

void Say(const char *format, ...) {
  ClearProgress();
  va_list arguments;
  va_start(arguments, format);
  vfprintf(stderr, format, arguments);
  va_end(arguments);
}

std::string Shown(const char *path) {
  return path == nullptr ? "standard output" : Printable(path);
}

const char *ProblemText(OutputProblem problem) {
  switch (problem) {
    case NoProblem: return "";
    case ProblemCannotCreate: return "Cannot create file";
    case ProblemCannotRead: return "Cannot read message";
    case ProblemCannotWrite: return "Cannot write file";
    case ProblemNoMemory: return "not enough memory for the message";
    case ProblemDamagedSize: return "Cannot read message: the record's size is damaged";
    case ProblemOwnFile: return "is one of the folder's own files";
    case ProblemIsTheLog: return "is the log";
    case ProblemNoDataFile: return "Unable to open Data Folder File";
    case ProblemNoColons: return "file names here cannot hold ':'";
    case ProblemNotMovedIntoNew: return "cannot move it into new";
    case ProblemNotMovedIntoCur: return "cannot move it into cur";
    case ProblemReplacementKept: return "not written: the file it was to replace is left as it was";
    case ProblemCharsetNeeded: return "its item's texts need --charset";
    case ProblemTooDeep: return "its parts nest deeper than 64 levels; nothing of it written";
    case ProblemTooManyParts: return "it has more than 10000 parts; nothing of it written";
  }
  return "";
}

const char *NoticeText(OutputNotice notice) {
  switch (notice) {
    case NoticeCannotMakeDirectory: return "cannot make the directory";
    case NoticeCannotMakeFile: return "cannot make the file";
    case NoticeCannotCreateFile: return "cannot create the file";
    case NoticeCannotMakeFilesIn: return "cannot make files in it";
    case NoticeCannotWriteFile: return "cannot write the file";
    case NoticeCannotReplace: return "cannot put the new file in its place";
    case NoticeLeftAsItWas: return "left as it was";
    case NoticeOwnFile: return "is one of the folder's own files";
    case NoticeIsTheLog: return "is the log";
    case NoticeNoFile: return "is no file";
    case NoticeNoDirectory: return "is no directory";
    case NoticeIsLink:
      return "is a symbolic link; vfolder writes through none (--replace replaces the link)";
    case NoticeHoldsMessages:
      return "holds messages already; --append adds to them, --replace replaces the file";
    case NoticeNoColons: return "file names here cannot hold the ':' that --seen needs";
    case NoticeNoMemory: return "not enough memory for the message";
    case NoticeNoDataFile: return "Unable to open Data Folder File";
    case NoticeCannotReadDirectory: return "cannot read the directory";
    case NoticeFolderNotListed: return "cannot list the folder";
  }
  return "";
}

void OnProgress(void *, int done, int total, const char *) { ShowProgress(done, total); }

bool OnStopping(void *) { return Interrupted(); }

// "vfolder: [FOLDER: ]message N (NAME): PROBLEM[: PATH][: the system's reason]"
void OnMessageFailed(void *context, const MessageOutcome &outcome) {
  const TerminalRun *terminal = static_cast<TerminalRun *>(context);
  const MailFolder &folder = *outcome.Folder;
  const std::string where =
      terminal->NameFolders ? Printable(folder.Shown.c_str()) + ": " : std::string();
  const std::string name = TableText(NameOf(folder, outcome.Position));
  if (outcome.Problem == ProblemCharsetNeeded) {
    Say("vfolder: %smessage %d (%s) is to be given From: and Subject: lines from its item, whose "
        "texts have bytes above 0x7F: name their code page with --charset (e.g. --charset "
        "cp1251, --charset cp866, --charset cp1252), or keep every message as stored with "
        "--exact; nothing written\n",
        where.c_str(), outcome.Position, name.c_str());
    return;
  }
  const bool path = outcome.Path != nullptr;
  Say("vfolder: %smessage %d (%s): %s%s%s%s\n", where.c_str(), outcome.Position, name.c_str(),
      ProblemText(outcome.Problem), path ? ": " : "", path ? Shown(outcome.Path).c_str() : "",
      Because(outcome.Error).c_str());
}

void OnOutcome(void *context, const MessageOutcome &outcome) {
  RunLog *log = static_cast<TerminalRun *>(context)->Log;
  if (log == nullptr) return;
  const MailFolder &folder = *outcome.Folder;
  const int position = outcome.Position;
  const std::string reason = ProblemText(outcome.Problem) + Because(outcome.Error);
  LogMessage(log, folder.Shown, position, NameOf(folder, position),
             folder.Entries[size_t(position)].Size,
             outcome.Problem != NoProblem ? reason.c_str() : nullptr,
             GivenHeadersNote(outcome.Given, DescriptionOf(folder, position),
                              HeaderDateOf(folder, position).c_str()));
}

// "vfolder: PATH: NOTICE[: the system's reason]"; the plug-in's own words for
// a data folder file that cannot be opened.
void OnNotice(void *, OutputNotice notice, const char *path, int error) {
  if (notice == NoticeNoDataFile)
    Say("%s: %s\n", NoticeText(notice), Shown(path).c_str());
  else
    Say("vfolder: %s: %s%s\n", Shown(path).c_str(), NoticeText(notice), Because(error).c_str());
}

void OnFolderDone(void *, const MailFolder &folder, const Tally &tally) {
  Say("vfolder: %s: %s\n", Printable(folder.Shown.c_str()).c_str(), SummaryOf(tally).c_str());
}

void OnPartial(void *, PartialStep step, FileRef file, const char *path, uint64_t size) {
  switch (step) {
    case PartialStarting: StartCreating(); break;
    case PartialMarked: MarkPartialFile(file, path); break;
    case PartialStopped: StopCreating(); break;
    case PartialForgotten: ForgetPartialFile(); break;
    case CutBackMarked: MarkCutBack(file, size); break;
    case CutBackForgotten: ForgetCutBack(); break;
  }
}

}  // namespace

OutputEvents TerminalEvents(TerminalRun *terminal) {
  return {terminal,        OnProgress, OnStopping,   OnMessageFailed,
          OnOutcome,       OnNotice,   OnFolderDone, OnPartial,
          nullptr,         nullptr};
}

std::string SummaryOf(const Tally &tally) {
  char text[160];
  const char *messages = tally.Messages == 1 ? "message" : "messages";
  if (tally.Handled < tally.Messages)
    snprintf(text, sizeof text, "interrupted after %d of %d %s, %d written, %d failed",
             tally.Handled, tally.Messages, messages, tally.Written, tally.Failed);
  else
    snprintf(text, sizeof text, "%d %s, %d written, %d failed", tally.Messages, messages,
             tally.Written, tally.Failed);
  std::string summary = text;
  if (tally.Given > 0) summary += ", " + std::to_string(tally.Given) + " given headers";
  if (tally.Before > 0) summary += ", " + std::to_string(tally.Before) + " delivered before";
  return summary;
}
