// The outputs for mail programs: an mboxrd file, a Maildir, and .eml files.
// Each takes the messages through the plug-in's GetFiles into a private
// staging directory, which it removes again however the run ends, and never
// reads the data folder file itself.
#pragma once

#include <string>
#include <vector>

#include "tools/vfolder/plugin_loader.h"

// The messages chosen from an open folder, in listing order.
struct ChosenMessages {
  const PluginApi *Api;
  HANDLE Folder;
  std::string IndexPath, DataPath;  // the folder's own files, never written
  std::vector<PluginPanelItem> Items;
  std::vector<int> Positions;  // each item's position in the listing
};

// Each returns how many of the messages were not written, having said why on
// standard error. Paths are full paths.

// Writes the messages into the mboxrd file `file` (created or replaced; "-" is
// standard output), staging each in a directory beside it.
int WriteMbox(ChosenMessages *chosen, const std::string &file);

// Delivers each message into the Maildir `dir` (its tmp, new and cur made when
// missing): the plug-in writes it in a directory inside tmp, and it is renamed
// into new under a name of its own.
int WriteMaildir(ChosenMessages *chosen, const std::string &dir);

// Copies the messages into directory `dest` as `copy` does, each name ending
// in ".eml".
int CopyAsEml(ChosenMessages *chosen, const std::string &dest);
