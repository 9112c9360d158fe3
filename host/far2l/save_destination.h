// What saving asks before it writes: as what, then where. Both the F5 save
// of messages and the plug-ins menu's convert of whole folders ask it.
#pragma once

#include "host/shared/mail_save.h"

// The "Save as:" menu, with the format chosen last (in this session, for
// messages and for folders apart) highlighted, then the host's input line
// titled `title` asking `question`, prefilled with `dest`. `trees` offers
// what whole folders become (mbox files in Thunderbird's layout, Maildirs,
// .eml directories) instead of message files and the three single outputs.
// The destination chosen, which lives until the next call, or null for Esc
// or an empty destination.
const wchar_t *AskDestination(const wchar_t *title, const wchar_t *question, const wchar_t *dest,
                              bool trees, const wchar_t *help_topic, SaveChoice *choice);
