#include "host/far1/panel_items.h"

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "folder/message_copy.h"
#include "host/far1/host_services.h"
#include "outputs/disk_writer.h"
#include "platform/system_facts.h"

namespace {

// Fills one item of a zero-filled block straight from its record: the texts'
// terminators are the block's zeros.
inline void FillPanelItem(const unsigned char *record, PluginPanelItem *item) {
  PanelFindData *find = &item->FindData;
  const EntryTexts texts = FindEntryTexts(record);
  // The name and its zero, then the description and its zero: at most 68 of
  // the buffer's 260 bytes.
  memcpy(find->cFileName, texts.Name, texts.NameLength);
  char *description = find->cFileName + texts.NameLength + 1;
  memcpy(description, texts.Description, texts.DescriptionLength);
  item->Description = description;
  find->nFileSizeLow = MessageSizeOf(record);
  const FILETIME time = EntryTimeOf(record);
  find->ftCreationTime = time;
  find->ftLastWriteTime = time;
  find->dwFileAttributes = EntryAttributesOf(record);
  item->UserData = DWORD_PTR(DataOffsetOf(record));
}

}  // namespace

BOOL ListPanelItems(FolderHandle *folder, PluginPanelItem **items_out, int *count_out) {
  *items_out = nullptr;
  *count_out = 0;
  if (!StartListing(folder)) return FALSE;
  const size_t count = size_t(folder->RecordCount);
  // At least one item, so that an empty folder still gets a block to free.
  PluginPanelItem *items = static_cast<PluginPanelItem *>(
      AllocateZeroedBlock(count > 0 ? count : 1, sizeof(PluginPanelItem)));
  if (items == nullptr) return FALSE;
  size_t filled = 0;
  while (filled < count) {
    const unsigned char *record = NextIndexRecord(folder);
    if (record == nullptr) break;
    FillPanelItem(record, &items[filled++]);
  }
  *items_out = items;
  *count_out = int(filled);
  return TRUE;
}

BOOL CopyPanelItems(FolderHandle *folder, const PluginPanelItem *items, int count,
                    const char *dest_dir) {
  if (dest_dir == nullptr) dest_dir = "";
  if (!OpenDataFile(folder)) {
    ShowWarning("Unable to open Data Folder File", folder->DataPath);
    return FALSE;
  }
  if (count <= 0) return TRUE;
  const char **names = static_cast<const char **>(malloc(size_t(count) * sizeof(char *)));
  for (int i = 0; names != nullptr && i < count; ++i) names[i] = items[i].FindData.cFileName;
  ExportRun run;
  // The host's name buffer ends at its size, whether or not it holds a zero.
  const bool started =
      names != nullptr && StartExport(&run, folder, dest_dir, names, count, MAX_PATH, MAX_PATH);
  free(names);
  if (!started) {
    // Out of memory before any file is made: each message says so.
    for (int i = 0; i < count; ++i) MessageBoxA(nullptr, "Cannot create file", dest_dir, MB_OK);
    return TRUE;
  }
  for (int i = 0; i < count; ++i) {
    const PanelFindData &find = items[i].FindData;
    const ExportResult result =
        ExportMessageFile(&run, folder, i, uint32_t(items[i].UserData), find.nFileSizeLow,
                          find.ftLastWriteTime);
    const char *text = result == ExportCannotCreate ? "Cannot create file"
                       : result == ExportCannotRead ? "Cannot read message"
                       : result == ExportCannotWrite ? "Cannot write file"
                                                     : nullptr;
    if (text != nullptr) MessageBoxA(nullptr, text, ExportPath(&run), MB_OK);
  }
  FinishExport(&run);
  return TRUE;
}
