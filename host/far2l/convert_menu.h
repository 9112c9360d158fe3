// Whole mail directories from the file manager: the plug-in's entry in the
// plug-ins menu (F11) converts a directory of mail folders, or one index
// file, into a tree for a mail program, as vfolder does.
#pragma once

// Asks what to convert (the active panel's directory offered: far2l keeps
// the process in it, and tells no plug-in its panels' state in numbers this
// layer knows), as what (an mbox tree in Thunderbird's layout, a Maildir
// tree, an .eml tree) and where, and converts every folder there and below,
// showing progress and, when anything failed, one box with the counts and
// the first reasons. Tells the user when what was named holds no folder.
void ConvertChosenFolders(unsigned code_page);
