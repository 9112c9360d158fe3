// The file names of parts: the name the message gives, else one made from
// the part's place and type, made a file's name and told apart.
#include <map>
#include <set>

#include "folder/export_name.h"
#include "message/mime_fields.h"

namespace {

std::string FoldedCase(std::string name) {
  for (char &c : name)
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  return name;
}

const char *ExtensionOf(const MessagePart &part) {
  static const struct {
    const char *Type, *Extension;
  } Known[] = {{"text/plain", ".txt"},      {"text/html", ".html"},     {"text/csv", ".csv"},
               {"text/calendar", ".ics"},   {"text/xml", ".xml"},       {"text/rtf", ".rtf"},
               {"message/rfc822", ".eml"},  {"message/global", ".eml"}, {"image/jpeg", ".jpg"},
               {"image/png", ".png"},       {"image/gif", ".gif"},      {"application/pdf", ".pdf"},
               {"application/zip", ".zip"}, {"application/msword", ".doc"}};
  if (part.Kind == PartMultipart) return "";
  // A multipart whose parts could not be found holds text.
  if (part.Type.compare(0, 10, "multipart/") == 0) return ".txt";
  for (const auto &known : Known)
    if (part.Type == known.Type) return known.Extension;
  return part.Type.compare(0, 5, "text/") == 0 ? ".txt" : ".bin";
}

}  // namespace

bool NameParts(std::vector<MessagePart> *parts) {
  std::vector<std::string> safe(parts->size());
  for (size_t i = 0; i < parts->size(); ++i) {
    MessagePart &part = (*parts)[i];
    if (!part.NameGiven) {
      const size_t dot = part.Position.rfind('.');
      safe[i] = "part " + part.Position.substr(dot == std::string::npos ? 0 : dot + 1) +
                ExtensionOf(part);
      continue;
    }
    safe[i] = MakePartFileName(part.Name);
  }
  // Twins among the message's files: "_(2)", "_(3)", ... before the
  // extension, so that the name still tells the file's type; names equal but
  // for the case of A-Z are twins, as Windows takes them.
  std::set<std::string> given;
  std::map<std::string, unsigned> next_twin;
  for (size_t i = 0; i < parts->size(); ++i) {
    std::string name = safe[i];
    // A container is no file: its name is one among its siblings'
    // positions, and takes no name from a file.
    const PartKind kind = (*parts)[i].Kind;
    if (kind == PartMultipart || kind == PartMessage) {
      (*parts)[i].Name = name;
      continue;
    }
    // Each name's next suffix to try is kept, so that many twins take no
    // more than one look each.
    unsigned &twin = next_twin[FoldedCase(safe[i])];
    if (twin == 0) twin = 2;
    while (given.count(FoldedCase(name)) != 0) name = TwinFileName(safe[i], twin++);
    given.insert(FoldedCase(name));
    (*parts)[i].Name = name;
  }
  return true;
}
