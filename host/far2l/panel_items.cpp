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
#include "host/far2l/message_panel.h"
#include "host/far2l/save_destination.h"
#include "host/shared/mail_save.h"
#include "host/shared/panel_names.h"
#include "host/shared/save_progress.h"
#include "outputs/disk_writer.h"
#include "platform/file_system.h"
#include "platform/wide_text.h"

using namespace far2l;

namespace {

// Room for an item's name with a twin's suffix and its description, each
// with its terminator: a decoded text never has more letters than bytes.
const size_t TextRoom =
    sizeof(MessageEntry::Name) + TwinSuffixRoom + sizeof(MessageEntry::Description);

void FillPanelItem(const MessageEntry &entry, unsigned code_page, wchar_t *texts,
                   PanelNames *names, PluginPanelItem *item) {
  const size_t decoded = DecodeText(code_page, entry.Name, texts, sizeof entry.Name);
  const size_t name_length = GiveUniqueName(names, texts, decoded);
  // The twin's suffix, which comes back with the item: a message file takes
  // the record's name, as vfolder copy names it.
  item->CRC32 = DWORD(name_length - decoded);
  wchar_t *description = texts + name_length + 1;
  DecodeText(code_page, entry.Description, description, sizeof entry.Description);
  item->FindData.lpwszFileName = texts;
  item->Description = description;
  item->FindData.nFileSize = entry.Size;
  item->FindData.nPhysicalSize = entry.Size;
  item->FindData.ftCreationTime = entry.Time;
  item->FindData.ftLastWriteTime = entry.Time;
  item->FindData.ftLastAccessTime = entry.Time;
  item->FindData.dwFileAttributes = entry.Attributes;
  // Read-only messages show as such in the mode column too.
  item->FindData.dwUnixMode = entry.Attributes & EntryReadOnly ? 0100444 : 0100644;
  item->UserData = DWORD_PTR(entry.DataOffset);
}

// The name of the record an item stands for: its name without the twin's
// suffix the listing gave it.
std::wstring RecordName(const PluginPanelItem &item) {
  const std::wstring name = item.FindData.lpwszFileName != nullptr ? item.FindData.lpwszFileName : L"";
  return item.CRC32 <= name.size() ? name.substr(0, name.size() - item.CRC32) : name;
}

MessageId ReasonOfExport(ExportResult written) {
  return written == ExportCannotCreate ? MCannotCreateFile
         : written == ExportCannotRead ? MCannotReadMessage
                                       : MCannotWriteFile;
}

// One item's outcome counted, and unselected when saved whole.
void CountItem(SaveProgress *progress, PluginPanelItem *item, ExportResult written,
               const char *path) {
  if (written == ExportWritten) {
    item->Flags &= ~PPIF_SELECTED;
    ++progress->Saved;
    return;
  }
  ++progress->Failed;
  NoteSaveFailure(progress, ReasonOfExport(written), path);
}

// Each item's message into a file of its own, named as the copy names them.
int WriteMessageFiles(FolderHandle *folder, PluginPanelItem *items, int count, const char *dest,
                      SaveProgress *progress) {
  std::vector<std::string> utf8(static_cast<size_t>(count));
  std::vector<const char *> names(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    char *name = Utf8FromWide(RecordName(items[i]).c_str());
    if (name != nullptr) utf8[size_t(i)] = name;
    free(name);
    names[size_t(i)] = utf8[size_t(i)].c_str();
  }
  ExportRun run;
  if (!StartExport(&run, folder, dest, names.data(), count, LongestItemName, 0)) {
    NoteSaveFailure(progress, MNoMemory, nullptr);
    progress->Failed = uint64_t(count);
    return 0;
  }
  for (int i = 0; i < count; ++i) {
    if (SaveStopAsked(progress)) break;
    const ExportResult written =
        ExportMessageFile(&run, folder, i, uint32_t(items[i].UserData),
                          uint32_t(items[i].FindData.nFileSize), items[i].FindData.ftLastWriteTime);
    CountItem(progress, &items[i], written, ExportPath(&run));
    StepSaveProgress(progress, uint64_t(i + 1), names[size_t(i)]);
  }
  FinishExport(&run);
  if (progress->Stopped) return -1;
  return progress->Failed == 0 ? 1 : 0;
}

bool WriteToFile(void *context, const void *bytes, size_t size) {
  return FileSystem.Write(*static_cast<FileRef *>(context), bytes, size);
}

// The name a viewed message takes in the host's fresh directory: what the
// host opens there, the item's name after its last slash (the host takes
// the rest for a path it never makes). Empty where that is nothing of its
// own ("", ".", "..").
std::string ViewedName(const char *name) {
  std::string viewed = name != nullptr ? name : "";
  const size_t slash = viewed.rfind('/');
  if (slash != std::string::npos) viewed.erase(0, slash + 1);
  if (viewed == "." || viewed == "..") viewed.clear();
  return viewed;
}

// A view, an edit or a quick view: the message goes into the host's fresh
// directory under the item's own name, which the viewer's title shows, and
// not under the name a copy would give it; a name that is nothing of its
// own takes the copy's.
int WriteViewedFile(FolderHandle *folder, PluginPanelItem *item, const char *dest,
                    SaveProgress *progress) {
  const wchar_t *shown = item->FindData.lpwszFileName != nullptr ? item->FindData.lpwszFileName : L"";
  char *name = Utf8FromWide(shown);
  const std::string viewed = ViewedName(name);
  free(name);
  if (viewed.empty()) return WriteMessageFiles(folder, item, 1, dest, progress);
  std::string path = dest;
  if (path.empty() || path.back() != '/') path += '/';
  path += viewed;
  bool exists = false;
  FileRef file = FileSystem.CreateNew(path.c_str(), DefaultAccess, &exists);
  ExportResult written = ExportCannotCreate;
  if (file != NoFile) {
    written = CopyMessage(folder, uint32_t(item->UserData), uint32_t(item->FindData.nFileSize),
                          WriteToFile, &file);
    if (written == ExportWritten) SetMessageTime(file, item->FindData.ftLastWriteTime);
    if (!FileSystem.Close(file) && written == ExportWritten) written = ExportCannotWrite;
  }
  CountItem(progress, item, written, path.c_str());
  if (written != ExportWritten) return 0;
  // Enter offers this file to the plug-ins next: the message's parts.
  wchar_t *index = WideFromUtf8(folder->IndexPath);
  if (index != nullptr)
    KeepViewedMessage(ViewedMessage{path, index, shown, uint32_t(item->UserData),
                                    uint32_t(item->FindData.nFileSize),
                                    item->FindData.ftLastWriteTime});
  free(index);
  return 1;
}

// The messages the items stand for, as the mail save finds them.
std::vector<ItemMessage> ItemMessagesOf(const PluginPanelItem *items, int count) {
  std::vector<ItemMessage> keys(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i)
    keys[size_t(i)] = ItemMessage{uint32_t(items[i].UserData), uint32_t(items[i].FindData.nFileSize)};
  return keys;
}

void UnselectPanelItem(void *items, size_t item) {
  static_cast<PluginPanelItem *>(items)[item].Flags &= ~PPIF_SELECTED;
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
  PanelNames names;
  while (filled < count) {
    const unsigned char *record = NextIndexRecord(folder);
    if (record == nullptr) break;
    // Whether the date text states a date is read before decoding changes it.
    IndexDateText stated;
    const bool dated = ReadRecordDate(record, &stated);
    DecodeMessageEntry(record, &entry);
    FillPanelItem(entry, code_page, texts + filled * TextRoom, &names, &items[filled]);
    CountMessageEntry(facts, entry, dated);
    ++filled;
  }
  *items_out = items;
  *count_out = int(filled);
  return true;
}

int CopyPanelItems(FolderHandle *folder, unsigned code_page, PluginPanelItem *items, int count,
                   const wchar_t **dest, int op_mode) {
  // A search, a quick view or a silent operation shows nothing; a view, an
  // edit or a search asks for no destination: the host gives its own.
  const bool quiet = (op_mode & (OPM_SILENT | OPM_FIND | OPM_QUICKVIEW)) != 0;
  const bool ask = !quiet && (op_mode & (OPM_VIEW | OPM_EDIT | OPM_DESCR | OPM_TOPLEVEL)) == 0;
  const bool viewed = (op_mode & (OPM_VIEW | OPM_EDIT | OPM_QUICKVIEW)) != 0;
  if (!OpenDataFile(folder)) {
    if (!quiet) {
      wchar_t *line = WideFromUtf8(folder->DataPath);
      ShowWarning(TextOf(MCannotOpenData), line != nullptr ? line : L"", HELP_SAVING);
      free(line);
    }
    return 0;
  }
  if (count <= 0) return 1;
  const wchar_t *where = *dest != nullptr ? *dest : L"";
  SaveChoice choice = {nullptr, false};
  if (ask) {
    wchar_t question[256];
    swprintf(question, sizeof question / sizeof question[0], L"%ls %d %ls %ls", TextOf(MCopyVerb),
             count, CountedNoun(MMessageOne, (unsigned long long)count), TextOf(MDestinationEnd));
    where = AskDestination(TextOf(MCopyTitle), question, where, false, HELP_SAVING, &choice);
    if (where == nullptr) return -1;
    *dest = where;
  }
  char *dest_utf8 = Utf8FromWide(where);
  if (dest_utf8 == nullptr) return 0;
  // A directory typed there that is not there yet is made; one that cannot
  // be made fails each item.
  if (ask) FileSystem.MakeDirectories(dest_utf8, DefaultAccess);
  SaveProgress progress;
  StartSaveProgress(&progress, uint64_t(count), quiet);
  int result;
  if (viewed && count == 1)
    result = WriteViewedFile(folder, items, dest_utf8, &progress);
  else if (SavesMessageFiles(choice))
    result = WriteMessageFiles(folder, items, count, dest_utf8, &progress);
  else
    result = int(SaveItemsAsMail(folder, code_page, choice, ItemMessagesOf(items, count).data(),
                                 size_t(count), UnselectPanelItem, items, dest_utf8, &progress));
  FinishSaveProgress(&progress);
  free(dest_utf8);
  return result;
}
