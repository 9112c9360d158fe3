#include "platform/console_input.h"

#include "platform/win_types.h"

namespace {

uint64_t SystemMilliseconds() { return GetTickCount64(); }

bool SystemEscapePressed() {
  HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  bool escape = false;
  INPUT_RECORD record;
  DWORD got = 0;
  // Only what is there: PeekConsoleInput never waits.
  while (PeekConsoleInputW(input, &record, 1, &got) && got == 1) {
    if (!ReadConsoleInputW(input, &record, 1, &got) || got != 1) break;
    if (record.EventType == KEY_EVENT && record.Event.KeyEvent.bKeyDown &&
        record.Event.KeyEvent.wVirtualKeyCode == VK_ESCAPE)
      escape = true;
  }
  return escape;
}

}  // namespace

const ConsoleCalls SystemConsoleCalls = {SystemMilliseconds, SystemEscapePressed};
ConsoleCalls Console = SystemConsoleCalls;
