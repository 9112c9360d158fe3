#include "host/far2l/message_panel.h"

#include "host/far2l/host_services.h"

using namespace far2l;

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
