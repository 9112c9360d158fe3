// Esc during long work in far2l: the keys come from the host's own console
// input, which its executable offers to plug-ins.
#pragma once

// Puts into Console an EscapePressed that reads far2l's input queue, when
// the executable that loaded the module exports the calls; otherwise (a
// test's host, vfolder) Console stays as it is.
void UseHostConsoleKeys();
