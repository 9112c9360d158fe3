// The panel's chosen messages saved for a mail program: as .eml files, one
// mbox file or a Maildir, through the outputs vfolder writes with, with
// their guarantees (never a file of the folder, never through a link, every
// write answered, an mbox cut back to its last whole message).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "folder/folder_handle.h"
#include "host/shared/mail_items.h"
#include "host/shared/save_progress.h"
#include "outputs/folder_tree.h"
#include "outputs/mail_run.h"
#include "outputs/output_events.h"
#include "outputs/output_table.h"
#include "outputs/text_charset.h"

// What the messages are saved as: a row of the outputs' table that the save
// dialog offers (null: message files, where no dialog asked).
struct SaveChoice {
  const OutputRow *Output;
  bool MarkRead;  // where the output takes it: the messages marked as read
};

// True where the plug-in's own copy writes message files, not the outputs.
bool SavesMessageFiles(const SaveChoice &choice);

// True for a mail account, which a host's own saving sends to (below).
bool SavesToAccount(const SaveChoice &choice);

// Takes the host's selection off item `item` of `items`, saved whole.
typedef void (*UnselectItem)(void *items, size_t item);

// What a save's run tells the progress and unselects: the items of each
// listing position (none for whole folders, whose messages count each for
// itself), and the character set the items' texts are read in.
struct MailSave {
  SaveProgress *Progress;
  UnselectItem Unselect;  // null for whole folders
  void *Items;
  std::vector<std::vector<size_t>> ItemsAt;
  TextCharset Charset;
};

// A run of the outputs as `choice` says, its events going to `save`'s
// progress, its texts read in the code page `code_page`. The run points
// into `save`, which must outlive it; CloseMailSave lets go of the code
// page's converter afterwards.
MailRun StartMailSave(MailSave *save, SaveChoice choice, unsigned code_page);
void CloseMailSave(MailSave *save);

// The panel's folder read afresh by the outputs' own reader, in `charset`,
// into `mail`, and the messages of the items `keys` (by their places and
// sizes) into `chosen`; items whose messages are gone are told and counted
// failed. False when the folder cannot be opened: told, every item counted
// failed, `mail` and `save` closed.
bool OpenChosenMessages(const FolderHandle *folder, const ItemMessage *keys, size_t count,
                        const TextCharset *charset, MailSave *save, MailFolder *mail,
                        std::vector<int> *chosen);

// The chosen items' messages saved as `choice` says (an output the outputs
// write) into the directory `dest` (UTF-8; made where missing): .eml files
// in it; an mbox as dest/NAME.mbox and a Maildir as dest/NAME (the row's
// SavedEnding), NAME being the index file's name without its extension, or
// the next free name ("NAME_(2)") where that is taken, so that no file is
// ever replaced.
// `code_page` decodes the items' texts where a message is given header lines
// from them. Each item saved whole is unselected; the counts and failures go
// to `progress`. 1 when every item was saved, 0 when one was not, -1 when
// the user stopped.
// The items are known by their messages (`keys`); `unselect` takes the
// selection off each of `items` saved whole.
intptr_t SaveItemsAsMail(const FolderHandle *folder, unsigned code_page, SaveChoice choice,
                         const ItemMessage *keys, size_t count, UnselectItem unselect,
                         void *items, const char *dest, SaveProgress *progress);

// Whole folders (the tree under `top`) saved as `choice` says into `out`
// (UTF-8), Maildirs in Maildir++'s layout, with the progress box and the
// final one. A destination that is one of the folders' own files is refused
// and every message counted as failed: nothing of the folders is written.
// The names in `code_page`; for CodePageFromFolder each folder's in the one
// its messages declare, else in the system's ANSI one.
void SaveFoldersAsMail(const TreeNode &top, SaveChoice choice, const std::string &out,
                       unsigned code_page);

// A host with the network sends to a mail account (host/shared/account_save.h)
// as SaveItemsAsMail and SaveFoldersAsMail save, asking for the account
// first; MailAccount is null in a host without, whose dialogs then offer
// no mail account.
struct AccountSaving {
  intptr_t (*SaveItems)(const FolderHandle *folder, unsigned code_page, SaveChoice choice,
                        const ItemMessage *keys, size_t count, UnselectItem unselect, void *items,
                        SaveProgress *progress);
  void (*SaveFolders)(const TreeNode &top, SaveChoice choice, unsigned code_page);
};
extern const AccountSaving *MailAccount;

// The reasons the mail outputs give, as the plug-in words them.
MessageId ReasonOfProblem(OutputProblem problem);
MessageId ReasonOfNotice(OutputNotice notice);
