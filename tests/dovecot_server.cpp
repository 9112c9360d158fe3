#include "tests/dovecot_server.h"

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

bool HaveDovecot() { return access("/usr/lib/dovecot/imap", X_OK) == 0; }

bool StartDovecot(Dovecot *server, bool oauth2) {
  char pattern[] = "/tmp/vessor-dovecot-XXXXXX";
  if (mkdtemp(pattern) == nullptr) return false;
  server->Work = pattern;
  chmod(pattern, 0755);  // Dovecot's own users read its files below
  int pipe_ends[2];
  if (pipe(pipe_ends) != 0) return false;
  server->Pid = fork();
  if (server->Pid == 0) {
    dup2(pipe_ends[1], 1);
    close(pipe_ends[0]);
    execlp("python3", "python3", VESSOR_SOURCE_DIR "/tests/imap_test.py", "serve",
           (server->Work + "/server").c_str(), oauth2 ? "oauth2" : static_cast<char *>(nullptr),
           static_cast<char *>(nullptr));
    _exit(127);
  }
  close(pipe_ends[1]);
  std::string line;
  char c;
  while (read(pipe_ends[0], &c, 1) == 1 && c != '\n') line += c;
  close(pipe_ends[0]);
  // imaps://USER@127.0.0.1:PORT  imap://...:PORT  password PASSWORD  [token TOKEN  ]--ca CA
  const size_t url_end = line.find("  ");
  const size_t password = line.find("password ");
  const size_t ca = line.find("--ca ");
  if (url_end == std::string::npos || password == std::string::npos || ca == std::string::npos)
    return false;
  server->Url = line.substr(0, url_end);
  server->Password = line.substr(password + 9, line.find("  ", password) - password - 9);
  server->Ca = line.substr(ca + 5);
  const size_t token = line.find("  token ");
  if (token != std::string::npos) server->Token = line.substr(token + 8, ca - 2 - token - 8);
  return !oauth2 || !server->Token.empty();
}

void StopDovecot(Dovecot *server) {
  if (server->Pid > 0) {
    kill(server->Pid, SIGINT);  // its server is stopped on the way out
    waitpid(server->Pid, nullptr, 0);
  }
  if (!server->Work.empty()) {
    const std::string remove = "rm -rf '" + server->Work + "'";
    if (system(remove.c_str()) != 0) {
    }
  }
}
