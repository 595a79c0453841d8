// The confirmation dialog (template 2300) the user sees before PGP runs:
// what will be passed to PGP, why, and for an encryption whom it is for.
// Opened modally with a Confirmation as the dialog parameter; it ends with
// 1 (OK), 2 (Cancel) or 2454 (Skip).
#pragma once

#include <windows.h>

#include <string>

#include "command/run_state_win.h"
#include "runner/pgp_runner_win.h"

// What the dialog shows and changes: the command's state (its function,
// whether the block was quoted, the recipients, which OK takes from the
// Encrypt-for field, and the caption), the request (whether Skip is
// offered) and the start of what PGP gets.
struct Confirmation {
  RunState& state;
  const PgpRequest* request = nullptr;
  std::string preview;
  // Whether the Encrypt-for field was empty when it last changed; set afresh
  // when the dialog opens for an encryption.
  bool fieldWasEmpty = false;
};

// Opens the dialog owned by `owner`: its answer, or -1 when it could not
// be made.
INT_PTR Confirm(HWND owner, Confirmation& confirmation);

// Moves `window` so that its centre lies over the centre of `over`, size
// and z-order unchanged and not clipped to the screen. Leaves the window
// where it is when either rectangle cannot be had.
void CenterWindow(HWND window, HWND over);

// The dialog procedure, exported as P11.
extern "C" INT_PTR CALLBACK ConfirmDialogProc(HWND dialog, UINT message, WPARAM wParam,
                                              LPARAM lParam);
