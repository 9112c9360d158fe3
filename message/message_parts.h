// One message's contents: its header fields decoded, and the tree of its
// parts (multiparts to any depth up to a limit, messages inside it, blocks
// uuencoded inside its texts), each leaf part with its type, charset,
// encoding, disposition and a safe file name. Nothing here knows a host or
// a folder: the bytes come through a reader the caller gives, so that a
// message in the data folder file is read piece by piece, never whole.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Reads up to `size` bytes of the message from `at` (0 is its first byte)
// into `buffer`; the bytes read, 0 at the end, -1 on a failure.
typedef int64_t (*MessageReadAt)(void *context, uint64_t at, void *buffer, size_t size);

struct MessageSource {
  MessageReadAt ReadAt;
  void *Context;
  uint64_t Size;  // the message's bytes
};

// A source over bytes in memory (tests, fuzzing, small messages). Its reader
// is asked for bytes within `size` only, as the reader here asks.
MessageSource MemorySource(const void *bytes, size_t size);

// Multiparts nest no deeper than this; what lies deeper is one part, and the
// message is told too deep to be taken apart whole.
const int DeepestPart = 64;
// A message has no more parts than this; one with more is told to have too
// many. Each part's record takes some hundred bytes: the bound keeps the
// tree of any message within a few megabytes.
const size_t MostParts = 10000;

// Whether the tree holds every part of the message.
enum PartsLimit {
  PartsWhole,
  PartsTooDeep,  // something lies nested deeper than DeepestPart
  PartsTooMany,  // the message has more than MostParts parts; the rest are left out
};

enum PartKind {
  PartLeaf,       // bytes of its own: a text, an attachment
  PartMultipart,  // its children are its parts
  PartMessage,    // message/rfc822: its one child is the message inside
  PartUuencoded,  // a "begin MODE NAME" ... "end" block inside a text part
};

enum PartEncoding { EncodingIdentity, EncodingBase64, EncodingQuotedPrintable, EncodingUuencode };

struct MessagePart {
  PartKind Kind;
  int Parent;            // the enclosing part's index; -1 for the top one
  // "1" for the message itself, "1.2" for its second part, "1.2.1" for the
  // first part of that: as the tree is printed.
  std::string Position;
  std::string Type;      // lower case, "text/plain" where none is stated
  std::string Charset;   // lower case; empty where none is stated
  std::string TransferEncoding;  // as stated, lower case ("7bit" where none)
  PartEncoding Encoding;         // how its bytes are decoded
  // "inline", "attachment" (also for a disposition of another name, as RFC
  // 2183 has it) or empty
  std::string Disposition;
  // The file name in UTF-8: from filename= (RFC 2231 continuations, charset
  // and language; RFC 2047 words), else name=, else made from the type and
  // position ("part 3.bin", "part 2.html"); a given name made a file's name
  // by MakePartFileName (the sender's spaces kept, only what the file system
  // cannot hold replaced, no longer than 255 bytes) and, for a leaf or a
  // uuencoded block, told apart from every other one's of the message with
  // "_(2)" before the extension (a container's made name "part N" is its
  // own among its siblings).
  std::string Name;
  bool NameGiven;        // the message named it
  // What a mail user calls an attachment, and `vfolder attachments` writes:
  // a uuencoded block; a leaf of disposition attachment; a leaf that is no
  // text/* unless it is inline and unnamed (a picture inside an HTML text);
  // a text/* leaf that is named and of no stated disposition. Not: the
  // containers, and the unnamed texts (the body: text/plain, text/html).
  bool IsAttachment;
  uint64_t HeaderStart;  // the part's header section within the message
  uint64_t BodyStart, BodyEnd;  // its body (encoded bytes), BodyEnd exclusive
};

// A header field's value with RFC 2047 encoded words decoded into UTF-8.
struct DecodedField {
  std::string Text;
  bool UnknownCharset;  // a word of a charset the system knows not, kept as it stands
};

struct MessageParts {
  DecodedField From, To, Cc, Date, Subject;
  // In tree order: each part follows its parent. Part 0 is the message
  // itself (a leaf for a message that is not MIME: its body). A message
  // without Content-Type is not MIME; one with it is, MIME-Version or not,
  // as Python's email reads it. A text/plain leaf's uuencoded blocks follow
  // it as its children; it keeps their bytes in its own.
  std::vector<MessagePart> Parts;
  PartsLimit Limit;
};

// Reads the message's header and the tree of its parts. Damaged input gets
// an answer, never a crash: every byte of the body belongs to some part.
// False only when the source cannot be read or memory runs out.
bool ReadMessageParts(const MessageSource &source, MessageParts *parts);

// Takes decoded bytes of a part; false stops the decoding.
typedef bool (*PartSink)(void *context, const void *bytes, size_t size);

// Decodes part `index` (a leaf or a uuencoded block) into `sink`, piece by
// piece: base64 (whitespace and stray characters skipped), quoted-printable
// (soft line breaks, lower-case hex, a bad escape kept as it stands),
// uuencode, or the bytes as they are (a multipart or a message: the bytes of
// its body as they stand). With `text_in_utf8`, a text/* part's
// bytes are converted from its charset into UTF-8 (as they are where the
// charset is unknown). `*decoded` gets the bytes handed on. False when the
// source cannot be read or the sink stops.
bool DecodePart(const MessageSource &source, const MessageParts &parts, size_t index,
                bool text_in_utf8, PartSink sink, void *context, uint64_t *decoded);

// Takes decoded bytes of part `index` of the tree being read; false stops.
typedef bool (*LeafSink)(void *context, size_t index, const void *bytes, size_t size);

// Reads the tree as ReadMessageParts does, and decodes every part with bytes
// of its own (leaves, uuencoded blocks) into `sink`, as DecodePart does
// without `text_in_utf8`: a leaf in base64 as the pass over its multipart
// goes by it, so that its bytes are read once; the rest once the tree is
// read. Each part's bytes come in order, the parts in no set order; a part
// with no bytes may never be named. The indices are those of the tree
// `parts` gets. False when the source cannot be read, memory runs out or the
// sink stops.
bool ReadAndDecodeMessageParts(const MessageSource &source, MessageParts *parts, LeafSink sink,
                               void *context);

// Decodes one header field's value (RFC 2047 words, folded lines unfolded).
DecodedField DecodeHeaderValue(const std::string &raw);
