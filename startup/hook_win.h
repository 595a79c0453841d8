// The module's life inside the mail client begins here: the message hook
// runs on the client's UI thread, and the first WM_NULL it sees removed from
// the queue makes the module initialise itself there.
#pragma once

#include <windows.h>

#include <cstddef>

extern "C" LRESULT CALLBACK GetMessageHook(int code, WPARAM removal, LPARAM message);

// Set once the module has initialised itself in this process.
extern LONG clientInitialised;

bool InitInClient();

// Looks for the PGP program; PgpPath holds the PGPPATH directory (d
// characters) on entry and the program found on success. Every candidate
// tried is listed in MessageText.
bool FindPgp(size_t directoryLength);
