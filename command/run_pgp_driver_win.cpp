#include "command/run_pgp_driver_win.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "command/confirm_dialog_win.h"
#include "command/passphrase_dialog_win.h"
#include "command/result_delivery.h"
#include "command/result_delivery_win.h"
#include "command/run_pgp_driver.h"
#include "command/text_capture_win.h"
#include "common/handles_win.h"
#include "common/scope_exit.h"
#include "core/armor_scanner.h"
#include "core/module_win.h"
#include "core/window_procedure_win.h"
#include "runner/temp_files.h"
#include "runner/temp_files_win.h"
#include "settings/settings_file_win.h"

namespace {

// Windows' own code for a name longer than the system takes; the file error
// then names the (cut) path instead of opening some other file.
constexpr DWORD kPathTooLongError = ERROR_FILENAME_EXCED_RANGE;

// One command: what it works with that outlives it, its own state and the
// request it builds for PGP.
struct Command {
  CommandContext& context;
  RunState& state;
  HWND mainWindow;
  PgpRequest& request;
};

// A pass that cannot go on keeps its reason for the end of the command.
int CannotGoOn(std::string& failure, std::string reason) {
  failure = std::move(reason);
  return kCannotGoOn;
}

// The subclass of the previous command must not outlive it: its undo swaps
// texts this command is about to replace.
void ResetCommandState(CommandContext& context, RunState& state) {
  EndUndo(context);
  state.function = NoFunction;
  state.windowKind = NoWindow;
  state.quoted = FALSE;
}

// ---- attachments ------------------------------------------------------

void TakeAttachmentLine(RunState& state, const AttachmentLine& line) {
  state.blockStart = line.blockStart;
  state.blockEnd = line.blockEnd;
  state.quoted = line.quoted;
  std::memcpy(state.attachmentPath, line.path, sizeof state.attachmentPath);
}

// Reads the attached file and keeps it when it begins a PGP block: it is
// then PGP's input as it is, without conversion. The reason after a file
// error. The sender names the file, so only a path on a drive letter is
// opened: a server's name would make the system sign in to the sender's
// server, a device could block the client. What the letter stands for is
// the user's choice, a mapped network drive as much as a disk.
Failure CheckAttachedFile(Command& command) {
  RunState& state = command.state;
  const char* path = state.attachmentPath;
  HGLOBAL read = nullptr;
  DWORD size = 0;
  if (path[0] != '\0' && !IsDriveLetterPath(path)) {
    char pattern[kMessageTextSize];
    LoadModuleString(IDS_ATTACHMENT_NOT_LOCAL, pattern, sizeof pattern);
    char message[kMessageTextSize];
    FillTemplate(message, kMessageTextSize, pattern, {path}, {});
    return message;
  }
  // An empty name is a file that is not there, not a name to hand the system.
  const DWORD code = path[0] == '\0' ? ERROR_FILE_NOT_FOUND : ReadTextFile(&read, path, &size, false);
  if (code != 0) return FormatFileError(code, path);
  UniqueGlobal file(read);
  GlobalLockGuard text(file.get());
  if (text.get() == nullptr) return FormatFileError(ERROR_NOT_ENOUGH_MEMORY, path);
  const std::string_view contents(text.text(), size);
  const size_t begin = contents.find(kBeginPrefix);
  const size_t word = begin + (sizeof kBeginPrefix - 1);
  const ArmorKind kind = begin == std::string_view::npos
                             ? None
                             : ClassifyArmorWord(text.text() + word, size - word);
  if (kind == None) {
    state.attachmentPath[0] = '\0';
    return std::nullopt;
  }
  state.function = FunctionFromArmor(kind);
  const char* input = command.context.TempAscName;
  if (!WriteTextFile(text.text(), size, input, false)) return FormatFileError(GetLastError(), input);
  return std::nullopt;
}

// Looks in `length` characters of `scan` for a converted-attachment line
// whose file holds PGP armour, and writes that file to TempAscName. Leaves
// the attachment path set when one was found. The reason after a file error.
Failure ScanAttachments(Command& command, const char* scan, LONG length) {
  const ClientSettings& settings = command.context;
  RunState& state = command.state;
  AttachmentLine line;
  int32_t from = 0;
  while (FindAttachmentLine(scan, length, settings.AttachmentPrefix, settings.AttachmentPrefixLength,
                            from, line)) {
    TakeAttachmentLine(state, line);
    if (line.pathTooLong) return FormatFileError(kPathTooLongError, state.attachmentPath);
    if (Failure failure = CheckAttachedFile(command)) return failure;
    if (state.attachmentPath[0] != '\0') return std::nullopt;
    from = line.runStart;
  }
  state.attachmentPath[0] = '\0';
  return std::nullopt;
}

// ---- one pass -----------------------------------------------------------

std::string NothingToDo(Command& command) {
  command.state.function = NoFunction;
  FreeCapturedText(command.context);
  return ModuleString(IDS_NOTHING_TO_DO);
}

void FindArmor(RunState& state, const char* scan, LONG length) {
  ArmorBlock block;
  state.function =
      FunctionFromArmor(ScanArmor(scan, static_cast<size_t>(length), state.windowKind, block));
  state.blockStart = block.blockStart;
  state.blockEnd = block.blockEnd;
  state.quoted = block.quoted;
}

// The data PGP gets, possibly a quote-stripped copy that this pass owns.
class PassData {
 public:
  PassData() = default;
  PassData(const PassData&) = delete;
  PassData& operator=(const PassData&) = delete;
  ~PassData() { ReleaseCopy(); }

  // Makes `text` point into a new locked block of `length` + 1 bytes holding
  // a copy of it. Returns the copy, or null (data unchanged) without memory.
  char* Copy() {
    copy_.reset(GlobalAlloc(GMEM_MOVEABLE, static_cast<SIZE_T>(length) + 1));
    char* locked = copy_ ? static_cast<char*>(GlobalLock(copy_.get())) : nullptr;
    if (locked == nullptr) {
      copy_.reset();
      return nullptr;
    }
    std::memcpy(locked, text, length);
    locked[length] = '\0';
    text = locked;
    return locked;
  }

  void ReleaseCopy() {
    if (!copy_) return;
    GlobalUnlock(copy_.get());
    copy_.reset();
    text = nullptr;
    length = 0;
  }

  const char* text = nullptr;
  DWORD length = 0;

 private:
  UniqueGlobal copy_;
};

// A block out of a reply loses one '>' per line, so that PGP sees its
// armour. Without memory for the copy the block goes as it is.
void StripQuotes(PassData& data) {
  if (char* copy = data.Copy()) data.length = static_cast<DWORD>(StripQuoteMarks(copy, '>'));
}

// The start of what PGP gets, as the confirmation dialog shows it: at most
// 255 characters.
std::string Preview(const RunState& state, const PassData& data) {
  if (state.attachmentPath[0] != '\0') {
    char preview[kMessageTextSize];
    const int n = LoadModuleString(IDS_ATTACHED_FILE, preview, kMessageTextSize);
    const size_t room = kMessageTextSize - 1 - static_cast<size_t>(n);
    return std::string(preview, static_cast<size_t>(n)) +
           std::string(state.attachmentPath, strnlen(state.attachmentPath, room));
  }
  const size_t kept = std::min<size_t>(data.length, kMessageTextSize - 1);
  return std::string(data.text, strnlen(data.text, kept));
}

// The text of a string-table template filled with one name, whole however
// long it is.
std::string FilledMessage(UINT id, const char* name) {
  return FillTemplate(ModuleString(id).c_str(), {name}, {});
}

// A string-table template filled with recipients, every one named whole as
// far as a message box can show them.
std::string NamingRecipients(UINT id, const std::vector<std::string>& names,
                             const char* separator) {
  return NameRecipients(ModuleString(id).c_str(), names, separator,
                        ModuleString(IDS_RECIPIENTS_NOT_NAMED).c_str());
}

// PGP splits its command line at blanks and reads every word that starts
// with '-' or '+' as an option, so such a recipient would change what PGP
// does with the message. It is refused with its name before PGP runs.
Failure RefuseOptionLikeRecipient(const std::string& recipients) {
  UserIdSpan span;
  if (!FindOptionLikeUserId(recipients.c_str(), span)) return std::nullopt;
  const std::string userId = recipients.substr(static_cast<size_t>(span.start),
                                               static_cast<size_t>(span.length));
  return FilledMessage(IDS_RECIPIENT_IS_OPTION, userId.c_str());
}

// An encryption that would leave recipients out is not made: the message
// would go to fewer people than the user named.
Failure RefuseLeftOutRecipients(const LeftOutRecipients& leftOut) {
  if (leftOut.text.empty()) return std::nullopt;
  constexpr std::string_view kSeparator = ", ";
  std::vector<std::string> names;
  for (size_t start = 0; start <= leftOut.text.size();) {
    const size_t end = std::min(leftOut.text.find(kSeparator, start), leftOut.text.size());
    names.push_back(leftOut.text.substr(start, end - start));
    start = end + kSeparator.size();
  }
  return NamingRecipients(IDS_RECIPIENTS_LEFT_OUT, names, kSeparator.data());
}

// Only Windows' limit on a command line bounds the recipients; beyond it
// the encryption is refused, naming every recipient, never started with
// some of them dropped.
Failure RefuseRecipientsTooLong(const PgpSetup& setup, const PgpRequest& request) {
  if (PgpCommandLineFits(setup.PgpPath, request.flags, request.fileName, request.userId))
    return std::nullopt;
  return NamingRecipients(IDS_RECIPIENTS_TOO_LONG, SplitUserIds(request.userId), " ");
}

void SetRequest(Command& command) {
  const CommandContext& context = command.context;
  const PgpRequestChoice choice =
      RequestForFunction(command.state.function, context.Settings.AlwaysSign != 0);
  command.request.flags = choice.flags;
  command.request.fileName =
      choice.file == PgpFileChoice::TempBaseName ? context.TempBaseName : context.TempAscName;
}

Failure WriteInput(Command& command, const PassData& data) {
  if (command.state.attachmentPath[0] != '\0') return std::nullopt;  // written by ScanAttachments
  const char* input = command.request.fileName;
  if (WriteTextFile(data.text, data.length, input, command.context.Settings.AnsiOem != 0))
    return std::nullopt;
  return FormatFileError(GetLastError(), input);
}

int ConfirmPass(Command& command, std::string preview, std::string& failure) {
  PgpRequest& request = command.request;
  RunState& state = command.state;
  Confirmation confirmation{state, &request, std::move(preview)};
  const INT_PTR answer = Confirm(request.owner, confirmation);
  if (answer == -1) return CannotGoOn(failure, FormatFileError(GetLastError(), nullptr));
  request.flags = FlagsAfterDialog(request.flags, state.recipients.c_str());
  // The user may have typed the recipients in the dialog.
  if (answer == kAnswerOk && (request.flags & PGPREQ_USERID) != 0) {
    if (Failure refused = RefuseOptionLikeRecipient(state.recipients))
      return CannotGoOn(failure, std::move(*refused));
  }
  return static_cast<int>(answer);
}

// One pass over the captured `text` from `offset`, of which `remaining`
// characters are left: finds the attachment or block, writes PGP's input,
// fills the request and shows the confirmation dialog. Returns the dialog's
// answer (kAnswerOk, kAnswerCancel, kAnswerSkip) or kCannotGoOn with the
// reason in `failure`. `offset` moves past the block found, so a Skip goes
// on after it.
int ChooseFunction(Command& command, const char* text, LONG remaining, LONG& offset,
                   std::string& failure) {
  CommandContext& context = command.context;
  RunState& state = command.state;
  state.scanOffset = offset;
  const char* scan = text + offset;
  if (context.Settings.ConvertAttach != 0) {
    if (Failure attachment = ScanAttachments(command, scan, remaining))
      return CannotGoOn(failure, std::move(*attachment));
  }
  const bool attachment = state.attachmentPath[0] != '\0';
  if (!attachment) FindArmor(state, scan, remaining);

  PassData data;
  if (state.function == Encrypt) {
    // Only a message being written, on the first pass, is encrypted whole.
    if (state.windowKind == MessageWindow || offset > 0 || IsReadOnly(context.sourceWindow))
      return CannotGoOn(failure, NothingToDo(command));
    data.text = scan;
    data.length = static_cast<DWORD>(remaining);
    state.quoted = FALSE;
  } else {
    offset += state.blockEnd;
    data.text = scan + state.blockStart;
    data.length = static_cast<DWORD>(state.blockEnd - state.blockStart);
  }
  if (state.quoted && !attachment) StripQuotes(data);
  std::string preview = Preview(state, data);

  SetRequest(command);
  if (state.function == Encrypt) {
    AppendEncryptFor(state.recipients, context.Settings.EncryptFor);
    Failure refused = RefuseLeftOutRecipients(state.recipientsLeftOut);
    if (!refused) refused = RefuseOptionLikeRecipient(state.recipients);
    if (refused) return CannotGoOn(failure, std::move(*refused));
  }
  // A key block on its own lines goes with the whole message around it, as
  // PGP finds keys anywhere in a file; a quoted one only as the stripped
  // block, because the '>' signs would hide the keys from PGP.
  if (state.function == AddKey && !state.quoted) {
    data.text = text;
    data.length = static_cast<DWORD>(context.textLength);
  }
  Failure unwritten = WriteInput(command, data);
  data.ReleaseCopy();
  if (unwritten) return CannotGoOn(failure, std::move(*unwritten));
  return ConfirmPass(command, std::move(preview), failure);
}

// ---- the command ----------------------------------------------------------

Failure RunAndDeliver(Command& command, BlockResizer resize) {
  CommandContext& context = command.context;
  RunState& state = command.state;
  PgpRequest& request = command.request;
  // The recipients as they stand after the dialog; they do not change while
  // PGP runs and its result is delivered.
  request.userId = state.recipients.c_str();
  if (Failure refused = RefuseRecipientsTooLong(context, request)) return refused;
  // A file left at the output name would pass for PGP's result when PGP
  // ends without writing one.
  WipeFile(ResultFile(state.function, context.TempBaseName, context.TempAscName));
  if (Failure failure = RunPgp(context, context.Settings, request, AskPassPhraseInDialog))
    return failure;
  if (state.function == AddKey)
    ShowKeysAdded(state, request);  // every key PGP added is named, a hidden one too
  else if (!PgpSucceeded(request.exitCode))
    ShowPgpExitCode(state, request);
  else
    DeliverPgpResult(context, state, request.owner, request.verdict.name(), resize);
  return std::nullopt;
}

Failure CarryOut(Command& command, HWND focus, BlockResizer resize) {
  if (Failure failure = CaptureMessageText(command.context, command.state, focus)) return failure;
  const char* text = CapturedText(command.context);
  if (text == nullptr) return ModuleString(IDS_NOT_ENOUGH_MEMORY);
  LONG offset = 0;
  int answer;
  std::string failure;
  do {
    command.state.attachmentPath[0] = '\0';
    answer = ChooseFunction(command, text, command.context.textLength - offset, offset, failure);
  } while (answer == kAnswerSkip);
  if (answer < 0) return failure;
  if (answer != kAnswerOk) return std::nullopt;
  return RunAndDeliver(command, resize);
}

// What a command that failed by an exception says: no memory is the one
// the module's own code throws.
std::string ExplainException() {
  try {
    throw;
  } catch (const std::bad_alloc&) {
    return ModuleString(IDS_NOT_ENOUGH_MEMORY);
  } catch (...) {
    return FormatFileError(ERROR_INTERNAL_ERROR, nullptr);
  }
}

}  // namespace

void RunPgpCommand(CommandContext& context, HWND mainWindow, BlockResizer resize) {
  RunState state;
  RunPgpCommand(context, state, mainWindow, resize);
}

void RunPgpCommand(CommandContext& context, RunState& state, HWND mainWindow, BlockResizer resize) {
  if (context.RunInProgress != 0) return;
  ++context.RunInProgress;
  HWND focus = GetFocus();
  Failure failure;
  {
    PgpRequest request{0, mainWindow, 0, nullptr, ""};
    Command command{context, state, mainWindow, request};
    // Every way out of the command, an exception included, leaves no
    // temporary file behind and offers "Run PGP" again.
    const ScopeExit cleanUp([focus, &context, &request] {
      WipeFile(context.TempBaseName);
      WipeFile(context.TempAscName);
      request.verdict.Wipe();
      UnlockCapturedText(context);
      if (focus != nullptr && IsWindow(focus)) SetFocus(focus);
    });
    try {
      ResetCommandState(context, state);
      failure = CarryOut(command, focus, resize);
    } catch (...) {
      failure = ExplainException();
    }
  }
  if (failure) ShowCommandFailure(mainWindow, state, RecipientsGiven(state), *failure);
  --context.RunInProgress;
}
