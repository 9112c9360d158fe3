// --resume for maildir, copy --eml and mbox --append: the run keeps a ledger
// (delivery_ledger.h) of the messages it delivered into its output, and
// passes over those an earlier run with --resume delivered there.
#pragma once

#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "outputs/byte_buffer.h"
#include "outputs/output_events.h"
#include "outputs/delivery_ledger.h"

// What the run found of one message it was asked about: its bytes' hashes
// and which of the messages of those bytes it is (-1: not asked, or not read).
struct AskedMessage {
  ContentHash Hash;
  int Twin;
};

struct ResumeLedger {
  DeliveryLedger Ledger;
  // Messages of the same bytes so far: open addressing over a power of two
  // of slots, a slot free while its Count is 0. A run asks once a message,
  // where a node a message cost as long as the hash.
  std::vector<std::pair<ContentHash, int>> Twins;
  size_t TwinsUsed;
  // Of each folder, by position, the messages asked about and not yet told.
  std::unordered_map<const MailFolder *, std::vector<AskedMessage>> Asked;
  ByteBuffer Bytes;
  bool Unwritten;  // an entry could not be written: said once
  bool WordKeys;   // the ledger's keys are of the faster form
};

// Opens the ledger `path` (null: the one of the output `target`, a full
// path, in the user's cache directory) and hands it to the outputs through
// `events`. False, having said why, when it cannot be opened.
bool UseResumeLedger(const char *path, const std::string &kind, const std::string &target,
                     ResumeLedger *resume, ResumeEvents *events);

// Synced and closed; what could not be written is said, once, and marked
// in `Unwritten`.
void CloseResumeLedger(ResumeLedger *resume);
