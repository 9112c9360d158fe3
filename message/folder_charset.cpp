#include "message/folder_charset.h"

#include <cstring>

#include "folder/listing.h"
#include "folder/message_copy.h"
#include "folder/vessor_folder.h"
#include "message/charset_converter.h"

namespace {

const size_t CharsetNameSize = 40;

char LowerLetter(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

bool StartsWithLower(const char *at, const char *end, const char *lower) {
  for (; *lower != '\0'; ++at, ++lower)
    if (at == end || LowerLetter(*at) != *lower) return false;
  return true;
}

bool IsNameLetter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '_' || c == '.' || c == ':';
}

// The character set name at `at` (up to CharsetNameSize - 1 letters) into
// `name`; its end.
const char *TakeName(const char *at, const char *end, char *name) {
  size_t length = 0;
  while (at != end && IsNameLetter(*at) && length + 1 < CharsetNameSize) name[length++] = *at++;
  name[length] = '\0';
  return at;
}

// The code pages one message's head declares, each once.
struct Declared {
  unsigned CodePages[8];
  size_t Count;
};

void Declare(Declared *declared, const char *name) {
  const unsigned code_page = NameCodePageOf(name);
  if (code_page == 0) return;
  for (size_t i = 0; i < declared->Count; ++i)
    if (declared->CodePages[i] == code_page) return;
  if (declared->Count < sizeof declared->CodePages / sizeof declared->CodePages[0])
    declared->CodePages[declared->Count++] = code_page;
}

// Every charset= parameter and every "=?name?Q?" or "=?name?B?" word.
void ScanHead(const char *head, size_t size, Declared *declared) {
  const char *end = head + size;
  char name[CharsetNameSize];
  for (const char *at = head; at != end; ++at) {
    if (*at == '=' && at + 1 != end && at[1] == '?') {
      const char *after = TakeName(at + 2, end, name);
      // RFC 2231's language after '*' is no part of the name.
      if (after != end && *after == '*') {
        while (after != end && *after != '?') ++after;
      }
      if (end - after >= 3 && after[0] == '?' && strchr("QqBb", after[1]) != nullptr &&
          after[1] != '\0' && after[2] == '?')
        Declare(declared, name);
    } else if ((*at == 'c' || *at == 'C') && StartsWithLower(at, end, "charset=")) {
      const char *value = at + 8;
      if (value != end && *value == '"') ++value;
      TakeName(value, end, name);
      Declare(declared, name);
    }
  }
}

}  // namespace

unsigned NameCodePageOf(const char *charset) {
  const unsigned code_page = CodePageNamed(charset);
  if (code_page == 28591) return 1252;
  // Below 37 the numbers stand for the system's own code pages (0 its ANSI
  // one, 1 its OEM one): "cp1" names none.
  if (code_page == 20127 || code_page < 37) return 0;
  return code_page;
}

unsigned DeclaredCodePage(FolderHandle *folder) {
  if (!StartListing(folder) || folder->RecordCount <= 0 || !OpenDataFile(folder)) return 0;
  const uint64_t records = uint64_t(folder->RecordCount);
  const uint64_t samples = records < CharsetSampleMessages ? records : CharsetSampleMessages;
  struct Tally {
    unsigned CodePage, Messages;
  } tallies[16] = {};
  size_t tally_count = 0;
  char head[CharsetSampleBytes];
  for (uint64_t i = 0; i < samples; ++i) {
    unsigned char record[IndexRecordSize];
    const uint64_t at = i * records / samples * IndexRecordSize;
    if (FileSystem.ReadAt(folder->IndexFile, at, record, IndexRecordSize) != IndexRecordSize)
      break;
    const uint32_t size = MessageSizeOf(record);
    const size_t wanted = size < CharsetSampleBytes ? size : CharsetSampleBytes;
    const size_t got = FileSystem.ReadAt(folder->DataFile, DataOffsetOf(record), head, wanted);
    Declared declared = {};
    ScanHead(head, got <= wanted ? got : 0, &declared);
    for (size_t d = 0; d < declared.Count; ++d) {
      size_t t = 0;
      while (t < tally_count && tallies[t].CodePage != declared.CodePages[d]) ++t;
      if (t == tally_count) {
        if (tally_count == sizeof tallies / sizeof tallies[0]) continue;
        tallies[tally_count++] = Tally{declared.CodePages[d], 0};
      }
      ++tallies[t].Messages;
    }
  }
  unsigned best = 0, most = 0;
  for (size_t t = 0; t < tally_count; ++t)
    if (tallies[t].Messages > most) {
      most = tallies[t].Messages;
      best = tallies[t].CodePage;
    }
  return best;
}
