// The shared panel rows as the native interface's panel items, and the
// host's items back as rows for a copy.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "host/far3/far_plugin.h"
#include "host/shared/folder_panel.h"

// The panel's rows (ListPanelRows) as the host's items, in one block
// FreeFindDataW releases, each row's Data in UserData.Data, with no free
// callback. 1, or 0 with a null block.
intptr_t ListPanelItems(FolderPanel *panel, unsigned code_page, far3::GetFindDataInfo *info);

// The chosen items as rows.
std::vector<PanelRow> RowsOf(const far3::PluginPanelItem *items, size_t count);
