// The parts the mail outputs share among themselves: the outcome of each
// message handled, the run's small answers, and the copy that gives a message
// its headers. The outputs' own: hosts use mail_run.h.
#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "folder/message_copy.h"
#include "outputs/byte_buffer.h"
#include "outputs/given_headers.h"
#include "outputs/mail_dates.h"
#include "outputs/mail_run.h"
#include "platform/file_system.h"

// What became of one message handled: written, or the reason it was not.
struct Outcome {
  int Position;
  OutputProblem Problem;
  int Error;            // the system's error number the failing call left; 0 for none
  HeadersGiven Given;   // a written message's headers given
};

// Every chosen message fails for one reason, said once already.
void FailAll(const std::vector<int> &chosen, OutputProblem problem, int error,
             std::vector<Outcome> *outcomes);

std::string Join(const std::string &dir, const std::string &name);

// Tells that message `position` failed, naming the file where there is one.
void Failed(const MailRun &run, const MailFolder &folder, int position, OutputProblem problem,
            int error, const std::string &path = std::string());

void Handled(MailRun *run, const MailFolder &folder, int position);

// A size of 2 GiB or more is negative where the mail program keeps it: no
// message has it, and the copy would give an empty one.
bool SizeDamaged(const MessageEntry &entry);

// Why the file opened for the output must not be written, whatever path led
// to it: it is one of the folder's own files or the log. NoProblem when it may be.
OutputProblem GuardedFile(const MailRun &run, FileRef file);

bool StopAsked(const MailRun &run);

// A message's bytes into memory; a stop asked for ends the copy.
struct BufferSink {
  const MailRun *Run;
  ByteBuffer *Buffer;
};

bool BufferWrite(void *context, const void *bytes, size_t size);

// What message `position` is given, and the lines that go before it (with
// --seen the status lines too), decided on its first `size` bytes (`whole`
// when they are all of it); false when more are needed. With --exact nothing
// but the status lines, and the bytes as they are. `*time` gets the moment
// the message is given (mail_dates.h: ChooseMailTime) at the clock's time now.
bool DecideGiven(const MailRun &run, const MailFolder &folder, int position, const char *head,
                 size_t size, bool whole, MessageHead *decided, std::string *text,
                 MailTime *time);

// Copies message `position` into `file` after the lines it is given, which
// `*given` tells, and its moment into `*time`; byte for byte with --exact.
// `held` keeps first bytes.
ExportResult CopyGivingHeaders(const MailRun &run, MailFolder *folder, int position, FileRef *file,
                               ByteBuffer *held, HeadersGiven *given, MailTime *time);

OutputProblem ProblemOf(ExportResult result);

// What the file at `path` holds against `size` bytes: none (no file read),
// the same, their first bytes only (a file cut short), or others.
enum FileMatch { FileMissing, FileSame, FileCut, FileOther };
FileMatch MatchFile(const std::string &path, const char *bytes, size_t size);

// A steady clock's time in seconds.
double SteadySeconds();

// Files delivered and not yet told to the ledger: told together once one
// sync has put them on the disk (a run with no ledger tells each at once).
struct DeliveryBatch {
  std::vector<std::pair<int, std::string>> Told;  // position and place (empty: none)
  std::vector<std::string> Files;                 // the batch's files, to sync by
  uint64_t Bytes = 0;
  double Started = SteadySeconds();
};

// A batch is synced and told once it holds 64 MB or is a second old: a
// sync a message would cost more than the run; a crash costs what a rerun
// finds whole.
bool BatchDue(const DeliveryBatch &batch);

// Syncs the batch's files and tells them delivered into `output`.
void FlushBatch(const MailRun &run, MailFolder *folder, const std::string &output,
                DeliveryBatch *batch);

// The four outputs, as ConvertFolder (mail_run.h) describes them, once the
// data folder file is open and `target`'s directory is there; each adds the
// outcome of every message it handles to `outcomes`.
void WriteMbox(MailRun *run, MailFolder *folder, const std::vector<int> &chosen,
               const std::string &target, std::vector<Outcome> *outcomes);
void WriteMaildir(MailRun *run, MailFolder *folder, const std::vector<int> &chosen,
                  const std::string &dir, std::vector<Outcome> *outcomes);
void WriteEml(MailRun *run, MailFolder *folder, const std::vector<int> &chosen,
              const std::string &dir, std::vector<Outcome> *outcomes);
void WriteAttachments(MailRun *run, MailFolder *folder, const std::vector<int> &chosen,
                      const std::string &dir, std::vector<Outcome> *outcomes);

// The names the messages' files take, as copy names them: in UTF-8 where
// the file table takes UTF-8 or, elsewhere than on Windows, where a
// character set decodes the items' texts; on Windows otherwise the items'
// own bytes, which its file functions take in their code page.
std::vector<const char *> MessageFileNames(const MailRun &run, const MailFolder &folder,
                                           const std::vector<int> &chosen);

// A name in UTF-8 as the file table takes it: on Windows without UTF-8
// paths, in the process's code page, a letter it lacks made '_'.
std::string SystemFileName(const MailRun &run, const std::string &utf8);
