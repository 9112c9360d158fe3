// The shared panel rows as far2l's panel items, and the host's items back
// as rows for a copy.
#pragma once

#include <cstddef>
#include <vector>

#include "host/far2l/far2l_plugin.h"
#include "host/shared/panel_copy.h"

// The folder's messages (ListFolderRows) or the current message's parts
// (ListPartRows) as the host's items, in one block FreeFindDataW releases.
// UserData is the row's Data, a plain number the host gives back.
bool ListFolderItems(FolderHandle *folder, unsigned code_page, far2l::PluginPanelItem **items,
                     int *count, FolderFacts *facts);
bool ListPartItems(const MessageStack *stack, far2l::PluginPanelItem **items, int *count);

// What the host's operation mode asks of a copy.
CopyRequest RequestOf(int op_mode);

// The chosen items as rows, and the selection taken off each row done.
std::vector<PanelRow> RowsOf(const far2l::PluginPanelItem *items, int count);
void UnselectDone(const std::vector<PanelRow> &rows, far2l::PluginPanelItem *items);
