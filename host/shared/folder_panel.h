// One folder open in a panel, in no host's records: the reader's handle,
// the texts the host shows for it, and the messages entered, one inside the
// other. Each adapter keeps one inside its own panel record, beside the
// host's lines that point at these texts, and hands every call over here.
#pragma once

#include <cstddef>
#include <string>

#include "folder/folder_handle.h"
#include "host/shared/info_texts.h"
#include "host/shared/message_levels.h"
#include "host/shared/messages.h"
#include "host/shared/panel_copy.h"
#include "host/shared/panel_rows.h"

struct FolderPanel {
  FolderHandle *Folder = nullptr;
  std::wstring HostFile;   // the index path as the host gave it
  std::wstring DataFile;   // the data folder file's path made from it
  std::wstring PartsFile;  // the file the host offered for a message's parts; empty for none
  InfoTexts Info;          // of the last listing
  bool Listed = false;
  MessageStack *Inside = nullptr;  // the messages entered; null for none
  // How deep the panel's top is: 0 when the folder is the top and ".." out
  // of the first message goes back to it; 1 when the panel is a message's
  // parts (PartsFile) and the first level is the top.
  size_t Top = 0;
  std::wstring PartsTitle, PartsDirectory;
  // The code page the folder's messages declare (DeclaredCodePage), found
  // at its first listing and kept: 0 before, and where they declare none.
  unsigned FolderCodePage = 0;
  bool FolderLooked = false;
};

// A panel for the index file at `path`: the data folder file's path is the
// same with the last letter replaced by 'M'. No file is opened. False for
// an empty path or when the folder's handle cannot be made.
bool OpenFolderPanel(FolderPanel *panel, const wchar_t *path);

// A panel of the parts of the message a view wrote to `path`, which the
// host offers now (TakeViewedMessage): the folder it came from opened
// anew, its first level the panel's top. False when `path` is no such file
// or the message cannot be read.
bool OpenPartsPanel(FolderPanel *panel, const wchar_t *path);

// Lets go of the folder and the messages entered.
void CloseFolderPanel(FolderPanel *panel);

// The code page the panel's texts are decoded with: `setting` when the user
// chose one (TextCodePage), or else the one the folder's messages declare
// most, or else the system's ANSI one. `source` (may be null) gets the
// info line's form for it: MCodePageByHand, MCodePageFromFolder or
// MCodePageSystem.
unsigned PanelCodePage(FolderPanel *panel, unsigned setting, MessageId *source);

// The panel's rows as the host's items (ListFolderRows; the current
// message's parts, ListPartRows, when inside one), their texts decoded as
// PanelCodePage says; a listing of the folder makes the info lines from its
// facts.
void *ListPanelRows(FolderPanel *panel, unsigned setting, size_t item_size, RowToItem fill,
                    size_t *count);

// The host's copy of the chosen rows: CopyPartRows inside a message,
// CopyFolderRows outside, in PanelCodePage's code page.
int CopyPanelRows(FolderPanel *panel, unsigned setting, PanelRow *rows, size_t count,
                  const wchar_t **dest, CopyRequest request);

// Opens the message of the folder's row `row` as the first level inside.
// False inside a message, on "..", or when its bytes cannot be read.
bool EnterPanelRow(FolderPanel *panel, const PanelRow &row);

// Into a message inside the one shown (`dir` its row's name), one level up
// (".."; none above the top), or to the top ("/" or "\\"). True when the
// panel went there.
bool ChangePanelDirectory(FolderPanel *panel, const wchar_t *dir);

// What the host shows for the panel besides its rows.
struct PanelTexts {
  const wchar_t *HostFile, *CurDir, *Title;
  bool Inside;  // a message's parts: their own list, with ".." to leave
  size_t LineCount;
  const wchar_t *Labels[InfoLineCount], *Data[InfoLineCount];
  bool Separator[InfoLineCount];
};

// The panel's texts: the folder's title and info lines once a listing has
// made them; inside a message, its name in the title, the messages entered
// as the directory (each after `separator`), and its header lines.
void GetPanelTexts(FolderPanel *panel, wchar_t separator, PanelTexts *texts);
