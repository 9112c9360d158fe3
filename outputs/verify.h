// Reading an output back: every message of a folder matched to exactly one
// message of the output that holds it, as the output holds it by rule (the
// headers given, unless exact; with --seen the status lines; lone CRs as
// CR LF; for an mbox, the '>' before quoted From lines and the line feeds
// after each message; for IMAP, CR LF line ends). What is compared is each
// message's digest (message_digest.h); an mbox's From line, a file's name
// and times, and a mailbox's dates and flags are not compared.
// Nothing is printed: the host says what the records hold.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "outputs/folder_tree.h"
#include "outputs/mail_run.h"
#include "outputs/message_digest.h"

enum VerifyKind { VerifyMbox, VerifyMaildir, VerifyEml, VerifyImap };

// Message `position` of a folder, as the output is to hold it.
struct ExpectedMessage {
  int Position;
  bool Read;  // false: it could not be read from the data folder file
  MessageDigest Digest;
};

// A message the output holds.
struct FoundMessage {
  std::string Name;  // a file below the output, "#N (byte B)" in an mbox, "UID N" in a mailbox
  MessageDigest Digest;
};

enum MessageState { MessagePresent, MessageMissing, MessageChanged, MessageUnreadable };

// What became of one folder message; Found indexes the output's messages.
struct CheckedMessage {
  int Position;
  MessageState State;
  std::vector<size_t> Found;  // present: each copy (two or more: twice); changed: the one
};

struct FolderCheck {
  int Messages, Present, Missing, Twice, Changed, Extra, Unreadable;
  // The messages missing, twice, changed or unreadable, in listing order.
  std::vector<CheckedMessage> Problems;
  std::vector<size_t> Extras;  // output messages that belong to none of the folder's
};

// Each message of the folder as an output of `kind` holds it: the bytes the
// outputs write (MessageBytes with run.Exact and run.Seen; for IMAP without
// status lines, which are its flags, and with every line ending in CR LF),
// an mbox's From line left out. The data folder file is opened here.
std::vector<ExpectedMessage> ExpectedMessages(const MailRun &run, MailFolder *folder,
                                              VerifyKind kind);

// Matches the folder's messages to the output's: first by their whole
// digests (each output message to one folder message; more copies of one
// make it twice), then, of what is left, a folder message to an output
// message with the same header section, or the same body, or else the one
// in its place in the output's order (the order `found` is given in):
// those are changed. The rest are missing, or extra.
FolderCheck MatchMessages(const std::vector<ExpectedMessage> &expected,
                          const std::vector<FoundMessage> &found);

// The output's messages, in its order: an mbox file's, split at its From
// lines; a Maildir's in new and cur, by name; the .eml files of a
// directory, by name. False, with the system's error number, when the output
// cannot be read at all; each message file that cannot be read goes into
// `*unread`.
bool ReadOutputMessages(const std::string &place, VerifyKind kind,
                        std::vector<FoundMessage> *found, std::vector<std::string> *unread,
                        int *error);

// What is at `place` for a folder: an mbox file, a Maildir (a directory with
// new and cur) or else a directory of .eml files; false when nothing is.
bool OutputKindAt(const std::string &place, VerifyKind *kind);

// Where each folder of a tree went, as ConvertTree (folder_tree.h) names the
// places when none of the names was in use before, and what each place is:
// an mbox tree where OUT holds the first folder's mbox file, one Maildir++
// where OUT is a Maildir, else directories of Maildirs or .eml files.
struct TreeOutput {
  const TreeNode *Folder;
  std::string Place;
  VerifyKind Kind;
  bool Exists;  // something is at Place
};
std::vector<TreeOutput> TreeOutputs(const TreeNode &top, const std::string &out);
