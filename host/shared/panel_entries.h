// The work of the entry points both hosts have, over the shared panel, each
// run so that nothing thrown leaves it (Guarded): a failure is told unless
// the host asked quietly (a search's calls, a view's quiet copy). Each
// adapter unpacks its host's records, hands them here and packs the answer.
#pragma once

#include <cstddef>
#include <vector>

#include "host/shared/code_page_setting.h"
#include "host/shared/entry_guard.h"
#include "host/shared/folder_panel.h"
#include "host/shared/panel_host.h"

// One folder open in a host's panel: the shared panel and the host's info
// lines that point into its texts, living as long as it.
template <typename Line>
struct HostPanelOf {
  FolderPanel Panel;
  Line Lines[InfoLineCount];
  // The panel a handle the host gives back names.
  static HostPanelOf *Of(void *handle) { return static_cast<HostPanelOf *>(handle); }
};

// Each adapter's RowToItem: `row` as its host's panel item.
void FillItem(const PanelRow &row, void *place);

// A panel for the index file at `path`, or for the parts of the message a
// view wrote to `path` (`parts`); null when it cannot be made.
template <typename Panel>
Panel *OpenHostPanel(const wchar_t *path, bool parts) {
  Panel *panel = new Panel();
  if (parts ? OpenPartsPanel(&panel->Panel, path) : OpenFolderPanel(&panel->Panel, path))
    return panel;
  CloseFolderPanel(&panel->Panel);
  delete panel;
  return nullptr;
}

// Lets go of a panel (ClosePanelW, ClosePluginW): nothing is told.
template <typename Panel>
void CloseHostPanel(Panel *panel) {
  GuardedVoid(nullptr, [&] {
    CloseFolderPanel(&panel->Panel);
    delete panel;
  });
}

// SetStartupInfoW's: the settings kept are read; nothing is told.
void LoadSettingsEntry();

// The plug-ins menu's entry: ConvertChosenFolders in the code page set.
void ConvertEntry();

// ConfigureW's: the code page menu (ConfigureCodePage); 0 when it failed.
int ConfigureEntry();

// GetFindDataW's: the panel's rows as the host's items (ListPanelRows) in the
// code page set; null when there are none to show.
void *ListPanelEntry(FolderPanel *panel, bool quiet, size_t item_size, RowToItem fill,
                     size_t *count);

// SetDirectoryW's (ChangePanelDirectory).
bool SetDirectoryEntry(FolderPanel *panel, const wchar_t *dir, bool quiet);

// GetFilesW's: the host's `count` chosen items, as rows (`row_of`), copied
// (CopyPanelRows); those done unselected. 0 when it failed.
template <typename Item>
int CopyPanelEntry(FolderPanel *panel, Item *items, size_t count, PanelRow (*row_of)(const Item &),
                   const wchar_t **dest, CopyRequest request) {
  return Guarded<int>(0, request.Quiet ? nullptr : TellEntryFailure, [&] {
    std::vector<PanelRow> rows(count);
    for (size_t i = 0; i < count; ++i) rows[i] = row_of(items[i]);
    const int result =
        CopyPanelRows(panel, TextCodePage(), rows.data(), rows.size(), dest, request);
    UnselectDone(rows, items);
    return result;
  });
}
