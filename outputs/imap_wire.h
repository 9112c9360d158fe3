// An IMAP connection's bytes both ways: what is written gathered until it
// goes, and the server's responses read whole (their lines and the {N}
// literals in them), each within bounds on its length, its literals and its
// items, and every wait within a time, so that a server that sends too much
// or stops answering costs a bounded memory and time and then a clean
// failure.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/net_stream.h"

struct ImapLimits {
  size_t LongestLine;     // one line of a response, its literals apart
  size_t LargestLiteral;  // one {N}
  size_t LargestResponse; // a response's lines and literals together
  size_t MostItems;       // atoms, strings and parentheses in one response
  int TimeoutMs;          // the longest wait for the server's next bytes
};

// Lines and literals up to 1 MB, responses up to 2 MB and 65,536 items, a
// minute's wait.
extern const ImapLimits DefaultImapLimits;

struct ImapWire {
  NetStream *Stream;
  ImapLimits Limits;
  std::string In;   // received and not yet taken, from InAt
  size_t InAt;
  std::string Out;  // written and not yet sent
  bool Broken;         // lost or out of bounds: good only to be closed
  std::string Problem; // why, printable, once Broken
  bool Misbehaved;     // broken by the server's answer, not by the connection
};

// A wire over `stream` with the default limits.
void StartWire(ImapWire *wire, NetStream *stream);

// Bytes for the server, sent once Out holds enough or at FlushWire; bytes
// of a good size go at once, without a copy. False once the wire is broken.
bool WriteWire(ImapWire *wire, const char *bytes, size_t size);
bool WriteWire(ImapWire *wire, const std::string &text);
bool FlushWire(ImapWire *wire);

// Overwrites what is gathered to go (a password among it) and drops it.
void WipeOut(ImapWire *wire);

enum ImapKind { ImapTagged, ImapUntagged, ImapContinuation };

struct ImapResponse {
  ImapKind Kind;
  std::string Tag;  // for ImapTagged
  // The response as it came without its last CR LF, its literals in place
  // ("{N}" CR LF and the N bytes), from the tag on.
  std::string Raw;
  size_t DataAt;  // where what follows the tag (or "*", "+") starts
};

// Reads the next response whole. False when the connection went, the time
// ran out or the server broke the bounds or the protocol: the wire is then
// broken, with the reason in its Problem.
bool ReadResponse(ImapWire *wire, ImapResponse *response);

enum ImapTokenKind { ImapAtom, ImapQuoted, ImapLiteral, ImapNil, ImapOpen, ImapClose };

// One item of a response's data: for ImapLiteral the literal's bytes, for
// ImapQuoted the text between the quotes (escapes still in), else the
// item's own bytes, in Raw.
struct ImapToken {
  ImapTokenKind Kind;
  size_t At, Size;
};

// The items of `response.Raw` from `from` on. False, with why, where they
// do not parse or are more than the limit; the parentheses balance when
// true.
bool TokensOf(const ImapResponse &response, size_t from, size_t most,
              std::vector<ImapToken> *tokens, std::string *problem);

// An item's text: a string's value, escapes taken out; an atom as it is.
std::string TokenText(const ImapResponse &response, const ImapToken &token);

// The index past the item at `at`, a list with all it holds.
size_t SkipItem(const std::vector<ImapToken> &tokens, size_t at);

// The status word of a tagged response or an untagged OK, NO, BAD, BYE or
// PREAUTH ("OK"...), upper case, and the server's words after it, made
// printable and cut at 400 bytes; the status is empty for other responses.
std::string StatusOf(const ImapResponse &response, std::string *words);

// Text the server sent, made printable: control bytes as blanks, cut at
// 400 bytes.
std::string PrintableWords(const char *text, size_t size);
