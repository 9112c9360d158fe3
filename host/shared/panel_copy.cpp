#include "host/shared/panel_copy.h"

#include <climits>
#include <cstdlib>
#include <cwchar>
#include <vector>

#include "folder/export_name.h"
#include "folder/listing.h"
#include "folder/message_copy.h"
#include "host/shared/host_texts.h"
#include "host/shared/mail_save.h"
#include "host/shared/panel_host.h"
#include "host/shared/save_progress.h"
#include "host/shared/text_fill.h"
#include "outputs/disk_writer.h"
#include "platform/file_system.h"
#include "platform/system_facts.h"
#include "platform/wide_text.h"

namespace {

ViewedMessage LastViewed;
bool HaveViewed = false;

// What an opening view writes in place of the message: one plain line. An
// empty file is no stand-in: an archive library takes it for an empty
// archive of its own.
const char OpeningStandIn[] = "A message of a Vessor mail folder: it opens as its parts.\n";

// The destination typed in the parts' input line: the host may read it
// through its destination until the plug-in's next call.
const size_t LongestPath = 32768;
wchar_t ChosenPartsDestination[LongestPath];

bool WriteToFile(void *context, const void *bytes, size_t size) {
  return FileSystem.Write(*static_cast<FileRef *>(context), bytes, size);
}

// dest/NAME, the file a view opens.
std::string ViewedPath(const char *dest, const std::string &name) {
  std::string path = dest;
  if (path.empty() || path.back() != '/') path += '/';
  return path + name;
}

// The name of the record a row stands for: its name without the twin's
// suffix the listing gave it.
std::wstring RecordName(const PanelRow &row) {
  const std::wstring name = row.Name != nullptr ? row.Name : L"";
  return row.Suffix <= name.size() ? name.substr(0, name.size() - row.Suffix) : name;
}

MessageId ReasonOfExport(ExportResult written) {
  return written == ExportCannotCreate ? MCannotCreateFile
         : written == ExportCannotRead ? MCannotReadMessage
                                       : MCannotWriteFile;
}

// One row's outcome counted, and marked done when saved whole; `error` the
// system's for a failure.
void CountRow(SaveProgress *progress, PanelRow *row, ExportResult written, const char *path,
              int error) {
  if (written == ExportWritten) {
    row->Done = true;
    ++progress->Saved;
    return;
  }
  ++progress->Failed;
  NoteSaveFailure(progress, ReasonOfExport(written), path, error);
}

// Each row's message into a file of its own, named as the copy names them.
int WriteMessageFiles(FolderHandle *folder, PanelRow *rows, size_t count, const char *dest,
                      SaveProgress *progress) {
  std::vector<std::string> utf8(count);
  std::vector<const char *> names(count);
  for (size_t i = 0; i < count; ++i) {
    utf8[i] = Utf8Of(RecordName(rows[i]));
    names[i] = utf8[i].c_str();
  }
  ExportRun run;
  if (!StartExport(&run, folder, dest, names.data(), int(count), LongestItemName, 0)) {
    NoteSaveFailure(progress, MNoMemory, nullptr);
    progress->Failed = count;
    return 0;
  }
  for (size_t i = 0; i < count; ++i) {
    if (SaveStopAsked(progress)) break;
    ClearSystemError();
    const ExportResult written = ExportMessageFile(&run, folder, int(i), uint32_t(rows[i].Data),
                                                   uint32_t(rows[i].Size), rows[i].Time);
    CountRow(progress, &rows[i], written, ExportPath(&run), LastSystemError());
    StepSaveProgress(progress, i + 1, names[i]);
  }
  FinishExport(&run);
  if (progress->Stopped) return -1;
  return progress->Failed == 0 ? 1 : 0;
}

// The name a viewed row takes in the host's fresh directory: what the host
// opens there, the row's name after its last slash (the host takes the rest
// for a path it never makes). Empty where that is nothing of its own ("",
// ".", "..").
std::string ViewedName(const std::string &name) {
  std::string viewed = name;
  const size_t slash = viewed.rfind('/');
  if (slash != std::string::npos) viewed.erase(0, slash + 1);
  if (viewed == "." || viewed == "..") viewed.clear();
  return viewed;
}

// A view of one message: it goes into the host's fresh directory under the
// row's own name, which the viewer's title shows, and not under the name a
// copy would give it; a name that is nothing of its own takes the copy's.
// When `opening`, the file is the message's stand-in (OpeningStandIn).
int WriteViewedFile(FolderHandle *folder, PanelRow *row, const char *dest, bool opening,
                    SaveProgress *progress) {
  const wchar_t *shown = row->Name != nullptr ? row->Name : L"";
  const std::string viewed = ViewedName(Utf8Of(shown));
  if (viewed.empty()) return WriteMessageFiles(folder, row, 1, dest, progress);
  const std::string path = ViewedPath(dest, viewed);
  bool exists = false;
  ClearSystemError();
  FileRef file = FileSystem.CreateNew(path.c_str(), DefaultAccess, &exists);
  ExportResult written = ExportCannotCreate;
  int error = LastSystemError();
  if (file != NoFile) {
    written = !opening ? CopyMessage(folder, uint32_t(row->Data), uint32_t(row->Size),
                                     WriteToFile, &file)
              : FileSystem.Write(file, OpeningStandIn, sizeof OpeningStandIn - 1)
                  ? ExportWritten
                  : ExportCannotWrite;
    error = LastSystemError();
    if (written == ExportWritten) SetMessageTime(file, row->Time);
    if (!FileSystem.Close(file) && written == ExportWritten) {
      written = ExportCannotWrite;
      error = LastSystemError();
    }
  }
  CountRow(progress, row, written, path.c_str(), error);
  if (written != ExportWritten) return 0;
  // The host may offer this file to the plug-ins next: the message's parts.
  wchar_t *index = WideFromUtf8(folder->IndexPath);
  if (index != nullptr) {
    LastViewed = ViewedMessage{path, index, shown, uint32_t(row->Data), uint32_t(row->Size),
                               row->Time};
    HaveViewed = true;
  }
  free(index);
  return 1;
}

void MarkRowDone(void *rows, size_t row) { static_cast<PanelRow *>(rows)[row].Done = true; }

// "Copy N messages to:", or items.
std::wstring CopyQuestion(size_t count, MessageId noun) {
  const std::wstring number = std::to_wstring(static_cast<unsigned long long>(count));
  return FillText(TextOf(MCopyQuestion), {number.c_str(), CountedNoun(noun, count)});
}

// The name a part's file takes: a message inside goes out as its bytes.
std::string FileNameOf(const PartItem &part) {
  return Utf8Of(part.Name + (part.Kind == PartItemMessage ? L".eml" : L""));
}

// Part `at` into the new file `path`; a part that is not whole leaves none.
bool WritePartFile(MessageStack *stack, size_t at, FileRef file, const char *path) {
  bool written = WritePartItem(stack, at, WriteToFile, &file);
  if (written) SetMessageTime(file, CurrentTime(stack));
  written = FileSystem.Close(file) && written;
  if (!written) FileSystem.Remove(path);
  return written;
}

// A view of one part: the host opens dest/NAME, NAME the row's own.
int ViewPart(MessageStack *stack, PanelRow *row, const char *dest) {
  const std::vector<PartItem> &parts = CurrentParts(stack);
  if (row->Data >= parts.size()) return 0;
  const std::string name = FileNameOf(parts[size_t(row->Data)]);
  if (name.empty() || name.find('/') != std::string::npos || name == "." || name == "..")
    return 0;
  const std::string path = ViewedPath(dest, name);
  bool exists = false;
  const FileRef file = FileSystem.CreateNew(path.c_str(), DefaultAccess, &exists);
  row->Done = file != NoFile && WritePartFile(stack, size_t(row->Data), file, path.c_str());
  return row->Done ? 1 : 0;
}

}  // namespace

CopyRequest RequestOf(unsigned long long op_mode, unsigned long long top_level,
                      bool view_own_name) {
  const bool quiet = (op_mode & (ModeSilent | ModeFind | ModeQuickView)) != 0;
  const bool ask = !quiet && (op_mode & (ModeView | ModeEdit | ModeDescription | top_level)) == 0;
  const bool view = view_own_name && (op_mode & (ModeView | ModeQuickView)) != 0;
  return CopyRequest{quiet, ask, view, (op_mode & (ModeEdit | ModeView | ModeQuickView)) == ModeEdit,
                     false};
}

bool TakeViewedMessage(const char *path, ViewedMessage *viewed) {
  if (!HaveViewed || path == nullptr || LastViewed.Path != path) return false;
  *viewed = LastViewed;
  HaveViewed = false;
  return true;
}

int CopyFolderRows(FolderHandle *folder, unsigned code_page, PanelRow *rows, size_t count,
                   const wchar_t **dest, CopyRequest request) {
  if (!OpenDataFile(folder)) {
    // The system's reason, as the file's own name gives it: the search for
    // it in another letter case leaves none.
    ClearSystemError();
    const FileRef again = FileSystem.OpenForReading(folder->DataPath);
    const int error = LastSystemError();
    if (again != NoFile) FileSystem.Close(again);
    if (!request.Quiet) {
      wchar_t *path = WideFromUtf8(folder->DataPath);
      const std::wstring line = WithSystemReason(path != nullptr ? path : L"", error);
      ShowWarning(TextOf(MCannotOpenData), line.c_str(), HELP_SAVING);
      free(path);
    }
    return 0;
  }
  if (count == 0) return 1;
  if (count > INT_MAX) return 0;
  const wchar_t *where = *dest != nullptr ? *dest : L"";
  SaveChoice choice = {nullptr, false};
  if (request.Ask) {
    // F6 asks as F5 does: a folder that is only read gives nothing to move,
    // so both copy.
    const std::wstring question = CopyQuestion(count, MMessageOne);
    where = AskDestination(TextOf(MCopyTitle), question.c_str(), where, false, HELP_SAVING, &choice);
    if (where == nullptr) return -1;
    *dest = where;
  }
  char *dest_text = Utf8FromWide(where);
  if (dest_text == nullptr) return 0;
  const std::string dest_utf8 = dest_text;
  free(dest_text);
  // A directory typed there that is not there yet is made; one that cannot
  // be made fails each row. A mail account's line is no directory.
  const bool account = SavesToAccount(choice) && MailAccount != nullptr;
  if (request.Ask && !account) FileSystem.MakeDirectories(dest_utf8.c_str(), DefaultAccess);
  SaveProgress progress;
  StartSaveProgress(&progress, count, request.Quiet);
  int result;
  if (request.Viewed && count == 1) {
    result = WriteViewedFile(folder, rows, dest_utf8.c_str(), request.Opening, &progress);
  } else if (account) {
    std::vector<ItemMessage> keys(count);
    for (size_t i = 0; i < count; ++i)
      keys[i] = ItemMessage{uint32_t(rows[i].Data), uint32_t(rows[i].Size)};
    result = int(MailAccount->SaveItems(folder, code_page, choice, keys.data(), count, MarkRowDone,
                                        rows, &progress));
  } else if (SavesMessageFiles(choice)) {
    result = WriteMessageFiles(folder, rows, count, dest_utf8.c_str(), &progress);
  } else {
    std::vector<ItemMessage> keys(count);
    for (size_t i = 0; i < count; ++i)
      keys[i] = ItemMessage{uint32_t(rows[i].Data), uint32_t(rows[i].Size)};
    result = int(SaveItemsAsMail(folder, code_page, choice, keys.data(), count, MarkRowDone, rows,
                                 dest_utf8.c_str(), &progress));
  }
  FinishSaveProgress(&progress);
  // After a stop the host shows the other panel as it was: show what was made.
  if (result == -1) ShowOtherPanelChanges();
  return result;
}

int CopyPartRows(MessageStack *stack, FolderHandle *folder, PanelRow *rows, size_t count,
                 const wchar_t **dest, CopyRequest request) {
  if (!InsideMessage(stack)) return 0;
  if (count == 0) return 1;
  if (count > INT_MAX) return 0;
  const std::vector<PartItem> &parts = CurrentParts(stack);
  const wchar_t *given = *dest != nullptr ? *dest : L"";
  if (request.Ask) {
    const std::wstring question = CopyQuestion(count, MItemOne);
    if (!AskLine(TextOf(MCopyTitle), question.c_str(), given, ChosenPartsDestination, LongestPath,
                 HELP_PARTS) ||
        ChosenPartsDestination[0] == L'\0')
      return -1;
    *dest = given = ChosenPartsDestination;
  }
  const std::string dest_utf8 = Utf8Of(given);
  if (request.Ask) FileSystem.MakeDirectories(dest_utf8.c_str(), DefaultAccess);
  if (request.Viewed && count == 1) return ViewPart(stack, rows, dest_utf8.c_str());
  std::vector<std::string> names(count);
  std::vector<const char *> name_pointers(count);
  for (size_t i = 0; i < count; ++i) {
    names[i] = rows[i].Data < parts.size() ? FileNameOf(parts[size_t(rows[i].Data)]) : "_";
    name_pointers[i] = names[i].c_str();
  }
  ExportRun run;
  // A file from before is never replaced: the part takes the next free name.
  if (!StartPartExport(&run, folder, dest_utf8.c_str(), name_pointers.data(), int(count))) return 0;
  int result = 1;
  for (size_t i = 0; i < count; ++i) {
    const size_t at = size_t(rows[i].Data);
    ClearSystemError();
    const FileRef file = at < parts.size() ? CreateExportFile(&run, int(i)) : NoFile;
    if (file != NoFile && WritePartFile(stack, at, file, ExportPath(&run))) {
      rows[i].Done = true;
      continue;
    }
    const int error = LastSystemError();
    result = 0;
    if (!request.Quiet) {
      wchar_t *path = WideFromUtf8(ExportPath(&run));
      const std::wstring line = WithSystemReason(path != nullptr ? path : L"", error);
      ShowWarning(TextOf(file == NoFile ? MCannotCreateFile : MCannotWriteFile), line.c_str(),
                  HELP_PARTS);
      free(path);
    }
  }
  FinishExport(&run);
  return result;
}
