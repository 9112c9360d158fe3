// A progress line on standard error ("1234/5000 messages") that updates in
// place, only while standard error is a terminal.
#pragma once

// Shows `done` of `total`, at most ten times a second; nothing in a run
// shorter than a tenth of a second.
void ShowProgress(int done, int total);

// Takes the line away again, so that the next text starts on a clean line.
// Harmless when nothing is shown.
void ClearProgress();
