// Bringing PGP's output back after a successful run: into the window the
// text came from (in place of the PGP block, with reply quoting restored),
// or onto the clipboard for a read-only view, and offering at once to add a
// public key that turns up in a decoded text.
#pragma once

#include <windows.h>

#include "command/run_state_win.h"
#include "runner/pgp_runner_win.h"

// Enlarges a movable block to `size` bytes, keeping its text; null when it
// cannot. Tests put a failing one in to see what a failed enlargement does.
using BlockResizer = HGLOBAL (*)(HGLOBAL block, SIZE_T size);
HGLOBAL ResizeGlobal(HGLOBAL block, SIZE_T size);

// Reads ResultFile and puts the text where it belongs. The output of a check
// or a decode stands between the module's marker lines (unless MarkResults
// is 0), which say what the PGP program vouched for in `verdictName`, the
// verdict file of the run (PgpRequest::verdict).
// Every outcome is shown to the user here (failure box owned by `owner`, the
// client's main window).
// The captured text stays as it was: it is what undo brings back.
void DeliverPgpResult(CommandContext& context, RunState& state, HWND owner,
                      const char* verdictName, BlockResizer resize = ResizeGlobal);

// Rebuilds the text of `handle` (PGP's output, NUL-terminated, unlocked) as
// the captured text before the block, the output with `quote` after every
// line feed ('\0' for none) and the captured text after the block; for
// anything but Decode and CheckSignature the output stands alone. One
// enlargement of the block, no second buffer. False when the block cannot
// be enlarged (handle and text then unchanged) or the output had to be cut.
bool SpliceResult(const KeptText& captured, const RunState& state, HGLOBAL& handle, char quote,
                  BlockResizer resize = ResizeGlobal);

// After a key addition (request.exitCode set): PGP's failure, where it
// failed, and every key it added, by user id and fingerprint from the
// verdict file (or, without one, that PGP's output names them).
void ShowKeysAdded(RunState& state, const PgpRequest& request);

// The exit-code box, for a run whose exit code has non-zero low 16 bits.
void ShowPgpExitCode(RunState& state, const PgpRequest& request);
