// The module-wide record of the current Run-PGP command, the message buffer
// for the next box and the caption of every box of a command. One copy per
// process; all of it is touched on the mail client's UI thread only.
#pragma once

#include <windows.h>

#include <string>

#include "core/command_state.h"

struct RunState {
  LONG RunInProgress;
  PgpFunction function;
  WindowKind windowKind;
  HWND sourceWindow;
  WNDPROC sourceWindowProc;
  HGLOBAL textHandle;
  LONG textLength;
  LONG blockStart;
  LONG blockEnd;
  BOOL quoted;
  LONG scanOffset;
  std::string recipients;  // blank-separated user ids, as many as PGP's command line takes
  LeftOutRecipients recipientsLeftOut;  // who could not be passed on to PGP
  char attachmentPath[kPathSize];
  BOOL UndoArmed;
};

extern RunState runState;
extern char MessageText[kMessageTextSize];
extern char PgpCaption[kCaptionSize];

// PgpCaption = " PGP - " + the label of runState.function.
void SetPgpCaption(bool recipientsGiven);

// Whether the command has recipients (which makes an encryption's caption
// "Encrypt" rather than "Clearsign").
inline bool RecipientsGiven() { return !runState.recipients.empty(); }

// LoadStringA from the module into a buffer; returns the length (0 when the
// string is missing, with the buffer emptied).
int LoadModuleString(UINT id, char* buffer, int size);
