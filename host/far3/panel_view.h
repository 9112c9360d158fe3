// How the panel of a folder looks: its ten view modes and its key bar.
#pragma once

#include <cstddef>

#include "host/far3/far_plugin.h"

const size_t PanelModeCount = 10;

// Mode N is the view of Ctrl+N. Every mode shows what a message has: its
// name, description, date and size (no owners, links or packed sizes); mode
// 7, the start view, shows them all in half the screen, beside the info
// panel of Ctrl+L. Column titles are the host's own, in its language.
extern const far3::PanelMode PanelModes[PanelModeCount];

// The key bar: the keys that would change the folder (edit, move, make a
// directory, delete) show no label, since the folder is only ever read.
extern const far3::KeyBarTitles PanelKeyBar;
