// Files uuencoded into a text, as mail programs sent them before MIME:
// "begin MODE NAME", lines of uuencode, "end". Each becomes a part of its own
// below its text; the text keeps its bytes, as Python's email leaves them.
#include "folder/export_name.h"
#include "message/mime_fields.h"

namespace {

// A begin line: "begin", a mode of three or four octal digits, a name.
bool IsBeginLine(const std::string &line, std::string *name) {
  if (line.compare(0, 6, "begin ") != 0) return false;
  size_t at = 6;
  const size_t digits = line.find_first_not_of("01234567", at);
  if (digits == std::string::npos || digits - at < 3 || digits - at > 4 || line[digits] != ' ')
    return false;
  *name = line.substr(digits + 1);
  while (!name->empty() && (name->back() == ' ' || name->back() == '\t')) name->pop_back();
  return !name->empty();
}

}  // namespace

bool AddUuencodedBlocks(MessageLines *lines, size_t text, size_t most,
                        std::vector<MessagePart> *parts) {
  const uint64_t limit = (*parts)[text].BodyEnd;
  uint64_t at = (*parts)[text].BodyStart;
  MessageLine line;
  int count = 0;
  size_t open = 0;  // the block begun and not ended; 0 for none
  while (ReadLine(lines, at, limit, 1024, &line)) {
    at = line.End;
    std::string name;
    if (open == 0 && IsBeginLine(line.Head, &name)) {
      if (parts->size() >= most) return false;
      MessagePart block = (*parts)[text];
      block.Kind = PartUuencoded;
      block.Parent = int(text);
      block.Position = (*parts)[text].Position + "." + std::to_string(++count);
      block.Type = "application/octet-stream";
      block.Charset.clear();
      block.TransferEncoding = "x-uuencode";
      block.Encoding = EncodingUuencode;
      block.Disposition = "attachment";
      block.Name = MakePartFileName(name);
      block.NameGiven = true;
      block.HeaderStart = block.BodyStart = line.Start;
      block.BodyEnd = limit;  // a block without its end runs to the text's
      parts->push_back(block);
      open = parts->size() - 1;
      continue;
    }
    if (open != 0 && (line.Head == "end" || line.Head == "end ")) {
      (*parts)[open].BodyEnd = line.End;
      open = 0;
    }
  }
  return true;
}
