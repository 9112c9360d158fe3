#include "platform/command_output.h"

#ifdef _WIN32
#define popen _popen
#define pclose _pclose
#else
#include <sys/wait.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/secret_input.h"

namespace {

const size_t MostOutput = 64 << 10;

// Why a command that ended with `status` (pclose's) failed; empty when it
// ended well.
std::string EndOf(int status) {
#ifdef _WIN32
  return status == 0 ? std::string() : "ended with status " + std::to_string(status);
#else
  if (WIFEXITED(status))
    return WEXITSTATUS(status) == 0 ? std::string()
                                    : "ended with status " + std::to_string(WEXITSTATUS(status));
  return "ended by signal " + std::to_string(WTERMSIG(status));
#endif
}

}  // namespace

bool RunForOutput(const char *command, std::string *output, std::string *problem) {
  output->clear();
  fflush(nullptr);
  // Windows: binary, the token's bytes as printed (the caller trims a CR).
  // Elsewhere: the pipe not inherited by other children.
#ifdef _WIN32
  FILE *pipe = popen(command, "rb");
#else
  FILE *pipe = popen(command, "re");
#endif
  if (pipe == nullptr) {
    *problem = std::string("cannot be run: ") + strerror(errno);
    return false;
  }
  // What it prints may be a secret: the stream reads into a buffer of ours,
  // wiped after, and the output never moves to a larger block, which would
  // leave a copy behind in freed memory.
  char stream[4096], buffer[4096];
  setvbuf(pipe, stream, _IOFBF, sizeof stream);
  output->reserve(MostOutput);
  size_t got;
  while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0)
    if (output->size() < MostOutput)
      output->append(buffer, std::min(got, MostOutput - output->size()));
  WipeBytes(buffer, sizeof buffer);
  const int status = pclose(pipe);
  WipeBytes(stream, sizeof stream);
  if (status == -1) {
    *problem = std::string("cannot be waited for: ") + strerror(errno);
    return false;
  }
  *problem = EndOf(status);
  return problem->empty();
}
