#include "host/far3/panel_items.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "folder/export.h"
#include "folder/listing.h"
#include "host/far3/host_services.h"
#include "platform/file_system.h"
#include "platform/wide_text.h"

using namespace far3;

namespace {

// Room for an item's name and description, each with its terminator: a
// decoded text never has more letters than bytes.
const size_t TextRoom = sizeof(MessageEntry::Name) + sizeof(MessageEntry::Description);

// The destination chosen in the input line: the host may read it through
// DestPath until the plug-in's next call.
const size_t LongestPath = 32768;
wchar_t ChosenDestination[LongestPath];

void FillPanelItem(const MessageEntry &entry, unsigned code_page, wchar_t *texts,
                   PluginPanelItem *item) {
  const size_t name_length = DecodeText(code_page, entry.Name, texts, sizeof entry.Name);
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

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

// The answer of the input line without the blanks and quotes around it.
const wchar_t *TrimAnswer(wchar_t *answer) {
  size_t length = wcslen(answer);
  while (length > 0 && IsBlank(answer[length - 1])) answer[--length] = L'\0';
  while (IsBlank(*answer)) ++answer, --length;
  if (length >= 2 && answer[0] == L'"' && answer[length - 1] == L'"') {
    answer[length - 1] = L'\0';
    ++answer;
  }
  return answer;
}

// Asks where the `count` messages go, showing `dest`. The directory chosen,
// or null when the user cancelled. F6 asks as F5 does: a folder that is only
// read gives nothing to move, so both copy.
const wchar_t *AskDestination(size_t count, const wchar_t *dest) {
  wchar_t question[256];
  swprintf(question, sizeof question / sizeof question[0], L"%ls %lu %ls %ls",
           TextOf(MCopyVerb), static_cast<unsigned long>(count),
           CountedNoun(MMessageOne, count), TextOf(MDestinationEnd));
  if (!AskLine(TextOf(MCopyTitle), question, L"VessorFolderDestination", dest,
               ChosenDestination, LongestPath, HELP_SAVING))
    return nullptr;
  const wchar_t *answer = TrimAnswer(ChosenDestination);
  return answer[0] != L'\0' ? answer : nullptr;
}

// The items' names in UTF-8, in one block: `*names` points into it.
char *Utf8Names(const PluginPanelItem *items, size_t count, const char **names) {
  size_t size = 0;
  for (size_t i = 0; i < count; ++i) {
    const size_t one =
        Utf8OfWide(items[i].FileName != nullptr ? items[i].FileName : L"", nullptr, 0);
    if (one == 0) return nullptr;
    size += one;
  }
  char *block = static_cast<char *>(malloc(size));
  if (block == nullptr) return nullptr;
  char *at = block;
  for (size_t i = 0; i < count; ++i) {
    names[i] = at;
    at += Utf8OfWide(items[i].FileName != nullptr ? items[i].FileName : L"", at,
                     size_t(block + size - at));
  }
  return block;
}

// A warning with a path written in UTF-8. True when the user pressed Esc.
bool WarnAbout(const wchar_t *title, const char *path) {
  wchar_t *line = WideFromUtf8(path);
  const bool stop = ShowWarning(title, line != nullptr ? line : L"", HELP_SAVING);
  free(line);
  return stop;
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
  *count_out = filled;
  return 1;
}

intptr_t CopyPanelItems(FolderHandle *folder, GetFilesInfo *info) {
  const unsigned long long mode = info->OpMode;
  // A search, a quick view or a silent operation shows nothing; a view, an
  // edit or a search asks for no destination: the host gives its own.
  const bool quiet = (mode & (OPM_SILENT | OPM_FIND | OPM_QUICKVIEW)) != 0;
  const bool ask = !quiet && (mode & (OPM_VIEW | OPM_EDIT | OPM_DESCR)) == 0;
  if (!OpenDataFile(folder)) {
    if (!quiet) WarnAbout(TextOf(MCannotOpenData), folder->DataPath);
    return 0;
  }
  const size_t count = info->ItemsNumber;
  if (count == 0) return 1;
  if (count > INT_MAX) return 0;
  const wchar_t *dest = info->DestPath != nullptr ? info->DestPath : L"";
  char *dest_utf8 = nullptr;
  if (ask) {
    dest = AskDestination(count, dest);
    if (dest == nullptr) return -1;
    info->DestPath = dest;
    dest_utf8 = Utf8FromWide(dest);
    // A directory typed there that is not there yet is made; one that cannot
    // be made fails each item.
    if (dest_utf8 != nullptr) FileSystem.MakeDirectories(dest_utf8, DefaultAccess);
  } else {
    dest_utf8 = Utf8FromWide(dest);
  }

  PluginPanelItem *items = info->PanelItem;
  const char **names = static_cast<const char **>(malloc(count * sizeof(char *)));
  char *name_block = names != nullptr ? Utf8Names(items, count, names) : nullptr;
  ExportRun run;
  const bool started = dest_utf8 != nullptr && name_block != nullptr &&
                       StartExport(&run, folder, dest_utf8, names, int(count), LongestItemName, 0);
  free(names);
  free(name_block);
  if (!started) {
    // Out of memory before any file is made.
    if (!quiet) ShowWarning(TextOf(MCannotCreateFile), dest, HELP_SAVING);
    free(dest_utf8);
    return 0;
  }
  intptr_t result = 1;
  for (size_t i = 0; i < count; ++i) {
    const ExportResult written =
        ExportMessageFile(&run, folder, int(i), uint32_t(uintptr_t(items[i].UserData.Data)),
                          uint32_t(items[i].FileSize), items[i].LastWriteTime);
    if (written == ExportWritten) {
      items[i].Flags &= ~PPIF_SELECTED;
      continue;
    }
    result = 0;
    const wchar_t *title = TextOf(written == ExportCannotCreate ? MCannotCreateFile
                                  : written == ExportCannotRead ? MCannotReadMessage
                                                                : MCannotWriteFile);
    // Esc in a warning stops the copy: the items not written stay chosen.
    if (!quiet && WarnAbout(title, ExportPath(&run))) {
      result = -1;
      break;
    }
  }
  FinishExport(&run);
  free(dest_utf8);
  return result;
}
