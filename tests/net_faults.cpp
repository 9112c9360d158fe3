#include "tests/net_faults.h"

#include <cstdio>

namespace {

int Nth[NetCallCount], Seen[NetCallCount], Made[NetCallCount];

bool Strikes(NetCall call) {
  ++Made[call];
  if (Nth[call] == 0) return false;
  return ++Seen[call] == Nth[call];
}

void Refused(NetProblem *problem, const char *what) {
  snprintf(problem->Reason, sizeof problem->Reason, "%s refused (made to fail)", what);
  problem->Fingerprint[0] = '\0';
}

NetStream *Connect(const char *host, uint16_t port, int timeout_ms, NetProblem *problem) {
  if (!Strikes(ConnectCall)) return SystemNetCalls.Connect(host, port, timeout_ms, problem);
  Refused(problem, "the connection");
  return nullptr;
}

bool StartTls(NetStream *stream, const TlsCheck &check, NetProblem *problem) {
  if (!Strikes(StartTlsCall)) return SystemNetCalls.StartTls(stream, check, problem);
  Refused(problem, "the TLS handshake");
  return false;
}

bool Send(NetStream *stream, const void *bytes, size_t size) {
  if (!Strikes(SendCall)) return SystemNetCalls.Send(stream, bytes, size);
  // Half goes, then the connection breaks.
  SystemNetCalls.Send(stream, bytes, size / 2);
  return false;
}

long Receive(NetStream *stream, void *buffer, size_t size, int timeout_ms) {
  return Strikes(ReceiveCall) ? -1 : SystemNetCalls.Receive(stream, buffer, size, timeout_ms);
}

}  // namespace

void FailNetCall(NetCall call, int nth) {
  Nth[call] = nth;
  Seen[call] = 0;
}

int NetCallsMade(NetCall call) { return Made[call]; }

void RestoreNetCalls() {
  for (int call = 0; call < NetCallCount; ++call) Nth[call] = Seen[call] = Made[call] = 0;
  Net = {Connect, StartTls, Send, Receive, SystemNetCalls.Close};
}
