#include "host/far2l/panel_items.h"

#include "host/shared/panel_host.h"

using namespace far2l;

CHECK_HOST_NUMBERS();

// The item: UserData is the row's Data, a
// plain number the host gives back.
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
  item->CustomColumnData = row.Columns, item->CustomColumnNumber = int(row.ColumnCount);
  item->UserData = DWORD_PTR(row.Data);
}

PanelRow RowOf(const PluginPanelItem &item) {
  const FAR_FIND_DATA &data = item.FindData;
  return PanelRow{
      data.lpwszFileName,    item.Description,        data.nFileSize,       data.ftLastWriteTime,
      data.dwFileAttributes, uint64_t(item.UserData), uint32_t(item.CRC32), false};
}
