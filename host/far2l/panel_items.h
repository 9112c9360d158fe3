// The shared panel rows as far2l's panel items, and the host's items back
// as rows for a copy.
#pragma once

#include <cstddef>
#include <vector>

#include "host/far2l/far2l_plugin.h"
#include "host/shared/folder_panel.h"

// The panel's rows (ListPanelRows) as the host's items, in one block
// FreeFindDataW releases. UserData is the row's Data, a plain number the
// host gives back.
bool ListPanelItems(FolderPanel *panel, unsigned code_page, far2l::PluginPanelItem **items,
                    int *count);

// The chosen items as rows.
std::vector<PanelRow> RowsOf(const far2l::PluginPanelItem *items, int count);
