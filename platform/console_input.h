// What long work in a host's panel asks of the console besides the screen
// the host draws: a steady clock, to show progress only when work lasts, and
// the keys the user pressed meanwhile, to stop it on Esc.
#pragma once

#include <cstdint>

struct ConsoleCalls {
  // Milliseconds of a clock that never goes back.
  uint64_t (*Milliseconds)();
  // Takes the key presses waiting in the console's input (the host would
  // only see them once the work is over); true when Esc was among them.
  bool (*EscapePressed)();
};

// The calls in use.
extern ConsoleCalls Console;

// The system's own calls, for a test to go back to.
extern const ConsoleCalls SystemConsoleCalls;
