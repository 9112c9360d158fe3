// Write-back started without waiting, for FileSystemCalls.StartWriteBack on
// POSIX systems.
#pragma once

#include <cstdint>

#include "platform/file_system.h"

// Hands the range to the process's write-back thread, which starts it on
// its own copy of the descriptor: the caller may close `file` at once.
// False where the system takes no such hint, when the thread cannot be
// started, or when enough ranges wait already.
bool StartWriteBack(FileRef file, uint64_t offset, uint64_t size);
