// What the save dialog offers and keeps, the same in every host's dialog.
#pragma once

#include <cstddef>

#include "host/shared/mail_save.h"
#include "host/shared/messages.h"

struct OfferedFormat {
  SaveFormat Format;
  MessageId Label;
};

// The formats in the order shown: for messages, or for whole folders
// (`trees`), where message files are no choice.
const OfferedFormat *OfferedFormats(bool trees, size_t *count);

// The choice a host's settings keep (either number null where none is
// kept), as far as it fits: message files and not marked at first, mbox
// for whole folders.
SaveChoice KeptSaveChoice(bool trees, const unsigned long long *format,
                          const unsigned long long *mark_read);

// The answer typed without the blanks and the quotes around it (the host's
// Ctrl+Enter quotes names with blanks), moved to its start.
void TrimAnswer(wchar_t *answer);
