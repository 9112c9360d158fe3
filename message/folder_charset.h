// The code page a folder's names are most likely written in, judged by the
// character sets its messages declare. The index says nothing of its own
// code page; a mail program writes names in the one its mail is mostly in,
// so what the messages declare is the best guess there is without asking
// the user.
#pragma once

#include "folder/folder_handle.h"

// How many messages the guess reads the head of, spread evenly over the
// folder, and how many bytes of each: the listing reads no message, so the
// guess costs a bounded number of small reads whatever the folder's size.
const unsigned CharsetSampleMessages = 32;
const unsigned CharsetSampleBytes = 4096;

// The Windows code page a character set declared in mail stands for as a
// code page of names: ISO 8859-1 as Windows-1252, which holds it; 0 for a
// name of no code page, and for US-ASCII, which tells nothing of the bytes
// above 127.
unsigned NameCodePageOf(const char *charset);

// The code page the sampled messages declare most, by the charset=
// parameters and RFC 2047 words in the first CharsetSampleBytes of each (a
// message counts once for each code page it declares; a tie goes to the
// one met first). 0 when they declare none, or when the index or the data
// folder file cannot be read. Reads through the folder's own files, which
// it opens as the listing and the export do.
unsigned DeclaredCodePage(FolderHandle *folder);
