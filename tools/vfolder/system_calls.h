// What vfolder asks of the system besides its files, which go through the
// table of platform/file_system.h: the terminal and standard output, the
// working directory, the process's identity, and interrupts.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/file_system.h"
#include "platform/system_facts.h"

// `path` made full, as the file manager hands paths to the plug-in.
std::string FullPath(const char *path);

bool IsTerminal(FILE *stream);

// ": " and the system's text for the error, or nothing for none: the end of
// a line that says what failed.
std::string Because(int error);

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
