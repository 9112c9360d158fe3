#include "host/far2l/panel_items.h"

#include "host/shared/panel_host.h"

using namespace far2l;

CHECK_HOST_NUMBERS();

namespace {

void FillItem(const PanelRow &row, void *place) {
  PluginPanelItem *item = static_cast<PluginPanelItem *>(place);
  item->FindData.lpwszFileName = row.Name;
  item->Description = row.Description;
  item->FindData.nFileSize = item->FindData.nPhysicalSize = row.Size;
  item->FindData.ftCreationTime = item->FindData.ftLastWriteTime = row.Time;
  item->FindData.ftLastAccessTime = row.Time;
  item->FindData.dwFileAttributes = row.Attributes;
  // Read-only messages show as such in the mode column too.
  item->FindData.dwUnixMode = row.Attributes & RowDirectory  ? 040755
                              : row.Attributes & RowReadOnly ? 0100444
                                                             : 0100644;
  item->CRC32 = row.Suffix;
  item->UserData = DWORD_PTR(row.Data);
}

}  // namespace

bool ListPanelItems(FolderPanel *panel, unsigned code_page, PluginPanelItem **items,
                    int *count_out) {
  size_t count = 0;
  void *block = ListPanelRows(panel, code_page, sizeof(PluginPanelItem), FillItem, &count);
  *items = static_cast<PluginPanelItem *>(block);
  *count_out = block != nullptr ? int(count) : 0;
  return block != nullptr;
}

std::vector<PanelRow> RowsOf(const PluginPanelItem *items, int count) {
  std::vector<PanelRow> rows(count > 0 ? size_t(count) : 0);
  for (size_t i = 0; i < rows.size(); ++i) {
    const FAR_FIND_DATA &data = items[i].FindData;
    rows[i] = PanelRow{data.lpwszFileName, items[i].Description, data.nFileSize,
                       data.ftLastWriteTime, data.dwFileAttributes, uint64_t(items[i].UserData),
                       uint32_t(items[i].CRC32), false};
  }
  return rows;
}
