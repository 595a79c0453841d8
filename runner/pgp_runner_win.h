// Running the PGP program for one request: the pass phrase, the console of
// the module's own, the child process and the box that reports PGP's exit
// code. Everything runs on the mail client's UI thread and blocks it until
// PGP (and, with a console kept open, the user) is done.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "runner/pgp_runner.h"
#include "runner/temp_files_win.h"

// One PGP run, built by the caller on its stack.
struct PgpRequest {
  uint16_t flags;        // PGPREQ_* bits
  HWND owner;            // owns the pass-phrase dialog and the boxes; brought forward afterwards
  uint32_t exitCode;     // out: PGP's exit code, valid when RunPgp returned true
  const char* fileName;  // the temporary file PGP works on
  const char* userId;    // blank-separated recipients, possibly empty, never null
  // Made afresh by RunPgp for the run and named to PGP; read by whoever
  // delivers the result, wiped when the request goes.
  TempVerdictFile verdict{};
};

constexpr int kPgpPathSize = 132;
constexpr int kPassPhraseSize = 64;

// The PGP program's full path (at most 131 characters), the first word of
// every command line. Filled when the module starts.
extern char PgpPath[kPgpPathSize];

// What the user typed into the pass-phrase dialog. It only passes through:
// RunPgp moves it into the module's kept value and wipes it at once.
extern char PassPhrase[kPassPhraseSize];

// The ids of the last PGP start. Its handles are closed before RunPgp
// returns and are then null, so nobody can use a stale one.
extern PROCESS_INFORMATION PgpProcessInfo;

// The full path of a PGP program file named by a FindPgp candidate, into
// `full`. A bare name is looked for in the client program's folder, the
// system and Windows folders and the absolute folders of PATH, never in the
// current folder (the mail folder, where a message may have left a file of
// that name); a name with a folder is made full as it stands. False when
// there is no such file, or its path does not fit PgpPath.
bool ResolvePgpProgram(const char* candidate, char (&full)[kPgpPathSize]);

// Makes the run's verdict file, asks for the pass phrase when needed, runs
// PGP and waits for it. True when PGP was started and waited for
// (request.exitCode is then valid); false with the message in MessageText
// otherwise, also when the verdict file cannot be made: PGP does not run
// then.
bool RunPgp(PgpRequest& request);

// The exit-code box, for a run whose exit code has non-zero low 16 bits.
void ShowPgpExitCode(const PgpRequest& request);

// The closing line in the current console, then a wait for a key press or a
// mouse click there. Returns at once without a console.
void WaitForConsoleKey();

// The dialog procedure of the pass-phrase dialog, exported as P05.
extern "C" INT_PTR CALLBACK PassPhraseDialogProc(HWND dialog, UINT message, WPARAM wParam,
                                                 LPARAM lParam);

// Whether a pass phrase is kept for later runs.
bool PassPhraseKept();

// Wipes the kept pass phrase from the module's memory. The environment is
// left alone: this is for leaving the client, where the memory goes away
// but the client's environment stays as the user set it.
void ClearKeptPassPhrase();
