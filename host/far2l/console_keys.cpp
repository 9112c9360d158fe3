#include "host/far2l/console_keys.h"

#include <dlfcn.h>

#include "host/far2l/far2l_plugin.h"
#include "platform/console_input.h"

using namespace far2l;

namespace {

WinportPeekInput PeekInput;
WinportReadInput ReadInput;
WinportWriteInput WriteInput;

// Takes what is waiting, as the Windows console's reader does: the keys are
// dropped (the host would only see them once the work is over), the other
// events (a resized window, the mouse) are given back for the host to act on.
bool HostEscapePressed() {
  const DWORD KeepAtMost = 32;
  INPUT_RECORD record, kept[KeepAtMost];
  DWORD got = 0, keeping = 0;
  bool escape = false;
  while (PeekInput(nullptr, &record, 1, &got) && got == 1) {
    if (!ReadInput(nullptr, &record, 1, &got) || got != 1) break;
    if (record.EventType != KEY_EVENT) {
      if (keeping < KeepAtMost) kept[keeping++] = record;
    } else if (record.Event.KeyEvent.bKeyDown &&
               record.Event.KeyEvent.wVirtualKeyCode == VK_ESCAPE) {
      escape = true;
    }
  }
  if (keeping > 0) WriteInput(nullptr, kept, keeping, &got);
  return escape;
}

}  // namespace

void UseHostConsoleKeys() {
  PeekInput = reinterpret_cast<WinportPeekInput>(dlsym(RTLD_DEFAULT, "WINPORT_PeekConsoleInput"));
  ReadInput = reinterpret_cast<WinportReadInput>(dlsym(RTLD_DEFAULT, "WINPORT_ReadConsoleInput"));
  WriteInput =
      reinterpret_cast<WinportWriteInput>(dlsym(RTLD_DEFAULT, "WINPORT_WriteConsoleInput"));
  if (PeekInput == nullptr || ReadInput == nullptr || WriteInput == nullptr) return;
  Console.EscapePressed = HostEscapePressed;
}
