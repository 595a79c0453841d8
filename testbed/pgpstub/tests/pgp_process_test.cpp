// pgp.exe as the module meets it: real child processes with an explicit
// environment (PGPPATH, PGPPASS or none, PGPSTUB_LOG, PGPSTUB_FAULT), no
// console input, and a time limit on every wait so a hang fails the test.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "common/handles_win.h"
#include "armor.h"
#include "invocation.h"
#include "payloads.h"

namespace pgpstub {
namespace {

constexpr DWORD kChildTimeoutMs = 20000;
constexpr char kAlicePhrase[] = "alice-pw";
constexpr char kJohnPhrase[] = "john-pw";
constexpr char kAlice[] = "Alice Example <alice@example.org>";
constexpr char kJohn[] = "John Smith <john@example.org>";

// "John Doe" comes before "John Smith" so that a quoted user id split at its
// blank would pick the wrong key.
constexpr char kKeyring[] =
    "pub Alice Example <alice@example.org>\r\n"
    "sec Alice Example <alice@example.org> alice-pw\r\n"
    "pub Bob Other <bob@example.org>\r\n"
    "pub John Doe <doe@example.org>\r\n"
    "pub John Smith <john@example.org>\r\n"
    "sec John Smith <john@example.org> john-pw\r\n";

std::string ProgramDirectory() {
  char path[MAX_PATH];
  const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string dir(path, length);
  return dir.substr(0, dir.find_last_of("\\/") + 1);
}

std::string PgpPath() { return ProgramDirectory() + "pgp.exe"; }

using Variables = std::vector<std::pair<std::string, std::string>>;

bool IsStubVariable(const std::string& name) {
  for (const char* ours : {"PGPPATH", "PGPPASS", "PGPSTUB_LOG", "PGPSTUB_FAULT", "QUILLNET_VERDICT",
                           "PGPSTUB_SIGNED_AT"})
    if (EqualsNoCase(name, ours)) return true;
  return false;
}

// The test process's own environment without the stand-in's variables,
// plus `variables`: the child sees exactly what a test chose.
std::string EnvironmentBlock(const Variables& variables) {
  std::string block;
  char* strings = GetEnvironmentStringsA();
  for (const char* entry = strings; *entry; entry += std::strlen(entry) + 1) {
    const std::string text(entry);
    if (!IsStubVariable(text.substr(0, text.find('=', 1)))) block.append(text).push_back('\0');
  }
  FreeEnvironmentStringsA(strings);
  for (const auto& [name, value] : variables) block.append(name + "=" + value).push_back('\0');
  block.push_back('\0');
  return block;
}

std::optional<std::string> ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

struct ChildRun {
  bool finished = false;
  DWORD exitCode = 0;
  DWORD elapsedMs = 0;
  std::string console;  // stdout and stderr
  std::string commandLine;
};

// Starts pgp.exe the way the module does (path unquoted, then the option
// text) with stdin on NUL, so there is nobody to answer a question.
ChildRun RunPgp(const std::string& dir, const std::string& options, const Variables& variables,
                HANDLE input = nullptr) {
  ChildRun run;
  run.commandLine = PgpPath() + " " + options;
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  UniqueHandle nul(CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                         OPEN_EXISTING, 0, nullptr));
  const std::string consolePath = dir + "console.txt";
  UniqueHandle output(CreateFileA(consolePath.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            &inherit, CREATE_ALWAYS, 0, nullptr));
  if (!nul.valid() || !output.valid()) {
    ADD_FAILURE() << "cannot prepare the child's standard handles";
    return run;
  }
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = input ? input : nul.get();
  startup.hStdOutput = output.get();
  startup.hStdError = output.get();
  std::vector<char> commandLine(run.commandLine.begin(), run.commandLine.end());
  commandLine.push_back('\0');
  std::string environment = EnvironmentBlock(variables);
  PROCESS_INFORMATION process{};
  const DWORD flags = input ? 0 : CREATE_NO_WINDOW;
  if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, flags,
                      environment.data(), nullptr, &startup, &process)) {
    ADD_FAILURE() << "cannot start " << run.commandLine << ": " << GetLastError();
    return run;
  }
  UniqueHandle processHandle(process.hProcess), threadHandle(process.hThread);
  const DWORD started = GetTickCount();
  if (WaitForSingleObject(process.hProcess, kChildTimeoutMs) != WAIT_OBJECT_0) {
    TerminateProcess(process.hProcess, 0xDEAD);
    WaitForSingleObject(process.hProcess, 5000);
    ADD_FAILURE() << "pgp.exe did not end within " << kChildTimeoutMs << " ms: " << run.commandLine;
    return run;
  }
  run.elapsedMs = GetTickCount() - started;
  run.finished = GetExitCodeProcess(process.hProcess, &run.exitCode) != 0;
  output.reset();
  run.console = ReadFileBytes(consolePath).value_or("");
  return run;
}

std::vector<std::string> LogLines(const std::string& path) {
  std::vector<std::string> lines;
  const auto text = ReadFileBytes(path);
  if (!text) return lines;
  for (const Line& line : SplitLines(*text)) lines.emplace_back(line.text);
  return lines;
}

class PgpProcess : public ::testing::Test {
 protected:
  void SetUp() override {
    static std::atomic<int> counter{0};
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    dir_ = std::string(temp) + "pgpstub-" + std::to_string(GetCurrentProcessId()) + "-" +
           std::to_string(++counter) + "\\";
    // Wine reuses small process ids, so an interrupted earlier run may have
    // left a directory of the same name.
    RemoveTree(dir_);
    ASSERT_TRUE(CreateDirectoryA(dir_.c_str(), nullptr)) << dir_;
    ASSERT_TRUE(Exists(PgpPath())) << PgpPath();
    WriteFileBytes(dir_ + "keyring.txt", kKeyring);
  }

  void TearDown() override { RemoveTree(dir_); }

  // Wine reports a child as ended a moment before it has released the
  // standard handles it inherited, so the console file may still be busy.
  static void DeleteWhenReleased(const std::string& path) {
    for (int attempt = 0; attempt < 100; ++attempt) {
      if (DeleteFileA(path.c_str())) return;
      if (GetLastError() != ERROR_SHARING_VIOLATION) break;
      Sleep(20);
    }
    ADD_FAILURE() << "cannot delete " << path << ": " << GetLastError();
  }

  static void RemoveTree(const std::string& dir) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((dir + "*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
      do {
        const std::string name = found.cFileName;
        if (name == "." || name == "..") continue;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
          RemoveTree(dir + name + "\\");
        else
          DeleteWhenReleased(dir + name);
      } while (FindNextFileA(search, &found));
      FindClose(search);
    }
    RemoveDirectoryA(dir.c_str());
  }

  std::string Path(const std::string& name) const { return dir_ + name; }

  // PGPPATH names the directory without a final backslash, as users set it.
  Variables Environment(const char* passPhrase = nullptr, const char* fault = nullptr) const {
    Variables variables = {{"PGPPATH", dir_.substr(0, dir_.size() - 1)},
                           {"PGPSTUB_LOG", Path("calls.log")}};
    if (passPhrase) variables.emplace_back("PGPPASS", passPhrase);
    if (fault) variables.emplace_back("PGPSTUB_FAULT", fault);
    return variables;
  }

  ChildRun Run(const std::string& options, const char* passPhrase = nullptr,
               const char* fault = nullptr) {
    return RunPgp(dir_, options, Environment(passPhrase, fault));
  }

  std::optional<Message> MessageIn(const std::string& name) const {
    const auto file = ReadFileBytes(Path(name));
    if (!file) return std::nullopt;
    const std::vector<Line> lines = SplitLines(*file);
    const auto begin = FindBeginLine(lines, 0, "MESSAGE");
    const auto payload = begin ? UnwrapArmor(lines, *begin, "MESSAGE") : std::nullopt;
    return payload ? ParseMessagePayload(*payload) : std::nullopt;
  }

  std::string dir_;
};

// --- Round trips --------------------------------------------------------

struct TextRow {
  const char* name;
  std::string bytes;
};

void PrintTo(const TextRow& row, std::ostream* out) { *out << row.name; }

class EncryptRoundTrip : public PgpProcess, public ::testing::WithParamInterface<TextRow> {};

TEST_P(EncryptRoundTrip, WipesTheInputAndDecodesToTheExactBytes) {
  WriteFileBytes(Path("quillnet"), GetParam().bytes);
  const ChildRun encrypt = Run("-aetw " + Path("quillnet") + " alice");
  ASSERT_TRUE(encrypt.finished);
  EXPECT_EQ(encrypt.exitCode, 0u) << encrypt.console;
  EXPECT_FALSE(Exists(Path("quillnet")));  // w: wiped and deleted
  const auto armor = ReadFileBytes(Path("quillnet.asc"));
  ASSERT_TRUE(armor);
  EXPECT_EQ(armor->rfind("-----BEGIN PGP MESSAGE-----\r\n", 0), 0u);
  EXPECT_NE(armor->find("\r\n-----END PGP MESSAGE-----\r\n"), std::string::npos);
  if (GetParam().bytes.size() > 8) {
    EXPECT_EQ(armor->find(GetParam().bytes), std::string::npos) << "plaintext left in the armour";
  }

  const ChildRun decode = Run(" " + Path("quillnet.asc"), kAlicePhrase);  // "P  A"
  ASSERT_TRUE(decode.finished);
  EXPECT_EQ(decode.exitCode, 0u) << decode.console;
  EXPECT_EQ(ReadFileBytes(Path("quillnet")), GetParam().bytes);
  EXPECT_EQ(decode.console.find("Good signature"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, EncryptRoundTrip,
    ::testing::Values(TextRow{"CrlfAndHighBytes", "Dear Bob,\r\n\xE4\x84 \xE4\r\n-- \r\nAlice\r\n"},
                      TextRow{"LfOnlyNoFinalEnd", "one\ntwo\n\nthree"},
                      TextRow{"MixedEndsAndLoneCr", "a\r\nb\nc\rd\r\n"},
                      TextRow{"Empty", ""},
                      TextRow{"ArmourLookalike", "-----BEGIN PGP MESSAGE-----\r\n-----END PGP MESSAGE-----\r\n"},
                      TextRow{"ZeroBytes", std::string("a\0b\0\r\n", 6)}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(PgpProcess, SignedEncryptionForAQuotedUserIdDecodesWithAGoodSignature) {
  const std::string text = "Meet at noon.\r\n";
  WriteFileBytes(Path("quillnet"), text);
  const ChildRun encrypt = Run("-aestw " + Path("quillnet") + " bob \"John Smith\"", kAlicePhrase);
  ASSERT_EQ(encrypt.exitCode, 0u) << encrypt.console;
  const auto message = MessageIn("quillnet.asc");
  ASSERT_TRUE(message);
  EXPECT_EQ(message->recipients, (std::vector<std::string>{"Bob Other <bob@example.org>", kJohn}));
  EXPECT_EQ(message->signer, kAlice);

  const ChildRun decode = Run(" " + Path("quillnet.asc"), kJohnPhrase);
  ASSERT_EQ(decode.exitCode, 0u) << decode.console;
  EXPECT_EQ(ReadFileBytes(Path("quillnet")), text);
  EXPECT_NE(decode.console.find("Good signature from user \"" + std::string(kAlice) + "\"."),
            std::string::npos)
      << decode.console;
}

TEST_F(PgpProcess, DecodingFindsTheArmourInsideAWholeMessage) {
  WriteFileBytes(Path("quillnet"), "secret\r\n");
  ASSERT_EQ(Run("-aetw " + Path("quillnet") + " alice").exitCode, 0u);
  const std::string mail = "From: bob\r\n\r\nSee below.\r\n\r\n" +
                           *ReadFileBytes(Path("quillnet.asc")) + "\r\n-- \r\nBob\r\n";
  WriteFileBytes(Path("quillnet.asc"), mail);
  const ChildRun decode = Run(" " + Path("quillnet.asc"), kAlicePhrase);
  EXPECT_EQ(decode.exitCode, 0u) << decode.console;
  EXPECT_EQ(ReadFileBytes(Path("quillnet")), "secret\r\n");
}

TEST_F(PgpProcess, ClearSignedTextRoundTripsAndToleratesOnlyLineEndChanges) {
  const std::string text = "Hello,\r\n-dash line\r\n--- more\r\n- looks escaped\r\n\xE4\x84\r\nend";
  WriteFileBytes(Path("quillnet"), text);
  const ChildRun sign = Run("-ast +clearsig=on " + Path("quillnet"), kAlicePhrase);
  ASSERT_EQ(sign.exitCode, 0u) << sign.console;
  EXPECT_TRUE(Exists(Path("quillnet")));  // no w: the input stays
  const std::string signedFile = *ReadFileBytes(Path("quillnet.asc"));
  EXPECT_EQ(signedFile.rfind("-----BEGIN PGP SIGNED MESSAGE-----\r\n", 0), 0u);
  EXPECT_NE(signedFile.find("\r\n- -dash line\r\n- --- more\r\n- - looks escaped\r\n"),
            std::string::npos);

  DeleteFileA(Path("quillnet").c_str());
  ChildRun check = Run(" " + Path("quillnet.asc"));
  EXPECT_EQ(check.exitCode, 0u) << check.console;
  EXPECT_EQ(ReadFileBytes(Path("quillnet")), text);
  EXPECT_NE(check.console.find("Good signature from user \"" + std::string(kAlice) + "\"."),
            std::string::npos);

  std::string lfOnly;
  for (char c : signedFile)
    if (c != '\r') lfOnly += c;
  WriteFileBytes(Path("quillnet.asc"), lfOnly);
  check = Run(" " + Path("quillnet.asc"));
  EXPECT_EQ(check.exitCode, 0u) << check.console;

  std::string tampered = signedFile;
  tampered.replace(tampered.find("Hello"), 5, "Hallo");
  WriteFileBytes(Path("quillnet.asc"), tampered);
  DeleteFileA(Path("quillnet").c_str());
  check = Run(" " + Path("quillnet.asc"));
  EXPECT_EQ(check.exitCode, 30u) << check.console;
  EXPECT_FALSE(Exists(Path("quillnet")));  // nothing unverified is delivered
}

TEST_F(PgpProcess, ExportedKeyIsAddedFromAWholeMailToAnotherKeyList) {
  const ChildRun exported = Run("-kx alice " + Path("alicekey"));
  ASSERT_EQ(exported.exitCode, 0u) << exported.console;
  const auto block = ReadFileBytes(Path("alicekey.asc"));
  ASSERT_TRUE(block);
  EXPECT_EQ(block->rfind("-----BEGIN PGP PUBLIC KEY BLOCK-----\r\n", 0), 0u);

  const std::string other = Path("other\\");
  ASSERT_TRUE(CreateDirectoryA(other.c_str(), nullptr));
  WriteFileBytes(other + "keyring.txt", "pub Bob Other <bob@example.org>\r\n");
  WriteFileBytes(other + "quillnet.asc", "From: alice\r\nSubject: key\r\n\r\nMy key:\r\n" + *block +
                                             "\r\nregards\r\n");
  WriteFileBytes(other + "quillnet", "for alice\r\n");
  Variables otherEnvironment = {{"PGPPATH", other}, {"PGPSTUB_LOG", Path("calls.log")}};

  EXPECT_EQ(RunPgp(other, "-aetw " + other + "quillnet alice", otherEnvironment).exitCode, 11u);
  const ChildRun added = RunPgp(other, "-ka " + other + "quillnet.asc", otherEnvironment);
  EXPECT_EQ(added.exitCode, 0u) << added.console;
  EXPECT_EQ(ReadFileBytes(other + "keyring.txt"),
            "pub Bob Other <bob@example.org>\r\npub " + std::string(kAlice) +
                "\r\nunverified " + std::string(kAlice) + "\r\n");
  EXPECT_EQ(RunPgp(other, "-aetw " + other + "quillnet alice", otherEnvironment).exitCode, 0u);
}

// --- Exit codes and the call log ----------------------------------------

struct ExitRow {
  const char* name;
  std::function<void(const PgpProcess&, const std::string& dir)> prepare;
  std::string options;  // "{}" stands for the test directory
  const char* passPhrase;
  const char* fault;
  uint32_t exitCode;
};

std::string Expand(std::string text, const std::string& dir) {
  for (size_t at; (at = text.find("{}")) != std::string::npos;) text.replace(at, 2, dir);
  return text;
}

void WriteMessageFor(const std::string& path, std::vector<std::string> recipients) {
  Message message;
  message.recipients = std::move(recipients);
  message.data = "hello\r\n";
  WriteFileBytes(path, MakeMessageArmor(message));
}

void Nothing(const PgpProcess&, const std::string&) {}
void PlainText(const PgpProcess&, const std::string& dir) { WriteFileBytes(dir + "plain", "text\r\n"); }
void MessageForAlice(const PgpProcess&, const std::string& dir) {
  WriteMessageFor(dir + "m.asc", {kAlice});
}

void PrintTo(const ExitRow& row, std::ostream* out) { *out << row.name; }

class ExitCodes : public PgpProcess, public ::testing::WithParamInterface<ExitRow> {};

TEST_P(ExitCodes, AreReturnedAndLoggedWithoutThePassPhrase) {
  GetParam().prepare(*this, dir_);
  const ChildRun run = Run(Expand(GetParam().options, dir_), GetParam().passPhrase, GetParam().fault);
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.exitCode, GetParam().exitCode) << run.console;
  EXPECT_NE(run.console.find("Pretty Good Privacy(tm) 2.6.3i"), std::string::npos);

  const std::vector<std::string> log = LogLines(Path("calls.log"));
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0], "cmdline=" + run.commandLine + "\tpgppass=" +
                        (GetParam().passPhrase ? "yes" : "no") + "\texit=" +
                        std::to_string(GetParam().exitCode));
  if (GetParam().passPhrase) {
    const std::string log = *ReadFileBytes(Path("calls.log"));
    EXPECT_EQ(log.find(GetParam().passPhrase), std::string::npos);
  }
}

std::string DamagedCrc(std::string armor) {
  const size_t at = armor.find("\r\n=") + 3;
  armor[at] = armor[at] == 'A' ? 'B' : 'A';
  return armor;
}

const ExitRow kExitRows[] = {
    {"Decoded", MessageForAlice, " {}m.asc", kAlicePhrase, nullptr, 0},
    {"Help", Nothing, "-h", nullptr, nullptr, 0},
    {"NoArmour", [](const PgpProcess&, const std::string& d) { WriteFileBytes(d + "m.asc", "text only\r\n"); },
     " {}m.asc", kAlicePhrase, nullptr, 1},
    {"DamagedArmour",
     [](const PgpProcess&, const std::string& d) {
       Message m;
       m.recipients = {kAlice};
       m.data = "x";
       WriteFileBytes(d + "m.asc", DamagedCrc(MakeMessageArmor(m)));
     },
     " {}m.asc", kAlicePhrase, nullptr, 1},
    {"NameWithoutAsc", [](const PgpProcess&, const std::string& d) { WriteMessageFor(d + "m.txt", {kAlice}); },
     " {}m.txt", kAlicePhrase, nullptr, 1},
    {"KeyBlockToDecode",
     [](const PgpProcess&, const std::string& d) { WriteFileBytes(d + "m.asc", MakeKeyBlock({"X"})); },
     " {}m.asc", kAlicePhrase, nullptr, 1},
    {"MissingFile", Nothing, " {}absent.asc", kAlicePhrase, nullptr, 2},
    {"MissingInputToEncrypt", Nothing, "-aetw {}absent alice", nullptr, nullptr, 2},
    {"UnknownOption", PlainText, "-aetwz {}plain alice", nullptr, nullptr, 5},
    {"NoFileName", Nothing, "-aetw", nullptr, nullptr, 5},
    {"BinaryOutput", PlainText, "-et {}plain alice", nullptr, nullptr, 5},
    {"UnknownRecipient", PlainText, "-aetw {}plain alice carol", nullptr, nullptr, 11},
    {"NoRecipient", PlainText, "-aetw {}plain", nullptr, nullptr, 11},
    {"QuotedIdIsNotSplit", PlainText, "-aetw {}plain \"Smith John\"", nullptr, nullptr, 11},
    {"MalformedKeyBlock",
     [](const PgpProcess&, const std::string& d) {
       WriteFileBytes(d + "k.asc", DamagedCrc(MakeKeyBlock({"Carol <c@x.org>"})));
     },
     "-ka {}k.asc", nullptr, nullptr, 12},
    {"KeyBlockWithoutKeys",
     [](const PgpProcess&, const std::string& d) { WriteFileBytes(d + "k.asc", MakeKeyBlock({})); },
     "-ka {}k.asc", nullptr, nullptr, 12},
    {"NoKeyBlock", PlainText, "-ka {}plain", nullptr, nullptr, 12},
    {"SignWrongPassPhrase", PlainText, "-aestw {}plain bob", "wrong", nullptr, 20},
    {"SignNoPassPhraseNoConsole", PlainText, "-ast +clearsig=on {}plain", nullptr, nullptr, 20},
    {"BadSignature",
     [](const PgpProcess&, const std::string& d) {
       std::string file = ClearSign("Pay Bob 10.\r\n", kAlice);
       file.replace(file.find("10"), 2, "90");
       WriteFileBytes(d + "s.asc", file);
     },
     " {}s.asc", nullptr, nullptr, 30},
    {"DecodeWrongPassPhrase", MessageForAlice, " {}m.asc", kJohnPhrase, nullptr, 31},
    {"DecodeNoPassPhraseNoConsole", MessageForAlice, " {}m.asc", nullptr, nullptr, 31},
    {"DecodeWithoutSecretKey",
     [](const PgpProcess&, const std::string& d) { WriteMessageFor(d + "m.asc", {"Bob Other <bob@example.org>"}); },
     " {}m.asc", kAlicePhrase, nullptr, 31},
    {"FaultedExitHex", MessageForAlice, " {}m.asc", kAlicePhrase, "exit=0x10000", 0x10000},
    {"FaultedExitOverFailure", PlainText, "-aetw {}plain carol", nullptr, "exit=65536", 65536},
    {"UnknownFault", PlainText, "-aetw {}plain alice", nullptr, "exit=1O", 5},
};

INSTANTIATE_TEST_SUITE_P(Rows, ExitCodes, ::testing::ValuesIn(kExitRows),
                         [](const auto& info) { return std::string(info.param.name); });

// --- The verdict file -------------------------------------------------------

// The module makes the verdict file, empty, before PGP starts; the stand-in
// writes into exactly that file. Anything else at the name is refused (3),
// before anything is written: a verdict that cannot reach the module must
// not leave a result that looks verified.
TEST_F(PgpProcess, TheVerdictGoesOnlyIntoTheFileTheModuleMade) {
  const struct {
    const char* name;
    std::function<void(const std::string& verdict)> make;
    const char* options;  // "{}" stands for the test directory
    const char* fault;
    uint32_t exitCode;
    const char* output;  // written by a run that succeeds
  } rows[] = {
      {"StaleContentIsReplaced", [](const std::string& v) { WriteFileBytes(v, std::string(300, 'x') + "\r\n"); },
       " {}m.asc", nullptr, 0, "m"},
      {"Missing", [](const std::string&) {}, " {}m.asc", nullptr, 3, "m"},
      {"Directory", [](const std::string& v) { EXPECT_TRUE(CreateDirectoryA(v.c_str(), nullptr)); }, " {}m.asc",
       nullptr, 3, "m"},
      {"HardLinkToAnotherFile",
       [this](const std::string& v) {
         WriteFileBytes(Path("elsewhere"), "not yours");
         EXPECT_TRUE(CreateHardLinkA(v.c_str(), Path("elsewhere").c_str(), nullptr));
       },
       " {}m.asc", nullptr, 3, "m"},
      {"DirectoryForAKeyAddition", [](const std::string& v) { EXPECT_TRUE(CreateDirectoryA(v.c_str(), nullptr)); },
       "-ka {}k.asc", nullptr, 3, nullptr},
      {"NoVerdictLeavesItEmpty", [](const std::string& v) { WriteFileBytes(v, ""); }, " {}m.asc", "noverdict", 0,
       "m"},
  };
  WriteFileBytes(Path("k.asc"), MakeKeyBlock({"Carol <c@x.org>"}));
  const std::string keyring = *ReadFileBytes(Path("keyring.txt"));
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    WriteMessageFor(Path("m.asc"), {kAlice});
    DeleteFileA(Path("m").c_str());
    const std::string verdict = Path(std::string(row.name) + ".vrd");
    row.make(verdict);
    Variables variables = Environment(kAlicePhrase, row.fault);
    variables.emplace_back("QUILLNET_VERDICT", verdict);
    const ChildRun run = RunPgp(dir_, Expand(row.options, dir_), variables);
    EXPECT_EQ(run.exitCode, row.exitCode) << run.console;
    if (row.output) {
      EXPECT_EQ(Exists(Path(row.output)), row.exitCode == 0);
    }
    if (row.exitCode == 0) {
      EXPECT_EQ(ReadFileBytes(verdict), row.fault ? "" : "status=none\r\nencrypted=yes\r\nsigned=no\r\n");
    }
  }
  EXPECT_EQ(ReadFileBytes(Path("elsewhere")), "not yours");
  EXPECT_FALSE(Exists(Path("Missing.vrd")));
  EXPECT_EQ(ReadFileBytes(Path("keyring.txt")), keyring) << "a refused key addition adds nothing";
}

// --- Faults -------------------------------------------------------------

TEST_F(PgpProcess, FaultEmptyLeavesAnEmptyOutputAndSucceeds) {
  WriteMessageFor(Path("m.asc"), {kAlice});
  const ChildRun run = Run(" " + Path("m.asc"), "wrong", "empty");
  EXPECT_EQ(run.exitCode, 0u);
  EXPECT_EQ(ReadFileBytes(Path("m")), "");
}

TEST_F(PgpProcess, FaultNoOutputLeavesNoOutputAfterANormalRun) {
  WriteFileBytes(Path("quillnet"), "text\r\n");
  const ChildRun run = Run("-aetw " + Path("quillnet") + " alice", nullptr, "nooutput");
  EXPECT_EQ(run.exitCode, 0u);
  EXPECT_FALSE(Exists(Path("quillnet.asc")));
  EXPECT_FALSE(Exists(Path("quillnet")));  // the operation itself ran, wipe included
}

TEST_F(PgpProcess, FaultSleepDelaysTheEnd) {
  const ChildRun run = Run("-h", nullptr, "sleep=1500");
  ASSERT_TRUE(run.finished);
  EXPECT_GE(run.elapsedMs, 1400u);
}

TEST_F(PgpProcess, FaultCrashEndsWithAnAccessViolationWithoutHanging) {
  WriteFileBytes(Path("quillnet"), "text\r\n");
  const ChildRun run = Run("-aetw " + Path("quillnet") + " alice", nullptr, "crash");
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.exitCode, static_cast<DWORD>(EXCEPTION_ACCESS_VIOLATION));
  EXPECT_TRUE(Exists(Path("quillnet.asc")));  // the crash comes after the work
  const std::vector<std::string> log = LogLines(Path("calls.log"));
  ASSERT_EQ(log.size(), 1u);
  EXPECT_NE(log[0].find("\texit=crash"), std::string::npos);
}

TEST_F(PgpProcess, EveryCallAppendsItsOwnLogLine) {
  WriteFileBytes(Path("quillnet"), "text\r\n");
  Run("-aestw " + Path("quillnet") + " alice", kAlicePhrase);
  Run(" " + Path("quillnet.asc"), kAlicePhrase);
  Run(" " + Path("quillnet.asc"), "wrong");
  const std::vector<std::string> log = LogLines(Path("calls.log"));
  ASSERT_EQ(log.size(), 3u);
  EXPECT_NE(log[0].find("-aestw"), std::string::npos);
  EXPECT_NE(log[1].find("\tpgppass=yes\texit=0"), std::string::npos);
  EXPECT_NE(log[2].find("\tpgppass=yes\texit=31"), std::string::npos);
  const std::string text = *ReadFileBytes(Path("calls.log"));
  EXPECT_EQ(text.find(kAlicePhrase), std::string::npos);
  EXPECT_EQ(text.find("wrong"), std::string::npos);
}

// --- The console question ----------------------------------------------

// Puts keystrokes into a console's input, as a user typing ahead would.
void Type(HANDLE consoleInput, const std::string& keys) {
  std::vector<INPUT_RECORD> records;
  for (char c : keys) {
    INPUT_RECORD record{};
    record.EventType = KEY_EVENT;
    record.Event.KeyEvent.wRepeatCount = 1;
    record.Event.KeyEvent.uChar.AsciiChar = c;
    record.Event.KeyEvent.wVirtualKeyCode = c == '\r' ? VK_RETURN : 0;
    record.Event.KeyEvent.bKeyDown = TRUE;
    records.push_back(record);
    record.Event.KeyEvent.bKeyDown = FALSE;
    records.push_back(record);
  }
  DWORD written = 0;
  WriteConsoleInputA(consoleInput, records.data(), static_cast<DWORD>(records.size()), &written);
}

HANDLE OpenConsoleInput() {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  return CreateFileA("CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                     &inherit, OPEN_EXISTING, 0, nullptr);
}

struct PromptRow {
  const char* name;
  std::string typed;
  uint32_t exitCode;
};

void PrintTo(const PromptRow& row, std::ostream* out) { *out << row.name; }

class ConsolePrompt : public PgpProcess, public ::testing::WithParamInterface<PromptRow> {};

// Without PGPPASS the pass phrase is asked in the console that PGP shares
// with its starter; the child's standard input is that console.
TEST_P(ConsolePrompt, ReadsThePassPhraseTypedThere) {
  bool allocated = false;
  HANDLE consoleInput = OpenConsoleInput();
  if (consoleInput == INVALID_HANDLE_VALUE) {
    // Started without a usable console (CTest's pipes): make one of our own.
    FreeConsole();
    allocated = AllocConsole() != 0;
    consoleInput = OpenConsoleInput();
  }
  UniqueHandle input(consoleInput);
  DWORD mode = 0;
  if (!input.valid() || !GetConsoleMode(input.get(), &mode)) {
    // Wine without a display gives consoles that take no input.
    if (allocated) FreeConsole();
    GTEST_SKIP() << "no console to type into";
  }
  FlushConsoleInputBuffer(input.get());
  Type(input.get(), GetParam().typed);
  WriteFileBytes(Path("plain"), "text\r\n");
  const ChildRun run =
      RunPgp(dir_, "-ast +clearsig=on " + Path("plain"), Environment(), input.get());
  input.reset();
  if (allocated) FreeConsole();
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.exitCode, GetParam().exitCode) << run.console;
  EXPECT_NE(run.console.find("Enter pass phrase: "), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Typed, ConsolePrompt,
                         ::testing::Values(PromptRow{"Right", "alice-pw\r", 0},
                                           PromptRow{"Wrong", "alice-PW\r", 20},
                                           PromptRow{"EmptyLine", "\r", 20}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace pgpstub
