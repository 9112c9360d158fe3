#include "tools/vfolder/system_calls.h"

#include <csignal>
#include <cstring>

#ifdef _WIN32
#include <io.h>
#else
#include <errno.h>
#include <unistd.h>
#endif

std::string Because(int error) {
  const std::string text = SystemErrorText(error);
  return text.empty() ? text : ": " + text;
}

namespace {

volatile sig_atomic_t InterruptSeen = 0;

// What an interrupt that ends the process at once tidies, in memory that a
// signal handler may read: each is used only while its flag is set.
char PartialPath[4096];
volatile FileRef PartialFile = NoFile;
volatile sig_atomic_t PartialMarked = 0;
volatile FileRef CutFile = NoFile;
volatile uint64_t CutSize = 0;
volatile sig_atomic_t CutMarked = 0;
volatile sig_atomic_t Creating = 0, EndWhenCreated = 0;

// The end a second interrupt brings; safe in a signal handler.
[[noreturn]] void EndAtOnce();

}  // namespace

void StartCreating() { Creating = 1; }

void StopCreating() {
  Creating = 0;
  if (EndWhenCreated) EndAtOnce();
}

#ifdef _WIN32
// The second interrupt is taken on the console handler's thread, which only
// raises EndWhenCreated: this thread, at its next look, ends the run itself.
bool Interrupted() {
  if (EndWhenCreated && !Creating) EndAtOnce();
  return InterruptSeen != 0;
}
#else
bool Interrupted() { return InterruptSeen != 0; }
#endif

void MarkPartialFile(FileRef file, const char *path) {
  PartialMarked = 0;
  const size_t length = strlen(path);
  if (length < sizeof PartialPath) {
    memcpy(PartialPath, path, length + 1);
    PartialFile = file;
    PartialMarked = 1;
  }
  StopCreating();
}

void ForgetPartialFile() { PartialMarked = 0; }

void MarkCutBack(FileRef file, uint64_t size) {
  CutMarked = 0;
  CutFile = file;
  CutSize = size;
  CutMarked = 1;
}

void ForgetCutBack() { CutMarked = 0; }

#ifdef _WIN32

std::string FullPath(const char *path) {
  char full[MAX_PATH * 4];
  const DWORD length = GetFullPathNameA(path, sizeof full, full, nullptr);
  return length > 0 && length < sizeof full ? std::string(full) : std::string(path);
}

bool IsTerminal(FILE *stream) { return _isatty(_fileno(stream)) != 0; }

void IgnoreWriteSignals() {}

namespace {

HANDLE MainThread = nullptr;
volatile LONG Tidying = 0;

// The tidying of one thread only: the main thread's, or the handler's once
// the main thread is stopped.
void Tidy() {
  if (CutMarked) {
    LARGE_INTEGER at;
    at.QuadPart = LONGLONG(CutSize);
    HANDLE file = reinterpret_cast<HANDLE>(CutFile);
    if (SetFilePointerEx(file, at, nullptr, FILE_BEGIN)) SetEndOfFile(file);
  }
  if (PartialMarked) {
    CloseHandle(reinterpret_cast<HANDLE>(PartialFile));
    DeleteFileA(PartialPath);
  }
}

// On the main thread. The partial file is closed first: Windows cannot
// remove an open file.
void EndAtOnce() {
  // Where the handler tidies already, it stops this thread and ends.
  if (InterlockedExchange(&Tidying, 1) == 0)
    Tidy();
  else
    Sleep(INFINITE);
  ExitProcess(130);
}

// Called on a thread of its own, while the main thread goes on writing: it
// tidies and ends at its next look. One that does not look within a few
// seconds (a write held up) is stopped, and this thread tidies and ends the
// process without the C library's exit, which could wait on a lock that the
// stopped thread holds. A closed console ends the process a few seconds
// after this returns, so it never returns before the end.
BOOL WINAPI OnConsoleSignal(DWORD) {
  if (!InterruptSeen) {
    InterruptSeen = 1;
    return TRUE;
  }
  EndWhenCreated = 1;
  Sleep(3000);
  if (InterlockedExchange(&Tidying, 1) != 0) Sleep(INFINITE);  // the main thread ends it
  if (MainThread != nullptr) SuspendThread(MainThread);
  Tidy();
  TerminateProcess(GetCurrentProcess(), 130);
  return TRUE;
}

}  // namespace

void CatchInterrupts() {
  DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &MainThread, 0,
                  FALSE, DUPLICATE_SAME_ACCESS);
  SetConsoleCtrlHandler(OnConsoleSignal, TRUE);
}

#else

std::string FullPath(const char *path) {
  if (path[0] == '/') return path;
  char cwd[4096];
  if (getcwd(cwd, sizeof cwd) == nullptr) return path;
  return std::string(cwd) + "/" + path;
}

bool IsTerminal(FILE *stream) { return isatty(fileno(stream)) != 0; }

void IgnoreWriteSignals() {
  signal(SIGPIPE, SIG_IGN);
  signal(SIGXFSZ, SIG_IGN);
}

namespace {

void EndAtOnce() {
  if (CutMarked) (void)!ftruncate(int(CutFile), off_t(CutSize));
  if (PartialMarked) unlink(PartialPath);
  _exit(130);
}

void OnSignal(int) {
  if (!InterruptSeen)
    InterruptSeen = 1;
  else if (Creating)
    EndWhenCreated = 1;
  else
    EndAtOnce();
}

}  // namespace

void CatchInterrupts() {
  struct sigaction action = {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGHUP, &action, nullptr);
}

#endif
