// libFuzzer target: a server's bytes through the IMAP response reader, in
// pieces as a connection gives them, each response read then taken apart as
// the client does. Bounds small, so that the fuzzer reaches them: the
// reader must stop within them, and each item it gives must lie within the
// response.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "outputs/imap_wire.h"

// The bytes of one input, given out a few at a time.
struct NetStream {
  const uint8_t *Data;
  size_t Size, At;
};

namespace {

NetStream *Connect(const char *, uint16_t, int, NetProblem *) { return nullptr; }
bool StartTls(NetStream *, const TlsCheck &, NetProblem *) { return false; }
bool Send(NetStream *, const void *, size_t) { return true; }

long Receive(NetStream *stream, void *buffer, size_t size, int) {
  if (stream->At == stream->Size) return 0;
  // Pieces of 1 to 64 bytes, their sizes taken from the bytes themselves.
  size_t piece = 1 + stream->Data[stream->At] % 64;
  piece = std::min(std::min(piece, size), stream->Size - stream->At);
  memcpy(buffer, stream->Data + stream->At, piece);
  stream->At += piece;
  return long(piece);
}

void Close(NetStream *) {}

void Fail(const char *what) {
  fprintf(stderr, "imap_fuzz: %s\n", what);
  abort();
}

}  // namespace

const NetCalls SystemNetCalls = {Connect, StartTls, Send, Receive, Close};
NetCalls Net = SystemNetCalls;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  NetStream stream = {data, size, 0};
  ImapWire wire;
  StartWire(&wire, &stream);
  wire.Limits = {512, 1024, 4096, 64, 1000};
  ImapResponse response;
  std::vector<ImapToken> tokens;
  for (int read = 0; ReadResponse(&wire, &response); ++read) {
    if (read > int(size)) Fail("more responses than bytes");
    if (response.Raw.size() > wire.Limits.LargestResponse + wire.Limits.LongestLine + 2)
      Fail("a response past its bound");
    if (response.DataAt > response.Raw.size()) Fail("data past the response");
    std::string words, problem;
    StatusOf(response, &words);
    if (words.size() > 400) Fail("words past 400 bytes");
    if (!TokensOf(response, response.DataAt, wire.Limits.MostItems, &tokens, &problem)) continue;
    if (tokens.size() > wire.Limits.MostItems) Fail("more items than the bound");
    int depth = 0;
    for (size_t i = 0; i < tokens.size(); ++i) {
      const ImapToken &token = tokens[i];
      if (token.At > response.Raw.size() || token.Size > response.Raw.size() - token.At)
        Fail("an item past the response");
      depth += token.Kind == ImapOpen ? 1 : token.Kind == ImapClose ? -1 : 0;
      if (depth < 0) Fail("a list closed before it opened");
      if (SkipItem(tokens, i) <= i) Fail("an item that does not move on");
      TokenText(response, token);
    }
    if (depth != 0) Fail("lists left open");
  }
  if (!wire.Broken) Fail("the reader stopped without a reason");
  return 0;
}
