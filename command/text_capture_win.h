// Finding the mail client's window that holds the message, reading its text
// and recipients, putting a PGP result back into it and undoing that. All of
// it talks to the client's windows on the client's UI thread; the text rules
// (address lists, field entries) are in text_capture.h.
//
// Ownership of KeptText::textHandle, the captured text:
//   - CaptureMessageText frees the previous block and allocates a new one,
//     locked for the rest of the command; CapturedText() gives the pointer.
//   - The driver ends a command with UnlockCapturedText(). The block itself
//     stays as the kept text that undo swaps back in.
//   - FreeCapturedText() is the one way to drop the kept text (nothing to do,
//     end of the extension); it undoes the command's lock first.
//   - ReplaceSourceText frees the block it is given once the window holds
//     the text; when that block is the kept text, the command's lock is
//     dropped first, so no pointer to freed memory is left behind.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "command/run_state_win.h"
#include "core/command_state.h"
#include "core/failure.h"

// The client's window class names by which its windows are recognised.
// There is one client, so there is one profile; the layout variant says
// which child layout of the composition form the capture relies on.
struct ClientWindowProfile {
  const char* compositionPrefix;    // prefix of the composition form's class
  const char* messageParentPrefix;  // prefix of a message window's parent class
  const char* textField;            // class of text fields, compared exactly
  const char* label;                // class of labels, compared exactly
  const char* ccLabel;              // exact text of the label before the Cc field
  int layoutVariant;
};
extern const ClientWindowProfile HostClassNames;

// Whether the client's edit window takes no typing (a received message).
bool IsReadOnly(HWND window);

// Finds the window to read from the focus window: the body of a composition
// form the focus lies in, or the focus itself when it is a message window.
// Fills state's windowKind and recipients, and the kept text's
// sourceWindow, textHandle and textLength. The reason when there is no such
// window, its text is shorter than 2 characters, or the block for the text
// cannot be had.
Failure CaptureMessageText(CommandContext& context, RunState& state, HWND focus);

// The captured text while the command holds it locked, else null.
char* CapturedText(const KeptText& kept);
// Ends the command's hold on the captured text; the block stays kept.
void UnlockCapturedText(KeptText& kept);
// Releases the kept text (and its lock, if the command still holds it).
void FreeCapturedText(KeptText& kept);

// When `window` is a child of a composition form: fills state's recipients
// from the To and Cc fields (either may be empty), replaces `window` by the
// form's body and returns true.
bool FindCompositionBody(const CommandContext& context, RunState& state, HWND& window);

// The whole text of a window, however long.
std::string WindowText(HWND window);

// Expands the nicknames of an editable field, then gives its entries as bare
// addresses separated by blanks, all of them. Entries that give no usable
// address are named in `leftOut`.
std::string ReadAddressField(const CommandContext& context, HWND field, LeftOutRecipients& leftOut);

// Selects [start, end) in the field and sends the client's nickname command
// for it, with Shift held when the NickNames setting asks for it.
void ExpandNickname(const CommandContext& context, HWND field, int start, int end);

// The message window subclass while a PGP result can be undone; exported as
// P07. It finds the kept text through a property of the window, which
// InstallUndoSubclass sets.
extern "C" LRESULT CALLBACK SourceWindowSubclassProc(HWND window, UINT message, WPARAM wParam,
                                                     LPARAM lParam);

// Puts SourceWindowSubclassProc on `window` once: a window that already has
// it keeps its first previous procedure (storing the subclass as its own
// predecessor would make every message call itself).
void InstallUndoSubclass(KeptText& kept, HWND window);

// Disarms the undo and takes the subclass off sourceWindow where it is
// still the procedure in place; sourceWindow is forgotten.
void EndUndo(KeptText& kept);

// Swaps the source window's text with the kept text. On failure shows the
// reason in an "UNDO" box owned by `owner`. Returns success.
bool UndoPgpResult(KeptText& kept, HWND owner);

// Puts the text of `block` into the source window, tells the client, arms
// the undo and frees the block. On failure the reason, and the block
// untouched.
Failure ReplaceSourceText(KeptText& kept, HGLOBAL block);

// Empties the clipboard if it can be opened with `window`; nothing reported.
void ClearClipboard(HWND window);
