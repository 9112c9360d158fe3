// The few system calls vfolder's mail outputs need, with the same contract on
// Linux and Windows: directories, renames, the terminal, the process's
// identity and interrupts. Paths are the system's own (full paths on Windows).
#pragma once

#include <cstdio>
#include <string>
#include <vector>

// The separator between a directory and a name in the system's paths.
extern const char SystemSeparator;

// Creates the directory `path`. False when it could not be made, also when
// something of that name is there already.
bool MakeDir(const std::string &path);

bool IsDir(const std::string &path);

// Removes the empty directory `path`, or the file `path`. False on failure.
bool RemoveDir(const std::string &path);
bool RemoveFile(const std::string &path);

// The names in directory `path`, without "." and "..". False when it cannot
// be read.
bool ListDir(const std::string &path, std::vector<std::string> *names);

// Renames `from` to `to`, replacing a file already at `to`.
bool MoveReplacing(const std::string &from, const std::string &to);

// Renames `from` to `to` only if nothing is at `to`: never replaces a file,
// even one that appears at the same moment. `*taken` tells that `to` was there.
bool MoveNoReplace(const std::string &from, const std::string &to, bool *taken);

// The directory for temporary files, without a trailing separator.
std::string TempDir();

bool IsTerminal(FILE *stream);

// Makes `stream` write bytes as they are (no CRLF for LF on Windows).
void SetBinary(FILE *stream);

unsigned long ProcessId();

// The machine's name, "localhost" when it has none.
std::string HostName();

// From now on an interrupt (Ctrl+C, and on Linux also SIGTERM and SIGHUP) only
// raises a flag that Interrupted() reports, so that a run can stop between two
// messages and clean up.
void CatchInterrupts();
bool Interrupted();
