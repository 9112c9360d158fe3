// What the message reader's files share: header values taken apart, names
// made, bytes decoded. None of it is for callers of message_parts.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "message/message_lines.h"
#include "message/message_parts.h"

// header_fields.cpp

// `bytes` in `charset` as UTF-8; false, with nothing added, for a charset
// the converter knows not.
bool AppendInUtf8(const std::string &charset, const std::string &bytes, std::string *utf8);

// mime_params.cpp

// `text` with A-Z in lower case; without the blanks and line ends around it.
std::string Lower(std::string text);
std::string Trimmed(const std::string &text);

struct MimeParameter {
  std::string Name;   // lower case
  std::string Value;  // in UTF-8 where it said its charset, RFC 2047 words decoded
};

// A Content-Type or Content-Disposition value: the value before the first
// ';' in lower case, and its parameters, continuations joined.
struct MimeField {
  std::string Value;
  std::vector<MimeParameter> Parameters;
};

MimeField ParseMimeField(const std::string &raw);

// The value of the hex digit `c`, or -1 for none.
int HexValue(char c);

// `text` with each `mark` followed by two hex digits as the byte they give
// (a mark without them stays); with `underscore_blank`, each '_' as a blank,
// as in RFC 2047's Q words.
std::string HexEscapesDecoded(const std::string &text, char mark, bool underscore_blank);

// The parameter's value, or null.
const std::string *ParameterOf(const MimeField &field, const char *name);

// part_decoders.cpp

// Base64 decoded piece by piece, pieces cut anywhere: the bits a piece
// leaves over are carried into the next.
struct Base64Stream {
  unsigned Bits;
  int BitCount;
  std::vector<char> Decoded;  // the last piece's bytes
};

// Decodes the stream's next piece into `Decoded`; the bytes' count.
size_t DecodeBase64Piece(Base64Stream *stream, const char *bytes, size_t size);

// Base64 is decoded in the widest blocks the processor takes (3: AVX-512,
// 2: AVX2, 1: SSSE3, 0: digit by digit); tests choose narrower ones to try
// each. Returns what is used from now on, `widest` or less.
int UseBase64Blocks(int widest);

// Decodes part `part`'s bytes into `sink`, as DecodePart does.
bool DecodePartBytes(const MessageSource &source, const MessagePart &part, bool text_in_utf8,
                     PartSink sink, void *context, uint64_t *decoded);

// uuencoded_blocks.cpp

// Adds to `parts`, after the text part `text` (its index), the blocks
// "begin MODE NAME" ... "end" of its body as parts of their own, while
// `parts` holds fewer than `most`. False when a block was left out for that.
bool AddUuencodedBlocks(MessageLines *lines, size_t text, size_t most,
                        std::vector<MessagePart> *parts);

// part_names.cpp

// Names every part: given names made safe, others from type and position;
// twins told apart.
bool NameParts(std::vector<MessagePart> *parts);
