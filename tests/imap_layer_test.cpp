// The IMAP layer against hostile and failing servers: a response reader that
// fails cleanly and in time on what has no bound or no end, a connection
// that fails through the Net table where it must (and sends nothing of the
// login before TLS), and a run whose send breaks in the middle of an APPEND
// delivering each message once, into a real Dovecot.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <thread>

#include "outputs/imap_client.h"
#include "tests/dovecot_server.h"
#include "tests/net_faults.h"
#include "tools/vfolder/imap_command.h"
#include "outputs/imap_providers.h"
#include "outputs/imap_session.h"

namespace {

// A server of one connection on 127.0.0.1: it sends `greeting`, then
// answers each line it receives with `answer(line)`; it hangs up when
// `hang_up`, else keeps the connection open, silent, until it is ended.
struct ScriptedServer {
  int Listener = -1;
  uint16_t Port = 0;
  std::thread Serving;
  std::atomic<bool> Ending{false};
  std::string Received;
};

void StartServer(ScriptedServer *server, const std::string &greeting, bool hang_up,
                 std::function<std::string(const std::string &)> answer = nullptr) {
  server->Listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(0, bind(server->Listener, reinterpret_cast<sockaddr *>(&address), sizeof address));
  ASSERT_EQ(0, listen(server->Listener, 1));
  socklen_t size = sizeof address;
  getsockname(server->Listener, reinterpret_cast<sockaddr *>(&address), &size);
  server->Port = ntohs(address.sin_port);
  server->Serving = std::thread([server, greeting, hang_up, answer] {
    const int s = accept(server->Listener, nullptr, nullptr);
    if (s < 0) return;
    if (send(s, greeting.data(), greeting.size(), MSG_NOSIGNAL) < 0) {
    }
    const timeval tick = {0, 50000};
    setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &tick, sizeof tick);
    std::string line;
    while (!hang_up && !server->Ending) {
      char c;
      const ssize_t got = recv(s, &c, 1, 0);
      if (got == 0) break;
      if (got < 0) continue;
      server->Received += c;
      line += c;
      if (c != '\n' || !answer) continue;
      const std::string reply = answer(line);
      line.clear();
      if (send(s, reply.data(), reply.size(), MSG_NOSIGNAL) < 0) break;
    }
    close(s);
  });
}

void EndServer(ScriptedServer *server) {
  server->Ending = true;
  shutdown(server->Listener, SHUT_RDWR);
  if (server->Serving.joinable()) server->Serving.join();
  close(server->Listener);
}

struct ReaderRow {
  const char *Name;
  std::string Sent;
  bool HangsUp;
  const char *Said;  // in the wire's problem once it fails
};

class ImapLayer : public ::testing::Test {
 protected:
  void SetUp() override { RestoreNetCalls(); }
  void TearDown() override { RestoreNetCalls(); }
};

TEST_F(ImapLayer, ReaderFailsCleanlyAndInTime) {
  const std::string megabytes(2u << 20, 'x');
  const ReaderRow rows[] = {
      {"a literal too large", "* 1 FETCH (BODY[] {1073741824}\r\n" + std::string(4096, 'x'), false,
       "claims a literal over 1 MB"},
      {"a line without end", megabytes, false, "has a line over 1 MB"},
      {"literals past the bound of a response",
       "* 1 FETCH (A {900000}\r\n" + std::string(900000, 'a') + " B {900000}\r\n" +
           std::string(900000, 'b') + " C {900000}\r\n" + std::string(900000, 'c') + ")\r\n",
       false, "over 2 MB"},
      {"a server that stops answering", "* OK half a gree", false, "did not answer within"},
      {"a server that stops in a literal", "* 1 FETCH (BODY[] {100}\r\nabc", false,
       "did not answer within"},
      {"a server that hangs up", "* OK hello\r\n* OK bye", true, "closed the connection"},
      {"an empty line", "\r\n", false, "empty line"},
      {"a tag alone", "A1\r\n", false, "cannot be read"},
  };
  for (const ReaderRow &row : rows) {
    SCOPED_TRACE(row.Name);
    ScriptedServer server;
    StartServer(&server, row.Sent, row.HangsUp);
    NetProblem problem = {};
    NetStream *stream = Net.Connect("127.0.0.1", server.Port, 2000, &problem);
    ASSERT_NE(nullptr, stream) << problem.Reason;
    ImapWire wire;
    StartWire(&wire, stream);
    wire.Limits.TimeoutMs = 300;
    const auto started = std::chrono::steady_clock::now();
    ImapResponse response;
    int read = 0;
    while (read < 10 && ReadResponse(&wire, &response)) ++read;
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    EXPECT_TRUE(wire.Broken);
    EXPECT_NE(std::string::npos, wire.Problem.find(row.Said)) << wire.Problem;
    EXPECT_LT(seconds, 5.0);
    // Nothing unbounded was kept.
    EXPECT_LT(wire.In.capacity() + response.Raw.capacity(), size_t(8) << 20);
    Net.Close(stream);
    EndServer(&server);
  }
}

struct TokenRow {
  const char *Name;
  std::string Raw;
  size_t Most;
  const char *Problem;  // null: it reads
};

TEST_F(ImapLayer, TokensOfHostileResponses) {
  const TokenRow rows[] = {
      {"a fetch with a literal", "* 1 FETCH (UID 5 BODY[HEADER.FIELDS (X)] {5}\r\nhello)", 100,
       nullptr},
      {"a list that does not close", "* 1 FETCH (UID 5 (A B)", 100, "with no ')'"},
      {"a close with no open", "* LIST ) x", 100, "with no '('"},
      {"a quoted string that does not end", "* X \"open", 100, "no end"},
      {"a literal past the response", "* X {10}\r\nabc", 100, "does not read"},
      {"a literal with no line break", "* X {3}abc", 100, "does not read"},
      {"too many items", "* SEARCH 1 2 3 4 5 6 7 8 9 10 11", 10, "more than 10 items"},
  };
  for (const TokenRow &row : rows) {
    SCOPED_TRACE(row.Name);
    ImapResponse response = {ImapUntagged, "", row.Raw, 2};
    std::vector<ImapToken> tokens;
    std::string problem;
    const bool read = TokensOf(response, 2, row.Most, &tokens, &problem);
    EXPECT_EQ(row.Problem == nullptr, read) << problem;
    if (row.Problem != nullptr) {
      EXPECT_NE(std::string::npos, problem.find(row.Problem)) << problem;
    }
  }
  ImapResponse fetch = {ImapUntagged, "", rows[0].Raw, 2};
  std::vector<ImapToken> tokens;
  std::string problem;
  ASSERT_TRUE(TokensOf(fetch, 2, 100, &tokens, &problem));
  EXPECT_EQ("BODY[HEADER.FIELDS (X)]", TokenText(fetch, tokens[5]));
  EXPECT_EQ("hello", TokenText(fetch, tokens[6]));
}

struct ConnectRow {
  const char *Name;
  bool Tls;
  NetCall Failing;  // its first call fails; NetCallCount: none
  std::string Capabilities;
  ImapConnecting Outcome;
  const char *Said;
};

TEST_F(ImapLayer, ConnectionsThatFailSendNoLogin) {
  const ConnectRow rows[] = {
      {"connection refused", true, ConnectCall, "", ImapUnreachable, "cannot connect"},
      {"TLS start refused", true, StartTlsCall, "", ImapUnreachable, "TLS handshake refused"},
      {"STARTTLS refused", false, StartTlsCall, "IMAP4rev1 STARTTLS", ImapUnreachable,
       "TLS handshake refused"},
      {"STARTTLS not offered", false, NetCallCount, "IMAP4rev1 LOGINDISABLED", ImapRefused,
       "STARTTLS failed (not offered)"},
      {"no greeting", false, ReceiveCall, "", ImapUnreachable, "no greeting"},
  };
  for (const ConnectRow &row : rows) {
    SCOPED_TRACE(row.Name);
    RestoreNetCalls();
    ScriptedServer server;
    const std::string capabilities = row.Capabilities;
    StartServer(&server, row.Tls ? "" : "* OK ready\r\n", false, [&](const std::string &line) {
      const std::string tag = line.substr(0, line.find(' '));
      if (line.find("CAPABILITY") != std::string::npos)
        return "* CAPABILITY " + capabilities + "\r\n" + tag + " OK done\r\n";
      return tag + " OK go ahead\r\n";
    });
    if (row.Failing != NetCallCount) FailNetCall(row.Failing, 1);
    ImapClient client;
    std::string problem;
    const ImapServer account = {"127.0.0.1", server.Port, row.Tls, nullptr, "mailer", false};
    EXPECT_EQ(row.Outcome, OpenImapClient(account, "pass-word", &client, &problem));
    EXPECT_NE(std::string::npos, problem.find(row.Said)) << problem;
    EXPECT_EQ(std::string::npos, problem.find("pass-word"));
    EndServer(&server);
    EXPECT_EQ(std::string::npos, server.Received.find("LOGIN")) << server.Received;
    EXPECT_EQ(std::string::npos, server.Received.find("pass-word"));
  }
}

// TLS that is not: the stream stays plain, so that a scripted server sees
// what goes once TLS is started.
bool PlainTls(NetStream *, const TlsCheck &, NetProblem *) { return true; }

struct LoginRow {
  const char *Name;
  std::string User, Capabilities;
  const char *Sent;     // what the server receives
  const char *NotSent;  // and does not
  bool OAuth2;          // the secret is an access token
};

TEST_F(ImapLayer, LoginAsTheServerTakesIt) {
  const LoginRow rows[] = {
      {"LOGIN in quoted strings", "mailer", "IMAP4rev1", "LOGIN \"mailer\" \"pass\\\"word\"",
       "AUTHENTICATE", false},
      {"LOGIN with a literal waited for", "m\xc3\xa9l", "IMAP4rev1",
       "LOGIN {4}\r\nm\xc3\xa9l \"pass\\\"word\"", "AUTHENTICATE", false},
      {"LOGIN with a literal not waited for", "m\xc3\xa9l", "IMAP4rev1 LITERAL+",
       "LOGIN {4+}\r\nm\xc3\xa9l", "AUTHENTICATE", false},
      // "\0mailer\0pass\"word" in base64.
      {"AUTHENTICATE PLAIN where LOGIN is disabled", "mailer", "IMAP4rev1 LOGINDISABLED AUTH=PLAIN",
       "AUTHENTICATE PLAIN\r\nAG1haWxlcgBwYXNzIndvcmQ=\r\n", "LOGIN ", false},
      // "user=mailer\1auth=Bearer pass\"word\1\1" in base64, in the command
      // with SASL-IR, else after the "+".
      {"XOAUTH2 with SASL-IR", "mailer", "IMAP4rev1 SASL-IR AUTH=PLAIN AUTH=XOAUTH2 AUTH=OAUTHBEARER",
       "AUTHENTICATE XOAUTH2 dXNlcj1tYWlsZXIBYXV0aD1CZWFyZXIgcGFzcyJ3b3JkAQE=\r\n", "LOGIN ", true},
      {"XOAUTH2 without SASL-IR", "mailer", "IMAP4rev1 AUTH=XOAUTH2",
       "AUTHENTICATE XOAUTH2\r\ndXNlcj1tYWlsZXIBYXV0aD1CZWFyZXIgcGFzcyJ3b3JkAQE=\r\n", "LOGIN ",
       true},
      // "n,a=mailer,\1" in base64: the GS2 header.
      {"OAUTHBEARER where only that is offered", "mailer", "IMAP4rev1 SASL-IR AUTH=OAUTHBEARER",
       "AUTHENTICATE OAUTHBEARER bixhPW1haWxlciwB", "XOAUTH2", true},
  };
  for (const LoginRow &row : rows) {
    SCOPED_TRACE(row.Name);
    RestoreNetCalls();
    Net.StartTls = PlainTls;
    ScriptedServer server;
    const std::string capabilities = row.Capabilities;
    std::string command;  // the tag of the command the lines are of
    StartServer(&server, "* OK ready\r\n", false, [&](const std::string &line) -> std::string {
      if (line[0] == 'V' && line.size() > 1 && line[1] >= '0' && line[1] <= '9')
        command = line.substr(0, line.find(' '));
      if (line.find("CAPABILITY") != std::string::npos)
        return "* CAPABILITY " + capabilities + "\r\n" + command + " OK done\r\n";
      if (line.find("LIST") != std::string::npos)
        return "* LIST () \".\" \"\"\r\n" + command + " OK done\r\n";
      // A literal or an exchange of AUTHENTICATE goes on once asked for.
      const bool literal = line.size() > 3 && line.compare(line.size() - 3, 3, "}\r\n") == 0 &&
                           line.find("+}") == std::string::npos;
      // (but for one whose first response is in the command: SASL-IR).
      const size_t authenticate = line.find("AUTHENTICATE ");
      if (literal || (authenticate != std::string::npos &&
                      line.find(' ', authenticate + 13) == std::string::npos))
        return "+ \r\n";
      return command + " OK done\r\n";
    });
    ImapClient client;
    std::string problem;
    const ImapServer account = {"127.0.0.1", server.Port, true, nullptr, row.User, row.OAuth2};
    EXPECT_EQ(ImapConnected, OpenImapClient(account, "pass\"word", &client, &problem)) << problem;
    EXPECT_EQ('.', client.Delimiter);
    CloseImapClient(&client);
    EndServer(&server);
    EXPECT_NE(std::string::npos, server.Received.find(row.Sent)) << server.Received;
    EXPECT_EQ(std::string::npos, server.Received.find(row.NotSent)) << server.Received;
  }
}

// The messages the mailbox holds, read with the layer itself.
uint32_t MessagesIn(const Dovecot &server, const std::string &mailbox) {
  ImapClient client;
  std::string problem;
  const uint16_t port = uint16_t(atoi(server.Url.substr(server.Url.rfind(':') + 1).c_str()));
  const ImapServer account = {"127.0.0.1", port, true, server.Ca.c_str(), "mailer", false};
  if (OpenImapClient(account, server.Password, &client, &problem) != ImapConnected) {
    ADD_FAILURE() << problem;
    return 0;
  }
  const uint32_t messages =
      SelectMailbox(&client, mailbox, true) == ImapOk ? client.Exists : 0;
  CloseImapClient(&client);
  return messages;
}

TEST_F(ImapLayer, SendBrokenMidAppendDeliversEachOnce) {
  if (!HaveDovecot()) {
    GTEST_SKIP() << "!!! Dovecot's IMAP server is not installed: this check is SKIPPED";
  }
  Dovecot server;
  ASSERT_TRUE(StartDovecot(&server)) << "tests/imap_test.py serve did not start";
  // Messages of 100 KB, each its own Send: the 10th Send and those after it
  // are in the middle of an APPEND.
  std::string description;
  for (int n = 0; n < 40; ++n)
    description += "message\nname m" + std::to_string(n) + "\nbody-fill 100000\n";
  const std::string text = server.Work + "/folder.txt", index = server.Work + "/FOLDER.IDX";
  std::ofstream(text) << description;
  const std::string make = std::string(VESSOR_MKFOLDER) + " " + text + " " + index;
  ASSERT_EQ(0, system(make.c_str()));
  const std::string password = server.Work + "/password";
  std::ofstream(password) << server.Password << "\n";
  for (int nth : {10, 14, 25}) {
    SCOPED_TRACE(nth);
    const std::string mailbox = "Broken" + std::to_string(nth);
    const std::string url = server.Url + "/" + mailbox;
    const std::string ledger = server.Work + "/" + mailbox + ".ledger";
    ImapCommand command = {index.c_str(), url.c_str(), true, false, false, password.c_str(),
                           server.Ca.c_str(), ledger.c_str(), 0, 0, nullptr, nullptr};
    RestoreNetCalls();
    FailNetCall(SendCall, nth);
    EXPECT_EQ(0, RunImapCommand(command));
    EXPECT_EQ(2, NetCallsMade(ConnectCall));  // the connection broken, and another
    EXPECT_EQ(40u, MessagesIn(server, mailbox));
    // The rerun finds each in the ledger and sends none.
    RestoreNetCalls();
    EXPECT_EQ(0, RunImapCommand(command));
    EXPECT_EQ(40u, MessagesIn(server, mailbox));
  }
  StopDovecot(&server);
}

// --for: the account at a mail service as the URL it stands for, read back
// as any URL is; nothing here connects anywhere.
TEST(ImapProviders, AccountsResolveToTheServicesHostPortAndCap) {
  struct Row {
    const char *Service, *Account, *Host, *User, *Mailbox;
    uint64_t PerDay;
    bool TokenOnly;
  };
  const Row rows[] = {
      {"gmail", "me@gmail.com", "imap.gmail.com", "me@gmail.com", "", 500000000, false},
      {"gmail", "a%b@x.org/Old/2001", "imap.gmail.com", "a%b@x.org", "Old/2001", 500000000, false},
      {"microsoft", "me@contoso.com/Archive", "outlook.office365.com", "me@contoso.com",
       "Archive", 0, true},
  };
  for (const Row &row : rows) {
    SCOPED_TRACE(row.Account);
    const ImapProvider *provider = FindImapProvider(row.Service);
    ASSERT_NE(nullptr, provider);
    ImapAccount account = {};
    std::string problem;
    ASSERT_TRUE(ParseImapUrl(ProviderUrl(*provider, row.Account).c_str(), &account, &problem))
        << problem;
    EXPECT_EQ(true, account.Tls);
    EXPECT_EQ(993, account.Port);
    EXPECT_EQ(row.Host, account.Host);
    EXPECT_EQ(row.User, account.User);
    EXPECT_EQ(row.Mailbox, account.Mailbox);
    EXPECT_EQ(row.PerDay, provider->BytesPerDay);
    EXPECT_EQ(row.TokenOnly, provider->TokenOnly);
  }
  EXPECT_EQ(nullptr, FindImapProvider("yahoo"));
  EXPECT_EQ("gmail and microsoft", ImapProviderNames());
  // A URL, or no user, is not an account at a service.
  EXPECT_EQ("", ProviderUrl(*FindImapProvider("gmail"), "imaps://me@evil.example/INBOX"));
  EXPECT_EQ("", ProviderUrl(*FindImapProvider("gmail"), "/INBOX"));
}

}  // namespace
