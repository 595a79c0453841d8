// The About box (dialog 2200): an OK button and the module's icon; every
// line of text is painted by the dialog procedure itself from the string
// table, three of them in the fonts the module made at initialisation.
#pragma once

#include <windows.h>

#include "host/extension_win.h"

// Opens the box owned by `owner`, painting with `fonts`.
void OpenAbout(HWND owner, const Fonts& fonts);

// The dialog procedure of the About dialog; exported as P06. Its parameter
// is the Fonts to paint with (null: the dialog's own font).
extern "C" INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
