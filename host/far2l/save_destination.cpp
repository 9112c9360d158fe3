#include "host/far2l/save_destination.h"

#include "host/far2l/host_services.h"

namespace {

// The destination chosen in the input line: the host may read it through
// DestPath until the plug-in's next call.
const int LongestPath = 4096;
wchar_t ChosenDestination[LongestPath];

// The formats chosen last, offered first the next time.
SaveFormat LastFormat[2] = {SaveMessageFiles, SaveMbox};

struct Offered {
  SaveFormat Format;
  MessageId Label;
};
const Offered Single[] = {
    {SaveMessageFiles, MSaveFiles}, {SaveEml, MSaveEml}, {SaveMbox, MSaveMbox}, {SaveMaildir, MSaveMaildir}};
const Offered Whole[] = {{SaveMbox, MSaveTreeMbox}, {SaveMaildir, MSaveTreeMaildir}, {SaveEml, MSaveTreeEml}};

}  // namespace

const wchar_t *AskDestination(const wchar_t *title, const wchar_t *question, const wchar_t *dest,
                              bool trees, const wchar_t *help_topic, SaveChoice *choice) {
  const Offered *offered = trees ? Whole : Single;
  const int count = trees ? 3 : 4;
  const wchar_t *labels[4];
  int current = 0;
  for (int i = 0; i < count; ++i) {
    labels[i] = TextOf(offered[i].Label);
    if (offered[i].Format == LastFormat[trees]) current = i;
  }
  const int chosen = ChooseFromMenu(TextOf(MSaveAs), labels, count, current, help_topic);
  if (chosen < 0 || chosen >= count) return nullptr;
  choice->Format = offered[chosen].Format;
  choice->MarkRead = false;
  if (!AskLine(title, question, dest, ChosenDestination, LongestPath, help_topic) ||
      ChosenDestination[0] == L'\0')
    return nullptr;
  LastFormat[trees] = choice->Format;
  return ChosenDestination;
}
