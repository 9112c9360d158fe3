// What reached an output, so that a run started again sends nothing twice:
// one line per message delivered, "KEY VALIDITY UID", appended and handed to
// the system as each is confirmed, and on the disk then or with the next sync. KEY tells the message by its bytes; for a
// mailbox VALIDITY and UID are its UIDVALIDITY and the UID the server gave
// (0: not told), for a file output both 0. A file output's line may go on
// with " OUTPUT PLACE": the output (a hash of its path) and how far the
// run's deliveries there had got with this one (an mbox's end, a Maildir's
// name count); KEY "@" marks a place with no message.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>

#include "platform/file_system.h"

struct LedgerEntry {
  uint32_t Validity, Uid;
};

struct DeliveryLedger {
  std::string Path;
  FileRef File = NoFile;  // open for appending
  std::string Held;       // lines not handed to the system yet
  std::unordered_map<std::string, LedgerEntry> Entries;
  int Unsynced;  // lines written but maybe not on the disk yet
  std::unordered_map<std::string, std::string> Places;  // the last PLACE of each OUTPUT
  // A mailbox's last "intent VALIDITY UIDNEXT" line, written before messages
  // went: those the ledger lacks may hold UIDs from UIDNEXT on. Closed by a
  // "settled VALIDITY 0" line once every message sent was answered for.
  bool IntentOpen;
  uint32_t IntentValidity, IntentUidNext;
};

// The ledger file for `name` (an account and mailbox, or an output path) in
// the user's cache directory: $XDG_CACHE_HOME/vfolder, else ~/.cache/vfolder,
// the name made safe as a file name. Empty when neither is set.
std::string DefaultLedgerPath(const std::string &name);

// Opens the ledger at `path`, its directory made where missing, and reads
// what it holds (a last line cut short by a crash is taken away). False, with
// the system's error (LastSystemError) in `*error`, when it cannot be read
// or opened.
bool OpenLedger(const std::string &path, DeliveryLedger *ledger, int *error);

// Adds one delivery, written through to the system at once (a crash of the
// process loses none), and waits until it is on the disk unless `later`:
// then it is there with the next SyncLedger. `place`, when not null, is
// "OUTPUT PLACE" (key "@": that alone). With `held` (and `later`) the line
// may stay in the process until the next SyncLedger, for a batch whose lines
// go together. Without `remember`, only the file has it (a run whose keys
// cannot repeat). False when it could not be written, the system's error
// then LastSystemError().
bool RecordDelivery(DeliveryLedger *ledger, const std::string &key, LedgerEntry entry,
                    bool later = false, const char *place = nullptr, bool held = false,
                    bool remember = true);

// An intent line, on the disk with every line before it once this returns
// true.
bool RecordIntent(DeliveryLedger *ledger, uint32_t validity, uint32_t uid_next);

// The last intent closed: every message sent under it is answered for.
bool RecordSettled(DeliveryLedger *ledger, uint32_t validity);

// `path` as given, or with a directory of folders one ledger per mailbox
// beside it: `path`.MAILBOX, the mailbox's name made safe as a file name.
std::string MailboxLedgerPath(const std::string &path, const std::string &mailbox);

// Waits until every delivery recorded is on the disk. False when it fails,
// the system's error then LastSystemError().
bool SyncLedger(DeliveryLedger *ledger);

// Synced and closed. False when what was recorded could not all be put on
// the disk.
bool CloseLedger(DeliveryLedger *ledger);

// Tells messages apart by their bytes: two hashes of them and their size,
// and which of the messages of the same bytes in one folder this is (0 for
// the first), so that a folder's twins are each delivered.
std::string ContentKey(const char *bytes, size_t size, int twin);

// The same in two steps, for a run that counts the twins by the hashes.
struct ContentHash {
  uint64_t First, Second, Size;
  bool operator==(const ContentHash &other) const {
    return First == other.First && Second == other.Second && Size == other.Size;
  }
};
struct ContentHashOf {
  size_t operator()(const ContentHash &hash) const { return size_t(hash.First); }
};
ContentHash HashContent(const char *bytes, size_t size);
std::string KeyOfContent(const ContentHash &hash, int twin);

// The faster form a new --resume ledger's keys take, "v2." and the same
// fields: the bytes hashed a word at a time in two lanes. A ledger of the
// first form keeps it (WordKeysIn tells which), so that earlier runs' keys
// are still found.
ContentHash HashContentByWords(const char *bytes, size_t size);
std::string KeyOfWordHash(const ContentHash &hash, int twin);
bool WordKeysIn(const DeliveryLedger &ledger);
