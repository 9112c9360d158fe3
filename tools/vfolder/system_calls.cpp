#include "tools/vfolder/system_calls.h"

#include <csignal>
#include <cstdlib>

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <dirent.h>
#include <errno.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {
volatile sig_atomic_t InterruptSeen = 0;
}  // namespace

#ifdef _WIN32

const char SystemSeparator = '\\';

bool MakeDir(const std::string &path) { return CreateDirectoryA(path.c_str(), nullptr) != 0; }

bool IsDir(const std::string &path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool RemoveDir(const std::string &path) { return RemoveDirectoryA(path.c_str()) != 0; }

bool RemoveFile(const std::string &path) { return DeleteFileA(path.c_str()) != 0; }

bool ListDir(const std::string &path, std::vector<std::string> *names) {
  names->clear();
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((path + "\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND;
  do {
    const std::string name = found.cFileName;
    if (name != "." && name != "..") names->push_back(name);
  } while (FindNextFileA(search, &found));
  const bool complete = GetLastError() == ERROR_NO_MORE_FILES;
  FindClose(search);
  return complete;
}

bool MoveReplacing(const std::string &from, const std::string &to) {
  return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

bool MoveNoReplace(const std::string &from, const std::string &to, bool *taken) {
  *taken = false;
  // Without MOVEFILE_REPLACE_EXISTING the system refuses a name in use.
  if (MoveFileExA(from.c_str(), to.c_str(), 0)) return true;
  const DWORD error = GetLastError();
  *taken = error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS;
  return false;
}

std::string TempDir() {
  char path[MAX_PATH + 1];
  const DWORD length = GetTempPathA(sizeof path, path);
  if (length == 0 || length >= sizeof path) return ".";
  std::string dir(path, length);
  while (dir.size() > 3 && (dir.back() == '\\' || dir.back() == '/')) dir.pop_back();
  return dir;
}

bool IsTerminal(FILE *stream) { return _isatty(_fileno(stream)) != 0; }

void SetBinary(FILE *stream) {
  fflush(stream);
  _setmode(_fileno(stream), _O_BINARY);
}

unsigned long ProcessId() { return GetCurrentProcessId(); }

std::string HostName() {
  char name[MAX_COMPUTERNAME_LENGTH + 1];
  DWORD size = sizeof name;
  if (!GetComputerNameA(name, &size) || size == 0) return "localhost";
  return std::string(name, size);
}

namespace {
BOOL WINAPI OnConsoleSignal(DWORD) {
  InterruptSeen = 1;
  return TRUE;
}
}  // namespace

void CatchInterrupts() { SetConsoleCtrlHandler(OnConsoleSignal, TRUE); }

#else

const char SystemSeparator = '/';

bool MakeDir(const std::string &path) { return mkdir(path.c_str(), 0700) == 0; }

bool IsDir(const std::string &path) {
  struct stat status;
  return stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

bool RemoveDir(const std::string &path) { return rmdir(path.c_str()) == 0; }

bool RemoveFile(const std::string &path) { return unlink(path.c_str()) == 0; }

bool ListDir(const std::string &path, std::vector<std::string> *names) {
  names->clear();
  DIR *dir = opendir(path.c_str());
  if (dir == nullptr) return false;
  errno = 0;
  while (const dirent *entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") names->push_back(name);
  }
  const bool complete = errno == 0;
  closedir(dir);
  return complete;
}

bool MoveReplacing(const std::string &from, const std::string &to) {
  return rename(from.c_str(), to.c_str()) == 0;
}

bool MoveNoReplace(const std::string &from, const std::string &to, bool *taken) {
  *taken = false;
  // A hard link is made only under a free name; rename() would replace.
  if (link(from.c_str(), to.c_str()) == 0) {
    unlink(from.c_str());
    return true;
  }
  if (errno == EEXIST) {
    *taken = true;
    return false;
  }
  // File systems without hard links: look first, then rename.
  struct stat status;
  if (lstat(to.c_str(), &status) == 0) {
    *taken = true;
    return false;
  }
  return errno == ENOENT && rename(from.c_str(), to.c_str()) == 0;
}

std::string TempDir() {
  const char *dir = getenv("TMPDIR");
  std::string path = dir != nullptr && dir[0] != '\0' ? dir : "/tmp";
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

bool IsTerminal(FILE *stream) { return isatty(fileno(stream)) != 0; }

void SetBinary(FILE *) {}

unsigned long ProcessId() { return static_cast<unsigned long>(getpid()); }

std::string HostName() {
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') return "localhost";
  return name;
}

namespace {
void OnSignal(int) { InterruptSeen = 1; }
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

bool Interrupted() { return InterruptSeen != 0; }
