#include "outputs/delivery_ledger.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// The longest line, its line feed included, that is read as an entry: far
// longer than any the ledger writes.
const size_t LongestLine = 255;

// Lines held in the process are handed to the system once they are this many
// bytes, if no sync asks for them before.
const size_t HeldAtMost = 65536;

// One whole line of the ledger (its line feed included) taken into `ledger`.
void ReadLine(DeliveryLedger *ledger, const char *bytes, size_t size) {
  if (size > LongestLine) return;
  char line[LongestLine + 1];
  memcpy(line, bytes, size);
  line[size] = '\0';
  char key[200], output[41], place[41];
  unsigned long validity = 0, uid = 0;
  const int fields = sscanf(line, "%199s %lu %lu %40s %40s", key, &validity, &uid, output, place);
  if (fields < 3) {
  } else if (strcmp(key, "intent") == 0) {
    ledger->IntentOpen = true;
    ledger->IntentValidity = uint32_t(validity);
    ledger->IntentUidNext = uint32_t(uid);
  } else if (strcmp(key, "settled") == 0) {
    ledger->IntentOpen = false;
  } else {
    if (strcmp(key, "@") != 0) ledger->Entries[key] = {uint32_t(validity), uint32_t(uid)};
    if (fields == 5) ledger->Places[output] = place;
  }
}

// Reads every whole line of the open ledger; `*whole_end` is the end of the
// last, and `*cut` tells that bytes follow it. False when the file cannot be
// read to its end.
bool ReadLines(DeliveryLedger *ledger, uint64_t *whole_end, bool *cut) {
  const int64_t size = FileSystem.SizeOf(ledger->File);
  if (size < 0) return false;
  std::string lines;  // from the start of a line not read whole yet
  char block[65536];
  uint64_t at = 0;
  while (at < uint64_t(size)) {
    const size_t wanted =
        uint64_t(size) - at < sizeof block ? size_t(uint64_t(size) - at) : sizeof block;
    const size_t got = FileSystem.ReadAt(ledger->File, at, block, wanted);
    if (got == 0) return false;
    at += got;
    lines.append(block, got);
    size_t start = 0;
    for (size_t end; (end = lines.find('\n', start)) != std::string::npos; start = end + 1)
      ReadLine(ledger, lines.data() + start, end + 1 - start);
    lines.erase(0, start);
  }
  *whole_end = at - lines.size();
  *cut = !lines.empty();
  return true;
}

// Hands the lines held in the process to the system. False when they could
// not all be written; they are gone either way.
bool WriteHeld(DeliveryLedger *ledger) {
  if (ledger->Held.empty()) return true;
  const bool written = FileSystem.Write(ledger->File, ledger->Held.data(), ledger->Held.size());
  ledger->Held.clear();
  return written;
}

// FNV-1a, and the same steps from another start with another odd
// multiplier: together 128 bits. In one pass, the two chains side by side.
void Fnv1a(const char *bytes, size_t size, uint64_t *first, uint64_t *second) {
  uint64_t a = 0xcbf29ce484222325ull, b = 0x84222325cbf29ce4ull;
  for (size_t i = 0; i < size; ++i) {
    a = (a ^ uint8_t(bytes[i])) * 0x100000001b3ull;
    b = (b ^ uint8_t(bytes[i])) * 0x9e3779b97f4a7c15ull;
  }
  *first = a;
  *second = b;
}

// `name` as a file name: letters, digits and .-@_ as they are, the rest %XX.
std::string SafeFileName(const std::string &name) {
  std::string safe;
  for (char c : name) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                       c == '.' || c == '-' || c == '@' || c == '_';
    if (plain) {
      safe += c;
    } else {
      char escaped[4];
      snprintf(escaped, sizeof escaped, "%%%02X", unsigned(uint8_t(c)));
      safe += escaped;
    }
  }
  return safe;
}

// `value` in decimal at `at`; the end of its digits.
char *Decimal(char *at, uint64_t value) {
  char digits[20];
  int count = 0;
  do {
    digits[count++] = char('0' + value % 10);
    value /= 10;
  } while (value != 0);
  while (count > 0) *at++ = digits[--count];
  return at;
}

}  // namespace

std::string MailboxLedgerPath(const std::string &path, const std::string &mailbox) {
  std::string safe = SafeFileName(mailbox);
  if (safe.size() > 200) safe = safe.substr(safe.size() - 200);
  return path + "." + safe;
}

std::string DefaultLedgerPath(const std::string &name) {
#ifdef _WIN32
  const char *cache = getenv("LOCALAPPDATA");
  if (cache == nullptr || cache[0] == '\0') return std::string();
  std::string dir = cache;
#else
  const char *cache = getenv("XDG_CACHE_HOME");
  std::string dir;
  if (cache != nullptr && cache[0] == '/') {
    dir = cache;
  } else {
    const char *home = getenv("HOME");
    if (home == nullptr || home[0] != '/') return std::string();
    dir = std::string(home) + "/.cache";
  }
#endif
  std::string safe = SafeFileName(name);
  // Longer than a file name may be: the end, which tells them apart, kept.
  if (safe.size() > 200) safe = safe.substr(safe.size() - 200);
  return dir + "/vfolder/" + safe + ".ledger";
}

bool OpenLedger(const std::string &path, DeliveryLedger *ledger, int *error) {
  ledger->Path = path;
  ledger->File = NoFile;
  ledger->Held.clear();
  ledger->Entries.clear();
  ledger->Unsynced = 0;
  ledger->Places.clear();
  ledger->IntentOpen = false;
  ledger->IntentValidity = ledger->IntentUidNext = 0;
  const size_t slash = path.find_last_of('/');
  if (slash != std::string::npos && slash > 0 &&
      !FileSystem.MakeDirectories(path.substr(0, slash).c_str(), OwnerOnly)) {
    *error = LastSystemError();
    return false;
  }
  ledger->File = FileSystem.OpenForAppending(path.c_str(), OwnerOnly);
  if (ledger->File == NoFile) {
    *error = LastSystemError();
    return false;
  }
  // A last line cut short by a crash is taken away: given an end, it would
  // be read whole the next time, with a number cut short.
  uint64_t whole_end = 0;
  bool cut = false;
  if (!ReadLines(ledger, &whole_end, &cut) ||
      (cut && !FileSystem.Truncate(ledger->File, whole_end))) {
    *error = LastSystemError();
    CloseLedger(ledger);
    return false;
  }
  return true;
}

bool RecordDelivery(DeliveryLedger *ledger, const std::string &key, LedgerEntry entry,
                    bool later, const char *place, bool held, bool remember) {
  if (remember && key != "@") ledger->Entries[key] = entry;
  if (place != nullptr) {
    const char *space = strchr(place, ' ');
    if (space != nullptr) ledger->Places[std::string(place, space)] = space + 1;
  }
  // "KEY VALIDITY UID[ PLACE]\n", put together by hand: one line a message.
  char numbers[48];
  char *at = numbers;
  *at++ = ' ';
  at = Decimal(at, entry.Validity);
  *at++ = ' ';
  at = Decimal(at, entry.Uid);
  std::string &line = ledger->Held;
  line.append(key).append(numbers, at);
  if (place != nullptr) line.append(" ").append(place);
  line += '\n';
  if ((!held || line.size() >= HeldAtMost) && !WriteHeld(ledger)) return false;
  ++ledger->Unsynced;
  return later || SyncLedger(ledger);
}

bool RecordIntent(DeliveryLedger *ledger, uint32_t validity, uint32_t uid_next) {
  ledger->IntentOpen = true;
  ledger->IntentValidity = validity;
  ledger->IntentUidNext = uid_next;
  char line[48];
  snprintf(line, sizeof line, "intent %lu %lu\n", static_cast<unsigned long>(validity),
           static_cast<unsigned long>(uid_next));
  ledger->Held += line;
  if (!WriteHeld(ledger)) return false;
  ++ledger->Unsynced;
  return SyncLedger(ledger);
}

bool RecordSettled(DeliveryLedger *ledger, uint32_t validity) {
  ledger->IntentOpen = false;
  char line[48];
  snprintf(line, sizeof line, "settled %lu 0\n", static_cast<unsigned long>(validity));
  ledger->Held += line;
  if (!WriteHeld(ledger)) return false;
  ++ledger->Unsynced;
  return true;
}

bool SyncLedger(DeliveryLedger *ledger) {
  if (ledger->Unsynced == 0) return true;
  ledger->Unsynced = 0;
  return WriteHeld(ledger) && FileSystem.Sync(ledger->File, false);
}

bool CloseLedger(DeliveryLedger *ledger) {
  bool kept = true;
  if (ledger->File != NoFile) {
    kept = SyncLedger(ledger);
    // The system's error of the sync, where that failed, is the one told.
    kept = FileSystem.Close(ledger->File) && kept;
  }
  ledger->File = NoFile;
  ledger->Held.clear();
  return kept;
}

ContentHash HashContent(const char *bytes, size_t size) {
  ContentHash hash = {0, 0, uint64_t(size)};
  Fnv1a(bytes, size, &hash.First, &hash.Second);
  return hash;
}

std::string KeyOfContent(const ContentHash &hash, int twin) {
  // "%016llx%016llx-%llu-%d" by hand: this runs for every message of a run
  // with a ledger, where formatted output took as long as the hash.
  static const char Hex[] = "0123456789abcdef";
  char key[96];
  char *at = key;
  for (uint64_t half : {hash.First, hash.Second})
    for (int shift = 60; shift >= 0; shift -= 4) *at++ = Hex[(half >> shift) & 15];
  *at++ = '-';
  at = Decimal(at, hash.Size);
  *at++ = '-';
  at = Decimal(at, uint64_t(twin < 0 ? 0 : twin));
  return std::string(key, at);
}

std::string ContentKey(const char *bytes, size_t size, int twin) {
  return KeyOfContent(HashContent(bytes, size), twin);
}

namespace {

uint64_t Mixed(uint64_t value) {
  value ^= value >> 33;
  value *= 0xff51afd7ed558ccdull;
  value ^= value >> 33;
  value *= 0xc4ceb9fe1a85ec53ull;
  return value ^ (value >> 33);
}

}  // namespace

ContentHash HashContentByWords(const char *bytes, size_t size) {
  uint64_t a = 0x9e3779b97f4a7c15ull ^ size, b = 0xc2b2ae3d27d4eb4full + size;
  size_t at = 0;
  for (; at + 16 <= size; at += 16) {
    uint64_t first, second;
    memcpy(&first, bytes + at, 8);  // as the machine orders bytes: keys stay on it
    memcpy(&second, bytes + at + 8, 8);
    a = (a ^ first) * 0x87c37b91114253d5ull;
    a ^= a >> 31;
    b = (b ^ second) * 0x4cf5ad432745937full;
    b ^= b >> 29;
  }
  uint64_t tail[2] = {0, 0};
  memcpy(tail, bytes + at, size - at);
  a = Mixed(a ^ tail[0]);
  b = Mixed(b ^ tail[1] ^ a);
  return {Mixed(a ^ b), b, uint64_t(size)};
}

std::string KeyOfWordHash(const ContentHash &hash, int twin) { return "v2." + KeyOfContent(hash, twin); }

bool WordKeysIn(const DeliveryLedger &ledger) {
  for (const auto &entry : ledger.Entries) return entry.first.compare(0, 3, "v2.") == 0;
  return true;
}
