#include "host/far3/panel_items.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "folder/listing.h"
#include "folder/message_copy.h"
#include "host/far3/host_services.h"
#include "host/shared/mail_save.h"
#include "host/shared/panel_names.h"
#include "host/far3/save_dialog.h"
#include "host/shared/save_progress.h"
#include "outputs/disk_writer.h"
#include "platform/file_system.h"
#include "platform/wide_text.h"

using namespace far3;

namespace {

// Room for an item's name with a twin's suffix and its description, each
// with its terminator: a decoded text never has more letters than bytes.
const size_t TextRoom =
    sizeof(MessageEntry::Name) + TwinSuffixRoom + sizeof(MessageEntry::Description);

// The destination chosen in the input line: the host may read it through
// DestPath until the plug-in's next call.
const size_t LongestPath = 32768;
wchar_t ChosenDestination[LongestPath];

void FillPanelItem(const MessageEntry &entry, unsigned code_page, wchar_t *texts,
                   PanelNames *names, PluginPanelItem *item) {
  const size_t decoded = DecodeText(code_page, entry.Name, texts, sizeof entry.Name);
  const size_t name_length = GiveUniqueName(names, texts, decoded);
  // The twin's suffix, which comes back with the item: a message file takes
  // the record's name, as vfolder copy names it.
  item->CRC32 = DWORD(name_length - decoded);
  wchar_t *description = texts + name_length + 1;
  DecodeText(code_page, entry.Description, description, sizeof entry.Description);
  item->FileName = texts;
  item->Description = description;
  item->FileSize = entry.Size;
  item->CreationTime = entry.Time;
  item->LastWriteTime = entry.Time;
  item->FileAttributes = entry.Attributes;
  item->UserData.Data = reinterpret_cast<void *>(uintptr_t(entry.DataOffset));
}

// Shows the save dialog for the `count` messages, with `dest`. The directory
// chosen, or null when the user cancelled. F6 asks as F5 does: a folder that
// is only read gives nothing to move, so both copy.
const wchar_t *AskDestination(size_t count, const wchar_t *dest, SaveChoice *choice) {
  wchar_t question[256];
  swprintf(question, sizeof question / sizeof question[0], L"%ls %lu %ls %ls",
           TextOf(MCopyVerb), static_cast<unsigned long>(count),
           CountedNoun(MMessageOne, count), TextOf(MDestinationEnd));
  if (!AskSaveChoice(TextOf(MCopyTitle), question, dest, false, choice, ChosenDestination,
                     LongestPath))
    return nullptr;
  return ChosenDestination;
}

// The name of the record an item stands for: its name without the twin's
// suffix the listing gave it.
std::wstring RecordName(const PluginPanelItem &item) {
  const std::wstring name = item.FileName != nullptr ? item.FileName : L"";
  return item.CRC32 <= name.size() ? name.substr(0, name.size() - item.CRC32) : name;
}

// The items' records' names in UTF-8, in one block: `*names` points into it.
char *Utf8Names(const PluginPanelItem *items, size_t count, const char **names) {
  size_t size = 0;
  for (size_t i = 0; i < count; ++i) {
    const size_t one = Utf8OfWide(RecordName(items[i]).c_str(), nullptr, 0);
    if (one == 0) return nullptr;
    size += one;
  }
  char *block = static_cast<char *>(malloc(size));
  if (block == nullptr) return nullptr;
  char *at = block;
  for (size_t i = 0; i < count; ++i) {
    names[i] = at;
    at += Utf8OfWide(RecordName(items[i]).c_str(), at, size_t(block + size - at));
  }
  return block;
}

MessageId ReasonOfExport(ExportResult written) {
  return written == ExportCannotCreate ? MCannotCreateFile
         : written == ExportCannotRead ? MCannotReadMessage
                                       : MCannotWriteFile;
}

// Each item's message into a file of its own, as the copy has always named
// and written them.
intptr_t WriteMessageFiles(FolderHandle *folder, PluginPanelItem *items, size_t count,
                          const char *dest, SaveProgress *progress) {
  const char **names = static_cast<const char **>(malloc(count * sizeof(char *)));
  char *name_block = names != nullptr ? Utf8Names(items, count, names) : nullptr;
  ExportRun run;
  const bool started = name_block != nullptr &&
                       StartExport(&run, folder, dest, names, int(count), LongestItemName, 0);
  if (!started) {
    // Out of memory before any file is made.
    free(names);
    free(name_block);
    NoteSaveFailure(progress, MNoMemory, nullptr);
    progress->Failed = count;
    return 0;
  }
  for (size_t i = 0; i < count; ++i) {
    if (SaveStopAsked(progress)) break;
    const ExportResult written =
        ExportMessageFile(&run, folder, int(i), uint32_t(uintptr_t(items[i].UserData.Data)),
                          uint32_t(items[i].FileSize), items[i].LastWriteTime);
    if (written == ExportWritten) {
      items[i].Flags &= ~PPIF_SELECTED;
      ++progress->Saved;
    } else {
      ++progress->Failed;
      NoteSaveFailure(progress, ReasonOfExport(written), ExportPath(&run));
    }
    StepSaveProgress(progress, i + 1, names[i]);
  }
  FinishExport(&run);
  free(names);
  free(name_block);
  if (progress->Stopped) return -1;
  return progress->Failed == 0 ? 1 : 0;
}

// The messages the items stand for, as the mail save finds them.
std::vector<ItemMessage> ItemMessagesOf(const PluginPanelItem *items, size_t count) {
  std::vector<ItemMessage> keys(count);
  for (size_t i = 0; i < count; ++i)
    keys[i] = ItemMessage{uint32_t(uintptr_t(items[i].UserData.Data)), uint32_t(items[i].FileSize)};
  return keys;
}

void UnselectPanelItem(void *items, size_t item) {
  static_cast<PluginPanelItem *>(items)[item].Flags &= ~PPIF_SELECTED;
}

}  // namespace

intptr_t ListPanelItems(FolderHandle *folder, unsigned code_page, PluginPanelItem **items_out,
                        size_t *count_out, FolderFacts *facts) {
  *items_out = nullptr;
  *count_out = 0;
  if (!StartListing(folder)) return 0;
  const size_t count = size_t(folder->RecordCount);
  const size_t item_size = sizeof(PluginPanelItem) + TextRoom * sizeof(wchar_t);
  if (count > SIZE_MAX / item_size) return 0;
  // At least one item, so that an empty folder still gets a block to free.
  PluginPanelItem *items = static_cast<PluginPanelItem *>(calloc(count > 0 ? count : 1, item_size));
  if (items == nullptr) return 0;
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
  *count_out = filled;
  return 1;
}

intptr_t CopyPanelItems(FolderHandle *folder, unsigned code_page, GetFilesInfo *info) {
  const unsigned long long mode = info->OpMode;
  // A search, a quick view or a silent operation shows nothing; a view, an
  // edit or a search asks for no destination: the host gives its own.
  const bool quiet = (mode & (OPM_SILENT | OPM_FIND | OPM_QUICKVIEW)) != 0;
  const bool ask = !quiet && (mode & (OPM_VIEW | OPM_EDIT | OPM_DESCR)) == 0;
  if (!OpenDataFile(folder)) {
    if (!quiet) {
      wchar_t *line = WideFromUtf8(folder->DataPath);
      ShowWarning(TextOf(MCannotOpenData), line != nullptr ? line : L"", HELP_SAVING);
      free(line);
    }
    return 0;
  }
  const size_t count = info->ItemsNumber;
  if (count == 0) return 1;
  if (count > INT_MAX) return 0;
  const wchar_t *dest = info->DestPath != nullptr ? info->DestPath : L"";
  SaveChoice choice = {nullptr, false};
  if (ask) {
    dest = AskDestination(count, dest, &choice);
    if (dest == nullptr) return -1;
    info->DestPath = dest;
  }
  char *dest_utf8 = Utf8FromWide(dest);
  if (dest_utf8 == nullptr) return 0;
  // A directory typed there that is not there yet is made; one that cannot
  // be made fails each item.
  if (ask) FileSystem.MakeDirectories(dest_utf8, DefaultAccess);
  SaveProgress progress;
  StartSaveProgress(&progress, count, quiet);
  const intptr_t result =
      SavesMessageFiles(choice)
          ? WriteMessageFiles(folder, info->PanelItem, count, dest_utf8, &progress)
          : SaveItemsAsMail(folder, code_page, choice,
                            ItemMessagesOf(info->PanelItem, count).data(), count,
                            UnselectPanelItem, info->PanelItem, dest_utf8, &progress);
  FinishSaveProgress(&progress);
  free(dest_utf8);
  // After a stop the host shows the other panel as it was: show what was made.
  if (result == -1) {
    ControlPanel(PANEL_PASSIVE, FCTL_UPDATEPANEL, 1, nullptr);
    ControlPanel(PANEL_PASSIVE, FCTL_REDRAWPANEL, 0, nullptr);
  }
  return result;
}
