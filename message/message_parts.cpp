// The tree of one message's parts, found in one pass per level of nesting
// through a window of bounded size: only the places of parts and the few
// header fields that describe them are kept, never a body. Asked to, the
// pass also decodes the base64 leaves it goes by.
#include "message/message_parts.h"

#include <cstring>

#include "folder/export_name.h"
#include "message/mime_fields.h"

namespace {

// Header lines are kept up to this many bytes each, folded ones together:
// a field longer than that is damage, and its tail tells nothing needed.
const size_t FieldBytes = 16 * 1024;
// A delimiter line is "--", the boundary, "--" and white space; what a
// longer line holds past that tells nothing either.
const size_t DelimiterSlack = 256;
// What a part's record keeps of its type, charset and encoding: real ones are
// far shorter (a type's two names at most 127 bytes each, a charset's 40), and
// every part's record is held at once.
const size_t TypeBytes = 255;
const size_t NameBytes = 64;

struct PartHeader {
  std::string ContentType, Disposition, TransferEncoding;
  bool HasContentType;
  uint64_t BodyStart;
};

struct TopFields {
  MessageParts *Parts;  // the top message's fields go here; null below it
};

// The name of the field the line starts, as Python's email sees one: bytes
// from '!' to '~' other than ':', then ':'. False for a line that is none.
bool FieldNameOf(const std::string &line, std::string *name, size_t *colon) {
  for (size_t i = 0; i < line.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(line[i]);
    if (c == ':') {
      if (i == 0) return false;
      *name = Lower(line.substr(0, i));
      *colon = i;
      return true;
    }
    if (c < 0x21 || c > 0x7E) return false;
  }
  return false;
}

// The field's value where it is one the reader needs, else null.
std::string *Kept(const std::string &name, PartHeader *header, MessageParts *top,
                  std::string raw_top[5]) {
  if (name == "content-type") {
    header->HasContentType = true;
    return &header->ContentType;
  }
  if (name == "content-disposition") return &header->Disposition;
  if (name == "content-transfer-encoding") return &header->TransferEncoding;
  if (top == nullptr) return nullptr;
  static const char *const Names[5] = {"from", "to", "cc", "date", "subject"};
  for (int i = 0; i < 5; ++i)
    if (name == Names[i]) return &raw_top[i];
  return nullptr;
}

// Reads the header section at `at`, which ends at an empty line, at a line
// that is no header field (the body starts there, as Python's email has it)
// or at `limit`. The first field of a name counts.
void ReadHeader(MessageLines *lines, uint64_t at, uint64_t limit, MessageParts *top,
                PartHeader *header) {
  header->HasContentType = false;
  std::string raw_top[5];
  std::string *current = nullptr;
  bool seen[8] = {};
  MessageLine line;
  header->BodyStart = limit;
  bool first = true;
  while (ReadLine(lines, at, limit, FieldBytes, &line)) {
    at = line.End;
    if (line.ContentEnd == line.Start) {
      header->BodyStart = line.End;
      break;
    }
    // A message saved from an mbox may keep its envelope line.
    if (first && top != nullptr && line.Head.compare(0, 5, "From ") == 0) {
      first = false;
      continue;
    }
    first = false;
    if (line.Head[0] == ' ' || line.Head[0] == '\t') {
      if (current != nullptr && current->size() < FieldBytes) current->append(line.Head);
      continue;
    }
    std::string name;
    size_t colon;
    if (!FieldNameOf(line.Head, &name, &colon)) {
      header->BodyStart = line.Start;
      break;
    }
    current = Kept(name, header, top, raw_top);
    if (current != nullptr) {
      // Which of the kept fields this is, to keep its first only.
      const size_t slot = current == &header->ContentType           ? 0
                          : current == &header->Disposition         ? 1
                          : current == &header->TransferEncoding    ? 2
                                                                    : 3 + size_t(current - raw_top);
      if (seen[slot]) {
        current = nullptr;
      } else {
        seen[slot] = true;
        current->assign(line.Head, colon + 1, std::string::npos);
      }
    }
  }
  if (top != nullptr) {
    DecodedField *fields[5] = {&top->From, &top->To, &top->Cc, &top->Date, &top->Subject};
    for (int i = 0; i < 5; ++i) *fields[i] = DecodeHeaderValue(raw_top[i]);
  }
}

PartEncoding EncodingNamed(const std::string &name) {
  if (name == "base64") return EncodingBase64;
  if (name == "quoted-printable") return EncodingQuotedPrintable;
  if (name == "x-uuencode" || name == "uuencode" || name == "x-uue" || name == "uue")
    return EncodingUuencode;
  return EncodingIdentity;
}

// The delimiter line of `boundary`: "--boundary", then "--" for the last,
// then only white space. 0 for none, 1 for a delimiter, 2 for the last.
int DelimiterKind(const std::string &line, const std::string &boundary) {
  if (line.size() < boundary.size() + 2 || line[0] != '-' || line[1] != '-' ||
      line.compare(2, boundary.size(), boundary) != 0)
    return 0;
  size_t at = boundary.size() + 2;
  int kind = 1;
  if (line.compare(at, 2, "--") == 0) {
    kind = 2;
    at += 2;
  }
  for (; at < line.size(); ++at)
    if (line[at] != ' ' && line[at] != '\t') return 0;
  return kind;
}

// A leaf the pass over its parent decodes as it goes by, so that its bytes
// are read once: a base64 body, from its first byte up to the delimiter line
// after it (the line break before that is no digit, and adds nothing).
struct PassingLeaf {
  bool Active;
  size_t Index;        // the part it becomes
  uint64_t BodyStart;  // as its header says
  uint64_t Fed;        // the bytes before this are decoded
  Base64Stream Base64;
};

struct PassedLeaf {
  size_t Index;
  uint64_t BodyStart;
};

struct TreeRun {
  MessageLines Lines;
  MessageParts *Parts;
  LeafSink Sink;  // null: the tree alone is read
  void *SinkContext;
  std::vector<PassedLeaf> Passed;  // the leaves decoded on the way
  bool Stopped;                    // the sink stopped
  std::vector<char> Scratch;       // bytes read again to decode a long line
};

void ReadPart(TreeRun *run, uint64_t at, uint64_t limit, int depth, int parent,
              const std::string &position, const char *default_type);

// The type a part's header gives it, as Python's email reads it: a type that
// is none ("text", "") is the default.
std::string TypeOf(const PartHeader &header, const MimeField &type, const char *default_type) {
  const size_t slash = type.Value.find('/');
  std::string value = header.HasContentType && slash != std::string::npos && slash > 0 &&
                              slash + 1 < type.Value.size() &&
                              type.Value.find_first_of(" \t") == std::string::npos
                          ? type.Value
                          : std::string(default_type);
  if (value.size() > TypeBytes) value.resize(TypeBytes);
  return value;
}

std::string TransferEncodingOf(const PartHeader &header) {
  std::string value = Lower(Trimmed(header.TransferEncoding));
  if (value.size() > NameBytes) value.resize(NameBytes);
  return value.empty() ? "7bit" : value;
}

void FeedLeaf(TreeRun *run, PassingLeaf *leaf, uint64_t at, const char *bytes, size_t size) {
  const uint64_t from = leaf->Fed > leaf->BodyStart ? leaf->Fed : leaf->BodyStart;
  if (at + size <= from || run->Stopped) return;
  if (at < from) {
    bytes += from - at;
    size -= size_t(from - at);
    at = from;
  }
  leaf->Fed = at + size;
  const size_t decoded = DecodeBase64Piece(&leaf->Base64, bytes, size);
  if (decoded > 0 && !run->Sink(run->SinkContext, leaf->Index, leaf->Base64.Decoded.data(), decoded))
    run->Stopped = true;
}

struct Passing {
  TreeRun *Run;
  PassingLeaf *Leaf;
};

void OnPassed(void *context, uint64_t at, const char *bytes, size_t size) {
  const Passing *passing = static_cast<const Passing *>(context);
  FeedLeaf(passing->Run, passing->Leaf, at, bytes, size);
}

// Decodes the leaf's bytes from `from` to `to`: from the window where it
// holds them (a short line, as nearly all are), else read again.
void FeedRange(TreeRun *run, PassingLeaf *leaf, uint64_t from, uint64_t to) {
  const MessageLines &lines = run->Lines;
  if (from >= lines.WindowStart && to <= lines.WindowStart + lines.WindowSize) {
    FeedLeaf(run, leaf, from, lines.Window.data() + (from - lines.WindowStart), size_t(to - from));
    return;
  }
  run->Scratch.resize(lines.Window.size());
  while (from < to && !run->Stopped) {
    const size_t want = size_t(to - from < run->Scratch.size() ? to - from : run->Scratch.size());
    const int64_t got = lines.Source->ReadAt(lines.Source->Context, from, run->Scratch.data(), want);
    if (got <= 0) {
      run->Lines.Failed = got < 0;
      return;
    }
    FeedLeaf(run, leaf, from, run->Scratch.data(), size_t(got));
    from += uint64_t(got);
  }
}

// Starts decoding the part after the delimiter line ending at `at`, if it is
// a leaf in base64 that becomes part `index`.
void StartLeaf(TreeRun *run, PassingLeaf *leaf, size_t index, uint64_t at, uint64_t limit,
               const char *default_type) {
  leaf->Active = false;
  if (run->Sink == nullptr || index >= MostParts) return;
  PartHeader header;
  ReadHeader(&run->Lines, at, limit, nullptr, &header);
  if (EncodingNamed(TransferEncodingOf(header)) != EncodingBase64) return;
  const std::string type = TypeOf(header, ParseMimeField(header.ContentType), default_type);
  if (type.compare(0, 10, "multipart/") == 0 || type == "message/rfc822" ||
      type == "message/global")
    return;
  leaf->Active = true;
  leaf->Index = index;
  leaf->BodyStart = leaf->Fed = header.BodyStart;
  leaf->Base64.Bits = 0;
  leaf->Base64.BitCount = 0;
}

// Finds the parts of multipart `index` between `start` and `limit`, each
// read as its delimiter closes it. False when no delimiter line is there:
// the part is a leaf then.
bool ReadChildren(TreeRun *run, size_t index, const std::string &boundary, uint64_t start,
                  uint64_t limit, int depth) {
  std::vector<MessagePart> &parts = run->Parts->Parts;
  const std::string default_type =
      parts[index].Type == "multipart/digest" ? "message/rfc822" : "text/plain";
  const std::string position = parts[index].Position;
  MessageLine line;
  uint64_t at = start;
  uint64_t previous_content_end = start;  // where the line before ends, its line feed not in
  bool open = false;                      // a part has started
  bool closed = false, found = false;
  int children = 0;
  uint64_t part_start = 0;
  PassingLeaf leaf;
  leaf.Active = false;
  Passing passing = {run, &leaf};
  // The open part, from `part_start` to the line before `previous_content_end`
  // (the line break before a delimiter belongs to it), read whole.
  const auto close_part = [&]() {
    // The leaf's buffer is not held while deeper levels are read.
    std::vector<char>().swap(leaf.Base64.Decoded);
    const uint64_t end = previous_content_end > part_start ? previous_content_end : part_start;
    const size_t child = parts.size();
    ReadPart(run, part_start, end, depth + 1, int(index),
             position + "." + std::to_string(++children), default_type.c_str());
    if (leaf.Active && leaf.Fed > leaf.BodyStart && leaf.Index == child)
      run->Passed.push_back({child, leaf.BodyStart});
    leaf.Active = false;
  };
  const size_t keep = boundary.size() + DelimiterSlack;
  // Only lines that start with '-' can be delimiters: the others are passed over whole.
  uint64_t dash = 0;
  while (!closed && !run->Stopped &&
         FindLineStartingWith(&run->Lines, at, limit, '-', &dash, &previous_content_end,
                              leaf.Active ? OnPassed : nullptr, &passing) &&
         ReadLine(&run->Lines, dash, limit, keep, &line)) {
    at = line.End;
    const int kind = line.ContentEnd - line.Start <= keep ? DelimiterKind(line.Head, boundary) : 0;
    if (kind == 0) {
      if (leaf.Active) FeedRange(run, &leaf, line.Start, line.End);
      previous_content_end = line.ContentEnd;
      continue;
    }
    found = true;
    // Past the bound no more places are kept: a message of nothing but
    // delimiter lines holds no more than the bound.
    if (open && parts.size() >= MostParts) {
      run->Parts->Limit = PartsTooMany;
      open = false;
      break;
    }
    if (open) close_part();
    if (run->Lines.Failed) return true;
    open = kind == 1;
    closed = kind == 2;
    part_start = line.End;
    if (open) StartLeaf(run, &leaf, parts.size(), line.End, limit, default_type.c_str());
    previous_content_end = line.ContentEnd;
  }
  if (run->Lines.Failed || run->Stopped) return true;
  if (!found) return false;
  // No closing delimiter: the last part runs to the end, its last line
  // break left out, as Python's email leaves it.
  if (open) {
    if (parts.size() >= MostParts) run->Parts->Limit = PartsTooMany;
    else close_part();
  }
  return true;
}

void ReadPart(TreeRun *run, uint64_t at, uint64_t limit, int depth, int parent,
              const std::string &position, const char *default_type) {
  std::vector<MessagePart> &parts = run->Parts->Parts;
  const size_t index = parts.size();
  parts.push_back(MessagePart());
  PartHeader header;
  ReadHeader(&run->Lines, at, limit, index == 0 ? run->Parts : nullptr, &header);
  {
    MessagePart &part = parts[index];
    part.Kind = PartLeaf;
    part.Parent = parent;
    part.Position = position;
    part.HeaderStart = at;
    part.BodyStart = header.BodyStart;
    part.BodyEnd = limit;
    part.NameGiven = false;
    part.IsAttachment = false;
    const MimeField type = ParseMimeField(header.ContentType);
    part.Type = TypeOf(header, type, default_type);
    const std::string *charset = ParameterOf(type, "charset");
    part.Charset = charset != nullptr ? Lower(Trimmed(*charset)) : std::string();
    if (part.Charset.size() > NameBytes) part.Charset.resize(NameBytes);
    part.TransferEncoding = TransferEncodingOf(header);
    part.Encoding = EncodingNamed(part.TransferEncoding);
    const MimeField disposition = ParseMimeField(header.Disposition);
    part.Disposition = disposition.Value.empty() || disposition.Value == "inline"
                           ? disposition.Value
                           : "attachment";
    const std::string *name = ParameterOf(disposition, "filename");
    if (name == nullptr || name->empty()) name = ParameterOf(type, "name");
    if (name != nullptr && !name->empty()) {
      // Made a file's name at once: no longer than one.
      part.Name = MakePartFileName(*name);
      part.NameGiven = true;
    }
    const bool message = part.Type == "message/rfc822" || part.Type == "message/global";
    if (part.Type.compare(0, 10, "multipart/") == 0) {
      const std::string *boundary = ParameterOf(type, "boundary");
      if (boundary != nullptr && !boundary->empty()) {
        // Too deep: it stays one part, and the message is not taken apart whole.
        if (depth >= DeepestPart) {
          run->Parts->Limit = PartsTooDeep;
          return;
        }
        const std::string kept = *boundary;
        if (ReadChildren(run, index, kept, header.BodyStart, limit, depth))
          parts[index].Kind = PartMultipart;
      }
      return;
    }
    if (message && header.BodyStart < limit && depth >= DeepestPart)
      run->Parts->Limit = PartsTooDeep;
    if (message && depth < DeepestPart && header.BodyStart < limit) {
      part.Kind = PartMessage;
      ReadPart(run, header.BodyStart, limit, depth + 1, int(index), position + ".1", "text/plain");
      return;
    }
  }
  if (parts[index].Type == "text/plain" && parts[index].Encoding == EncodingIdentity &&
      !AddUuencodedBlocks(&run->Lines, index, MostParts, &parts))
    run->Parts->Limit = PartsTooMany;
}

// What a mail user calls an attachment; see IsAttachment in the header.
bool IsAttachmentPart(const MessagePart &part) {
  if (part.Kind == PartUuencoded) return true;
  if (part.Kind != PartLeaf) return false;
  if (part.Disposition == "attachment") return true;
  // A multipart whose parts could not be found is text, as the body's.
  const bool text =
      part.Type.compare(0, 5, "text/") == 0 || part.Type.compare(0, 10, "multipart/") == 0;
  if (!text) return part.NameGiven || part.Disposition != "inline";
  return part.NameGiven && part.Disposition.empty();
}

}  // namespace

namespace {

// The source's reader is asked for bytes within its Size only, so the bytes'
// address is all it needs.
int64_t ReadFromMemory(void *context, uint64_t at, void *buffer, size_t size) {
  memcpy(buffer, static_cast<const char *>(context) + at, size);
  return int64_t(size);
}

}  // namespace

MessageSource MemorySource(const void *bytes, size_t size) {
  MessageSource source = {ReadFromMemory, const_cast<void *>(bytes), uint64_t(size)};
  return source;
}

namespace {

bool ReadTree(const MessageSource &source, MessageParts *parts, TreeRun *run) {
  *parts = MessageParts();
  StartLines(&source, &run->Lines);
  run->Parts = parts;
  run->Stopped = false;
  parts->Limit = PartsWhole;
  ReadPart(run, 0, source.Size, 0, -1, "1", "text/plain");
  if (run->Lines.Failed || run->Stopped) return false;
  for (MessagePart &part : parts->Parts) part.IsAttachment = IsAttachmentPart(part);
  return NameParts(&parts->Parts);
}

struct LeafOf {
  LeafSink Sink;
  void *Context;
  size_t Index;
};

bool ToLeafSink(void *context, const void *bytes, size_t size) {
  const LeafOf *leaf = static_cast<const LeafOf *>(context);
  return leaf->Sink(leaf->Context, leaf->Index, bytes, size);
}

}  // namespace

bool ReadMessageParts(const MessageSource &source, MessageParts *parts) {
  TreeRun run;
  run.Sink = nullptr;
  run.SinkContext = nullptr;
  return ReadTree(source, parts, &run);
}

bool ReadAndDecodeMessageParts(const MessageSource &source, MessageParts *parts, LeafSink sink,
                               void *context) {
  TreeRun run;
  run.Sink = sink;
  run.SinkContext = context;
  if (!ReadTree(source, parts, &run)) return false;
  std::vector<bool> decoded(parts->Parts.size(), false);
  for (const PassedLeaf &leaf : run.Passed) {
    // What was decoded on the way is the part it became; a guard, as the
    // header was read the same way both times.
    const MessagePart &part = parts->Parts[leaf.Index];
    if (part.Kind != PartLeaf || part.Encoding != EncodingBase64 ||
        part.BodyStart != leaf.BodyStart)
      return false;
    decoded[leaf.Index] = true;
  }
  for (size_t i = 0; i < parts->Parts.size(); ++i) {
    const MessagePart &part = parts->Parts[i];
    if (decoded[i] || (part.Kind != PartLeaf && part.Kind != PartUuencoded)) continue;
    LeafOf leaf = {sink, context, i};
    uint64_t count = 0;
    if (!DecodePartBytes(source, part, false, ToLeafSink, &leaf, &count)) return false;
  }
  return true;
}

bool DecodePart(const MessageSource &source, const MessageParts &parts, size_t index,
                bool text_in_utf8, PartSink sink, void *context, uint64_t *decoded) {
  *decoded = 0;
  if (index >= parts.Parts.size()) return false;
  return DecodePartBytes(source, parts.Parts[index], text_in_utf8, sink, context, decoded);
}
