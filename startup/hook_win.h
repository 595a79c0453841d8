// The module's life inside the mail client begins here: the message hook
// runs on the client's UI thread, and the first WM_NULL it sees removed from
// the queue makes the module initialise itself there. The start-up decides
// what the user sees of it: the settings listing, the temporary-folder
// messages and question, and why the module did not start.
#pragma once

#include <windows.h>

#include <cstddef>

#include "host/extension_win.h"

// Reaches the extension through clientExtension, which it points at the
// process's own the first time it runs.
extern "C" LRESULT CALLBACK GetMessageHook(int code, WPARAM removal, LPARAM message);

bool InitInClient(Extension& extension);

// Looks for the PGP program; setup.PgpPath holds the PGPPATH directory (d
// characters) on entry and the program found on success. Every candidate
// tried is listed in `tried`.
bool FindPgp(PgpSetup& setup, const SettingsRecord& settings, size_t directoryLength,
             char (&tried)[kMessageTextSize]);

// Loads the settings; while Caps Lock is held down the copies read and the
// values in force are shown in a box owned by `clientMainWindow`.
void LoadAndListSettings(ClientSettings& settings, HWND clientMainWindow);

// Chooses the temporary folder and names (a message when it is unusable)
// and asks before leftovers of an earlier run are overwritten. False when
// the folder is unusable or the user keeps the leftovers; the names are
// then empty.
bool PrepareTempFiles(PgpSetup& setup, SettingsRecord& settings);
