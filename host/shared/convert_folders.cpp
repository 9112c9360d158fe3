#include "host/shared/convert_folders.h"

#include <cstdlib>

#include "host/shared/host_texts.h"
#include "host/shared/mail_save.h"
#include "host/shared/panel_host.h"
#include "platform/wide_text.h"

void ConvertFolders(const TreeNode &top, const wchar_t *question, const wchar_t *dest,
                    unsigned code_page) {
  SaveChoice choice;
  const wchar_t *answer =
      AskDestination(TextOf(MConvertTitle), question, dest, true, HELP_CONVERT, &choice);
  char *out = answer != nullptr ? Utf8FromWide(answer) : nullptr;
  if (out != nullptr && out[0] != '\0') {
    SaveFoldersAsMail(top, choice, out, code_page);
    ShowOtherPanelChanges();
  }
  free(out);
}
