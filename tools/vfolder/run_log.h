// The log that --log asks for: one tab-separated line per message, added to
// the end of a file the user keeps.
#pragma once

#include <cstdint>
#include <string>

#include "outputs/byte_buffer.h"
#include "platform/file_system.h"

struct RunLog {
  FileRef File;
  std::string Path;
  ByteBuffer Pending;  // lines not yet written
  bool Failed;         // a write failed: the log is not whole
  bool Made;           // the file was made by this run
};

// Opens the file `path` for the run's lines: made when missing, else the
// lines go after those it holds. Never through a symbolic link, and never a
// file that is no regular file. False, having said why, when it cannot.
bool OpenRunLog(const std::string &path, RunLog *log);

// The line of one message: the folder's index path, the message's position
// in the listing, its name, its size, "written" or "failed", and for a failed
// one the reason (null for a written one), for a written one `note` (what it
// was given). The folder and the name are escaped as the TSV escapes them.
void LogMessage(RunLog *log, const std::string &folder, int position, const char *name,
                uint32_t size, const char *problem, const std::string &note = std::string());

// Closes the log unwritten, and takes the file away again when this run made
// it: for a run refused after the log was opened.
void DropRunLog(RunLog *log);

// Writes the lines still held and closes the file. False, having said so,
// when a write or the close failed.
bool CloseRunLog(RunLog *log);
