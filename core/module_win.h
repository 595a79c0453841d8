// Per-process facts about the loaded module that every layer needs: its own
// instance handle (for resources, hooks and window classes) and its string
// table. The load notification stores the handle; test executables that
// link the module's code statically store their own.
#pragma once

#include <windows.h>

#include <string>

extern HINSTANCE moduleInstance;

// LoadStringA from the module into a buffer; returns the length (0 when the
// string is missing, with the buffer emptied).
int LoadModuleString(UINT id, char* buffer, int size);

// The same as a text of its own (empty when the string is missing).
std::string ModuleString(UINT id);
