#include "host/shared/message_levels.h"

#include <cstdlib>
#include <memory>
#include <unordered_set>

#include "folder/export_name.h"
#include "folder/message_copy.h"
#include "host/shared/panel_names.h"
#include "platform/file_system.h"
#include "platform/wide_text.h"

namespace {

// Where a message's bytes lie: the folder's message at Offset (Size bytes)
// in the data folder file, and within it the message shown (a message inside
// another is a stretch of its bytes).
struct MessageWindow {
  FolderHandle *Folder;
  uint32_t Offset, Size;
  uint64_t Start, Length;
};

int64_t ReadWindow(void *context, uint64_t at, void *buffer, size_t size) {
  const MessageWindow *window = static_cast<const MessageWindow *>(context);
  if (at >= window->Length) return 0;
  if (size > window->Length - at) size = size_t(window->Length - at);
  const uint64_t from = uint64_t(window->Offset) + window->Start + at;
  if (from >= uint64_t(window->Offset) + window->Size) return 0;
  return int64_t(FileSystem.ReadAt(window->Folder->DataFile, from, buffer, size));
}

struct MessageLevel {
  std::wstring Shown;  // the item's name it was entered from
  MessageWindow Window;
  FILETIME Time;
  MessageParts Parts;
  size_t TextPart, HtmlPart;  // the body's, or SIZE_MAX
  std::vector<PartItem> Items;
  std::wstring Labels[HeaderLineCount], Values[HeaderLineCount];
};

MessageSource SourceOf(MessageLevel &level) {
  return MessageSource{ReadWindow, &level.Window, level.Window.Length};
}

std::wstring Wide(const std::string &utf8) {
  wchar_t *wide = WideFromUtf8(utf8.c_str());
  std::wstring text = wide != nullptr ? wide : L"";
  free(wide);
  return text;
}

std::string Utf8(const std::wstring &wide) {
  char *utf8 = Utf8FromWide(wide.c_str());
  std::string text = utf8 != nullptr ? utf8 : "";
  free(utf8);
  return text;
}

// `name`, one of the level's own items', or its first twin before the
// extension ("Message_(2).txt") that none of the `taken` names (their case
// folded, as Windows compares) is: an attachment keeps the name the message
// gives it, as vfolder parts names it.
std::wstring FreeItemName(const std::unordered_set<std::wstring> &taken, const std::wstring &name) {
  std::wstring free_name = name;
  for (unsigned twin = 2;
       taken.count(FoldedName(free_name.c_str(), free_name.size())) != 0 && twin <= taken.size() + 1;
       ++twin)
    free_name = Wide(TwinFileName(Utf8(name), twin));
  return free_name;
}

bool CountBytes(void *context, const void *, size_t size) {
  *static_cast<uint64_t *>(context) += size;
  return true;
}

bool CountPartBytes(void *context, size_t index, const void *, size_t size) {
  std::vector<uint64_t> *counts = static_cast<std::vector<uint64_t> *>(context);
  if (index >= counts->size()) counts->resize(index + 1, 0);
  (*counts)[index] += size;
  return true;
}

// Message.txt: the header lines and the text body in UTF-8, after a
// byte-order mark, so that the viewer shows the right letters.
std::string HeaderText(const MessageParts &parts) {
  std::string text = "\xEF\xBB\xBF";
  const struct {
    const char *Label;
    const DecodedField &Field;
  } fields[] = {{"From", parts.From},
                {"To", parts.To},
                {"Cc", parts.Cc},
                {"Date", parts.Date},
                {"Subject", parts.Subject}};
  for (const auto &field : fields)
    if (!field.Field.Text.empty()) text += std::string(field.Label) + ": " + field.Field.Text + "\r\n";
  return text + "\r\n";
}

bool WriteItem(MessageLevel &level, const PartItem &item, PartSink sink, void *context) {
  const MessageSource source = SourceOf(level);
  uint64_t decoded = 0;
  switch (item.Kind) {
    case PartItemText: {
      const std::string head = HeaderText(level.Parts);
      if (!sink(context, head.data(), head.size())) return false;
      return level.TextPart == SIZE_MAX ||
             DecodePart(source, level.Parts, level.TextPart, true, sink, context, &decoded);
    }
    case PartItemHtml:
      return DecodePart(source, level.Parts, level.HtmlPart, false, sink, context, &decoded);
    case PartItemFile:
      return DecodePart(source, level.Parts, item.Part, false, sink, context, &decoded);
    case PartItemMessage:
    case PartItemOriginal: {
      const MessagePart &part = level.Parts.Parts[item.Part];
      const uint64_t start = item.Kind == PartItemOriginal ? 0 : part.BodyStart;
      const uint64_t end = item.Kind == PartItemOriginal ? level.Window.Length : part.BodyEnd;
      char buffer[65536];
      for (uint64_t at = start; at < end;) {
        const size_t want = size_t(end - at < sizeof buffer ? end - at : sizeof buffer);
        const int64_t got = source.ReadAt(source.Context, at, buffer, want);
        if (got <= 0 || !sink(context, buffer, size_t(got))) return false;
        at += uint64_t(got);
      }
      return true;
    }
  }
  return false;
}

bool IsTextBody(const MessagePart &part, const char *type) {
  return part.Kind == PartLeaf && !part.IsAttachment && part.Type == type;
}

// Whether part `i` belongs to a message inside, whose own level shows it.
bool IsInner(const std::vector<MessagePart> &parts, size_t i) {
  for (int up = parts[i].Parent; up >= 0; up = parts[size_t(up)].Parent)
    if (parts[size_t(up)].Kind == PartMessage) return true;
  return false;
}

// Reads the level's message and makes its items.
bool MakeLevel(MessageLevel *level, const LevelTexts &texts) {
  const MessageSource source = SourceOf(*level);
  // The sizes of the parts with bytes of their own come with the tree, from
  // one reading of the message.
  std::vector<uint64_t> counts;
  if (!ReadAndDecodeMessageParts(source, &level->Parts, CountPartBytes, &counts)) return false;
  const std::vector<MessagePart> &parts = level->Parts.Parts;
  level->TextPart = level->HtmlPart = SIZE_MAX;
  for (size_t i = 0; i < parts.size(); ++i) {
    if (IsInner(parts, i)) continue;
    if (level->TextPart == SIZE_MAX && IsTextBody(parts[i], "text/plain")) level->TextPart = i;
    if (level->HtmlPart == SIZE_MAX && IsTextBody(parts[i], "text/html")) level->HtmlPart = i;
  }
  std::vector<PartItem> attached;
  for (size_t i = 0; i < parts.size(); ++i) {
    if (IsInner(parts, i)) continue;
    const MessagePart &part = parts[i];
    if (part.Kind == PartMessage && part.Encoding == EncodingIdentity)
      attached.push_back({Wide(part.Name), Wide(part.Type), PartItemMessage, i, 0});
    else if ((part.Kind == PartLeaf || part.Kind == PartUuencoded || part.Kind == PartMessage) &&
             part.IsAttachment)
      attached.push_back({Wide(part.Name), Wide(part.Type), PartItemFile, i, 0});
  }
  std::unordered_set<std::wstring> taken;
  for (const PartItem &item : attached) taken.insert(FoldedName(item.Name.c_str(), item.Name.size()));
  level->Items.push_back({FreeItemName(taken, texts.Text), L"text/plain", PartItemText, 0, 0});
  if (level->HtmlPart != SIZE_MAX)
    level->Items.push_back(
        {FreeItemName(taken, texts.Html), L"text/html", PartItemHtml, level->HtmlPart, 0});
  level->Items.insert(level->Items.end(), attached.begin(), attached.end());
  level->Items.push_back(
      {FreeItemName(taken, texts.Original), L"message/rfc822", PartItemOriginal, 0, 0});
  counts.resize(parts.size(), 0);
  for (PartItem &item : level->Items) {
    item.Size = 0;
    const bool counted = (item.Kind == PartItemFile || item.Kind == PartItemHtml) &&
                         (parts[item.Part].Kind == PartLeaf || parts[item.Part].Kind == PartUuencoded);
    if (counted) item.Size = counts[item.Part];
    else WriteItem(*level, item, CountBytes, &item.Size);
  }
  const DecodedField *fields[HeaderLineCount] = {&level->Parts.From, &level->Parts.To,
                                                 &level->Parts.Cc, &level->Parts.Date,
                                                 &level->Parts.Subject};
  for (size_t i = 0; i < HeaderLineCount; ++i) {
    level->Labels[i] = texts.Labels[i];
    level->Values[i] = Wide(fields[i]->Text);
  }
  return true;
}

}  // namespace

struct MessageStack {
  std::vector<std::unique_ptr<MessageLevel>> Levels;
  LevelTexts Texts;
};

namespace {

bool Push(MessageStack *stack, std::unique_ptr<MessageLevel> level) {
  if (!MakeLevel(level.get(), stack->Texts)) return false;
  stack->Levels.push_back(std::move(level));
  return true;
}

}  // namespace

bool EnterFolderMessage(MessageStack **stack, FolderHandle *folder, const wchar_t *shown,
                        uint32_t offset, uint32_t size, const FILETIME &time,
                        const LevelTexts &texts) {
  if (shown == nullptr || !OpenDataFile(folder)) return false;
  if (*stack == nullptr) *stack = new MessageStack;
  (*stack)->Levels.clear();
  (*stack)->Texts = texts;
  std::unique_ptr<MessageLevel> level(new MessageLevel);
  level->Shown = shown;
  level->Window = MessageWindow{folder, offset, size, 0, size};
  level->Time = time;
  return Push(*stack, std::move(level));
}

bool EnterInnerMessage(MessageStack *stack, const wchar_t *name) {
  if (!InsideMessage(stack) || name == nullptr) return false;
  MessageLevel &current = *stack->Levels.back();
  for (const PartItem &item : current.Items) {
    if (item.Kind != PartItemMessage || item.Name != name) continue;
    const MessagePart &part = current.Parts.Parts[item.Part];
    std::unique_ptr<MessageLevel> level(new MessageLevel);
    level->Shown = item.Name;
    level->Window = current.Window;
    level->Window.Start += part.BodyStart;
    level->Window.Length = part.BodyEnd - part.BodyStart;
    level->Time = current.Time;
    return Push(stack, std::move(level));
  }
  return false;
}

bool LeaveMessage(MessageStack *stack) {
  if (!InsideMessage(stack)) return false;
  stack->Levels.pop_back();
  return true;
}

bool InsideMessage(const MessageStack *stack) {
  return stack != nullptr && !stack->Levels.empty();
}

size_t MessageDepth(const MessageStack *stack) {
  return stack != nullptr ? stack->Levels.size() : 0;
}

void FreeMessageStack(MessageStack *stack) { delete stack; }

const std::vector<PartItem> &CurrentParts(const MessageStack *stack) {
  return stack->Levels.back()->Items;
}

const std::wstring &CurrentShown(const MessageStack *stack) {
  return stack->Levels.back()->Shown;
}

FILETIME CurrentTime(const MessageStack *stack) { return stack->Levels.back()->Time; }

const std::wstring *HeaderLabels(const MessageStack *stack) {
  return stack->Levels.back()->Labels;
}

const std::wstring *HeaderValues(const MessageStack *stack) {
  return stack->Levels.back()->Values;
}

std::wstring EnteredPath(const MessageStack *stack, wchar_t separator) {
  std::wstring path;
  if (stack == nullptr) return path;
  for (const auto &level : stack->Levels) path += separator + level->Shown;
  return path;
}

bool WritePartItem(MessageStack *stack, size_t item, PartSink sink, void *context) {
  if (!InsideMessage(stack)) return false;
  MessageLevel &level = *stack->Levels.back();
  return item < level.Items.size() && WriteItem(level, level.Items[item], sink, context);
}
