#include "tools/vfolder/delivery_ledger.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#ifdef _WIN32
#include <direct.h>
#include <io.h>
#else
#include <unistd.h>
#endif

namespace {

// Each directory of `dir` made where missing, for the owner alone.
bool MakeDirectories(const std::string &dir) {
  for (size_t at = 1; at <= dir.size(); ++at) {
    if (at != dir.size() && dir[at] != '/') continue;
    const std::string part = dir.substr(0, at);
#ifdef _WIN32
    if (part.size() == 2 && part[1] == ':') continue;  // a drive
    if (_mkdir(part.c_str()) != 0 && errno != EEXIST) return false;
#else
    if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
#endif
  }
  return true;
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
  ledger->File = nullptr;
  ledger->Entries.clear();
  ledger->Unsynced = 0;
  ledger->Places.clear();
  ledger->IntentOpen = false;
  ledger->IntentValidity = ledger->IntentUidNext = 0;
  const size_t slash = path.find_last_of('/');
  if (slash != std::string::npos && slash > 0 && !MakeDirectories(path.substr(0, slash))) {
    *error = errno;
    return false;
  }
#ifdef _WIN32
  ledger->File = fopen(path.c_str(), "a+b");
  if (ledger->File == nullptr) {
    *error = errno;
    return false;
  }
#else
  // Never through a link someone put in its place.
  const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0 || (ledger->File = fdopen(fd, "a+")) == nullptr) {
    *error = errno;
    if (fd >= 0) close(fd);
    return false;
  }
#endif
  rewind(ledger->File);
  char line[256];
  bool whole = true;
  int64_t read = 0, whole_end = 0;  // bytes read, and the end of the last whole line
  while (fgets(line, sizeof line, ledger->File) != nullptr) {
    const bool ended = strchr(line, '\n') != nullptr;
    read += int64_t(strlen(line));
    if (ended) whole_end = read;
    // The rest of an overlong line is no entry of its own.
    if (whole && ended) {
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
    whole = ended;
  }
  if (ferror(ledger->File)) {
    *error = errno;
    CloseLedger(ledger);
    return false;
  }
  // A last line cut short by a crash is taken away: given an end, it would
  // be read whole the next time, with a number cut short.
#ifdef _WIN32
  if (!whole && _chsize_s(_fileno(ledger->File), whole_end) != 0) {
#else
  if (!whole && ftruncate(fileno(ledger->File), off_t(whole_end)) != 0) {
#endif
    *error = errno;
    CloseLedger(ledger);
    return false;
  }
  fseek(ledger->File, 0, SEEK_END);  // from reading to writing
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
  std::string line;
  line.reserve(key.size() + 48 + (place != nullptr ? strlen(place) + 1 : 0));
  line.append(key).append(numbers, at);
  if (place != nullptr) line.append(" ").append(place);
  line += '\n';
  if (fwrite(line.data(), 1, line.size(), ledger->File) != line.size() ||
      (!held && fflush(ledger->File) != 0))
    return false;
  ++ledger->Unsynced;
  return later || SyncLedger(ledger);
}

bool RecordIntent(DeliveryLedger *ledger, uint32_t validity, uint32_t uid_next) {
  ledger->IntentOpen = true;
  ledger->IntentValidity = validity;
  ledger->IntentUidNext = uid_next;
  if (fprintf(ledger->File, "intent %lu %lu\n", static_cast<unsigned long>(validity),
              static_cast<unsigned long>(uid_next)) <= 0 ||
      fflush(ledger->File) != 0)
    return false;
  ++ledger->Unsynced;
  return SyncLedger(ledger);
}

bool RecordSettled(DeliveryLedger *ledger, uint32_t validity) {
  ledger->IntentOpen = false;
  if (fprintf(ledger->File, "settled %lu 0\n", static_cast<unsigned long>(validity)) <= 0 ||
      fflush(ledger->File) != 0)
    return false;
  ++ledger->Unsynced;
  return true;
}

bool SyncLedger(DeliveryLedger *ledger) {
  if (ledger->Unsynced == 0) return true;
  ledger->Unsynced = 0;
  if (fflush(ledger->File) != 0) return false;
#ifdef _WIN32
  return _commit(_fileno(ledger->File)) == 0;
#else
  return fsync(fileno(ledger->File)) == 0;
#endif
}

void CloseLedger(DeliveryLedger *ledger) {
  if (ledger->File != nullptr) SyncLedger(ledger);
  if (ledger->File != nullptr) fclose(ledger->File);
  ledger->File = nullptr;
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
