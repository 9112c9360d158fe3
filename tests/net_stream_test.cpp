// The Windows network calls against a real TLS server on 127.0.0.1: an echo
// server that tests/tls_echo_server.py starts around this program, with a
// certificate for "localhost" and 127.0.0.1 from an authority it makes. It hands over the
// ports, the authority's file, another authority's file and the server
// certificates' fingerprints in the environment.
#include <gtest/gtest.h>
#include <winsock2.h>
#include <windows.h>

#include <cstdlib>
#include <string>

#include "platform/net_stream.h"
#include "platform/system_facts.h"

namespace {

struct EchoServer {
  uint16_t Port, ExpiredPort;
  std::string Ca, OtherCa, Fingerprint, ExpiredFingerprint;
};

std::string Env(const char *name) {
  const char *value = getenv(name);
  return value ? value : "";
}

// The server the script started, or null: the test is then skipped, loudly.
const EchoServer *Server() {
  static const EchoServer server = {uint16_t(atoi(Env("VESSOR_TLS_PORT").c_str())),
                                    uint16_t(atoi(Env("VESSOR_TLS_EXPIRED_PORT").c_str())),
                                    Env("VESSOR_TLS_CA"),
                                    Env("VESSOR_TLS_OTHER_CA"),
                                    Env("VESSOR_TLS_FINGERPRINT"),
                                    Env("VESSOR_TLS_EXPIRED_FINGERPRINT")};
  return server.Port ? &server : nullptr;
}

#define NEED_SERVER()                                                                                  \
  if (!Server())                                                                                       \
  GTEST_SKIP() << "!!! SKIPPED: no TLS server: run this program through tests/tls_echo_server.py, " \
                  "which gives VESSOR_TLS_PORT and the authorities' files"

// Everything the server sends until `size` bytes came, or "" on a failure.
std::string ReceiveAll(NetStream *stream, size_t size) {
  std::string got;
  char buffer[4096];
  while (got.size() < size) {
    long count = Net.Receive(stream, buffer, sizeof buffer, 10000);
    if (count <= 0) return "";
    got.append(buffer, size_t(count));
  }
  return got;
}

TEST(NetStream, TlsWithTheServersAuthorityCarriesLinesBothWays) {
  NEED_SERVER();
  NetProblem problem;
  NetStream *stream = Net.Connect("127.0.0.1", Server()->Port, 10000, &problem);
  ASSERT_NE(stream, nullptr) << problem.Reason;
  ASSERT_TRUE(Net.StartTls(stream, TlsCheck{"localhost", Server()->Ca.c_str()}, &problem)) << problem.Reason;
  const std::string line = "a1 NOOP\r\n";
  ASSERT_TRUE(Net.Send(stream, line.data(), line.size()));
  EXPECT_EQ(ReceiveAll(stream, line.size()), line);
  // More than one record each way, and records that arrive split.
  std::string large;
  for (int i = 0; large.size() < 100000; ++i) large += "line " + std::to_string(i) + "\r\n";
  ASSERT_TRUE(Net.Send(stream, large.data(), large.size()));
  EXPECT_EQ(ReceiveAll(stream, large.size()), large);
  // The server says nothing more: the wait ends at its limit, not much later.
  char byte;
  DWORD started = GetTickCount();
  EXPECT_EQ(Net.Receive(stream, &byte, 1, 300), -1);
  DWORD waited = GetTickCount() - started;
  EXPECT_GE(waited, 250u);
  EXPECT_LT(waited, 5000u);
  // The server ends TLS: the end is told as the end, and stays so.
  ASSERT_TRUE(Net.Send(stream, "QUIT\r\n", 6));
  EXPECT_EQ(Net.Receive(stream, &byte, 1, 10000), 0);
  EXPECT_EQ(Net.Receive(stream, &byte, 1, 10000), 0);
  Net.Close(stream);
}

TEST(NetStream, AnAddressIsCheckedAmongTheCertificatesAddresses) {
  NEED_SERVER();
  NetProblem problem;
  NetStream *stream = Net.Connect("127.0.0.1", Server()->Port, 10000, &problem);
  ASSERT_NE(stream, nullptr) << problem.Reason;
  EXPECT_TRUE(Net.StartTls(stream, TlsCheck{"127.0.0.1", Server()->Ca.c_str()}, &problem)) << problem.Reason;
  Net.Close(stream);
}

TEST(NetStream, RefusedCertificatesSayWhyAndWhichOne) {
  NEED_SERVER();
  const EchoServer &server = *Server();
  struct Row {
    const char *What;
    uint16_t Port;
    const char *HostName;
    std::string CaFile;
    const char *Reason;
    std::string Fingerprint;
  } rows[] = {
      {"an authority that did not sign it", server.Port, "localhost", server.OtherCa,
       "is not signed by an authority of", server.Fingerprint},
      {"another name", server.Port, "mail.other.example", server.Ca, "is not for the name mail.other.example",
       server.Fingerprint},
      {"another address", server.Port, "127.0.0.2", server.Ca, "is not for the name 127.0.0.2", server.Fingerprint},
      {"an address of another kind", server.Port, "::1", server.Ca, "is not for the name ::1", server.Fingerprint},
      {"the system's authorities", server.Port, "localhost", "", "not signed by an authority this computer trusts",
       server.Fingerprint},
      {"an authorities file that is not there", server.Port, "localhost", server.Ca + ".gone", "cannot be read",
       server.Fingerprint},
      {"expired", server.ExpiredPort, "localhost", server.Ca, "has expired", server.ExpiredFingerprint},
  };
  for (const Row &row : rows) {
    SCOPED_TRACE(row.What);
    NetProblem problem;
    NetStream *stream = Net.Connect("127.0.0.1", row.Port, 10000, &problem);
    ASSERT_NE(stream, nullptr) << problem.Reason;
    EXPECT_FALSE(Net.StartTls(stream, TlsCheck{row.HostName, row.CaFile.c_str()}, &problem));
    EXPECT_NE(std::string(problem.Reason).find(row.Reason), std::string::npos) << problem.Reason;
    EXPECT_EQ(std::string(problem.Fingerprint), row.Fingerprint);
    Net.Close(stream);
  }
}

// A listening socket of this program's own on 127.0.0.1 that never answers
// nor reads;
// `port` is where it listens. Without `listening`, the port is closed again.
SOCKET Listener(uint16_t *port, bool listening) {
  SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int size = sizeof address;
  EXPECT_EQ(bind(listener, reinterpret_cast<sockaddr *>(&address), size), 0);
  EXPECT_EQ(getsockname(listener, reinterpret_cast<sockaddr *>(&address), &size), 0);
  *port = ntohs(address.sin_port);
  if (listening) {
    // The system takes the connection into the backlog; nobody reads it.
    EXPECT_EQ(listen(listener, 4), 0);
    return listener;
  }
  closesocket(listener);
  return INVALID_SOCKET;
}

TEST(NetStream, ClosedPortAndSilentServerFailWithAReason) {
  WSADATA data;
  ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
  uint16_t port;
  Listener(&port, false);
  NetProblem problem;
  EXPECT_EQ(Net.Connect("127.0.0.1", port, 10000, &problem), nullptr);
  EXPECT_EQ(std::string(problem.Reason), SystemErrorText(WSAECONNREFUSED));

  SOCKET listener = Listener(&port, true);
  NetStream *stream = Net.Connect("127.0.0.1", port, 300, &problem);
  ASSERT_NE(stream, nullptr) << problem.Reason;
  char byte;
  EXPECT_EQ(Net.Receive(stream, &byte, 1, 100), -1);
  // The handshake's waits have the connection's limit.
  DWORD started = GetTickCount();
  EXPECT_FALSE(Net.StartTls(stream, TlsCheck{"localhost", nullptr}, &problem));
  EXPECT_LT(GetTickCount() - started, 5000u);
  EXPECT_NE(std::string(problem.Reason).find("no answer"), std::string::npos) << problem.Reason;
  EXPECT_STREQ(problem.Fingerprint, "");
  Net.Close(stream);
  // Nor does it take bytes: a send ends when the server took none for the limit.
  stream = Net.Connect("127.0.0.1", port, 300, &problem);
  ASSERT_NE(stream, nullptr) << problem.Reason;
  const std::string flood(64 << 20, 'x');
  started = GetTickCount();
  EXPECT_FALSE(Net.Send(stream, flood.data(), flood.size()));
  EXPECT_LT(GetTickCount() - started, 5000u);
  Net.Close(stream);
  closesocket(listener);
  WSACleanup();
}

}  // namespace
