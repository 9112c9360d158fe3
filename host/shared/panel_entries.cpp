#include "host/shared/panel_entries.h"

#include "host/shared/convert_folders.h"

void LoadSettingsEntry() {
  GuardedVoid(nullptr, [] { LoadCodePageSetting(); });
}

void ConvertEntry() {
  GuardedVoid(TellEntryFailure, [] { ConvertChosenFolders(TextCodePage()); });
}

int ConfigureEntry() {
  return Guarded<int>(0, TellEntryFailure, [] { return ConfigureCodePage(); });
}

void *ListPanelEntry(FolderPanel *panel, bool quiet, size_t item_size, RowToItem fill,
                     size_t *count) {
  *count = 0;
  return Guarded<void *>(nullptr, quiet ? nullptr : TellEntryFailure, [&] {
    return ListPanelRows(panel, TextCodePage(), item_size, fill, count);
  });
}

bool SetDirectoryEntry(FolderPanel *panel, const wchar_t *dir, bool quiet) {
  return Guarded<bool>(false, quiet ? nullptr : TellEntryFailure,
                       [&] { return ChangePanelDirectory(panel, dir); });
}
