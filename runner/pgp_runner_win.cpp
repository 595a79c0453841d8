#include "runner/pgp_runner_win.h"

#include <cctype>
#include <cstring>
#include <optional>
#include <string>

#include "common/handles_win.h"
#include "core/module_win.h"
#include "core/wait_cursor_win.h"
#include "resources/resource_ids.h"
#include "runner/temp_files_win.h"
#include "settings/settings_file_win.h"

namespace {

constexpr char kPassVariable[] = "PGPPASS";
constexpr WORD kClosingLineAttribute =
    FOREGROUND_RED | BACKGROUND_RED | BACKGROUND_GREEN | BACKGROUND_INTENSITY;  // 0xE4

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
// else asks. A cancelled or empty answer keeps nothing: PGP then asks in
// its console itself.
void ObtainPassPhrase(KeptPassPhrase& kept, AskPassPhrase ask, HWND owner) {
  char value[kEnvironmentValueSize];
  const bool inEnvironment = ReadEnvironmentValue(kPassVariable, value) != 0;
  if (inEnvironment) kept.Keep(value);
  SecureZeroMemory(value, sizeof value);
  if (inEnvironment || ask == nullptr) return;

  char typed[kPassPhraseSize] = {};
  if (ask(owner, typed) && typed[0] != '\0') kept.Keep(typed);
  SecureZeroMemory(typed, sizeof typed);
}

// Starts PGP with `commandLine`, the program's full path
// as the application name where the system starts it directly (so nothing
// is searched for), and an environment of its own: the client's, with the
// pass phrase only for a run that needs it, and the name of the verdict
// file. The block holds the pass phrase, so it is wiped right after the
// start; when it cannot be made PGP does not start, since it would run
// without the rest of the environment. Returns 0 or the error code.
DWORD StartPgp(const char* pgpPath, std::string& commandLine, STARTUPINFOA& startup,
               const PgpEnvironment& extra, PROCESS_INFORMATION& started) {
  UniqueEnvironmentStrings current(GetEnvironmentStringsA());
  if (!current) return ERROR_NOT_ENOUGH_MEMORY;
  const size_t size = ComposePgpEnvironment(current.get(), extra, nullptr, 0);
  SecretBlock block(size);
  if (block.data() == nullptr) return ERROR_NOT_ENOUGH_MEMORY;
  ComposePgpEnvironment(current.get(), extra, block.data(), block.size());
  const char* application = IsExecutableName(pgpPath) ? pgpPath : nullptr;
  if (CreateProcessA(application, commandLine.data(), nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS,
                     block.data(), nullptr, &startup, &started))
    return 0;
  return GetLastError();
}

// What PGP's environment gets for this request. Only decoding and signing
// need the pass phrase: a check, a key addition or an encryption for others
// never sees it, whether the module keeps it or the user set it.
PgpEnvironment EnvironmentFor(const PgpRequest& request, const KeptPassPhrase& kept) {
  PgpEnvironment extra;
  const bool needsPassPhrase = (request.flags & PGPREQ_PASSPHRASE) != 0;
  if (needsPassPhrase && kept.present()) extra.passPhrase = kept.value();
  extra.keepClientPassPhrase = needsPassPhrase;
  extra.verdictPath = request.verdict.made() ? request.verdict.name() : nullptr;
  return extra;
}

// Waits for PGP and fills exitCode; closes both handles on every path.
DWORD AwaitPgp(PROCESS_INFORMATION& started, PgpRequest& request) {
  UniqueHandle process(started.hProcess);
  UniqueHandle thread(started.hThread);
  started.hProcess = nullptr;
  started.hThread = nullptr;
  request.exitCode = 0;
  thread.reset();

  if (WaitForSingleObject(process.get(), INFINITE) == WAIT_FAILED) return GetLastError();
  DWORD exitCode = 0;
  if (!GetExitCodeProcess(process.get(), &exitCode)) return GetLastError();
  request.exitCode = exitCode;
  return 0;
}

void ForgetPassPhrase(KeptPassPhrase& kept) {
  kept.Clear();
  SetEnvironmentVariableA(kPassVariable, nullptr);
}

// ----- finding the program -----

bool IsBareName(const char* name) { return std::strpbrk(name, "\\/:") == nullptr; }

bool IsAbsoluteFolder(const std::string& folder) {
  const bool drive = folder.size() >= 3 && std::isalpha(static_cast<unsigned char>(folder[0])) &&
                     folder[1] == ':' && (folder[2] == '\\' || folder[2] == '/');
  const bool unc = folder.size() >= 2 && folder[0] == '\\' && folder[1] == '\\';
  return drive || unc;
}

void AddFolder(std::string& list, std::string folder) {
  if (folder.size() >= 2 && folder.front() == '"' && folder.back() == '"')
    folder = folder.substr(1, folder.size() - 2);
  if (!IsAbsoluteFolder(folder)) return;  // ".", relative folders: the current folder again
  if (!list.empty()) list += ';';
  list += folder;
}

// The folders a bare program name is looked for in, as SearchPathA takes them.
std::string ProgramSearchPath() {
  std::string list;
  char path[MAX_PATH];
  DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  if (n > 0 && n < MAX_PATH) {
    std::string own(path, n);
    const size_t slash = own.find_last_of("\\/");
    if (slash != std::string::npos) AddFolder(list, own.substr(0, slash));
  }
  n = GetSystemDirectoryA(path, MAX_PATH);
  if (n > 0 && n < MAX_PATH) AddFolder(list, std::string(path, n));
  n = GetWindowsDirectoryA(path, MAX_PATH);
  if (n > 0 && n < MAX_PATH) AddFolder(list, std::string(path, n));
  const DWORD size = GetEnvironmentVariableA("PATH", nullptr, 0);
  if (size > 0) {
    std::string value(size, '\0');
    const DWORD got = GetEnvironmentVariableA("PATH", value.data(), size);
    value.resize(got < size ? got : 0);
    for (size_t start = 0; start <= value.size();) {
      size_t end = value.find(';', start);
      if (end == std::string::npos) end = value.size();
      AddFolder(list, value.substr(start, end - start));
      start = end + 1;
    }
  }
  return list;
}

bool IsProgramFile(const char* path) {
  const DWORD attributes = GetFileAttributesA(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

}  // namespace

bool ResolvePgpProgram(const char* candidate, char (&full)[kPgpPathSize]) {
  char found[MAX_PATH];
  DWORD n = 0;
  if (IsBareName(candidate)) {
    const std::string folders = ProgramSearchPath();
    if (!folders.empty())
      n = SearchPathA(folders.c_str(), candidate, nullptr, MAX_PATH, found, nullptr);
  } else {
    n = GetFullPathNameA(candidate, MAX_PATH, found, nullptr);
  }
  if (n == 0 || n >= MAX_PATH || n >= static_cast<DWORD>(kPgpPathSize) || !IsProgramFile(found))
    return false;
  std::memcpy(full, found, n + 1);
  return true;
}

bool PassPhraseKept(const PgpSetup& setup) { return setup.keptPassPhrase.present(); }

void ClearKeptPassPhrase(PgpSetup& setup) { setup.keptPassPhrase.Clear(); }

Failure RunPgp(PgpSetup& setup, const SettingsRecord& settings, PgpRequest& request,
               AskPassPhrase ask) {
  // Nothing but PGP's own verdict of this run may be read afterwards.
  if (const DWORD error = request.verdict.Make(setup.TempBaseName))
    return FormatFileError(error, request.verdict.name());
  if (AsksPassPhrase(settings.KeepPassword, request.flags) && !setup.keptPassPhrase.present())
    ObtainPassPhrase(setup.keptPassPhrase, ask, request.owner);

  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  static_assert(sizeof(void*) != 4 || sizeof(STARTUPINFOA) == 68, "the 32-bit record");

  DWORD error = 0;
  {
    // A command line too long for Windows is not started shortened: it
    // would leave out recipients or point PGP at the wrong file.
    std::string commandLine;
    const bool composed = ComposePgpCommandLine(
        setup.PgpPath, BuildPgpOptions(request.flags, request.fileName, request.userId), commandLine);
    OwnConsole console(composed && UsesOwnConsole(settings.KeepOpen));
    PROCESS_INFORMATION started{};
    error = composed ? StartPgp(setup.PgpPath, commandLine, startup,
                                EnvironmentFor(request, setup.keptPassPhrase), started)
                     : ERROR_FILENAME_EXCED_RANGE;
    if (error == 0) {
      if (console.active()) SetConsoleTitleA(commandLine.c_str());
      {
        // PGP without a console of the module's may show no window at all.
        std::optional<WaitCursor> busy;
        if (!console.active()) busy.emplace();
        error = AwaitPgp(started, request);
      }
      if (console.active() &&
          ConsoleWaitsForUser(settings.KeepOpen, request.exitCode, request.flags))
        WaitForConsoleKey();
    }
  }
  SetForegroundWindow(request.owner);

  if (error != 0) return FormatFileError(error, setup.PgpPath);
  if (ForgetsPassPhrase(settings.KeepPassword, request.exitCode))
    ForgetPassPhrase(setup.keptPassPhrase);
  return std::nullopt;
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
  char closing[kMessageTextSize];
  const int n = LoadModuleString(IDS_PRESS_ANY_KEY, closing, sizeof closing);

  CONSOLE_SCREEN_BUFFER_INFO info;
  if (output && n > 0 && GetConsoleScreenBufferInfo(output.get(), &info)) {
    const SMALL_RECT& window = info.srWindow;
    DWORD done = 0;
    FillConsoleOutputAttribute(output.get(), kClosingLineAttribute, window.Right + 1,
                               COORD{0, window.Bottom}, &done);
    // A console narrower than the text shows its start rather than nothing.
    int column = (window.Right - n) >> 1;
    if (column < 0) column = 0;
    WriteConsoleOutputCharacterA(output.get(), closing, n,
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

