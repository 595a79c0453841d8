// The state of Run-PGP commands, by how long it lives:
//   - RunState: one command's own record, from the capture of the text to
//     the delivery of PGP's result; the command makes it afresh.
//   - KeptText: what a command leaves behind for the client's Undo and for
//     the next command (the captured text, the window it came from).
//   - CommandContext: everything a command reads or changes that outlives
//     it: the settings, the PGP program and temporary names, the kept text,
//     the guard against a second command, the client's commands after
//     Select All. The extension owns it; a command gets it as a parameter.
// All of it is touched on the mail client's UI thread only.
#pragma once

#include <windows.h>

#include <string>

#include "core/command_state.h"
#include "runner/pgp_setup_win.h"
#include "settings/settings_file_win.h"

struct RunState {
  PgpFunction function = NoFunction;
  WindowKind windowKind = NoWindow;
  // The block or attachment line being processed, relative to scanOffset.
  LONG blockStart = 0;
  LONG blockEnd = 0;
  BOOL quoted = FALSE;  // a '>' stands right before the block
  // Where in the captured text the pass that found the block began.
  LONG scanOffset = 0;
  std::string recipients;  // blank-separated user ids, as many as PGP's command line takes
  LeftOutRecipients recipientsLeftOut;  // who could not be passed on to PGP
  char attachmentPath[kPathSize] = {};
  // " PGP - " and the label of `function`: the title of the command's boxes.
  char PgpCaption[kCaptionSize] = {};
};

struct KeptText {
  HWND sourceWindow = nullptr;
  WNDPROC sourceWindowProc = nullptr;  // what sourceWindow had before the undo subclass
  HGLOBAL textHandle = nullptr;  // the captured text, kept after the command for Undo
  LONG textLength = 0;
  BOOL UndoArmed = FALSE;  // sourceWindow holds a result the client's Undo swaps back
  // The block of the kept text while the current command holds it locked.
  HGLOBAL lockedTextHandle = nullptr;
  char* lockedText = nullptr;
};

struct CommandContext : ClientSettings, PgpSetup, KeptText {
  // Non-zero while a command runs: its dialogs and boxes re-enter the main
  // window's procedure, and a second command must be kept out.
  LONG RunInProgress = 0;
  // Command ids of the two items after Select All in the client's Edit menu
  // (0 where there is none, kNoMenuItemId where the position holds no
  // command). The menu set-up fills them; the second is the nickname command.
  uint32_t SelectAllNext1 = 0;
  uint32_t SelectAllNext2 = 0;
};

// state.PgpCaption = " PGP - " + the label of state.function.
void SetPgpCaption(RunState& state, bool recipientsGiven);

// Whether the command has recipients (which makes an encryption's caption
// "Encrypt" rather than "Clearsign").
inline bool RecipientsGiven(const RunState& state) { return !state.recipients.empty(); }

// The one box in which a command says what went wrong: a beep, then the
// text under the command's caption, owned by `owner`.
void ShowCommandFailure(HWND owner, RunState& state, bool recipientsGiven, const std::string& text);
