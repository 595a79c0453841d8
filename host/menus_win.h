// The module's three items in Eudora's menus and the main-window procedure
// MainWindowSubclassProc through which every command of the module arrives (menus, the toolbar
// button, the client's Undo and close requests), and the way out of the
// client again. Which popup is which is decided in menus.h.
#pragma once

#include <windows.h>

#include "host/menus.h"

// The popups that received the module's items.
extern HMENU FileMenu;
extern HMENU HelpMenu;
extern HMENU MessageMenu;

// Eudora's own main-window procedure, which MainWindowSubclassProc replaced.
extern WNDPROC MainWindowProc;

// 1 once Eudora asked to close: the close is passed on after the exit.
extern LONG CloseAfterExit;

// An exit asked for while a Run-PGP command was under way. The command's
// dialogs run modal loops, so the request can arrive in the middle of it;
// leaving then would free the text and the temporary files under the
// running command. The exit is posted again once the command has ended.
extern bool ExitPending;

// Set once the exit has run. MainWindowSubclassProc then only passes messages on, should it
// still be called (another subclass installed after it kept it in the
// chain), so the exit can never run twice.
extern bool ExtensionLeft;

// Finds Eudora's File, Help, Message and Edit menus on the menu bar of
// sharedState.clientMainWindow, adds the module's items and records the
// commands after Select All. Non-zero when "R&un PGP..." was added.
int SetupMenus();

// Takes the module out of Eudora in a fixed order and tells the launcher;
// returns once the launcher has removed its hook (or has gone away).
void ExitExtension(HWND mainWindow);

// Fonts, the button class, the kept message text and the setting texts.
void ReleaseResources();

// The procedure that replaces Eudora's main-window procedure; exported as P10.
extern "C" LRESULT CALLBACK MainWindowSubclassProc(HWND window, UINT message, WPARAM wParam,
                                                   LPARAM lParam);
