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

std::string Utf8(const std::wstring &wide) {
  char *utf8 = Utf8FromWide(wide.c_str());
  std::string text = utf8 != nullptr ? utf8 : "";
  free(utf8);
  return text;
}

}  // namespace

bool EnterMessage(MessageStack **stack, FolderHandle *folder, const PluginPanelItem &item) {
  return EnterFolderMessage(stack, folder, item.FileName, uint32_t(uintptr_t(item.UserData.Data)),
                            uint32_t(item.FileSize), item.LastWriteTime);
}

intptr_t ListMessageParts(MessageStack *stack, GetFindDataInfo *info) {
  info->PanelItem = nullptr;
  info->ItemsNumber = 0;
  if (!InsideMessage(stack)) return 0;
  const std::vector<PartItem> &parts = CurrentParts(stack);
  size_t text = 0;
  for (const PartItem &item : parts) text += item.Name.size() + item.Type.size() + 2;
  const size_t count = parts.size();
  const FILETIME time = CurrentTime(stack);
  char *block =
      static_cast<char *>(calloc(1, count * sizeof(PluginPanelItem) + text * sizeof(wchar_t)));
  if (block == nullptr) return 0;
  PluginPanelItem *items = reinterpret_cast<PluginPanelItem *>(block);
  wchar_t *texts = reinterpret_cast<wchar_t *>(items + count);
  for (size_t i = 0; i < count; ++i) {
    const PartItem &part = parts[i];
    wmemcpy(texts, part.Name.c_str(), part.Name.size() + 1);
    items[i].FileName = texts;
    texts += part.Name.size() + 1;
    wmemcpy(texts, part.Type.c_str(), part.Type.size() + 1);
    items[i].Description = texts;
    texts += part.Type.size() + 1;
    items[i].FileSize = part.Size;
    items[i].CreationTime = items[i].LastWriteTime = time;
    items[i].FileAttributes =
        part.Kind == PartItemMessage ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
    items[i].UserData.Data = reinterpret_cast<void *>(uintptr_t(i));
  }
  info->PanelItem = items;
  info->ItemsNumber = count;
  return 1;
}

namespace {

bool WriteToFile(void *context, const void *bytes, size_t size) {
  return FileSystem.Write(*static_cast<FileRef *>(context), bytes, size);
}

}  // namespace

intptr_t CopyMessageParts(MessageStack *stack, FolderHandle *folder, GetFilesInfo *info,
                          bool quiet) {
  if (!InsideMessage(stack) || info->ItemsNumber == 0) return InsideMessage(stack) ? 1 : 0;
  const std::vector<PartItem> &parts = CurrentParts(stack);
  const size_t count = info->ItemsNumber;
  std::vector<std::string> names(count);
  std::vector<const char *> name_pointers(count);
  std::vector<size_t> chosen(count, SIZE_MAX);
  for (size_t i = 0; i < count; ++i) {
    const size_t at = size_t(uintptr_t(info->PanelItem[i].UserData.Data));
    if (at < parts.size()) chosen[i] = at;
    // A message inside goes out as its bytes.
    names[i] = at < parts.size()
                   ? Utf8(parts[at].Name + (parts[at].Kind == PartItemMessage ? L".eml" : L""))
                   : "_";
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
  // A file from before is never replaced: the part takes the next free name.
  if (!StartPartExport(&run, folder, dest.c_str(), name_pointers.data(), int(count))) return 0;
  intptr_t result = 1;
  for (size_t i = 0; i < count; ++i) {
    FileRef file = chosen[i] != SIZE_MAX ? CreateExportFile(&run, int(i)) : NoFile;
    bool written = file != NoFile && WritePartItem(stack, chosen[i], WriteToFile, &file);
    if (file != NoFile) {
      if (written) SetMessageTime(file, CurrentTime(stack));
      written = FileSystem.Close(file) && written;
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
      ShowWarning(TextOf(file == NoFile ? MCannotCreateFile : MCannotWriteFile),
                  path != nullptr ? path : L"", HELP_PARTS);
      free(path);
    }
  }
  FinishExport(&run);
  return result;
}

void FillMessagePanelSettings(const MessageStack *stack, PartsTexts *texts, OpenPanelInfo *info) {
  if (!InsideMessage(stack)) return;
  texts->Directory = EnteredPath(stack, L'\\');
  texts->Title = std::wstring(TextOf(MTitle)) + L": " + CurrentShown(stack);
  const std::wstring *labels = HeaderLabels(stack);
  const std::wstring *values = HeaderValues(stack);
  for (size_t i = 0; i < HeaderLineCount; ++i)
    texts->Lines[i] = InfoPanelLine{labels[i].c_str(), values[i].c_str(), 0};
  info->Flags |= OPIF_ADDDOTS;
  info->CurDir = texts->Directory.c_str();
  info->PanelTitle = texts->Title.c_str();
  info->InfoLines = texts->Lines;
  info->InfoLinesNumber = HeaderLineCount;
}
