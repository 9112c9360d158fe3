#include "host/far3/panel_items.h"

#include "host/shared/panel_host.h"

using namespace far3;

CHECK_HOST_NUMBERS();

// The item: the row's Data in UserData.Data,
// with no free callback.
void FillItem(const PanelRow &row, void *place) {
  PluginPanelItem *item = static_cast<PluginPanelItem *>(place);
  item->FileName = row.Name;
  item->Description = row.Description;
  item->FileSize = row.Size;
  item->CreationTime = item->LastWriteTime = row.Time;
  item->FileAttributes = row.Attributes;
  item->CRC32 = row.Suffix;
  item->CustomColumnData = row.Columns, item->CustomColumnNumber = row.ColumnCount;
  item->UserData.Data = reinterpret_cast<void *>(uintptr_t(row.Data));
}

PanelRow RowOf(const PluginPanelItem &item) {
  return PanelRow{item.FileName,
                  item.Description,
                  item.FileSize,
                  item.LastWriteTime,
                  uint32_t(item.FileAttributes),
                  uint64_t(uintptr_t(item.UserData.Data)),
                  uint32_t(item.CRC32),
                  false};
}
