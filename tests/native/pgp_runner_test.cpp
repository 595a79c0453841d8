#include "runner/pgp_runner.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string Options(uint16_t flags, const char* fileName, const char* userId) {
  return BuildPgpOptions(flags, fileName, userId);
}

struct OptionRow {
  uint16_t flags;
  const char* fileName;
  const char* userId;
  const char* expected;
};

class OptionSets : public testing::TestWithParam<OptionRow> {};

TEST_P(OptionSets, GiveTheirOptionText) {
  const OptionRow& row = GetParam();
  EXPECT_EQ(Options(row.flags, row.fileName, row.userId), row.expected);
}

INSTANTIATE_TEST_SUITE_P(
    EveryOperation, OptionSets,
    testing::Values(
        OptionRow{0xA000, "A", "U", " A"},                        // decode
        OptionRow{0x8000, "A", "U", " A"},                        // check signature
        OptionRow{0xC071, "B", "U", "-aetw B U"},                 // encrypt
        OptionRow{0xE075, "B", "u1 u2", "-aestw B u1 u2"},        // encrypt, always sign
        OptionRow{0xA036, "B", "", "-ast +clearsig=on B"},        // clearsign
        OptionRow{0x8110, "A", "U", "-ka A"},                     // add key
        OptionRow{0x0000, "A", "U", ""},                          // nothing asked
        OptionRow{0x0175, "A", "U", "-kaestw"},                   // every letter, in order
        OptionRow{0x4000, "A", "", " "},                          // empty recipients
        OptionRow{0xC000, nullptr, nullptr, "  "}));              // absent words

// No word is ever dropped from the option text for its length: the file
// name and every recipient reach PGP whole.
TEST(OptionText, KeepsLongWordsWhole) {
  const std::string file(115, 'f');
  const std::string users = std::string(300, 'u') + " " + std::string(45, 'v');
  EXPECT_EQ(Options(0xC071, file.c_str(), users.c_str()), "-aetw " + file + " " + users);
  EXPECT_EQ(Options(0x8000, std::string(120, 'a').c_str(), ""), " " + std::string(120, 'a'));
}

TEST(CommandLine, QuotedPathBlankAndOptions) {
  std::string line = "stale";
  EXPECT_TRUE(ComposePgpCommandLine("C:\\Program Files\\PGP\\PGP.EXE", " C:\\TEMP\\quillnet.asc", line));
  EXPECT_EQ(line, "\"C:\\Program Files\\PGP\\PGP.EXE\"  C:\\TEMP\\quillnet.asc");
}

// Windows starts a program with at most 32,767 characters of command line,
// its terminator included; a longer one is refused whole, never shortened.
TEST(CommandLine, TakesWhatWindowsTakesAndNoMore) {
  const std::string path = "C:\\PGP\\pgp.exe";
  const std::string file = "C:\\TEMP\\quillnet";
  const size_t fixed = path.size() + 3 + std::string("-aetw ").size() + file.size() + 1;
  const std::string fits(kCommandLineMax - fixed, 'u');
  std::string line;
  EXPECT_TRUE(ComposePgpCommandLine(path.c_str(), Options(0xC071, file.c_str(), fits.c_str()), line));
  EXPECT_EQ(line.size(), kCommandLineMax);
  EXPECT_EQ(line, "\"" + path + "\" -aetw " + file + " " + fits);
  EXPECT_TRUE(PgpCommandLineFits(path.c_str(), 0xC071, file.c_str(), fits.c_str()));

  const std::string tooMany = fits + "u";
  EXPECT_FALSE(
      ComposePgpCommandLine(path.c_str(), Options(0xC071, file.c_str(), tooMany.c_str()), line));
  EXPECT_EQ(line, "");
  EXPECT_FALSE(PgpCommandLineFits(path.c_str(), 0xC071, file.c_str(), tooMany.c_str()));
  // The recipients count only where the request passes them.
  EXPECT_TRUE(PgpCommandLineFits(path.c_str(), 0xA000, file.c_str(), tooMany.c_str()));
}

TEST(CommandLine, OnlyProgramFilesAreApplicationNames) {
  EXPECT_TRUE(IsExecutableName("C:\\PGP\\pgp.exe"));
  EXPECT_TRUE(IsExecutableName("C:\\PGP\\PGP.COM"));
  EXPECT_FALSE(IsExecutableName("C:\\PGP\\pgp.pif"));
  EXPECT_FALSE(IsExecutableName("exe"));
  EXPECT_FALSE(IsExecutableName(nullptr));
}

// Expected waits for the exit codes 0, 1 and 0x10000, as 'y'/'n'.
struct WaitRow {
  int32_t keepOpen;
  uint16_t flags;
  const char* waitsFor0_1_10000;
};

class ConsoleWait : public testing::TestWithParam<WaitRow> {};

TEST_P(ConsoleWait, FollowsKeepOpenExitCodeAndOperation) {
  const WaitRow& row = GetParam();
  const uint32_t exitCodes[] = {0, 1, 0x10000};
  for (int i = 0; i < 3; ++i) {
    bool expected = row.waitsFor0_1_10000[i] == 'y';
    EXPECT_EQ(ConsoleWaitsForUser(row.keepOpen, exitCodes[i], row.flags), expected)
        << "KeepOpen " << row.keepOpen << ", exit code " << exitCodes[i] << ", flags "
        << row.flags;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, ConsoleWait,
    testing::Values(WaitRow{-1, 0xC071, "nnn"}, WaitRow{-1, 0xA000, "nnn"},
                    WaitRow{-1, 0xA036, "nnn"}, WaitRow{0, 0xC071, "yyy"},
                    WaitRow{0, 0xA000, "yyy"}, WaitRow{0, 0xA036, "yyy"},
                    WaitRow{1, 0xC071, "nyn"},   // encrypting: only a failure waits
                    WaitRow{1, 0xA036, "nyn"},   // clearsigning signs: same
                    WaitRow{1, 0xA000, "yyy"},   // decoding: PGP's messages matter
                    WaitRow{1, 0x8000, "yyy"},   // checking a signature
                    WaitRow{1, 0x8110, "yyy"},   // adding a key
                    WaitRow{7, 0xE075, "nyn"}));

TEST(ConsoleWait, OwnConsoleOnlyWhenKeepOpenIsNotNegative) {
  EXPECT_FALSE(UsesOwnConsole(-1));
  EXPECT_FALSE(UsesOwnConsole(INT32_MIN));
  EXPECT_TRUE(UsesOwnConsole(0));
  EXPECT_TRUE(UsesOwnConsole(1));
}

struct PassRow {
  int32_t keepPassword;
  uint32_t exitCode;
  bool forgotten;
};

class PassPhraseForgotten : public testing::TestWithParam<PassRow> {};

TEST_P(PassPhraseForgotten, OnlyAfterTwentyOrThirtyOne) {
  const PassRow& row = GetParam();
  EXPECT_EQ(ForgetsPassPhrase(row.keepPassword, row.exitCode), row.forgotten);
}

INSTANTIATE_TEST_SUITE_P(
    Table, PassPhraseForgotten,
    testing::Values(PassRow{1, 20, true}, PassRow{1, 31, true}, PassRow{-1, 31, true},
                    PassRow{1, 30, false}, PassRow{1, 0x10014, false},
                    PassRow{1, 0x1001F, false}, PassRow{1, 0, false}, PassRow{0, 20, false},
                    PassRow{0, 31, false}));

TEST(PassPhraseAsked, NeedsKeepPasswordAndThePassPhraseBit) {
  EXPECT_TRUE(AsksPassPhrase(1, 0xA000));
  EXPECT_TRUE(AsksPassPhrase(1, 0xE075));
  EXPECT_TRUE(AsksPassPhrase(-3, 0x2000));
  EXPECT_FALSE(AsksPassPhrase(0, 0xA000));
  EXPECT_FALSE(AsksPassPhrase(1, 0xC071));
  EXPECT_FALSE(AsksPassPhrase(1, 0x8000));
}

TEST(ExitCode, OnlyTheLowSixteenBitsCount) {
  EXPECT_TRUE(PgpSucceeded(0));
  EXPECT_TRUE(PgpSucceeded(0x10000));
  EXPECT_TRUE(PgpSucceeded(0xFFFF0000u));
  EXPECT_FALSE(PgpSucceeded(1));
  EXPECT_FALSE(PgpSucceeded(0x10001));
  EXPECT_FALSE(PgpSucceeded(0x8000));
}

struct ExitTextRow {
  const char* templateText;
  uint32_t exitCode;
  const char* expected;
};

class ExitCodeText : public testing::TestWithParam<ExitTextRow> {};

TEST_P(ExitCodeText, FormatsTheLowSixteenBits) {
  const ExitTextRow& row = GetParam();
  char text[kExitCodeTextSize];
  int length = FormatPgpExitCode(row.templateText, row.exitCode, text);
  EXPECT_STREQ(text, row.expected);
  EXPECT_EQ(length, static_cast<int>(std::string(row.expected).size()));
}

INSTANTIATE_TEST_SUITE_P(
    Table, ExitCodeText,
    testing::Values(
        ExitTextRow{" PGP returned errorcode: %u", 31, " PGP returned errorcode: 31"},
        ExitTextRow{" PGP returned errorcode: %u", 0x10014, " PGP returned errorcode: 20"},
        ExitTextRow{" PGP returned errorcode: %u", 0xFFFFFFFFu, " PGP returned errorcode: 65535"},
        ExitTextRow{" PGP returned errorcode: %u", 0, " PGP returned errorcode: 0"},
        ExitTextRow{"%s %u%%", 7, " 7%"},  // no text given: a %s stays empty
        ExitTextRow{nullptr, 7, ""}));

TEST(ExitCodeText, StaysWithinOneHundredTwentyEightCharacters) {
  std::string longTemplate(200, 'x');
  longTemplate += "%u";
  char text[kExitCodeTextSize];
  EXPECT_EQ(FormatPgpExitCode(longTemplate.c_str(), 5, text), kExitCodeTextSize - 1);
  EXPECT_EQ(std::string(text), std::string(kExitCodeTextSize - 1, 'x'));
}

// ----- PGP's environment block -----

std::string Block(const std::vector<std::string>& entries) {
  std::string block;
  for (const std::string& entry : entries) block += entry + '\0';
  return block + '\0';
}

std::vector<std::string> Entries(const std::string& block) {
  std::vector<std::string> entries;
  for (size_t at = 0; at < block.size() && block[at] != '\0';) {
    const size_t end = block.find('\0', at);
    entries.push_back(block.substr(at, end - at));
    at = end + 1;
  }
  return entries;
}

struct BlockRow {
  const char* name;
  std::vector<std::string> current;
  std::vector<std::string> expected;
  PgpEnvironment extra{"pw", false, nullptr};
};

class EnvironmentBlockTest : public testing::TestWithParam<BlockRow> {};

TEST_P(EnvironmentBlockTest, AddsWhatPgpGetsInNameOrder) {
  const BlockRow& row = GetParam();
  const std::string current = Block(row.current);
  const size_t needed = ComposePgpEnvironment(current.c_str(), row.extra, nullptr, 0);
  const std::string expected = Block(row.expected);
  EXPECT_EQ(needed, expected.size());

  std::string block(needed + 8, '#');
  ASSERT_EQ(ComposePgpEnvironment(current.c_str(), row.extra, block.data(), needed), needed);
  EXPECT_EQ(Entries(block.substr(0, needed)), row.expected);
  EXPECT_EQ(block.substr(0, needed), expected);
  EXPECT_EQ(block.substr(needed), std::string(8, '#')) << "wrote past the block";
}

INSTANTIATE_TEST_SUITE_P(
    Blocks, EnvironmentBlockTest,
    testing::Values(
        BlockRow{"Empty", {}, {"PGPPASS=pw"}},
        BlockRow{"Between", {"A=1", "Z=2"}, {"A=1", "PGPPASS=pw", "Z=2"}},
        BlockRow{"DriveDirectoriesFirst",
                 {"=C:=C:\\work", "PATH=C:\\bin"},
                 {"=C:=C:\\work", "PATH=C:\\bin", "PGPPASS=pw"}},
        BlockRow{"ReplacesOld", {"PGPPASS=old", "TEMP=x"}, {"PGPPASS=pw", "TEMP=x"}},
        BlockRow{"ReplacesOtherCase", {"pgppass=old", "path=x"}, {"path=x", "PGPPASS=pw"}},
        BlockRow{"ReplacesEmpty", {"PGPPASS=", "Z=1"}, {"PGPPASS=pw", "Z=1"}},
        // Names are compared in upper case: '_' sorts after the letters,
        // and a name sorts before the longer ones it begins.
        BlockRow{"UpperCaseOrder",
                 {"PGP=1", "PGPa=2", "PGP_X=3", "PGPPASSWORD=4"},
                 {"PGP=1", "PGPa=2", "PGPPASS=pw", "PGPPASSWORD=4", "PGP_X=3"}},
        BlockRow{"SortsUnsortedInput", {"Z=1", "B=2", "A=3"}, {"A=3", "B=2", "PGPPASS=pw", "Z=1"}},
        BlockRow{"EqualSignInValue", {"PGPPATH=C:\\a=b"}, {"PGPPASS=pw", "PGPPATH=C:\\a=b"}},
        // Only a run that needs the pass phrase gets one, also one the user
        // set in the client's own environment; the verdict file is always
        // named, and a name from elsewhere is never passed on.
        BlockRow{"NoPassPhraseForACheck",
                 {"A=1", "PGPPASS=users", "QUILLNET_VERDICT=C:\\elsewhere"},
                 {"A=1", "QUILLNET_VERDICT=C:\\t\\quillnet.vrd"},
                 {nullptr, false, "C:\\t\\quillnet.vrd"}},
        BlockRow{"UsersOwnPassPhraseForADecode",
                 {"PGPPASS=users", "Z=1"},
                 {"PGPPASS=users", "QUILLNET_VERDICT=v", "Z=1"},
                 {nullptr, true, "v"}},
        BlockRow{"KeptPassPhraseWinsOverTheUsers",
                 {"pgppass=users"},
                 {"PGPPASS=pw", "QUILLNET_VERDICT=v"},
                 {"pw", true, "v"}}),
    [](const testing::TestParamInfo<BlockRow>& info) { return info.param.name; });

TEST(EnvironmentBlock, TooSmallABufferIsLeftAlone) {
  const std::string current = Block({"A=1"});
  std::string block(8, '#');
  EXPECT_EQ(ComposePgpEnvironment(current.c_str(), PgpEnvironment{"pw", false, nullptr},
                                  block.data(), block.size()),
            16u);
  EXPECT_EQ(block, std::string(8, '#'));
}

}  // namespace
