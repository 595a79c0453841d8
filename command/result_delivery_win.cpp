#include "command/result_delivery_win.h"

#include <cstring>
#include <new>
#include <optional>
#include <string>
#include <string_view>

#include "command/confirm_dialog_win.h"
#include "command/result_delivery.h"
#include "command/result_marking.h"
#include "command/text_capture_win.h"
#include "common/handles_win.h"
#include "common/verdict.h"
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

// ---- the verdict file --------------------------------------------------

// The verdict file is UTF-8; the client shows the Windows character set.
// A text that is not UTF-8 is kept as it is.
std::string ToWindowsText(const std::string& utf8) {
  if (utf8.empty()) return utf8;
  const int wide = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(),
                                      static_cast<int>(utf8.size()), nullptr, 0);
  if (wide <= 0) return utf8;
  std::wstring text(static_cast<size_t>(wide), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), text.data(), wide);
  const int narrow = WideCharToMultiByte(CP_ACP, 0, text.data(), wide, nullptr, 0, "?", nullptr);
  if (narrow <= 0) return utf8;
  std::string out(static_cast<size_t>(narrow), '\0');
  WideCharToMultiByte(CP_ACP, 0, text.data(), wide, out.data(), narrow, "?", nullptr);
  return out;
}

// What the PGP program wrote in the verdict file of this run; nothing when
// it wrote none: the module made the file empty, and a PGP 2 knows nothing
// of it.
std::optional<VerdictFile> ReadVerdict(const char* verdictName) {
  HGLOBAL text = nullptr;
  DWORD length = 0;
  if (verdictName == nullptr || verdictName[0] == '\0' ||
      ReadTextFile(&text, verdictName, &length, false) != 0)
    return std::nullopt;
  UniqueGlobal owned(text);
  if (length == 0) return std::nullopt;
  GlobalLockGuard lock(owned.get());
  if (lock.get() == nullptr) return std::nullopt;
  VerdictFile verdict = ParseVerdictFile(std::string_view(lock.text(), length));
  verdict.signer = ToWindowsText(verdict.signer);
  for (auto& key : verdict.keysAdded) key.second = ToWindowsText(key.second);
  return verdict;
}

bool MarksThisResult() {
  return Settings.MarkResults != 0 &&
         (runState.function == Decode || runState.function == CheckSignature);
}

// The marker for this run's result, from the verdict file when there is one.
std::string FirstMarkerOfThisRun(const char* verdictName) {
  const std::optional<VerdictFile> verdict = ReadVerdict(verdictName);
  return FirstMarker(runState.function, verdict ? &*verdict : nullptr);
}

// Replaces PGP's output in `handle` by the marked text: the captured text
// around it (`withMessage`) or the output alone (the clipboard). A new block
// of the final size; false, with the handle unchanged, without memory.
bool MarkResult(HGLOBAL& handle, char quote, bool withMessage, const std::string& firstMarker) {
  GlobalLockGuard captured(runState.textHandle);
  const char* text = withMessage ? captured.text() : nullptr;
  const KeptParts kept =
      text != nullptr ? SpliceKeptParts(runState.function, runState.textLength, runState.scanOffset,
                                        runState.blockStart, runState.blockEnd)
                      : KeptParts{0, 0, 0};
  std::string marked;
  {
    GlobalLockGuard output(handle);
    if (output.get() == nullptr) return false;
    try {
      marked = ComposeMarkedText(std::string_view(text, kept.headLength), output.text(),
                                 std::string_view(text == nullptr ? "" : text + kept.tailStart,
                                                  kept.tailLength),
                                 quote, firstMarker);
    } catch (const std::bad_alloc&) {
      return false;
    }
  }
  UniqueGlobal block(GlobalAlloc(GMEM_MOVEABLE, marked.size() + 1));
  GlobalLockGuard lock(block.get());
  if (lock.get() == nullptr) return false;
  std::memcpy(lock.text(), marked.c_str(), marked.size() + 1);
  GlobalFree(handle);
  handle = block.release();
  return true;
}

// ---- delivering -----------------------------------------------------------

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

// The marked text where one is asked for (`marker` set), else the plain
// splice; `withMessage` false gives the output alone (the clipboard).
bool Rebuild(UniqueGlobal& output, char quote, bool withMessage,
             const std::optional<std::string>& marker) {
  HGLOBAL handle = output.release();
  const bool done = marker      ? MarkResult(handle, quote, withMessage, *marker)
                    : withMessage ? SpliceResult(handle, quote)
                                  : true;
  output.reset(handle);
  return done;
}

// An editable window gets the output in place of the block. False with the
// reason in `message`; the window then keeps its text.
bool DeliverToEditable(HWND owner, bool quoted, UniqueGlobal& output, MessageBuffer& message,
                       const std::optional<std::string>& marker) {
  const bool spliced = Rebuild(output, quoted ? '>' : '\0', true, marker);
  if (!spliced && quoted && !marker) {
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
bool DeliverToClipboard(HWND owner, UniqueGlobal& output, MessageBuffer& message,
                        const std::optional<std::string>& marker) {
  if (!Rebuild(output, '\0', false, marker)) {
    LoadMessage(IDS_NOT_ENOUGH_MEMORY, message);
    return false;
  }
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
// failed plain splice leaves it showing PGP's output alone (the client keeps
// the message itself, and the kept text still comes back with Undo). A
// marked result is never shown without its markers.
bool DeliverToReadOnly(HWND owner, UniqueGlobal& output, MessageBuffer& message,
                       const std::optional<std::string>& marker) {
  if (AskForClipboard(owner)) return DeliverToClipboard(owner, output, message, marker);
  if (!Rebuild(output, '\0', true, marker) && marker) {
    LoadMessage(IDS_NOT_ENOUGH_MEMORY, message);
    return false;
  }
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
  PgpRequest request{kKeyAddFlags, owner, 0, TempAscName, runState.recipients.c_str()};
  const INT_PTR answer = DialogBoxParamA(moduleInstance, MAKEINTRESOURCEA(IDD_CONFIRM), owner, ConfirmDialogProc,
                                         reinterpret_cast<LPARAM>(&request));
  if (answer != IDOK) return;
  if (!RunPgp(request)) {
    ShowDeliveryFailure(owner, MessageText);
    return;
  }
  ShowKeysAdded(request);
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

void DeliverPgpResult(HWND owner, const char* verdictName) {
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
  const std::optional<std::string> marker =
      MarksThisResult() ? std::optional<std::string>(FirstMarkerOfThisRun(verdictName))
                        : std::nullopt;
  const bool delivered = IsReadOnly(runState.sourceWindow)
                             ? DeliverToReadOnly(owner, output, message, marker)
                             : DeliverToEditable(owner, quoted, output, message, marker);
  output.reset();
  if (!delivered) {
    ShowDeliveryFailure(owner, message);
    return;
  }
  if (holdsKey) OfferKeyAddition(owner);
}

void ShowKeysAdded(const PgpRequest& request) {
  if (!PgpSucceeded(request.exitCode)) ShowPgpExitCode(request);
  const std::optional<VerdictFile> verdict = ReadVerdict(request.verdict.name());
  if (!PgpSucceeded(request.exitCode) && (!verdict || verdict->keysAdded.empty())) return;
  MessageBuffer text;
  if (!verdict) {
    LoadMessage(IDS_KEYS_ADDED_UNNAMED, text);
  } else if (verdict->keysAdded.empty()) {
    LoadMessage(IDS_NO_KEYS_ADDED, text);
  } else {
    std::string list;
    for (const auto& [fingerprint, userId] : verdict->keysAdded)
      list += "\n  " + (userId.empty() ? std::string("(no user id)") : userId) + "\n    " + fingerprint;
    MessageBuffer pattern;
    LoadMessage(IDS_KEYS_ADDED, pattern);
    FillTemplate(text, sizeof text, pattern, {list.c_str()}, {});
  }
  SetPgpCaption(request.userId != nullptr && request.userId[0] != '\0');
  MessageBoxA(request.owner, text, PgpCaption, MB_ICONINFORMATION);
}
