// One folder open in a panel of the native interface: the reader's handle
// and the texts the host shows for it.
#pragma once

#include "folder/folder_handle.h"
#include "host/far3/far_plugin.h"

struct FolderPanel {
  FolderHandle *Folder;
  wchar_t *HostFile;  // the index path as the host gave it
};

// A panel for the index file at `path`: the folder's two paths, the data
// folder file's with the last letter replaced by 'M'. No file is opened.
// Null for an empty path or when memory runs out.
FolderPanel *OpenFolderPanel(const wchar_t *path);

void CloseFolderPanel(FolderPanel *panel);

// The panel settings: title, host file, view mode 7 sorted by creation time
// (the message date), newest first, names in their own letter case. The
// host copies no file by itself: each copy comes to GetFilesW. The rest of
// the record stays as the host passed it, zero-filled. Version 3 takes the
// start mode and sort order as they are, with no panel modes of the
// plug-in's own (the old interface's hosts needed some).
void FillPanelSettings(const FolderPanel *panel, far3::OpenPanelInfo *info);
