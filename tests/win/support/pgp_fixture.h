// What a Win32 test needs to run the real PGP stand-in (pgp.exe, built next
// to the test executable) through the module: a fresh folder with a key list
// that PGPPATH points at, the stand-in's call log, the module's runner
// settings put back afterwards, a watchdog against hangs, and the means to
// look at and type into the console the module makes for PGP.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "command/passphrase_dialog_win.h"
#include "runner/pgp_runner_win.h"
#include "settings/settings_file_win.h"
#include "tests/win/support/scratch_files.h"
#include "tests/win/support/test_state.h"

// ----- keys -----

constexpr char kAliceUserId[] = "Alice Example <alice@example.org>";
constexpr char kAlicePassPhrase[] = "alice-pw";
// Alice has a secret key and signs by default; Bob is a public key only.
constexpr char kStandardKeyring[] =
    "pub Alice Example <alice@example.org>\r\n"
    "sec Alice Example <alice@example.org> alice-pw\r\n"
    "pub Bob Other <bob@example.org>\r\n";

// ----- places -----

inline std::string TestProgramDirectory() {
  char path[MAX_PATH];
  const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string dir(path, length < MAX_PATH ? length : 0);
  return dir.substr(0, dir.find_last_of("\\/") + 1);
}

inline std::string PgpStubPath() { return TestProgramDirectory() + "pgp.exe"; }

// ----- the stand-in's call log -----

struct PgpCall {
  std::string commandLine;  // as PGP received it
  bool passPhraseSet;       // PGPPASS was in PGP's environment
  std::string exit;         // the exit code in decimal, or "crash"
};

// Lines "cmdline=<raw>\tpgppass=yes|no\texit=<n>".
inline std::vector<PgpCall> ParsePgpLog(const std::string& text) {
  std::vector<PgpCall> calls;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    start = end + 1;
    const size_t tab1 = line.find('\t');
    const size_t tab2 = tab1 == std::string::npos ? tab1 : line.find('\t', tab1 + 1);
    if (tab2 == std::string::npos || line.compare(0, 8, "cmdline=") != 0) {
      calls.push_back({"<unreadable log line> " + line, false, ""});
      continue;
    }
    PgpCall call;
    call.commandLine = line.substr(8, tab1 - 8);
    call.passPhraseSet = line.compare(tab1 + 1, tab2 - tab1 - 1, "pgppass=yes") == 0;
    call.exit = line.compare(tab2 + 1, 5, "exit=") == 0 ? line.substr(tab2 + 6) : "";
    calls.push_back(call);
  }
  return calls;
}

// A folder for one test with the key list, PGPPATH pointing at it, the call
// log inside it, and no PGPPASS or fault left over from elsewhere. All four
// variables are put back when the workspace goes.
class PgpWorkspace {
 public:
  explicit PgpWorkspace(const std::string& keyring = kStandardKeyring)
      : pgpPath_("PGPPATH", folder_.path().c_str()),
        log_("PGPSTUB_LOG", (folder_ / "pgpstub.log").c_str()),
        fault_("PGPSTUB_FAULT", nullptr),
        pass_("PGPPASS", nullptr) {
    WriteFileBytes(folder_ / "keyring.txt", keyring);
  }

  const std::string& path() const { return folder_.path(); }
  std::string operator/(const std::string& name) const { return folder_ / name; }

  std::vector<PgpCall> Calls() const { return ParsePgpLog(FileBytes(folder_ / "pgpstub.log")); }
  void ClearLog() const { DeleteFileA((folder_ / "pgpstub.log").c_str()); }

  // PGPSTUB_FAULT for the following runs; null removes it.
  void SetFault(const char* fault) const { SetEnvironmentVariableA("PGPSTUB_FAULT", fault); }

  // Runs the stand-in directly (not through the module) with `arguments`
  // and the process's environment; returns its exit code, or ~0u when it
  // could not be run within 20 s. Leaves no log line behind.
  uint32_t RunStub(const std::string& arguments) const {
    std::string commandLine = PgpStubPath() + " " + arguments;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &info))
      return ~0u;
    CloseHandle(info.hThread);
    DWORD code = ~0u;
    if (WaitForSingleObject(info.hProcess, 20000) == WAIT_OBJECT_0)
      GetExitCodeProcess(info.hProcess, &code);
    else
      TerminateProcess(info.hProcess, code);
    CloseHandle(info.hProcess);
    ClearLog();
    return code;
  }

  // "quillnet.asc" in the folder: `text` encrypted for Alice, as the module
  // would find it in a received message. Returns its path.
  std::string WriteMessageForAlice(const std::string& text = "Hello Alice.\r\n") const {
    const std::string base = folder_ / "quillnet";
    WriteFileBytes(base, text);
    RunStub("-aet " + base + " alice");
    DeleteFileA(base.c_str());
    return base + ".asc";
  }

 private:
  ScratchFolder folder_;
  EnvironmentOverride pgpPath_;
  EnvironmentOverride log_;
  EnvironmentOverride fault_;
  EnvironmentOverride pass_;
};

// What the last RunPgpAsCommand reported; empty when it went well.
inline std::string runMessage;

// RunPgp as a command runs it (the pass phrase asked in the dialog); true
// when PGP ran, with the message of a failure in runMessage otherwise.
inline bool RunPgpAsCommand(PgpRequest& request) {
  const Failure failure = RunPgp(extension, extension.Settings, request, AskPassPhraseInDialog);
  runMessage = failure.value_or(std::string());
  return !failure;
}

// The runner's module-wide state for one test: extension.PgpPath at the stand-in,
// pass phrase forgotten, consoles left alone, and all of it (the settings
// the runner reads included) restored afterwards.
class RunnerStateGuard {
 public:
  RunnerStateGuard() : settings_(extension.Settings) {
    std::memcpy(pgpPath_, extension.PgpPath, sizeof pgpPath_);
    ClearKeptPassPhrase(extension);
    SetPgpPath(PgpStubPath());
    extension.Settings.KeepPassword = 0;
    extension.Settings.KeepOpen = -1;
  }
  ~RunnerStateGuard() {
    ClearKeptPassPhrase(extension);
    std::memcpy(extension.PgpPath, pgpPath_, sizeof pgpPath_);
    extension.Settings.KeepPassword = settings_.KeepPassword;
    extension.Settings.KeepOpen = settings_.KeepOpen;
    extension.Settings.AlwaysSign = settings_.AlwaysSign;
  }
  RunnerStateGuard(const RunnerStateGuard&) = delete;
  RunnerStateGuard& operator=(const RunnerStateGuard&) = delete;

  static void SetPgpPath(const std::string& path) {
    const size_t n = path.size() < sizeof extension.PgpPath - 1 ? path.size() : sizeof extension.PgpPath - 1;
    std::memcpy(extension.PgpPath, path.data(), n);
    extension.PgpPath[n] = '\0';
  }

 private:
  SettingsRecord settings_;  // only the integers are put back; the texts stay extension.Settings' own
  char pgpPath_[kPgpPathSize];
};

// Ends the whole test executable (and the last PGP started, should it still
// run) when a call under test has not returned in time: a hang must fail
// the run, not stall it.
class Watchdog {
 public:
  explicit Watchdog(std::string what, DWORD milliseconds = 30000)
      : what_(std::move(what)), done_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {
    watcher_ = std::thread([this, milliseconds] {
      if (WaitForSingleObject(done_, milliseconds) == WAIT_OBJECT_0) return;
      std::fprintf(stderr, "\nWATCHDOG: %s did not return within %lu ms\n", what_.c_str(),
                   static_cast<unsigned long>(milliseconds));
      std::fflush(stderr);
      // A PGP left waiting for console input would outlive the test run
      // and hold its output pipe open; the job of the test executable ends
      // it with the executable.
      TerminateProcess(GetCurrentProcess(), 99);
    });
  }
  ~Watchdog() {
    SetEvent(done_);
    watcher_.join();
    CloseHandle(done_);
  }
  Watchdog(const Watchdog&) = delete;
  Watchdog& operator=(const Watchdog&) = delete;

 private:
  std::string what_;
  HANDLE done_;
  std::thread watcher_;
};

// ----- the console, seen from a second thread of the test -----

// The console of the process as another thread sees it while the code under
// test waits in it. The handles are the console's own, opened by name.
class ConsoleProbe {
 public:
  ConsoleProbe() = default;
  ~ConsoleProbe() { Close(); }
  ConsoleProbe(const ConsoleProbe&) = delete;
  ConsoleProbe& operator=(const ConsoleProbe&) = delete;

  // Waits until the process has a console titled `title`, then opens it.
  bool WaitForTitle(const std::string& title, const std::atomic<bool>& giveUp,
                    DWORD milliseconds = 20000) {
    const DWORD start = GetTickCount();
    while (!giveUp && GetTickCount() - start < milliseconds) {
      char current[512];
      const DWORD n = GetConsoleTitleA(current, sizeof current);
      if (n > 0 && title == std::string(current, n < sizeof current ? n : sizeof current - 1))
        return Open();
      Sleep(2);
    }
    return false;
  }

  bool Open() {
    Close();
    input_ = CreateFileA("CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                         nullptr, OPEN_EXISTING, 0, nullptr);
    output_ = CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE,
                          FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    return input_ != INVALID_HANDLE_VALUE && output_ != INVALID_HANDLE_VALUE;
  }

  void Close() {
    if (input_ != INVALID_HANDLE_VALUE) CloseHandle(input_);
    if (output_ != INVALID_HANDLE_VALUE) CloseHandle(output_);
    input_ = output_ = INVALID_HANDLE_VALUE;
  }

  // The visible window of the screen buffer.
  SMALL_RECT Window() const {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    GetConsoleScreenBufferInfo(output_, &info);
    return info.srWindow;
  }

  std::string BottomRowText() const {
    const SMALL_RECT window = Window();
    std::string text(window.Right + 1, '\0');
    DWORD read = 0;
    ReadConsoleOutputCharacterA(output_, text.data(), static_cast<DWORD>(text.size()),
                                COORD{0, window.Bottom}, &read);
    text.resize(read);
    return text;
  }

  std::vector<WORD> BottomRowAttributes() const {
    const SMALL_RECT window = Window();
    std::vector<WORD> attributes(window.Right + 1);
    DWORD read = 0;
    ReadConsoleOutputAttribute(output_, attributes.data(), static_cast<DWORD>(attributes.size()),
                               COORD{0, window.Bottom}, &read);
    attributes.resize(read);
    return attributes;
  }

  // Waits until the bottom row shows `text` (the closing line is painted).
  bool WaitForBottomRow(const std::string& text, const std::atomic<bool>& giveUp,
                        DWORD milliseconds = 20000) const {
    const DWORD start = GetTickCount();
    while (!giveUp && GetTickCount() - start < milliseconds) {
      if (BottomRowText().find(text) != std::string::npos) return true;
      Sleep(2);
    }
    return false;
  }

  bool Inject(const INPUT_RECORD& record) const {
    DWORD written = 0;
    return WriteConsoleInputA(input_, &record, 1, &written) && written == 1;
  }

  // True once nothing is left in the input queue: a record injected before
  // was taken, by the reader or by a flush.
  bool WaitConsumed(const std::atomic<bool>& giveUp, DWORD milliseconds = 5000) const {
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < milliseconds) {
      DWORD pending = 0;
      if (!GetNumberOfConsoleInputEvents(input_, &pending)) return false;
      if (pending == 0) return true;
      if (giveUp) return false;
      Sleep(2);
    }
    return false;
  }

 private:
  HANDLE input_ = INVALID_HANDLE_VALUE;
  HANDLE output_ = INVALID_HANDLE_VALUE;
};

inline INPUT_RECORD KeyRecord(bool down, WORD virtualKey = VK_SPACE, char character = ' ') {
  INPUT_RECORD record{};
  record.EventType = KEY_EVENT;
  record.Event.KeyEvent.bKeyDown = down ? TRUE : FALSE;
  record.Event.KeyEvent.wRepeatCount = 1;
  record.Event.KeyEvent.wVirtualKeyCode = virtualKey;
  record.Event.KeyEvent.uChar.AsciiChar = character;
  return record;
}

inline INPUT_RECORD MouseRecord(DWORD buttonState, DWORD eventFlags) {
  INPUT_RECORD record{};
  record.EventType = MOUSE_EVENT;
  record.Event.MouseEvent.dwMousePosition = COORD{10, 5};
  record.Event.MouseEvent.dwButtonState = buttonState;
  record.Event.MouseEvent.dwEventFlags = eventFlags;
  return record;
}

inline INPUT_RECORD FocusRecord(bool focus) {
  INPUT_RECORD record{};
  record.EventType = FOCUS_EVENT;
  record.Event.FocusEvent.bSetFocus = focus ? TRUE : FALSE;
  return record;
}

// Runs `body` on a second thread for the time of one call on the test's
// thread, and collects what it found wrong. `returned` is raised by the
// caller once the call under test is back, so the body can stop waiting.
class SideThread {
 public:
  explicit SideThread(std::function<void(SideThread&)> body)
      : thread_([this, body = std::move(body)] { body(*this); }) {}
  ~SideThread() { Join(); }
  SideThread(const SideThread&) = delete;
  SideThread& operator=(const SideThread&) = delete;

  void Join() {
    if (thread_.joinable()) thread_.join();
  }
  void Fail(const std::string& problem) {
    const std::lock_guard<std::mutex> lock(mutex_);
    problems_ += problem + "\n";
  }
  std::string Problems() {
    const std::lock_guard<std::mutex> lock(mutex_);
    return problems_;
  }

  std::atomic<bool> returned{false};

 private:
  std::mutex mutex_;
  std::string problems_;
  std::thread thread_;
};
