// The start inside the client: the search for PGP with the files it tried,
// the hook procedure's choice of the one message that starts the module and
// its place in a chain of hooks, and the initialisation against a small
// client of the test's own (settings file, PGP, temporary files, the main
// window's procedure, the menus and the request for the button) with each
// way it can fail. The module's globals outlive a test in this executable,
// so every test puts back what it touched.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "core/module_win.h"
#include "core/shared_state_win.h"
#include "core/window_procedure_win.h"
#include "host/fonts_win.h"
#include "host/menus.h"
#include "host/menus_win.h"
#include "resources/resource_ids.h"
#include "runner/pgp_runner_win.h"
#include "runner/temp_files_win.h"
#include "settings/settings_file_win.h"
#include "startup/hook_win.h"
#include "tests/win/support/dialog_answerer.h"
#include "tests/win/support/fake_client.h"
#include "tests/win/support/pgp_fixture.h"
#include "tests/win/support/scratch_files.h"
#include "tests/win/support/test_state.h"

namespace {

std::string Replace(std::string text, const std::string& placeholder, const std::string& value) {
  for (size_t at = text.find(placeholder); at != std::string::npos;
       at = text.find(placeholder, at + value.size()))
    text.replace(at, placeholder.size(), value);
  return text;
}

// extension.Settings and extension.PgpPath as a test found them; the setting texts
// are released, never put back, since the test may have replaced them.
class SearchStateGuard {
 public:
  SearchStateGuard() : settings_(extension.Settings) {
    ReleaseSettingsTexts(extension.Settings);
    std::memcpy(pgpPath_, extension.PgpPath, sizeof pgpPath_);
  }
  ~SearchStateGuard() {
    ReleaseSettingsTexts(extension.Settings);
    const SettingsRecord texts = extension.Settings;  // all null now
    extension.Settings = settings_;
    extension.Settings.ProgPGP = texts.ProgPGP;
    extension.Settings.PGPtempdir = texts.PGPtempdir;
    extension.Settings.EncryptFor = texts.EncryptFor;
    std::memcpy(extension.PgpPath, pgpPath_, sizeof pgpPath_);
  }
  SearchStateGuard(const SearchStateGuard&) = delete;
  SearchStateGuard& operator=(const SearchStateGuard&) = delete;

 private:
  SettingsRecord settings_;
  char pgpPath_[kPgpPathSize];
};

// ---- FindPgp -----------------------------------------------------------------

// {dir} is the PGPPATH directory with its backslash, {exe} the test
// executable's own directory, which holds pgp.exe (and no pgp.pif): a bare
// "pgp.exe" is found there, as beside the client, and extension.PgpPath gets the full
// path. {cur} is a folder made the current one.
struct SearchRow {
  const char* name;
  bool withPgpPath;
  int directoryLength;  // 0: the scratch folder; else a made-up directory this long
  const char* progPgp;  // null: not set
  int keepOpen;
  std::vector<const char*> existing;  // files made in {dir}, or in {cur} ("cur:" before the name)
  std::vector<const char*> listed;    // after string 6, one per line
  const char* found;                  // extension.PgpPath afterwards; null: nothing found
};

const SearchRow kSearchRows[] = {
    {"PifFirstWithoutAConsoleOfItsOwn", true, 0, nullptr, -1, {},
     {"{dir}pgp.pif", "{dir}pgp.exe", "pgp.pif", "pgp.exe"}, "{exe}pgp.exe"},
    {"OnlyExeWithAConsole", true, 0, nullptr, 0, {}, {"{dir}pgp.exe", "pgp.exe"}, "{exe}pgp.exe"},
    {"PifIgnoredWithAConsoleEvenWhenPresent", true, 0, nullptr, 1, {"pgp.pif"},
     {"{dir}pgp.exe", "pgp.exe"}, "{exe}pgp.exe"},
    {"DirectoryCopyStopsTheSearch", true, 0, nullptr, -1, {"pgp.exe"},
     {"{dir}pgp.pif", "{dir}pgp.exe"}, "{dir}pgp.exe"},
    {"PifBeforeExe", true, 0, nullptr, -1, {"pgp.pif", "pgp.exe"}, {"{dir}pgp.pif"},
     "{dir}pgp.pif"},
    {"WithoutPgpPathTheNamesAlone", false, 0, nullptr, -1, {}, {"pgp.pif", "pgp.exe"},
     "{exe}pgp.exe"},
    // The current folder is the mail folder, where a message may leave a
    // file of any name: it is never searched.
    {"NeverFromTheCurrentFolder", false, 0, "MYPGP.EXE", -1, {"cur:MYPGP.EXE"},
     {"MYPGP.EXE", "MYPGP.EXE"}, nullptr},
    {"ProgPgpWithAColonIsTheOnlyCandidate", true, 0, "{dir}sub\\MYPGP.EXE", -1, {},
     {"{dir}sub\\MYPGP.EXE"}, nullptr},
    {"ProgPgpWithAColonFound", true, 0, "{dir}MYPGP.EXE", -1, {"MYPGP.EXE"}, {"{dir}MYPGP.EXE"},
     "{dir}MYPGP.EXE"},
    {"BareProgPgpInThePgpPathFirst", true, 0, "MYPGP.EXE", -1, {}, {"{dir}MYPGP.EXE", "MYPGP.EXE"},
     nullptr},
    {"BareProgPgpFoundInThePgpPath", true, 0, "MYPGP.EXE", -1, {"MYPGP.EXE"}, {"{dir}MYPGP.EXE"},
     "{dir}MYPGP.EXE"},
    {"BareProgPgpWithoutPgpPathTriedTwice", false, 0, "MYPGP.EXE", -1, {},
     {"MYPGP.EXE", "MYPGP.EXE"}, nullptr},
    // 33 + 2 * (1 + 100 + 7) = 249: the two bare names no longer fit the
    // message, yet they are still tried.
    {"CandidatesBeyondTheMessageAreStillTried", true, 100, nullptr, -1, {},
     {"{dir}pgp.pif", "{dir}pgp.exe"}, "{exe}pgp.exe"},
    // 126 + 7 characters do not fit extension.PgpPath: never tried in a cut form.
    {"CandidateTooLongForPgpPathIsLeftOut", true, 126, nullptr, 0, {}, {"pgp.exe"},
     "{exe}pgp.exe"},
};

class FindPgpTest : public ::testing::TestWithParam<SearchRow> {};

TEST_P(FindPgpTest, TriesTheCandidatesInOrderAndListsThem) {
  const SearchRow& row = GetParam();
  SearchStateGuard guard;
  ScratchFolder folder;
  std::string dir;
  if (row.withPgpPath) {
    dir = folder.path() + "\\";
    if (row.directoryLength > 0) {
      dir = folder.path() + "\\";
      while (static_cast<int>(dir.size()) < row.directoryLength - 1) dir += 'd';
      dir += '\\';
      ASSERT_EQ(static_cast<int>(dir.size()), row.directoryLength);
    }
  }
  ScratchFolder current;
  char savedCurrent[MAX_PATH];
  GetCurrentDirectoryA(MAX_PATH, savedCurrent);
  SetCurrentDirectoryA(current.path().c_str());
  for (std::string name : row.existing) {
    const bool inCurrent = name.rfind("cur:", 0) == 0;
    const std::string path = inCurrent ? current / name.substr(4) : dir + name;
    ASSERT_TRUE(WriteFileBytes(path, "stand-in"));
  }
  extension.Settings.KeepOpen = row.keepOpen;
  extension.Settings.ProgPGP = row.progPgp ? CopySettingText(Replace(row.progPgp, "{dir}", dir).c_str()) : nullptr;
  ASSERT_LT(dir.size(), sizeof extension.PgpPath);
  std::memcpy(extension.PgpPath, dir.c_str(), dir.size() + 1);
  char tried[kMessageTextSize];
  LoadModuleString(IDS_PGP_NOT_FOUND, tried, kMessageTextSize);

  const bool found = FindPgp(extension, extension.Settings, dir.size(), tried);
  SetCurrentDirectoryA(savedCurrent);

  std::string expected = ModuleString(IDS_PGP_NOT_FOUND);
  for (const char* candidate : row.listed) expected += "\n" + Replace(candidate, "{dir}", dir);
  EXPECT_EQ(tried, expected);
  EXPECT_EQ(found, row.found != nullptr);
  if (row.found) {
    EXPECT_EQ(extension.PgpPath, Replace(Replace(row.found, "{dir}", dir), "{exe}", TestProgramDirectory()));
  }
}

INSTANTIATE_TEST_SUITE_P(Rows, FindPgpTest, ::testing::ValuesIn(kSearchRows),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- the hook procedure in a chain of hooks ------------------------------------

// The hook installed before the module's: it must see exactly what the
// module passes on.
std::vector<int> codesBelow;
LRESULT CALLBACK HookBelow(int code, WPARAM, LPARAM) {
  codesBelow.push_back(code);
  return 0x5150;
}

// On top of the chain: hands the module's hook procedure the code the test
// chose, from inside a real hook call, and keeps its answer.
int codeForModule = 0;
std::vector<LRESULT> moduleAnswers;
LRESULT CALLBACK HookAbove(int, WPARAM removal, LPARAM message) {
  moduleAnswers.push_back(GetMessageHook(codeForModule, removal, message));
  return moduleAnswers.back();
}

struct ChainRow {
  const char* name;
  int code;
};

// Every message goes on down the chain: an input method, an accessibility
// tool or another extension hooked in before the module must not go deaf.
const ChainRow kChainRows[] = {
    {"NegativeCodeGoesOn", -1},
    {"OtherNegativeCodeGoesOn", -3},
    {"ActionGoesOn", HC_ACTION},
    {"PositiveCodeGoesOn", 3},
};

class HookChainTest : public ::testing::TestWithParam<ChainRow> {};

TEST_P(HookChainTest, PassesEveryMessageToTheNextHook) {
  const ChainRow& row = GetParam();
  const HHOOK savedHook = sharedState._hHook;
  codesBelow.clear();
  moduleAnswers.clear();
  codeForModule = row.code;
  const DWORD thread = GetCurrentThreadId();
  HHOOK below = SetWindowsHookExA(WH_GETMESSAGE, HookBelow, nullptr, thread);
  HHOOK above = SetWindowsHookExA(WH_GETMESSAGE, HookAbove, nullptr, thread);
  ASSERT_TRUE(below && above);
  sharedState._hHook = above;

  // Not a WM_NULL: nothing may start the module here.
  PostThreadMessageA(thread, WM_APP + 5, 0, 0);
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {}

  UnhookWindowsHookEx(above);
  UnhookWindowsHookEx(below);
  sharedState._hHook = savedHook;
  ASSERT_FALSE(moduleAnswers.empty());
  EXPECT_EQ(moduleAnswers.front(), 0x5150) << "the next hook's answer is the module's";
  ASSERT_FALSE(codesBelow.empty());
  EXPECT_EQ(codesBelow.front(), row.code);
  EXPECT_EQ(extension.clientInitialised, 0);
}

INSTANTIATE_TEST_SUITE_P(Rows, HookChainTest, ::testing::ValuesIn(kChainRows),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- the start inside the client -------------------------------------------------

constexpr char kStandardSettings[] = "[Settings]\r\nUseToolBar=1\r\n";

// A client main window with its menus, a settings file in the folder the
// client's arguments name, a PGP program in the PGPPATH folder and an empty
// temporary folder; the module's state before and after as a fresh module
// would have it.
class InitFixture : public ::testing::Test {
 protected:
  InitFixture()
      : pgpPath_("PGPPATH", (root_ / "pgp").c_str()),
        temp_("TEMP", (root_ / "temp").c_str()),
        tmp_("TMP", (root_ / "temp").c_str()) {}

  void SetUp() override {
    saved_ = sharedState;
    CreateDirectoryA((root_ / "pgp").c_str(), nullptr);
    CreateDirectoryA((root_ / "temp").c_str(), nullptr);
    WriteFileBytes(root_ / "pgp\\pgp.exe", "stand-in");
    WriteSettings(kStandardSettings);
    std::strcpy(sharedState.clientArguments, root_.path().c_str());
    sharedState.hookRan = sharedState.clientReady = sharedState.unhooked = 0;
    sharedState.launcherThreadId = 0;
    sharedState._hHook = nullptr;
    ForgetModule();
  }

  void TearDown() override {
    if (client_ && IsWindow(client_->main) && extension.MainWindowProc &&
        WindowProcIs(client_->main, MainWindowSubclassProc))
      ReplaceWindowProc(client_->main, extension.MainWindowProc);
    client_.reset();
    DeleteFonts(extension);
    ForgetModule();
    sharedState = saved_;
  }

  static void ForgetModule() {
    extension.clientInitialised = 0;
    extension.MainWindowProc = nullptr;
    extension.FileMenu = extension.HelpMenu = extension.MessageMenu = nullptr;
    extension.TempAscName[0] = extension.TempBaseName[0] = '\0';
    extension.SettingsPath[0] = '\0';
  }

  void WriteSettings(const std::string& text) { WriteFileBytes(root_ / "QLNET.INI", text); }

  fake_client::FakeClient& Client() {
    if (!client_) client_ = std::make_unique<fake_client::FakeClient>();
    return *client_;
  }

  // One message through the hook procedure, as the client's thread retrieves it.
  LRESULT Retrieve(UINT message, WPARAM removal = PM_REMOVE, int code = HC_ACTION) {
    MSG msg{Client().main, message, 0, 0, GetTickCount(), {}};
    return GetMessageHook(code, removal, reinterpret_cast<LPARAM>(&msg));
  }

  bool Subclassed() {
    return WindowProcIs(Client().main, MainWindowSubclassProc);
  }

  bool HasItem(UINT id) {
    HMENU bar = GetMenu(Client().main);
    for (int i = 0; i < GetMenuItemCount(bar); ++i)
      if (GetMenuState(GetSubMenu(bar, i), id, MF_BYCOMMAND) != static_cast<UINT>(-1)) return true;
    return false;
  }

  // Takes the button requests posted to the main window out of the queue.
  int TakeButtonRequests() {
    int n = 0;
    MSG msg;
    while (PeekMessageA(&msg, Client().main, WM_COMMAND, WM_COMMAND, PM_REMOVE))
      n += LOWORD(msg.wParam) == IDM_ADD_BUTTON;
    return n;
  }

  ScratchFolder root_;
  SearchStateGuard search_;

 private:
  EnvironmentOverride pgpPath_;
  EnvironmentOverride temp_;
  EnvironmentOverride tmp_;
  SharedState saved_{};
  std::unique_ptr<fake_client::FakeClient> client_;
};

struct TriggerRow {
  const char* name;
  int code;
  WPARAM removal;
  UINT message;
  bool starts;
};

const TriggerRow kTriggerRows[] = {
    {"RemovedNullStarts", HC_ACTION, PM_REMOVE, WM_NULL, true},
    {"PeekedNullDoesNot", HC_ACTION, PM_NOREMOVE, WM_NULL, false},
    {"OtherMessageDoesNot", HC_ACTION, PM_REMOVE, WM_TIMER, false},
    {"OtherCodeDoesNot", 1, PM_REMOVE, WM_NULL, false},
};

class HookTriggerTest : public InitFixture, public ::testing::WithParamInterface<TriggerRow> {};

TEST_P(HookTriggerTest, OnlyARemovedNullStartsTheModule) {
  const TriggerRow& row = GetParam();
  Client();
  DialogAnswerer answerer({});
  EXPECT_EQ(Retrieve(row.message, row.removal, row.code), 0);
  EXPECT_EQ(sharedState.hookRan, row.starts ? 1 : 0);
  EXPECT_EQ(sharedState.clientReady, row.starts ? 1 : 0);
  EXPECT_EQ(extension.clientInitialised, row.starts ? 1 : 0);
  EXPECT_EQ(Subclassed(), row.starts);
  EXPECT_EQ(answerer.Unexpected(), 0);

  // A peeked message is removed later: that removal starts the module.
  if (!row.starts && row.removal == PM_NOREMOVE) {
    Retrieve(WM_NULL);
    EXPECT_EQ(sharedState.hookRan, 1);
    EXPECT_TRUE(Subclassed());
  }
}

INSTANTIATE_TEST_SUITE_P(Rows, HookTriggerTest, ::testing::ValuesIn(kTriggerRows),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(InitFixture, SuccessfulStartTakesOverTheMainWindowAndAddsTheItems) {
  const WNDPROC clientProc =
      WindowProcOf(Client().main);
  DialogAnswerer answerer({});
  Retrieve(WM_NULL);

  EXPECT_TRUE(Subclassed());
  EXPECT_EQ(extension.MainWindowProc, clientProc);
  EXPECT_TRUE(HasItem(IDM_RUN_PGP));
  EXPECT_TRUE(HasItem(IDM_ABOUT));
  EXPECT_TRUE(HasItem(IDM_EXIT_EXTENSION));
  EXPECT_EQ(TakeButtonRequests(), 1);
  EXPECT_EQ(sharedState.clientReady, 1);
  EXPECT_EQ(sharedState.hookRan, 1);
  EXPECT_EQ(extension.clientInitialised, 1);
  EXPECT_TRUE(extension.TextFont != nullptr && extension.SmallFont != nullptr);
  // The PGP found and the temporary files chosen.
  EXPECT_EQ(std::string(extension.PgpPath), root_ / "pgp\\pgp.exe");
  EXPECT_EQ(std::string(extension.TempAscName), root_ / "temp\\quillnet.asc");
  EXPECT_EQ(std::string(extension.TempBaseName), root_ / "temp\\quillnet");
  EXPECT_EQ(std::string(extension.SettingsPath), root_ / "QLNET.INI");
  EXPECT_EQ(answerer.Unexpected(), 0);

  // Initialised once: a later WM_NULL changes nothing.
  const WNDPROC procedure = WindowProcOf(Client().main);
  Retrieve(WM_NULL);
  EXPECT_EQ(WindowProcOf(Client().main), procedure);
  EXPECT_EQ(TakeButtonRequests(), 0);
}

struct ButtonRequestRow {
  const char* name;
  const char* settings;
  bool minimised;
  int requests;
};

const ButtonRequestRow kButtonRequestRows[] = {
    {"ToolBarOn", "[Settings]\r\nUseToolBar=1\r\n", false, 1},
    {"ToolBarOff", "[Settings]\r\nUseToolBar=0\r\n", false, 0},
    {"OtherNonZeroValue", "[Settings]\r\nUseToolBar=2\r\n", false, 1},
    {"ClientMinimised", "[Settings]\r\nUseToolBar=1\r\n", true, 0},
};

class ButtonRequestTest : public InitFixture,
                          public ::testing::WithParamInterface<ButtonRequestRow> {};

TEST_P(ButtonRequestTest, IsPostedOnlyForAVisibleToolbarSetting) {
  const ButtonRequestRow& row = GetParam();
  WriteSettings(row.settings);
  if (row.minimised) ShowWindow(Client().main, SW_MINIMIZE);
  TakeButtonRequests();
  Retrieve(WM_NULL);
  EXPECT_EQ(sharedState.clientReady, 1);
  EXPECT_EQ(TakeButtonRequests(), row.requests);
}

INSTANTIATE_TEST_SUITE_P(Rows, ButtonRequestTest, ::testing::ValuesIn(kButtonRequestRows),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(InitFixture, NoPgpIsReportedWithTheTriedFilesAndNothingIsTakenOver) {
  const std::string absent = root_ / "absent\\pgp.exe";
  WriteSettings(std::string(kStandardSettings) + "[PGP settings]\r\nProgPGP=" + absent + "\r\n");
  Client();
  DialogAnswerer answerer({{"Quillnet", IDOK}});
  Retrieve(WM_NULL);

  const std::vector<SeenDialog> seen = answerer.Seen();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].text, ModuleString(IDS_PGP_NOT_FOUND) + "\n" + absent);
  EXPECT_EQ(sharedState.clientReady, 0);
  EXPECT_EQ(sharedState.hookRan, 1);
  EXPECT_EQ(extension.clientInitialised, 0);
  EXPECT_FALSE(Subclassed());
  EXPECT_FALSE(HasItem(IDM_RUN_PGP));
  EXPECT_EQ(TakeButtonRequests(), 0);
}

TEST_F(InitFixture, KeptLeftoversStopTheStartAndTheNextNullTriesAgain) {
  const std::string leftover = root_ / "temp\\quillnet.asc";
  WriteFileBytes(leftover, "earlier run");
  Client();
  {
    DialogAnswerer answerer({{"Quillnet", IDCANCEL}});
    Retrieve(WM_NULL);
    const std::vector<SeenDialog> seen = answerer.Seen();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].text.rfind(ModuleString(IDS_OVERWRITE_FILES), 0), 0u) << seen[0].text;
  }
  EXPECT_FALSE(Subclassed());
  EXPECT_FALSE(HasItem(IDM_RUN_PGP));
  EXPECT_EQ(sharedState.clientReady, 0);
  EXPECT_EQ(sharedState.hookRan, 1);
  EXPECT_EQ(FileBytes(leftover), "earlier run");

  // A failed attempt leaves the module free to start at the next WM_NULL.
  DeleteFileA(leftover.c_str());
  DialogAnswerer quiet({});
  Retrieve(WM_NULL);
  EXPECT_TRUE(Subclassed());
  EXPECT_EQ(sharedState.clientReady, 1);
  EXPECT_EQ(quiet.Unexpected(), 0);
}

// The question about leftovers runs a message loop on the client's thread;
// a WM_NULL that loop retrieves must not start a second attempt inside the
// first.
TEST_F(InitFixture, NoNestedAttemptWhileTheFirstAsks) {
  WriteFileBytes(root_ / "temp\\quillnet.asc", "earlier run");
  const HWND main = Client().main;
  HHOOK hook = SetWindowsHookExA(WH_GETMESSAGE, GetMessageHook, nullptr, GetCurrentThreadId());
  ASSERT_NE(hook, nullptr);
  sharedState._hHook = hook;
  {
    DialogAnswerer answerer({{"Quillnet", IDCANCEL}});
    PostMessageA(main, WM_NULL, 0, 0);
    PostMessageA(main, WM_NULL, 0, 0);
    MSG msg;
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < 1500) {
      while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
      Sleep(10);
    }
    EXPECT_EQ(answerer.Seen().size(), 1u);
    EXPECT_EQ(answerer.Unexpected(), 0);
  }
  UnhookWindowsHookEx(hook);
  EXPECT_EQ(sharedState.hookRan, 1);
  EXPECT_FALSE(Subclassed());
}

}  // namespace
