// Inside a message: the panel lists its parts as items (the readable text,
// the HTML body, each attachment decoded, each message inside it as a
// folder, and its own bytes), and goes back up to where it came from.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "folder/folder_handle.h"
#include "host/far3/far_plugin.h"
#include "host/shared/message_levels.h"

// What the panel keeps for the host of the parts shown.
struct PartsTexts {
  std::wstring Title, Directory;
  far3::InfoPanelLine Lines[HeaderLineCount];
};

// Opens the message of the panel item `item` (a message of the folder's
// listing) as the panel's first level inside; `*stack` is made when null.
// False when its bytes cannot be read: the panel stays where it was.
bool EnterMessage(MessageStack **stack, FolderHandle *folder, const far3::PluginPanelItem &item);

// The panel's title, directory (the messages' names, for the host to put
// the cursor back on the message it came from) and the header lines for
// the info panel.
void FillMessagePanelSettings(const MessageStack *stack, PartsTexts *texts,
                              far3::OpenPanelInfo *info);
