// A part's bytes decoded piece by piece: base64, quoted-printable, uuencode
// or as they are, and a text's charset converted into UTF-8 on the way.
#include <cstring>
#include <vector>

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#include <immintrin.h>
#define VESSOR_BASE64_BLOCKS 1
#endif

#include "message/charset_converter.h"
#include "message/mime_fields.h"

namespace {

const size_t PieceBytes = 64 * 1024;
// A uuencoded line holds 61 characters; what a longer one holds past this is
// no part of it.
const size_t UuLineBytes = 256;

struct Decoder {
  PartEncoding Encoding;
  Base64Stream Base64;
  // quoted-printable: an '=' and what followed it at the end of a piece
  std::string Pending;
  // uuencode
  std::string Line;
  bool Begun, Ended;
};

// Each byte's value as a base64 digit; -1 for a byte that is none (line
// breaks, white space, strays), -2 for the padding '='.
struct Base64Digits {
  signed char Value[256];
};

constexpr Base64Digits MakeBase64Digits() {
  Base64Digits digits = {};
  for (int c = 0; c < 256; ++c)
    digits.Value[c] = c >= 'A' && c <= 'Z'   ? char(c - 'A')
                      : c >= 'a' && c <= 'z' ? char(c - 'a' + 26)
                      : c >= '0' && c <= '9' ? char(c - '0' + 52)
                      : c == '+'             ? 62
                      : c == '/'             ? 63
                      : c == '='             ? -2
                                             : -1;
  return digits;
}

constexpr Base64Digits Base64 = MakeBase64Digits();

#ifdef VESSOR_BASE64_BLOCKS
// Base64 a block at a time with the processor's byte shuffles: 16 digits
// into 12 bytes with SSSE3, 32 into 24 with AVX2 (each half as SSSE3 takes
// 16). In a block, a byte is a digit where the flags of its low and high
// halves share no bit; its value is the byte plus what its high half
// chooses, '/' apart; six bits each make 12-bit pairs, the pairs 24-bit
// groups, whose bytes are then put in order. A group holding a byte that is
// no digit comes out wrong and is not counted.
//
// Each function takes whole groups of four digits from `*from`, and the line
// breaks between groups, up to a byte that is no digit anywhere else (a
// break inside a group, padding, a stray), or to fewer than a block's bytes
// before `end`; the digit-by-digit loop takes the rest. `*from` is moved
// past what was taken; the bytes written at `to` are returned, and `to` has
// room for twelve more.

// The bytes of line breaks at `at`, "\n" or "\r\n"; 0 for none.
inline size_t LineBreakAt(const unsigned char *at, const unsigned char *end) {
  if (at < end && at[0] == '\n') return 1;
  return end - at >= 2 && at[0] == '\r' && at[1] == '\n' ? 2 : 0;
}

// After a block whose first byte that is no digit is at `strays`' lowest
// bit: past the whole groups before it, and past a line break that stands
// there. False when block decoding ends there.
inline bool PastStray(unsigned strays, const unsigned char *end, const unsigned char **at,
                      char **to) {
  const size_t stray = size_t(__builtin_ctz(strays));
  *at += stray / 4 * 4;
  *to += stray / 4 * 3;
  const size_t line_break = stray % 4 == 0 ? LineBreakAt(*at, end) : 0;
  *at += line_break;
  return line_break != 0;
}

__attribute__((target("ssse3"))) size_t Base64Blocks16(const unsigned char **from,
                                                       const unsigned char *end, char *to) {
  const __m128i digit_low = _mm_setr_epi8(0x15, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11,
                                          0x11, 0x13, 0x1A, 0x1B, 0x1B, 0x1B, 0x1A);
  const __m128i digit_high = _mm_setr_epi8(0x10, 0x10, 0x01, 0x02, 0x04, 0x08, 0x04, 0x08, 0x10,
                                           0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10);
  const __m128i shifts = _mm_setr_epi8(0, 16, 19, 4, -65, -65, -71, -71, 0, 0, 0, 0, 0, 0, 0, 0);
  const __m128i order = _mm_setr_epi8(2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1);
  const unsigned char *at = *from;
  char *const first = to;
  while (end - at >= 16) {
    const __m128i in = _mm_loadu_si128(reinterpret_cast<const __m128i *>(at));
    const __m128i high = _mm_and_si128(_mm_srli_epi32(in, 4), _mm_set1_epi8(0x0F));
    const __m128i low = _mm_and_si128(in, _mm_set1_epi8(0x0F));
    const __m128i flags = _mm_and_si128(_mm_shuffle_epi8(digit_low, low),
                                        _mm_shuffle_epi8(digit_high, high));
    const unsigned strays =
        unsigned(_mm_movemask_epi8(_mm_cmpgt_epi8(flags, _mm_setzero_si128())));
    const __m128i shift =
        _mm_shuffle_epi8(shifts, _mm_add_epi8(_mm_cmpeq_epi8(in, _mm_set1_epi8('/')), high));
    const __m128i pairs =
        _mm_maddubs_epi16(_mm_add_epi8(in, shift), _mm_set1_epi32(0x01400140));
    const __m128i groups = _mm_madd_epi16(pairs, _mm_set1_epi32(0x00011000));
    _mm_storeu_si128(reinterpret_cast<__m128i *>(to), _mm_shuffle_epi8(groups, order));
    if (strays == 0) {
      at += 16;
      to += 12;
      continue;
    }
    if (!PastStray(strays, end, &at, &to)) break;
  }
  *from = at;
  return size_t(to - first);
}

__attribute__((target("avx2"))) size_t Base64Blocks32(const unsigned char **from,
                                                      const unsigned char *end, char *to) {
  const __m256i digit_low = _mm256_setr_epi8(
      0x15, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x13, 0x1A, 0x1B, 0x1B, 0x1B,
      0x1A, 0x15, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x13, 0x1A, 0x1B, 0x1B,
      0x1B, 0x1A);
  const __m256i digit_high = _mm256_setr_epi8(
      0x10, 0x10, 0x01, 0x02, 0x04, 0x08, 0x04, 0x08, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10,
      0x10, 0x10, 0x10, 0x01, 0x02, 0x04, 0x08, 0x04, 0x08, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10,
      0x10, 0x10);
  const __m256i shifts = _mm256_setr_epi8(0, 16, 19, 4, -65, -65, -71, -71, 0, 0, 0, 0, 0, 0, 0, 0,
                                          0, 16, 19, 4, -65, -65, -71, -71, 0, 0, 0, 0, 0, 0, 0, 0);
  const __m256i order = _mm256_setr_epi8(2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1,
                                         2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1);
  // Each half's twelve bytes side by side.
  const __m256i halves = _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 7, 7);
  const unsigned char *at = *from;
  char *const first = to;
  while (end - at >= 32) {
    const __m256i in = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(at));
    const __m256i high = _mm256_and_si256(_mm256_srli_epi32(in, 4), _mm256_set1_epi8(0x0F));
    const __m256i low = _mm256_and_si256(in, _mm256_set1_epi8(0x0F));
    const __m256i flags = _mm256_and_si256(_mm256_shuffle_epi8(digit_low, low),
                                           _mm256_shuffle_epi8(digit_high, high));
    const unsigned strays =
        unsigned(_mm256_movemask_epi8(_mm256_cmpgt_epi8(flags, _mm256_setzero_si256())));
    const __m256i shift = _mm256_shuffle_epi8(
        shifts, _mm256_add_epi8(_mm256_cmpeq_epi8(in, _mm256_set1_epi8('/')), high));
    const __m256i pairs =
        _mm256_maddubs_epi16(_mm256_add_epi8(in, shift), _mm256_set1_epi32(0x01400140));
    const __m256i groups = _mm256_madd_epi16(pairs, _mm256_set1_epi32(0x00011000));
    const __m256i bytes =
        _mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(groups, order), halves);
    _mm_storeu_si128(reinterpret_cast<__m128i *>(to), _mm256_castsi256_si128(bytes));
    _mm_storel_epi64(reinterpret_cast<__m128i *>(to + 16), _mm256_extracti128_si256(bytes, 1));
    if (strays == 0) {
      at += 32;
      to += 24;
      continue;
    }
    if (!PastStray(strays, end, &at, &to)) break;
  }
  *from = at;
  return size_t(to - first);
}

// Each ASCII byte's value as a digit; 0x80 for one that is none.
struct Base64Lookup {
  unsigned char Value[128];
};

constexpr Base64Lookup MakeBase64Lookup() {
  Base64Lookup lookup = {};
  for (int c = 0; c < 128; ++c)
    lookup.Value[c] = Base64.Value[c] >= 0 ? (unsigned char)Base64.Value[c] : 0x80;
  return lookup;
}

alignas(64) constexpr Base64Lookup Base64Values = MakeBase64Lookup();

// Where each of 48 bytes comes from in sixteen 24-bit groups: high first.
struct Base64Indices {
  unsigned char Index[64];
};

constexpr Base64Indices MakeBase64Order() {
  Base64Indices order = {};
  for (int j = 0; j < 48; ++j) order.Index[j] = (unsigned char)(j / 3 * 4 + 2 - j % 3);
  return order;
}

alignas(64) constexpr Base64Indices Base64Order = MakeBase64Order();

// Base64 64 bytes at a time with AVX-512's byte permutes (VBMI): a block's
// digits looked up at once, 64 of them made 48 bytes, as the functions above
// do (their rules for where to stop hold here, with room at `to` for 64
// bytes more).
//
// Where a block stops at each line break, the next block's place waits on
// the last one's bytes; so once two line breaks give a line's length, lines
// of that length are taken whole, each checked (its digits, then its line
// break) rather than searched, and the first that is not so ends that.

// Decodes the 64 bytes at `at` into `to`; the bytes that are no digit.
__attribute__((target("avx512f,avx512bw,avx512vbmi"))) inline uint64_t Base64Block64(
    const unsigned char *at, char *to, __m512i low_values, __m512i high_values, __m512i order) {
  const __m512i in = _mm512_loadu_si512(at);
  const __m512i values = _mm512_permutex2var_epi8(low_values, in, high_values);
  const __m512i pairs = _mm512_maddubs_epi16(values, _mm512_set1_epi32(0x01400140));
  const __m512i groups = _mm512_madd_epi16(pairs, _mm512_set1_epi32(0x00011000));
  // (masked: the unmasked form trips a false warning of GCC 12)
  _mm512_storeu_si512(to, _mm512_maskz_permutexvar_epi8(~uint64_t(0), order, groups));
  return _mm512_movepi8_mask(_mm512_or_si512(values, in));
}

__attribute__((target("avx512f,avx512bw,avx512vbmi"))) size_t Base64Blocks64(
    const unsigned char **from, const unsigned char *end, char *to) {
  const __m512i low_values = _mm512_load_si512(Base64Values.Value);
  const __m512i high_values = _mm512_load_si512(Base64Values.Value + 64);
  const __m512i order = _mm512_load_si512(Base64Order.Index);
  const unsigned char *at = *from;
  const unsigned char *line_start = nullptr;  // past the last line break passed
  char *const first = to;
  while (end - at >= 64) {
    const uint64_t strays = Base64Block64(at, to, low_values, high_values, order);
    if (strays == 0) {
      at += 64;
      to += 48;
      continue;
    }
    const size_t stray = size_t(__builtin_ctzll(strays));
    at += stray / 4 * 4;
    to += stray / 4 * 3;
    const size_t line_break = stray % 4 == 0 ? LineBreakAt(at, end) : 0;
    if (line_break == 0) break;
    const size_t line = line_start != nullptr ? size_t(at - line_start) : 0;
    at += line_break;
    line_start = at;
    // (Both ends lie on groups' boundaries, so the length is whole groups.)
    if (line == 0 || line > 256) continue;
    // Whole lines of that length and that line break.
    while (end - at >= ptrdiff_t(line + line_break + 64)) {
      uint64_t bad = 0;
      for (size_t k = 0; k < line; k += 64) {
        const uint64_t own = line - k >= 64 ? ~uint64_t(0) : (uint64_t(1) << (line - k)) - 1;
        bad |= Base64Block64(at + k, to + k / 4 * 3, low_values, high_values, order) & own;
      }
      if (bad != 0 || LineBreakAt(at + line, end) != line_break) break;
      at += line + line_break;
      to += line / 4 * 3;
    }
    line_start = at;
  }
  *from = at;
  return size_t(to - first);
}

// 3 for AVX-512 with byte permutes, 2 for AVX2, 1 for SSSE3,
// 0 for none of them.
const int Base64Widest =
    (__builtin_cpu_init(),
     __builtin_cpu_supports("avx512vbmi") && __builtin_cpu_supports("avx512bw")
         ? 3
     : __builtin_cpu_supports("avx2")  ? 2
     : __builtin_cpu_supports("ssse3") ? 1
                                       : 0);
int Base64BlockKind = Base64Widest;
#endif

}  // namespace

int UseBase64Blocks(int widest) {
#ifdef VESSOR_BASE64_BLOCKS
  Base64BlockKind = widest < Base64Widest ? widest : Base64Widest;
  return Base64BlockKind;
#else
  return widest < 0 ? widest : 0;
#endif
}

size_t DecodeBase64Piece(Base64Stream *decoder, const char *bytes, size_t size) {
  // Every four digits give three bytes at most, and the bits carried in one;
  // a block writes twelve past its groups.
  if (decoder->Decoded.size() < size / 4 * 3 + 3 + 64) decoder->Decoded.resize(size / 4 * 3 + 3 + 64);
  char *const first = decoder->Decoded.data();
  char *to = first;
  unsigned bits = decoder->Bits;
  int count = decoder->BitCount;
  const unsigned char *from = reinterpret_cast<const unsigned char *>(bytes);
  const unsigned char *const end = from + size;
  while (from < end) {
#ifdef VESSOR_BASE64_BLOCKS
    if (count == 0 && Base64BlockKind != 0 && end - from >= 16) {
      if (Base64BlockKind == 3) to += Base64Blocks64(&from, end, to);
      if (Base64BlockKind >= 2) to += Base64Blocks32(&from, end, to);
      to += Base64Blocks16(&from, end, to);
      if (from == end) break;
    }
#endif
    // Four digits at a time on a group's boundary, as nearly all come.
    if (count == 0 && end - from >= 4) {
      const int a = Base64.Value[from[0]], b = Base64.Value[from[1]], c = Base64.Value[from[2]],
                d = Base64.Value[from[3]];
      if ((a | b | c | d) >= 0) {
        const unsigned group = unsigned(a) << 18 | unsigned(b) << 12 | unsigned(c) << 6 | unsigned(d);
        *to++ = char(group >> 16);
        *to++ = char(group >> 8);
        *to++ = char(group);
        from += 4;
        continue;
      }
    }
    const int value = Base64.Value[*from++];
    if (value == -2) {
      // Padding ends a group: the bits left over are no byte.
      bits = 0;
      count = 0;
      continue;
    }
    if (value < 0) continue;
    bits = ((bits << 6) | unsigned(value)) & 0xFFFFFF;
    count += 6;
    if (count >= 8) {
      count -= 8;
      *to++ = char((bits >> count) & 0xFF);
    }
  }
  decoder->Bits = bits;
  decoder->BitCount = count;
  return size_t(to - first);
}

namespace {

void QuotedPrintablePiece(Decoder *decoder, const char *bytes, size_t size, bool last,
                          std::string *out) {
  std::string joined;
  if (!decoder->Pending.empty()) {
    joined.swap(decoder->Pending);
    joined.append(bytes, size);
    bytes = joined.data();
    size = joined.size();
  }
  for (size_t i = 0; i < size; ++i) {
    if (bytes[i] != '=') {
      *out += bytes[i];
      continue;
    }
    if (!last && size - i < 3) {
      decoder->Pending.assign(bytes + i, size - i);
      return;
    }
    if (i + 1 < size && bytes[i + 1] == '\n') {
      ++i;  // a soft line break
    } else if (i + 2 < size && bytes[i + 1] == '\r' && bytes[i + 2] == '\n') {
      i += 2;
    } else if (i + 2 < size && HexValue(bytes[i + 1]) >= 0 && HexValue(bytes[i + 2]) >= 0) {
      *out += char(HexValue(bytes[i + 1]) * 16 + HexValue(bytes[i + 2]));
      i += 2;
    } else {
      *out += '=';  // a bad escape stays as it stands
    }
  }
}

void UuLine(Decoder *decoder, std::string *out) {
  std::string &line = decoder->Line;
  while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
  if (!decoder->Begun) {
    decoder->Begun = line.compare(0, 6, "begin ") == 0;
    return;
  }
  if (line == "end") {
    decoder->Ended = true;
    return;
  }
  if (line.empty()) return;
  const size_t length = size_t((line[0] - 32) & 63);
  size_t written = 0;
  for (size_t at = 1; written < length; at += 4) {
    unsigned group = 0;
    for (size_t k = 0; k < 4; ++k) {
      const char c = at + k < line.size() ? line[at + k] : ' ';
      group = (group << 6) | unsigned((c - 32) & 63);
    }
    for (int k = 2; k >= 0 && written < length; --k, ++written)
      *out += char((group >> (8 * k)) & 0xFF);
  }
}

void UuPiece(Decoder *decoder, const char *bytes, size_t size, bool last, std::string *out) {
  for (size_t i = 0; i < size && !decoder->Ended; ++i) {
    if (bytes[i] == '\n') {
      UuLine(decoder, out);
      decoder->Line.clear();
    } else if (decoder->Line.size() < UuLineBytes) {
      decoder->Line += bytes[i];
    }
  }
  if (last && !decoder->Ended && !decoder->Line.empty()) UuLine(decoder, out);
}

// The piece's decoded bytes at `*data`: in `out`, or where they stand.
size_t DecodePiece(Decoder *decoder, const char *bytes, size_t size, bool last, std::string *out,
                   const char **data) {
  switch (decoder->Encoding) {
    case EncodingBase64: {
      const size_t decoded = DecodeBase64Piece(&decoder->Base64, bytes, size);
      *data = decoder->Base64.Decoded.data();
      return decoded;
    }
    case EncodingQuotedPrintable:
      QuotedPrintablePiece(decoder, bytes, size, last, out);
      break;
    case EncodingUuencode:
      UuPiece(decoder, bytes, size, last, out);
      break;
    case EncodingIdentity:
      *data = bytes;
      return size;
  }
  *data = out->data();
  return out->size();
}

}  // namespace

bool DecodePartBytes(const MessageSource &source, const MessagePart &part, bool text_in_utf8,
                     PartSink sink, void *context, uint64_t *decoded) {
  *decoded = 0;
  Decoder decoder = {part.Encoding, {0, 0, {}}, std::string(), std::string(), false, false};
  // A container's bytes are what it holds, as they stand.
  if (part.Kind == PartMultipart || part.Kind == PartMessage) decoder.Encoding = EncodingIdentity;
  CharsetConverter converter;
  bool converting = false;
  if (text_in_utf8 && part.Kind != PartUuencoded && part.Type.compare(0, 5, "text/") == 0 &&
      !part.Charset.empty())
    converting = OpenCharsetConverter(part.Charset.c_str(), &converter) && !converter.Utf8;
  std::vector<char> piece(PieceBytes);
  std::string out, converted, carry;
  uint64_t at = part.BodyStart;
  const uint64_t end = part.BodyEnd < source.Size ? part.BodyEnd : source.Size;
  bool ok = true;
  while (ok) {
    size_t want = PieceBytes;
    if (at >= end) want = 0;
    else if (end - at < want) want = size_t(end - at);
    int64_t got = 0;
    if (want > 0) {
      got = source.ReadAt(source.Context, at, piece.data(), want);
      if (got < 0) {
        ok = false;
        break;
      }
    }
    at += uint64_t(got);
    const bool last = got == 0 || at >= end;
    out.clear();
    const char *bytes = nullptr;
    size_t size = DecodePiece(&decoder, piece.data(), size_t(got), last, &out, &bytes);
    if (converting) {
      converted.clear();
      ConvertToUtf8(&converter, bytes, size, &converted, &carry);
      if (last && !carry.empty()) converted += carry;
      bytes = converted.data();
      size = converted.size();
    }
    if (size > 0) {
      if (!sink(context, bytes, size)) ok = false;
      else *decoded += size;
    }
    if (last || decoder.Ended) break;
  }
  if (converting) CloseCharsetConverter(&converter);
  return ok;
}
