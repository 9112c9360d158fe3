#include "outputs/message_digest.h"

#include <cstring>

namespace {

// A block mix in the manner of MurmurHash3's 128-bit form: fast, and every
// input bit reaches every output bit. No defence against someone who makes
// collisions on purpose, which a check against loss and damage needs none of.
const uint64_t C1 = 0x87c37b91114253d5ull, C2 = 0x4cf5ad432745937full;

uint64_t Rotl(uint64_t x, int r) { return x << r | x >> (64 - r); }

uint64_t Final(uint64_t k) {
  k ^= k >> 33;
  k *= 0xff51afd7ed558ccdull;
  k ^= k >> 33;
  k *= 0xc4ceb9fe1a85ec53ull;
  return k ^ k >> 33;
}

void MixBlock(PartDigest *part, const unsigned char *block) {
  uint64_t k1, k2;
  memcpy(&k1, block, 8);
  memcpy(&k2, block + 8, 8);
  uint64_t h1 = part->A, h2 = part->B;
  h1 ^= Rotl(k1 * C1, 31) * C2;
  h1 = Rotl(h1, 27) + h2;
  h1 = h1 * 5 + 0x52dce729;
  h2 ^= Rotl(k2 * C2, 33) * C1;
  h2 = Rotl(h2, 31) + h1;
  h2 = h2 * 5 + 0x38495ab5;
  part->A = h1;
  part->B = h2;
}

void TakeBytes(DigestState *state, const char *bytes, size_t size) {
  const unsigned char *at = reinterpret_cast<const unsigned char *>(bytes);
  state->Part.Size += size;
  if (state->TailSize > 0) {
    const size_t fill = size < 16 - state->TailSize ? size : 16 - state->TailSize;
    memcpy(state->Tail + state->TailSize, at, fill);
    state->TailSize += fill;
    at += fill;
    size -= fill;
    if (state->TailSize < 16) return;
    MixBlock(&state->Part, state->Tail);
    state->TailSize = 0;
  }
  for (; size >= 16; at += 16, size -= 16) MixBlock(&state->Part, at);
  memcpy(state->Tail, at, size);
  state->TailSize = size;
}

PartDigest EndPart(DigestState *state) {
  PartDigest part = state->Part;
  uint64_t k1 = 0, k2 = 0;
  unsigned char last[16] = {};
  memcpy(last, state->Tail, state->TailSize);
  memcpy(&k1, last, 8);
  memcpy(&k2, last + 8, 8);
  uint64_t h1 = part.A ^ Rotl(k1 * C1, 31) * C2 ^ part.Size;
  uint64_t h2 = part.B ^ Rotl(k2 * C2, 33) * C1 ^ part.Size;
  h1 += h2;
  h2 += h1;
  h1 = Final(h1);
  h2 = Final(h2);
  h1 += h2;
  h2 += h1;
  part.A = h1;
  part.B = h2;
  state->Part = {0, 0x9e3779b97f4a7c15ull, 0x6a09e667f3bcc909ull};
  state->TailSize = 0;
  return part;
}

}  // namespace

bool SamePart(const PartDigest &a, const PartDigest &b) {
  return a.Size == b.Size && a.A == b.A && a.B == b.B;
}

bool SameDigest(const MessageDigest &a, const MessageDigest &b) {
  return SamePart(a.Head, b.Head) && SamePart(a.Body, b.Body);
}

void StartDigest(DigestState *state) {
  *state = {};
  state->Part = {0, 0x9e3779b97f4a7c15ull, 0x6a09e667f3bcc909ull};
  state->InHead = true;
}

void AddToDigest(DigestState *state, const char *bytes, size_t size) {
  // The head ends with its first empty line (a line feed alone, or CR LF);
  // a message that starts with one has that line for its head.
  size_t at = 0;
  while (state->InHead && at < size) {
    const void *found = memchr(bytes + at, '\n', size - at);
    const size_t end = found != nullptr ? size_t(static_cast<const char *>(found) - bytes) : size;
    if (state->LineBytes == 0 && end > at) state->LineFirst = bytes[at];
    state->LineBytes += end - at;
    if (found == nullptr) break;
    const bool empty = state->LineBytes == 0 || (state->LineBytes == 1 && state->LineFirst == '\r');
    state->LineBytes = 0;
    TakeBytes(state, bytes + at, end + 1 - at);
    at = end + 1;
    if (empty) {
      state->Done.Head = EndPart(state);
      state->InHead = false;
    }
  }
  if (at < size) TakeBytes(state, bytes + at, size - at);
}

MessageDigest EndDigest(DigestState *state) {
  // A message without an empty line is all head.
  if (state->InHead) {
    state->Done.Head = EndPart(state);
    state->InHead = false;
  }
  state->Done.Body = EndPart(state);
  return state->Done;
}

MessageDigest DigestOf(const char *bytes, size_t size) {
  DigestState state;
  StartDigest(&state);
  AddToDigest(&state, bytes, size);
  return EndDigest(&state);
}
