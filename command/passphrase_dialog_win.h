// The pass-phrase dialog (template 1200) a command opens when the runner
// asks for the pass phrase. What the user types goes straight into the
// caller's buffer, handed to the dialog as its parameter; nothing of it
// stays anywhere else.
#pragma once

#include <windows.h>

#include "runner/pgp_setup_win.h"

// Opens the dialog owned by `owner`; true when the user pressed OK.
// The runner's AskPassPhrase.
bool AskPassPhraseInDialog(HWND owner, char (&typed)[kPassPhraseSize]);

// The dialog procedure, exported as P05. Its parameter is the buffer of
// kPassPhraseSize characters that OK fills.
extern "C" INT_PTR CALLBACK PassPhraseDialogProc(HWND dialog, UINT message, WPARAM wParam,
                                                 LPARAM lParam);
