// The network calls on Linux: sockets that never block past the time given,
// and GnuTLS over them, the server's certificate checked in the handshake
// itself so that nothing of a login goes to a server that is not trusted.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gnutls/gnutls.h>
#include <gnutls/x509.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <new>
#include <string>

#include "platform/net_stream.h"

struct NetStream {
  int Socket;
  int TimeoutMs;  // each wait's bound, from the connection's
  gnutls_session_t Session;  // null until TLS is started
  gnutls_certificate_credentials_t Credentials;
  std::string HostName;  // kept for the session's checks
};

namespace {

void Say(NetProblem *problem, const std::string &reason) {
  snprintf(problem->Reason, sizeof problem->Reason, "%s", reason.c_str());
  problem->Fingerprint[0] = '\0';
}

long long NowMs() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return (long long)now.tv_sec * 1000 + now.tv_nsec / 1000000;
}

// Waits until the socket is ready for `events`, the deadline at most. False
// when the time ran out or the wait failed.
bool Await(int socket, short events, long long deadline) {
  for (;;) {
    const long long left = deadline - NowMs();
    if (left <= 0) return false;
    pollfd one = {socket, events, 0};
    const int r = poll(&one, 1, int(left > 1 << 30 ? 1 << 30 : left));
    if (r > 0) return true;
    if (r < 0 && errno != EINTR) return false;
  }
}

bool IsAddress(const char *host) {
  unsigned char address[16];
  return inet_pton(AF_INET, host, address) == 1 || inet_pton(AF_INET6, host, address) == 1;
}

NetStream *Connect(const char *host, uint16_t port, int timeout_ms, NetProblem *problem) {
  addrinfo hints = {};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo *found = nullptr;
  const std::string service = std::to_string(port);
  const int looked = getaddrinfo(host, service.c_str(), &hints, &found);
  if (looked != 0) {
    Say(problem, std::string("cannot find ") + host + ": " + gai_strerror(looked));
    return nullptr;
  }
  const long long deadline = NowMs() + timeout_ms;
  int error = 0, connected = -1;
  for (addrinfo *at = found; at != nullptr && connected < 0; at = at->ai_next) {
    const int s = socket(at->ai_family, at->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, at->ai_protocol);
    if (s < 0) {
      error = errno;
      continue;
    }
    if (connect(s, at->ai_addr, at->ai_addrlen) != 0 && errno != EINPROGRESS) {
      error = errno;
      close(s);
      continue;
    }
    socklen_t size = sizeof error;
    if (!Await(s, POLLOUT, deadline)) {
      error = ETIMEDOUT;
    } else if (getsockopt(s, SOL_SOCKET, SO_ERROR, &error, &size) != 0) {
      error = errno;
    }
    if (error != 0) {
      close(s);
      continue;
    }
    connected = s;
  }
  freeaddrinfo(found);
  if (connected < 0) {
    Say(problem, strerror(error != 0 ? error : ECONNREFUSED));
    return nullptr;
  }
  // The commands are gathered before they go: no need to hold small ones back.
  const int on = 1;
  setsockopt(connected, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  NetStream *stream = new (std::nothrow) NetStream();
  if (stream == nullptr) {
    close(connected);
    Say(problem, "no memory for the connection");
    return nullptr;
  }
  stream->Socket = connected;
  stream->TimeoutMs = timeout_ms;
  return stream;
}

// "AB:CD:..." of the first certificate the server showed; empty for none.
std::string Fingerprint(gnutls_session_t session) {
  unsigned count = 0;
  const gnutls_datum_t *chain = gnutls_certificate_get_peers(session, &count);
  if (chain == nullptr || count == 0) return std::string();
  unsigned char digest[32];
  size_t size = sizeof digest;
  if (gnutls_fingerprint(GNUTLS_DIG_SHA256, &chain[0], digest, &size) < 0) return std::string();
  std::string text;
  for (size_t i = 0; i < size; ++i) {
    char pair[4];
    snprintf(pair, sizeof pair, i == 0 ? "%02X" : ":%02X", digest[i]);
    text += pair;
  }
  return text;
}

bool StartTls(NetStream *stream, const TlsCheck &check, NetProblem *problem) {
  problem->Reason[0] = problem->Fingerprint[0] = '\0';
  int r = gnutls_certificate_allocate_credentials(&stream->Credentials);
  if (r >= 0) {
    r = check.CaFile != nullptr
            ? gnutls_certificate_set_x509_trust_file(stream->Credentials, check.CaFile,
                                                     GNUTLS_X509_FMT_PEM)
            : gnutls_certificate_set_x509_system_trust(stream->Credentials);
    if (r == 0 && check.CaFile != nullptr) {
      Say(problem, std::string(check.CaFile) + ": no certificate authority in it");
      return false;
    }
  }
  if (r >= 0) r = gnutls_init(&stream->Session, GNUTLS_CLIENT | GNUTLS_NO_SIGNAL);
  if (r >= 0) r = gnutls_set_default_priority(stream->Session);
  if (r >= 0) r = gnutls_credentials_set(stream->Session, GNUTLS_CRD_CERTIFICATE, stream->Credentials);
  stream->HostName = check.HostName != nullptr ? check.HostName : "";
  if (r >= 0 && !IsAddress(stream->HostName.c_str()))
    r = gnutls_server_name_set(stream->Session, GNUTLS_NAME_DNS, stream->HostName.data(),
                               stream->HostName.size());
  if (r < 0) {
    Say(problem, std::string("TLS cannot be set up: ") + gnutls_strerror(r));
    return false;
  }
  // The chain and the name are checked in the handshake, which fails when
  // either does not hold.
  gnutls_session_set_verify_cert(stream->Session, stream->HostName.c_str(), 0);
  gnutls_transport_set_int(stream->Session, stream->Socket);
  const long long deadline = NowMs() + stream->TimeoutMs;
  do {
    r = gnutls_handshake(stream->Session);
    if (r == GNUTLS_E_AGAIN &&
        !Await(stream->Socket, gnutls_record_get_direction(stream->Session) ? POLLOUT : POLLIN,
               deadline)) {
      Say(problem, "the TLS handshake timed out");
      return false;
    }
  } while (r < 0 && !gnutls_error_is_fatal(r));
  if (r >= 0) return true;
  std::string reason = gnutls_strerror(r);
  if (r == GNUTLS_E_CERTIFICATE_VERIFICATION_ERROR) {
    gnutls_datum_t text = {};
    const unsigned status = gnutls_session_get_verify_cert_status(stream->Session);
    if (gnutls_certificate_verification_status_print(status, GNUTLS_CRT_X509, &text, 0) >= 0 &&
        text.data != nullptr)
      reason = std::string("the server's certificate is not trusted: ") +
               reinterpret_cast<const char *>(text.data);
    gnutls_free(text.data);
  }
  while (!reason.empty() && (reason.back() == ' ' || reason.back() == '.')) reason.pop_back();
  Say(problem, reason);
  snprintf(problem->Fingerprint, sizeof problem->Fingerprint, "%s",
           Fingerprint(stream->Session).c_str());
  return false;
}

bool Send(NetStream *stream, const void *bytes, size_t size) {
  const char *at = static_cast<const char *>(bytes);
  while (size > 0) {
    // The time is for the server to take the next bytes, not all of them.
    const long long deadline = NowMs() + stream->TimeoutMs;
    ssize_t sent;
    if (stream->Session != nullptr) {
      sent = gnutls_record_send(stream->Session, at, size);
      if (sent == GNUTLS_E_AGAIN || sent == GNUTLS_E_INTERRUPTED) {
        // GnuTLS holds the record: it is sent again by a call without bytes.
        do {
          if (!Await(stream->Socket, POLLOUT, deadline)) return false;
          sent = gnutls_record_send(stream->Session, nullptr, 0);
        } while (sent == GNUTLS_E_AGAIN || sent == GNUTLS_E_INTERRUPTED);
      }
      if (sent <= 0) return false;
    } else {
      sent = send(stream->Socket, at, size, MSG_NOSIGNAL);
      if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
        if (!Await(stream->Socket, POLLOUT, deadline)) return false;
        continue;
      }
      if (sent <= 0) return false;
    }
    at += sent;
    size -= size_t(sent);
  }
  return true;
}

long Receive(NetStream *stream, void *buffer, size_t size, int timeout_ms) {
  const long long deadline = NowMs() + timeout_ms;
  for (;;) {
    ssize_t got;
    if (stream->Session != nullptr) {
      got = gnutls_record_recv(stream->Session, buffer, size);
      if (got == GNUTLS_E_AGAIN || got == GNUTLS_E_INTERRUPTED) {
        if (!Await(stream->Socket, POLLIN, deadline)) return -1;
        continue;
      }
      // A server that closes without TLS's goodbye has closed all the same.
      if (got == GNUTLS_E_PREMATURE_TERMINATION) return 0;
      return got < 0 ? -1 : long(got);
    }
    got = recv(stream->Socket, buffer, size, 0);
    if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
      if (!Await(stream->Socket, POLLIN, deadline)) return -1;
      continue;
    }
    return got < 0 ? -1 : long(got);
  }
}

void Close(NetStream *stream) {
  if (stream == nullptr) return;
  if (stream->Session != nullptr) {
    // The goodbye is not waited for: the connection ends either way.
    gnutls_bye(stream->Session, GNUTLS_SHUT_WR);
    gnutls_deinit(stream->Session);
  }
  if (stream->Credentials != nullptr) gnutls_certificate_free_credentials(stream->Credentials);
  close(stream->Socket);
  delete stream;
}

}  // namespace

const NetCalls SystemNetCalls = {Connect, StartTls, Send, Receive, Close};
NetCalls Net = SystemNetCalls;
