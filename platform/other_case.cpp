// A file found by a name that differs only in the case of A-Z, as Windows
// finds it: a folder copied from a Windows disk often keeps names whose case
// no longer matches the pairing rule's.
#include <cstdlib>
#include <cstring>

#include "platform/file_system.h"

#ifdef _WIN32

char *PathInOtherCase(const char *) { return nullptr; }

#else

namespace {

char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c; }

bool SameIgnoringCase(const char *a, const char *b) {
  for (; *a != '\0' && AsciiUpper(*a) == AsciiUpper(*b); ++a, ++b) {
  }
  return AsciiUpper(*a) == AsciiUpper(*b);
}

struct Search {
  const char *Name;
  bool Exact;
  int Matches;
  char *Found;  // the one other name, while there is one
};

void Consider(void *context, const char *name) {
  Search *search = static_cast<Search *>(context);
  if (strcmp(name, search->Name) == 0) {
    search->Exact = true;
  } else if (SameIgnoringCase(name, search->Name) && ++search->Matches == 1) {
    search->Found = strdup(name);
  }
}

}  // namespace

char *PathInOtherCase(const char *path) {
  const char *slash = strrchr(path, '/');
  const char *name = slash != nullptr ? slash + 1 : path;
  if (*name == '\0') return nullptr;
  const size_t dir_length = slash == nullptr ? 0 : slash == path ? 1 : size_t(slash - path);
  char *dir = static_cast<char *>(malloc(dir_length + 2));
  if (dir == nullptr) return nullptr;
  if (dir_length == 0) {
    strcpy(dir, ".");
  } else {
    memcpy(dir, path, dir_length);
    dir[dir_length] = '\0';
  }
  Search search = {name, false, 0, nullptr};
  const bool listed = FileSystem.ListDirectory(dir, Consider, &search);
  free(dir);
  char *found = nullptr;
  if (listed && !search.Exact && search.Matches == 1 && search.Found != nullptr) {
    const size_t prefix = size_t(name - path), length = strlen(search.Found);
    found = static_cast<char *>(malloc(prefix + length + 1));
    if (found != nullptr) {
      memcpy(found, path, prefix);
      memcpy(found + prefix, search.Found, length + 1);
    }
  }
  free(search.Found);
  return found;
}

#endif
