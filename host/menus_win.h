// The module's three items in the client's menus and the main-window
// procedure MainWindowSubclassProc through which every command of the module
// arrives (menus, the toolbar button, the client's Undo and close requests),
// and the way out of the client again. Which popup is which is decided in
// menus.h.
#pragma once

#include <windows.h>

#include "host/extension_win.h"
#include "host/menus.h"

// Finds the client's File, Help, Message and Edit menus on the menu bar of
// sharedState.clientMainWindow, adds the module's items and records the
// commands after Select All. Non-zero when "R&un PGP..." was added.
int SetupMenus(Extension& extension);

// Takes the module out of the client in a fixed order and tells the
// launcher; returns once the launcher has removed its hook (or has gone
// away).
void ExitExtension(Extension& extension, HWND mainWindow);

// Fonts, the button class, the kept message text and the setting texts.
void ReleaseResources(Extension& extension);

// The procedure that replaces the client's main-window procedure; exported
// as P10. Reaches the extension through clientExtension.
extern "C" LRESULT CALLBACK MainWindowSubclassProc(HWND window, UINT message, WPARAM wParam,
                                                   LPARAM lParam);
