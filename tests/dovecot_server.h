// A throwaway Dovecot of tests/imap_test.py's on 127.0.0.1, for tests that
// send into a real IMAP server: started before, stopped and removed after.
#pragma once

#include <sys/types.h>

#include <string>

struct Dovecot {
  pid_t Pid = -1;
  // Its directory; imaps://USER@127.0.0.1:PORT; the user's password; the
  // authority its certificate is signed by; with `oauth2`, a token that
  // logs the user in for an hour.
  std::string Work, Url, Password, Ca, Token;
};

// Whether this machine has Dovecot's IMAP server.
bool HaveDovecot();

// With `oauth2`, Dovecot takes OAuth2 tokens too (tests/oauth2_service.py).
bool StartDovecot(Dovecot *server, bool oauth2 = false);
void StopDovecot(Dovecot *server);

// Stops the server when the test ends, however it ends.
struct StopsDovecot {
  Dovecot *Server;
  ~StopsDovecot() { StopDovecot(Server); }
};
