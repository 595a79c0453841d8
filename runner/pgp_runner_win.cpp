#include "runner/pgp_runner_win.h"

#include <cstring>

#include "common/handles_win.h"
#include "core/command_state_win.h"
#include "core/module_win.h"
#include "resources/resource_ids.h"
#include "runner/temp_files_win.h"
#include "settings/settings_file_win.h"

char PgpPath[kPgpPathSize];
char PassPhrase[kPassPhraseSize];
PROCESS_INFORMATION PgpProcessInfo;

namespace {

constexpr char kPassVariable[] = "PGPPASS";
constexpr size_t kPassVariableLength = sizeof kPassVariable - 1;
constexpr WORD kClosingLineAttribute =
    FOREGROUND_RED | BACKGROUND_RED | BACKGROUND_GREEN | BACKGROUND_INTENSITY;  // 0xE4

// The pass phrase lives here, not in the client's environment: every program
// the client starts would inherit it from there, and any code in the client
// could read it. Only PGP gets it, in a block made for its start.
class KeptPassPhrase {
 public:
  KeptPassPhrase() = default;
  ~KeptPassPhrase() { Clear(); }
  KeptPassPhrase(const KeptPassPhrase&) = delete;
  KeptPassPhrase& operator=(const KeptPassPhrase&) = delete;

  bool present() const { return value_[0] != '\0'; }
  const char* value() const { return value_; }

  template <size_t N>
  void Keep(const char (&text)[N]) {
    static_assert(N <= sizeof value_, "a kept value is never cut");
    Clear();
    std::memcpy(value_, text, strnlen(text, N - 1));
  }
  void Clear() { SecureZeroMemory(value_, sizeof value_); }

 private:
  // Large enough for a value taken over from the environment, which may be
  // longer than anything the dialog accepts.
  char value_[kEnvironmentValueSize] = {};
};

KeptPassPhrase keptPassPhrase;

// ----- PGP's environment block -----

unsigned char UpperAscii(char c) {
  const auto u = static_cast<unsigned char>(c);
  return u >= 'a' && u <= 'z' ? static_cast<unsigned char>(u - 'a' + 'A') : u;
}

// The name ends at the first '=' after the first character: the entries
// that hold the current directory of each drive ("=C:=C:\...") start with one.
size_t NameLength(const char* entry) {
  const char* equals = entry[0] != '\0' ? std::strchr(entry + 1, '=') : nullptr;
  return equals ? static_cast<size_t>(equals - entry) : std::strlen(entry);
}

// Windows orders the block by name, comparing upper case, a shorter name
// before any longer one it begins.
int CompareNames(const char* a, size_t aLength, const char* b, size_t bLength) {
  const size_t common = aLength < bLength ? aLength : bLength;
  for (size_t i = 0; i < common; ++i) {
    const unsigned char ca = UpperAscii(a[i]);
    const unsigned char cb = UpperAscii(b[i]);
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  return aLength < bLength ? -1 : aLength > bLength ? 1 : 0;
}

bool IsPassEntry(const char* entry) {
  return CompareNames(entry, NameLength(entry), kPassVariable, kPassVariableLength) == 0;
}

// Inserts head+tail as one entry behind the last entry whose name does not
// sort after it, so equal names keep their order. The block is built in
// place, so the pass phrase never sits in a second buffer.
void InsertEntry(char* block, size_t& used, const char* head, size_t headLength,
                 const char* tail, size_t tailLength) {
  const size_t nameLength = NameLength(head);
  size_t at = 0;
  while (at < used) {
    const char* entry = block + at;
    if (CompareNames(entry, NameLength(entry), head, nameLength) > 0) break;
    at += std::strlen(entry) + 1;
  }
  const size_t length = headLength + tailLength + 1;
  std::memmove(block + at + length, block + at, used - at);
  std::memcpy(block + at, head, headLength);
  std::memcpy(block + at + headLength, tail, tailLength);
  block[at + length - 1] = '\0';
  used += length;
}

// Owns the client's environment strings for one read.
struct EnvironmentStringsTraits {
  using Value = char*;
  static Value Empty() { return nullptr; }
  static bool IsValid(Value v) { return v != nullptr; }
  static void Release(Value v) { FreeEnvironmentStringsA(v); }
};
using UniqueEnvironmentStrings = UniqueResource<EnvironmentStringsTraits>;

// A heap block that holds a secret: wiped before it is released.
class SecretBlock {
 public:
  explicit SecretBlock(size_t size)
      : size_(size), data_(static_cast<char*>(HeapAlloc(GetProcessHeap(), 0, size))) {}
  ~SecretBlock() {
    if (data_ == nullptr) return;
    SecureZeroMemory(data_, size_);
    HeapFree(GetProcessHeap(), 0, data_);
  }
  SecretBlock(const SecretBlock&) = delete;
  SecretBlock& operator=(const SecretBlock&) = delete;

  char* data() const { return data_; }
  size_t size() const { return size_; }

 private:
  size_t size_;
  char* data_;
};

// ----- the console of the module's own -----

// Ctrl+C and Ctrl+Break reach every process of a console: PGP may end on
// them, the mail client must not. Closing the window, logging off and
// shutting down are the client's own business, not its borrowed console's.
BOOL WINAPI KeepClientAlive(DWORD) { return TRUE; }

// The console exists for the time of one run and belongs to the client
// process, so closing its window would take the client down with it: the
// window loses its close command, and control events are ignored.
class OwnConsole {
 public:
  explicit OwnConsole(bool wanted) : active_(wanted) {
    if (!active_) return;
    FreeConsole();
    if (!AllocConsole()) return;
    handlerInstalled_ = SetConsoleCtrlHandler(KeepClientAlive, TRUE) != FALSE;
    if (HWND window = GetConsoleWindow()) {
      if (HMENU menu = GetSystemMenu(window, FALSE)) DeleteMenu(menu, SC_CLOSE, MF_BYCOMMAND);
    }
  }
  ~OwnConsole() { Release(); }
  OwnConsole(const OwnConsole&) = delete;
  OwnConsole& operator=(const OwnConsole&) = delete;

  bool active() const { return active_; }

  void Release() {
    if (!active_) return;
    active_ = false;
    FreeConsole();
    if (handlerInstalled_) SetConsoleCtrlHandler(KeepClientAlive, FALSE);
    handlerInstalled_ = false;
  }

 private:
  bool active_;
  bool handlerInstalled_ = false;
};

// ----- the steps of a run -----

// Takes a PGPPASS the user set before the client started as the kept value,
// else asks. A cancelled or empty dialog keeps nothing: PGP then asks in its
// console itself.
void ObtainPassPhrase(HWND owner) {
  char value[kEnvironmentValueSize];
  const bool inEnvironment = ReadEnvironmentValue(kPassVariable, value) != 0;
  if (inEnvironment) keptPassPhrase.Keep(value);
  SecureZeroMemory(value, sizeof value);
  if (inEnvironment) return;

  SecureZeroMemory(PassPhrase, sizeof PassPhrase);
  const INT_PTR answer =
      DialogBoxParamA(moduleInstance, MAKEINTRESOURCEA(IDD_PASSPHRASE), owner, PassPhraseDialogProc, 0);
  if (answer == IDOK && PassPhrase[0] != '\0') keptPassPhrase.Keep(PassPhrase);
  SecureZeroMemory(PassPhrase, sizeof PassPhrase);
}

// Starts PGP with MessageText as its command line. While a pass phrase is
// kept, PGP gets the client's current environment plus PGPPASS in a block
// that is wiped right after the start; when that block cannot be made PGP
// does not start, since it would run without the rest of the environment.
// Returns 0 or the error code.
DWORD StartPgp(STARTUPINFOA& startup) {
  if (!keptPassPhrase.present()) {
    if (CreateProcessA(nullptr, MessageText, nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS,
                       nullptr, nullptr, &startup, &PgpProcessInfo))
      return 0;
    return GetLastError();
  }
  UniqueEnvironmentStrings current(GetEnvironmentStringsA());
  if (!current) return ERROR_NOT_ENOUGH_MEMORY;
  const size_t size = ComposePgpEnvironment(current.get(), keptPassPhrase.value(), nullptr, 0);
  SecretBlock block(size);
  if (block.data() == nullptr) return ERROR_NOT_ENOUGH_MEMORY;
  ComposePgpEnvironment(current.get(), keptPassPhrase.value(), block.data(), block.size());
  if (CreateProcessA(nullptr, MessageText, nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS,
                     block.data(), nullptr, &startup, &PgpProcessInfo))
    return 0;
  return GetLastError();
}

// Waits for PGP and fills exitCode; closes both handles on every path.
DWORD AwaitPgp(PgpRequest& request) {
  UniqueHandle process(PgpProcessInfo.hProcess);
  UniqueHandle thread(PgpProcessInfo.hThread);
  PgpProcessInfo.hProcess = nullptr;
  PgpProcessInfo.hThread = nullptr;
  request.exitCode = 0;
  thread.reset();

  if (WaitForSingleObject(process.get(), INFINITE) == WAIT_FAILED) return GetLastError();
  DWORD exitCode = 0;
  if (!GetExitCodeProcess(process.get(), &exitCode)) return GetLastError();
  request.exitCode = exitCode;
  return 0;
}

// Emptying the edit control alone could leave the characters in the memory
// it gives back; a text of the same length first writes over them.
void ClearPassPhraseControl(HWND dialog) {
  char filler[kPassPhraseSize];
  const int length = GetWindowTextLengthA(GetDlgItem(dialog, IDC_PASSPHRASE));
  const int n = length < kPassPhraseSize - 1 ? length : kPassPhraseSize - 1;
  std::memset(filler, '*', n);
  filler[n] = '\0';
  SetDlgItemTextA(dialog, IDC_PASSPHRASE, filler);
  SetDlgItemTextA(dialog, IDC_PASSPHRASE, "");
}

void ForgetPassPhrase() {
  keptPassPhrase.Clear();
  SetEnvironmentVariableA(kPassVariable, nullptr);
}

}  // namespace

size_t ComposePgpEnvironment(const char* current, const char* passPhrase, char* block,
                             size_t size) {
  const size_t passLength = std::strlen(passPhrase);
  // "PGPPASS=" + value + terminator, and the block's final terminator.
  size_t needed = kPassVariableLength + 1 + passLength + 1 + 1;
  for (const char* entry = current; entry != nullptr && *entry != '\0';
       entry += std::strlen(entry) + 1)
    if (!IsPassEntry(entry)) needed += std::strlen(entry) + 1;
  if (block == nullptr || size < needed) return needed;

  size_t used = 0;
  for (const char* entry = current; entry != nullptr && *entry != '\0';
       entry += std::strlen(entry) + 1)
    if (!IsPassEntry(entry)) InsertEntry(block, used, entry, std::strlen(entry), "", 0);
  InsertEntry(block, used, "PGPPASS=", kPassVariableLength + 1, passPhrase, passLength);
  block[used++] = '\0';
  return used;
}

bool PassPhraseKept() { return keptPassPhrase.present(); }

void ClearKeptPassPhrase() { keptPassPhrase.Clear(); }

bool RunPgp(PgpRequest& request) {
  if (AsksPassPhrase(Settings.KeepPassword, request.flags) && !keptPassPhrase.present())
    ObtainPassPhrase(request.owner);

  char options[kOptionTextSize];
  BuildPgpOptions(request.flags, request.fileName, request.userId, options);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  static_assert(sizeof(void*) != 4 || sizeof(STARTUPINFOA) == 68, "the 32-bit record");

  DWORD error = 0;
  {
    // A command line that had to be cut would point PGP at the wrong file.
    const bool composed = ComposePgpCommandLine(PgpPath, options, MessageText);
    OwnConsole console(composed && UsesOwnConsole(Settings.KeepOpen));
    error = composed ? StartPgp(startup) : ERROR_FILENAME_EXCED_RANGE;
    const bool started = error == 0;
    if (started) {
      if (console.active()) SetConsoleTitleA(MessageText);
      error = AwaitPgp(request);
      if (console.active() &&
          ConsoleWaitsForUser(Settings.KeepOpen, request.exitCode, request.flags))
        WaitForConsoleKey();
    }
  }
  SetForegroundWindow(request.owner);

  if (error != 0) {
    FormatFileError(error, MessageText, PgpPath);
    return false;
  }
  if (ForgetsPassPhrase(Settings.KeepPassword, request.exitCode)) ForgetPassPhrase();
  return true;
}

void ShowPgpExitCode(const PgpRequest& request) {
  char templateText[kExitCodeTextSize];
  LoadModuleString(IDS_PGP_ERRORCODE, templateText, sizeof templateText);
  char text[kExitCodeTextSize];
  FormatPgpExitCode(templateText, request.exitCode, text);
  MessageBeep(MB_ICONEXCLAMATION);
  SetPgpCaption(request.userId != nullptr && request.userId[0] != '\0');
  MessageBoxA(request.owner, text, PgpCaption, MB_ICONEXCLAMATION);
}

void WaitForConsoleKey() {
  // The console's own input and screen, whatever the process's standard
  // handles were redirected to when it started.
  UniqueHandle input(CreateFileA("CONIN$", GENERIC_READ | GENERIC_WRITE,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                 nullptr));
  if (!input) return;
  UniqueHandle output(CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                  nullptr));
  const int n = LoadModuleString(IDS_PRESS_ANY_KEY, MessageText, sizeof MessageText);

  CONSOLE_SCREEN_BUFFER_INFO info;
  if (output && n > 0 && GetConsoleScreenBufferInfo(output.get(), &info)) {
    const SMALL_RECT& window = info.srWindow;
    DWORD done = 0;
    FillConsoleOutputAttribute(output.get(), kClosingLineAttribute, window.Right + 1,
                               COORD{0, window.Bottom}, &done);
    // A console narrower than the text shows its start rather than nothing.
    int column = (window.Right - n) >> 1;
    if (column < 0) column = 0;
    WriteConsoleOutputCharacterA(output.get(), MessageText, n,
                                 COORD{static_cast<SHORT>(column), window.Bottom}, &done);
  }

  FlushConsoleInputBuffer(input.get());
  for (;;) {
    INPUT_RECORD record;
    DWORD read = 0;
    if (!ReadConsoleInputA(input.get(), &record, 1, &read) || read == 0) return;
    if (record.EventType == KEY_EVENT && record.Event.KeyEvent.bKeyDown) return;
    if (record.EventType == MOUSE_EVENT && record.Event.MouseEvent.dwEventFlags == 0 &&
        record.Event.MouseEvent.dwButtonState != 0)
      return;
  }
}

extern "C" INT_PTR CALLBACK PassPhraseDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      // Longer input would be cut silently and then fail as a wrong pass phrase.
      SendDlgItemMessageA(dialog, IDC_PASSPHRASE, EM_LIMITTEXT, kPassPhraseSize - 1, 0);
      SetDlgItemTextA(dialog, IDC_PASSPHRASE, "");
      return TRUE;
    case WM_COMMAND:
      if (HIWORD(wParam) != 0) return FALSE;
      if (LOWORD(wParam) == IDOK) {
        GetDlgItemTextA(dialog, IDC_PASSPHRASE, PassPhrase, kPassPhraseSize);
        ClearPassPhraseControl(dialog);
        EndDialog(dialog, IDOK);
        return TRUE;
      }
      if (LOWORD(wParam) == IDCANCEL) {
        ClearPassPhraseControl(dialog);
        EndDialog(dialog, IDCANCEL);
        return TRUE;
      }
      return FALSE;
    default:
      return FALSE;
  }
}
