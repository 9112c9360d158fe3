// A part's bytes decoded piece by piece: base64, quoted-printable, uuencode
// or as they are, and a text's charset converted into UTF-8 on the way.
#include <cstring>
#include <vector>

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#include <tmmintrin.h>
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
  // base64
  unsigned Bits;
  int BitCount;
  // quoted-printable: an '=' and what followed it at the end of a piece
  std::string Pending;
  // uuencode
  std::string Line;
  bool Begun, Ended;
  std::vector<char> Decoded;  // base64's bytes of one piece
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
// Whole groups of four digits from `from`, sixteen digits at a time with the
// processor's byte shuffles, up to the first byte that is no digit (a line
// break, padding, a stray), which the digit-by-digit loop then takes. The
// digits taken, a multiple of four; each group's three bytes at `to`, which
// has room for twelve more than written.
__attribute__((target("ssse3"))) size_t Base64Blocks(const unsigned char *from, size_t size,
                                                     char *to) {
  size_t taken = 0;
  for (; size - taken >= 16; taken += 16, to += 12) {
    const __m128i in = _mm_loadu_si128(reinterpret_cast<const __m128i *>(from + taken));
    const __m128i high = _mm_and_si128(_mm_srli_epi32(in, 4), _mm_set1_epi8(0x0F));
    const __m128i low = _mm_and_si128(in, _mm_set1_epi8(0x0F));
    // A byte is a digit where the flags of its low and high halves share no bit.
    const __m128i low_flags = _mm_shuffle_epi8(
        _mm_setr_epi8(0x15, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x13, 0x1A, 0x1B,
                      0x1B, 0x1B, 0x1A),
        low);
    const __m128i high_flags = _mm_shuffle_epi8(
        _mm_setr_epi8(0x10, 0x10, 0x01, 0x02, 0x04, 0x08, 0x04, 0x08, 0x10, 0x10, 0x10, 0x10, 0x10,
                      0x10, 0x10, 0x10),
        high);
    const int strays = _mm_movemask_epi8(
        _mm_cmpgt_epi8(_mm_and_si128(low_flags, high_flags), _mm_setzero_si128()));
    // Each digit's value: what to add is chosen by its high half, '/' apart.
    const __m128i slash = _mm_cmpeq_epi8(in, _mm_set1_epi8('/'));
    const __m128i shift = _mm_shuffle_epi8(
        _mm_setr_epi8(0, 16, 19, 4, -65, -65, -71, -71, 0, 0, 0, 0, 0, 0, 0, 0),
        _mm_add_epi8(slash, high));
    const __m128i values = _mm_add_epi8(in, shift);
    // Six bits each into 12-bit pairs, the pairs into 24-bit groups, the
    // groups' bytes in order. A group holding a stray comes out wrong and
    // is not counted.
    const __m128i pairs = _mm_maddubs_epi16(values, _mm_set1_epi32(0x01400140));
    const __m128i groups = _mm_madd_epi16(pairs, _mm_set1_epi32(0x00011000));
    _mm_storeu_si128(reinterpret_cast<__m128i *>(to),
                     _mm_shuffle_epi8(groups, _mm_setr_epi8(2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13,
                                                            12, -1, -1, -1, -1)));
    if (strays != 0) return taken + size_t(__builtin_ctz(unsigned(strays))) / 4 * 4;
  }
  return taken;
}

const bool HasBase64Blocks = (__builtin_cpu_init(), __builtin_cpu_supports("ssse3"));
#endif

// Decodes into the decoder's buffer, which holds a piece's bytes; their count.
size_t Base64Piece(Decoder *decoder, const char *bytes, size_t size) {
  // Every four digits give three bytes at most, and the bits carried in one;
  // a block writes twelve past its groups.
  if (decoder->Decoded.size() < size / 4 * 3 + 3 + 16) decoder->Decoded.resize(size / 4 * 3 + 3 + 16);
  char *const first = decoder->Decoded.data();
  char *to = first;
  unsigned bits = decoder->Bits;
  int count = decoder->BitCount;
  const unsigned char *from = reinterpret_cast<const unsigned char *>(bytes);
  const unsigned char *const end = from + size;
  while (from < end) {
#ifdef VESSOR_BASE64_BLOCKS
    if (count == 0 && HasBase64Blocks && end - from >= 16) {
      const size_t taken = Base64Blocks(from, size_t(end - from), to);
      from += taken;
      to += taken / 4 * 3;
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
      const size_t decoded = Base64Piece(decoder, bytes, size);
      *data = decoder->Decoded.data();
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
  Decoder decoder = {part.Encoding, 0, 0, std::string(), std::string(), false, false, {}};
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
