#include "host/far3/panel_items.h"

#include "host/shared/panel_host.h"

using namespace far3;

CHECK_HOST_NUMBERS();

namespace {

void FillItem(const PanelRow &row, void *place) {
  PluginPanelItem *item = static_cast<PluginPanelItem *>(place);
  item->FileName = row.Name;
  item->Description = row.Description;
  item->FileSize = row.Size;
  item->CreationTime = item->LastWriteTime = row.Time;
  item->FileAttributes = row.Attributes;
  item->CRC32 = row.Suffix;
  item->UserData.Data = reinterpret_cast<void *>(uintptr_t(row.Data));
}

}  // namespace

intptr_t ListPanelItems(FolderPanel *panel, unsigned code_page, GetFindDataInfo *info) {
  size_t count = 0;
  void *block = ListPanelRows(panel, code_page, sizeof(PluginPanelItem), FillItem, &count);
  info->PanelItem = static_cast<PluginPanelItem *>(block);
  info->ItemsNumber = block != nullptr ? count : 0;
  return block != nullptr ? 1 : 0;
}

std::vector<PanelRow> RowsOf(const PluginPanelItem *items, size_t count) {
  std::vector<PanelRow> rows(count);
  for (size_t i = 0; i < count; ++i)
    rows[i] = PanelRow{items[i].FileName,       items[i].Description,
                       items[i].FileSize,       items[i].LastWriteTime,
                       uint32_t(items[i].FileAttributes),
                       uint64_t(uintptr_t(items[i].UserData.Data)),
                       uint32_t(items[i].CRC32), false};
  return rows;
}
