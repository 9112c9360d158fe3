#include "host/shared/panel_rows.h"

#include <cstdlib>
#include <cwchar>

#include "folder/listing.h"
#include "host/shared/panel_names.h"
#include "platform/system_facts.h"
#include "platform/wide_text.h"

namespace {

// Room for an item's name with a twin's suffix and its description, each
// with its terminator: a decoded text never has more letters than bytes.
const size_t TextRoom =
    sizeof(MessageEntry::Name) + TwinSuffixRoom + sizeof(MessageEntry::Description);

}  // namespace

void *ListFolderRows(FolderHandle *folder, unsigned code_page, size_t item_size, RowToItem fill,
                     size_t *count_out, FolderFacts *facts) {
  *count_out = 0;
  if (!StartListing(folder)) return nullptr;
  const size_t count = size_t(folder->RecordCount);
  const size_t room = item_size + TextRoom * sizeof(wchar_t);
  char *block = static_cast<char *>(AllocateZeroedBlock(count > 0 ? count : 1, room));
  if (block == nullptr) return nullptr;
  wchar_t *texts = reinterpret_cast<wchar_t *>(block + count * item_size);
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
    wchar_t *name = texts + filled * TextRoom;
    const size_t decoded = DecodeText(code_page, entry.Name, name, sizeof entry.Name);
    const size_t name_length = GiveUniqueName(&names, name, decoded);
    wchar_t *description = name + name_length + 1;
    DecodeText(code_page, entry.Description, description, sizeof entry.Description);
    // The twin's suffix comes back with the item: a message file takes the
    // record's name, as vfolder copy names it.
    const PanelRow row = {name,         description,       entry.Size,
                          entry.Time,   entry.Attributes,  entry.DataOffset,
                          uint32_t(name_length - decoded), false};
    fill(row, block + filled * item_size);
    CountMessageEntry(facts, entry, dated);
    ++filled;
  }
  *count_out = filled;
  return block;
}

void *ListPartRows(const MessageStack *stack, size_t item_size, RowToItem fill, size_t *count_out) {
  *count_out = 0;
  if (!InsideMessage(stack)) return nullptr;
  const std::vector<PartItem> &parts = CurrentParts(stack);
  size_t text = 0;
  for (const PartItem &part : parts) text += part.Name.size() + part.Type.size() + 2;
  const size_t count = parts.size();
  char *block = static_cast<char *>(calloc(1, count * item_size + text * sizeof(wchar_t) + 1));
  if (block == nullptr) return nullptr;
  wchar_t *texts = reinterpret_cast<wchar_t *>(block + count * item_size);
  const FILETIME time = CurrentTime(stack);
  for (size_t i = 0; i < count; ++i) {
    const PartItem &part = parts[i];
    PanelRow row = {texts, nullptr, part.Size, time,
                    part.Kind == PartItemMessage ? RowDirectory : RowArchive, i, 0, false};
    wmemcpy(texts, part.Name.c_str(), part.Name.size() + 1);
    texts += part.Name.size() + 1;
    row.Description = texts;
    wmemcpy(texts, part.Type.c_str(), part.Type.size() + 1);
    texts += part.Type.size() + 1;
    fill(row, block + i * item_size);
  }
  *count_out = count;
  return block;
}
