#include <sys/wait.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/command_output.h"

namespace {
const size_t MostOutput = 64 << 10;
}

bool RunForOutput(const char *command, std::string *output, std::string *problem) {
  output->clear();
  fflush(nullptr);
  FILE *pipe = popen(command, "re");
  if (pipe == nullptr) {
    *problem = std::string("cannot be run: ") + strerror(errno);
    return false;
  }
  char buffer[4096];
  size_t got;
  while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0)
    if (output->size() < MostOutput)
      output->append(buffer, std::min(got, MostOutput - output->size()));
  explicit_bzero(buffer, sizeof buffer);
  const int status = pclose(pipe);
  if (status == -1) {
    *problem = std::string("cannot be waited for: ") + strerror(errno);
    return false;
  }
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return true;
  *problem = WIFEXITED(status) ? "ended with status " + std::to_string(WEXITSTATUS(status))
                               : "ended by signal " + std::to_string(WTERMSIG(status));
  return false;
}
