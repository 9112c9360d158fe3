#include "platform/system_facts.h"

#include <errno.h>
#include <string.h>
#include <unistd.h>

const char SystemSeparator = '/';

FileRef StandardOutput() { return STDOUT_FILENO; }

bool IsClosedPipe(int error) { return error == EPIPE; }

unsigned long ProcessId() { return static_cast<unsigned long>(getpid()); }

void ClearSystemError() { errno = 0; }

std::string SystemErrorText(int error) { return error == 0 ? std::string() : strerror(error); }

std::string HostName() {
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') return "localhost";
  return name;
}
