#include "tools/vfolder/imap_session.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <gnutls/gnutls.h>
#include <gnutls/x509.h>
#include <libetpan/libetpan.h>
#include <strings.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

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

bool IsAddressLiteral(const std::string &host) {
  unsigned char address[16];
  return inet_pton(AF_INET, host.c_str(), address) == 1 ||
         inet_pton(AF_INET6, host.c_str(), address) == 1;
}

void NameTheServer(struct mailstream_ssl_context *context, void *data) {
  mailstream_ssl_set_server_name(context, static_cast<char *>(data));
}

// The chain the server showed, checked against the system's store and the
// authority given, and for the host name. Checked on the connection libetpan
// made, once its handshake has proved that the server holds the key of the
// first certificate: libetpan itself checks none. Empty when it checks out,
// else why not.
std::string CertificateProblem(mailimap *imap, const ImapAccount &account) {
  carray *chain = mailstream_get_certificate_chain(imap->imap_stream);
  if (chain == nullptr || carray_count(chain) == 0) {
    if (chain != nullptr) mailstream_certificate_chain_free(chain);
    return "the server showed no certificate";
  }
  std::vector<gnutls_x509_crt_t> certificates;
  std::string problem;
  for (unsigned i = 0; i < carray_count(chain) && problem.empty(); ++i) {
    MMAPString *der = static_cast<MMAPString *>(carray_get(chain, i));
    gnutls_datum_t datum = {reinterpret_cast<unsigned char *>(der->str), unsigned(der->len)};
    gnutls_x509_crt_t certificate;
    if (gnutls_x509_crt_init(&certificate) < 0) {
      problem = "no memory to check the certificate";
    } else if (gnutls_x509_crt_import(certificate, &datum, GNUTLS_X509_FMT_DER) < 0) {
      gnutls_x509_crt_deinit(certificate);
      problem = "the server's certificate cannot be read";
    } else {
      certificates.push_back(certificate);
    }
  }
  mailstream_certificate_chain_free(chain);
  gnutls_x509_trust_list_t trusted;
  if (problem.empty() && gnutls_x509_trust_list_init(&trusted, 0) < 0)
    problem = "no memory to check the certificate";
  else if (problem.empty()) {
    gnutls_x509_trust_list_add_system_trust(trusted, 0, 0);
    if (account.CaFile != nullptr &&
        gnutls_x509_trust_list_add_trust_file(trusted, account.CaFile, nullptr,
                                              GNUTLS_X509_FMT_PEM, 0, 0) <= 0) {
      problem = std::string("--ca ") + account.CaFile + ": no certificate authority in it";
    } else {
      gnutls_typed_vdata_st host = {GNUTLS_DT_DNS_HOSTNAME,
                                    reinterpret_cast<unsigned char *>(
                                        const_cast<char *>(account.Host.c_str())),
                                    0};
      unsigned status = 0;
      const int verified = gnutls_x509_trust_list_verify_crt2(
          trusted, certificates.data(), unsigned(certificates.size()), &host, 1, 0, &status,
          nullptr);
      if (verified < 0) {
        problem = std::string("the certificate could not be checked: ") + gnutls_strerror(verified);
      } else if (status != 0) {
        gnutls_datum_t text = {};
        gnutls_certificate_verification_status_print(status, GNUTLS_CRT_X509, &text, 0);
        problem = text.data != nullptr ? reinterpret_cast<char *>(text.data)
                                       : "the certificate does not check out";
        gnutls_free(text.data);
      }
    }
    gnutls_x509_trust_list_deinit(trusted, 1);
  }
  for (gnutls_x509_crt_t certificate : certificates) gnutls_x509_crt_deinit(certificate);
  return problem;
}

void ReadCapabilities(ImapSession *session) {
  mailimap *imap = session->Imap;
  session->UidPlus = false;
  session->AppendLimit = 0;
  session->LiteralPlus = session->LiteralMinus = session->MultiAppend = false;
  struct mailimap_capability_data *data = nullptr;
  if (mailimap_capability(imap, &data) != MAILIMAP_NO_ERROR || data == nullptr) return;
  for (clistiter *at = clist_begin(data->cap_list); at != nullptr; at = clist_next(at)) {
    const auto *capability = static_cast<struct mailimap_capability *>(clist_content(at));
    if (capability->cap_type != MAILIMAP_CAPABILITY_NAME || capability->cap_data.cap_name == nullptr)
      continue;
    const char *name = capability->cap_data.cap_name;
    if (!strcasecmp(name, "UIDPLUS")) session->UidPlus = true;
    if (!strcasecmp(name, "LITERAL+")) session->LiteralPlus = true;
    if (!strcasecmp(name, "LITERAL-")) session->LiteralMinus = true;
    if (!strcasecmp(name, "MULTIAPPEND")) session->MultiAppend = true;
    if (!strncasecmp(name, "APPENDLIMIT=", 12)) session->AppendLimit = uint32_t(strtoul(name + 12, nullptr, 10));
  }
  mailimap_capability_data_free(data);
}

void ReadDelimiter(ImapSession *session) {
  session->Delimiter = '/';
  clist *list = nullptr;
  if (mailimap_list(session->Imap, "", "", &list) != MAILIMAP_NO_ERROR || list == nullptr) return;
  if (clist_begin(list) != nullptr) {
    const auto *found = static_cast<struct mailimap_mailbox_list *>(clist_content(clist_begin(list)));
    if (found->mb_delimiter != '\0') session->Delimiter = found->mb_delimiter;
  }
  mailimap_list_result_free(list);
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
                           ImapSession *session, std::string *problem) {
  *session = {};
  mailimap *imap = mailimap_new(0, nullptr);
  if (imap == nullptr) {
    *problem = "no memory for the connection";
    return ConnectionFailed;
  }
  mailimap_set_timeout(imap, 60);
  std::string host = account.Host;
  const bool named = !IsAddressLiteral(host);
  int r = account.Tls ? mailimap_ssl_connect_with_callback(imap, host.c_str(), account.Port,
                                                           named ? NameTheServer : nullptr,
                                                           &host[0])
                      : mailimap_socket_connect(imap, host.c_str(), account.Port);
  const std::string where = account.Host + ":" + std::to_string(account.Port);
  if (r != MAILIMAP_NO_ERROR_NON_AUTHENTICATED && r != MAILIMAP_NO_ERROR_AUTHENTICATED) {
    mailimap_free(imap);
    *problem = "cannot connect to " + where + (r == MAILIMAP_ERROR_SSL ? ": TLS failed" : "");
    return ConnectionFailed;
  }
  session->Imap = imap;
  if (!account.Tls) {
    r = mailimap_socket_starttls_with_callback(imap, named ? NameTheServer : nullptr, &host[0]);
    if (r != MAILIMAP_NO_ERROR) {
      *problem = where + ": STARTTLS failed (" + ServerWords(*session) +
                 "): no login over a connection that is not encrypted";
      mailimap_free(imap);
      *session = {};
      return Refused;
    }
  }
  const std::string untrusted = CertificateProblem(imap, account);
  if (!untrusted.empty()) {
    *problem = where + ": the server's certificate is not trusted: " + untrusted;
    mailimap_free(imap);
    *session = {};
    return Refused;
  }
  r = mailimap_login(imap, account.User.c_str(), password.c_str());
  if (r != MAILIMAP_NO_ERROR) {
    const bool refused = r == MAILIMAP_ERROR_LOGIN;
    *problem = refused ? "login as " + account.User + " refused: " + ServerWords(*session)
                       : where + ": the connection was lost at the login";
    mailimap_free(imap);
    *session = {};
    return refused ? Refused : ConnectionFailed;
  }
  ReadCapabilities(session);
  ReadDelimiter(session);
  return Connected;
}

void CloseImap(ImapSession *session) {
  if (session->Imap == nullptr) return;
  mailimap_logout(session->Imap);
  mailimap_free(session->Imap);
  session->Imap = nullptr;
}

std::string ServerWords(const ImapSession &session) {
  const char *words = session.Imap != nullptr ? session.Imap->imap_response : nullptr;
  if (words == nullptr || words[0] == '\0') return "no reason given";
  std::string printable;
  for (const char *c = words; *c != '\0' && printable.size() < 400; ++c)
    printable += uint8_t(*c) < 0x20 ? ' ' : *c;
  return printable;
}

std::string ModifiedUtf7(const std::string &utf8) {
  static const char Digits[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+,";
  std::string out;
  std::vector<uint16_t> units;
  auto flush = [&] {
    if (units.empty()) return;
    out += '&';
    uint32_t bits = 0;
    int count = 0;
    for (uint16_t unit : units) {
      bits = bits << 16 | unit;
      count += 16;
      while (count >= 6) {
        count -= 6;
        out += Digits[(bits >> count) & 63];
      }
    }
    if (count > 0) out += Digits[(bits << (6 - count)) & 63];
    out += '-';
    units.clear();
  };
  for (size_t i = 0; i < utf8.size();) {
    const uint8_t c = uint8_t(utf8[i]);
    if (c >= 0x20 && c < 0x7f) {
      flush();
      out += c == '&' ? std::string("&-") : std::string(1, char(c));
      ++i;
      continue;
    }
    uint32_t code = '?';
    size_t length = c >= 0xf0 ? 4 : c >= 0xe0 ? 3 : c >= 0xc0 ? 2 : 1;
    if (length > 1 && i + length <= utf8.size()) {
      code = c & (0x7f >> length);
      for (size_t k = 1; k < length; ++k) code = code << 6 | (uint8_t(utf8[i + k]) & 0x3f);
    } else {
      length = 1;
    }
    i += length;
    if (code >= 0x10000) {
      code -= 0x10000;
      units.push_back(uint16_t(0xd800 + (code >> 10)));
      units.push_back(uint16_t(0xdc00 + (code & 0x3ff)));
    } else {
      units.push_back(uint16_t(code));
    }
  }
  flush();
  return out;
}
