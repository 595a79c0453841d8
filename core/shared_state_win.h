// The one record that the launcher's process and the mail client's process
// both see: the module declares it in a shared data section, so every
// process that maps the module reads and writes the same bytes. Everything
// else the module keeps is per process.
//
// Each flag has one writer and only ever goes from 0 to 1; the other side
// polls it, so no lock is needed.
#pragma once

#include <windows.h>

#include <cstddef>

#include "core/command_state.h"

struct SharedState {
  DWORD launcherThreadId;    // the launcher thread that gets WM_QUIT at the end
  LONG attachCount;          // processes that have the module loaded
  DWORD launcherProcessId;   // the launcher that last started the extension
  HWND clientMainWindow;     // the mail client's main window
  HWND previousForeground;   // the foreground window before the launcher ran
  HHOOK _hHook;              // the message hook on the client's thread
  LONG hookRan;              // set by the hook after its first attempt to initialise
  LONG unhooked;             // set by the launcher once the hook is removed
  LONG clientReady;          // set by the hook when the initialisation succeeded
  char clientArguments[kClientArgumentsSize];  // the launcher's arguments
  LONG clientLeft;           // the module no longer runs in the client: it left it, or (set by
                             // StopExtension) it never started there
};

extern SharedState sharedState;

// The 32-bit module's record, byte for byte: a launcher and a client of one
// release share it, and its fields are where the 32-bit layout puts them.
// A 64-bit build has wider handles and never shares the record with a
// 32-bit module (the system loads a module of the process's own width).
#if !defined(_WIN64)
static_assert(offsetof(SharedState, launcherThreadId) == 0);
static_assert(offsetof(SharedState, attachCount) == 4);
static_assert(offsetof(SharedState, launcherProcessId) == 8);
static_assert(offsetof(SharedState, clientMainWindow) == 12);
static_assert(offsetof(SharedState, previousForeground) == 16);
static_assert(offsetof(SharedState, _hHook) == 20);
static_assert(offsetof(SharedState, hookRan) == 24);
static_assert(offsetof(SharedState, unhooked) == 28);
static_assert(offsetof(SharedState, clientReady) == 32);
static_assert(offsetof(SharedState, clientArguments) == 36);
static_assert(offsetof(SharedState, clientLeft) == 36 + kClientArgumentsSize);
static_assert(sizeof(SharedState) == 40 + kClientArgumentsSize);
#endif
