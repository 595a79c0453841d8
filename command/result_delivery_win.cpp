#include "command/result_delivery_win.h"

#include <cstring>

#include "command/confirm_dialog_win.h"
#include "command/result_delivery.h"
#include "command/text_capture_win.h"
#include "common/handles_win.h"
#include "core/armor_scanner_win.h"
#include "core/command_state_win.h"
#include "core/module_win.h"
#include "core/window_procedure_win.h"
#include "resources/resource_ids.h"
#include "runner/pgp_runner_win.h"
#include "runner/temp_files.h"
#include "runner/temp_files_win.h"
#include "settings/settings_file_win.h"

namespace {

// PGP may still be closing its output when the wait for its process ends
// (a program-information file starts PGP through another process); half a
// second is long enough for that and short enough for a missing file.
constexpr DWORD kOutputWaitMs = 500;
constexpr int kPeeksPerTest = 16;
constexpr UINT kQuoteQuestion = MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2;
constexpr UINT kClipboardQuestion = MB_YESNO | MB_ICONQUESTION;
constexpr uint16_t kKeyAddFlags = PGPREQ_FILE | PGPREQ_KEYADD | PGPREQ_ARMOR;

using MessageBuffer = char[kMessageTextSize];

// Looks at pending messages without taking them, so the client's queue does
// not fill while the file is awaited, but nothing of the client runs.
void WaitForOutputFile(const char* path) {
  const DWORD deadline = GetTickCount() + kOutputWaitMs;
  while (!FileExists(path) && static_cast<LONG>(GetTickCount() - deadline) < 0) {
    MSG pending;
    for (int i = 0; i < kPeeksPerTest; ++i) PeekMessageA(&pending, nullptr, 0, 0, PM_NOREMOVE);
  }
}

DWORD ReadOutput(const char* path, UniqueGlobal& output) {
  HGLOBAL text = nullptr;
  DWORD length = 0;
  const DWORD code = ReadTextFile(&text, path, &length, Settings.AnsiOem != 0);
  output.reset(text);
  return ResultReadCode(code, code == 0 ? length : 0);
}

void ShowDeliveryFailure(HWND owner, const char* message) {
  MessageBeep(MB_ICONEXCLAMATION);
  SetPgpCaption(RecipientsGiven());
  MessageBoxA(owner, message, PgpCaption, MB_ICONEXCLAMATION);
}

void LoadMessage(UINT id, MessageBuffer& message) { LoadModuleString(id, message, kMessageTextSize); }

// The undo subclass goes on once per result. A window that already has it
// keeps its first previous procedure: storing SourceWindowSubclassProc as its own predecessor
// would make every message call itself.
void SubclassForUndo(HWND window) {
  const auto current = WindowProcOf(window);
  if (current == SourceWindowSubclassProc) return;
  runState.sourceWindowProc = ReplaceWindowProc(window, SourceWindowSubclassProc);
}

// An editable window gets the output in place of the block. False with the
// reason in `message`; the window then keeps its text.
bool DeliverToEditable(HWND owner, bool quoted, UniqueGlobal& output, MessageBuffer& message) {
  HGLOBAL handle = output.release();
  const bool spliced = SpliceResult(handle, quoted ? '>' : '\0');
  output.reset(handle);
  if (!spliced && quoted) {
    LoadMessage(IDS_NO_QUOTE_MARKS, message);
    if (MessageBoxA(owner, message, kQuillnetCaption, kQuoteQuestion) != IDYES) return false;
  } else if (!spliced) {
    // Without the splice the window would get PGP's output alone and the
    // rest of the message would seem gone; refusing keeps the window as is.
    LoadMessage(IDS_NOT_ENOUGH_MEMORY, message);
    return false;
  }
  if (!ReplaceSourceText(output.get(), message)) return false;
  output.release();
  SubclassForUndo(runState.sourceWindow);
  return true;
}

bool AskForClipboard(HWND owner) {
  if (Settings.CopyToReadOnly < 0) return true;
  if (Settings.CopyToReadOnly > 0) return false;
  MessageBuffer question;
  SetPgpCaption(RecipientsGiven());
  LoadMessage(IDS_COPY_TO_CLIPBOARD, question);
  return MessageBoxA(owner, question, PgpCaption, kClipboardQuestion) == IDYES;
}

// What is already on the clipboard stays beside the new text: only the
// text format is replaced.
bool DeliverToClipboard(HWND owner, UniqueGlobal& output, MessageBuffer& message) {
  if (!OpenClipboard(owner)) {
    LoadMessage(IDS_NO_CLIPBOARD, message);
    return false;
  }
  const bool taken = SetClipboardData(CF_TEXT, output.get()) != nullptr;
  CloseClipboard();
  if (!taken) {
    LoadMessage(IDS_COPY_FAILED, message);
    return false;
  }
  output.release();
  return true;
}

// A read-only view only shows the result; it is not subclassed, and a
// failed splice leaves it showing PGP's output alone (the client keeps the
// message itself, and the kept text still comes back with Undo).
bool DeliverToReadOnly(HWND owner, UniqueGlobal& output, MessageBuffer& message) {
  if (AskForClipboard(owner)) return DeliverToClipboard(owner, output, message);
  HGLOBAL handle = output.release();
  SpliceResult(handle, '\0');
  output.reset(handle);
  if (!ReplaceSourceText(output.get(), message)) return false;
  output.release();
  return true;
}

// The decoded text holds a public key: it becomes the armoured input of a
// key addition, offered in the confirmation dialog that shows the key's
// start (already in MessageText).
void OfferKeyAddition(HWND owner) {
  MessageBuffer message;
  runState.function = AddKey;
  WipeFile(TempAscName);
  if (!MoveFileA(TempBaseName, TempAscName)) {
    MessageBuffer pattern;
    LoadMessage(IDS_RENAME_FAILED, pattern);
    FillTemplate(message, sizeof message, pattern, {TempBaseName, TempAscName}, {});
    ShowDeliveryFailure(owner, message);
    return;
  }
  PgpRequest request{kKeyAddFlags, owner, 0, TempAscName, runState.recipients};
  const INT_PTR answer = DialogBoxParamA(moduleInstance, MAKEINTRESOURCEA(IDD_CONFIRM), owner, ConfirmDialogProc,
                                         reinterpret_cast<LPARAM>(&request));
  if (answer != IDOK) return;
  if (!RunPgp(request)) ShowDeliveryFailure(owner, MessageText);
}

}  // namespace

bool SpliceResult(HGLOBAL& handle, char quote) {
  GlobalLockGuard captured(runState.textHandle);
  const char* text = captured.text();
  const int64_t textLength = text != nullptr ? runState.textLength : 0;
  const KeptParts kept = SpliceKeptParts(runState.function, textLength, runState.scanOffset,
                                         runState.blockStart, runState.blockEnd);
  SplicePlan plan;
  {
    GlobalLockGuard output(handle);
    if (output.get() == nullptr) return false;
    plan = PlanSplice(kept.headLength, kept.tailLength, output.text(), quote);
  }
  HGLOBAL larger = GlobalReAlloc(handle, plan.BlockSize(), GMEM_MOVEABLE);
  if (larger == nullptr) return false;
  handle = larger;
  GlobalLockGuard block(handle);
  if (block.get() == nullptr) return false;
  RebuildSplice(block.text(), plan, text, text != nullptr ? text + kept.tailStart : nullptr, quote);
  return !plan.cut;
}

void DeliverPgpResult(HWND owner) {
  const char* resultFile = ResultFile(runState.function, TempBaseName, TempAscName);
  MessageBuffer message;
  // Used up by this delivery whatever becomes of it.
  const bool quoted = runState.quoted != 0;
  runState.quoted = FALSE;
  WaitForOutputFile(resultFile);
  UniqueGlobal output;
  const DWORD code = ReadOutput(resultFile, output);
  if (code != 0) {
    FormatFileError(code, message, resultFile);
    ShowDeliveryFailure(owner, message);
    return;
  }
  const bool holdsKey =
      runState.function == Decode && FindPublicKeyBlock(output.get(), MessageText, kMessageTextSize - 1);
  const bool delivered = IsReadOnly(runState.sourceWindow)
                             ? DeliverToReadOnly(owner, output, message)
                             : DeliverToEditable(owner, quoted, output, message);
  output.reset();
  if (!delivered) {
    ShowDeliveryFailure(owner, message);
    return;
  }
  if (holdsKey) OfferKeyAddition(owner);
}
