// What the plug-in keeps of the host: its GUID-named services for texts,
// boxes, menus, input lines and settings. A help topic names a topic of the
// plug-in's own help file.
#pragma once

#include <cstddef>

#include "host/far3/far_plugin.h"
#include "host/far3/guids.h"
#include "host/far3/messages.h"

// Keeps the services the host's record holds, as far as its size reaches.
void KeepHostServices(const far3::PluginStartupInfo *info);

// Text `id` in the language the host is set to, from the language file
// beside the DLL; an empty text before the host has handed over its services.
// The host keeps it as long as the plug-in is loaded in that language.
const wchar_t *TextOf(MessageId id);

// The form of the noun whose first form is `one` that goes with `count`.
const wchar_t *CountedNoun(MessageId one, unsigned long long count);

// A host warning box with the host's OK button: the title and one line.
// True when the user closed it with Esc, as one does to stop what brought it
// up. Does nothing (false) before the host has handed over its services.
bool ShowWarning(const wchar_t *title, const wchar_t *line, const wchar_t *help_topic);

// The host's input line, titled `title` with the question `question`,
// prefilled with `text`; the answer goes into `answer` (of `answer_size`
// characters). False when the user pressed Esc. Without an input line
// service the prefilled text is the answer.
bool AskLine(const wchar_t *title, const wchar_t *question, const wchar_t *history,
             const wchar_t *text, wchar_t *answer, size_t answer_size,
             const wchar_t *help_topic);

// The host's menu of `count` items, `current` highlighted and marked. The
// index chosen, or -1 for Esc (or no menu service).
int ChooseFromMenu(const GUID &id, const wchar_t *title, const wchar_t *const *items, int count,
                   int current, const wchar_t *help_topic);

// A number kept in the host's settings store under the plug-in's GUID.
// ReadSetting is false when it is absent or the store cannot be read.
bool ReadSetting(const wchar_t *name, unsigned long long *value);
bool WriteSetting(const wchar_t *name, unsigned long long value);
