// parts: the tree of one message's parts, read from the data folder file
// with the message reader, never the whole message at once.
#pragma once

#include "outputs/text_charset.h"

// Prints the parts of the message `item` (a position from the listing or an
// exact name; the first of several that match) of the folder `index`: a
// table indented by depth, or with `tsv` tab-separated lines under a header
// line. Returns the exit status: 0 printed, 1 the message could not be read,
// 2 no folder, no such item.
int RunPartsCommand(const char *index, const char *item, bool tsv, const TextCharset *charset);
