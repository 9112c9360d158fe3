#include "host/far2l/panel_items.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "folder/export_name.h"
#include "folder/listing.h"
#include "folder/message_copy.h"
#include "host/far2l/host_services.h"
#include "host/shared/mail_items.h"
#include "outputs/disk_writer.h"
#include "outputs/mail_run.h"
#include "platform/file_system.h"
#include "platform/wide_text.h"

using namespace far2l;

namespace {

// Room for an item's name and description, each with its terminator: a
// decoded text never has more letters than bytes.
const size_t TextRoom = sizeof(MessageEntry::Name) + sizeof(MessageEntry::Description);

// The destination chosen in the input line: the host may read it through
// DestPath until the plug-in's next call.
const int LongestPath = 4096;
wchar_t ChosenDestination[LongestPath];

void FillPanelItem(const MessageEntry &entry, unsigned code_page, wchar_t *texts,
                   PluginPanelItem *item) {
  const size_t name_length = DecodeText(code_page, entry.Name, texts, sizeof entry.Name);
  wchar_t *description = texts + name_length + 1;
  DecodeText(code_page, entry.Description, description, sizeof entry.Description);
  item->FindData.lpwszFileName = texts;
  item->Description = description;
  item->FindData.nFileSize = entry.Size;
  item->FindData.nPhysicalSize = entry.Size;
  item->FindData.ftCreationTime = entry.Time;
  item->FindData.ftLastWriteTime = entry.Time;
  item->FindData.ftLastAccessTime = entry.Time;
  item->FindData.dwFileAttributes = entry.Attributes | FileAttributeArchive;
  // Read-only messages show as such in the mode column too.
  item->FindData.dwUnixMode = entry.Attributes & EntryReadOnly ? 0100444 : 0100644;
  item->UserData = DWORD_PTR(entry.DataOffset);
}

MessageId ReasonOfExport(ExportResult written) {
  return written == ExportCannotCreate ? MCannotCreateFile
         : written == ExportCannotRead ? MCannotReadMessage
                                       : MCannotWriteFile;
}

void NoteReason(int *reason, MessageId id) {
  if (*reason < 0) *reason = int(id);
}

// Each item's message into a file of its own, named as the copy names them.
int WriteMessageFiles(FolderHandle *folder, PluginPanelItem *items, int count, const char *dest,
                      int *failed, int *reason) {
  std::vector<std::string> utf8(static_cast<size_t>(count));
  std::vector<const char *> names(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    char *name = Utf8FromWide(items[i].FindData.lpwszFileName != nullptr
                                  ? items[i].FindData.lpwszFileName
                                  : L"");
    if (name != nullptr) utf8[size_t(i)] = name;
    free(name);
    names[size_t(i)] = utf8[size_t(i)].c_str();
  }
  ExportRun run;
  if (!StartExport(&run, folder, dest, names.data(), count, LongestItemName, 0)) {
    *failed = count;
    NoteReason(reason, MNoMemory);
    return 0;
  }
  for (int i = 0; i < count; ++i) {
    const ExportResult written =
        ExportMessageFile(&run, folder, i, uint32_t(items[i].UserData),
                          uint32_t(items[i].FindData.nFileSize), items[i].FindData.ftLastWriteTime);
    if (written == ExportWritten) {
      items[i].Flags &= ~PPIF_SELECTED;
    } else {
      ++*failed;
      NoteReason(reason, ReasonOfExport(written));
    }
  }
  FinishExport(&run);
  return *failed == 0 ? 1 : 0;
}

// What a mail run tells back: which items each entry stands for, the count
// of those not saved and the first reason.
struct MailSave {
  PluginPanelItem *Items;
  std::vector<std::vector<size_t>> ItemsAt;
  int *Failed;
  int *Reason;
};

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

void OnOutcome(void *context, const MessageOutcome &outcome) {
  MailSave *save = static_cast<MailSave *>(context);
  const std::vector<size_t> &items = save->ItemsAt[size_t(outcome.Position)];
  if (outcome.Problem != NoProblem) {
    *save->Failed += int(items.size());
    NoteReason(save->Reason, ReasonOfProblem(outcome.Problem));
    return;
  }
  for (size_t item : items) save->Items[item].Flags &= ~PPIF_SELECTED;
}

void OnNotice(void *context, OutputNotice notice, const char *, int) {
  MailSave *save = static_cast<MailSave *>(context);
  NoteReason(save->Reason, notice == NoticeNoMemory     ? MNoMemory
                           : notice == NoticeNoDataFile ? MCannotOpenData
                           : notice == NoticeOwnFile    ? MOwnFile
                           : notice == NoticeNoColons   ? MNoColons
                                                        : MCannotCreateFile);
}

// The items' messages for a mail program, through the outputs vfolder
// writes with: .eml files in `dest`, or dest/NAME.mbox, or the Maildir
// dest/NAME, NAME the index file's name, never replacing a file.
int WriteMail(FolderHandle *folder, unsigned code_page, PluginPanelItem *items, int count,
              SaveFormat format, const char *dest, int *failed, int *reason) {
  TextCharset charset;
  const std::string charset_name = code_page == 65001 ? "utf-8" : "cp" + std::to_string(code_page);
  const bool have_charset = OpenTextCharset(charset_name.c_str(), &charset);
  MailSave save = {items, {}, failed, reason};
  MailRun run = {};
  run.Output = format == SaveMbox ? MboxOutput : format == SaveMaildir ? MaildirOutput : EmlOutput;
  run.Existing = MboxRefuse;
  run.Events = OutputEvents{&save, nullptr, nullptr, nullptr, OnOutcome, OnNotice, nullptr, nullptr};
  run.Charset = have_charset ? &charset : nullptr;
  run.Utf8Paths = true;
  MailFolder mail;
  int result = 0;
  if (OpenMailFolder(folder->IndexPath, &mail, run.Charset) != FolderOpened) {
    *failed = count;
    NoteReason(reason, MCannotSave);
  } else {
    std::vector<ItemMessage> keys(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i)
      keys[size_t(i)] =
          ItemMessage{uint32_t(items[i].UserData), uint32_t(items[i].FindData.nFileSize)};
    size_t unmatched = 0;
    const std::vector<int> chosen =
        MatchItems(mail, keys.data(), size_t(count), &save.ItemsAt, &unmatched);
    if (unmatched > 0) {
      *failed += int(unmatched);
      NoteReason(reason, MCannotReadMessage);
    }
    run.Total = int(chosen.size());
    const std::string name = FolderName(folder->IndexPath);
    const std::string target = run.Output == MboxOutput    ? FreePath(dest, name, ".mbox")
                               : run.Output == MaildirOutput ? FreePath(dest, name, "")
                                                             : std::string(dest);
    FileIdentity own[2];
    OpenDataFile(mail.Handle);
    FolderFileIdentities(mail.Handle, own);
    if (!TargetAllowed(run, target, own)) {
      *failed = count;
      NoteReason(reason, MCannotCreateFile);
    } else {
      ConvertFolder(&run, &mail, chosen, target);
    }
    result = *failed == 0 && *reason < 0 ? 1 : 0;
  }
  CloseMailFolder(&mail);
  if (have_charset) CloseTextCharset(&charset);
  return result;
}

// The format menu, then the destination's line. False for Esc.
bool AskDestination(int count, const wchar_t *dest, SaveFormat *format) {
  const wchar_t *labels[] = {TextOf(MSaveFiles), TextOf(MSaveEml), TextOf(MSaveMbox),
                             TextOf(MSaveMaildir)};
  const int chosen = ChooseFromMenu(TextOf(MSaveAs), labels, 4, 0, HELP_SAVING);
  if (chosen < 0) return false;
  *format = SaveFormat(chosen);
  wchar_t question[256];
  swprintf(question, sizeof question / sizeof question[0], L"%ls %d %ls %ls", TextOf(MCopyVerb),
           count, CountedNoun(MMessageOne, (unsigned long long)count), TextOf(MDestinationEnd));
  if (!AskLine(TextOf(MCopyTitle), question, dest, ChosenDestination, LongestPath, HELP_SAVING))
    return false;
  return ChosenDestination[0] != L'\0';
}

}  // namespace

bool ListPanelItems(FolderHandle *folder, unsigned code_page, PluginPanelItem **items_out,
                    int *count_out, FolderFacts *facts) {
  *items_out = nullptr;
  *count_out = 0;
  if (!StartListing(folder)) return false;
  const size_t count = size_t(folder->RecordCount);
  const size_t item_size = sizeof(PluginPanelItem) + TextRoom * sizeof(wchar_t);
  if (count > SIZE_MAX / item_size) return false;
  // At least one item, so that an empty folder still gets a block to free.
  PluginPanelItem *items =
      static_cast<PluginPanelItem *>(calloc(count > 0 ? count : 1, item_size));
  if (items == nullptr) return false;
  wchar_t *texts = reinterpret_cast<wchar_t *>(items + count);
  size_t filled = 0;
  MessageEntry entry;
  while (filled < count) {
    const unsigned char *record = NextIndexRecord(folder);
    if (record == nullptr) break;
    // Whether the date text states a date is read before decoding changes it.
    IndexDateText stated;
    const bool dated = ReadRecordDate(record, &stated);
    DecodeMessageEntry(record, &entry);
    FillPanelItem(entry, code_page, texts + filled * TextRoom, &items[filled]);
    CountMessageEntry(facts, entry, dated);
    ++filled;
  }
  *items_out = items;
  *count_out = int(filled);
  return true;
}

int SaveItems(FolderHandle *folder, unsigned code_page, PluginPanelItem *items, int count,
              SaveFormat format, const char *dest, int *failed, int *reason) {
  *failed = 0;
  *reason = -1;
  if (!OpenDataFile(folder)) {
    *failed = count;
    *reason = MCannotOpenData;
    return 0;
  }
  if (count <= 0) return 1;
  return format == SaveMessageFiles
             ? WriteMessageFiles(folder, items, count, dest, failed, reason)
             : WriteMail(folder, code_page, items, count, format, dest, failed, reason);
}

int CopyPanelItems(FolderHandle *folder, unsigned code_page, PluginPanelItem *items, int count,
                   const wchar_t **dest, int op_mode) {
  // A search, a quick view or a silent operation shows nothing; a view, an
  // edit or a search asks for no destination: the host gives its own.
  const bool quiet = (op_mode & (OPM_SILENT | OPM_FIND | OPM_QUICKVIEW)) != 0;
  const bool ask = !quiet && (op_mode & (OPM_VIEW | OPM_EDIT | OPM_DESCR | OPM_TOPLEVEL)) == 0;
  const wchar_t *where = *dest != nullptr ? *dest : L"";
  SaveFormat format = SaveMessageFiles;
  if (ask) {
    if (!AskDestination(count, where, &format)) return -1;
    where = ChosenDestination;
    *dest = ChosenDestination;
  }
  char *dest_utf8 = Utf8FromWide(where);
  if (dest_utf8 == nullptr) return 0;
  // A directory typed there that is not there yet is made.
  if (ask) FileSystem.MakeDirectories(dest_utf8, DefaultAccess);
  int failed = 0, reason = -1;
  const int result = SaveItems(folder, code_page, items, count, format, dest_utf8, &failed, &reason);
  free(dest_utf8);
  if (!quiet && reason >= 0) {
    wchar_t line[256];
    swprintf(line, sizeof line / sizeof line[0], L"%ls: %d %ls", TextOf(MessageId(reason)), failed,
             CountedNoun(MMessageOne, (unsigned long long)failed));
    ShowWarning(TextOf(MTitle), line, HELP_SAVING);
  }
  return result;
}
