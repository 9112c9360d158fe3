// The panel's chosen items as the mail outputs' entries, in every host: the
// outputs read the folder afresh with their own reader, and an item leads to
// its entry by its message's place and size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "outputs/mail_folder.h"

// What the panel kept of one item.
struct ItemMessage {
  uint32_t DataOffset;
  uint32_t Size;
};

// The entries' positions the `count` items lead to, in the folder's order,
// each once, as a mail program's file holds each message once. Twin records
// (the same bytes) go to twin entries in order. `items_at` gets, for each
// entry, the items that led to it; `*unmatched` counts the items that lead
// to none (the folder changed since the panel listed it).
std::vector<int> MatchItems(const MailFolder &mail, const ItemMessage *items, size_t count,
                            std::vector<std::vector<size_t>> *items_at, size_t *unmatched);

// The index file's name without its directory and its extension.
std::string FolderName(const char *index_path);

// dest/NAME`ending`, or the first of dest/NAME_(2)`ending`, ... that nothing
// has taken.
std::string FreePath(const std::string &dest, const std::string &name, const char *ending);
