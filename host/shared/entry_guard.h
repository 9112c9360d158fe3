// What no exception may leave: the work of a host's entry point. The code
// throws nothing itself, but the standard containers throw when memory runs
// out (a message of many parts, a folder of many items), and the hosts
// catch nothing: the one operation fails, never the file manager.
#pragma once

#include <new>
#include <stdexcept>

// What ended the work: memory that ran out, or anything else.
enum EntryFailure { EntryOutOfMemory, EntryOtherError };

// Runs `work` and gives what it gives; when it throws, `tell` (which must
// not throw; null for nothing) shows why, and `failed` is given.
template <typename Result, typename Work>
Result Guarded(Result failed, void (*tell)(EntryFailure), Work &&work) noexcept {
  EntryFailure failure;
  try {
    return work();
  } catch (const std::bad_alloc &) {
    failure = EntryOutOfMemory;
  } catch (const std::length_error &) {
    failure = EntryOutOfMemory;
  } catch (...) {
    failure = EntryOtherError;
  }
  if (tell != nullptr) tell(failure);
  return failed;
}

// The same for work that gives nothing.
template <typename Work>
void GuardedVoid(void (*tell)(EntryFailure), Work &&work) noexcept {
  Guarded(0, tell, [&] {
    work();
    return 0;
  });
}
