// What the plug-in keeps of the host, and the one way it reports through it.
#pragma once

#include "host/far1/far_plugin.h"
#include "host/shared/entry_guard.h"

// Keeps the host's module number and Message service for ShowWarning.
void KeepHostServices(const PluginStartupInfo *info);

// A host warning box: the title, one line of text and an "OK" button.
// Does nothing before the host has handed over its services.
void ShowWarning(const char *title, const char *line);

// The warning for an entry point's work that threw: out of memory, or an
// unexpected error.
void TellEntryFailure(EntryFailure failure);
