#include "host/shared/folder_panel.h"

#include <cstdlib>
#include <cwchar>

#include "folder/export_name.h"
#include "folder/message_copy.h"
#include "host/shared/host_texts.h"
#include "host/shared/code_page_setting.h"
#include "host/shared/panel_host.h"
#include "message/folder_charset.h"
#include "host/shared/text_fill.h"
#include "platform/file_system.h"
#include "platform/wide_text.h"

namespace {

bool IsTop(const wchar_t *dir) { return wcscmp(dir, L"/") == 0 || wcscmp(dir, L"\\") == 0; }

// One of the parts panel's own items' names: the language's text (the
// English one where the language file lacks it) with `extension`, made a
// file's name as a part's is, since F5 writes it as one.
std::wstring OwnItemName(MessageId text, const char *english, const char *extension) {
  std::string name = Utf8Of(TextOf(text));
  if (name.empty()) name = english;
  wchar_t *wide = WideFromUtf8(MakePartFileName(name + extension).c_str());
  const std::wstring kept = wide != nullptr ? wide : L"";
  free(wide);
  return kept;
}

LevelTexts PartsTexts() {
  LevelTexts texts;
  texts.Text = OwnItemName(MPartsMessage, "Message", ".txt");
  texts.Html = OwnItemName(MPartsMessage, "Message", ".html");
  texts.Original = OwnItemName(MPartsOriginal, "Original", ".eml");
  const MessageId labels[HeaderLineCount] = {MHeaderFrom, MHeaderTo, MHeaderCc, MHeaderDate,
                                             MHeaderSubject};
  for (size_t i = 0; i < HeaderLineCount; ++i) texts.Labels[i] = TextOf(labels[i]);
  return texts;
}

}  // namespace

bool OpenFolderPanel(FolderPanel *panel, const wchar_t *path) {
  if (path == nullptr || path[0] == L'\0') return false;
  panel->HostFile = path;
  panel->DataFile = path;
  // A letter beyond the first 65,536 takes two places where wchar_t has 16
  // bits: both become the M.
  size_t last = panel->DataFile.size() - 1;
  const wchar_t low = panel->DataFile[last], high = last > 0 ? panel->DataFile[last - 1] : 0;
  if (sizeof(wchar_t) == 2 && low >= 0xDC00 && low <= 0xDFFF && high >= 0xD800 && high <= 0xDBFF)
    --last;
  panel->DataFile.replace(last, std::wstring::npos, L"M");
  char *index_utf8 = Utf8FromWide(path);
  char *data_utf8 = Utf8FromWide(panel->DataFile.c_str());
  if (index_utf8 != nullptr && data_utf8 != nullptr)
    panel->Folder = CreateFolderHandleOf(index_utf8, data_utf8);
  free(index_utf8);
  free(data_utf8);
  return panel->Folder != nullptr;
}

bool OpenPartsPanel(FolderPanel *panel, const wchar_t *path) {
  char *path_utf8 = path != nullptr ? Utf8FromWide(path) : nullptr;
  ViewedMessage viewed;
  const bool ours = path_utf8 != nullptr && TakeViewedMessage(path_utf8, &viewed);
  free(path_utf8);
  if (!ours || !OpenFolderPanel(panel, viewed.IndexPath.c_str())) return false;
  panel->PartsFile = path;
  panel->Top = 1;
  return EnterFolderMessage(&panel->Inside, panel->Folder, viewed.Name.c_str(), viewed.Offset,
                            viewed.Size, viewed.Time, PartsTexts());
}

void CloseFolderPanel(FolderPanel *panel) {
  FreeMessageStack(panel->Inside);
  panel->Inside = nullptr;
  if (panel->Folder != nullptr) ReleaseFolderHandle(panel->Folder);
  panel->Folder = nullptr;
}

unsigned PanelCodePage(FolderPanel *panel, unsigned setting, MessageId *source) {
  MessageId from = MCodePageByHand;
  unsigned code_page = setting;
  if (setting == CodePageFromFolder) {
    // Once per panel: the guess reads a sample of the messages, and names
    // that changed their letters from one listing to the next would lose
    // their selection.
    if (!panel->FolderLooked) {
      panel->FolderCodePage = DeclaredCodePage(panel->Folder);
      if (!KnowsCodePage(panel->FolderCodePage)) panel->FolderCodePage = 0;
      panel->FolderLooked = true;
    }
    code_page = panel->FolderCodePage;
    from = MCodePageFromFolder;
    if (code_page == 0) {
      code_page = SystemCodePage(0);
      from = MCodePageSystem;
    }
  }
  if (source != nullptr) *source = from;
  return code_page;
}

void *ListPanelRows(FolderPanel *panel, unsigned setting, size_t item_size, RowToItem fill,
                    size_t *count) {
  if (InsideMessage(panel->Inside)) return ListPartRows(panel->Inside, item_size, fill, count);
  FolderHandle *folder = panel->Folder;
  FolderFacts facts;
  StartFolderFacts(&facts, OpenDataFile(folder) ? FileSystem.SizeOf(folder->DataFile) : -1);
  MessageId source;
  const unsigned code_page = PanelCodePage(panel, setting, &source);
  void *block = ListFolderRows(folder, code_page, item_size, fill, count, &facts);
  if (block == nullptr) return nullptr;
  facts.IndexSize = FileSystem.SizeOf(folder->IndexFile);
  const std::string charset = CodePageCharset(code_page);
  const std::wstring name(charset.begin(), charset.end());
  const std::wstring shown = FillText(TextOf(source), {name.c_str()});
  MakeInfoTexts(facts, panel->HostFile.c_str(), panel->DataFile.c_str(), shown.c_str(), &panel->Info);
  panel->Listed = true;
  return block;
}

int CopyPanelRows(FolderPanel *panel, unsigned setting, PanelRow *rows, size_t count,
                  const wchar_t **dest, CopyRequest request) {
  // The folder is only ever read: an editor's changes to a copy would go
  // nowhere, so nothing is written for one and the host opens none.
  if (request.Edit) return 0;
  if (InsideMessage(panel->Inside))
    return CopyPartRows(panel->Inside, panel->Folder, rows, count, dest, request);
  return CopyFolderRows(panel->Folder, PanelCodePage(panel, setting, nullptr), rows, count, dest,
                        request);
}

bool EnterPanelRow(FolderPanel *panel, const PanelRow &row) {
  if (InsideMessage(panel->Inside) || row.Name == nullptr || wcscmp(row.Name, L"..") == 0)
    return false;
  return EnterFolderMessage(&panel->Inside, panel->Folder, row.Name, uint32_t(row.Data),
                            uint32_t(row.Size), row.Time, PartsTexts());
}

bool ChangePanelDirectory(FolderPanel *panel, const wchar_t *dir) {
  if (dir == nullptr) return false;
  if (wcscmp(dir, L"..") == 0)
    return MessageDepth(panel->Inside) > panel->Top && LeaveMessage(panel->Inside);
  if (IsTop(dir)) {
    while (MessageDepth(panel->Inside) > panel->Top) LeaveMessage(panel->Inside);
    return true;
  }
  return InsideMessage(panel->Inside) && EnterInnerMessage(panel->Inside, dir);
}

void GetPanelTexts(FolderPanel *panel, wchar_t separator, PanelTexts *texts) {
  texts->HostFile = panel->HostFile.c_str();
  texts->CurDir = L"";
  texts->Title = TextOf(MTitle);
  texts->Inside = InsideMessage(panel->Inside);
  texts->LineCount = panel->Listed ? InfoLineCount : 0;
  for (size_t i = 0; i < InfoLineCount; ++i) {
    texts->Labels[i] = panel->Info.Labels[i];
    texts->Data[i] = panel->Info.Shown[i];
    texts->Separator[i] = panel->Info.Separator[i];
  }
  if (!texts->Inside) return;
  if (!panel->PartsFile.empty()) texts->HostFile = panel->PartsFile.c_str();
  // The messages entered below the panel's top.
  panel->PartsDirectory = EnteredPath(panel->Inside, separator);
  size_t top = 0;
  for (size_t level = 0; level < panel->Top && top != std::wstring::npos; ++level)
    top = panel->PartsDirectory.find(separator, top + 1);
  panel->PartsDirectory.erase(0, top == std::wstring::npos ? std::wstring::npos : top);
  panel->PartsTitle = FillText(TextOf(MPartsTitle), {CurrentShown(panel->Inside).c_str()});
  texts->CurDir = panel->PartsDirectory.c_str();
  texts->Title = panel->PartsTitle.c_str();
  const std::wstring *labels = HeaderLabels(panel->Inside);
  const std::wstring *values = HeaderValues(panel->Inside);
  texts->LineCount = HeaderLineCount;
  for (size_t i = 0; i < HeaderLineCount; ++i) {
    texts->Labels[i] = labels[i].c_str();
    texts->Data[i] = values[i].c_str();
    texts->Separator[i] = false;
  }
}
