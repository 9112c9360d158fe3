// One folder open in a far2l panel: the shared panel
// (host/shared/folder_panel.h) and the host's records that point into it,
// which live as long as the panel. Enter (or Ctrl+PgDn) on a message makes
// the host take the message into a temporary file, through GetFilesW, and
// offer that file to the plug-ins: the plug-in knows it as the message it
// has just written and opens a panel of the message's parts
// (OpenPartsPanel), whose ".." on the first level goes back to the folder.
// The host asks the plug-ins in the order of their names, so the file that
// Enter makes is a stand-in of one plain line (ProcessKeyW notes the key):
// another plug-in would claim the message itself for what it holds (a
// uuencoded block, for one).
#pragma once

#include "host/far2l/far2l_plugin.h"
#include "host/shared/panel_record.h"

typedef HostPanelOf<far2l::InfoPanelLine> HostPanel;

// Notes whether `key` with `control` opens the item under the cursor in the
// folder's list, for the copy that follows (TakeOpeningKey).
void NoteOpeningKey(HostPanel *panel, int key, unsigned control);
// Whether the copy now asked for is the one an opening key made; once.
bool TakeOpeningKey(HostPanel *panel);

// The panel settings: title, host file, the ten view modes with mode 7 at
// the start, sorted by creation time (the message date), newest first,
// names in their own letter case, the key bar, and the info lines once a
// listing has made them; a message's parts as a list of their own. The host
// copies no file by itself: each copy comes to GetFilesW.
void FillPanelSettings(HostPanel *panel, far2l::OpenPluginInfo *info);
