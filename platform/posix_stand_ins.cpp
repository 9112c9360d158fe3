// The stand-in for the Windows message box, for builds on other systems (the
// other call's is inline, in platform/dos_date_time.h).
#include <cstdio>

#include "platform/win_types.h"

extern "C" __attribute__((weak, visibility("default"))) int MessageBoxA(HWND, const char *text,
                                                                      const char *caption, UINT) {
  fprintf(stderr, "%s: %s\n", caption, text);
  return 1;  // IDOK
}
