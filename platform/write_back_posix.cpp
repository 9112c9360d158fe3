// Write-back started without waiting: a run that must sync what it wrote
// (an mbox with a ledger) lets the disk write each piece while it formats
// the next, and its sync then waits only for the last ones.
#include "platform/write_back.h"

#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

#include <cerrno>

#ifdef __linux__

namespace {

struct Range {
  int File;  // a duplicate, closed by the thread
  uint64_t Offset, Size;
};

// Beyond this many the disk lags far behind: the sync will do the rest.
const int MostWaiting = 16;

// Never destroyed: the thread may still wait on it while the process ends.
struct WriteBackQueue {
  pthread_mutex_t Lock = PTHREAD_MUTEX_INITIALIZER;
  pthread_cond_t Filled = PTHREAD_COND_INITIALIZER;
  Range Waiting[MostWaiting] = {};
  int First = 0, Count = 0;
  bool Started = false, Failed = false;
};

WriteBackQueue Queue;

void *WriteBackLoop(void *) {
  for (;;) {
    pthread_mutex_lock(&Queue.Lock);
    while (Queue.Count == 0) pthread_cond_wait(&Queue.Filled, &Queue.Lock);
    const Range range = Queue.Waiting[Queue.First];
    Queue.First = (Queue.First + 1) % MostWaiting;
    --Queue.Count;
    pthread_mutex_unlock(&Queue.Lock);
    sync_file_range(range.File, off_t(range.Offset), off_t(range.Size), SYNC_FILE_RANGE_WRITE);
    close(range.File);
  }
  return nullptr;
}

// Starts the thread once, detached; false when it cannot be started. Called
// with the queue's lock held.
bool ThreadRunning() {
  if (Queue.Started || Queue.Failed) return Queue.Started;
  pthread_t thread;
  pthread_attr_t attributes;
  Queue.Failed = pthread_attr_init(&attributes) != 0;
  if (Queue.Failed) return false;
  pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
  pthread_attr_setstacksize(&attributes, 64 * 1024);
  Queue.Started = pthread_create(&thread, &attributes, WriteBackLoop, nullptr) == 0;
  Queue.Failed = !Queue.Started;
  pthread_attr_destroy(&attributes);
  return Queue.Started;
}

}  // namespace

bool StartWriteBack(FileRef file, uint64_t offset, uint64_t size) {
  const int error = errno;  // a hint: the caller's error stays as it was
  pthread_mutex_lock(&Queue.Lock);
  int copy = -1;
  const bool queued = Queue.Count < MostWaiting && ThreadRunning() &&
                      (copy = fcntl(int(file), F_DUPFD_CLOEXEC, 0)) != -1;
  if (queued) {
    Queue.Waiting[(Queue.First + Queue.Count) % MostWaiting] = {copy, offset, size};
    ++Queue.Count;
    pthread_cond_signal(&Queue.Filled);
  }
  pthread_mutex_unlock(&Queue.Lock);
  errno = error;
  return queued;
}

#else

bool StartWriteBack(FileRef, uint64_t, uint64_t) { return false; }

#endif
