#pragma once

#include <cstdio>

// Opens the file at `path` as a binary read stream that denies other programs
// nothing: the mail program may go on writing, renaming or deleting the file
// while the folder is open. Null when the file cannot be opened.
FILE *OpenSharedForReading(const char *path);
