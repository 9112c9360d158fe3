// How far2l shows the folder's panel: its ten view modes and its key bar.
#pragma once

#include "host/far2l/far2l_plugin.h"

const int PanelModeCount = 10;
extern const far2l::PanelMode PanelModes[PanelModeCount];

// The keys that do nothing in a folder that is only read, blanked.
extern const far2l::KeyBarTitles PanelKeyBar;
