#include "command/result_delivery_win.h"

#include <cstring>
#include <new>
#include <optional>
#include <string>
#include <string_view>

#include "command/attachment_name.h"
#include "command/confirm_dialog_win.h"
#include "command/mime_host_win.h"
#include "command/mime_reading.h"
#include "command/result_delivery.h"
#include "command/result_marking.h"
#include "command/text_capture_win.h"
#include "common/handles_win.h"
#include "common/verdict.h"
#include "core/armor_scanner.h"
#include "core/armor_scanner_win.h"
#include "command/passphrase_dialog_win.h"
#include "command/run_state_win.h"
#include "core/message_box_win.h"
#include "core/module_win.h"
#include "core/wait_cursor_win.h"
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
  // No best fit: a user id with a letter the code page lacks must not turn
  // into another person's name ("\u0100lice" into "Alice").
  const int narrow =
      WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), wide, nullptr, 0, "?", nullptr);
  if (narrow <= 0) return utf8;
  std::string out(static_cast<size_t>(narrow), '\0');
  WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), wide, out.data(), narrow, "?",
                      nullptr);
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
  verdict.keyName = ToWindowsText(verdict.keyName);
  for (auto& key : verdict.keysAdded) key.second = ToWindowsText(key.second);
  for (auto& key : verdict.keysUpdated) key.second = ToWindowsText(key.second);
  return verdict;
}

// One delivery: the command it belongs to and where its boxes go.
struct Delivery {
  CommandContext& context;
  RunState& state;
  HWND owner;
  BlockResizer resize;
};

bool MarksThisResult(const Delivery& delivery) {
  const PgpFunction function = delivery.state.function;
  return delivery.context.Settings.MarkResults != 0 &&
         (function == Decode || function == CheckSignature);
}

// The wording of the markers and the keys-added list, from the string table.
MarkerTexts ModuleMarkerTexts() {
  return LoadMarkerTexts([](int id) { return ModuleString(static_cast<UINT>(id)); });
}

// The marker for this run's result, from the verdict file when there is one.
std::string FirstMarkerOfThisRun(const RunState& state, const char* verdictName,
                                 const MarkerNotes& notes) {
  const std::optional<VerdictFile> verdict = ReadVerdict(verdictName);
  return FirstMarker(state.function, verdict ? &*verdict : nullptr, ModuleMarkerTexts(), notes);
}

// The captured text around the block, or nothing (the output alone).
struct AroundTheBlock {
  std::string_view head;
  std::string_view tail;
};

AroundTheBlock KeptAround(const KeptText& captured, const RunState& state, const char* text) {
  if (text == nullptr) return {};
  const KeptParts kept = SpliceKeptParts(state.function, captured.textLength, state.scanOffset,
                                         state.blockStart, state.blockEnd);
  return {std::string_view(text, kept.headLength),
          std::string_view(text + kept.tailStart, kept.tailLength)};
}

// What a marked result gets: its first marker, and the attachment prefix
// whose occurrences in the output are the sender's and get defused (empty
// when the module itself wrote the attachment lines of the text).
struct Marking {
  std::string first;
  std::string attachmentPrefix;
};

// Rebuilds PGP's output in `handle` as the marked text, in its own block:
// the captured text around it (`withMessage`) or the output alone (the
// clipboard). False, with the handle and its text unchanged, when the block
// cannot be enlarged.
bool MarkResult(const Delivery& delivery, HGLOBAL& handle, char quote, bool withMessage,
                const Marking& marking) {
  GlobalLockGuard captured(delivery.context.textHandle);
  const AroundTheBlock around =
      KeptAround(delivery.context, delivery.state, withMessage ? captured.text() : nullptr);
  const std::string& firstMarker = marking.first;
  MarkedSplicePlan plan;
  {
    GlobalLockGuard output(handle);
    if (output.get() == nullptr) return false;
    plan = PlanMarkedSplice(around.head, output.text(), around.tail, quote, firstMarker,
                            marking.attachmentPrefix);
  }
  if (!plan.fits) return false;
  HGLOBAL larger = delivery.resize(handle, plan.BlockSize());
  if (larger == nullptr) return false;
  handle = larger;
  GlobalLockGuard block(handle);
  if (block.get() == nullptr) return false;
  RebuildMarkedSplice(block.text(), plan, around.head, around.tail, quote, firstMarker);
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

// PGP's output as it wrote it: its bytes decide how it is to be read.
DWORD ReadOutput(const char* path, UniqueGlobal& output, DWORD& length) {
  HGLOBAL text = nullptr;
  length = 0;
  const DWORD code = ReadTextFile(&text, path, &length, false);
  output.reset(text);
  return ResultReadCode(code, code == 0 ? length : 0);
}

// ---- reading the output as the user reads mail -----------------------------

// The client's attachment prefix, also when it was not loaded (it is only
// where attachments are followed): a sender's line must not pass for one.
std::string ClientAttachmentPrefix(const ClientSettings& settings) {
  if (settings.AttachmentPrefixLength > 0)
    return std::string(settings.AttachmentPrefix, settings.AttachmentPrefixLength);
  char prefix[kAttachmentPrefixSize];
  const int n = LoadModuleString(IDS_ATTACHMENT_PREFIX, prefix, sizeof prefix);
  return std::string(prefix, n > 0 ? static_cast<size_t>(n) : 0);
}

// The armoured block PGP got from the message text (empty for a file).
std::string_view BlockOfThisRun(const KeptText& kept, const RunState& state, const char* captured) {
  if (captured == nullptr || state.attachmentPath[0] != '\0') return {};
  const KeptParts parts = SpliceKeptParts(Decode, kept.textLength, state.scanOffset,
                                          state.blockStart, state.blockEnd);
  return std::string_view(captured + parts.headLength, parts.tailStart - parts.headLength);
}

// What the delivery learnt while making the output readable.
struct Readable {
  bool mimeRead = false;  // the module wrote the text's attachment lines
  size_t unmappable = 0;
  std::string unknownCharset;
  bool innerSignature = false;
  bool incomplete = false;
};

// Replaces the text in `output` by `text`; false (output unchanged) without memory.
bool PutText(UniqueGlobal& output, const std::string& text) {
  UniqueGlobal block(GlobalAlloc(GMEM_MOVEABLE, text.size() + 1));
  GlobalLockGuard lock(block.get());
  if (lock.get() == nullptr) return false;
  std::memcpy(lock.text(), text.c_str(), text.size() + 1);
  output = std::move(block);
  return true;
}

// A decoded MIME entity (the mail of today's programs) read as a mail reader
// shows it, its parts saved beside the attachment PGP decoded; the text in
// another character set than the client's converted; with AnsiOem, PGP's
// OEM text converted back as before.
Readable MakeReadable(const Delivery& delivery, UniqueGlobal& output, DWORD length,
                      const std::string& prefix) {
  const RunState& state = delivery.state;
  const SettingsRecord& settings = delivery.context.Settings;
  Readable readable;
  std::optional<std::string> replacement;
  {
    GlobalLockGuard lock(output.get());
    if (lock.get() == nullptr) return readable;
    const std::string_view text(lock.text(), strnlen(lock.text(), length));
    WinMimeHost host(FolderOfPath(state.attachmentPath), prefix);
    if (state.function == Decode && settings.ReadMime != 0 && IsMimeEntity(text)) {
      if (std::optional<MimeReading> reading = ReadMimeEntity(text, prefix, host)) {
        readable = {true, reading->unmappable,
                    reading->unknownCharsets.empty() ? std::string() : reading->unknownCharsets.front(),
                    reading->innerSignature, reading->incomplete};
        replacement = std::move(reading->text);
      }
    }
    if (!replacement && settings.AnsiOem != 0) {
      OemToCharBuffA(lock.text(), lock.text(), length);
      return readable;
    }
    if (!replacement) {
      GlobalLockGuard captured(delivery.context.textHandle);
      InlineConversion conversion;
      replacement = InlineTextForClient(
          text, ArmorCharset(BlockOfThisRun(delivery.context, state, captured.text())), host,
          conversion);
      readable.unmappable = conversion.unmappable;
      readable.unknownCharset = conversion.unknownCharset;
    }
  }
  // Without memory for the new text PGP's output is shown as it came.
  if (replacement && !PutText(output, *replacement)) readable = {};
  return readable;
}

void ShowDeliveryFailure(const Delivery& delivery, const std::string& message) {
  ShowCommandFailure(delivery.owner, delivery.state, RecipientsGiven(delivery.state), message);
}

// The template's "%s" replaced by `text`, however long.
std::string FillTextTemplate(std::string_view pattern, const std::string& text) {
  const size_t at = pattern.find("%s");
  if (at == std::string_view::npos) return std::string(pattern);
  return std::string(pattern.substr(0, at)) + text + std::string(pattern.substr(at + 2));
}

// The marked text where one is asked for (`marker` set), else the plain
// splice; `withMessage` false gives the output alone (the clipboard).
bool Rebuild(const Delivery& delivery, UniqueGlobal& output, char quote, bool withMessage,
             const std::optional<Marking>& marker) {
  // `output` keeps the block until the rebuild has its new handle, so an
  // exception on the way cannot lose it.
  HGLOBAL handle = output.get();
  const bool done =
      marker        ? MarkResult(delivery, handle, quote, withMessage, *marker)
      : withMessage ? SpliceResult(delivery.context, delivery.state, handle, quote, delivery.resize)
                    : true;
  if (handle != output.get()) {
    output.release();  // moved by the enlargement: the old handle is gone
    output.reset(handle);
  }
  return done;
}

// An editable window gets the output in place of the block. The reason when
// it does not; the window then keeps its text.
Failure DeliverToEditable(const Delivery& delivery, bool quoted, UniqueGlobal& output,
                          const std::optional<Marking>& marker) {
  const bool spliced = Rebuild(delivery, output, quoted ? '>' : '\0', true, marker);
  if (!spliced && quoted) {
    if (ShowMessageBox(delivery.owner, ModuleString(IDS_NO_QUOTE_MARKS), kQuoteQuestion) != IDYES)
      return ModuleString(IDS_NO_QUOTE_MARKS);
    // PGP's output alone, as the user agreed; a marked result keeps its
    // markers, which need only a little more room.
    if (marker && !Rebuild(delivery, output, '\0', false, marker))
      return ModuleString(IDS_NOT_ENOUGH_MEMORY);
  } else if (!spliced) {
    // Without the splice the window would get PGP's output alone and the
    // rest of the message would seem gone; refusing keeps the window as is.
    return ModuleString(IDS_NOT_ENOUGH_MEMORY);
  }
  if (Failure failure = ReplaceSourceText(delivery.context, output.get())) return failure;
  output.release();
  InstallUndoSubclass(delivery.context, delivery.context.sourceWindow);
  return std::nullopt;
}

bool AskForClipboard(const Delivery& delivery) {
  const SettingsRecord& settings = delivery.context.Settings;
  if (settings.CopyToReadOnly < 0) return true;
  if (settings.CopyToReadOnly > 0) return false;
  SetPgpCaption(delivery.state, RecipientsGiven(delivery.state));
  return ShowMessageBox(delivery.owner, ModuleString(IDS_COPY_TO_CLIPBOARD), kClipboardQuestion,
                        delivery.state.PgpCaption) == IDYES;
}

// What is already on the clipboard stays beside the new text: only the
// text format is replaced.
Failure DeliverToClipboard(const Delivery& delivery, UniqueGlobal& output,
                           const std::optional<Marking>& marker) {
  if (!Rebuild(delivery, output, '\0', false, marker)) return ModuleString(IDS_NOT_ENOUGH_MEMORY);
  if (!OpenClipboard(delivery.owner)) return ModuleString(IDS_NO_CLIPBOARD);
  const bool taken = SetClipboardData(CF_TEXT, output.get()) != nullptr;
  CloseClipboard();
  if (!taken) return ModuleString(IDS_COPY_FAILED);
  output.release();
  return std::nullopt;
}

// A read-only view only shows the result; it is not subclassed, and a
// failed plain splice leaves it showing PGP's output alone (the client keeps
// the message itself, and the kept text still comes back with Undo). A
// marked result is never shown without its markers.
Failure DeliverToReadOnly(const Delivery& delivery, UniqueGlobal& output,
                          const std::optional<Marking>& marker) {
  if (AskForClipboard(delivery)) return DeliverToClipboard(delivery, output, marker);
  if (!Rebuild(delivery, output, '\0', true, marker) && marker)
    return ModuleString(IDS_NOT_ENOUGH_MEMORY);
  if (Failure failure = ReplaceSourceText(delivery.context, output.get())) return failure;
  output.release();
  return std::nullopt;
}

// The decoded text holds a public key: it becomes the armoured input of a
// key addition, offered in the confirmation dialog that shows the key's
// start.
void OfferKeyAddition(const Delivery& delivery, std::string keyStart) {
  CommandContext& context = delivery.context;
  delivery.state.function = AddKey;
  WipeFile(context.TempAscName);
  if (!MoveFileA(context.TempBaseName, context.TempAscName)) {
    char pattern[kMessageTextSize];
    LoadModuleString(IDS_RENAME_FAILED, pattern, sizeof pattern);
    char message[kMessageTextSize];
    FillTemplate(message, sizeof message, pattern, {context.TempBaseName, context.TempAscName}, {});
    ShowDeliveryFailure(delivery, message);
    return;
  }
  PgpRequest request{kKeyAddFlags, delivery.owner, 0, context.TempAscName,
                     delivery.state.recipients.c_str()};
  Confirmation confirmation{delivery.state, &request, std::move(keyStart)};
  if (Confirm(delivery.owner, confirmation) != IDOK) return;
  if (Failure failure = RunPgp(context, context.Settings, request, AskPassPhraseInDialog)) {
    ShowDeliveryFailure(delivery, *failure);
    return;
  }
  ShowKeysAdded(delivery.state, request);
}

}  // namespace

HGLOBAL ResizeGlobal(HGLOBAL block, SIZE_T size) { return GlobalReAlloc(block, size, GMEM_MOVEABLE); }

bool SpliceResult(const KeptText& captured, const RunState& state, HGLOBAL& handle, char quote,
                  BlockResizer resize) {
  GlobalLockGuard locked(captured.textHandle);
  const char* text = locked.text();
  const int64_t textLength = text != nullptr ? captured.textLength : 0;
  const KeptParts kept = SpliceKeptParts(state.function, textLength, state.scanOffset,
                                         state.blockStart, state.blockEnd);
  SplicePlan plan;
  {
    GlobalLockGuard output(handle);
    if (output.get() == nullptr) return false;
    plan = PlanSplice(kept.headLength, kept.tailLength, output.text(), quote);
  }
  HGLOBAL larger = resize(handle, plan.BlockSize());
  if (larger == nullptr) return false;
  handle = larger;
  GlobalLockGuard block(handle);
  if (block.get() == nullptr) return false;
  RebuildSplice(block.text(), plan, text, text != nullptr ? text + kept.tailStart : nullptr, quote);
  return !plan.cut;
}

void DeliverPgpResult(CommandContext& context, RunState& state, HWND owner,
                      const char* verdictName, BlockResizer resize) {
  const Delivery delivery{context, state, owner, resize};
  const char* resultFile = ResultFile(state.function, context.TempBaseName, context.TempAscName);
  // Used up by this delivery whatever becomes of it.
  const bool quoted = state.quoted != 0;
  state.quoted = FALSE;
  WaitForOutputFile(resultFile);
  UniqueGlobal output;
  DWORD length = 0;
  const DWORD code = ReadOutput(resultFile, output, length);
  if (code != 0) {
    ShowDeliveryFailure(delivery, FormatFileError(code, resultFile));
    return;
  }
  // A key is looked for in what PGP wrote, before the text is read as mail.
  char keyStart[kMessageTextSize];
  const bool holdsKey =
      state.function == Decode && FindPublicKeyBlock(output.get(), keyStart, kMessageTextSize - 1);
  const WaitCursor busy;
  const std::string prefix = ClientAttachmentPrefix(context);
  const Readable readable = state.function == Decode || state.function == CheckSignature
                                ? MakeReadable(delivery, output, length, prefix)
                                : Readable{};
  std::optional<Marking> marker;
  if (MarksThisResult(delivery)) {
    GlobalLockGuard captured(context.textHandle);
    MarkerNotes notes;
    if (captured.text() != nullptr)
      notes.fromAddress = FromAddressOf(std::string_view(captured.text(), context.textLength));
    notes.unmappable = readable.unmappable;
    notes.unknownCharset = readable.unknownCharset;
    notes.innerSignature = readable.innerSignature;
    notes.incomplete = readable.incomplete;
    // Attachment lines in a decoded text are the sender's, never the
    // client's, unless the module wrote them reading the text as mail.
    marker = Marking{FirstMarkerOfThisRun(state, verdictName, notes),
                     state.function == Decode && !readable.mimeRead ? prefix : std::string()};
  }
  const Failure failure = IsReadOnly(context.sourceWindow)
                              ? DeliverToReadOnly(delivery, output, marker)
                              : DeliverToEditable(delivery, quoted, output, marker);
  output.reset();
  if (failure) {
    ShowDeliveryFailure(delivery, *failure);
    return;
  }
  if (holdsKey) OfferKeyAddition(delivery, keyStart);
}

void ShowKeysAdded(RunState& state, const PgpRequest& request) {
  if (!PgpSucceeded(request.exitCode)) ShowPgpExitCode(state, request);
  const std::optional<VerdictFile> verdict = ReadVerdict(request.verdict.name());
  const bool named = verdict && (!verdict->keysAdded.empty() || !verdict->keysUpdated.empty());
  if (!PgpSucceeded(request.exitCode) && !named) return;
  std::string text;
  if (!verdict) {
    text = ModuleString(IDS_KEYS_ADDED_UNNAMED);
  } else if (!named) {
    text = ModuleString(IDS_NO_KEYS_ADDED);
  } else {
    // However many keys came: the box shows each fingerprint whole.
    text = FillTextTemplate(ModuleString(IDS_KEYS_ADDED), KeysAddedList(*verdict, ModuleMarkerTexts()));
  }
  SetPgpCaption(state, request.userId != nullptr && request.userId[0] != '\0');
  ShowMessageBox(request.owner, text, MB_ICONINFORMATION, state.PgpCaption);
}

void ShowPgpExitCode(RunState& state, const PgpRequest& request) {
  char templateText[kExitCodeTextSize];
  LoadModuleString(IDS_PGP_ERRORCODE, templateText, sizeof templateText);
  char text[kExitCodeTextSize];
  FormatPgpExitCode(templateText, request.exitCode, text);
  ShowCommandFailure(request.owner, state, request.userId != nullptr && request.userId[0] != '\0',
                     text);
}
