// The shared panel rows as the native interface's panel items, and the
// host's items back as rows for a copy.
#pragma once

#include "host/far3/far_plugin.h"
#include "host/shared/folder_panel.h"

// A row as the host's item (a RowToItem): the row's Data in UserData.Data,
// with no free callback.
void FillItem(const PanelRow &row, void *place);

// The host's item as a row.
PanelRow RowOf(const far3::PluginPanelItem &item);
