// --resume for maildir, copy --eml and mbox --append: the run keeps a ledger
// (delivery_ledger.h) of the messages it delivered into its output, and
// passes over those an earlier run with --resume delivered there.
#pragma once

#include <map>
#include <string>
#include <unordered_map>
#include <utility>

#include "outputs/byte_buffer.h"
#include "outputs/output_events.h"
#include "tools/vfolder/delivery_ledger.h"

struct ResumeLedger {
  DeliveryLedger Ledger;
  std::unordered_map<ContentHash, int, ContentHashOf> Twins;  // messages of the same bytes so far
  std::map<std::pair<const MailFolder *, int>, std::string> Keys;  // of messages asked about
  ByteBuffer Bytes;
  bool Unwritten;  // an entry could not be written: said once
};

// Opens the ledger `path` (null: the one of the output `target`, a full
// path, in the user's cache directory) and hands it to the outputs through
// `events`. False, having said why, when it cannot be opened.
bool UseResumeLedger(const char *path, const std::string &kind, const std::string &target,
                     ResumeLedger *resume, ResumeEvents *events);

void CloseResumeLedger(ResumeLedger *resume);
