// The file names of parts: the name the message gives, else one made from
// the part's place and type, made safe as export names are and told apart.
#include <cstring>

#include "folder/export_name.h"
#include "message/mime_fields.h"

namespace {

const char *ExtensionOf(const MessagePart &part) {
  static const struct {
    const char *Type, *Extension;
  } Known[] = {{"text/plain", ".txt"},      {"text/html", ".html"},     {"text/csv", ".csv"},
               {"text/calendar", ".ics"},   {"text/xml", ".xml"},       {"text/rtf", ".rtf"},
               {"message/rfc822", ".eml"},  {"message/global", ".eml"}, {"image/jpeg", ".jpg"},
               {"image/png", ".png"},       {"image/gif", ".gif"},      {"application/pdf", ".pdf"},
               {"application/zip", ".zip"}, {"application/msword", ".doc"}};
  if (part.Kind == PartMultipart) return "";
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
      // Safe as it is: MakeExportName would make its space an '_'.
      const size_t dot = part.Position.rfind('.');
      safe[i] = "part " + part.Position.substr(dot == std::string::npos ? 0 : dot + 1) +
                ExtensionOf(part);
      continue;
    }
    std::string name = part.Name;
    // A name stops at its first zero byte, as a file's must.
    name.resize(strlen(name.c_str()));
    if (name.size() > LongestItemName) name.resize(LongestItemName);
    const size_t needed = MakeExportName(name.c_str(), nullptr, 0);
    safe[i].assign(needed + 1, '\0');
    MakeExportName(name.c_str(), &safe[i][0], safe[i].size());
    safe[i].resize(needed);
  }
  std::vector<const char *> texts(safe.size());
  for (size_t i = 0; i < safe.size(); ++i) texts[i] = safe[i].c_str();
  ExportNames names;
  if (!MakeExportNames(texts.data(), int(texts.size()), LongestItemName + 8, &names)) return false;
  for (size_t i = 0; i < parts->size(); ++i) (*parts)[i].Name = ExportNameOf(&names, int(i));
  FreeExportNames(&names);
  return true;
}
