#include "platform/secret_input.h"

#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

void KeepMemoryPrivate() {
  const struct rlimit none = {0, 0};
  setrlimit(RLIMIT_CORE, &none);
  prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
}

bool ReadHiddenLine(const char *prompt, std::string *line) {
  const int tty = open("/dev/tty", O_RDWR | O_CLOEXEC);
  if (tty < 0) return false;
  struct termios before, quiet;
  if (tcgetattr(tty, &before) != 0) {
    close(tty);
    return false;
  }
  quiet = before;
  quiet.c_lflag &= ~tcflag_t(ECHO);
  tcsetattr(tty, TCSAFLUSH, &quiet);
  if (write(tty, prompt, strlen(prompt)) < 0) {
  }
  char c;
  ssize_t got;
  while ((got = read(tty, &c, 1)) == 1 && c != '\n' && c != '\r') *line += c;
  c = 0;
  tcsetattr(tty, TCSAFLUSH, &before);
  if (write(tty, "\n", 1) < 0) {
  }
  close(tty);
  return got >= 0;
}

bool TakeEnvironmentSecret(const char *name, std::string *value) {
  char *given = getenv(name);
  if (given == nullptr) return false;
  *value = given;
  explicit_bzero(given, strlen(given));
  unsetenv(name);
  return true;
}

void WipeBytes(void *bytes, size_t size) { explicit_bzero(bytes, size); }
