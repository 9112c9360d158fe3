// The outputs for mail programs: an mboxrd file, a Maildir, and .eml files;
// and the messages' attachments, each a file of its own.
// Each takes every message from the data folder file through the folder
// reader's export of one message (its checks, its copy loop, its answers)
// straight into its output: no message is staged anywhere.
#pragma once

#include <string>
#include <vector>

#include "folder/message_copy.h"
#include "outputs/byte_buffer.h"
#include "outputs/given_headers.h"
#include "outputs/mail_folder.h"
#include "outputs/output_events.h"
#include "outputs/output_table.h"
#include "platform/file_identity.h"

// What an mbox FILE that holds messages already is to get.
enum MboxExisting { MboxRefuse, MboxAppend, MboxReplace };

// One run over one folder or a whole tree of them.
struct MailRun {
  const OutputRow *Output;  // a row of output_table.h that the outputs write
  MboxExisting Existing;
  OutputEvents Events;       // what the host is told as the run goes
  ResumeEvents Resume;       // what an earlier run delivered (all null: nothing)
  int Done, Total;           // messages handled so far, and in the whole run
  bool PipeClosed;           // standard output's reader has gone: the run ends quietly
  unsigned long Deliveries;  // Maildir names given so far
  // Maildir deliveries go through tmp: this system made or linked no file
  // without a name.
  bool NamedDeliveries;
  int FoldersNotListed;      // folders of a tree whose index could not be listed
  const TextCharset *Charset;  // the index texts' character set, or null
  // Each folder of a tree in the character set its messages declare
  // (OpenDeclaredCharset), Charset where they declare none.
  bool FolderCharsets;
  bool Exact;                  // every message byte for byte: no headers given
  bool Seen;                   // the messages marked as read
  // The file table takes paths in UTF-8 (the native plug-in's); else, on
  // Windows, in the process's code page, as vfolder's.
  bool Utf8Paths;
  int PassedOver;  // messages an earlier run delivered, passed over so far
  // The files no output file may be, whatever path leads to it: the folder's
  // index and data folder file (set by ConvertFolder) and the host's log.
  FileIdentity Guarded[3];
};

// The messages of a folder or of a run: chosen, handled (written or failed;
// fewer than chosen when the run was interrupted), written, failed, and
// written with headers given (given_headers.h).
struct Tally {
  int Messages, Handled, Written, Failed, Given;
  int Before;  // passed over as delivered by an earlier run (among Handled)
};

// True once nothing more is to be written: a stop asked for, or a closed pipe.
bool RunStopped(const MailRun &run);

// True when the host says an earlier run delivered the message: it is then
// counted as handled and passed over.
// `bytes`, when not null, are the message's as the folder stores them.
bool PassOver(MailRun *run, MailFolder *folder, int position, const char *bytes = nullptr,
              size_t size = 0);
// The run keeps a ledger (ResumeEvents) and puts what it tells on the disk.
bool Resuming(const MailRun &run);
// ResumeEvents' calls, each where the host gave one.
void TellDelivered(const MailRun &run, MailFolder *folder, int position,
                   const std::string &output = std::string(), const char *place = nullptr);
void TellReached(const MailRun &run, const std::string &output, const char *place);
bool PlaceKnown(const MailRun &run, const std::string &output, char place[41]);
void ConfirmDelivered(const MailRun &run);

// The run's events, each where the host gave one.
void Tell(const MailRun &run, OutputNotice notice, const char *path, int error = 0);
void TellFailed(const MailRun &run, const MessageOutcome &outcome);
void TellOutcome(const MailRun &run, const MessageOutcome &outcome);
void TellPartial(const MailRun &run, PartialStep step, FileRef file = NoFile,
                 const char *path = "", uint64_t size = 0);

// Whether a new file can be made in the directory `dir`: one is made there
// (its name ending in `ending`) and taken away again, so that a directory
// that refuses every file is told once, before the first message, and not
// once for each. False, with the system's error number (0 for none), when
// none can be made.
bool CanMakeFilesIn(const std::string &dir, int *error, const char *ending = "");

// Tells why `target` cannot take the run's output, before anything is written:
// it is one of the folder's files `own` (by identity, whatever the spelling or
// links), an mbox FILE that holds messages already without --append or
// --replace, a symbolic link where the output would write through it, or
// something that is no file (mbox) or no directory (the others). True when
// the output may go there. "-" (standard output) is allowed for mbox when it
// is none of the folder's files.
bool TargetAllowed(const MailRun &run, const std::string &target, const FileIdentity own[2]);

// True when the run is not to begin: a chosen message would be given a
// From: or Subject: line from its item's texts, which have bytes above 0x7F,
// and no run->Charset says which characters those are (never for
// attachments, which are given no lines). Only the first bytes
// of the messages with such texts are read. Tells the first such message as
// failed with ProblemCharsetNeeded.
bool NeedsCharset(const MailRun &run, MailFolder *folder, const std::vector<int> &chosen);

// Writes the messages at the positions `chosen` of the folder's listing into
// `target`, a full path, made with its parent directories where missing, each
// after the header lines it is given (given_headers.h), none with run->Exact.
// Every file and directory made is its owner's alone, as mail programs keep
// mail; an output file found to be one of run->Guarded is never written, and
// a message whose record gives a damaged size fails:
//   mbox     the file, created, or written into when empty, appended to, or
//            replaced at the end as run->Existing says; "-" standard output.
//            An old mbox appended to gets the line feeds its last message
//            lacks with the first new one.
//            A message counts only once it is in the file whole; when a write
//            fails, the file is cut back to its last whole message and
//            nothing more goes in; an interrupted run keeps what is whole.
//            With MboxReplace the new messages go into a new file beside
//            FILE, which takes FILE's name (and lets in whom FILE did) only
//            when the run wrote every message it could read; else FILE stays
//            as it was and none count.
//   maildir  one new file in target/new each, written in target/tmp and
//            renamed into new, never over a file that is there.
//   eml      one new file each in the directory, named as copy names it with
//            ".eml" after, the next free suffix where a name is in use.
//   attachments
//            each attachment of each message (message_parts.h: IsAttachment,
//            uuencoded blocks too), decoded, as a new file under the reader's
//            name in a new directory named as copy names the message, the
//            next free suffix where a name is in use; none for a message
//            without one. A message fails when one of its files could not be
//            written whole, which leaves no file.
// Tells why each message that failed did so, and each message's outcome at
// the end, and returns the counts.
Tally ConvertFolder(MailRun *run, MailFolder *folder, const std::vector<int> &chosen,
                    const std::string &target);

// Message `position`'s bytes as the files of the outputs hold them (the
// headers given, none with run.Exact), into `*out`, which holds nothing else
// after; `held` keeps first bytes. The folder's data folder file is open.
ExportResult MessageBytes(const MailRun &run, MailFolder *folder, int position, ByteBuffer *out,
                          ByteBuffer *held, HeadersGiven *given);
