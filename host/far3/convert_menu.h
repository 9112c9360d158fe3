// Whole mail directories from the file manager: the plug-in's entry in the
// plug-ins menu (F11) converts the index files and directories selected on
// an ordinary file panel into a tree for a mail program, as vfolder does.
#pragma once

// Asks where and as what (an mbox tree in Thunderbird's layout, a Maildir
// tree, an .eml tree) and converts every folder among and below the active
// panel's selected items, showing progress and, when anything failed, one
// box with the counts and the first reasons. Tells the user when the panel
// is none of the file system's or holds no folder among what is selected.
void ConvertChosenFolders(unsigned code_page);
