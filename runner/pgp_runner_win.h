// Running the PGP program for one request: the pass phrase, the console of
// the module's own and the child process. Everything runs on the mail
// client's UI thread and blocks it until PGP (and, with a console kept
// open, the user) is done. What went wrong comes back as the message; the
// command shows it, and asks for the pass phrase through the step it hands
// in.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "core/failure.h"
#include "runner/pgp_runner.h"
#include "runner/pgp_setup_win.h"
#include "runner/temp_files_win.h"
#include "settings/settings_file_win.h"

// One PGP run, built by the caller on its stack.
struct PgpRequest {
  uint16_t flags;        // PGPREQ_* bits
  HWND owner;            // owns the pass-phrase dialog and the boxes; brought forward afterwards
  uint32_t exitCode;     // out: PGP's exit code, valid when RunPgp reported no failure
  const char* fileName;  // the temporary file PGP works on
  const char* userId;    // blank-separated recipients, possibly empty, never null
  // Made afresh by RunPgp for the run and named to PGP; read by whoever
  // delivers the result, wiped when the request goes.
  TempVerdictFile verdict{};
};

// The full path of a PGP program file named by a FindPgp candidate, into
// `full`. A bare name is looked for in the client program's folder, the
// system and Windows folders and the absolute folders of PATH, never in the
// current folder (the mail folder, where a message may have left a file of
// that name); a name with a folder is made full as it stands. False when
// there is no such file, or its path does not fit PgpPath.
bool ResolvePgpProgram(const char* candidate, char (&full)[kPgpPathSize]);

// Asks the user for the pass phrase (owned by `owner`) into `typed`; false
// when the user gave none. The command hands in its dialog.
using AskPassPhrase = bool (*)(HWND owner, char (&typed)[kPassPhraseSize]);

// Makes the run's verdict file, asks for the pass phrase when needed (one
// in the client's environment is taken as it is), runs PGP and waits for
// it. Nothing when PGP was started and waited for (request.exitCode is then
// valid); the message otherwise, also when the verdict file cannot be made:
// PGP does not run then.
Failure RunPgp(PgpSetup& setup, const SettingsRecord& settings, PgpRequest& request,
               AskPassPhrase ask);

// The closing line in the current console, then a wait for a key press or a
// mouse click there. Returns at once without a console.
void WaitForConsoleKey();

// Whether a pass phrase is kept for later runs.
bool PassPhraseKept(const PgpSetup& setup);

// Wipes the kept pass phrase from the module's memory. The environment is
// left alone: this is for leaving the client, where the memory goes away
// but the client's environment stays as the user set it.
void ClearKeptPassPhrase(PgpSetup& setup);
