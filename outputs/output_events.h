// How the outputs tell their host what they do: progress, a stop asked for,
// each message's outcome and the run's notices go out through the callbacks
// the host gives, as values it words in its own language. Nothing here
// prints.
#pragma once

#include <cstdint>

#include "outputs/given_headers.h"
#include "platform/file_system.h"

struct ImapTally;
struct MailFolder;
struct Tally;

// Why a message was not written; NoProblem: it was.
enum OutputProblem {
  NoProblem,
  ProblemCannotCreate,      // its file could not be made
  ProblemCannotRead,        // its bytes could not be read
  ProblemCannotWrite,       // a write (or the close) failed
  ProblemNoMemory,          // no memory for the message
  ProblemDamagedSize,       // its record's size is damaged
  ProblemOwnFile,           // the file made is one of the folder's own
  ProblemIsTheLog,          // the file made is the log
  ProblemNoDataFile,        // the data folder file cannot be opened
  ProblemNoColons,          // file names there cannot hold ':'
  ProblemNotMovedIntoNew,   // a Maildir's message stayed in tmp
  ProblemNotMovedIntoCur,
  ProblemReplacementKept,   // the mbox it was to replace is left as it was
  ProblemCharsetNeeded,     // its item's 8-bit texts need a character set named
  ProblemTooDeep,           // its parts nest deeper than the reader follows
  ProblemTooManyParts,      // it has more parts than the reader takes
};

// One message handled: written, or why not.
struct MessageOutcome {
  const MailFolder *Folder;
  int Position;  // in the folder's listing
  OutputProblem Problem;
  int Error;           // the system's error number the failing call left; 0 for none
  HeadersGiven Given;  // a written message's headers given
  const char *Path;    // the file that failed, where one is named; null else
};

// Run-level news, each with a path (null: standard output) and the system's
// error number (0 for none).
enum OutputNotice {
  NoticeCannotMakeDirectory,
  NoticeCannotMakeFile,       // a mark or a place in a tree
  NoticeCannotCreateFile,     // the mbox file
  NoticeCannotMakeFilesIn,    // a directory that refuses every new file
  NoticeCannotWriteFile,
  NoticeCannotReplace,        // the new mbox could not take the old one's place
  NoticeLeftAsItWas,          // the mbox that was to be replaced
  NoticeOwnFile,              // the target is one of the folder's files
  NoticeIsTheLog,
  NoticeNoFile,               // the target is something other than a file
  NoticeNoDirectory,
  NoticeIsLink,               // the mbox target is a symbolic link
  NoticeHoldsMessages,        // the mbox target holds messages already
  NoticeNoColons,             // names in the Maildir cannot hold ':'
  NoticeNoMemory,
  NoticeNoDataFile,           // the folder's data folder file cannot be opened
  NoticeCannotReadDirectory,  // a directory of a tree
  NoticeFolderNotListed,      // a folder of a tree
};

// What the partial-file tidy-up of a host that ends at once is to know.
enum PartialStep {
  PartialStarting,   // a file is being made: wait for its mark
  PartialMarked,     // `file` at `path` is not whole yet (NoFile: closed)
  PartialStopped,    // nothing was made after all
  PartialForgotten,
  CutBackMarked,     // `file`'s bytes after `size` are not whole yet
  CutBackForgotten,
};

// What a run into a mail account tells besides each message's progress.
enum ImapNotice {
  ImapMailboxNotMade,    // Mailbox (as the server names it, modified UTF-7), Words: the server's
  ImapMailboxNotRead,    // Mailbox (the same), Words
  ImapConnectionLost,    // Host: tries again after a pause
  ImapGivenUp,           // Words: why the last try failed (empty: the server cannot be reached)
  ImapPauseAsked,        // Seconds: the pause the server asks for before it takes more
  ImapNotWritten,        // Path (the ledger or the day's record), Error; Flag: the run stops
  ImapLedgerNotOpened,   // Path (empty: no cache directory to keep it in), Error
  ImapConnectionEnded,   // Host, Words: the server's last
  ImapMailboxFull,       // Mailbox, Words, Count: messages left to send
  ImapFolderNotRead,     // Path; Flag: it is no folder
  ImapMessageFailed,     // Path, Name (the message's), Reason, Words, Count (APPENDLIMIT)
  ImapFolderLooked,      // a dry run's: Path, Mailbox, Tally; Flag: the mailbox is to be made
  ImapFolderSent,        // a folder of a tree: Path, Tally
};

// Why a message did not go into the mailbox.
enum ImapReason {
  ImapReasonCannotRead,  // from the data folder file
  ImapReasonNoMemory,
  ImapReasonOverLimit,   // larger than the server's APPENDLIMIT
  ImapReasonRefused,     // the server's NO, in Words
};

// One notice with what it names; the texts are null where it names none,
// a Path a folder's as the host named it, a Mailbox in UTF-8 unless said.
struct ImapNews {
  ImapNotice Notice;
  const char *Path, *Mailbox, *Host, *Words, *Name;
  int Error;  // the system's error number, 0 for none
  double Seconds;
  uint64_t Count;
  ImapReason Reason;
  bool Flag;
  const ImapTally *Tally;
};

// Every entry may be null.
struct OutputEvents {
  void *Context;
  // After each message handled.
  void (*Progress)(void *context, int done, int total, const char *name);
  // The user asked to stop: checked before each message and each write.
  bool (*Stopping)(void *context);
  // As a message fails, before anything else is done.
  void (*MessageFailed)(void *context, const MessageOutcome &outcome);
  // Each message handled, once its outcome is final: after its folder.
  void (*Outcome)(void *context, const MessageOutcome &outcome);
  void (*Notice)(void *context, OutputNotice notice, const char *path, int error);
  // A folder of a tree converted, with its counts.
  void (*FolderDone)(void *context, const MailFolder &folder, const Tally &tally);
  void (*Partial)(void *context, PartialStep step, FileRef file, const char *path, uint64_t size);
  // A run into a mail account's news.
  void (*Imap)(void *context, const ImapNews &news);
  // Waits `seconds`, or less once a stop is asked for. Null: the run waits
  // in tenths of a second, asking Stopping after each.
  void (*Pause)(void *context, double seconds);
};

// A run that resumes one stopped before; each entry may be null. Asked
// before each message whether an earlier run delivered it (it is then passed
// over), and told once each message is in the output whole and on the disk.
// A place tells how far deliveries into an output (named by its path) have
// got, so that a run started again after a crash finds there the messages
// that no ledger line tells: an mbox's end in bytes, a Maildir's
// "PROCESS.COUNT" of its names. It is one word, at most 40 bytes.
struct ResumeEvents {
  void *Context;
  // `bytes` (null: not read yet) are the message's as the folder stores it.
  bool (*DeliveredBefore)(void *context, MailFolder *folder, int position, const char *bytes,
                          size_t size);
  // `place` (null: none) is how far deliveries into `output` have got with it.
  void (*Delivered)(void *context, MailFolder *folder, int position, const char *output,
                    const char *place);
  // A place reached without a message: where the next deliveries begin.
  void (*Reached)(void *context, const char *output, const char *place);
  // The last place told for `output` by this run or one before, into `place`
  // (41 bytes); false when none is known.
  bool (*PlaceOf)(void *context, const char *output, char *place);
  // Every delivery and place told so far put on the disk. False when not.
  bool (*Confirm)(void *context);
};
