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
#include "command/result_delivery.h"
#include "command/result_delivery_win.h"
#include "command/run_pgp_driver.h"
#include "command/text_capture_win.h"
#include "common/handles_win.h"
#include "common/scope_exit.h"
#include "core/armor_scanner.h"
#include "core/command_state_win.h"
#include "core/module_win.h"
#include "core/window_procedure_win.h"
#include "runner/temp_files.h"
#include "runner/temp_files_win.h"
#include "settings/settings_file_win.h"

namespace {

// Windows' own code for a name longer than the system takes; the file error
// then names the (cut) path instead of opening some other file.
constexpr DWORD kPathTooLongError = ERROR_FILENAME_EXCED_RANGE;

void LoadMessageText(UINT id) { LoadModuleString(id, MessageText, kMessageTextSize); }

// What a command that failed shows, in one box at its end; nothing for a
// command that ended as the user asked.
using CommandFailure = std::optional<std::string>;

// A pass that cannot go on keeps its reason for the end of the command.
int CannotGoOn(std::string& failure, std::string reason) {
  failure = std::move(reason);
  return kCannotGoOn;
}

// The subclass of the previous command must not outlive it: its undo swaps
// texts this command is about to replace.
void ResetCommandState() {
  runState.UndoArmed = FALSE;
  runState.function = NoFunction;
  runState.windowKind = NoWindow;
  HWND previous = runState.sourceWindow;
  if (previous != nullptr &&
      WindowProcIs(previous, SourceWindowSubclassProc)) {
    ReplaceWindowProc(previous, runState.sourceWindowProc);
  }
  runState.sourceWindow = nullptr;
}

// ---- attachments ------------------------------------------------------

void ClearAttachmentPath() { runState.attachmentPath[0] = '\0'; }

void TakeAttachmentLine(const AttachmentLine& line) {
  runState.blockStart = line.blockStart;
  runState.blockEnd = line.blockEnd;
  runState.quoted = line.quoted;
  std::memcpy(runState.attachmentPath, line.path, sizeof runState.attachmentPath);
}

// Reads the attached file and keeps it when it begins a PGP block: it is
// then PGP's input as it is, without conversion. False after a file error.
// The sender names the file, so only a path on a drive letter is opened: a
// server's name would make the system sign in to the sender's server, a
// device could block the client. What the letter stands for is the user's
// choice, a mapped network drive as much as a disk.
bool CheckAttachedFile() {
  const char* path = runState.attachmentPath;
  HGLOBAL read = nullptr;
  DWORD size = 0;
  if (path[0] != '\0' && !IsDriveLetterPath(path)) {
    char pattern[kMessageTextSize];
    LoadModuleString(IDS_ATTACHMENT_NOT_LOCAL, pattern, sizeof pattern);
    FillTemplate(MessageText, kMessageTextSize, pattern, {path}, {});
    return false;
  }
  // An empty name is a file that is not there, not a name to hand the system.
  const DWORD code = path[0] == '\0' ? ERROR_FILE_NOT_FOUND : ReadTextFile(&read, path, &size, false);
  if (code != 0) {
    FormatFileError(code, MessageText, path);
    return false;
  }
  UniqueGlobal file(read);
  GlobalLockGuard text(file.get());
  if (text.get() == nullptr) {
    FormatFileError(ERROR_NOT_ENOUGH_MEMORY, MessageText, path);
    return false;
  }
  const std::string_view contents(text.text(), size);
  const size_t begin = contents.find(kBeginPrefix);
  const size_t word = begin + (sizeof kBeginPrefix - 1);
  const ArmorKind kind = begin == std::string_view::npos
                             ? None
                             : ClassifyArmorWord(text.text() + word, size - word);
  if (kind == None) {
    ClearAttachmentPath();
    return true;
  }
  runState.function = FunctionFromArmor(kind);
  if (!WriteTextFile(text.text(), size, TempAscName, false)) {
    FormatFileError(GetLastError(), MessageText, TempAscName);
    return false;
  }
  return true;
}

// ---- one pass -----------------------------------------------------------

std::string NothingToDo() {
  runState.function = NoFunction;
  LoadMessageText(IDS_NOTHING_TO_DO);
  FreeCapturedText();
  return MessageText;
}

void FindArmor(const char* scan, LONG length) {
  ArmorBlock block;
  runState.function =
      FunctionFromArmor(ScanArmor(scan, static_cast<size_t>(length), runState.windowKind, block));
  runState.blockStart = block.blockStart;
  runState.blockEnd = block.blockEnd;
  runState.quoted = block.quoted;
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

void SetPreview(const PassData& data) {
  if (runState.attachmentPath[0] != '\0') {
    const int n = LoadModuleString(IDS_ATTACHED_FILE, MessageText, kMessageTextSize);
    const size_t room = kMessageTextSize - 1 - static_cast<size_t>(n);
    const size_t kept = strnlen(runState.attachmentPath, room);
    std::memcpy(MessageText + n, runState.attachmentPath, kept);
    MessageText[n + kept] = '\0';
    return;
  }
  const size_t kept = std::min<size_t>(data.length, kMessageTextSize - 1);
  std::memcpy(MessageText, data.text, kept);
  MessageText[kept] = '\0';
}

// The text of a string-table template filled with one name, whole however
// long it is.
std::string FilledMessage(UINT id, const char* name) {
  char pattern[kMessageTextSize];
  LoadModuleString(id, pattern, sizeof pattern);
  return FillTemplate(pattern, {name}, {});
}

// A string-table template filled with recipients, every one named whole as
// far as a message box can show them.
std::string NamingRecipients(UINT id, const std::vector<std::string>& names,
                             const char* separator) {
  char pattern[kMessageTextSize];
  char more[kMessageTextSize];
  LoadModuleString(id, pattern, sizeof pattern);
  LoadModuleString(IDS_RECIPIENTS_NOT_NAMED, more, sizeof more);
  return NameRecipients(pattern, names, separator, more);
}

// PGP splits its command line at blanks and reads every word that starts
// with '-' or '+' as an option, so such a recipient would change what PGP
// does with the message. It is refused with its name before PGP runs.
CommandFailure RefuseOptionLikeRecipient(const std::string& recipients) {
  UserIdSpan span;
  if (!FindOptionLikeUserId(recipients.c_str(), span)) return std::nullopt;
  const std::string userId = recipients.substr(static_cast<size_t>(span.start),
                                               static_cast<size_t>(span.length));
  return FilledMessage(IDS_RECIPIENT_IS_OPTION, userId.c_str());
}

// An encryption that would leave recipients out is not made: the message
// would go to fewer people than the user named.
CommandFailure RefuseLeftOutRecipients(const LeftOutRecipients& leftOut) {
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
CommandFailure RefuseRecipientsTooLong(const PgpRequest& request) {
  if (PgpCommandLineFits(PgpPath, request.flags, request.fileName, request.userId))
    return std::nullopt;
  return NamingRecipients(IDS_RECIPIENTS_TOO_LONG, SplitUserIds(request.userId), " ");
}

void SetRequest(PgpRequest& request) {
  const PgpRequestChoice choice = RequestForFunction(runState.function, Settings.AlwaysSign != 0);
  request.flags = choice.flags;
  request.fileName = choice.file == PgpFileChoice::TempBaseName ? TempBaseName : TempAscName;
}

bool WriteInput(const PassData& data, const PgpRequest& request) {
  if (runState.attachmentPath[0] != '\0') return true;  // written by ScanAttachments
  if (WriteTextFile(data.text, data.length, request.fileName, Settings.AnsiOem != 0)) return true;
  FormatFileError(GetLastError(), MessageText, request.fileName);
  return false;
}

int Confirm(PgpRequest& request, std::string& failure) {
  const INT_PTR answer = DialogBoxParamA(moduleInstance, MAKEINTRESOURCEA(IDD_CONFIRM),
                                         request.owner, ConfirmDialogProc, reinterpret_cast<LPARAM>(&request));
  if (answer == -1) {
    FormatFileError(GetLastError(), MessageText, nullptr);
    return CannotGoOn(failure, MessageText);
  }
  request.flags = FlagsAfterDialog(request.flags, runState.recipients.c_str());
  // The user may have typed the recipients in the dialog.
  if (answer == kAnswerOk && (request.flags & PGPREQ_USERID) != 0) {
    if (CommandFailure refused = RefuseOptionLikeRecipient(runState.recipients))
      return CannotGoOn(failure, std::move(*refused));
  }
  return static_cast<int>(answer);
}

// ---- the command ----------------------------------------------------------

CommandFailure RunAndDeliver(PgpRequest& request, BlockResizer resize) {
  // The recipients as they stand after the dialog; they do not change while
  // PGP runs and its result is delivered.
  request.userId = runState.recipients.c_str();
  if (CommandFailure refused = RefuseRecipientsTooLong(request)) return refused;
  // A file left at the output name would pass for PGP's result when PGP
  // ends without writing one.
  WipeFile(ResultFile(runState.function, TempBaseName, TempAscName));
  if (!RunPgp(request)) return std::string(MessageText);
  if (runState.function == AddKey)
    ShowKeysAdded(request);  // every key PGP added is named, a hidden one too
  else if (!PgpSucceeded(request.exitCode))
    ShowPgpExitCode(request);
  else
    DeliverPgpResult(request.owner, request.verdict.name(), resize);
  return std::nullopt;
}

CommandFailure CarryOut(HWND focus, PgpRequest& request, BlockResizer resize) {
  if (CaptureMessageText(focus) == nullptr) return std::string(MessageText);
  const char* text = CapturedText();
  if (text == nullptr) {
    LoadMessageText(IDS_NOT_ENOUGH_MEMORY);
    return std::string(MessageText);
  }
  LONG offset = 0;
  int answer;
  std::string failure;
  do {
    ClearAttachmentPath();
    answer = ChooseFunction(text, runState.textLength - offset, offset, request, failure);
  } while (answer == kAnswerSkip);
  if (answer < 0) return failure;
  if (answer != kAnswerOk) return std::nullopt;
  return RunAndDeliver(request, resize);
}

// What a command that failed by an exception says: no memory is the one
// the module's own code throws.
std::string ExplainException() {
  try {
    throw;
  } catch (const std::bad_alloc&) {
    LoadMessageText(IDS_NOT_ENOUGH_MEMORY);
  } catch (...) {
    FormatFileError(ERROR_INTERNAL_ERROR, MessageText, nullptr);
  }
  return MessageText;
}

void ShowCommandFailure(HWND mainWindow, const std::string& failure) {
  SetPgpCaption(RecipientsGiven());
  MessageBeep(MB_ICONEXCLAMATION);
  MessageBoxA(mainWindow, failure.c_str(), PgpCaption, MB_OK | MB_ICONEXCLAMATION);
}

}  // namespace

bool ScanAttachments(const char* scan, LONG length) {
  AttachmentLine line;
  int32_t from = 0;
  while (FindAttachmentLine(scan, length, AttachmentPrefix, AttachmentPrefixLength, from, line)) {
    TakeAttachmentLine(line);
    if (line.pathTooLong) {
      FormatFileError(kPathTooLongError, MessageText, runState.attachmentPath);
      return false;
    }
    if (!CheckAttachedFile()) return false;
    if (runState.attachmentPath[0] != '\0') return true;
    from = line.runStart;
  }
  ClearAttachmentPath();
  return true;
}

int ChooseFunction(const char* text, LONG remaining, LONG& offset, PgpRequest& request,
                   std::string& failure) {
  runState.scanOffset = offset;
  const char* scan = text + offset;
  if (Settings.ConvertAttach != 0 && !ScanAttachments(scan, remaining))
    return CannotGoOn(failure, MessageText);
  const bool attachment = runState.attachmentPath[0] != '\0';
  if (!attachment) FindArmor(scan, remaining);

  PassData data;
  if (runState.function == Encrypt) {
    // Only a message being written, on the first pass, is encrypted whole.
    if (runState.windowKind == MessageWindow || offset > 0 || IsReadOnly(runState.sourceWindow))
      return CannotGoOn(failure, NothingToDo());
    data.text = scan;
    data.length = static_cast<DWORD>(remaining);
    runState.quoted = FALSE;
  } else {
    offset += runState.blockEnd;
    data.text = scan + runState.blockStart;
    data.length = static_cast<DWORD>(runState.blockEnd - runState.blockStart);
  }
  if (runState.quoted && !attachment) StripQuotes(data);
  SetPreview(data);

  SetRequest(request);
  if (runState.function == Encrypt) {
    AppendEncryptFor(runState.recipients, Settings.EncryptFor);
    CommandFailure refused = RefuseLeftOutRecipients(runState.recipientsLeftOut);
    if (!refused) refused = RefuseOptionLikeRecipient(runState.recipients);
    if (refused) return CannotGoOn(failure, std::move(*refused));
  }
  // A key block on its own lines goes with the whole message around it, as
  // PGP finds keys anywhere in a file; a quoted one only as the stripped
  // block, because the '>' signs would hide the keys from PGP.
  if (runState.function == AddKey && !runState.quoted) {
    data.text = text;
    data.length = static_cast<DWORD>(runState.textLength);
  }
  const bool written = WriteInput(data, request);
  data.ReleaseCopy();
  if (!written) return CannotGoOn(failure, MessageText);
  return Confirm(request, failure);
}

void RunPgpCommand(HWND mainWindow, BlockResizer resize) {
  if (runState.RunInProgress != 0) return;
  ++runState.RunInProgress;
  HWND focus = GetFocus();
  CommandFailure failure;
  {
    PgpRequest request{0, mainWindow, 0, nullptr, ""};
    // Every way out of the command, an exception included, leaves no
    // temporary file behind and offers "Run PGP" again.
    const ScopeExit cleanUp([focus, &request] {
      WipeFile(TempBaseName);
      WipeFile(TempAscName);
      request.verdict.Wipe();
      UnlockCapturedText();
      if (focus != nullptr && IsWindow(focus)) SetFocus(focus);
    });
    try {
      ResetCommandState();
      runState.quoted = FALSE;
      failure = CarryOut(focus, request, resize);
    } catch (...) {
      failure = ExplainException();
    }
  }
  if (failure) ShowCommandFailure(mainWindow, *failure);
  --runState.RunInProgress;
}
