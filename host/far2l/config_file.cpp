// The plug-in's own settings file, as far2l's plug-ins keep theirs (the host
// has no settings service): <config>/plugins/vessor/config.ini.
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

#include "host/shared/settings_file.h"

namespace {

bool IsAbsolute(const char *path) { return path != nullptr && path[0] == '/'; }

// The host's configuration directory, found as the host finds it: from
// FARSETTINGS (which -u sets), XDG_CONFIG_HOME, or the home directory of
// the user's passwd entry. Empty when none can be told.
std::string HostConfigDirectory() {
  const char *settings = getenv("FARSETTINGS");
  if (IsAbsolute(settings)) return std::string(settings) + "/.config";
  std::string dir;
  const char *xdg = getenv("XDG_CONFIG_HOME");
  if (IsAbsolute(xdg)) {
    dir = std::string(xdg) + "/far2l";
  } else {
    // The host takes the home directory from the passwd entry, not HOME.
    const passwd *entry = getpwuid(getuid());
    const char *home = entry != nullptr && IsAbsolute(entry->pw_dir) ? entry->pw_dir : getenv("HOME");
    if (!IsAbsolute(home)) return std::string();
    dir = std::string(home) + "/.config/far2l";
  }
  if (settings != nullptr && settings[0] != '\0') dir += std::string("/custom/") + settings;
  return dir;
}

}  // namespace

std::string SettingsFilePath() {
  const std::string dir = HostConfigDirectory();
  return dir.empty() ? dir : dir + "/plugins/vessor/config.ini";
}
