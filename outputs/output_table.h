// What the messages can become, one row each: every host finds an output
// here by the name it knows it by (vfolder's command, a dialog's setting),
// and asks the row what the output takes and how it is written. A new output
// is one writer, one row, its texts and its tests.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

struct MailRun;
struct MailFolder;
struct Outcome;

// What an output takes besides its source and target: vfolder's options and
// the dialogs' boxes are offered for a row only where it has them.
enum OutputTakes : unsigned {
  TakesSeen = 1u << 0,            // --seen, "Mark as read": the messages marked as read
  TakesExact = 1u << 1,           // --exact: no header lines given
  TakesExisting = 1u << 2,        // --append, --replace: a file that holds messages
  TakesResume = 1u << 3,          // --resume (with TakesExisting: with --append only)
  TakesTrees = 1u << 4,           // a directory of folders (vfolder), whole folders (F11)
  TakesLayout = 1u << 5,          // --layout: how a tree of it is laid out
  TakesLog = 1u << 6,             // --log
  TakesPlugin = 1u << 7,          // --plugin: written through the plug-in's entry points
  TakesItems = 1u << 8,           // ITEM... after the target
  TakesStandardOutput = 1u << 9,  // "-" as the target
  TakesLogin = 1u << 10,          // --password-file, --ca
  TakesDryRun = 1u << 11,         // --dry-run, --limit-rate
  TakesLedger = 1u << 12,         // --ledger without --resume
};

// How a tree of folders is laid out under the output (folder_tree.h).
enum TreeShape {
  NoTree,
  MboxTree,       // a file X for each folder, its folders under X.sbd
  MaildirTree,    // Maildir++ (or, with --layout fs, a directory tree)
  DirectoryTree,  // a directory for each folder at its own path
};

// Writes the chosen messages into `target` once its directory is there
// (mail_run.h: ConvertFolder), adding each one's outcome to `outcomes`.
typedef void (*OutputWriter)(MailRun *run, MailFolder *folder, const std::vector<int> &chosen,
                             const std::string &target, std::vector<Outcome> *outcomes);

struct OutputRow {
  // vfolder's command, and the option that picks this row among the rows of
  // one command (null: none; the row without is the command's own).
  const char *Command;
  const char *Switch;
  // The usage's name of its target (DEST, FILE...).
  const char *Target;
  // vfolder's usage lines (with their line feeds) and its help's paragraph.
  const char *Usage;
  const char *Help;
  // The name its resume ledgers are kept under; null when it takes none.
  const char *LedgerKind;
  // Null where the outputs do not write it: message files go through the
  // plug-in's own copy, imap through its session.
  OutputWriter Write;
  unsigned Takes;  // OutputTakes
  TreeShape Tree;
  // Each chosen message once, in the folder's order, as a mail program's
  // file holds them; else each as chosen.
  bool EachOnce;
  // The number the hosts' settings keep for it (never change one); -1 for a
  // row no dialog offers (vfolder only).
  int Setting;
  // The save dialog's label (a MessageId, host/shared/messages.h, its
  // hotkey `Hotkey` in English), and in the dialog for whole folders the
  // label and the place among them (1 first); -1, 0 where it is not offered.
  int Label;
  wchar_t Hotkey;
  int TreeLabel, TreePlace;
  // The help topic that tells what it makes.
  const wchar_t *HelpTopic;
  // What a host's save makes of it in the destination chosen: a file or
  // directory named after the folder with this ending ("" for none); null
  // for the destination itself.
  const char *SavedEnding;
};

// The rows in vfolder's order (its usage and help); the save dialog shows
// them in this order too.
const OutputRow *OutputRows(size_t *count);

// The row of vfolder's `command` with `switch_option` (null: the command's
// own row); null for none.
const OutputRow *OutputOfCommand(const char *command, const char *switch_option);

// The row the hosts' settings keep as `setting`; null for none.
const OutputRow *OutputOfSetting(int setting);

// vfolder's name for a row: its command, with its switch after it.
std::string OutputName(const OutputRow &row);

bool OutputTakes(const OutputRow &row, unsigned takes);
