// The shared panel rows as the native interface's panel items (FillItem, host/shared/
// panel_entries.h), and the host's items back as rows for a copy.
#pragma once

#include "host/far3/far_plugin.h"
#include "host/shared/panel_entries.h"

// The host's item as a row.
PanelRow RowOf(const far3::PluginPanelItem &item);
