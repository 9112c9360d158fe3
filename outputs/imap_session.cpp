#include "outputs/imap_session.h"

#include <cstring>

#include "outputs/oauth2_login.h"
#include "platform/file_system.h"
#include "platform/secret_input.h"
#include "platform/system_facts.h"

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
  if (!text->empty()) WipeBytes(&(*text)[0], text->size());
  text->clear();
}

std::string MailboxOfFolder(const std::string &path) {
  // Windows takes either slash between names.
  std::string name = path.substr(path.find_last_of(SystemSeparator == '/' ? "/" : "\\/") + 1);
  const size_t dot = name.find_last_of('.');
  if (dot != std::string::npos && dot > 0) name.erase(dot);
  return name;
}

ConnectOutcome ConnectImap(const ImapAccount &account, const std::string &password,
                           ImapClient *session, std::string *problem) {
  if (account.TokenCommand != nullptr) return ConnectWithToken(account, session, problem);
  const ImapServer server = {account.Host, account.Port, account.Tls, account.CaFile, account.User, false};
  switch (OpenImapClient(server, password, session, problem)) {
    case ImapConnected: return Connected;
    case ImapRefused:
    case ImapTokenRefused: return Refused;
    default: return ConnectionFailed;
  }
}

void CloseImap(ImapClient *session) { CloseImapClient(session); }

std::string ServerWords(const ImapClient &session) {
  return ImapLost(session) ? session.Wire.Problem : session.Words;
}
