#include "host/far2l/message_panel.h"

#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <vector>

#include "folder/export_name.h"
#include "host/far2l/host_services.h"
#include "outputs/disk_writer.h"
#include "platform/file_system.h"
#include "platform/wide_text.h"

using namespace far2l;

namespace {

ViewedMessage LastViewed;
bool HaveViewed = false;

std::string Utf8(const std::wstring &wide) {
  char *utf8 = Utf8FromWide(wide.c_str());
  std::string text = utf8 != nullptr ? utf8 : "";
  free(utf8);
  return text;
}

bool WriteToFile(void *context, const void *bytes, size_t size) {
  return FileSystem.Write(*static_cast<FileRef *>(context), bytes, size);
}

// Part `at` into the new file `path`; a part that is not whole leaves none.
bool WritePartFile(MessageStack *stack, size_t at, FileRef file, const char *path) {
  bool written = WritePartItem(stack, at, WriteToFile, &file);
  if (written) SetMessageTime(file, CurrentTime(stack));
  written = FileSystem.Close(file) && written;
  if (!written) FileSystem.Remove(path);
  return written;
}

// The name a part's file takes: a message inside goes out as its bytes.
std::string FileNameOf(const PartItem &part) {
  return Utf8(part.Name + (part.Kind == PartItemMessage ? L".eml" : L""));
}

// A view of one part: the host opens dest/NAME, NAME the item's own.
int ViewPart(MessageStack *stack, size_t at, const char *dest) {
  const std::string name = FileNameOf(CurrentParts(stack)[at]);
  if (name.empty() || name.find('/') != std::string::npos || name == "." || name == "..")
    return 0;
  std::string path = dest;
  if (path.empty() || path.back() != '/') path += '/';
  path += name;
  bool exists = false;
  const FileRef file = FileSystem.CreateNew(path.c_str(), DefaultAccess, &exists);
  return file != NoFile && WritePartFile(stack, at, file, path.c_str()) ? 1 : 0;
}

}  // namespace

void KeepViewedMessage(const ViewedMessage &viewed) {
  LastViewed = viewed;
  HaveViewed = true;
}

bool TakeViewedMessage(const char *path, ViewedMessage *viewed) {
  if (!HaveViewed || path == nullptr || LastViewed.Path != path) return false;
  *viewed = LastViewed;
  HaveViewed = false;
  return true;
}

bool ListMessageParts(MessageStack *stack, PluginPanelItem **items_out, int *count_out) {
  *items_out = nullptr;
  *count_out = 0;
  if (!InsideMessage(stack)) return false;
  const std::vector<PartItem> &parts = CurrentParts(stack);
  size_t text = 0;
  for (const PartItem &part : parts) text += part.Name.size() + part.Type.size() + 2;
  const size_t count = parts.size();
  char *block =
      static_cast<char *>(calloc(1, count * sizeof(PluginPanelItem) + text * sizeof(wchar_t)));
  if (block == nullptr) return false;
  PluginPanelItem *items = reinterpret_cast<PluginPanelItem *>(block);
  wchar_t *texts = reinterpret_cast<wchar_t *>(items + count);
  const FILETIME time = CurrentTime(stack);
  for (size_t i = 0; i < count; ++i) {
    const PartItem &part = parts[i];
    wmemcpy(texts, part.Name.c_str(), part.Name.size() + 1);
    items[i].FindData.lpwszFileName = texts;
    texts += part.Name.size() + 1;
    wmemcpy(texts, part.Type.c_str(), part.Type.size() + 1);
    items[i].Description = texts;
    texts += part.Type.size() + 1;
    items[i].FindData.nFileSize = items[i].FindData.nPhysicalSize = part.Size;
    items[i].FindData.ftCreationTime = items[i].FindData.ftLastWriteTime = time;
    items[i].FindData.ftLastAccessTime = time;
    const bool folder = part.Kind == PartItemMessage;
    items[i].FindData.dwFileAttributes = folder ? FileAttributeDirectory : FileAttributeArchive;
    items[i].FindData.dwUnixMode = folder ? 040755 : 0100644;
    items[i].UserData = DWORD_PTR(i);
  }
  *items_out = items;
  *count_out = int(count);
  return true;
}

int CopyMessageParts(MessageStack *stack, FolderHandle *folder, PluginPanelItem *items, int count,
                     const wchar_t **dest, int op_mode) {
  if (!InsideMessage(stack)) return 0;
  if (count <= 0) return 1;
  const std::vector<PartItem> &parts = CurrentParts(stack);
  const bool quiet = (op_mode & (OPM_SILENT | OPM_FIND | OPM_QUICKVIEW)) != 0;
  const bool ask = !quiet && (op_mode & (OPM_VIEW | OPM_EDIT | OPM_DESCR | OPM_TOPLEVEL)) == 0;
  const wchar_t *given = *dest != nullptr ? *dest : L"";
  static wchar_t chosen_dest[4096];
  if (ask) {
    wchar_t question[256];
    swprintf(question, sizeof question / sizeof question[0], L"%ls %d %ls %ls", TextOf(MCopyVerb),
             count, CountedNoun(MItemOne, (unsigned long long)count), TextOf(MDestinationEnd));
    if (!AskLine(TextOf(MCopyTitle), question, given, chosen_dest,
                 int(sizeof chosen_dest / sizeof chosen_dest[0]), HELP_PARTS) ||
        chosen_dest[0] == L'\0')
      return -1;
    *dest = given = chosen_dest;
  }
  const std::string dest_utf8 = Utf8(given);
  if (ask) FileSystem.MakeDirectories(dest_utf8.c_str(), DefaultAccess);
  if (count == 1 && (op_mode & (OPM_VIEW | OPM_EDIT | OPM_QUICKVIEW)) != 0) {
    const size_t at = size_t(items[0].UserData);
    return at < parts.size() ? ViewPart(stack, at, dest_utf8.c_str()) : 0;
  }
  std::vector<std::string> names(static_cast<size_t>(count));
  std::vector<const char *> name_pointers(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    const size_t at = size_t(items[i].UserData);
    names[size_t(i)] = at < parts.size() ? FileNameOf(parts[at]) : "_";
    name_pointers[size_t(i)] = names[size_t(i)].c_str();
  }
  ExportRun run;
  // A file from before is never replaced: the part takes the next free name.
  if (!StartPartExport(&run, folder, dest_utf8.c_str(), name_pointers.data(), count)) return 0;
  int result = 1;
  for (int i = 0; i < count; ++i) {
    const size_t at = size_t(items[i].UserData);
    const FileRef file = at < parts.size() ? CreateExportFile(&run, i) : NoFile;
    if (file != NoFile && WritePartFile(stack, at, file, ExportPath(&run))) {
      items[i].Flags &= ~PPIF_SELECTED;
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

void FillMessagePanelSettings(const MessageStack *stack, PartsTexts *texts, OpenPluginInfo *info) {
  if (!InsideMessage(stack)) return;
  // The first level is the panel's top: ".." there closes the parts.
  const std::wstring path = EnteredPath(stack, L'/');
  const size_t first = path.find(L'/', 1);
  texts->Directory = first == std::wstring::npos ? L"" : path.substr(first);
  texts->Title = std::wstring(TextOf(MTitle)) + L": " + CurrentShown(stack);
  const std::wstring *labels = HeaderLabels(stack);
  const std::wstring *values = HeaderValues(stack);
  for (size_t i = 0; i < HeaderLineCount; ++i)
    texts->Lines[i] = InfoPanelLine{labels[i].c_str(), values[i].c_str(), 0};
  info->CurDir = texts->Directory.c_str();
  info->PanelTitle = texts->Title.c_str();
  info->InfoLines = texts->Lines;
  info->InfoLinesNumber = int(HeaderLineCount);
  // The parts are a list of their own: no message columns or start mode.
  info->StartPanelMode = 0;
  info->StartSortMode = SM_UNSORTED;
  info->StartSortOrder = 0;
}
