// The shared panel rows as far2l's panel items (FillItem, host/shared/
// panel_entries.h), and the host's items back as rows for a copy.
#pragma once

#include "host/far2l/far2l_plugin.h"
#include "host/shared/panel_entries.h"

// The host's item as a row.
PanelRow RowOf(const far2l::PluginPanelItem &item);
