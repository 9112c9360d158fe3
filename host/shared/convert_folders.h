// The end of the plug-ins menu's convert of whole mail folders, the same in
// every host once the host has found the folders.
#pragma once

#include "outputs/folder_tree.h"

// What the folders chosen are read with (FindFolders, AddChosenPath): it
// keeps the first directory that could not be read, and the system's
// reason, for ConvertFolders and TellNoFolder to tell. Each call starts
// afresh.
const MailRun *ChosenReading();

// The warning that what was chosen holds no folder (`lines`, at most two),
// with the directory ChosenReading could not read below them.
void TellNoFolder(const wchar_t *const *lines, size_t count);

// Asks as what and where the folders go (the save dialog offering what
// whole folders become, `question` over the destination's line prefilled
// with `dest`), converts the tree under `top` (SaveFoldersAsMail: progress,
// stop and the summary) and has the other panel show what was made; the
// names in `code_page` (SaveFoldersAsMail). A directory ChosenReading could
// not read is told first. Nothing for Esc, Cancel or an empty destination.
void ConvertFolders(const TreeNode &top, const wchar_t *question, const wchar_t *dest,
                    unsigned code_page);

// The plug-ins menu's entry (each adapter's convert_menu.cpp): finds the
// folders the user chose, as far as the host lets it tell them, and
// converts them (ConvertFolders); tells the user when what was chosen holds
// no folder.
void ConvertChosenFolders(unsigned code_page);
