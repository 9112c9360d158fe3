#include "host/shared/mail_save.h"

#include <cstring>
#include <string>
#include <vector>

#include "folder/message_copy.h"
#include "host/shared/code_page_setting.h"
#include "host/shared/mail_items.h"
#include "outputs/mail_folder.h"
#include "outputs/mail_run.h"
#include "platform/file_system.h"
#include "platform/system_facts.h"
#include "platform/wide_text.h"

namespace {

MailSave *SaveOf(void *context) { return static_cast<MailSave *>(context); }

void OnProgress(void *context, int done, int, const char *name) {
  StepSaveProgress(SaveOf(context)->Progress, uint64_t(done), name);
}

bool OnStopping(void *context) { return SaveStopAsked(SaveOf(context)->Progress); }

void OnFailed(void *context, const MessageOutcome &outcome) {
  NoteSaveFailure(SaveOf(context)->Progress, ReasonOfProblem(outcome.Problem),
                  outcome.Path != nullptr       ? outcome.Path
                  : outcome.Folder != nullptr ? outcome.Folder->Shown.c_str()
                                              : nullptr,
                  outcome.Error);
}

void OnOutcome(void *context, const MessageOutcome &outcome) {
  MailSave *save = SaveOf(context);
  // Whole folders: each message counts for itself.
  if (save->ItemsAt.empty()) {
    ++(outcome.Problem == NoProblem ? save->Progress->Saved : save->Progress->Failed);
    return;
  }
  const std::vector<size_t> &items = save->ItemsAt[size_t(outcome.Position)];
  if (outcome.Problem != NoProblem) {
    save->Progress->Failed += items.size();
    return;
  }
  save->Progress->Saved += items.size();
  for (size_t item : items) save->Unselect(save->Items, item);
}

}  // namespace

MessageId ReasonOfNotice(OutputNotice notice) {
  switch (notice) {
    case NoticeCannotMakeDirectory: return MCannotMakeDirectory;
    case NoticeCannotMakeFile:
    case NoticeCannotCreateFile:
    case NoticeCannotMakeFilesIn:
    case NoticeNoFile:
    case NoticeNoDirectory:
    case NoticeIsLink:
    case NoticeHoldsMessages: return MCannotCreateFile;
    case NoticeCannotWriteFile: return MCannotWriteFile;
    case NoticeOwnFile:
    case NoticeIsTheLog: return MOwnFile;
    case NoticeNoColons: return MNoColons;
    case NoticeNoMemory: return MNoMemory;
    case NoticeNoDataFile: return MCannotOpenData;
    default: return MCannotSave;
  }
}

namespace {

void OnNotice(void *context, OutputNotice notice, const char *path, int error) {
  NoteSaveFailure(SaveOf(context)->Progress, ReasonOfNotice(notice), path, error);
}

}  // namespace

const AccountSaving *MailAccount = nullptr;

bool SavesToAccount(const SaveChoice &choice) {
  return choice.Output != nullptr && strcmp(choice.Output->Command, "imap") == 0;
}

bool SavesMessageFiles(const SaveChoice &choice) {
  return choice.Output == nullptr || (choice.Output->Write == nullptr && !SavesToAccount(choice));
}

MailRun StartMailSave(MailSave *save, SaveChoice choice, unsigned code_page) {
#ifdef _WIN32
  save->Charset.Name = "cp" + std::to_string(code_page);
  save->Charset.Converter.Utf8 = code_page == CP_UTF8;
  save->Charset.Converter.CodePage = code_page;
#else
  // The system's converter by the code page's name; UTF-8 is no conversion.
  if (!OpenTextCharset(CodePageCharset(code_page).c_str(), &save->Charset))
    OpenTextCharset("utf-8", &save->Charset);
#endif
  MailRun run = {};
  run.Output = choice.Output;
  run.Existing = MboxRefuse;
  run.Events = OutputEvents{save, OnProgress, OnStopping, OnFailed, OnOutcome, OnNotice,
                            nullptr, nullptr, nullptr, nullptr};
  run.Charset = &save->Charset;
  run.Seen = choice.MarkRead && OutputTakes(*run.Output, TakesSeen);
  run.Utf8Paths = true;
  return run;
}

void CloseMailSave(MailSave *save) { CloseTextCharset(&save->Charset); }

MessageId ReasonOfProblem(OutputProblem problem) {
  switch (problem) {
    case ProblemCannotCreate: return MCannotCreateFile;
    case ProblemCannotRead: return MCannotReadMessage;
    case ProblemCannotWrite: return MCannotWriteFile;
    case ProblemNoMemory: return MNoMemory;
    case ProblemDamagedSize: return MDamagedSize;
    case ProblemOwnFile:
    case ProblemIsTheLog: return MOwnFile;
    case ProblemNoDataFile: return MCannotOpenData;
    case ProblemNoColons: return MNoColons;
    case ProblemNotMovedIntoNew:
    case ProblemNotMovedIntoCur: return MNotMoved;
    default: return MCannotSave;
  }
}

bool OpenChosenMessages(const FolderHandle *folder, const ItemMessage *keys, size_t count,
                        const TextCharset *charset, MailSave *save, MailFolder *mail,
                        std::vector<int> *chosen) {
  ClearSystemError();
  if (OpenMailFolder(folder->IndexPath, mail, charset) != FolderOpened) {
    const int error = LastSystemError();
    CloseMailFolder(mail);
    CloseMailSave(save);
    NoteSaveFailure(save->Progress, MCannotSave, folder->IndexPath, error);
    save->Progress->Failed = count;
    return false;
  }
  size_t unmatched = 0;
  *chosen = MatchItems(*mail, keys, count, &save->ItemsAt, &unmatched);
  if (unmatched > 0) {
    // The folder changed since the panel listed it.
    NoteSaveFailure(save->Progress, MCannotReadMessage, folder->IndexPath);
    save->Progress->Failed += unmatched;
  }
  return true;
}

intptr_t SaveItemsAsMail(const FolderHandle *folder, unsigned code_page, SaveChoice choice,
                         const ItemMessage *keys, size_t count, UnselectItem unselect,
                         void *items, const char *dest, SaveProgress *progress) {
  MailSave save = {progress, unselect, items, {}, {}};
  MailRun run = StartMailSave(&save, choice, code_page);
  MailFolder mail;
  std::vector<int> chosen;
  if (!OpenChosenMessages(folder, keys, count, run.Charset, &save, &mail, &chosen)) return 0;
  run.Total = int(chosen.size());
  const std::string name = FolderName(folder->IndexPath);
  const char *ending = run.Output->SavedEnding;
  const std::string target = ending != nullptr ? FreePath(dest, name, ending) : std::string(dest);
  FileIdentity own[2];
  OpenDataFile(mail.Handle);
  FolderFileIdentities(mail.Handle, own);
  if (!TargetAllowed(run, target, own)) {
    progress->Failed = count;
  } else {
    ConvertFolder(&run, &mail, chosen, target);
  }
  CloseMailFolder(&mail);
  CloseMailSave(&save);
  if (progress->Stopped) return -1;
  return progress->Failed == 0 && progress->Reasons == 0 ? 1 : 0;
}

void SaveFoldersAsMail(const TreeNode &top, SaveChoice choice, const std::string &out,
                       unsigned code_page) {
  if (SavesToAccount(choice)) {
    if (MailAccount != nullptr) MailAccount->SaveFolders(top, choice, code_page);
    return;
  }
  SaveProgress progress;
  const int64_t total = CountMessages(top);
  StartSaveProgress(&progress, uint64_t(total), false);
  MailSave save = {&progress, nullptr, nullptr, {}, {}};
  // Each folder's own code page where none is chosen, as its panel has it;
  // the system's ANSI one for a folder whose messages declare none.
  const bool own = code_page == CodePageFromFolder;
  MailRun run = StartMailSave(&save, choice, own ? SystemCodePage(0) : code_page);
  run.FolderCharsets = own;
  run.Total = int(total < INT32_MAX ? total : INT32_MAX);
  if (IsTreeFile(top, FileSystem.Identify(out.c_str()))) {
    NoteSaveFailure(&progress, MOwnFile, out.c_str());
    progress.Failed = progress.Total;
  } else {
    ConvertTree(&run, top, out, MaildirPlusPlusLayout);
  }
  CloseMailSave(&save);
  FinishSaveProgress(&progress);
}
