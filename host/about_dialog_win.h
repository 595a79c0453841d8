// The About box (dialog 2200): an OK button and the module's icon; every
// line of text is painted by the dialog procedure itself, three of them in
// the fonts the module made at initialisation.
#pragma once

#include <windows.h>

// The lines of our own, beside strings 30 and 31 of the string table.
// QL_VERSION is the project version, which the version resources carry too.
constexpr char kAboutVersion[] = "Quillnet(32) version " QL_VERSION;
constexpr char kAboutPurpose[] = "PGP for the Eudora mail client";
constexpr char kAboutUse[] = "Runs PGP on the message in front of you";
constexpr char kAboutProject[] = "Quillnet project";
constexpr char kAboutNoCrypto[] = "No cryptography inside: PGP does it all";

// The dialog procedure of the About dialog; exported as P06.
extern "C" INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
