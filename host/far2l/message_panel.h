// A message as a folder of its parts in far2l. Enter (or Ctrl+PgDn) on a
// message makes the host take the message into a temporary file, through
// GetFilesW, and offer that file to the plug-ins: the plug-in knows it as
// the message it has just written, and opens the message's parts from the
// folder itself (host/shared/message_levels.h). Messages inside show as
// directories, which the host enters and leaves through SetDirectoryW; ".."
// on the first level closes the parts and goes back to the folder.
#pragma once

#include <string>

#include "folder/folder_handle.h"
#include "host/far2l/far2l_plugin.h"
#include "host/shared/message_levels.h"

// What the panel keeps for the host of the parts shown.
struct PartsTexts {
  std::wstring Title, Directory;
  far2l::InfoPanelLine Lines[HeaderLineCount];
};

// The message the last view of one item wrote, and the file it went to.
struct ViewedMessage {
  std::string Path;       // the file written, UTF-8
  std::wstring IndexPath;  // the folder's index file, as the host gave it
  std::wstring Name;       // the item's name
  uint32_t Offset, Size;
  FILETIME Time;
};

// Keeps the message just written to `path` for a view, and takes it back
// when the host offers that same file: true, with `*viewed`, once.
void KeepViewedMessage(const ViewedMessage &viewed);
bool TakeViewedMessage(const char *path, ViewedMessage *viewed);

// The current level's parts as panel items, in one heap block that
// FreeFindDataW releases; UserData is the part's place among them.
bool ListMessageParts(MessageStack *stack, far2l::PluginPanelItem **items, int *count);

// Writes each chosen part (decoded; the text in UTF-8) into a new file in
// the destination, never replacing one, with the message's date; a view,
// an edit or a quick view of one part writes it under its own name, the
// file the host opens. F5 and F6 first ask where, in the host's input line
// (a directory typed there is made). Clears PPIF_SELECTED in each written
// whole. 1, 0 when one failed, -1 when the user cancelled.
int CopyMessageParts(MessageStack *stack, FolderHandle *folder, far2l::PluginPanelItem *items,
                     int count, const wchar_t **dest, int op_mode);

// The panel's title, directory and header lines, kept in `texts`.
void FillMessagePanelSettings(const MessageStack *stack, PartsTexts *texts,
                              far2l::OpenPluginInfo *info);
