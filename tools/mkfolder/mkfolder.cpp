// mkfolder: writes a Vessor mail folder from a readable description.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "tools/mkfolder/folder_writer.h"

int main(int argc, char **argv) {
  if (argc != 3 || !strcmp(argv[1], "--help")) {
    fputs(
        "usage: mkfolder DESCRIPTION INDEX\n"
        "Writes the index file INDEX and its data folder file (INDEX ending in M)\n"
        "from the description; see tools/mkfolder/folder_writer.h for its lines.\n",
        argc == 2 ? stdout : stderr);
    return argc == 2 ? 0 : 2;
  }
  std::ifstream input(argv[1], std::ios::binary);
  if (!input) {
    fprintf(stderr, "mkfolder: cannot read %s\n", argv[1]);
    return 2;
  }
  std::ostringstream text;
  text << input.rdbuf();
  std::string error;
  if (!WriteFolder(text.str(), argv[2], &error)) {
    fprintf(stderr, "mkfolder: %s: %s\n", argv[1], error.c_str());
    return 1;
  }
  return 0;
}
