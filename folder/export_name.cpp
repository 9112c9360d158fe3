// Names of exported message files: made harmless, then told apart.
#include "folder/export_name.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// A switch rather than a search of the character list: this runs for every
// character of every exported name.
bool IsForbiddenInName(char c) {
  switch (c) {
    case ' ':
    case '"':
    case '*':
    case '/':
    case ':':
    case '<':
    case '>':
    case '?':
    case '\\':
    case '|': return true;
    default: return c >= 0x01 && c <= 0x1F;
  }
}

char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c; }

// True when the name's part before its first dot is one that Windows takes for
// a device (CON, PRN, AUX, NUL, COM1-COM9, LPT1-LPT9, CONIN$, CONOUT$), in any
// letter case.
bool IsDeviceStem(const char *name, size_t stem_length) {
  char stem[8] = {};
  if (stem_length < 3 || stem_length > 7) return false;
  for (size_t i = 0; i < stem_length; ++i) stem[i] = AsciiUpper(name[i]);
  if (stem_length == 3)
    return !strcmp(stem, "CON") || !strcmp(stem, "PRN") || !strcmp(stem, "AUX") ||
           !strcmp(stem, "NUL");
  if (stem_length == 4)
    return (!strncmp(stem, "COM", 3) || !strncmp(stem, "LPT", 3)) && stem[3] >= '1' &&
           stem[3] <= '9';
  return !strcmp(stem, "CONIN$") || !strcmp(stem, "CONOUT$");
}

bool SameIgnoringCase(const char *a, const char *b) {
  for (; *a != '\0' && AsciiUpper(*a) == AsciiUpper(*b); ++a, ++b) {
  }
  return AsciiUpper(*a) == AsciiUpper(*b);
}

uint32_t HashIgnoringCase(const char *text) {
  uint32_t hash = 2166136261u;  // FNV-1a
  for (; *text != '\0'; ++text) hash = (hash ^ uint8_t(AsciiUpper(*text))) * 16777619u;
  return hash;
}

// The slot that holds a name equal to `name`, or the empty slot where it would go.
size_t FindSlot(const ExportNames *names, const char *name) {
  for (size_t at = HashIgnoringCase(name) & names->SlotMask;; at = (at + 1) & names->SlotMask) {
    const size_t given = names->Slots[at];
    if (given == 0 || SameIgnoringCase(names->Text + given - 1, name)) return at;
  }
}

// Doubles the table once it is half full, so that every search ends.
bool MakeRoomForName(ExportNames *names) {
  if (names->Given * 2 < names->SlotMask + 1) return true;
  const size_t old_count = names->SlotMask + 1;
  size_t *old_slots = names->Slots;
  uint32_t *old_next = names->Next;
  names->Slots = static_cast<size_t *>(calloc(old_count * 2, sizeof(size_t)));
  names->Next = static_cast<uint32_t *>(malloc(old_count * 2 * sizeof(uint32_t)));
  if (names->Slots == nullptr || names->Next == nullptr) {
    free(names->Slots);
    free(names->Next);
    names->Slots = old_slots;
    names->Next = old_next;
    return false;
  }
  names->SlotMask = old_count * 2 - 1;
  for (size_t at = 0; at < old_count; ++at) {
    if (old_slots[at] == 0) continue;
    const size_t slot = FindSlot(names, names->Text + old_slots[at] - 1);
    names->Slots[slot] = old_slots[at];
    names->Next[slot] = old_next[at];
  }
  free(old_slots);
  free(old_next);
  return true;
}

// Appends `name`, which no item has, as item `item`'s name. False when memory
// runs out.
bool GiveName(ExportNames *names, int item, const char *name) {
  if (!MakeRoomForName(names)) return false;
  const size_t size = strlen(name) + 1;
  if (names->TextSize + size > names->TextRoom) {
    const size_t room = (names->TextRoom + size) * 2;
    char *text = static_cast<char *>(realloc(names->Text, room));
    if (text == nullptr) return false;
    names->Text = text;
    names->TextRoom = room;
  }
  memcpy(names->Text + names->TextSize, name, size);
  const size_t slot = FindSlot(names, name);
  names->Slots[slot] = names->TextSize + 1;
  names->Next[slot] = 2;
  names->Start[item] = names->TextSize;
  names->TextSize += size;
  ++names->Given;
  return true;
}

// Gives `item` the first of `base`'s suffixed names that no item has; `base`
// has been given. Every suffix below the base's next one is taken already:
// names are only ever added.
bool GiveSuffixedName(ExportNames *names, int item, const char *base) {
  char name[LongestItemName + 2 + 16];
  const size_t base_slot = FindSlot(names, base);
  for (;; ++names->Next[base_slot]) {
    if (names->PartNames) {
      const std::string twin = TwinFileName(base, unsigned(names->Next[base_slot]));
      snprintf(name, sizeof name, "%s", twin.c_str());
    } else {
      snprintf(name, sizeof name, "%s_(%u)", base, unsigned(names->Next[base_slot]));
    }
    if (names->Slots[FindSlot(names, name)] == 0) break;
  }
  ++names->Next[base_slot];
  return GiveName(names, item, name);
}

// Whether a part's file name cannot hold byte `c` on this system.
bool IsRefusedInFileName(char c) {
  if ((c >= 0x00 && c <= 0x1F) || c == 0x7F || c == '/') return true;
#ifdef _WIN32
  switch (c) {
    case '"':
    case '*':
    case ':':
    case '<':
    case '>':
    case '?':
    case '\\':
    case '|': return true;
    default: break;
  }
#endif
  return false;
}

// Where `name`'s extension starts: its last dot, unless that is its first
// byte or the extension is too long to be one; the name's length for none.
size_t ExtensionStart(const std::string &name) {
  const size_t dot = name.rfind('.');
  return dot == std::string::npos || dot == 0 || name.size() - dot > 32 ? name.size() : dot;
}

// `stem` cut to at most `room` bytes on a UTF-8 character's boundary, then
// `extension`.
std::string CutStem(const std::string &stem, size_t room, const std::string &extension) {
  if (stem.size() <= room) return stem + extension;
  size_t cut = room;
  while (cut > 0 && (static_cast<unsigned char>(stem[cut]) & 0xC0) == 0x80) --cut;
  return stem.substr(0, cut) + extension;
}

}  // namespace

std::string MakePartFileName(const std::string &name) {
  std::string safe = name;
  for (char &c : safe)
    if (IsRefusedInFileName(c)) c = '_';
  if (safe.empty()) safe = "_";
  if (safe == "." || safe == "..") safe.assign(safe.size(), '_');
#ifdef _WIN32
  // Windows drops trailing dots and blanks, and takes a device's stem for
  // the device.
  for (size_t at = safe.size(); at > 0 && (safe[at - 1] == '.' || safe[at - 1] == ' '); --at)
    safe[at - 1] = '_';
  const size_t stem_length = strcspn(safe.c_str(), ".");
  if (IsDeviceStem(safe.c_str(), stem_length)) safe.insert(stem_length, "_");
#endif
  const size_t extension = ExtensionStart(safe);
  return CutStem(safe.substr(0, extension), LongestFileName - (safe.size() - extension),
                 safe.substr(extension));
}

std::string TwinFileName(const std::string &name, unsigned number) {
  const size_t extension = ExtensionStart(name);
  const std::string tail = "_(" + std::to_string(number) + ")" + name.substr(extension);
  return CutStem(name.substr(0, extension), LongestFileName - tail.size(), tail);
}

size_t MakeExportName(const char *name, char *out, size_t out_size) {
  size_t length = 0;
  auto append = [&](char c) {
    if (length + 1 < out_size) out[length] = c;
    ++length;
  };
  const size_t name_length = strlen(name);
  size_t kept_length = name_length;  // without the trailing dots
  while (kept_length > 0 && name[kept_length - 1] == '.') --kept_length;
  const size_t stem_length = strcspn(name, ".");
  for (size_t i = 0; i < name_length; ++i) {
    append(i >= kept_length || IsForbiddenInName(name[i]) ? '_' : name[i]);
    if (i + 1 == stem_length && IsDeviceStem(name, stem_length)) append('_');
  }
  if (name_length == 0) append('_');
  if (out_size > 0) out[length < out_size ? length : out_size - 1] = '\0';
  return length;
}

size_t JoinExportPath(const char *dest_dir, const char *file_name, char *out, size_t out_size) {
  const size_t dir_length = strlen(dest_dir), name_length = strlen(file_name);
  const size_t length = dir_length + 1 + name_length;
  if (out_size == 0) return length;
  size_t at = 0;
  auto put = [&](const char *bytes, size_t count) {
    const size_t fits = count < out_size - 1 - at ? count : out_size - 1 - at;
    memcpy(out + at, bytes, fits);
    at += fits;
  };
  const char separator = PATH_SEPARATOR;
  put(dest_dir, dir_length);
  put(&separator, 1);
  put(file_name, name_length);
  out[at] = '\0';
  return length;
}

namespace {

bool MakeNames(const char *const *item_names, int count, size_t max_length, bool part_names,
               ExportNames *names) {
  memset(names, 0, sizeof *names);
  names->PartNames = part_names;
  const size_t items_count = count > 0 ? size_t(count) : 0;
  size_t slots = 16;
  while (slots < items_count * 2) slots *= 2;
  names->SlotMask = slots - 1;
  names->Start = static_cast<size_t *>(malloc((items_count + 1) * sizeof(size_t)));
  names->Base = static_cast<size_t *>(malloc((items_count + 1) * sizeof(size_t)));
  names->Slots = static_cast<size_t *>(calloc(slots, sizeof(size_t)));
  names->Next = static_cast<uint32_t *>(malloc(slots * sizeof(uint32_t)));
  bool made = names->Start != nullptr && names->Base != nullptr && names->Slots != nullptr &&
              names->Next != nullptr;
  if (max_length > LongestItemName) max_length = LongestItemName;

  // A name, a device's '_', and the terminator.
  char item_name[LongestItemName + 1], base[LongestItemName + 2];
  for (size_t i = 0; made && i < items_count; ++i) {
    const size_t length = strnlen(item_names[i], max_length);
    memcpy(item_name, item_names[i], length);
    item_name[length] = '\0';
    if (part_names)
      snprintf(base, sizeof base, "%s", MakePartFileName(item_name).c_str());
    else
      MakeExportName(item_name, base, sizeof base);
    const size_t given = names->Slots[FindSlot(names, base)];
    made = given == 0 ? GiveName(names, int(i), base) : GiveSuffixedName(names, int(i), base);
    // A twin's name before its suffix is the name an earlier item took.
    if (made) names->Base[i] = given == 0 ? names->Start[i] : given - 1;
  }
  if (!made) FreeExportNames(names);
  return made;
}

}  // namespace

bool MakeExportNames(const char *const *item_names, int count, size_t max_length,
                     ExportNames *names) {
  return MakeNames(item_names, count, max_length, false, names);
}

bool MakePartFileNames(const char *const *item_names, int count, ExportNames *names) {
  return MakeNames(item_names, count, LongestItemName, true, names);
}

const char *ExportNameOf(const ExportNames *names, int item) {
  return names->Text + names->Start[item];
}

bool NextExportName(ExportNames *names, int item) {
  // Text may move while the name is given.
  char base[LongestItemName + 2];
  snprintf(base, sizeof base, "%s", names->Text + names->Base[item]);
  return GiveSuffixedName(names, item, base);
}

void FreeExportNames(ExportNames *names) {
  free(names->Text);
  free(names->Start);
  free(names->Base);
  free(names->Slots);
  free(names->Next);
  memset(names, 0, sizeof *names);
}
