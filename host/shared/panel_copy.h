// The host's copying of the panel's rows (F5, F6, a view, an edit, a quick
// view, a search), in no host's records: the folder's messages as message
// files or through the mail outputs, a message's parts as files. Each
// adapter turns its chosen items into rows and unselects those Done.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "folder/folder_handle.h"
#include "host/shared/message_levels.h"
#include "host/shared/panel_rows.h"

// What kind of copy the host asks for.
struct CopyRequest {
  bool Quiet;   // a silent operation, a search or a quick view: nothing shown
  bool Ask;     // F5 or F6: the user is asked where (and as what) first
  bool Viewed;  // a view or a quick view: one row goes out under its own name
  bool Edit;    // an edit (F4): refused, as the key bar's blank label says
  // Enter on a message, where the host opens the view's file as whatever
  // plug-in claims it first: the file is a stand-in of one plain line,
  // which only this plug-in claims (TakeViewedMessage), since what a
  // message holds (a uuencoded block, an archive) could make another
  // plug-in take it.
  bool Opening = false;
};

// The hosts' operation modes of a copy, the same numbers in both.
const unsigned long long ModeSilent = 0x1, ModeFind = 0x2, ModeView = 0x4, ModeEdit = 0x8,
                         ModeDescription = 0x20, ModeQuickView = 0x40;

// What the host's operation mode `op_mode` asks of a copy: a search, a
// quick view or a silent operation shows nothing; a view, an edit, a
// search, a description file's read or `top_level` (the host's own command
// on the whole panel) asks for no destination: the host gives its own. A
// view writes its row under the row's own name when `view_own_name`.
CopyRequest RequestOf(unsigned long long op_mode, unsigned long long top_level,
                      bool view_own_name);

// Takes the host's selection (the same flag in both hosts) off each of
// `items` whose row was done.
const uint32_t ItemSelected = 0x40000000;
template <typename Item>
void UnselectDone(const std::vector<PanelRow> &rows, Item *items) {
  for (size_t i = 0; i < rows.size(); ++i)
    if (rows[i].Done) items[i].Flags &= ~ItemSelected;
}

// Saves each row's message. When asked, the save dialog first asks where
// and as what (message files named after their rows, with the messages'
// bytes and dates; .eml files; one mbox file; a Maildir), a directory that
// does not exist is made, and long work shows its progress. A view of one
// row writes it under the row's own name, the file the host opens, and
// keeps it for TakeViewedMessage. Sets Done in each row saved whole; when
// any failed, one box tells the counts and the first reasons; after a stop
// the other panel is shown anew. `code_page` decodes the texts the mail
// outputs give as header lines. `*dest` may be repointed at the destination
// chosen, which lives until the next call. 1 when every row was saved, 0
// when one was not or the data folder file cannot be opened, -1 when the
// user cancelled or stopped.
int CopyFolderRows(FolderHandle *folder, unsigned code_page, PanelRow *rows, size_t count,
                   const wchar_t **dest, CopyRequest request);

// Writes each chosen part (decoded; the text in UTF-8) into a new file in
// the destination, never replacing one, with the message's date; a view of
// one part writes it under its own name. When asked, the host's input line
// asks where first (a directory typed there is made). Sets Done in each
// row written whole. 1, 0 when one failed, -1 when the user cancelled.
int CopyPartRows(MessageStack *stack, FolderHandle *folder, PanelRow *rows, size_t count,
                 const wchar_t **dest, CopyRequest request);

// The message the last view of one row wrote, and the file it went to: a
// host that offers that file to the plug-ins next opens it as its parts.
struct ViewedMessage {
  std::string Path;        // the file written, UTF-8
  std::wstring IndexPath;  // the folder's index file, as the host gave it
  std::wstring Name;       // the row's name
  uint32_t Offset, Size;
  FILETIME Time;
};

// Takes back the message a view wrote to `path`: true, with `*viewed`, once.
bool TakeViewedMessage(const char *path, ViewedMessage *viewed);
