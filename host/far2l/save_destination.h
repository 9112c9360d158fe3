// What saving asks before it writes: as what, then where. Both the F5 save
// of messages and the plug-ins menu's convert of whole folders ask it.
#pragma once

#include "host/shared/mail_save.h"

// One dialog titled `title`: `question` over the destination line,
// prefilled with `dest` (history "VessorCopy"), the outputs the table offers
// (save_choice.h) as radio buttons and "Mark as read" where one of them takes
// it, with the last choice (kept in the settings file, for
// messages and for folders apart) set. `trees` offers what whole folders
// become (mbox files in Thunderbird's layout, Maildirs, .eml directories)
// instead of message files and the three single outputs. The destination
// chosen, without blanks or quotes around it, which lives until the next
// call; null for Esc, Cancel or an empty destination.
const wchar_t *AskDestination(const wchar_t *title, const wchar_t *question, const wchar_t *dest,
                              bool trees, const wchar_t *help_topic, SaveChoice *choice);
