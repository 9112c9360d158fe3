// What the plug-in keeps of the host: its GUID-named services for texts,
// boxes, menus, input lines and settings. A help topic names a topic of the
// plug-in's own help file.
#pragma once

#include <cstddef>

#include "host/far3/far_plugin.h"
#include "host/far3/guids.h"
#include "host/shared/entry_guard.h"
#include "host/shared/host_texts.h"
#include "host/shared/messages.h"
#include "host/shared/panel_host.h"

// Keeps the services the host's record holds, as far as its size reaches.
void KeepHostServices(const far3::PluginStartupInfo *info);

// The host's panel services (PanelControl); 0 without them.
intptr_t ControlPanel(HANDLE panel, int command, intptr_t param1, void *param2);
