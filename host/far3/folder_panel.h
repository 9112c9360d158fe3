// One folder open in a panel of the native interface: the shared panel
// (host/shared/folder_panel.h) and the host's records that point into it.
#pragma once

#include "host/far3/far_plugin.h"
#include "host/shared/panel_record.h"

typedef HostPanelOf<far3::InfoPanelLine> HostPanel;

// The panel settings: title, host file, the view modes with mode 7 at the
// start, sorted by creation time (the message date), newest first, names in
// their own letter case, the key bar, and the info lines once a listing has
// made them; inside a message, its parts with ".." to leave. The host copies
// no file by itself: each copy comes to GetFilesW. The rest of the record
// stays as the host passed it, zero-filled.
void FillPanelSettings(HostPanel *panel, far3::OpenPanelInfo *info);

// Enter or Ctrl+PgDn on a message of the listing opens it as a folder of its
// parts; the host's other keys go on as they would. 1 when the key was taken.
intptr_t ProcessPanelKey(HostPanel *panel, HANDLE handle, const INPUT_RECORD &input);
