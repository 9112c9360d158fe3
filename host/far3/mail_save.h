// The panel's chosen messages saved for a mail program: as .eml files, one
// mbox file or a Maildir, through the outputs vfolder writes with, with
// their guarantees (never a file of the folder, never through a link, every
// write answered, an mbox cut back to its last whole message).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "folder/folder_handle.h"
#include "host/far3/far_plugin.h"
#include "host/far3/save_dialog.h"
#include "host/far3/save_progress.h"
#include "outputs/mail_run.h"
#include "outputs/output_events.h"
#include "outputs/text_charset.h"

// What a save's run tells the progress and unselects: the items of each
// listing position (none for whole folders, whose messages count each for
// itself), and the character set the items' texts are read in.
struct MailSave {
  SaveProgress *Progress;
  far3::PluginPanelItem *Items;
  std::vector<std::vector<size_t>> ItemsAt;
  TextCharset Charset;
};

// A run of the outputs as `choice` says, its events going to `save`'s
// progress, its texts read in the code page `code_page`. The run points
// into `save`, which must outlive it.
MailRun StartMailSave(MailSave *save, SaveChoice choice, unsigned code_page);

// The chosen items' messages saved as `format` (SaveEml, SaveMbox or
// SaveMaildir) into the directory `dest` (UTF-8; made where missing): .eml
// files in it; an mbox as dest/NAME.mbox and a Maildir as dest/NAME, NAME
// being the index file's name without its extension, or the next free name
// ("NAME_(2)") where that is taken, so that no file is ever replaced.
// `code_page` decodes the items' texts where a message is given header lines
// from them. Each item saved whole is unselected; the counts and failures go
// to `progress`. 1 when every item was saved, 0 when one was not, -1 when
// the user stopped.
intptr_t SaveItemsAsMail(const FolderHandle *folder, unsigned code_page, SaveChoice choice,
                         far3::PluginPanelItem *items, size_t count, const char *dest,
                         SaveProgress *progress);

// The reasons the mail outputs give, as the plug-in words them.
MessageId ReasonOfProblem(OutputProblem problem);
MessageId ReasonOfNotice(OutputNotice notice);
