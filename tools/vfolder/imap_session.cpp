#include "tools/vfolder/imap_session.h"

#include <fcntl.h>
#include <strings.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

int HexDigit(char c) {
  return c >= '0' && c <= '9' ? c - '0'
         : c >= 'a' && c <= 'f' ? c - 'a' + 10
         : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                : -1;
}

bool Unescaped(const std::string &text, std::string *out) {
  out->clear();
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      *out += text[i];
      continue;
    }
    if (i + 2 >= text.size() || HexDigit(text[i + 1]) < 0 || HexDigit(text[i + 2]) < 0)
      return false;
    *out += char(HexDigit(text[i + 1]) * 16 + HexDigit(text[i + 2]));
    i += 2;
  }
  return true;
}

// The password's first line from the terminal, not echoed.
bool PromptPassword(const ImapAccount &account, std::string *password) {
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
  const std::string prompt = "Password for " + account.User + "@" + account.Host + ": ";
  if (write(tty, prompt.data(), prompt.size()) < 0) {
  }
  char c;
  ssize_t got;
  while ((got = read(tty, &c, 1)) == 1 && c != '\n' && c != '\r') *password += c;
  c = 0;
  tcsetattr(tty, TCSAFLUSH, &before);
  if (write(tty, "\n", 1) < 0) {
  }
  close(tty);
  return got >= 0;
}

}  // namespace

bool ParseImapUrl(const char *url, ImapAccount *account, std::string *problem) {
  std::string rest = url;
  if (rest.compare(0, 8, "imaps://") == 0) {
    account->Tls = true;
    rest.erase(0, 8);
  } else if (rest.compare(0, 7, "imap://") == 0) {
    account->Tls = false;
    rest.erase(0, 7);
  } else {
    *problem = "the URL starts with imaps:// or imap://";
    return false;
  }
  const size_t slash = rest.find('/');
  std::string mailbox = slash == std::string::npos ? std::string() : rest.substr(slash + 1);
  rest.erase(std::min(slash, rest.size()));
  const size_t at = rest.rfind('@');
  if (at == std::string::npos || at == 0) {
    *problem = "the URL names no user (imaps://USER@HOST)";
    return false;
  }
  if (at + 1 == rest.size()) {
    *problem = "the URL names no host";
    return false;
  }
  std::string host = rest.substr(at + 1), port;
  // An IPv6 address stands in brackets, its colons no port's.
  const size_t closing = host.front() == '[' ? host.find(']') : 0;
  const size_t colon = closing == std::string::npos ? closing : host.find(':', closing);
  if (colon != std::string::npos) {
    port = host.substr(colon + 1);
    host.erase(colon);
  }
  if (host.size() > 1 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
  if (host.empty()) {
    *problem = "the URL names no host";
    return false;
  }
  const unsigned long number = port.empty() ? (account->Tls ? 993 : 143) : strtoul(port.c_str(), nullptr, 10);
  if (number == 0 || number > 65535 || port.find_first_not_of("0123456789") != std::string::npos) {
    *problem = "the URL's port is no number from 1 to 65535";
    return false;
  }
  while (!mailbox.empty() && mailbox.back() == '/') mailbox.pop_back();
  if (!Unescaped(rest.substr(0, at), &account->User) || !Unescaped(mailbox, &account->Mailbox)) {
    *problem = "the URL has a % that is no %XX escape";
    return false;
  }
  account->Host = host;
  account->Port = uint16_t(number);
  return true;
}

void WipeText(std::string *text) {
  if (!text->empty()) explicit_bzero(&(*text)[0], text->size());
  text->clear();
}

bool ReadPassword(const ImapAccount &account, const char *file, std::string *password,
                  std::string *problem) {
  const struct rlimit none = {0, 0};
  setrlimit(RLIMIT_CORE, &none);
  prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
  password->clear();
  if (file != nullptr) {
    FILE *in = fopen(file, "re");
    if (in == nullptr) {
      *problem = std::string("--password-file ") + file + ": " + strerror(errno);
      return false;
    }
    int c;
    while ((c = fgetc(in)) != EOF && c != '\n' && c != '\r') *password += char(c);
    fclose(in);
    return true;
  }
  if (char *given = getenv("VFOLDER_PASSWORD")) {
    *password = given;
    explicit_bzero(given, strlen(given));
    unsetenv("VFOLDER_PASSWORD");
    return true;
  }
  if (PromptPassword(account, password)) return true;
  *problem = "no password: VFOLDER_PASSWORD, --password-file or a terminal to ask on";
  return false;
}

ConnectOutcome ConnectImap(const ImapAccount &account, const std::string &password,
                           ImapClient *session, std::string *problem) {
  const ImapServer server = {account.Host, account.Port, account.Tls, account.CaFile, account.User};
  switch (OpenImapClient(server, password, session, problem)) {
    case ImapConnected: return Connected;
    case ImapRefused: return Refused;
    default: return ConnectionFailed;
  }
}

void CloseImap(ImapClient *session) { CloseImapClient(session); }

std::string ServerWords(const ImapClient &session) {
  return ImapLost(session) ? session.Wire.Problem : session.Words;
}
