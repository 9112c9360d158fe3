// The end of the plug-ins menu's convert of whole mail folders, the same in
// every host once the host has found the folders.
#pragma once

#include "outputs/folder_tree.h"

// Asks as what and where the folders go (the save dialog offering what
// whole folders become, `question` over the destination's line prefilled
// with `dest`), converts the tree under `top` (SaveFoldersAsMail: progress,
// stop and the summary) and has the other panel show what was made; the
// names in `code_page` (SaveFoldersAsMail).
// Nothing for Esc, Cancel or an empty destination.
void ConvertFolders(const TreeNode &top, const wchar_t *question, const wchar_t *dest,
                    unsigned code_page);

// The plug-ins menu's entry (each adapter's convert_menu.cpp): finds the
// folders the user chose, as far as the host lets it tell them, and
// converts them (ConvertFolders); tells the user when what was chosen holds
// no folder.
void ConvertChosenFolders(unsigned code_page);
