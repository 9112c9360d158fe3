// What the save dialog offers and keeps, the same in every host's dialog:
// the rows of the outputs' table (outputs/output_table.h) that have a label.
#pragma once

#include <cstddef>

#include "host/shared/mail_save.h"
#include "host/shared/messages.h"

struct OfferedOutput {
  const OutputRow *Output;
  MessageId Label;
};

// The outputs in the order shown, at most `room` of them: for messages, or
// for whole folders (`trees`), where message files are no choice. Returns
// their count.
size_t OfferedOutputs(bool trees, OfferedOutput *offered, size_t room);

// Whether one of the outputs offered takes `takes` (output_table.h): the
// dialog shows the box for it ("Mark as read") only then.
bool OfferedTake(const OfferedOutput *offered, size_t count, unsigned takes);

// The choice a host's settings keep (either number null where none is
// kept), as far as it fits: the first output offered and not marked at
// first.
SaveChoice KeptSaveChoice(bool trees, const unsigned long long *format,
                          const unsigned long long *mark_read);

// The answer typed without the blanks and the quotes around it (the host's
// Ctrl+Enter quotes names with blanks), moved to its start.
void TrimAnswer(wchar_t *answer);
