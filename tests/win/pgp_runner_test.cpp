// The PGP runner against real child processes of the PGP stand-in: command
// lines as PGP receives them, the pass phrase (asked, kept, handed to PGP
// only, forgotten), the console of the module's own and its closing wait,
// failures to start, and the exit-code box. Every call that could hang runs
// under a watchdog.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "command/result_delivery_win.h"
#include "core/module_win.h"
#include "resources/resource_ids.h"
#include "runner/pgp_runner_win.h"
#include "settings/settings_file_win.h"
#include "tests/win/support/dialog_answerer.h"
#include "tests/win/support/pgp_fixture.h"
#include "tests/win/support/test_state.h"

namespace {

// The option sets the driver uses.
constexpr uint16_t kDecode = 0xA000;
constexpr uint16_t kCheck = 0x8000;
constexpr uint16_t kEncrypt = 0xC071;
constexpr uint16_t kEncryptSign = 0xE075;
constexpr uint16_t kClearSign = 0xA036;
constexpr uint16_t kAddKey = 0x8110;

constexpr char kDialogTitle[] = "Quillnet - Enter Password";
constexpr char kClosingLine[] = "Press any key or click in this window...";

DialogAnswer TypePassPhrase(std::string text) {
  return DialogAnswer(kDialogTitle, [text](HWND dialog) {
    SetDlgItemTextA(dialog, IDC_PASSPHRASE, text.c_str());
    PressButton(dialog, IDOK);
  });
}

bool EnvironmentHasPassPhrase() {
  char value[256];
  return GetEnvironmentVariableA("PGPPASS", value, sizeof value) != 0;
}

std::string EnvironmentPassPhrase() {
  char value[256];
  const DWORD n = GetEnvironmentVariableA("PGPPASS", value, sizeof value);
  return n > 0 && n < sizeof value ? std::string(value, n) : std::string();
}


std::string Replace(std::string text, const std::string& what, const std::string& with) {
  const size_t at = text.find(what);
  if (at != std::string::npos) text.replace(at, what.size(), with);
  return text;
}

// Failing rows are named by their name, not by their bytes.
template <typename Row>
auto operator<<(std::ostream& out, const Row& row) -> decltype(row.name, out) {
  return out << row.name;
}

class PgpRunnerTest : public testing::Test {
 protected:
  PgpRunnerTest() : savedFunction_(runState.function) {
    runState.function = Decode;
    // The run's verdict file goes beside the temporary base name.
    std::memcpy(savedBase_, extension.TempBaseName, sizeof savedBase_);
    std::strcpy(extension.TempBaseName, base.c_str());
  }
  ~PgpRunnerTest() override {
    runState.function = savedFunction_;
    std::memcpy(extension.TempBaseName, savedBase_, sizeof savedBase_);
  }

  // The request keeps pointers to these, so they live as long as the test.
  PgpRequest Request(uint16_t flags, const std::string& file, const std::string& users = "") {
    file_ = file;
    users_ = users;
    return PgpRequest{flags, nullptr, 0xDEADBEEF, file_.c_str(), users_.c_str()};
  }

  // Runs with the answerer playing `script`, under a watchdog.
  bool RunAnswered(PgpRequest& request, std::vector<DialogAnswer> script,
                   std::vector<SeenDialog>* seen = nullptr) {
    DialogAnswerer answerer(std::move(script));
    Watchdog watchdog("RunPgp");
    const bool result = RunPgpAsCommand(request);
    if (seen) *seen = answerer.Seen();
    return result;
  }

  PgpWorkspace workspace;
  RunnerStateGuard state;
  const std::string base = workspace / "quillnet";
  const std::string asc = workspace / "quillnet.asc";

 private:
  PgpFunction savedFunction_;
  char savedBase_[kPathSize];
  std::string file_;
  std::string users_;
};

// ----- command lines -----

struct CommandLineRow {
  const char* name;
  uint16_t flags;
  bool armoredFile;
  const char* users;
  const char* tail;  // after extension.PgpPath; %F stands for the file name
};

class CommandLineTest : public PgpRunnerTest,
                        public testing::WithParamInterface<CommandLineRow> {};

TEST_P(CommandLineTest, PgpReceivesTheCommandLineOfTheOptionSet) {
  const CommandLineRow& row = GetParam();
  const std::string& file = row.armoredFile ? asc : base;
  PgpRequest request = Request(row.flags, file, row.users);

  ASSERT_TRUE(RunAnswered(request, {}));

  const std::string expected = "\"" + std::string(extension.PgpPath) + "\"" + Replace(row.tail, "%F", file);
  const auto calls = workspace.Calls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].commandLine, expected);
  EXPECT_FALSE(calls[0].passPhraseSet);
  // The files do not exist, which PGP reports with its own exit code.
  EXPECT_EQ(std::to_string(request.exitCode), calls[0].exit);
  EXPECT_EQ(request.exitCode, 2u);
}

INSTANTIATE_TEST_SUITE_P(
    OptionSets, CommandLineTest,
    testing::Values(CommandLineRow{"Decode", kDecode, true, "", "  %F"},
                    CommandLineRow{"CheckSignature", kCheck, true, "", "  %F"},
                    CommandLineRow{"Encrypt", kEncrypt, false, "u1 u2", " -aetw %F u1 u2"},
                    CommandLineRow{"EncryptSigned", kEncryptSign, false, "u1 u2",
                                   " -aestw %F u1 u2"},
                    CommandLineRow{"ClearSign", kClearSign, false, "", " -ast +clearsig=on %F"},
                    CommandLineRow{"AddKey", kAddKey, true, "", " -ka %F"}),
    [](const testing::TestParamInfo<CommandLineRow>& info) { return info.param.name; });

// ----- the pass phrase -----

TEST_F(PgpRunnerTest, PassPhraseIsAskedOnceAndReachesOnlyPgp) {
  extension.Settings.KeepPassword = 1;
  workspace.WriteMessageForAlice();

  PgpRequest first = Request(kDecode, asc);
  std::vector<SeenDialog> seen;
  ASSERT_TRUE(RunAnswered(first, {TypePassPhrase(kAlicePassPhrase)}, &seen));
  EXPECT_EQ(first.exitCode, 0u);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].title, kDialogTitle);
  EXPECT_TRUE(PassPhraseKept(extension));
  EXPECT_FALSE(EnvironmentHasPassPhrase()) << "the client's environment gained PGPPASS";

  PgpRequest second = Request(kDecode, asc);
  ASSERT_TRUE(RunAnswered(second, {}, &seen));
  EXPECT_TRUE(seen.empty()) << "asked again although the pass phrase was kept";
  EXPECT_EQ(second.exitCode, 0u);
  EXPECT_FALSE(EnvironmentHasPassPhrase());

  const auto calls = workspace.Calls();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_TRUE(calls[0].passPhraseSet);
  EXPECT_TRUE(calls[1].passPhraseSet);
  EXPECT_EQ(FileBytes(base), "Hello Alice.\r\n");
}

TEST_F(PgpRunnerTest, PgpKeepsTheRestOfTheClientsEnvironment) {
  extension.Settings.KeepPassword = 1;
  workspace.WriteMessageForAlice();
  // PGPPATH reaches PGP only through the block the runner builds: without it
  // the stand-in would not find the key list and could not decode.
  PgpRequest request = Request(kDecode, asc);
  ASSERT_TRUE(RunAnswered(request, {TypePassPhrase(kAlicePassPhrase)}));
  EXPECT_EQ(request.exitCode, 0u);
  EXPECT_EQ(FileBytes(base), "Hello Alice.\r\n");
}

// A pass phrase reaches only the runs that need it: a check, a key addition
// or an encryption for others never sees it, kept by the module or set by
// the user in the client's environment alike.
TEST_F(PgpRunnerTest, OnlyRunsThatNeedThePassPhraseGetIt) {
  for (int keepPassword : {1, 0}) {
    extension.Settings.KeepPassword = keepPassword;
    EnvironmentOverride users("PGPPASS", keepPassword ? nullptr : kAlicePassPhrase);
    workspace.ClearLog();
    workspace.WriteMessageForAlice();
    PgpRequest decode = Request(kDecode, asc);
    ASSERT_TRUE(RunAnswered(decode, {TypePassPhrase(kAlicePassPhrase)})) << runMessage;
    for (uint16_t flags : {kCheck, kAddKey, kEncrypt}) {
      PgpRequest other = Request(flags, flags == kEncrypt ? base : asc, "alice");
      ASSERT_TRUE(RunAnswered(other, {})) << runMessage;
    }
    const auto calls = workspace.Calls();
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_TRUE(calls[0].passPhraseSet) << "the decode, KeepPassword " << keepPassword;
    for (size_t i = 1; i < calls.size(); ++i)
      EXPECT_FALSE(calls[i].passPhraseSet) << calls[i].commandLine;
    ClearKeptPassPhrase(extension);
  }
}

struct AskRow {
  const char* name;
  uint16_t flags;
  bool asks;
};

class WhichRunsAskTest : public PgpRunnerTest, public testing::WithParamInterface<AskRow> {};

TEST_P(WhichRunsAskTest, OnlyRunsThatNeedThePassPhraseAsk) {
  const AskRow& row = GetParam();
  extension.Settings.KeepPassword = 1;
  PgpRequest request = Request(row.flags, workspace / "missing.asc", "bob");
  std::vector<SeenDialog> seen;
  ASSERT_TRUE(RunAnswered(request, {TypePassPhrase("typed")}, &seen)) << runMessage;
  EXPECT_EQ(seen.size(), row.asks ? 1u : 0u);
  EXPECT_EQ(PassPhraseKept(extension), row.asks);
  const auto calls = workspace.Calls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].passPhraseSet, row.asks);
}

INSTANTIATE_TEST_SUITE_P(OptionSets, WhichRunsAskTest,
                         testing::Values(AskRow{"Decode", kDecode, true},
                                         AskRow{"CheckSignature", kCheck, false},
                                         AskRow{"EncryptWithoutAlwaysSign", kEncrypt, false},
                                         AskRow{"EncryptWithAlwaysSign", kEncryptSign, true},
                                         AskRow{"ClearSign", kClearSign, true},
                                         AskRow{"AddKey", kAddKey, false}),
                         [](const testing::TestParamInfo<AskRow>& info) { return info.param.name; });

TEST_F(PgpRunnerTest, CancelledOrEmptyDialogKeepsNothing) {
  extension.Settings.KeepPassword = 1;
  const std::vector<std::vector<DialogAnswer>> answers = {
      {DialogAnswer(kDialogTitle, IDCANCEL)},
      {TypePassPhrase("")},
      {DialogAnswer(kDialogTitle, [](HWND dialog) {
        SetDlgItemTextA(dialog, IDC_PASSPHRASE, "typed");
        PressButton(dialog, IDCANCEL);
      })},
  };
  for (const auto& script : answers) {
    PgpRequest request = Request(kDecode, workspace / "missing.asc");
    std::vector<SeenDialog> seen;
    ASSERT_TRUE(RunAnswered(request, script, &seen));
    EXPECT_EQ(seen.size(), 1u);
    EXPECT_FALSE(PassPhraseKept(extension));
  }
  const auto calls = workspace.Calls();
  ASSERT_EQ(calls.size(), answers.size());
  for (const PgpCall& call : calls) EXPECT_FALSE(call.passPhraseSet);
}

struct ForgetRow {
  const char* name;
  const char* fault;
  uint32_t exitCode;
  bool forgotten;
};

class ForgetTest : public PgpRunnerTest, public testing::WithParamInterface<ForgetRow> {};

TEST_P(ForgetTest, OnlyExitCodes20And31ForgetTheKeptPassPhrase) {
  const ForgetRow& row = GetParam();
  extension.Settings.KeepPassword = 1;
  workspace.WriteMessageForAlice();

  workspace.SetFault(row.fault);
  PgpRequest failing = Request(kDecode, asc);
  ASSERT_TRUE(RunAnswered(failing, {TypePassPhrase(kAlicePassPhrase)}));
  EXPECT_EQ(failing.exitCode, row.exitCode);
  EXPECT_EQ(PassPhraseKept(extension), !row.forgotten);

  workspace.SetFault(nullptr);
  PgpRequest next = Request(kDecode, asc);
  std::vector<SeenDialog> seen;
  ASSERT_TRUE(RunAnswered(next, {TypePassPhrase(kAlicePassPhrase)}, &seen));
  EXPECT_EQ(seen.size(), row.forgotten ? 1u : 0u);
  EXPECT_EQ(next.exitCode, 0u);
  EXPECT_FALSE(EnvironmentHasPassPhrase());
}

INSTANTIATE_TEST_SUITE_P(
    ExitCodes, ForgetTest,
    testing::Values(ForgetRow{"Exit20", "exit=20", 20, true},
                    ForgetRow{"Exit31", "exit=31", 31, true},
                    ForgetRow{"Exit30", "exit=30", 30, false},
                    ForgetRow{"Exit1", "exit=1", 1, false},
                    // Only the low 16 bits count as PGP's code, but the
                    // forgetting compares all 32.
                    ForgetRow{"Exit0x10000", "exit=0x10000", 0x10000, false},
                    ForgetRow{"Exit0x1001F", "exit=0x1001F", 0x1001F, false}),
    [](const testing::TestParamInfo<ForgetRow>& info) { return info.param.name; });

TEST_F(PgpRunnerTest, WrongPassPhraseIsForgottenAndAskedAgain) {
  extension.Settings.KeepPassword = 1;
  workspace.WriteMessageForAlice();

  PgpRequest wrong = Request(kDecode, asc);
  ASSERT_TRUE(RunAnswered(wrong, {TypePassPhrase("not-alice")}));
  EXPECT_EQ(wrong.exitCode, 31u);
  EXPECT_FALSE(PassPhraseKept(extension));

  PgpRequest right = Request(kDecode, asc);
  std::vector<SeenDialog> seen;
  ASSERT_TRUE(RunAnswered(right, {TypePassPhrase(kAlicePassPhrase)}, &seen));
  EXPECT_EQ(seen.size(), 1u);
  EXPECT_EQ(right.exitCode, 0u);
}

TEST_F(PgpRunnerTest, PassPhraseFromTheStartIsUsedAndRemovedWhenWrong) {
  extension.Settings.KeepPassword = 1;
  workspace.WriteMessageForAlice();
  SetEnvironmentVariableA("PGPPASS", kAlicePassPhrase);  // the workspace puts it back

  PgpRequest first = Request(kDecode, asc);
  std::vector<SeenDialog> seen;
  ASSERT_TRUE(RunAnswered(first, {}, &seen));
  EXPECT_TRUE(seen.empty());
  EXPECT_EQ(first.exitCode, 0u);
  EXPECT_TRUE(PassPhraseKept(extension));
  EXPECT_EQ(EnvironmentPassPhrase(), kAlicePassPhrase);

  workspace.SetFault("exit=31");
  PgpRequest failing = Request(kDecode, asc);
  ASSERT_TRUE(RunAnswered(failing, {}));
  EXPECT_FALSE(EnvironmentHasPassPhrase());
  EXPECT_FALSE(PassPhraseKept(extension));

  workspace.SetFault(nullptr);
  PgpRequest again = Request(kDecode, asc);
  ASSERT_TRUE(RunAnswered(again, {TypePassPhrase(kAlicePassPhrase)}, &seen));
  EXPECT_EQ(seen.size(), 1u);
  EXPECT_EQ(again.exitCode, 0u);
}

TEST_F(PgpRunnerTest, PassPhraseEnteredReplacesAnUnusableOneInPgpsEnvironment) {
  extension.Settings.KeepPassword = 1;
  workspace.WriteMessageForAlice();
  // Too long to be taken over: the dialog asks, and PGP must get the typed
  // one rather than the one it would inherit.
  SetEnvironmentVariableA("PGPPASS", std::string(200, 'x').c_str());
  PgpRequest request = Request(kDecode, asc);
  std::vector<SeenDialog> seen;
  ASSERT_TRUE(RunAnswered(request, {TypePassPhrase(kAlicePassPhrase)}, &seen));
  EXPECT_EQ(seen.size(), 1u);
  EXPECT_EQ(request.exitCode, 0u);
  EXPECT_EQ(EnvironmentPassPhrase(), std::string(200, 'x'));
}

struct NoKeepRow {
  const char* name;
  const char* environment;  // PGPPASS before the run, null: not set
  const char* fault;
};

class KeepPasswordOffTest : public PgpRunnerTest, public testing::WithParamInterface<NoKeepRow> {};

TEST_P(KeepPasswordOffTest, NothingIsAskedSetOrRemoved) {
  const NoKeepRow& row = GetParam();
  extension.Settings.KeepPassword = 0;
  SetEnvironmentVariableA("PGPPASS", row.environment);
  workspace.SetFault(row.fault);

  PgpRequest request = Request(kDecode, workspace / "missing.asc");
  std::vector<SeenDialog> seen;
  ASSERT_TRUE(RunAnswered(request, {}, &seen));
  EXPECT_TRUE(seen.empty());
  EXPECT_FALSE(PassPhraseKept(extension));
  EXPECT_EQ(EnvironmentPassPhrase(), row.environment ? row.environment : "");
  const auto calls = workspace.Calls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].passPhraseSet, row.environment != nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Environment, KeepPasswordOffTest,
    testing::Values(NoKeepRow{"NotSet", nullptr, nullptr},
                    NoKeepRow{"NotSetExit20", nullptr, "exit=20"},
                    NoKeepRow{"SetExit20", kAlicePassPhrase, "exit=20"},
                    NoKeepRow{"SetExit31", kAlicePassPhrase, "exit=31"}),
    [](const testing::TestParamInfo<NoKeepRow>& info) { return info.param.name; });

// ----- failures to start -----

class MissingPgpTest : public PgpRunnerTest, public testing::WithParamInterface<int32_t> {};

TEST_P(MissingPgpTest, ReportsTheMissingProgramWithoutWaiting) {
  extension.Settings.KeepOpen = GetParam();
  const std::string missing = workspace / "pgp.exe";
  RunnerStateGuard::SetPgpPath(missing);
  PgpRequest request = Request(kEncrypt, base, "bob");
  ASSERT_FALSE(RunAnswered(request, {}));
  EXPECT_EQ(std::string(runMessage), "File not found:\n  " + missing);
  EXPECT_TRUE(workspace.Calls().empty());
}

// The verdict file is made by the module alone, under a new name for every
// run: a run without one is not started.
TEST_F(PgpRunnerTest, EveryRunHasAVerdictFileOfItsOwnOrDoesNotRun) {
  PgpRequest request = Request(kCheck, asc);
  WriteFileBytes(asc, "not armour");
  ASSERT_TRUE(RunAnswered(request, {})) << runMessage;
  const std::string first = request.verdict.name();
  EXPECT_EQ(first.rfind(base + "-", 0), 0u) << first;
  EXPECT_EQ(first.size(), base.size() + 21) << first;
  EXPECT_EQ(first.find_first_not_of("0123456789abcdef", base.size() + 1), base.size() + 17);
  EXPECT_EQ(first.substr(base.size() + 17), ".vrd");
  EXPECT_TRUE(FileExistsOnDisk(first));
  ASSERT_TRUE(RunAnswered(request, {})) << runMessage;
  EXPECT_NE(std::string(request.verdict.name()), first);
  EXPECT_FALSE(FileExistsOnDisk(first)) << "the verdict of the run before is gone";
  const std::string second = request.verdict.name();
  request.verdict.Wipe();
  EXPECT_FALSE(FileExistsOnDisk(second));

  const std::string missing = workspace / "gone\\quillnet";
  std::strcpy(extension.TempBaseName, missing.c_str());
  workspace.ClearLog();
  EXPECT_FALSE(RunAnswered(request, {}));
  const std::string text = runMessage;
  EXPECT_EQ(text.rfind("Path not found:\n  " + missing + "-", 0), 0u) << text;
  EXPECT_EQ(text.substr(text.size() - 4), ".vrd") << text;
  EXPECT_TRUE(workspace.Calls().empty()) << "PGP ran without its verdict file";
}

INSTANTIATE_TEST_SUITE_P(KeepOpen, MissingPgpTest, testing::Values(-1, 0, 1),
                         [](const testing::TestParamInfo<int32_t>& info) {
                           return info.param < 0 ? "Negative" : info.param ? "Positive" : "Zero";
                         });

TEST_F(PgpRunnerTest, MissingPgpKeepsTheKeptPassPhrase) {
  extension.Settings.KeepPassword = 1;
  SetEnvironmentVariableA("PGPPASS", kAlicePassPhrase);
  PgpRequest taken = Request(kDecode, workspace / "missing.asc");
  ASSERT_TRUE(RunAnswered(taken, {}));
  ASSERT_TRUE(PassPhraseKept(extension));

  RunnerStateGuard::SetPgpPath(workspace / "pgp.exe");
  PgpRequest request = Request(kDecode, asc);
  ASSERT_FALSE(RunAnswered(request, {}));
  EXPECT_TRUE(PassPhraseKept(extension));
}

// ----- the exit-code box -----

struct ExitBoxRow {
  const char* name;
  PgpFunction function;
  uint32_t exitCode;
  const char* users;
  const char* caption;
  const char* text;
};

class ExitCodeBoxTest : public PgpRunnerTest, public testing::WithParamInterface<ExitBoxRow> {};

TEST_P(ExitCodeBoxTest, ShowsTheLow16BitsUnderTheCaptionOfTheRun) {
  const ExitBoxRow& row = GetParam();
  runState.function = row.function;
  PgpRequest request = Request(kDecode, asc, row.users);
  request.exitCode = row.exitCode;
  DialogAnswerer answerer({{row.caption, IDOK}});
  {
    Watchdog watchdog("ShowPgpExitCode");
    ShowPgpExitCode(runState, request);
  }
  const auto seen = answerer.Seen();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].title, row.caption);
  EXPECT_EQ(seen[0].text, row.text);
  EXPECT_EQ(answerer.Unexpected(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Runs, ExitCodeBoxTest,
    testing::Values(
        ExitBoxRow{"Decode31", Decode, 31, "", " PGP - Decode ", " PGP returned errorcode: 31"},
        ExitBoxRow{"EncryptHighBits", Encrypt, 0x2000B, "bob", " PGP - Encrypt ",
                   " PGP returned errorcode: 11"},
        ExitBoxRow{"ClearSign20", Encrypt, 20, "", " PGP - Clearsign ",
                   " PGP returned errorcode: 20"},
        ExitBoxRow{"AddKey65535", AddKey, 0xFFFF, "", " PGP - Add key ",
                   " PGP returned errorcode: 65535"}),
    [](const testing::TestParamInfo<ExitBoxRow>& info) { return info.param.name; });

// ----- the pass-phrase dialog -----

struct DialogRow {
  const char* name;
  WPARAM command;
  const char* passPhrase;  // what the dialog gave its caller
  const char* control;     // the edit control's text afterwards
};

class PassPhraseDialogTest : public testing::TestWithParam<DialogRow> {};

TEST_P(PassPhraseDialogTest, CopiesAndClearsOnlyOnAPlainCommand) {
  const DialogRow& row = GetParam();
  char typed[kPassPhraseSize] = {};
  HWND dialog = CreateDialogParamA(moduleInstance, MAKEINTRESOURCEA(IDD_PASSPHRASE), nullptr,
                                   PassPhraseDialogProc, reinterpret_cast<LPARAM>(typed));
  ASSERT_NE(dialog, nullptr);
  HWND edit = GetDlgItem(dialog, IDC_PASSPHRASE);
  EXPECT_EQ(WindowTextOf(edit), "");
  EXPECT_EQ(SendMessageA(edit, EM_GETLIMITTEXT, 0, 0), kPassPhraseSize - 1);

  SetWindowTextA(edit, "secret words");
  SendMessageA(dialog, WM_COMMAND, row.command, reinterpret_cast<LPARAM>(GetDlgItem(dialog, LOWORD(row.command))));
  EXPECT_EQ(std::string(typed), row.passPhrase);
  EXPECT_EQ(WindowTextOf(edit), row.control);
  DestroyWindow(dialog);
  SecureZeroMemory(typed, sizeof typed);
}

INSTANTIATE_TEST_SUITE_P(
    Commands, PassPhraseDialogTest,
    testing::Values(DialogRow{"Ok", MAKEWPARAM(IDOK, BN_CLICKED), "secret words", ""},
                    DialogRow{"Cancel", MAKEWPARAM(IDCANCEL, BN_CLICKED), "", ""},
                    DialogRow{"OkNotification", MAKEWPARAM(IDOK, BN_DOUBLECLICKED), "",
                              "secret words"}),
    [](const testing::TestParamInfo<DialogRow>& info) { return info.param.name; });

TEST(PassPhraseDialog, LongInputIsLimitedToWhatIsKept) {
  char typed[kPassPhraseSize] = {};
  HWND dialog = CreateDialogParamA(moduleInstance, MAKEINTRESOURCEA(IDD_PASSPHRASE), nullptr,
                                   PassPhraseDialogProc, reinterpret_cast<LPARAM>(typed));
  ASSERT_NE(dialog, nullptr);
  HWND edit = GetDlgItem(dialog, IDC_PASSPHRASE);
  // Typing goes through the limit; WM_SETTEXT would not.
  SendMessageA(edit, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(std::string(80, 'k').c_str()));
  EXPECT_EQ(GetWindowTextLengthA(edit), kPassPhraseSize - 1);
  SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  EXPECT_EQ(std::string(typed), std::string(kPassPhraseSize - 1, 'k'));
  DestroyWindow(dialog);
  SecureZeroMemory(typed, sizeof typed);
}

// ----- handles -----

// Kernel handles are small multiples of four; counting the valid ones is
// the only way to see a leak that Wine's GetProcessHandleCount cannot show.
int CountOpenHandles() {
  int count = 0;
  DWORD flags = 0;
  for (uintptr_t value = 4; value < 0x40000; value += 4)
    if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) ++count;
  return count;
}

TEST_F(PgpRunnerTest, EveryRunReleasesItsHandles) {
  extension.Settings.KeepPassword = 1;
  SetEnvironmentVariableA("PGPPASS", kAlicePassPhrase);
  const std::string missingPgp = workspace / "pgp.exe";
  const auto runAll = [&] {
    Watchdog watchdog("runs");
    RunnerStateGuard::SetPgpPath(PgpStubPath());
    PgpRequest plain = Request(kCheck, workspace / "missing.asc");
    EXPECT_TRUE(RunPgpAsCommand(plain));
    PgpRequest withBlock = Request(kDecode, workspace / "missing.asc");
    EXPECT_TRUE(RunPgpAsCommand(withBlock));
    RunnerStateGuard::SetPgpPath(missingPgp);
    PgpRequest notStarted = Request(kDecode, workspace / "missing.asc");
    EXPECT_FALSE(RunPgpAsCommand(notStarted));
  };
  runAll();  // anything the system sets up once is there before counting
  const int before = CountOpenHandles();
  for (int i = 0; i < 3; ++i) runAll();
  EXPECT_EQ(CountOpenHandles(), before);
}

// ----- the console -----

// Runs RunPgp while a side thread watches the console the run makes: it
// waits for the title, then for the closing line, and then plays `atLine`
// against the waiting console (by default: presses a key until the run is
// back). Reports whether the closing line was seen and how it looked.
struct WatchedRun {
  bool result = false;
  bool titleSeen = false;
  bool lineSeen = false;
  SMALL_RECT window{};
  std::string bottomRow;
  std::vector<WORD> attributes;
  std::string problems;
};

using AtLine = std::function<void(SideThread&, ConsoleProbe&)>;

void PressKeyUntilBack(SideThread& side, ConsoleProbe& console) {
  while (!side.returned) {
    console.Inject(KeyRecord(true));
    Sleep(20);
  }
}

template <typename Call>
WatchedRun RunWatched(const std::string& title, Call call, AtLine atLine = PressKeyUntilBack) {
  WatchedRun run;
  SideThread side([&](SideThread& self) {
    ConsoleProbe console;
    run.titleSeen = console.WaitForTitle(title, self.returned);
    if (!run.titleSeen) return;
    if (!console.WaitForBottomRow(kClosingLine, self.returned)) return;
    run.lineSeen = true;
    run.window = console.Window();
    run.bottomRow = console.BottomRowText();
    run.attributes = console.BottomRowAttributes();
    atLine(self, console);
    // Whatever the script did, the call must not be left waiting.
    PressKeyUntilBack(self, console);
  });
  {
    Watchdog watchdog("console run");
    run.result = call();
  }
  side.returned = true;
  side.Join();
  run.problems = side.Problems();
  return run;
}

void ExpectClosingLine(const WatchedRun& run) {
  const int n = static_cast<int>(std::strlen(kClosingLine));
  const int right = run.window.Right;
  ASSERT_GT(right, n);
  ASSERT_EQ(run.bottomRow.size(), static_cast<size_t>(right + 1));
  EXPECT_EQ(run.bottomRow.substr((right - n) >> 1, n), kClosingLine) << run.bottomRow;
  ASSERT_EQ(run.attributes.size(), static_cast<size_t>(right + 1));
  for (int column = 0; column <= right; ++column)
    ASSERT_EQ(run.attributes[column], 0xE4) << "column " << column;
}

std::string CommandLineOf(const PgpRequest& request) {
  return "\"" + std::string(extension.PgpPath) + "\" " +
         BuildPgpOptions(request.flags, request.fileName, request.userId);
}

enum class Setup { PlainText, UnknownRecipient, MessageForAlice };

struct ConsoleRow {
  const char* name;
  int32_t keepOpen;
  uint16_t flags;
  Setup setup;
  const char* fault;
  uint32_t exitCode;
  bool waits;
};

class ConsoleRuleTest : public PgpRunnerTest, public testing::WithParamInterface<ConsoleRow> {};

TEST_P(ConsoleRuleTest, ConsoleWaitsAsKeepOpenAndTheOutcomeSay) {
  const ConsoleRow& row = GetParam();
  extension.Settings.KeepOpen = row.keepOpen;
  // The pass phrase is always there, so PGP never asks in the console.
  SetEnvironmentVariableA("PGPPASS", kAlicePassPhrase);
  std::string file = base;
  std::string users = row.flags & PGPREQ_USERID ? "alice" : "";
  if (row.setup == Setup::MessageForAlice) {
    workspace.WriteMessageForAlice();
    file = asc;
  } else {
    WriteFileBytes(base, "Hello.\r\n");
    if (row.setup == Setup::UnknownRecipient) users = "nobody";
  }
  workspace.SetFault(row.fault);
  PgpRequest request = Request(row.flags, file, users);

  const WatchedRun run = RunWatched(CommandLineOf(request), [&] { return RunPgpAsCommand(request); });

  EXPECT_TRUE(run.result) << runMessage;
  EXPECT_EQ(request.exitCode, row.exitCode);
  EXPECT_EQ(run.lineSeen, row.waits);
  if (row.waits) {
    EXPECT_TRUE(run.titleSeen) << "the console was not titled with the command line";
    ExpectClosingLine(run);
  }
  EXPECT_EQ(run.problems, "");
  EXPECT_EQ(GetConsoleWindow(), nullptr) << "the console was not released";
}

INSTANTIATE_TEST_SUITE_P(
    KeepOpen, ConsoleRuleTest,
    testing::Values(
        ConsoleRow{"Positive_EncryptSucceeded", 1, kEncrypt, Setup::PlainText, nullptr, 0, false},
        ConsoleRow{"Positive_ClearSignSucceeded", 1, kClearSign, Setup::PlainText, nullptr, 0,
                   false},
        ConsoleRow{"Positive_Exit0x10000IsSuccess", 1, kEncrypt, Setup::PlainText,
                   "exit=0x10000", 0x10000, false},
        ConsoleRow{"Positive_EncryptFailed", 1, kEncrypt, Setup::UnknownRecipient, nullptr, 11,
                   true},
        ConsoleRow{"Positive_DecodeSucceeded", 1, kDecode, Setup::MessageForAlice, nullptr, 0,
                   true},
        ConsoleRow{"Zero_EncryptSucceeded", 0, kEncrypt, Setup::PlainText, nullptr, 0, true},
        ConsoleRow{"Zero_DecodeSucceeded", 0, kDecode, Setup::MessageForAlice, nullptr, 0, true}),
    [](const testing::TestParamInfo<ConsoleRow>& info) { return info.param.name; });

TEST_F(PgpRunnerTest, KeyReleaseDoesNotEndTheConsoleWait) {
  extension.Settings.KeepOpen = 0;
  WriteFileBytes(base, "Hello.\r\n");
  PgpRequest request = Request(kEncrypt, base, "alice");

  const WatchedRun run = RunWatched(
      CommandLineOf(request), [&] { return RunPgpAsCommand(request); },
      [](SideThread& side, ConsoleProbe& console) {
        // The first release taken may be the flush of earlier input; every
        // later one must have been read, and the reader must go on.
        for (int i = 0; i < 3; ++i) {
          if (!console.Inject(KeyRecord(false)) || !console.WaitConsumed(side.returned))
            return side.Fail("key release " + std::to_string(i) + " was not taken");
        }
        if (side.returned) side.Fail("a key release ended the wait");
      });

  EXPECT_TRUE(run.result);
  EXPECT_TRUE(run.lineSeen);
  EXPECT_EQ(run.problems, "");
}

namespace console_probe {
std::atomic<int> calls{0};
BOOL WINAPI Probe(DWORD) {
  ++calls;
  return TRUE;
}
}  // namespace console_probe

TEST_F(PgpRunnerTest, CtrlCInTheOwnConsoleLeavesTheClientRunning) {
  extension.Settings.KeepOpen = 0;
  WriteFileBytes(base, "Hello.\r\n");
  PgpRequest request = Request(kEncrypt, base, "alice");
  // Handlers run newest first: the probe sees an event only when nothing of
  // the module's took it. It also keeps the test alive if that happens.
  console_probe::calls = 0;
  SetConsoleCtrlHandler(console_probe::Probe, TRUE);

  const WatchedRun run = RunWatched(
      CommandLineOf(request), [&] { return RunPgpAsCommand(request); },
      [](SideThread& side, ConsoleProbe&) {
        if (!GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0)) return side.Fail("no Ctrl+C sent");
        Sleep(500);  // delivery is asynchronous
        if (console_probe::calls != 0) side.Fail("the module did not take the control event");
      });
  EXPECT_TRUE(run.result);
  EXPECT_TRUE(run.lineSeen);
  EXPECT_EQ(run.problems, "");

  // Once the console is gone the module's handler must be too: in a new
  // console the probe is the one that sees the event.
  ASSERT_TRUE(AllocConsole());
  GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0);
  for (int i = 0; i < 500 && console_probe::calls == 0; ++i) Sleep(10);
  EXPECT_EQ(console_probe::calls, 1) << "the module's handler outlived its console";
  FreeConsole();
  SetConsoleCtrlHandler(console_probe::Probe, FALSE);
}

TEST_F(PgpRunnerTest, NegativeKeepOpenLeavesTheConsoleAlone) {
  extension.Settings.KeepOpen = -1;
  // A console of the test's own, which the run must neither free nor replace.
  FreeConsole();
  ASSERT_TRUE(AllocConsole());
  SetConsoleTitleA("the test's own console");
  const HWND window = GetConsoleWindow();
  const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  WriteFileBytes(base, "Hello.\r\n");
  PgpRequest request = Request(kEncrypt, base, "alice");

  ASSERT_TRUE(RunAnswered(request, {}));
  EXPECT_EQ(request.exitCode, 0u);
  EXPECT_EQ(GetConsoleWindow(), window);
  EXPECT_EQ(GetStdHandle(STD_INPUT_HANDLE), input);
  char title[64] = "";
  GetConsoleTitleA(title, sizeof title);
  EXPECT_STREQ(title, "the test's own console");
  FreeConsole();
}

// The closing wait itself, in a console the test makes: which input ends it.
struct WaitRow {
  const char* name;
  std::vector<INPUT_RECORD> ignored;
  INPUT_RECORD ending;
};

class ConsoleKeyWaitTest : public testing::TestWithParam<WaitRow> {};

TEST_P(ConsoleKeyWaitTest, OnlyAKeyPressOrAButtonPressEndsTheWait) {
  const WaitRow& row = GetParam();
  FreeConsole();
  ASSERT_TRUE(AllocConsole());
  const std::string title = std::string("closing wait ") + row.name;
  SetConsoleTitleA(title.c_str());

  const WatchedRun run = RunWatched(
      title,
      [] {
        WaitForConsoleKey();
        return true;
      },
      [&row](SideThread& side, ConsoleProbe& console) {
        if (!console.Inject(KeyRecord(false)) || !console.WaitConsumed(side.returned))
          return side.Fail("the first record was not taken");
        for (const INPUT_RECORD& record : row.ignored) {
          // A release after each record shows the reader went on past it.
          if (!console.Inject(record) || !console.WaitConsumed(side.returned) ||
              !console.Inject(KeyRecord(false)) || !console.WaitConsumed(side.returned))
            return side.Fail("an ignored record ended the wait");
        }
        if (side.returned) return side.Fail("the wait ended early");
        console.Inject(row.ending);
        for (int i = 0; i < 500 && !side.returned; ++i) Sleep(10);
        if (!side.returned) side.Fail("the ending record did not end the wait");
      });
  FreeConsole();

  EXPECT_TRUE(run.lineSeen);
  ExpectClosingLine(run);
  EXPECT_EQ(run.problems, "");
}

const INPUT_RECORD kKeyDown = KeyRecord(true);

INSTANTIATE_TEST_SUITE_P(
    Records, ConsoleKeyWaitTest,
    testing::Values(
        WaitRow{"KeyPress", {}, kKeyDown},
        WaitRow{"LeftButtonPress", {}, MouseRecord(FROM_LEFT_1ST_BUTTON_PRESSED, 0)},
        WaitRow{"RightButtonPress", {}, MouseRecord(RIGHTMOST_BUTTON_PRESSED, 0)},
        WaitRow{"KeyRelease", {KeyRecord(false, VK_RETURN, '\r')}, kKeyDown},
        WaitRow{"MoveWithButtonHeld", {MouseRecord(FROM_LEFT_1ST_BUTTON_PRESSED, MOUSE_MOVED)},
                kKeyDown},
        WaitRow{"DoubleClick", {MouseRecord(FROM_LEFT_1ST_BUTTON_PRESSED, DOUBLE_CLICK)},
                MouseRecord(FROM_LEFT_1ST_BUTTON_PRESSED, 0)},
        WaitRow{"Wheel", {MouseRecord(0x00780000, MOUSE_WHEELED)}, kKeyDown},
        WaitRow{"ButtonRelease", {MouseRecord(0, 0)}, kKeyDown},
        WaitRow{"Focus", {FocusRecord(true), FocusRecord(false)}, kKeyDown}),
    [](const testing::TestParamInfo<WaitRow>& info) { return info.param.name; });

TEST(ConsoleKeyWait, ReturnsAtOnceWithoutAConsole) {
  FreeConsole();
  Watchdog watchdog("WaitForConsoleKey without a console");
  WaitForConsoleKey();
}

}  // namespace
