// The one dialog that saving shows: where the messages go, and as what.
#pragma once

#include <cstddef>

#include "host/shared/mail_save.h"

// Shows the dialog titled `title` with `question` over the destination's
// line, prefilled with `dest` (with the directories chosen before in its
// history, paths completed as they are typed), the outputs the table offers
// (save_choice.h) and "Mark as read" where one of them takes it, as last
// chosen. `trees` offers what whole folders become (.eml
// directories, mbox files in Thunderbird's layout, Maildirs) instead of
// message files. On OK the destination goes into `answer` (of `answer_size`
// characters), the blanks and quotes around it taken away, the choice into
// `*choice` and the host's settings store; false for Esc, Cancel or an empty
// destination.
bool AskSaveChoice(const wchar_t *title, const wchar_t *question, const wchar_t *dest, bool trees,
                   SaveChoice *choice, wchar_t *answer, size_t answer_size);

// The choice last made (message files and not marked at first).
SaveChoice LastSaveChoice(bool trees);
