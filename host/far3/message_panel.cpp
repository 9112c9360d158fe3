#include "host/far3/message_panel.h"

#include "host/far3/host_services.h"

using namespace far3;

bool EnterMessage(MessageStack **stack, FolderHandle *folder, const PluginPanelItem &item) {
  return EnterFolderMessage(stack, folder, item.FileName, uint32_t(uintptr_t(item.UserData.Data)),
                            uint32_t(item.FileSize), item.LastWriteTime);
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
