// One folder open in a far2l panel: the reader's handle and the texts the
// host shows for it, which live as long as the panel.
#pragma once

#include "folder/folder_handle.h"
#include "host/far2l/far2l_plugin.h"
#include "host/far2l/info_lines.h"
#include "host/far2l/message_panel.h"

struct FolderPanel {
  FolderHandle *Folder;
  wchar_t *HostFile;  // the index path as the host gave it
  wchar_t *DataFile;  // the data folder file's path made from it
  InfoLines Info;     // of the last listing
  bool Listed;
  // A panel of a message's parts: the messages entered, the file the host
  // offered for it (its host file) and the texts shown; null for none.
  MessageStack *Inside;
  wchar_t *PartsFile;
  PartsTexts *Parts;
};

// A panel for the index file at `path`: the data folder file's path is the
// same with the last letter replaced by 'M'. No file is opened. Null for an
// empty path or when memory runs out.
FolderPanel *OpenFolderPanel(const wchar_t *path);

// A panel of the parts of the message that was written to `path` for the
// host, which offers that file now: the folder it came from opened anew.
// Null when `path` is no such file or the message cannot be read.
FolderPanel *OpenPartsPanel(const wchar_t *path);

void CloseFolderPanel(FolderPanel *panel);

// Lists the folder's messages as panel items (ListPanelItems) and takes the
// folder's facts from the same listing for the info lines.
bool ListFolderPanel(FolderPanel *panel, unsigned code_page, far2l::PluginPanelItem **items,
                     int *count);

// Into a message inside the one shown (`dir` its item's name), one level up
// (".."; none from the first), or to the first level ("/"). True when the
// panel went there.
bool ChangePanelDirectory(FolderPanel *panel, const wchar_t *dir);

// The panel settings: title, host file, the ten view modes with mode 7 at
// the start, sorted by creation time (the message date), newest first,
// names in their own letter case, the key bar, and the info lines once a
// listing has made them. The host copies no file by itself: each copy
// comes to GetFilesW.
void FillPanelSettings(const FolderPanel *panel, far2l::OpenPluginInfo *info);
