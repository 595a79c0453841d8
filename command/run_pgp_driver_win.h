// One "Run PGP" command inside the mail client: take the message text,
// find what calls for PGP in it, let the user confirm, run PGP and bring
// its result back. Runs on the client's UI thread; the dialogs and boxes of
// a command re-enter the main window's procedure, which is why a second
// command is kept out while one runs. A step that fails says why; the
// command shows it once, at its end.
#pragma once

#include <windows.h>

#include <string>

#include "command/result_delivery_win.h"
#include "command/run_state_win.h"
#include "resources/resource_ids.h"
#include "runner/pgp_runner_win.h"

// The dialog's answers as ChooseFunction passes them on, and its own
// answer when the command cannot go on.
constexpr int kAnswerOk = IDOK;
constexpr int kAnswerCancel = IDCANCEL;
constexpr int kAnswerSkip = IDC_SKIP;
constexpr int kCannotGoOn = -1;

// The whole command, from the client's "Run PGP" item or button, with a
// RunState of its own. Every outcome is shown to the user; both temporary
// files are gone afterwards. `resize` enlarges the blocks the result is
// rebuilt in (tests replace it).
void RunPgpCommand(CommandContext& context, HWND mainWindow, BlockResizer resize = ResizeGlobal);
// The same in `state`, which is left as the command ends (tests look at it).
void RunPgpCommand(CommandContext& context, RunState& state, HWND mainWindow,
                   BlockResizer resize = ResizeGlobal);
