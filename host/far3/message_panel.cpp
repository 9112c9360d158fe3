#include "host/far3/message_panel.h"

#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <memory>
#include <string>
#include <vector>

#include "folder/export_name.h"
#include "folder/message_copy.h"
#include "host/far3/host_services.h"
#include "message/message_parts.h"
#include "outputs/disk_writer.h"
#include "platform/file_system.h"
#include "platform/wide_text.h"

using namespace far3;

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

// What an item of the parts' panel holds.
enum PartItemKind { ItemText, ItemHtml, ItemPart, ItemMessage, ItemOriginal };

struct PartItem {
  std::wstring Name;
  std::wstring Type;
  PartItemKind Kind;
  size_t Part;  // in the message's parts
  uint64_t Size;
};

struct MessageLevel {
  std::wstring Shown;  // the item's name it was entered from
  MessageWindow Window;
  FILETIME Time;
  MessageParts Parts;
  size_t TextPart, HtmlPart;  // the body's, or SIZE_MAX
  std::vector<PartItem> Items;
  // The info panel's lines and the texts they point at.
  std::wstring Labels[5], Values[5];
  InfoPanelLine Lines[5];
  std::wstring Title;
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

bool CountBytes(void *context, const void *, size_t size) {
  *static_cast<uint64_t *>(context) += size;
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

// Writes what `item` holds into `sink`; false when a read or the sink fails.
bool WriteItem(MessageLevel &level, const PartItem &item, PartSink sink, void *context) {
  const MessageSource source = SourceOf(level);
  uint64_t decoded = 0;
  switch (item.Kind) {
    case ItemText: {
      const std::string head = HeaderText(level.Parts);
      if (!sink(context, head.data(), head.size())) return false;
      return level.TextPart == SIZE_MAX ||
             DecodePart(source, level.Parts, level.TextPart, true, sink, context, &decoded);
    }
    case ItemHtml:
      return DecodePart(source, level.Parts, level.HtmlPart, false, sink, context, &decoded);
    case ItemPart:
      return DecodePart(source, level.Parts, item.Part, false, sink, context, &decoded);
    case ItemMessage:
    case ItemOriginal: {
      const MessagePart &part = level.Parts.Parts[item.Part];
      const uint64_t start = item.Kind == ItemOriginal ? 0 : part.BodyStart;
      const uint64_t end = item.Kind == ItemOriginal ? level.Window.Length : part.BodyEnd;
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

uint64_t SizeOfItem(MessageLevel &level, const PartItem &item) {
  uint64_t size = 0;
  WriteItem(level, item, CountBytes, &size);
  return size;
}

bool IsTextBody(const MessagePart &part, const char *type) {
  return part.Kind == PartLeaf && !part.IsAttachment && part.Type == type;
}

// Reads the level's message and makes its items.
bool MakeLevel(MessageLevel *level) {
  const MessageSource source = SourceOf(*level);
  if (!ReadMessageParts(source, &level->Parts)) return false;
  const std::vector<MessagePart> &parts = level->Parts.Parts;
  level->TextPart = level->HtmlPart = SIZE_MAX;
  for (size_t i = 0; i < parts.size(); ++i) {
    // The parts of a message inside belong to its own level.
    bool inner = false;
    for (int up = parts[i].Parent; up >= 0; up = parts[size_t(up)].Parent)
      inner = inner || parts[size_t(up)].Kind == PartMessage;
    if (inner) continue;
    if (level->TextPart == SIZE_MAX && IsTextBody(parts[i], "text/plain")) level->TextPart = i;
    if (level->HtmlPart == SIZE_MAX && IsTextBody(parts[i], "text/html")) level->HtmlPart = i;
  }
  level->Items.push_back({L"Message.txt", L"text/plain", ItemText, 0, 0});
  if (level->HtmlPart != SIZE_MAX)
    level->Items.push_back({L"Message.html", L"text/html", ItemHtml, level->HtmlPart, 0});
  for (size_t i = 0; i < parts.size(); ++i) {
    bool inner = false;
    for (int up = parts[i].Parent; up >= 0; up = parts[size_t(up)].Parent)
      inner = inner || parts[size_t(up)].Kind == PartMessage;
    if (inner) continue;
    const MessagePart &part = parts[i];
    if (part.Kind == PartMessage && part.Encoding == EncodingIdentity)
      level->Items.push_back({Wide(part.Name), Wide(part.Type), ItemMessage, i, 0});
    else if ((part.Kind == PartLeaf || part.Kind == PartUuencoded || part.Kind == PartMessage) &&
             part.IsAttachment)
      level->Items.push_back({Wide(part.Name), Wide(part.Type), ItemPart, i, 0});
  }
  level->Items.push_back({L"Original.eml", L"message/rfc822", ItemOriginal, 0, 0});
  for (PartItem &item : level->Items) item.Size = SizeOfItem(*level, item);

  const DecodedField *fields[] = {&level->Parts.From, &level->Parts.To, &level->Parts.Cc,
                                  &level->Parts.Date, &level->Parts.Subject};
  const wchar_t *labels[] = {L"From", L"To", L"Cc", L"Date", L"Subject"};
  for (size_t i = 0; i < 5; ++i) {
    level->Labels[i] = labels[i];
    level->Values[i] = Wide(fields[i]->Text);
    level->Lines[i] = InfoPanelLine{level->Labels[i].c_str(), level->Values[i].c_str(), 0};
  }
  level->Title = std::wstring(TextOf(MTitle)) + L": " + level->Shown;
  return true;
}

}  // namespace

struct MessageStack {
  std::vector<std::unique_ptr<MessageLevel>> Levels;
  std::wstring Directory;  // the names entered, parted by '\'
};

namespace {

void SetDirectory(MessageStack *stack) {
  stack->Directory.clear();
  for (const auto &level : stack->Levels) stack->Directory += L"\\" + level->Shown;
}

bool Push(MessageStack *stack, std::unique_ptr<MessageLevel> level) {
  if (!MakeLevel(level.get())) return false;
  stack->Levels.push_back(std::move(level));
  SetDirectory(stack);
  return true;
}

}  // namespace

bool EnterMessage(MessageStack **stack, FolderHandle *folder, const PluginPanelItem &item) {
  if (item.FileName == nullptr || !OpenDataFile(folder)) return false;
  if (*stack == nullptr) *stack = new MessageStack;
  (*stack)->Levels.clear();
  std::unique_ptr<MessageLevel> level(new MessageLevel);
  level->Shown = item.FileName;
  const uint32_t offset = uint32_t(uintptr_t(item.UserData.Data));
  const uint32_t size = uint32_t(item.FileSize);
  level->Window = MessageWindow{folder, offset, size, 0, size};
  level->Time = item.LastWriteTime;
  return Push(*stack, std::move(level));
}

bool EnterInnerMessage(MessageStack *stack, FolderHandle *, const wchar_t *name) {
  if (!InsideMessage(stack)) return false;
  MessageLevel &current = *stack->Levels.back();
  for (const PartItem &item : current.Items) {
    if (item.Kind != ItemMessage || item.Name != name) continue;
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
  SetDirectory(stack);
  return true;
}

bool InsideMessage(const MessageStack *stack) {
  return stack != nullptr && !stack->Levels.empty();
}

void FreeMessageStack(MessageStack *stack) { delete stack; }

intptr_t ListMessageParts(MessageStack *stack, GetFindDataInfo *info) {
  info->PanelItem = nullptr;
  info->ItemsNumber = 0;
  if (!InsideMessage(stack)) return 0;
  const MessageLevel &level = *stack->Levels.back();
  size_t text = 0;
  for (const PartItem &item : level.Items) text += item.Name.size() + item.Type.size() + 2;
  const size_t count = level.Items.size();
  char *block =
      static_cast<char *>(calloc(1, count * sizeof(PluginPanelItem) + text * sizeof(wchar_t)));
  if (block == nullptr) return 0;
  PluginPanelItem *items = reinterpret_cast<PluginPanelItem *>(block);
  wchar_t *texts = reinterpret_cast<wchar_t *>(items + count);
  for (size_t i = 0; i < count; ++i) {
    const PartItem &part = level.Items[i];
    wmemcpy(texts, part.Name.c_str(), part.Name.size() + 1);
    items[i].FileName = texts;
    texts += part.Name.size() + 1;
    wmemcpy(texts, part.Type.c_str(), part.Type.size() + 1);
    items[i].Description = texts;
    texts += part.Type.size() + 1;
    items[i].FileSize = part.Size;
    items[i].CreationTime = items[i].LastWriteTime = level.Time;
    items[i].FileAttributes =
        part.Kind == ItemMessage ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
    items[i].UserData.Data = reinterpret_cast<void *>(uintptr_t(i));
  }
  info->PanelItem = items;
  info->ItemsNumber = count;
  return 1;
}

namespace {

struct FileSink {
  FileRef File;
};

bool WriteToFile(void *context, const void *bytes, size_t size) {
  return FileSystem.Write(static_cast<FileSink *>(context)->File, bytes, size);
}

}  // namespace

intptr_t CopyMessageParts(MessageStack *stack, FolderHandle *folder, GetFilesInfo *info,
                          bool quiet) {
  if (!InsideMessage(stack) || info->ItemsNumber == 0) return InsideMessage(stack) ? 1 : 0;
  MessageLevel &level = *stack->Levels.back();
  const size_t count = info->ItemsNumber;
  std::vector<std::string> names(count);
  std::vector<const char *> name_pointers(count);
  std::vector<const PartItem *> chosen(count, nullptr);
  for (size_t i = 0; i < count; ++i) {
    const size_t at = size_t(uintptr_t(info->PanelItem[i].UserData.Data));
    if (at < level.Items.size()) chosen[i] = &level.Items[at];
    // A message inside goes out as its bytes.
    names[i] = Utf8(chosen[i] != nullptr ? chosen[i]->Name + (chosen[i]->Kind == ItemMessage
                                                                   ? L".eml"
                                                                   : L"")
                                         : L"_");
    name_pointers[i] = names[i].c_str();
  }
  const wchar_t *given = info->DestPath != nullptr ? info->DestPath : L"";
  // F5 and F6 show where the parts go; a view or an edit has its own place.
  static wchar_t chosen_dest[32768];
  if (!quiet && (info->OpMode & (OPM_VIEW | OPM_EDIT | OPM_DESCR)) == 0) {
    wchar_t question[256];
    swprintf(question, sizeof question / sizeof question[0], L"%ls %lu %ls %ls",
             TextOf(MCopyVerb), static_cast<unsigned long>(count), CountedNoun(MItemOne, count),
             TextOf(MDestinationEnd));
    if (!AskLine(TextOf(MCopyTitle), question, L"VessorFolderDestination", given, chosen_dest,
                 sizeof chosen_dest / sizeof chosen_dest[0], HELP_PARTS) ||
        chosen_dest[0] == L'\0')
      return -1;
    info->DestPath = given = chosen_dest;
  }
  const std::string dest = Utf8(given);
  if (given == chosen_dest) FileSystem.MakeDirectories(dest.c_str(), DefaultAccess);
  ExportRun run;
  if (!StartExport(&run, folder, dest.c_str(), name_pointers.data(), int(count), LongestItemName,
                   0))
    return 0;
  // A file from before is never replaced: the part takes the next free name.
  run.KeepExisting = true;
  intptr_t result = 1;
  for (size_t i = 0; i < count; ++i) {
    FileSink sink = {chosen[i] != nullptr ? CreateExportFile(&run, int(i)) : NoFile};
    bool written = sink.File != NoFile && WriteItem(level, *chosen[i], WriteToFile, &sink);
    if (sink.File != NoFile) {
      if (written) SetMessageTime(sink.File, level.Time);
      written = FileSystem.Close(sink.File) && written;
      // A part that is not whole leaves no file.
      if (!written) FileSystem.Remove(ExportPath(&run));
    }
    if (written) {
      info->PanelItem[i].Flags &= ~PPIF_SELECTED;
      continue;
    }
    result = 0;
    if (!quiet) {
      wchar_t *path = WideFromUtf8(ExportPath(&run));
      ShowWarning(TextOf(sink.File == NoFile ? MCannotCreateFile : MCannotWriteFile),
                  path != nullptr ? path : L"", HELP_PARTS);
      free(path);
    }
  }
  FinishExport(&run);
  return result;
}

void FillMessagePanelSettings(const MessageStack *stack, OpenPanelInfo *info) {
  if (!InsideMessage(stack)) return;
  const MessageLevel &level = *stack->Levels.back();
  info->Flags |= OPIF_ADDDOTS;
  info->CurDir = stack->Directory.c_str();
  info->PanelTitle = level.Title.c_str();
  info->InfoLines = level.Lines;
  info->InfoLinesNumber = 5;
}
