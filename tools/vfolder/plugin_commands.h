// list and copy: the plug-in library loaded and driven through its entry
// points, in the order and with the arguments the file manager uses.
#pragma once

#include <vector>

#include "outputs/text_charset.h"

struct PluginCommand {
  const char *PluginPath;           // null: beside this program
  bool Copy;                        // false: list
  bool Tsv;                         // list: the tab-separated form
  const char *Index;                // the index file, as given
  const char *Dest;                 // copy: the destination directory, as given
  std::vector<const char *> Items;  // copy: the items chosen; none for all
  const char *LogPath;              // copy: --log FILE, or null
  const TextCharset *Charset;       // the index texts' character set, or null
};

// Runs the command; returns the exit status: 0 every chosen message written
// whole, 1 some not, 2 no folder, a listing that failed or a usage error.
int RunPluginCommand(const PluginCommand &command);
