// One folder open in a panel of the native interface: the reader's handle
// and the texts the host shows for it.
#pragma once

#include "folder/folder_handle.h"
#include "host/far3/far_plugin.h"
#include "host/far3/info_lines.h"
#include "host/far3/message_panel.h"

struct FolderPanel {
  FolderHandle *Folder;
  wchar_t *HostFile;  // the index path as the host gave it
  wchar_t *DataFile;  // the data folder file's path made from it
  InfoLines Info;     // of the last listing
  bool Listed;
  MessageStack *Inside;  // the messages entered, one inside the other; null for none
  PartsTexts InsideTexts;
};

// A panel for the index file at `path`: the folder's two paths, the data
// folder file's with the last letter replaced by 'M'. No file is opened.
// Null for an empty path or when memory runs out.
FolderPanel *OpenFolderPanel(const wchar_t *path);

void CloseFolderPanel(FolderPanel *panel);

// Lists the folder's messages as panel items (see ListPanelItems) and takes
// the folder's facts from the same listing for the info lines.
intptr_t ListFolderPanel(FolderPanel *panel, unsigned code_page, far3::GetFindDataInfo *info);

// The panel settings: title, host file, the view modes with mode 7 at the
// start, sorted by creation time (the message date), newest first, names in
// their own letter case, the key bar, and the info lines once a listing has
// made them. The host copies no file by itself: each copy comes to
// GetFilesW. The rest of the record stays as the host passed it,
// zero-filled.
void FillPanelSettings(FolderPanel *panel, far3::OpenPanelInfo *info);

// Enter or Ctrl+PgDn on a message of the listing opens it as a folder of its
// parts; the host's other keys go on as they would. 1 when the key was taken.
intptr_t ProcessPanelKey(FolderPanel *panel, HANDLE handle, const INPUT_RECORD &input);

// Into a message inside the one shown (`dir` its item's name), or up ("..";
// "\\": all the way). 1 when the panel went there.
intptr_t ChangePanelDirectory(FolderPanel *panel, const wchar_t *dir);
