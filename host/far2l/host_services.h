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
