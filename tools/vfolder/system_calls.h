// What vfolder asks of the system besides its files, which go through the
// table of platform/file_system.h: the terminal and standard output, the
// working directory, the process's identity, and interrupts.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/file_system.h"

// The separator between a directory and a name in the system's paths.
extern const char SystemSeparator;

// `path` made full, as the file manager hands paths to the plug-in.
std::string FullPath(const char *path);

bool IsTerminal(FILE *stream);

// Standard output as a file to write bytes to as they are.
FileRef StandardOutput();

// True when the error a write left says that the reading end of a pipe has
// gone.
bool IsClosedPipe(int error);

unsigned long ProcessId();

// Sets the error that LastSystemError() tells to none, so that a failure
// afterwards shows whether the call that failed left one.
void ClearSystemError();

// The system's text for an error number of LastSystemError(): the C
// library's on Linux, the system message on Windows; empty for none.
std::string SystemErrorText(int error);

// ": " and the system's text for the error, or nothing for none: the end of
// a line that says what failed.
std::string Because(int error);

// The machine's name, "localhost" when it has none.
std::string HostName();

// A write past a file-size limit, or into a pipe whose reader has gone, fails
// with an error from now on, instead of ending the process.
void IgnoreWriteSignals();

// From now on the first interrupt (Ctrl+C, and elsewhere than on Windows also
// SIGTERM and SIGHUP) only raises the flag that Interrupted() reports, so that
// a run stops at the next message boundary; a second one ends the process at
// once with status 130, after removing the file marked as partial and
// cutting the file marked for it back.
void CatchInterrupts();
bool Interrupted();

// The file being written now, which a process that ends at once must not
// leave behind; until ForgetPartialFile. Between StartCreating and the mark
// (or StopCreating, when nothing was made) a second interrupt waits, so that
// a file just made is always marked before the process ends.
void StartCreating();
void MarkPartialFile(FileRef file, const char *path);
void StopCreating();
void ForgetPartialFile();

// The file whose bytes after `size` are not whole yet; until ForgetCutBack.
void MarkCutBack(FileRef file, uint64_t size);
void ForgetCutBack();
