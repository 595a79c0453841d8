// The extension inside the mail client: everything the module keeps there
// from the hook's first initialisation until it leaves the client. One
// object owns it all; each part is declared by the layer that uses it (the
// settings, the PGP program and temporary names, the kept text of the last
// command, the menus, the button, the fonts) and functions get the parts
// they need as parameters.
//
// The window procedures Windows calls without a context reach it through
// clientExtension: the main window (P10) and the toolbar (P09) belong to
// the client, so no data of ours can be hung on them safely. The button
// (P08), a window of our own class, carries it in GWLP_USERDATA; the
// dialogs get what they show as their parameter; the message window (P07)
// finds the kept text in a property of its own.
#pragma once

#include <windows.h>

#include "command/run_state_win.h"

// The module's button on the client's toolbar.
struct ToolbarButton {
  // The toolbar carrying the button; null while no button was added.
  HWND ToolBarWindow = nullptr;
  // The toolbar's own procedure, obtained when ToolBarSubclassProc was put in its place.
  WNDPROC ToolBarProc = nullptr;
  // 1 while the left button went down on the button and was neither released
  // nor cancelled; also the frame of the face that is drawn.
  LONG ButtonPressed = 0;
  // Raised around each attempt, and once more for good when the user cancels
  // the retry question; while above 0 no attempt is made or posted.
  UINT AddButtonLock = 0;
  // Tick count before which no attempt is made (0: none pending).
  DWORD RetryNotBefore = 0;
};

// The two fonts the module's hand-painted dialogs draw with.
struct Fonts {
  HFONT TextFont = nullptr;   // "helvetica" 12 x 7, for the explanatory lines
  HFONT SmallFont = nullptr;  // "courier" 6 x 4, for the small print
};

struct Extension : CommandContext, ToolbarButton, Fonts {
  // The popups that received the module's items.
  HMENU FileMenu = nullptr;
  HMENU HelpMenu = nullptr;
  HMENU MessageMenu = nullptr;
  // The client's own main-window procedure, which MainWindowSubclassProc replaced.
  WNDPROC MainWindowProc = nullptr;
  // 1 once the client asked to close: the close is passed on after the exit.
  LONG CloseAfterExit = 0;
  // An exit asked for while a Run-PGP command was under way. The command's
  // dialogs run modal loops, so the request can arrive in the middle of it;
  // leaving then would free the text and the temporary files under the
  // running command. The exit is posted again once the command has ended.
  bool ExitPending = false;
  // Set once the exit has run. MainWindowSubclassProc then only passes
  // messages on, should it still be called (another subclass installed
  // after it kept it in the chain), so the exit can never run twice.
  bool ExtensionLeft = false;
  // Set once the module has initialised itself in this process.
  LONG clientInitialised = 0;
  // A message box of one attempt runs a message loop on the client's thread;
  // a second WM_NULL removed from the queue then must not start a nested one.
  bool initialising = false;
};

// The extension of this process, for the procedures Windows calls without a
// context; null until the hook first runs (tests point it at their own).
extern Extension* clientExtension;
