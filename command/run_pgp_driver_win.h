// One "Run PGP" command inside the mail client: take the message text,
// find what calls for PGP in it, let the user confirm, run PGP and bring
// its result back. Runs on the client's UI thread; the dialogs and boxes of
// a command re-enter the main window's procedure, which is why a second
// command is kept out while one runs.
#pragma once

#include <windows.h>

#include <string>

#include "command/result_delivery_win.h"
#include "resources/resource_ids.h"
#include "runner/pgp_runner_win.h"

// The dialog's answers as ChooseFunction passes them on, and its own
// answer when the command cannot go on.
constexpr int kAnswerOk = IDOK;
constexpr int kAnswerCancel = IDCANCEL;
constexpr int kAnswerSkip = IDC_SKIP;
constexpr int kCannotGoOn = -1;

// The whole command, from the client's "Run PGP" item or button. Every
// outcome is shown to the user; both temporary files are gone afterwards.
// `resize` enlarges the blocks the result is rebuilt in (tests replace it).
void RunPgpCommand(HWND mainWindow, BlockResizer resize = ResizeGlobal);

// One pass over the captured `text` from `offset`, of which `remaining`
// characters are left: finds the attachment or block, writes PGP's input,
// fills `request` and shows the confirmation dialog. Returns the dialog's
// answer (kAnswerOk, kAnswerCancel, kAnswerSkip) or kCannotGoOn with the
// reason in `failure`. `offset` moves past the block found, so a Skip goes
// on after it.
int ChooseFunction(const char* text, LONG remaining, LONG& offset, PgpRequest& request,
                   std::string& failure);

// Looks in `length` characters of `scan` for a converted-attachment line
// whose file holds PGP armour, and writes that file to TempAscName. Leaves
// runState.attachmentPath set when one was found. False only after a file
// error (the message is in MessageText).
bool ScanAttachments(const char* scan, LONG length);
