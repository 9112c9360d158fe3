// The one dialog that saving shows, in every host: where the messages go,
// and as what. Both the F5 save of messages and the plug-ins menu's convert
// of whole folders ask it (AskDestination, host/shared/panel_host.h):
// `question` over the destination's line, prefilled with `dest` (with the
// directories chosen before in its history, paths completed as they are
// typed), the outputs the table offers (save_choice.h) as radio buttons and
// "Mark as read" where one of them takes it, as last chosen
// (kept in the host's settings, for messages and for folders apart).
// `trees` offers what whole folders become (mbox files in Thunderbird's
// layout, Maildirs, .eml directories) instead of message files and the
// three single outputs.
#pragma once

#include "host/shared/panel_host.h"
