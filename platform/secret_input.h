// What a program that holds a password asks of the system: to keep its
// memory out of core dumps and other processes, to read a line typed
// without echo, to take a secret from the environment leaving none behind,
// and to wipe a text in a way the compiler cannot drop.
#pragma once

#include <cstddef>
#include <string>

// No core dump, and where the system can (Linux), no other process of the
// same user reads this one's memory.
void KeepMemoryPrivate();

// Shows `prompt` on the terminal and reads the first line typed there, not
// echoed. False when there is no terminal to ask on.
bool ReadHiddenLine(const char *prompt, std::string *line);

// The value of the environment variable `name`, wiped where it lay and the
// variable removed, so a child process never inherits it. False when unset.
bool TakeEnvironmentSecret(const char *name, std::string *value);

// Overwrites `size` bytes at `bytes`.
void WipeBytes(void *bytes, size_t size);
