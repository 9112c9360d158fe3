#pragma once

// True when both paths name one existing file (the same file through another
// spelling or a link included). False when either does not exist.
bool IsSameFile(const char *path_a, const char *path_b);
