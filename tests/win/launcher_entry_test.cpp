// The launcher's side of the module: which windows count as the client's,
// how the client is started (the paths tried and reported, its command
// line), the refusals of a second launcher, the whole StartExtension / ExtensionReady / StopExtension round
// against a client on a thread of its own, and StopExtension's own reports and waits.
// The shared record is ordinary data in this executable, so each test puts
// it back as it found it.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "core/bounded_text.h"
#include "core/module_win.h"
#include "core/shared_state_win.h"
#include "core/window_procedure_win.h"
#include "host/fonts_win.h"
#include "host/menus.h"
#include "host/menus_win.h"
#include "resources/resource_ids.h"
#include "runner/temp_files_win.h"
#include "settings/settings_file_win.h"
#include "startup/hook_win.h"
#include "startup/launcher_entry_win.h"
#include "tests/win/support/dialog_answerer.h"
#include "tests/win/support/fake_client.h"
#include "tests/win/support/pgp_fixture.h"
#include "tests/win/support/scratch_files.h"
#include "tests/win/support/test_state.h"

namespace {

std::string OwnDirectory() {
  char path[MAX_PATH];
  const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string dir(path, n);
  return dir.substr(0, dir.rfind('\\') + 1);
}

std::string OwnPath() {
  char path[MAX_PATH];
  const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  return std::string(path, n);
}

bool WaitFor(const std::function<bool()>& condition, DWORD timeoutMs) {
  const DWORD start = GetTickCount();
  while (!condition()) {
    if (GetTickCount() - start >= timeoutMs) return false;
    Sleep(10);
  }
  return true;
}

// The shared record and the launcher-side globals as a test found them.
class LauncherStateGuard {
 public:
  LauncherStateGuard() : shared_(sharedState), wait_(launcherSide.WaitEudoraInit) {
    module_ = launcherSide.module;
    std::memcpy(settingsPath_, extension.SettingsPath, sizeof settingsPath_);
    std::memcpy(program_, launcherSide.ProgEudora, sizeof program_);
  }
  ~LauncherStateGuard() {
    sharedState = shared_;
    launcherSide.WaitEudoraInit = wait_;
    launcherSide.module = module_;
    std::memcpy(extension.SettingsPath, settingsPath_, sizeof settingsPath_);
    std::memcpy(launcherSide.ProgEudora, program_, sizeof program_);
  }
  LauncherStateGuard(const LauncherStateGuard&) = delete;
  LauncherStateGuard& operator=(const LauncherStateGuard&) = delete;

 private:
  SharedState shared_;
  int32_t wait_;
  ModulePath module_;
  char settingsPath_[kSettingsPathSize];
  char program_[kPathSize];
};

// A process the test started or found, ended by its handle when the test ends.
class OwnedProcess {
 public:
  OwnedProcess() = default;
  explicit OwnedProcess(DWORD id)
      : handle_(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, id)),
        id_(id) {}
  OwnedProcess(HANDLE handle, DWORD id) : handle_(handle), id_(id) {}
  ~OwnedProcess() {
    if (handle_ == nullptr) return;
    if (WaitForSingleObject(handle_, 0) == WAIT_TIMEOUT) {
      TerminateProcess(handle_, 1);
      WaitForSingleObject(handle_, 5000);
    }
    CloseHandle(handle_);
  }
  OwnedProcess(const OwnedProcess&) = delete;
  OwnedProcess& operator=(const OwnedProcess&) = delete;

  HANDLE handle() const { return handle_; }
  DWORD id() const { return id_; }
  std::optional<DWORD> ExitCode(DWORD timeoutMs) const {
    DWORD code = 0;
    if (WaitForSingleObject(handle_, timeoutMs) != WAIT_OBJECT_0 ||
        !GetExitCodeProcess(handle_, &code))
      return std::nullopt;
    return code;
  }

 private:
  HANDLE handle_ = nullptr;
  DWORD id_ = 0;
};

std::vector<HWND> ClientMainWindows() {
  std::vector<HWND> found;
  for (HWND w = FindWindowExA(nullptr, nullptr, "EudoraMainWindow", nullptr); w;
       w = FindWindowExA(nullptr, w, "EudoraMainWindow", nullptr))
    found.push_back(w);
  return found;
}

// ---- IsClientWindow --------------------------------------------------------------

TEST(IsClientWindowTest, TellsTheClientsWindowsFromAllOthers) {
  LauncherStateGuard guard;
  fake_client::FakeClient client;
  HWND gone = CreateWindowExA(0, "Static", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                              GetModuleHandleA(nullptr), nullptr);
  DestroyWindow(gone);
  DWORD desktopOwner = 0;
  GetWindowThreadProcessId(GetDesktopWindow(), &desktopOwner);

  EXPECT_TRUE(IsClientWindow(client.main));
  EXPECT_TRUE(IsClientWindow(client.body));  // a child, several levels down
  EXPECT_FALSE(IsClientWindow(nullptr));
  EXPECT_FALSE(IsClientWindow(gone));
  if (desktopOwner != GetCurrentProcessId()) {
    EXPECT_FALSE(IsClientWindow(GetDesktopWindow()));
  }

  // Without a client window nothing is the client's.
  sharedState.clientMainWindow = gone;
  EXPECT_FALSE(IsClientWindow(client.main));
  sharedState.clientMainWindow = client.main;
}

// ---- StartClient -----------------------------------------------------------------

class StartClientTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(ClientMainWindows().empty()) << "a client window is left from elsewhere";
    ASSERT_TRUE(TakeModulePath(launcherSide.module, GetModuleHandleA(nullptr)));
    launcherSide.WaitEudoraInit = 0;
    CreateDirectoryA((folder_ / "mail").c_str(), nullptr);
    std::strcpy(sharedState.clientArguments, (folder_ / "mail").c_str());
    sharedState.clientMainWindow = nullptr;
  }

  // The status line of the stand-in client names the folder it was given.
  static std::string StatusLine(HWND main) {
    char text[512] = "";
    DWORD_PTR n = 0;
    SendMessageTimeoutA(GetDlgItem(main, 0xE801), WM_GETTEXT, sizeof text,
                        reinterpret_cast<LPARAM>(text), SMTO_NORMAL, 3000, &n);
    return text;
  }

  LauncherStateGuard guard_;
  ScratchFolder folder_;
};

struct NotFoundRow {
  const char* name;
  const char* program;             // {dir} is the scratch folder
  std::vector<const char*> tried;  // {own} is this executable's directory
};

const NotFoundRow kNotFoundRows[] = {
    {"BareNameBesideTheModuleThenAsItIs", "NOCLIENT.EXE", {"{own}NOCLIENT.EXE", "NOCLIENT.EXE"}},
    {"PathWithAColonAsItIsOnly", "{dir}\\NOCLIENT.EXE", {"{dir}\\NOCLIENT.EXE"}},
};

class StartClientNotFound : public StartClientTest,
                            public ::testing::WithParamInterface<NotFoundRow> {};

TEST_P(StartClientNotFound, ReportsEveryPathTried) {
  const NotFoundRow& row = GetParam();
  auto fill = [&](std::string text) {
    for (auto [key, value] : {std::pair<std::string, std::string>{"{dir}", folder_.path()},
                              {"{own}", OwnDirectory()}})
      if (size_t at = text.find(key); at != std::string::npos) text.replace(at, key.size(), value);
    return text;
  };
  const std::string program = fill(row.program);
  std::string message;
  EXPECT_EQ(StartClient(launcherSide, program.c_str(), message), 4);

  std::string list;
  for (const char* path : row.tried) list += "\n" + fill(path);
  char expected[kMessageTextSize];
  CopyBounded(expected, sizeof expected, FormatFileError(ERROR_FILE_NOT_FOUND, list.c_str()).c_str());
  EXPECT_EQ(message, expected);
  EXPECT_EQ(std::string(expected).rfind("File not found:\n  ", 0), 0u);
  EXPECT_TRUE(ClientMainWindows().empty());
}

INSTANTIATE_TEST_SUITE_P(Rows, StartClientNotFound, ::testing::ValuesIn(kNotFoundRows),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(StartClientTest, StartsTheClientBesideTheModuleWithTheArguments) {
  std::string message;
  EXPECT_EQ(StartClient(launcherSide, "EUDORA.EXE", message), 0);
  const HWND main = sharedState.clientMainWindow;
  ASSERT_TRUE(IsWindow(main));
  DWORD id = 0;
  GetWindowThreadProcessId(main, &id);
  OwnedProcess client(id);
  EXPECT_NE(id, GetCurrentProcessId());
  EXPECT_EQ(message, "\n" + OwnDirectory() + "EUDORA.EXE");
  EXPECT_TRUE(WaitFor([&] { return StatusLine(main).find(folder_ / "mail") != std::string::npos; },
                      5000))
      << StatusLine(main);
}

// On a busy machine the client's main window comes seconds after the client
// went idle: the launcher keeps looking instead of asking at once whether
// there is a client at all. The stand-in is this executable (late_client.h).
TEST_F(StartClientTest, KeepsLookingForAMainWindowThatComesLate) {
  std::strcpy(sharedState.clientArguments, "--late-client=3000");
  DialogAnswerer answerer({});
  std::string message;
  EXPECT_EQ(StartClient(launcherSide, OwnPath().c_str(), message), 0);
  const std::vector<SeenDialog> seen = answerer.Seen();
  EXPECT_TRUE(seen.empty()) << seen.front().text;
  const HWND main = sharedState.clientMainWindow;
  ASSERT_TRUE(IsWindow(main));
  DWORD id = 0;
  GetWindowThreadProcessId(main, &id);
  OwnedProcess client(id);
  EXPECT_NE(id, GetCurrentProcessId());
}

// Only while the client lives: one that ends without a main window is
// asked about at once.
TEST_F(StartClientTest, AsksAtOnceAboutAClientThatEndedWithoutAMainWindow) {
  std::strcpy(sharedState.clientArguments, "--late-client=exit");
  DialogAnswerer answerer({{"Quillnet", IDCANCEL}});
  const DWORD start = GetTickCount();
  std::string message;
  EXPECT_EQ(StartClient(launcherSide, OwnPath().c_str(), message), IDS_NO_VALID_EUDORA);
  EXPECT_LT(GetTickCount() - start, 10000u);
  const std::vector<SeenDialog> seen = answerer.Seen();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].text, ModuleString(IDS_NO_VALID_EUDORA));
}

// A path with a blank reaches the client as one word of its command line,
// so its first argument is still the folder.
TEST_F(StartClientTest, ProgramPathWithABlankIsQuoted) {
  const std::string dir = folder_ / "with blank";
  CreateDirectoryA(dir.c_str(), nullptr);
  ASSERT_TRUE(CopyFileA((OwnDirectory() + "EUDORA.EXE").c_str(), (dir + "\\EUDORA.EXE").c_str(), FALSE));
  const std::string program = dir + "\\EUDORA.EXE";
  std::string message;
  EXPECT_EQ(StartClient(launcherSide, program.c_str(), message), 0);
  const HWND main = sharedState.clientMainWindow;
  ASSERT_TRUE(IsWindow(main));
  DWORD id = 0;
  GetWindowThreadProcessId(main, &id);
  OwnedProcess client(id);
  EXPECT_EQ(message, "\n" + program);
  EXPECT_TRUE(WaitFor([&] { return StatusLine(main).find(folder_ / "mail") != std::string::npos; },
                      5000))
      << StatusLine(main);
}

// ---- StartExtension when another process has the module loaded ------------------------------

class SecondLauncherTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sharedState.attachCount = 2;
    sharedState.clientLeft = 0;  // the first launcher's run is still on
    sharedState.launcherThreadId = 77;
    sharedState.hookRan = 0;
    sharedState._hHook = reinterpret_cast<HHOOK>(0x99);
    commandLine_ = "\"" + OwnPath() + "\" " + folder_.path();
  }

  LONG_PTR CallP01() {
    return StartExtension(GetModuleHandleA(nullptr), GetCurrentThreadId(), commandLine_.c_str());
  }

  void ExpectHookUntouched() {
    EXPECT_EQ(sharedState.launcherThreadId, 77u);
    EXPECT_EQ(sharedState._hHook, reinterpret_cast<HHOOK>(0x99));
    EXPECT_EQ(sharedState.hookRan, 0);
  }

  LauncherStateGuard guard_;
  ScratchFolder folder_;
  std::string commandLine_;
};

TEST_F(SecondLauncherTest, WithTheClientRunningItOnlyBringsTheClientForward) {
  fake_client::FakeClient client;
  sharedState.launcherProcessId = 4242;
  HWND other = CreateWindowExA(0, "Static", "elsewhere", WS_POPUP | WS_VISIBLE, 0, 0, 100, 50,
                               nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
  SetForegroundWindow(other);
  DialogAnswerer answerer({});

  EXPECT_EQ(CallP01(), 0);

  EXPECT_TRUE(answerer.Seen().empty());
  ExpectHookUntouched();
  EXPECT_EQ(sharedState.launcherProcessId, 4242u);
  EXPECT_EQ(sharedState.clientMainWindow, client.main);
  EXPECT_EQ(ClientMainWindows(), std::vector<HWND>{client.main});  // nothing started
  EXPECT_TRUE(IsClientWindow(GetForegroundWindow()));
  DestroyWindow(other);
}

// Another launcher without a client: it may be ended, with exit code 1.
struct OtherLauncherRow {
  const char* name;
  int answer;
  bool ended;
};

const OtherLauncherRow kOtherLauncherRows[] = {
    {"YesEndsIt", IDYES, true},
    {"NoLeavesIt", IDNO, false},
};

class OtherLauncherTest : public SecondLauncherTest,
                          public ::testing::WithParamInterface<OtherLauncherRow> {};

TEST_P(OtherLauncherTest, IsOfferedForEnding) {
  const OtherLauncherRow& row = GetParam();
  ASSERT_TRUE(ClientMainWindows().empty());
  // A stand-in for the other launcher: a program that waits a while. It has
  // no console at all: under Wine the console host of a child without a
  // window outlives the child when it is ended, and would pile up.
  PROCESS_INFORMATION info{};
  {
    EnvironmentOverride fault("PGPSTUB_FAULT", "sleep=20000");
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    std::string line = "\"" + PgpStubPath() + "\" -h";
    ASSERT_TRUE(CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, DETACHED_PROCESS,
                               nullptr, nullptr, &startup, &info));
  }
  CloseHandle(info.hThread);
  OwnedProcess other(info.hProcess, info.dwProcessId);
  sharedState.launcherProcessId = other.id();
  DialogAnswerer answerer({{"Quillnet", row.answer}});

  EXPECT_EQ(CallP01(), 0);

  const std::vector<SeenDialog> seen = answerer.Seen();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].text, ModuleString(IDS_ALREADY_RUNNING));
  const std::optional<DWORD> code = other.ExitCode(row.ended ? 5000 : 300);
  if (row.ended) {
    ASSERT_TRUE(code);
    EXPECT_EQ(*code, 1u);
  } else {
    EXPECT_FALSE(code);
  }
  EXPECT_EQ(sharedState.launcherProcessId, other.id());
  ExpectHookUntouched();
}

INSTANTIATE_TEST_SUITE_P(Rows, OtherLauncherTest, ::testing::ValuesIn(kOtherLauncherRows),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(SecondLauncherTest, WithNobodyToEndItOnlySaysSoAndTakesOver) {
  ASSERT_TRUE(ClientMainWindows().empty());
  sharedState.launcherProcessId = 0;
  DialogAnswerer answerer({{"Quillnet", IDOK}});

  EXPECT_EQ(CallP01(), 0);

  const std::vector<SeenDialog> seen = answerer.Seen();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].text, ModuleString(IDS_ALREADY_RUNNING));
  EXPECT_EQ(sharedState.launcherProcessId, GetCurrentProcessId());
  ExpectHookUntouched();
}

// ---- the whole round against a client on a thread of its own ---------------------

// The client's UI thread: its own message loop, so the hook runs there while
// StartExtension waits on the test's thread, as it runs in the client's process.
class ClientThread {
 public:
  ClientThread() : ready_(CreateEventA(nullptr, TRUE, FALSE, nullptr)), thread_([this] { Run(); }) {
    WaitForSingleObject(ready_, 10000);
  }
  ~ClientThread() {
    PostThreadMessageA(threadId_, WM_QUIT, 0, 0);
    thread_.join();
    CloseHandle(ready_);
  }
  ClientThread(const ClientThread&) = delete;
  ClientThread& operator=(const ClientThread&) = delete;

  HWND main() const { return main_; }

 private:
  void Run() {
    MSG msg;
    PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);
    fake_client::FakeClient client;
    main_ = client.main;
    threadId_ = GetCurrentThreadId();
    SetEvent(ready_);
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    if (extension.MainWindowProc && WindowProcIs(main_, MainWindowSubclassProc)) {
      extension.ExtensionLeft = true;
      ReplaceWindowProc(main_, extension.MainWindowProc);
    }
  }

  HANDLE ready_;
  HWND main_ = nullptr;
  DWORD threadId_ = 0;
  std::thread thread_;
};

bool HasItem(HWND main, UINT id) {
  HMENU bar = GetMenu(main);
  for (int i = 0; i < GetMenuItemCount(bar); ++i)
    if (GetMenuState(GetSubMenu(bar, i), id, MF_BYCOMMAND) != static_cast<UINT>(-1)) return true;
  return false;
}

TEST(LauncherRoundTest, HooksTheRunningClientThenLetsItGoAgain) {
  ASSERT_TRUE(ClientMainWindows().empty());
  LauncherStateGuard guard;
  ScratchFolder folder;
  CreateDirectoryA((folder / "pgp").c_str(), nullptr);
  CreateDirectoryA((folder / "temp").c_str(), nullptr);
  WriteFileBytes(folder / "pgp\\pgp.exe", "stand-in");
  WriteFileBytes(folder / "QLNET.INI", "[Settings]\r\nUseToolBar=0\r\n");
  EnvironmentOverride pgpPath("PGPPATH", (folder / "pgp").c_str());
  EnvironmentOverride temp("TEMP", (folder / "temp").c_str());
  const SettingsRecord settings = extension.Settings;
  sharedState = SharedState{};
  sharedState.attachCount = 1;

  {
    ClientThread client;
    ASSERT_TRUE(IsWindow(client.main()));
    const std::string commandLine = "\"" + OwnPath() + "\" " + folder.path();
    Watchdog watchdog("the round of StartExtension, the exit and StopExtension", 30000);

    const LONG_PTR hook = StartExtension(GetModuleHandleA(nullptr), GetCurrentThreadId(), commandLine.c_str());
    ASSERT_NE(hook, 0);
    EXPECT_EQ(reinterpret_cast<HHOOK>(hook), sharedState._hHook);
    EXPECT_EQ(ExtensionReady(), 1);
    EXPECT_EQ(sharedState.launcherThreadId, GetCurrentThreadId());
    EXPECT_EQ(sharedState.launcherProcessId, GetCurrentProcessId());
    EXPECT_EQ(std::string(sharedState.clientArguments), folder.path());
    EXPECT_EQ(sharedState.clientMainWindow, client.main());
    EXPECT_TRUE(HasItem(client.main(), IDM_RUN_PGP));
    EXPECT_EQ(WindowProcOf(client.main()), MainWindowSubclassProc);

    // The module's exit tells this thread, which is what the launcher waits for.
    PostMessageA(client.main(), WM_COMMAND, IDM_EXIT_EXTENSION, 0);
    MSG msg;
    EXPECT_TRUE(WaitFor([&] { return PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) != 0; },
                        10000));
    EXPECT_TRUE(StopExtension());
    EXPECT_EQ(sharedState.unhooked, 1);
    EXPECT_TRUE(WaitFor([] { return sharedState.clientLeft != 0; }, 10000));
    EXPECT_FALSE(HasItem(client.main(), IDM_RUN_PGP));
    EXPECT_NE(WindowProcOf(client.main()), MainWindowSubclassProc);
  }

  // Back to a module that never ran in a client.
  extension.clientInitialised = 0;
  extension.ExtensionLeft = false;
  extension.ExitPending = false;
  extension.CloseAfterExit = 0;
  extension.MainWindowProc = nullptr;
  extension.FileMenu = extension.HelpMenu = extension.MessageMenu = nullptr;
  extension.TempAscName[0] = extension.TempBaseName[0] = '\0';
  DeleteFonts(extension);
  ReleaseSettingsTexts(extension.Settings);
  extension.Settings = settings;
  extension.Settings.ProgPGP = extension.Settings.PGPtempdir = extension.Settings.EncryptFor = nullptr;
}

// ---- StopExtension -------------------------------------------------------------------------

TEST(P02Test, AHookAlreadyGoneIsReportedAndStillCountsAsUnhooked) {
  LauncherStateGuard guard;
  sharedState.attachCount = 1;
  sharedState.unhooked = 0;
  sharedState._hHook = reinterpret_cast<HHOOK>(0x1234ABCD);
  DialogAnswerer answerer({{"Quillnet", IDOK}});

  EXPECT_FALSE(StopExtension());

  const std::vector<SeenDialog> seen = answerer.Seen();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].text, "Error unhooking: _hHook = 1234ABCD");
  EXPECT_EQ(sharedState.unhooked, 1);
}

// StopExtension returns once the client has let go of the module; a client where the
// module never started, or that already said it left, is not waited for.
struct ReleaseRow {
  const char* name;
  LONG clientReady;
  LONG clientLeft;
  bool waits;
};

const ReleaseRow kReleaseRows[] = {
    {"WaitsForTheClientToUnload", 1, 0, true},
    {"ModuleNeverStartedInTheClient", 0, 0, false},
    {"ClientAlreadyLeft", 1, 1, false},
};

class P02ReleaseTest : public ::testing::TestWithParam<ReleaseRow> {};

TEST_P(P02ReleaseTest, WaitsOnlyWhileTheClientHoldsTheModule) {
  const ReleaseRow& row = GetParam();
  LauncherStateGuard guard;
  HHOOK hook = SetWindowsHookExA(WH_GETMESSAGE, GetMessageHook, nullptr, GetCurrentThreadId());
  ASSERT_NE(hook, nullptr);
  sharedState._hHook = hook;
  sharedState.attachCount = 2;
  sharedState.clientReady = row.clientReady;
  sharedState.clientLeft = row.clientLeft;
  std::atomic<bool> dropped{false};
  std::thread unload([&] {
    Sleep(row.waits ? 300 : 1500);
    dropped = true;
    InterlockedExchange(&sharedState.attachCount, 1);
  });
  Watchdog watchdog("StopExtension", 20000);

  EXPECT_TRUE(StopExtension());
  EXPECT_EQ(dropped.load(), row.waits);
  unload.join();
}

INSTANTIATE_TEST_SUITE_P(Rows, P02ReleaseTest, ::testing::ValuesIn(kReleaseRows),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
