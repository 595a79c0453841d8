// Per-process facts about the loaded module that every layer needs: its own
// instance handle (for resources, hooks and window classes). The load
// notification stores it; test executables that link the module's code
// statically store their own.
#pragma once

#include <windows.h>

extern HINSTANCE moduleInstance;
