// pgp2gpg against the real gpg, with the command lines the module sends, in
// a GnuPG home of the suite's own with two users: Alice (made first, so she
// is gpg's default signer) and Bob.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "common/verdict.h"
#include "exit_codes.h"
#include "gpg_home.h"

namespace pgp2gpg {
namespace {

using testing_support::GpgHome;
using testing_support::PathExists;
using testing_support::ProcessResult;
using testing_support::ReadWholeFile;
using testing_support::RunProcess;
using testing_support::WriteWholeFile;

const std::string kAlicePass = "alice's pass phrase";
const std::string kBobPass = "bob pass";
const std::string kText =
    "Hello Bob,\n-----BEGIN PGP MESSAGE----- is only quoted here.\nFrom the desk of Alice\n"
    "- dash\n";

class GpgRoundTrip : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    home_ = new GpgHome();
    aliceFingerprint_ = home_->AddUser("Alice <alice@example.org>", kAlicePass);
    home_->AddUser("Bob <bob@example.org>", kBobPass);
  }
  static void TearDownTestSuite() {
    delete home_;
    home_ = nullptr;
  }

  void SetUp() override {
    static int serial = 0;
    work_ = home_->dir() + "/w" + std::to_string(++serial);
    std::filesystem::create_directory(work_);
  }

  std::string In(const std::string& name) const { return work_ + "/" + name; }

  ProcessResult Pgp(const std::vector<std::string>& words, const std::vector<std::string>& extra = {},
                    const GpgHome* home = nullptr) const {
    std::vector<std::string> argv = {PGP2GPG_EXE};
    argv.insert(argv.end(), words.begin(), words.end());
    return RunProcess(argv, (home ? home : home_)->Environment(extra), work_);
  }

  static std::string Pass(const std::string& passPhrase) { return "PGPPASS=" + passPhrase; }

  // Names in the work folder, sorted.
  std::vector<std::string> Files() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(work_)) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  // The module's encryption: file B, then -aestw or -aetw for recipients.
  std::string EncryptedForBob(bool sign) {
    WriteWholeFile(In("quillnet"), kText);
    const ProcessResult run =
        Pgp({sign ? "-aestw" : "-aetw", In("quillnet"), "bob@example.org"}, {Pass(kAlicePass)});
    EXPECT_EQ(run.exitCode, kExitOk) << run.output;
    return In("quillnet.asc");
  }

  std::string ClearSigned() {
    WriteWholeFile(In("quillnet"), kText);
    const ProcessResult run = Pgp({"-ast", "+clearsig=on", In("quillnet")}, {Pass(kAlicePass)});
    EXPECT_EQ(run.exitCode, kExitOk) << run.output;
    std::filesystem::remove(In("quillnet"));
    return ReadWholeFile(In("quillnet.asc"));
  }

  static GpgHome* home_;
  static std::string aliceFingerprint_;
  std::string work_;
};

GpgHome* GpgRoundTrip::home_ = nullptr;
std::string GpgRoundTrip::aliceFingerprint_;

TEST_F(GpgRoundTrip, EncryptForTwoWipesTheTextAndEachDecodes) {
  WriteWholeFile(In("quillnet"), kText);
  ProcessResult run = Pgp({"-aetw", In("quillnet"), "bob@example.org", "Alice"});
  ASSERT_EQ(run.exitCode, kExitOk) << run.output;
  EXPECT_EQ(Files(), (std::vector<std::string>{"quillnet.asc"}));
  EXPECT_EQ(ReadWholeFile(In("quillnet.asc")).rfind("-----BEGIN PGP MESSAGE-----", 0), 0u);
  for (const std::string& pass : {kBobPass, kAlicePass}) {
    run = Pgp({In("quillnet.asc")}, {Pass(pass)});
    ASSERT_EQ(run.exitCode, kExitOk) << run.output;
    EXPECT_EQ(ReadWholeFile(In("quillnet")), kText);
    std::filesystem::remove(In("quillnet"));
  }
}

TEST_F(GpgRoundTrip, SignedEncryptionShowsTheSignerOnDecode) {
  const std::string asc = EncryptedForBob(true);
  const ProcessResult run = Pgp({asc}, {Pass(kBobPass)});
  ASSERT_EQ(run.exitCode, kExitOk) << run.output;
  EXPECT_NE(run.output.find("Good signature from user \"Alice <alice@example.org>\"."),
            std::string::npos)
      << run.output;
  EXPECT_EQ(ReadWholeFile(In("quillnet")), kText);
}

TEST_F(GpgRoundTrip, ClearSignatureIsCheckedWithoutPassPhrase) {
  const std::string signedText = ClearSigned();
  EXPECT_EQ(signedText.rfind("-----BEGIN PGP SIGNED MESSAGE-----", 0), 0u);
  const ProcessResult run = Pgp({In("quillnet.asc")});
  ASSERT_EQ(run.exitCode, kExitOk) << run.output;
  EXPECT_EQ(ReadWholeFile(In("quillnet")), kText);
  EXPECT_NE(run.output.find("Good signature from user \"Alice"), std::string::npos) << run.output;
}

TEST_F(GpgRoundTrip, TamperedClearSignatureLeavesNoOutput) {
  std::string signedText = ClearSigned();
  signedText.replace(signedText.find("Hello Bob"), 9, "Hello Eve");
  WriteWholeFile(In("quillnet.asc"), signedText);
  WriteWholeFile(In("quillnet"), "stale output of an earlier run");
  const ProcessResult run = Pgp({In("quillnet.asc")});
  EXPECT_EQ(run.exitCode, kExitSignatureBad) << run.output;
  EXPECT_NE(run.output.find("Bad signature"), std::string::npos) << run.output;
  EXPECT_EQ(Files(), (std::vector<std::string>{"quillnet.asc"}));
}

TEST_F(GpgRoundTrip, SecondSignedBlockIsNotOneGoodSignature) {
  const std::string signedText = ClearSigned();
  WriteWholeFile(In("quillnet.asc"), signedText + signedText);
  const ProcessResult run = Pgp({In("quillnet.asc")});
  EXPECT_EQ(run.exitCode, kExitSignatureBad) << run.output;
  // gpg stops at the second text; the block after the first is named.
  EXPECT_NE(run.output.find("text outside the PGP block"), std::string::npos) << run.output;
  EXPECT_EQ(run.output.find("\nGood signature"), std::string::npos) << run.output;
  EXPECT_EQ(Files(), (std::vector<std::string>{"quillnet.asc"}));
}

TEST_F(GpgRoundTrip, TextOutsideTheSignedPartIsReported) {
  const std::string signedText = ClearSigned();
  WriteWholeFile(In("quillnet.asc"), signedText + "P.S. Send money to Eve.\n");
  const ProcessResult run = Pgp({In("quillnet.asc")});
  EXPECT_EQ(run.exitCode, kExitOk) << run.output;
  EXPECT_NE(run.output.find("text outside the PGP block"), std::string::npos) << run.output;
  EXPECT_EQ(ReadWholeFile(In("quillnet")), kText);
}

struct WrongPassRow {
  std::string name;
  std::vector<std::string> letters;  // words before the file
  bool encryptedInput;
  int exitCode;
};

class WrongPassPhrase : public GpgRoundTrip, public testing::WithParamInterface<WrongPassRow> {};

TEST_P(WrongPassPhrase, FailsWithPgpsCodeAndKeepsTheInput) {
  const WrongPassRow& row = GetParam();
  std::string file = In("quillnet");
  if (row.encryptedInput) {
    file = EncryptedForBob(false);
  } else {
    WriteWholeFile(file, kText);
  }
  const std::vector<std::string> before = Files();
  std::vector<std::string> words = row.letters;
  words.push_back(file);
  if (row.letters == std::vector<std::string>{"-aestw"}) words.push_back("bob");
  const ProcessResult run = Pgp(words, {Pass("not the pass phrase")});
  EXPECT_EQ(run.exitCode, row.exitCode) << run.output;
  EXPECT_NE(run.output.find("Bad pass phrase"), std::string::npos) << run.output;
  EXPECT_EQ(Files(), before);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, WrongPassPhrase,
    testing::Values(WrongPassRow{"Decode", {}, true, kExitDecryptError},
                    WrongPassRow{"ClearSign", {"-ast", "+clearsig=on"}, false, kExitSignError},
                    WrongPassRow{"SignAndEncrypt", {"-aestw"}, false, kExitSignError}),
    [](const testing::TestParamInfo<WrongPassRow>& info) { return info.param.name; });

TEST_F(GpgRoundTrip, UnknownRecipientKeepsTheText) {
  WriteWholeFile(In("quillnet"), kText);
  const ProcessResult run = Pgp({"-aetw", In("quillnet"), "bob", "nobody@example.org"});
  EXPECT_EQ(run.exitCode, kExitNoKey) << run.output;
  EXPECT_NE(run.output.find("'<nobody@example.org>'"), std::string::npos) << run.output;
  EXPECT_EQ(Files(), (std::vector<std::string>{"quillnet"}));
  EXPECT_EQ(ReadWholeFile(In("quillnet")), kText);
}

// gpg finds a plain word anywhere in a user id: "bob@example.com" would
// select the certified key of "Jimbob <jimbob@example.com>".
TEST_F(GpgRoundTrip, AnAddressSelectsOnlyAKeyWithExactlyThatMailbox) {
  GpgHome jimbobs;
  jimbobs.AddUser("Jimbob <jimbob@example.com>", "");
  WriteWholeFile(In("quillnet"), kText);
  ProcessResult run = Pgp({"-aetw", In("quillnet"), "bob@example.com"}, {}, &jimbobs);
  EXPECT_EQ(run.exitCode, kExitNoKey) << run.output;
  EXPECT_EQ(Files(), (std::vector<std::string>{"quillnet"}));
  run = Pgp({"-aetw", In("quillnet"), "Jim <JimBob@example.com>"}, {}, &jimbobs);
  EXPECT_EQ(run.exitCode, kExitOk) << run.output;
  EXPECT_EQ(Files(), (std::vector<std::string>{"quillnet.asc"}));
}

// Without an MDC anybody can change an encrypted text unnoticed. gpg.conf's
// ignore-mdc-error makes gpg hand such a text out (one made with --rfc2440,
// which leaves the MDC out); it is refused all the same.
TEST_F(GpgRoundTrip, TextWithoutIntegrityProtectionIsNotDecrypted) {
  const ProcessResult made = home_->Gpg(
      {"--rfc2440", "--armor", "--output", In("quillnet.asc"), "--encrypt", "-r", "bob@example.org"},
      kText);
  ASSERT_EQ(made.exitCode, 0) << made.output;
  const std::string conf = home_->dir() + "/gpg.conf";
  WriteWholeFile(conf, "ignore-mdc-error\n");
  const ProcessResult run = Pgp({In("quillnet.asc")}, {Pass(kBobPass)});
  std::filesystem::remove(conf);
  EXPECT_EQ(run.exitCode, kExitDecryptError) << run.output;
  EXPECT_NE(run.output.find("not integrity protected"), std::string::npos) << run.output;
  EXPECT_EQ(Files(), (std::vector<std::string>{"quillnet.asc"}));
}

// A text to be wiped that has a second name belongs to that name too: only
// the name pgp2gpg was given goes, the bytes stay.
TEST_F(GpgRoundTrip, WipeLeavesTheBytesOfAFileWithAnotherName) {
  WriteWholeFile(In("kept"), kText);
  ASSERT_EQ(link(In("kept").c_str(), In("quillnet").c_str()), 0);
  const ProcessResult run = Pgp({"-aetw", In("quillnet"), "bob@example.org"});
  ASSERT_EQ(run.exitCode, kExitOk) << run.output;
  EXPECT_EQ(Files(), (std::vector<std::string>{"kept", "quillnet.asc"}));
  EXPECT_EQ(ReadWholeFile(In("kept")), kText);
}

class OptionLikeUserId : public GpgRoundTrip, public testing::WithParamInterface<std::string> {};

// gpg must see the word as a user id: it finds no key for it, and no file
// named by it appears.
TEST_P(OptionLikeUserId, ReachesGpgAsAPlainUserId) {
  WriteWholeFile(In("quillnet"), kText);
  for (const std::vector<std::string>& ids : {std::vector<std::string>{GetParam()},
                                              std::vector<std::string>{"bob", GetParam()}}) {
    std::vector<std::string> words = {"-aetw", "quillnet"};
    words.insert(words.end(), ids.begin(), ids.end());
    const ProcessResult run = Pgp(words);
    EXPECT_EQ(run.exitCode, kExitNoKey) << run.output;
    EXPECT_EQ(Files(), (std::vector<std::string>{"quillnet"})) << run.output;
  }
}

INSTANTIATE_TEST_SUITE_P(Rows, OptionLikeUserId,
                         testing::Values("-o x", "+batchmode", "--output=x", "-r", "--", "-x"));

TEST_F(GpgRoundTrip, PassPhraseNeverReachesAChildsCommandLineOrEnvironment) {
  const std::string log = In("calls.log");
  const std::string wrapper = home_->dir() + "/gpg-wrapper.sh";
  WriteWholeFile(wrapper, "#!/bin/sh\n"
                          "for a in \"$@\"; do printf 'arg=%s\\n' \"$a\" >> '" + log + "'; done\n"
                          "env | sed -n 's/^\\([A-Za-z_][A-Za-z0-9_]*\\)=.*/env=\\1/p' >> '" + log + "'\n"
                          "exec gpg \"$@\"\n");
  chmod(wrapper.c_str(), 0700);
  const std::string gpgVar = "QUILLNET_GPG=" + wrapper;
  const std::string asc = EncryptedForBob(false);
  ProcessResult run = Pgp({"-aestw", "quillnet2", "bob"}, {Pass(kAlicePass), gpgVar});
  EXPECT_EQ(run.exitCode, kExitFileNotFound);  // no such file: nothing may run
  WriteWholeFile(In("quillnet2"), kText);
  run = Pgp({"-aestw", In("quillnet2"), "bob"}, {Pass(kAlicePass), gpgVar});
  ASSERT_EQ(run.exitCode, kExitOk) << run.output;
  run = Pgp({asc}, {Pass(kBobPass), gpgVar});
  ASSERT_EQ(run.exitCode, kExitOk) << run.output;
  const std::string calls = ReadWholeFile(log);
  EXPECT_NE(calls.find("arg=--passphrase-fd\narg=0\n"), std::string::npos) << calls;
  EXPECT_NE(calls.find("arg=-r\narg=bob\narg=--\narg=" + In("quillnet2") + "\n"), std::string::npos)
      << calls;
  EXPECT_NE(calls.find("env=GNUPGHOME"), std::string::npos) << calls;
  for (const std::string& secret : {kAlicePass, kBobPass, std::string("PGPPASS")}) {
    EXPECT_EQ(calls.find(secret), std::string::npos) << secret << "\n" << calls;
  }
}

TEST_F(GpgRoundTrip, WithoutPgppassTheAgentsPinentryAsks) {
  const std::string asc = EncryptedForBob(false);
  home_->SetPinentryAnswer(kBobPass);
  const int before = home_->PinentryQuestions();
  const ProcessResult run = Pgp({asc});
  ASSERT_EQ(run.exitCode, kExitOk) << run.output;
  EXPECT_GT(home_->PinentryQuestions(), before);
  EXPECT_EQ(ReadWholeFile(In("quillnet")), kText);
}

struct NoGpgRow {
  std::string name;
  std::vector<std::string> environment;  // "@" stands for the work folder
  std::string linePart;
};

class GpgMissing : public GpgRoundTrip, public testing::WithParamInterface<NoGpgRow> {};

// The current folder holds the message's files: a gpg there is never run.
TEST_P(GpgMissing, ExitsTwoSayingWhere) {
  WriteWholeFile(In("quillnet"), kText);
  WriteWholeFile(In("not-a-program"), "\x7f" "ELF? no");
  chmod(In("not-a-program").c_str(), 0700);
  WriteWholeFile(In("gpg"), "#!/bin/sh\ntouch '" + In("ran") + "'\n");
  chmod(In("gpg").c_str(), 0700);
  std::vector<std::string> environment = {"GNUPGHOME=" + home_->dir()};
  for (std::string entry : GetParam().environment) {
    const size_t at = entry.find('@');
    if (at != std::string::npos) entry.replace(at, 1, work_);
    environment.push_back(entry);
  }
  const ProcessResult run = RunProcess({PGP2GPG_EXE, "-aetw", "quillnet", "bob"}, environment, work_);
  EXPECT_EQ(run.exitCode, kExitFileNotFound) << run.output;
  std::string part = GetParam().linePart;
  if (part.find('@') != std::string::npos) part.replace(part.find('@'), 1, work_);
  EXPECT_NE(run.output.find(part), std::string::npos) << run.output;
  EXPECT_EQ(ReadWholeFile(In("quillnet")), kText);
  EXPECT_FALSE(PathExists(In("ran")));
}

INSTANTIATE_TEST_SUITE_P(
    Rows, GpgMissing,
    testing::Values(
        NoGpgRow{"NamedGpgMissing", {"QUILLNET_GPG=/nonexistent/gpg", "PATH=/usr/bin:/bin"},
                 "Looked for:\n  /nonexistent/gpg\n"},
        NoGpgRow{"NotOnPath", {"PATH=/nonexistent-bin"}, "  /nonexistent-bin/gpg"},
        NoGpgRow{"OnlyRelativePath", {"PATH=.:bin"}, "Looked for:\n  (nowhere"},
        NoGpgRow{"NotRunnable", {"QUILLNET_GPG=@/not-a-program"}, "cannot run gpg (@/not-a-program)"}),
    [](const testing::TestParamInfo<NoGpgRow>& info) { return info.param.name; });

// A second, empty home stands for a correspondent: keys arrive by -ka.
TEST_F(GpgRoundTrip, KeysAreAddedButNeverSecretOnes) {
  GpgHome other;
  WriteWholeFile(In("key.asc"), home_->Gpg({"--armor", "--export", "alice@example.org"}).output);
  ProcessResult run = Pgp({"-ka", In("key.asc")}, {}, &other);
  ASSERT_EQ(run.exitCode, kExitOk) << run.output;
  EXPECT_NE(run.output.find("Key added: \"Alice <alice@example.org>\""), std::string::npos)
      << run.output;
  EXPECT_NE(other.Gpg({"--list-keys"}).output.find("alice@example.org"), std::string::npos);
  run = Pgp({"-ka", In("key.asc")}, {}, &other);
  EXPECT_EQ(run.exitCode, kExitOk) << run.output;  // already there: nothing new, no error

  WriteWholeFile(In("secret.asc"),
                 home_->Gpg({"--pinentry-mode", "loopback", "--passphrase", kBobPass, "--armor",
                             "--export-secret-keys", "bob@example.org"})
                     .output);
  run = Pgp({"-ka", In("secret.asc")}, {}, &other);
  EXPECT_EQ(run.exitCode, kExitKeyAddError) << run.output;
  EXPECT_EQ(other.Gpg({"--list-keys"}).output.find("bob@example.org"), std::string::npos);

  WriteWholeFile(In("nothing.asc"), "no key here\n");
  EXPECT_EQ(Pgp({"-ka", In("nothing.asc")}, {}, &other).exitCode, kExitKeyAddError);
}

// Bob's keys alone, without Alice's. Her clear-signed text cannot be
// checked, and that is never a success; a message she encrypted to Bob is
// his to read, marked as signed by a key he lacks.
TEST_F(GpgRoundTrip, SignatureOfAnUnknownKeyIsNeverGood) {
  GpgHome bobOnly;
  const std::string secret = home_->Gpg({"--pinentry-mode", "loopback", "--passphrase", kBobPass,
                                         "--armor", "--export-secret-keys", "bob@example.org"})
                                 .output;
  ASSERT_EQ(bobOnly.Gpg({"--pinentry-mode", "loopback", "--passphrase", kBobPass, "--import"}, secret)
                .exitCode,
            0);
  const std::string signedText = ClearSigned();
  ProcessResult run = Pgp({In("quillnet.asc")}, {}, &bobOnly);
  EXPECT_EQ(run.exitCode, kExitSignatureBad) << run.output;
  EXPECT_NE(run.output.find("not found in your keyring"), std::string::npos) << run.output;
  EXPECT_FALSE(PathExists(In("quillnet")));

  EncryptedForBob(true);
  const std::string verdictPath = In("verdict");
  run = Pgp({In("quillnet.asc")}, {Pass(kBobPass), "QUILLNET_VERDICT=" + verdictPath}, &bobOnly);
  EXPECT_EQ(run.exitCode, kExitOk) << run.output;
  EXPECT_NE(run.output.find("its signature was not checked"), std::string::npos) << run.output;
  EXPECT_EQ(ReadWholeFile(In("quillnet")), kText);
  const VerdictFile verdict = ParseVerdictFile(ReadWholeFile(verdictPath));
  EXPECT_EQ(verdict.status, "unknown-key");
  EXPECT_TRUE(verdict.encrypted);
  EXPECT_TRUE(verdict.signedMessage);
  EXPECT_EQ(verdict.signer, "");
  EXPECT_EQ(verdict.fingerprint, aliceFingerprint_);
}

TEST_F(GpgRoundTrip, InputErrorsUsePgpsCodes) {
  WriteWholeFile(In("plain.asc"), "no armour at all\n");
  WriteWholeFile(In("quillnet"), kText);
  EXPECT_EQ(Pgp({In("missing.asc")}).exitCode, kExitFileNotFound);
  EXPECT_EQ(Pgp({In("plain.asc")}).exitCode, kExitBadInput);
  EXPECT_EQ(Pgp({In("quillnet")}).exitCode, kExitBadInput);
  EXPECT_EQ(Pgp({"-aetz", In("quillnet"), "bob"}).exitCode, kExitBadArguments);
  EXPECT_EQ(Files(), (std::vector<std::string>{"plain.asc", "quillnet"}));
}

// ---- the verdict file the module names in QUILLNET_VERDICT -------------------

class VerdictFileTest : public GpgRoundTrip {
 protected:
  std::string VerdictPath() const { return In("quillnet.vrd"); }
  std::string VerdictVariable() const { return "QUILLNET_VERDICT=" + VerdictPath(); }
  // A decode of quillnet.asc; the verdict file it left.
  VerdictFile Decode(const std::vector<std::string>& extra = {}, const GpgHome* home = nullptr) {
    std::vector<std::string> environment = extra;
    environment.push_back(VerdictVariable());
    last_ = Pgp({In("quillnet.asc")}, environment, home);
    EXPECT_TRUE(PathExists(VerdictPath())) << last_.output;
    return ParseVerdictFile(ReadWholeFile(VerdictPath()));
  }
  ProcessResult last_;
};

TEST_F(VerdictFileTest, SaysWhatADecodeFound) {
  ClearSigned();
  VerdictFile verdict = Decode();
  EXPECT_EQ(last_.exitCode, kExitOk) << last_.output;
  EXPECT_EQ(verdict.status, "good");
  EXPECT_FALSE(verdict.encrypted);
  EXPECT_TRUE(verdict.signedMessage);
  EXPECT_EQ(verdict.signer, "Alice <alice@example.org>");
  EXPECT_EQ(verdict.fingerprint.size(), 40u) << verdict.fingerprint;
  EXPECT_EQ(verdict.signedAt.size(), 20u) << verdict.signedAt;  // YYYY-MM-DDTHH:MM:SSZ
  EXPECT_EQ(verdict.validity, "ultimate") << "a key of the user's own";

  std::string tampered = ReadWholeFile(In("quillnet.asc"));
  tampered.replace(tampered.find("Hello Bob"), 9, "Hello Eve");
  WriteWholeFile(In("quillnet.asc"), tampered);
  verdict = Decode();
  EXPECT_EQ(last_.exitCode, kExitSignatureBad);
  EXPECT_EQ(verdict.status, "bad");
  EXPECT_EQ(verdict.problem, "bad-signature");

  EncryptedForBob(false);
  verdict = Decode({Pass(kBobPass)});
  EXPECT_EQ(last_.exitCode, kExitOk) << last_.output;
  EXPECT_TRUE(verdict.encrypted);
  EXPECT_FALSE(verdict.signedMessage);
  EXPECT_EQ(verdict.status, "none");

  EncryptedForBob(true);
  verdict = Decode({Pass(kBobPass)});
  EXPECT_TRUE(verdict.encrypted);
  EXPECT_TRUE(verdict.signedMessage);
  EXPECT_EQ(verdict.status, "good");
  EXPECT_EQ(verdict.signer, "Alice <alice@example.org>");

  // Literal data in a message block: anybody can make one, no key needed.
  WriteWholeFile(In("quillnet.asc"),
                 home_->Gpg({"--armor", "--store"}, "I am Bob, really.\n").output);
  verdict = Decode();
  EXPECT_EQ(last_.exitCode, kExitOk) << last_.output;
  EXPECT_FALSE(verdict.encrypted);
  EXPECT_FALSE(verdict.signedMessage);
  EXPECT_EQ(verdict.status, "none");
}

TEST_F(VerdictFileTest, NamesAnUnknownSigningKey) {
  GpgHome stranger;
  ClearSigned();
  const VerdictFile verdict = Decode({}, &stranger);
  EXPECT_EQ(last_.exitCode, kExitSignatureBad);
  EXPECT_EQ(verdict.status, "unknown-key");
  EXPECT_TRUE(verdict.signedMessage);
  EXPECT_FALSE(verdict.fingerprint.empty());
}

// Signatures of an expired and of a revoked key: good bytes, no good verdict.
TEST_F(VerdictFileTest, NamesExpiredAndRevokedKeys) {
  GpgHome own;
  const std::string fingerprint = own.AddUser("Eve <eve@example.org>", "");
  const auto clearSign = [&] {
    const ProcessResult made = own.Gpg(
        {"--pinentry-mode", "loopback", "--passphrase", "", "--clearsign"}, "Signed by Eve.\n");
    ASSERT_EQ(made.exitCode, 0) << made.output;
    WriteWholeFile(In("quillnet.asc"), made.output);
  };
  ASSERT_EQ(own.Gpg({"--quick-set-expire", fingerprint, "1d"}).exitCode, 0);
  clearSign();
  WriteWholeFile(own.dir() + "/gpg.conf", "faked-system-time 20991231T000000\n");
  VerdictFile verdict = Decode({}, &own);
  EXPECT_EQ(last_.exitCode, kExitSignatureBad) << last_.output;
  EXPECT_EQ(verdict.status, "bad");
  EXPECT_EQ(verdict.problem, "expired-key");
  std::filesystem::remove(own.dir() + "/gpg.conf");

  ASSERT_EQ(own.Gpg({"--quick-set-expire", fingerprint, "never"}).exitCode, 0);
  clearSign();
  std::string revocation = ReadWholeFile(own.dir() + "/openpgp-revocs.d/" + fingerprint + ".rev");
  const size_t colon = revocation.find(":-----BEGIN");
  ASSERT_NE(colon, std::string::npos);
  revocation.erase(colon, 1);
  ASSERT_EQ(own.Gpg({"--import"}, revocation).exitCode, 0);
  verdict = Decode({}, &own);
  EXPECT_EQ(last_.exitCode, kExitSignatureBad) << last_.output;
  EXPECT_EQ(verdict.status, "bad");
  EXPECT_EQ(verdict.problem, "revoked-key");
}

// A key block that looks like one key may carry a second one further down:
// both are named, by fingerprint and user id.
TEST_F(VerdictFileTest, NamesEveryKeyAdded) {
  GpgHome other;
  WriteWholeFile(In("keys.asc"),
                 home_->Gpg({"--armor", "--export", "alice@example.org", "bob@example.org"}).output);
  const ProcessResult run = Pgp({"-ka", In("keys.asc")}, {VerdictVariable()}, &other);
  ASSERT_EQ(run.exitCode, kExitOk) << run.output;
  const VerdictFile verdict = ParseVerdictFile(ReadWholeFile(VerdictPath()));
  ASSERT_EQ(verdict.keysAdded.size(), 2u) << ReadWholeFile(VerdictPath());
  std::vector<std::string> userIds;
  for (const auto& [fingerprint, userId] : verdict.keysAdded) {
    EXPECT_EQ(fingerprint.size(), 40u) << fingerprint;
    userIds.push_back(userId);
  }
  std::sort(userIds.begin(), userIds.end());
  EXPECT_EQ(userIds, (std::vector<std::string>{"Alice <alice@example.org>", "Bob <bob@example.org>"}));
}

// A key whose holder gpg's user certified for his own name: he adds Alice's
// name, makes it the primary user id and mails the key again. gpg's status
// then names Alice and calls the key fully valid, yet only his own user id
// is, and only that one may be named as the signer.
TEST_F(VerdictFileTest, NamesAsSignerOnlyAUserIdThatIsValidItself) {
  GpgHome user, mallory;
  user.AddUser("Me <me@example.net>", "");
  const std::string fingerprint = mallory.AddUser("Mallory <Mallory@Example.net>", "");
  const std::vector<std::string> loopback = {"--pinentry-mode", "loopback", "--passphrase", ""};
  const auto withLoopback = [&](std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), loopback.begin(), loopback.end());
    return arguments;
  };
  const auto addMallorysKey = [&] {
    WriteWholeFile(In("key.asc"), mallory.Gpg({"--armor", "--export", fingerprint}).output);
    last_ = Pgp({"-ka", In("key.asc")}, {VerdictVariable()}, &user);
    EXPECT_EQ(last_.exitCode, kExitOk) << last_.output;
    return ParseVerdictFile(ReadWholeFile(VerdictPath()));
  };
  const auto decodeMallorysText = [&] {
    const ProcessResult made = mallory.Gpg(withLoopback({"--clearsign"}), "Signed by Mallory.\n");
    EXPECT_EQ(made.exitCode, 0) << made.output;
    WriteWholeFile(In("quillnet.asc"), made.output);
    const VerdictFile verdict = Decode({}, &user);
    EXPECT_EQ(last_.exitCode, kExitOk) << last_.output;
    EXPECT_EQ(verdict.status, "good");
    return verdict;
  };

  VerdictFile verdict = addMallorysKey();
  EXPECT_EQ(verdict.keysAdded, (std::vector<std::pair<std::string, std::string>>{
                                   {fingerprint, "Mallory <Mallory@Example.net>"}}));
  verdict = decodeMallorysText();
  EXPECT_EQ(verdict.signer, "") << "nobody has certified any user id of this key";
  EXPECT_EQ(verdict.keyName, "Mallory <Mallory@Example.net>");
  EXPECT_EQ(verdict.validity, "undefined");
  EXPECT_TRUE(verdict.signerAddresses.empty());

  ASSERT_EQ(user.Gpg(withLoopback({"--yes", "--quick-lsign-key", fingerprint})).exitCode, 0);
  ASSERT_EQ(mallory.Gpg(withLoopback({"--quick-add-uid", fingerprint, "Alice <alice@example.com>"}))
                .exitCode,
            0);
  ASSERT_EQ(mallory.Gpg(withLoopback({"--quick-set-primary-uid", fingerprint,
                                      "Alice <alice@example.com>"}))
                .exitCode,
            0);
  verdict = addMallorysKey();
  EXPECT_TRUE(verdict.keysAdded.empty());
  EXPECT_EQ(verdict.keysUpdated, (std::vector<std::pair<std::string, std::string>>{
                                     {fingerprint, "Alice <alice@example.com>"}}));
  verdict = decodeMallorysText();
  EXPECT_EQ(verdict.signer, "Mallory <Mallory@Example.net>");
  EXPECT_EQ(verdict.keyName, "");
  EXPECT_EQ(verdict.validity, "full");
  EXPECT_EQ(verdict.signerAddresses, std::vector<std::string>{"mallory@example.net"});
  EXPECT_EQ(verdict.fingerprint, fingerprint);
  EXPECT_NE(last_.output.find("user id named above is not certified"), std::string::npos)
      << last_.output;
}

// A user id is the sender's text: "%0A" or "%00" in it must stay those
// characters, not become a line of its own or end the rest, and a long one
// stays whole. Every user id of a new key is named, the primary first.
TEST_F(VerdictFileTest, NamesEveryUserIdOfANewKeyAsTheKeyHoldsIt) {
  GpgHome sender, other;
  const std::string forged = "Alice <alice@example.com>%0A    " + aliceFingerprint_ + "%0A%0A%00" +
                             std::string(200, ' ') + "end";
  const std::string longAlice = "Alice " + std::string(200, 'a') + " <alice@example.com>";
  const std::string longBob = "Bob " + std::string(200, 'b') + " <bob@example.com>";
  const std::string first = sender.AddUser(longAlice, "");
  const std::string second = sender.AddUser(longBob, "");
  const std::vector<std::string> loopback = {"--pinentry-mode", "loopback", "--passphrase", ""};
  std::vector<std::string> addUid = loopback;
  addUid.insert(addUid.end(), {"--quick-add-uid", first, forged});
  ASSERT_EQ(sender.Gpg(addUid).exitCode, 0);
  std::vector<std::string> setPrimary = loopback;
  setPrimary.insert(setPrimary.end(), {"--quick-set-primary-uid", first, forged});
  ASSERT_EQ(sender.Gpg(setPrimary).exitCode, 0);
  WriteWholeFile(In("keys.asc"), sender.Gpg({"--armor", "--export", first, second}).output);

  const ProcessResult run = Pgp({"-ka", In("keys.asc")}, {VerdictVariable()}, &other);
  ASSERT_EQ(run.exitCode, kExitOk) << run.output;
  const VerdictFile verdict = ParseVerdictFile(ReadWholeFile(VerdictPath()));
  EXPECT_EQ(verdict.keysAdded, (std::vector<std::pair<std::string, std::string>>{
                                   {first, forged}, {first, longAlice}, {second, longBob}}))
      << ReadWholeFile(VerdictPath());
}

// Whatever stands at the verdict's name (here a folder) must not pass for
// gpg's word: the run fails before gpg decodes or adds anything.
TEST_F(VerdictFileTest, RunFailsWhenItsVerdictCannotBeWritten) {
  ClearSigned();
  std::filesystem::create_directory(VerdictPath());
  ProcessResult run = Pgp({In("quillnet.asc")}, {VerdictVariable()});
  EXPECT_EQ(run.exitCode, kExitFileError) << run.output;
  EXPECT_FALSE(PathExists(In("quillnet")));

  GpgHome other;
  WriteWholeFile(In("key.asc"), home_->Gpg({"--armor", "--export", "alice@example.org"}).output);
  run = Pgp({"-ka", In("key.asc")}, {VerdictVariable()}, &other);
  EXPECT_EQ(run.exitCode, kExitFileError) << run.output;
  EXPECT_EQ(other.Gpg({"--list-keys"}).output.find("alice@example.org"), std::string::npos);
}

}  // namespace
}  // namespace pgp2gpg
