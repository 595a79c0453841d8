// pgp2gpg.exe under Windows rules: started with the command lines the
// module writes, against a stand-in gpg.exe that records what it was given
// (as CommandLineToArgvW splits it) and answers with scripted status lines.
#include <windows.h>
#include <shellapi.h>
#include <aclapi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <optional>
#include <map>
#include <sstream>

#include "command_line.h"
#include "exit_codes.h"

namespace pgp2gpg {
namespace {

std::wstring Wide(const std::string& text) {
  if (text.empty()) return {};
  const int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(size), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size);
  return out;
}

std::string Narrow(const std::wstring& text) {
  if (text.empty()) return {};
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr,
                                       0, nullptr, nullptr);
  std::string out(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size, nullptr,
                      nullptr);
  return out;
}

std::string BinDir() {
  wchar_t path[MAX_PATH];
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring dir(path, length);
  return Narrow(dir.substr(0, dir.find_last_of(L'\\')));
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(std::filesystem::path(Wide(path)), std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteAll(const std::string& path, const std::string& content) {
  std::ofstream out(std::filesystem::path(Wide(path)), std::ios::binary | std::ios::trunc);
  out << content;
}

bool Exists(const std::string& path) {
  return GetFileAttributesW(Wide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

struct Result {
  DWORD exitCode = 0;
  std::string console;
};

// Sets environment variables for the children of one test and puts the old
// values back afterwards.
class ScopedEnvironment {
 public:
  ~ScopedEnvironment() {
    for (const auto& [name, value] : saved_) {
      SetEnvironmentVariableW(Wide(name).c_str(), value ? Wide(*value).c_str() : nullptr);
    }
  }
  void Set(const std::string& name, const std::optional<std::string>& value) {
    if (saved_.count(name) == 0) {
      wchar_t buffer[32768];
      const DWORD length = GetEnvironmentVariableW(Wide(name).c_str(), buffer, 32768);
      saved_[name] = length ? std::optional<std::string>(Narrow(std::wstring(buffer, length))) : std::nullopt;
    }
    SetEnvironmentVariableW(Wide(name).c_str(), value ? Wide(*value).c_str() : nullptr);
  }

 private:
  std::map<std::string, std::optional<std::string>> saved_;
};

class Pgp2GpgExe : public testing::Test {
 protected:
  void SetUp() override {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    static int serial = 0;
    work_ = Narrow(temp) + "p2gtest" + std::to_string(GetCurrentProcessId()) + "-" +
            std::to_string(GetTickCount()) + "-" + std::to_string(++serial);
    CreateDirectoryW(Wide(work_).c_str(), nullptr);
    log_ = work_ + "\\gpg.log";
    environment_.Set("QUILLNET_GPG", BinDir() + "\\pgp2gpg_fake\\gpg.exe");
    environment_.Set("FAKEGPG_LOG", log_);
    environment_.Set("PGPPASS", std::nullopt);
    for (const char* name : {"FAKEGPG_STATUS", "FAKEGPG_EXIT", "FAKEGPG_STDERR", "FAKEGPG_OUTPUT"}) {
      environment_.Set(name, std::nullopt);
    }
  }

  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(std::filesystem::path(Wide(work_)), ignored);
  }

  // Runs a command line exactly as written (the module's form: program
  // path, blanks, words), collecting what the program prints.
  Result Run(const std::string& commandLine, const std::string& program = "") {
    const std::string consoleFile = work_ + "\\console.txt";
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE console = CreateFileW(Wide(consoleFile).c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                                 CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nullptr;
    startup.hStdOutput = console;
    startup.hStdError = console;
    std::wstring line = Wide(commandLine);
    PROCESS_INFORMATION process = {};
    Result result;
    const std::wstring application = Wide(program);
    if (!CreateProcessW(program.empty() ? nullptr : application.c_str(), line.data(), nullptr, nullptr,
                        TRUE, 0, nullptr, Wide(work_).c_str(), &startup, &process)) {
      ADD_FAILURE() << "cannot start " << commandLine << ": " << GetLastError();
      CloseHandle(console);
      return result;
    }
    CloseHandle(console);
    if (WaitForSingleObject(process.hProcess, 60000) != WAIT_OBJECT_0) {
      TerminateProcess(process.hProcess, 99);
      ADD_FAILURE() << "pgp2gpg did not end";
    }
    GetExitCodeProcess(process.hProcess, &result.exitCode);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    result.console = ReadAll(consoleFile);
    return result;
  }

  std::string Exe() const { return BinDir() + "\\pgp2gpg.exe"; }
  std::string In(const std::string& name) const { return work_ + "\\" + name; }

  // gpg's arguments of each call, as the stand-in recorded them.
  std::vector<std::vector<std::string>> Calls() const {
    std::vector<std::vector<std::string>> calls(1);
    std::istringstream lines(ReadAll(log_));
    std::string line;
    while (std::getline(lines, line)) {
      if (line.rfind("arg=", 0) == 0) calls.back().push_back(line.substr(4));
      if (line == "end") calls.emplace_back();
    }
    calls.pop_back();
    return calls;
  }

  std::string work_;
  std::string log_;
  ScopedEnvironment environment_;
};

const std::string kSigned =
    "-----BEGIN PGP SIGNED MESSAGE-----\r\n\r\ntext\r\n-----BEGIN PGP SIGNATURE-----\r\n\r\niQ==\r\n"
    "-----END PGP SIGNATURE-----\r\n";
const std::string kMessage = "-----BEGIN PGP MESSAGE-----\r\n\r\nhQ==\r\n-----END PGP MESSAGE-----\r\n";
const std::string kKey =
    "-----BEGIN PGP PUBLIC KEY BLOCK-----\r\n\r\nxgMEAQI=\r\n-----END PGP PUBLIC KEY BLOCK-----\r\n";

// User ids with blanks, quotes, backslashes before quotes and at the end,
// an empty one, a tab and a non-ASCII letter: written into pgp2gpg's
// command line by the quoting rules, they must reach gpg.exe unchanged.
TEST_F(Pgp2GpgExe, TrickyArgumentsReachGpgUnchanged) {
  const std::vector<std::string> ids = {
      "Jo Smith", "say \"hi\"", "back\\", "C:\\my dir\\", "a\\\"b", "", "-o x", "tab\tx",
      "M\xC3\xBCller", "\\\\server\\share", "--output=x"};
  const std::string folder = In("dir with blank");
  CreateDirectoryW(Wide(folder).c_str(), nullptr);
  const std::string file = folder + "\\quillnet";
  WriteAll(file, "text");
  std::vector<std::string> words = {"-aetw", file};
  words.insert(words.end(), ids.begin(), ids.end());
  environment_.Set("FAKEGPG_STATUS", "BEGIN_ENCRYPTION 2 9|END_ENCRYPTION");
  const Result result = Run(JoinCommandLine(Exe(), words));
  ASSERT_EQ(result.exitCode, static_cast<DWORD>(kExitOk)) << result.console;
  const auto calls = Calls();
  ASSERT_EQ(calls.size(), 1u);
  const std::vector<std::string>& args = calls[0];
  ASSERT_GE(args.size(), 2 * ids.size() + 2);
  std::vector<std::string> tail(args.end() - static_cast<long>(2 * ids.size() + 2), args.end());
  std::vector<std::string> expected;
  for (const std::string& id : ids) expected.insert(expected.end(), {"-r", id});
  expected.insert(expected.end(), {"--", file});
  EXPECT_EQ(tail, expected);
  const std::vector<std::string> head(args.begin(), args.begin() + 6);
  EXPECT_EQ(head, (std::vector<std::string>{"--batch", "--no-auto-key-retrieve", "--status-fd", "1",
                                            "--yes", "--output"}));
  EXPECT_EQ(args[6].rfind(file + ".asc.p2g", 0), 0u) << args[6];
  EXPECT_EQ(ReadAll(file + ".asc"), "fake output");
  EXPECT_FALSE(Exists(file));  // wiped
  EXPECT_FALSE(Exists(args[6]));
}

// The module writes its PGP path unquoted, two blanks before the file;
// pgp2gpg renamed pgp.exe in a folder with a blank must still find its
// words.
TEST_F(Pgp2GpgExe, ModuleCommandLinesWithUnquotedPathWithBlanks) {
  const std::string folder = In("Program Files");
  CreateDirectoryW(Wide(folder).c_str(), nullptr);
  const std::string pgp = folder + "\\pgp.exe";
  ASSERT_TRUE(CopyFileW(Wide(Exe()).c_str(), Wide(pgp).c_str(), FALSE));
  // A temporary folder with a blank, written unquoted as the module does.
  const std::string temp = In("My Temp");
  CreateDirectoryW(Wide(temp).c_str(), nullptr);
  WriteAll(temp + "\\quillnet.asc", kSigned);
  environment_.Set("FAKEGPG_STATUS", "PLAINTEXT 74 0 |GOODSIG AB Alice <a@example.org>");
  environment_.Set("FAKEGPG_OUTPUT", "text\r\n");
  Result result = Run(pgp + "  " + temp + "\\quillnet.asc", pgp);
  ASSERT_EQ(result.exitCode, static_cast<DWORD>(kExitOk)) << result.console;
  EXPECT_EQ(ReadAll(temp + "\\quillnet"), "text\r\n");
  EXPECT_NE(result.console.find("Good signature from user \"Alice <a@example.org>\"."),
            std::string::npos)
      << result.console;

  WriteAll(temp + "\\quillnet", "to encrypt");
  environment_.Set("FAKEGPG_STATUS", "END_ENCRYPTION");
  environment_.Set("FAKEGPG_OUTPUT", "armoured");
  result = Run(pgp + " -aetw " + temp + "\\quillnet bob \"Jo Smith\"", pgp);
  ASSERT_EQ(result.exitCode, static_cast<DWORD>(kExitOk)) << result.console;
  const auto calls = Calls();
  ASSERT_EQ(calls.size(), 2u) << ReadAll(log_);
  const std::vector<std::string> tail(calls[1].end() - 6, calls[1].end());
  EXPECT_EQ(tail, (std::vector<std::string>{"-r", "bob", "-r", "Jo Smith", "--", temp + "\\quillnet"}));
  EXPECT_EQ(ReadAll(temp + "\\quillnet.asc"), "armoured");
}

struct ExitRow {
  std::string name;
  std::string words;    // after the program; "@" stands for the work folder
  std::string file;     // its name in the work folder
  std::string content;
  std::string status;
  int gpgExit;
  int exitCode;
  std::string output;   // a file that must exist afterwards, or "" for none
};

class ExitCodes : public Pgp2GpgExe, public testing::WithParamInterface<ExitRow> {};

TEST_P(ExitCodes, MapGpgsStatusToPgpsCodes) {
  const ExitRow& row = GetParam();
  WriteAll(In(row.file), row.content);
  environment_.Set("FAKEGPG_STATUS", row.status);
  environment_.Set("FAKEGPG_EXIT", std::to_string(row.gpgExit));
  environment_.Set("FAKEGPG_STDERR", "gpg: scripted message\n");
  std::string words = row.words;
  for (size_t at = words.find('@'); at != std::string::npos; at = words.find('@')) {
    words.replace(at, 1, work_);
  }
  const Result result = Run(QuoteArgument(Exe()) + " " + words);
  EXPECT_EQ(result.exitCode, static_cast<DWORD>(row.exitCode)) << result.console;
  // Only the input, the log and the console file may be left, and the
  // output on success; never a half-written temporary file.
  std::vector<std::string> names;
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW(Wide(work_ + "\\*").c_str(), &found);
  while (search != INVALID_HANDLE_VALUE) {
    const std::string name = Narrow(found.cFileName);
    if (name != "." && name != ".." && name != "gpg.log" && name != "console.txt") names.push_back(name);
    if (!FindNextFileW(search, &found)) break;
  }
  FindClose(search);
  std::vector<std::string> expected = {row.file};
  if (!row.output.empty()) expected.push_back(row.output);
  std::sort(expected.begin(), expected.end());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, expected);
  if (row.exitCode != kExitOk && row.exitCode != kExitBadArguments && row.exitCode != kExitFileNotFound) {
    EXPECT_NE(result.console.find("gpg said:"), std::string::npos) << result.console;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ExitCodes,
    testing::Values(
        ExitRow{"GoodSignature", "@\\q.asc", "q.asc", kSigned, "PLAINTEXT 74 0 |GOODSIG AB Al", 0,
                kExitOk, "q"},
        ExitRow{"BadSignature", "@\\q.asc", "q.asc", kSigned, "PLAINTEXT 74 0 |BADSIG AB Al", 1,
                kExitSignatureBad, ""},
        ExitRow{"Unverifiable", "@\\q.asc", "q.asc", kSigned,
                "PLAINTEXT 74 0 |ERRSIG AB 22 8 01 1 9 -|NO_PUBKEY AB", 2, kExitSignatureBad, ""},
        ExitRow{"BadPassPhrase", "@\\q.asc", "q.asc", kMessage,
                "ENC_TO AB 18 0|ERROR pkdecrypt_failed 67108875|DECRYPTION_FAILED", 2,
                kExitDecryptError, ""},
        ExitRow{"NoSecretKey", "@\\q.asc", "q.asc", kMessage,
                "ENC_TO AB 18 0|NO_SECKEY AB|DECRYPTION_FAILED", 2, kExitDecryptError, ""},
        ExitRow{"UnknownRecipient", "-aetw @\\B nobody", "B", "text", "INV_RECP 1 nobody", 2,
                kExitNoKey, ""},
        ExitRow{"SigningBadPassPhrase", "-aestw @\\B bob", "B", "text",
                "BEGIN_SIGNING H8|FAILURE sign 67108875", 2, kExitSignError, ""},
        ExitRow{"ClearSignBadPassPhrase", "-ast +clearsig=on @\\B", "B", "text",
                "FAILURE sign 67108875", 2, kExitSignError, ""},
        ExitRow{"ClearSigned", "-ast +clearsig=on @\\B", "B", "text", "SIG_CREATED C 22 8 01 1 E7", 0,
                kExitOk, "B.asc"},
        ExitRow{"KeyAdded", "-ka @\\k.asc", "k.asc", kKey, "IMPORT_RES 1 0 1 0 0 0 0 0 0 0 0 0 0 0 0",
                0, kExitOk, ""},
        ExitRow{"KeyAddFailed", "-ka @\\k.asc", "k.asc", kKey,
                "IMPORT_RES 1 0 0 0 0 0 0 0 0 0 0 0 0 1 0", 2, kExitKeyAddError, ""},
        ExitRow{"BadArguments", "-aetz @\\B bob", "B", "text", "", 0, kExitBadArguments, ""}),
    [](const testing::TestParamInfo<ExitRow>& info) { return info.param.name; });

TEST_F(Pgp2GpgExe, GpgNotFoundSaysWhereItLooked) {
  WriteAll(In("B"), "text");
  environment_.Set("QUILLNET_GPG", "C:\\no such dir\\gpg.exe");
  Result result = Run(QuoteArgument(Exe()) + " -aetw " + QuoteArgument(In("B")) + " bob");
  EXPECT_EQ(result.exitCode, static_cast<DWORD>(kExitFileNotFound)) << result.console;
  EXPECT_NE(result.console.find("  C:\\no such dir\\gpg.exe\r\n"), std::string::npos) << result.console;

  // A file that is there but is no program.
  WriteAll(In("gpg.exe"), "not a program");
  environment_.Set("QUILLNET_GPG", In("gpg.exe"));
  result = Run(QuoteArgument(Exe()) + " -aetw " + QuoteArgument(In("B")) + " bob");
  EXPECT_EQ(result.exitCode, static_cast<DWORD>(kExitFileNotFound)) << result.console;
  EXPECT_NE(result.console.find("cannot run gpg (" + In("gpg.exe") + ")"), std::string::npos)
      << result.console;
  EXPECT_FALSE(Exists(In("B.asc")));

  environment_.Set("QUILLNET_GPG", std::nullopt);
  environment_.Set("PATH", "C:\\nothing here");
  environment_.Set("ProgramFiles", "C:\\PF");
  environment_.Set("ProgramFiles(x86)", "C:\\PF86");
  result = Run(QuoteArgument(Exe()) + " -aetw " + QuoteArgument(In("B")) + " bob");
  EXPECT_EQ(result.exitCode, static_cast<DWORD>(kExitFileNotFound)) << result.console;
  // Wine sets ProgramFiles itself in every process, so only the other
  // places are known here.
  const size_t path = result.console.find("  C:\\nothing here\\gpg.exe\r\n");
  const size_t x86 = result.console.find("  C:\\PF86\\GnuPG\\bin\\gpg.exe\r\n");
  const size_t gpg4win = result.console.find("  C:\\PF86\\Gpg4win\\..\\GnuPG\\bin\\gpg.exe\r\n");
  EXPECT_NE(path, std::string::npos) << result.console;
  EXPECT_LT(path, x86) << result.console;
  EXPECT_LT(x86, gpg4win) << result.console;
  EXPECT_NE(gpg4win, std::string::npos) << result.console;
  EXPECT_EQ(ReadAll(In("B")), "text");
}

// The pass phrase goes down a pipe into gpg's standard input; it is neither
// on gpg's command line nor in its environment.
TEST_F(Pgp2GpgExe, PassPhraseOnlyThroughThePipe) {
  WriteAll(In("B"), "text");
  environment_.Set("PGPPASS", "secret words \xC3\xA4");
  environment_.Set("FAKEGPG_STATUS", "SIG_CREATED C 22 8 01 1 E7");
  Result result = Run(QuoteArgument(Exe()) + " -ast +clearsig=on " + QuoteArgument(In("B")));
  ASSERT_EQ(result.exitCode, static_cast<DWORD>(kExitOk)) << result.console;
  const std::string log = ReadAll(log_);
  EXPECT_NE(log.find("arg=--passphrase-fd\narg=0\n"), std::string::npos) << log;
  EXPECT_NE(log.find("stdin=secret words \xC3\xA4\n\npgppass=no\n"), std::string::npos) << log;
  EXPECT_EQ(log.find("arg=secret"), std::string::npos) << log;

  // Without PGPPASS gpg's agent asks: no loopback, nothing on stdin.
  environment_.Set("PGPPASS", std::nullopt);
  WriteAll(In("q.asc"), kMessage);
  environment_.Set("FAKEGPG_STATUS", "ENC_TO AB 18 0|PLAINTEXT 74 0 |DECRYPTION_OKAY");
  result = Run(QuoteArgument(Exe()) + "  " + QuoteArgument(In("q.asc")));
  ASSERT_EQ(result.exitCode, static_cast<DWORD>(kExitOk)) << result.console;
  const auto calls = Calls();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(std::find(calls[1].begin(), calls[1].end(), "--pinentry-mode"), calls[1].end());
  EXPECT_NE(ReadAll(log_).find("stdin=\npgppass=no\nend\n"), std::string::npos);
}

// The account this test runs as (pgp2gpg, its child, runs as the same).
std::vector<unsigned char> CurrentUser() {
  HANDLE token = nullptr;
  std::vector<unsigned char> user;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return user;
  DWORD size = 0;
  GetTokenInformation(token, TokenUser, nullptr, 0, &size);
  user.assign(size, 0);
  if (size == 0 || !GetTokenInformation(token, TokenUser, user.data(), size, &size)) user.clear();
  CloseHandle(token);
  return user;
}

// A text to be wiped that has a second name is only unlinked: the other
// name keeps its bytes. The output is for this user alone, however open the
// folder is. (Wine keeps no DACL of its own: it shows the file's Unix mode,
// always with an entry for SYSTEM, and one for Everyone when others may
// read.)
TEST_F(Pgp2GpgExe, WipesOnlyAFileOfOneNameAndMakesOutputOwnerOnly) {
  WriteAll(In("kept"), "text");
  ASSERT_TRUE(CreateHardLinkW(Wide(In("B")).c_str(), Wide(In("kept")).c_str(), nullptr));
  environment_.Set("FAKEGPG_STATUS", "END_ENCRYPTION");
  const Result result = Run(QuoteArgument(Exe()) + " -aetw " + QuoteArgument(In("B")) + " bob");
  ASSERT_EQ(result.exitCode, static_cast<DWORD>(kExitOk)) << result.console;
  EXPECT_FALSE(Exists(In("B")));
  EXPECT_EQ(ReadAll(In("kept")), "text");

  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  ASSERT_EQ(GetNamedSecurityInfoW(Wide(In("B.asc")).c_str(), SE_FILE_OBJECT,
                                  DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl, nullptr,
                                  &descriptor),
            static_cast<DWORD>(ERROR_SUCCESS));
  const std::vector<unsigned char> user = CurrentUser();
  ASSERT_FALSE(user.empty());
  const PSID self = reinterpret_cast<const TOKEN_USER*>(user.data())->User.Sid;
  ACL_SIZE_INFORMATION size = {};
  ASSERT_NE(dacl, nullptr);
  ASSERT_TRUE(GetAclInformation(dacl, &size, sizeof size, AclSizeInformation));
  int forSelf = 0, forOthers = 0;
  for (DWORD i = 0; i < size.AceCount; ++i) {
    void* ace = nullptr;
    if (!GetAce(dacl, i, &ace)) continue;
    const PSID sid = &static_cast<ACCESS_ALLOWED_ACE*>(ace)->SidStart;
    if (EqualSid(sid, self)) {
      ++forSelf;
    } else if (!IsWellKnownSid(sid, WinLocalSystemSid)) {
      ++forOthers;
    }
  }
  LocalFree(descriptor);
  EXPECT_EQ(forSelf, 1);
  EXPECT_EQ(forOthers, 0);
}

// The splitter that pgp2gpg uses on its own command line gives what the
// system's CommandLineToArgvW gives.
TEST(CommandLineSplit, MatchesCommandLineToArgvW) {
  const std::vector<std::string> lines = {
      "a b", "  two  blanks  ", "\"quoted words\" x", "a\\\\\\\"b", "a\\\\\"b c\"", "\"a\"\"b\"",
      "\"\"\"\"", "x \"\" y", "\"open end", "tail\\", "\\\\server\\share \"q\\\\\"",
      "\"\"\"\"\"\"x", "a\"b\"c d", "\xC3\xBC \"\xC3\xA4 x\""};
  for (const std::string& line : lines) {
    int count = 0;
    const std::wstring whole = L"prog " + Wide(line);
    wchar_t** argv = CommandLineToArgvW(whole.c_str(), &count);
    ASSERT_NE(argv, nullptr);
    std::vector<std::string> system;
    for (int i = 1; i < count; ++i) system.push_back(Narrow(argv[i]));
    LocalFree(argv);
    EXPECT_EQ(SplitArguments(line), system) << line;
  }
}

}  // namespace
}  // namespace pgp2gpg
