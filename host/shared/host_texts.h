// What the logic both layers share asks of the host it runs in: its texts,
// its boxes and its screen. Each layer defines the host's calls for its own
// host; the counted nouns and grouped numbers are worked out here once.
#pragma once

#include <cstddef>
#include <string>

#include "host/shared/messages.h"
#include "platform/win_types.h"

// Text `id` in the language the host is set to, from the language file
// beside the module; an empty text before the host has handed over its
// services. The host keeps it as long as the plug-in is loaded in that
// language.
const wchar_t *TextOf(MessageId id);

// The form of the noun whose first form is `one` that goes with `count`.
const wchar_t *CountedNoun(MessageId one, unsigned long long count);

// A count with its digits in groups of three, parted as the language parts
// them, into `out` of `out_size` characters.
void WriteGroupedNumber(unsigned long long number, wchar_t *out, size_t out_size);

// A box of `count` lines under `title` that stays on the screen while work
// goes on, with no button to wait for.
void ShowWorkBox(const wchar_t *title, const wchar_t *const *lines, size_t count);

// A box of `count` lines under `title` with the host's OK button, a warning
// when `warning`.
void ShowLines(const wchar_t *title, const wchar_t *const *lines, size_t count, bool warning,
               const wchar_t *help_topic);

// A question with the host's Yes and No buttons: true for Yes.
bool AskYesNo(const wchar_t *title, const wchar_t *line, const wchar_t *help_topic);

// The screen as it is, to put back when the work boxes drawn over it go;
// null without the service.
HANDLE SaveHostScreen();
void RestoreHostScreen(HANDLE screen);

// The taskbar's progress: `done` of `total`; a total of 0 takes it away.
// Nothing where the host has no taskbar.
void SetTaskbarProgress(unsigned long long done, unsigned long long total);

// The system's own words for `error`, a number LastSystemError() gave
// (errno, or GetLastError() on Windows), in the system's language; empty
// for 0.
std::wstring SystemReason(int error);

// `text` followed by the system's words for `error` in brackets; `text`
// alone for 0.
std::wstring WithSystemReason(const wchar_t *text, int error);

// A text in UTF-8, as paths go to the system; empty when it does not convert.
std::string Utf8Of(const std::wstring &text);
