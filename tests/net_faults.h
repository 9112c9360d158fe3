// The Net table as the network tests run with it: the system's calls, any
// of which a test makes fail on purpose (a refused connection, a TLS start
// refused, a send that breaks half way, a receive that times out), as
// fault_harness.h does with the file calls.
#pragma once

#include "platform/net_stream.h"

enum NetCall { ConnectCall, StartTlsCall, SendCall, ReceiveCall, NetCallCount };

// From now on the `nth` call of `call` (1: the next one) fails, once: a
// Connect or a StartTls as refused, a Send after half its bytes went, a
// Receive as out of time. Another fault armed before for the same call is
// disarmed.
void FailNetCall(NetCall call, int nth);

// The calls of `call` made since the table was last restored.
int NetCallsMade(NetCall call);

// The harness's calls in Net, no failure armed, the counts at 0.
void RestoreNetCalls();
