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

// The panel's title, directory and header lines, kept in `texts`.
void FillMessagePanelSettings(const MessageStack *stack, PartsTexts *texts,
                              far2l::OpenPluginInfo *info);
