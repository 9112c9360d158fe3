// A part's bytes decoded piece by piece: base64, quoted-printable, uuencode
// or as they are, and a text's charset converted into UTF-8 on the way.
#include <cstring>
#include <vector>

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

void Base64Piece(Decoder *decoder, const char *bytes, size_t size, std::string *out) {
  // Every four digits give three bytes at most, and the bits carried in one.
  const size_t start = out->size();
  out->resize(start + size / 4 * 3 + 3);
  char *to = &(*out)[start];
  unsigned bits = decoder->Bits;
  int count = decoder->BitCount;
  const unsigned char *from = reinterpret_cast<const unsigned char *>(bytes);
  const unsigned char *const end = from + size;
  while (from < end) {
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
  out->resize(size_t(to - out->data()));
  decoder->Bits = bits;
  decoder->BitCount = count;
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

void DecodePiece(Decoder *decoder, const char *bytes, size_t size, bool last, std::string *out) {
  switch (decoder->Encoding) {
    case EncodingBase64:
      Base64Piece(decoder, bytes, size, out);
      break;
    case EncodingQuotedPrintable:
      QuotedPrintablePiece(decoder, bytes, size, last, out);
      break;
    case EncodingUuencode:
      UuPiece(decoder, bytes, size, last, out);
      break;
    case EncodingIdentity:
      out->append(bytes, size);
      break;
  }
}

}  // namespace

bool DecodePartBytes(const MessageSource &source, const MessagePart &part, bool text_in_utf8,
                     PartSink sink, void *context, uint64_t *decoded) {
  *decoded = 0;
  Decoder decoder = {part.Encoding, 0, 0, std::string(), std::string(), false, false};
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
    DecodePiece(&decoder, piece.data(), size_t(got), last, &out);
    const std::string *handed = &out;
    if (converting) {
      converted.clear();
      ConvertToUtf8(&converter, out.data(), out.size(), &converted, &carry);
      if (last && !carry.empty()) converted += carry;
      handed = &converted;
    }
    if (!handed->empty()) {
      if (!sink(context, handed->data(), handed->size())) ok = false;
      else *decoded += handed->size();
    }
    if (last || decoder.Ended) break;
  }
  if (converting) CloseCharsetConverter(&converter);
  return ok;
}
