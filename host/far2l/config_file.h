// The plug-in's own settings file, as far2l's plug-ins keep theirs (the host
// has no settings service): <config>/plugins/vessor/config.ini, one
// [Settings] section of NAME=number lines.
#pragma once

#include <string>

#include "host/shared/panel_host.h"

// The host's configuration directory, found as the host finds it: from
// FARSETTINGS (which -u sets), XDG_CONFIG_HOME, or the home directory of
// the user's passwd entry. Empty when none can be told.
std::string HostConfigDirectory();

// The settings file's path; empty when the directory cannot be told.
std::string ConfigFilePath();

// ReadNumberSetting and WriteNumberSetting (host/shared/panel_host.h) read
// and keep NAME=number lines there (host/shared/settings_file.h).
