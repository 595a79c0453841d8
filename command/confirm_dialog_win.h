// The confirmation dialog (template 2300) the user sees before PGP runs:
// what will be passed to PGP, why, and for an encryption whom it is for.
// Opened modally with the run's PgpRequest as the dialog parameter; it ends
// with 1 (OK), 2 (Cancel) or 2454 (Skip).
#pragma once

#include <windows.h>

// Moves `window` so that its centre lies over the centre of `over`, size
// and z-order unchanged and not clipped to the screen. Leaves the window
// where it is when either rectangle cannot be had.
void CenterWindow(HWND window, HWND over);

// Whether the Encrypt-for field was empty when it last changed; set afresh
// by every dialog opened for an encryption.
extern bool fieldWasEmpty;

// The dialog procedure, exported as P11.
extern "C" INT_PTR CALLBACK ConfirmDialogProc(HWND dialog, UINT message, WPARAM wParam,
                                              LPARAM lParam);
