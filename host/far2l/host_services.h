// What the plug-in keeps of far2l: a copy of its startup record (the host
// builds it on its stack) and the services reached through it, and the
// host's calls the shared logic asks for (host/shared/host_texts.h). The
// texts come from the language files both layers install beside their
// modules, whose lines both hosts number alike.
#pragma once

#include <cstddef>

#include "host/far2l/far2l_plugin.h"
#include "host/shared/entry_guard.h"
#include "host/shared/host_texts.h"
#include "host/shared/messages.h"
#include "host/shared/panel_host.h"

// Keeps the host's record and its services when the record is the size
// this layer's declarations match; otherwise the plug-in works without them.
void KeepHostServices(const far2l::PluginStartupInfo *info);

// The module's own path as the host gave it; empty before the services.
const wchar_t *ModulePath();

// The host's dialog of `count` items, `width` by `height` and centred: the
// index of the item that closed it, or -1 for Esc (or no dialog service).
// Before the dialog is freed `checked[i]` gets whether item i is checked
// (for radio buttons and check boxes; false for the rest) and `answer` the
// text of item `edit`; a text longer than `answer_size` allows counts as Esc.
int RunDialog(int width, int height, const wchar_t *help_topic, far2l::FarDialogItem *items,
              int count, int edit, wchar_t *answer, int answer_size, bool *checked);
