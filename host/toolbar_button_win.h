// The module's push button on Eudora's toolbar: finding the bar, making the
// button, keeping it in place when the bar changes size, painting its two
// frames and turning a click into the Run PGP command. Adding it is an
// attempt that the main-window procedure repeats until it works or the user
// declines; the placement arithmetic is in toolbar_button.h.
#pragma once

#include <windows.h>

#include "host/extension_win.h"
#include "host/toolbar_button.h"

constexpr char kButtonClassName[] = "ql_button";
constexpr char kToolBarClassName[] = "AfxControlBar";
// After the toolbar was not found, attempts wait this long.
constexpr DWORD kRetryDelay = 1000;

// Whether an attempt at tick `now` still falls in the wait that ends at
// `notBefore`. Compared as a signed distance, so the wait also ends when the
// tick count wraps around inside it (after 49.7 days of uptime) instead of
// blocking every attempt for another 49.7 days.
bool RetryWaitRunning(DWORD now, DWORD notBefore);

// One attempt: 1 when the button now exists, else 0. Asks the user to retry
// or give up when the toolbar cannot be found.
int TryAddButton(Extension& extension, HWND mainWindow);

// The first direct child of class "AfxControlBar" that sits at the very top
// of the main window's client area and has a size; null when there is none.
HWND FindToolBar(HWND mainWindow);

// Registers "ql_button", makes the button on ToolBarWindow and subclasses
// the toolbar. 1 on success.
int CreateButton(Extension& extension, HWND mainWindow);

// Takes the button off the toolbar and gives the toolbar its own procedure
// back, where ToolBarSubclassProc is still the one installed; repaints the bar. Only when a
// button was added.
void RemoveButton(const ToolbarButton& button);
// Forgets the button of an earlier run of the module in this process.
void ForgetButton(ToolbarButton& button);

// Unregisters "ql_button" when a button was added (its windows are gone).
void UnregisterButtonClass(const ToolbarButton& button);

// Copies frame `frame` of a horizontal strip of square frames (side = the
// bitmap's height) to (x, y) of `target`, in the target's mapping mode.
void DrawBitmapFrame(HBITMAP bitmap, HDC target, int x, int y, int frame);

// Window procedure of the button class; exported as P08. The button's
// window carries its extension in GWLP_USERDATA, from its creation on.
extern "C" LRESULT CALLBACK ButtonWindowProc(HWND window, UINT message, WPARAM wParam,
                                             LPARAM lParam);
// Replaces the toolbar's procedure: re-places and repaints the button.
// Exported as P09; reaches the button through clientExtension.
extern "C" LRESULT CALLBACK ToolBarSubclassProc(HWND window, UINT message, WPARAM wParam,
                                                LPARAM lParam);
