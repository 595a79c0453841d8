// The state the Windows tests of one executable work on, as the module keeps
// it: one extension (the window procedures reach it through clientExtension,
// as they reach the client's), the record of the command under test, and the
// launcher's side of this process.
#pragma once

#include "command/run_state_win.h"
#include "host/extension_win.h"
#include "startup/launcher_entry_win.h"

inline Extension& TestExtension() {
  static Extension extension;
  clientExtension = &extension;
  return extension;
}

inline RunState& TestRunState() {
  static RunState state;
  return state;
}

// Everything of a command back to how the module starts: all of it zero,
// empty or none (so the function is Decode, the value 0).
inline void ResetTestState(RunState& state, Extension& owner) {
  state = RunState{};
  state.function = Decode;
  static_cast<KeptText&>(owner) = KeptText{};
  owner.RunInProgress = 0;
}

namespace {
[[maybe_unused]] Extension& extension = TestExtension();
[[maybe_unused]] RunState& runState = TestRunState();
}  // namespace
