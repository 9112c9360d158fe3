// A plug-in's own settings file, for a host that keeps none for its plug-ins
// (far2l): one [Settings] section of NAME=number lines. ReadNumberSetting
// and WriteNumberSetting (host/shared/panel_host.h) read and keep them in the
// file the adapter names.
#pragma once

#include <string>

// The settings file's path, which the adapter finds as its host would; empty
// when it cannot be told.
std::string SettingsFilePath();

// The number on the line `name=` of the file at `path`. False when the path
// is empty, the file or the line is missing, or it holds no number.
bool ReadSettingsFileNumber(const std::string &path, const char *name, unsigned long long *value);

// Keeps `name=value` in the file at `path`, making its directory; the file's
// other lines stay as they were: the new file is written beside and then
// takes the old one's name. False for an empty path, or when the directory
// cannot be made or the file cannot be written whole.
bool WriteSettingsFileNumber(const std::string &path, const char *name, unsigned long long value);
