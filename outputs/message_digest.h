// A message's fingerprint, taken as its bytes stream past so that no message
// is held whole: its header section (up to and with the empty line that
// ends it) and its body, each by size and a 128-bit checksum. A change of any
// byte changes the fingerprint but for a chance of about 2^-128; a changed
// body leaves the header section's part as it was, which tells which
// message of a folder a changed one was.
#pragma once

#include <cstddef>
#include <cstdint>

struct PartDigest {
  uint64_t Size, A, B;
};

struct MessageDigest {
  PartDigest Head, Body;
};

bool SamePart(const PartDigest &a, const PartDigest &b);
bool SameDigest(const MessageDigest &a, const MessageDigest &b);

struct DigestState {
  PartDigest Part;           // the part being taken: the head, then the body
  MessageDigest Done;        // the head once it has ended
  bool InHead;
  uint64_t LineBytes;        // of the head's line being read, before its line feed
  char LineFirst;            // that line's first byte
  unsigned char Tail[16];    // bytes not yet taken into the checksum
  size_t TailSize;
};

void StartDigest(DigestState *state);
void AddToDigest(DigestState *state, const char *bytes, size_t size);
MessageDigest EndDigest(DigestState *state);

// The digest of bytes held whole.
MessageDigest DigestOf(const char *bytes, size_t size);
