// A message as a folder of its parts, in no host's records: the readable
// text, the HTML body, each attachment decoded, each message inside it as a
// folder of its own, and its own bytes; and the stack of messages entered,
// one inside the other. A host layer turns the current level's parts into
// its panel items.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "folder/folder_handle.h"
#include "message/message_parts.h"
#include "platform/win_types.h"

// What an item of the parts' panel holds.
enum PartItemKind { PartItemText, PartItemHtml, PartItemFile, PartItemMessage, PartItemOriginal };

struct PartItem {
  std::wstring Name;
  std::wstring Type;
  PartItemKind Kind;
  size_t Part;  // in the message's parts
  uint64_t Size;
};

// The header lines a level shows in the info panel: From, To, Cc, Date,
// Subject.
const size_t HeaderLineCount = 5;

// What every level shows in the host's language: the names of its own items
// (the text, the HTML body, the message's bytes), each a valid file name
// with its extension, and the labels of its header lines.
struct LevelTexts {
  std::wstring Text, Html, Original;
  std::wstring Labels[HeaderLineCount];
};

struct MessageStack;

// Opens the message of `size` bytes at `offset` of the folder's data file,
// shown as `shown` and dated `time`, as the first level inside, its items
// and labels from `texts`; `*stack` is made when null. False when its bytes
// cannot be read.
bool EnterFolderMessage(MessageStack **stack, FolderHandle *folder, const wchar_t *shown,
                        uint32_t offset, uint32_t size, const FILETIME &time,
                        const LevelTexts &texts);

// Goes into the message inside the current one that the item `name` shows.
bool EnterInnerMessage(MessageStack *stack, const wchar_t *name);

// One level up; false when the panel is not inside a message.
bool LeaveMessage(MessageStack *stack);

// Whether the panel is inside a message, and how deep.
bool InsideMessage(const MessageStack *stack);
size_t MessageDepth(const MessageStack *stack);

void FreeMessageStack(MessageStack *stack);

// The current level's items, name, date and header lines, and the names
// entered, each after `separator`. Only while InsideMessage.
const std::vector<PartItem> &CurrentParts(const MessageStack *stack);
const std::wstring &CurrentShown(const MessageStack *stack);
FILETIME CurrentTime(const MessageStack *stack);
const std::wstring *HeaderLabels(const MessageStack *stack);
const std::wstring *HeaderValues(const MessageStack *stack);
std::wstring EnteredPath(const MessageStack *stack, wchar_t separator);

// Writes the current level's item `item` (decoded; the text in UTF-8) into
// `sink`; false when a read or the sink fails.
bool WritePartItem(MessageStack *stack, size_t item, PartSink sink, void *context);
