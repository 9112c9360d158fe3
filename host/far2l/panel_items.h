// The shared panel rows as far2l's panel items, and the host's items back
// as rows for a copy.
#pragma once

#include "host/far2l/far2l_plugin.h"
#include "host/shared/folder_panel.h"

// A row as the host's item (a RowToItem). UserData is the row's Data, a
// plain number the host gives back.
void FillItem(const PanelRow &row, void *place);

// The host's item as a row.
PanelRow RowOf(const far2l::PluginPanelItem &item);
