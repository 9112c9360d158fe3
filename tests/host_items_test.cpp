// Each adapter's items, built on their own: a row's column texts reach the
// host's item as they are (no mode of the folder's panel shows them yet).
#include <gtest/gtest.h>

#include HOST_ITEMS_HEADER
#include "host/shared/panel_entries.h"

TEST(HostItems, CarryTheRowsColumns) {
  const wchar_t *const columns[] = {L"a@example.org", L"b"};
  PanelRow row = {L"name", L"", 0, {}, 0, 0, 0, false};
  row.Columns = columns, row.ColumnCount = 2;
  HOST_NAMESPACE::PluginPanelItem item = {};
  FillItem(row, &item);
  EXPECT_EQ(item.CustomColumnData, columns);
  EXPECT_EQ(item.CustomColumnNumber, 2u);
}
