// Every call the mail-account output makes on the network, in one table: a
// TCP connection to a server, then TLS over it from the system's own stack
// (GnuTLS on Linux, SChannel on Windows). A test puts other calls in their
// place to make one fail on purpose (a refused connection, a handshake cut
// off, a send that breaks half way), as it does with the file calls.
#pragma once

#include <cstddef>
#include <cstdint>

// An open connection; what it holds is the system's own.
struct NetStream;

// What the server's certificate is checked against, before any byte of a
// login goes.
struct TlsCheck {
  const char *HostName;  // the name the certificate must carry
  const char *CaFile;    // PEM authorities trusted instead of the system's; null: the system's
};

// Why a connection or a TLS start failed, in the system's words, and which
// certificate was refused, so the user can compare it with the server's.
struct NetProblem {
  char Reason[512];
  char Fingerprint[100];  // SHA-256 of the server's certificate, "AB:CD:...", or empty
};

struct NetCalls {
  // Opens a TCP connection to `host` (a name or a numeric address) on
  // `port`, waiting at most `timeout_ms`. Null when it cannot, with the
  // reason in `*problem`.
  NetStream *(*Connect)(const char *host, uint16_t port, int timeout_ms, NetProblem *problem);

  // Starts TLS as the client over the open connection: the handshake, the
  // server's chain checked against `check`'s authorities and its name
  // against `check.HostName`. False when the handshake fails or the
  // certificate is refused, with the reason and, where a certificate came,
  // its fingerprint in `*problem`; the stream is then good only for Close.
  bool (*StartTls)(NetStream *stream, const TlsCheck &check, NetProblem *problem);

  // Sends all `size` bytes, through TLS once it is started. False when they
  // could not all go.
  bool (*Send)(NetStream *stream, const void *bytes, size_t size);

  // Receives up to `size` bytes, waiting at most `timeout_ms` for the first
  // of them. The count received; 0 when the server closed the connection;
  // -1 on a failure or when the time ran out.
  long (*Receive)(NetStream *stream, void *buffer, size_t size, int timeout_ms);

  // Ends TLS where it was started and closes the connection.
  void (*Close)(NetStream *stream);
};

// The calls in use.
extern NetCalls Net;

// The system's own calls, for a test to go back to.
extern const NetCalls SystemNetCalls;
