// Reading a call: the command line as PGP 2 split it, the option sets the
// module sends, the output name derived from the input, the fault list and
// the call-log line.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "invocation.h"

namespace pgpstub {
namespace {

using Words = std::vector<std::string>;

struct SplitRow {
  std::string raw;
  Words words;
};

class CommandLines : public ::testing::TestWithParam<SplitRow> {};

TEST_P(CommandLines, SplitIntoWords) { EXPECT_EQ(SplitCommandLine(GetParam().raw), GetParam().words); }

INSTANTIATE_TEST_SUITE_P(
    Raw, CommandLines,
    ::testing::Values(
        // The module's decode line: program, two blanks, file.
        SplitRow{"C:\\PGP\\PGP.EXE  C:\\TEMP\\quillnet.asc", {"C:\\PGP\\PGP.EXE", "C:\\TEMP\\quillnet.asc"}},
        SplitRow{"pgp -aetw C:\\T\\quillnet u1 \"John Smith\"",
                 {"pgp", "-aetw", "C:\\T\\quillnet", "u1", "John Smith"}},
        SplitRow{"\"C:\\Program Files\\pgp.exe\" -ka f.asc", {"C:\\Program Files\\pgp.exe", "-ka", "f.asc"}},
        SplitRow{"pgp\t-h  ", {"pgp", "-h"}}, SplitRow{"", {}}, SplitRow{"   ", {}},
        SplitRow{"pgp \"\" x", {"pgp", "", "x"}},
        SplitRow{"pgp \"\\\"John Smith\\\"\"", {"pgp", "\"John Smith\""}},  // as Wine's launcher quotes
        SplitRow{"pgp a\\\\\"b c\"", {"pgp", "a\\b c"}},
        SplitRow{"pgp C:\\dir\\ x", {"pgp", "C:\\dir\\", "x"}},
        SplitRow{"pgp \"a\"\"b\"", {"pgp", "a\"b"}},
        SplitRow{"pgp \xE4\x84 u", {"pgp", "\xE4\x84", "u"}}));

struct ParseRow {
  std::string raw;
  Operation operation;
  std::string letters;  // which of e, s, t, w are on
  std::string file;
  Words userIds;
};

std::string LettersOf(const Invocation& invocation) {
  std::string letters;
  if (invocation.encrypt) letters += 'e';
  if (invocation.sign) letters += 's';
  if (invocation.textMode) letters += 't';
  if (invocation.wipe) letters += 'w';
  return letters;
}

class GoodCommandLines : public ::testing::TestWithParam<ParseRow> {};

TEST_P(GoodCommandLines, ChooseTheOperation) {
  const Invocation invocation = ParseInvocation(GetParam().raw);
  EXPECT_EQ(invocation.error, "");
  EXPECT_EQ(invocation.operation, GetParam().operation);
  EXPECT_EQ(LettersOf(invocation), GetParam().letters);
  EXPECT_EQ(invocation.file, GetParam().file);
  EXPECT_EQ(invocation.userIds, GetParam().userIds);
}

INSTANTIATE_TEST_SUITE_P(
    ModuleOptionSets, GoodCommandLines,
    ::testing::Values(
        ParseRow{"P  A.asc", Operation::Decode, "", "A.asc", {}},
        ParseRow{"P -aetw B u1 u2", Operation::Armor, "etw", "B", {"u1", "u2"}},
        ParseRow{"P -aestw B u1 \"John Smith\"", Operation::Armor, "estw", "B", {"u1", "John Smith"}},
        ParseRow{"P -ast +clearsig=on B", Operation::ClearSign, "st", "B", {}},
        ParseRow{"P -ka A.asc", Operation::AddKey, "", "A.asc", {}},
        // Beyond the module's sets: what tests and the demo use.
        ParseRow{"P -wtea B u1", Operation::Armor, "etw", "B", {"u1"}},
        ParseRow{"P -AETW B u1", Operation::Armor, "etw", "B", {"u1"}},
        ParseRow{"P -as B", Operation::Armor, "s", "B", {}},
        ParseRow{"P -a B", Operation::Armor, "", "B", {}},
        ParseRow{"P -as +clearsig=off B", Operation::Armor, "s", "B", {}},
        ParseRow{"P -aes +clearsig=on B u", Operation::Armor, "es", "B", {"u"}},
        ParseRow{"P -kx alice keys", Operation::ExtractKey, "", "keys", {"alice"}},
        ParseRow{"P -kxa alice \"John Smith\" keys", Operation::ExtractKey, "", "keys",
                 {"alice", "John Smith"}},
        ParseRow{"P -h", Operation::Help, "", "", {}}));

class BadCommandLines : public ::testing::TestWithParam<std::string> {};

TEST_P(BadCommandLines, AreRefused) { EXPECT_NE(ParseInvocation(GetParam()).error, ""); }

INSTANTIATE_TEST_SUITE_P(
    Raw, BadCommandLines,
    ::testing::Values("P", "P  ", "P -aetw", "P -z file", "P -aetwq file u", "P +batchmode file",
                      "P -et file u",  // binary output
                      "P -t file", "P -ast +clearsig=on B extra", "P file.asc extra",
                      "P -ka", "P -ka a.asc b.asc", "P -kae a.asc", "P -kx keys", "P -x u keys",
                      "P -as file u"));

struct OutputRow {
  std::string raw;
  std::optional<std::string> output;
};

class OutputNames : public ::testing::TestWithParam<OutputRow> {};

TEST_P(OutputNames, FollowFromTheInput) {
  EXPECT_EQ(OutputFileOf(ParseInvocation(GetParam().raw)), GetParam().output);
}

INSTANTIATE_TEST_SUITE_P(
    Raw, OutputNames,
    ::testing::Values(OutputRow{"P  C:\\T\\quillnet.asc", "C:\\T\\quillnet"},
                      OutputRow{"P  C:\\T\\QUILLNET.ASC", "C:\\T\\QUILLNET"},
                      OutputRow{"P  C:\\T\\quillnet", std::nullopt},
                      OutputRow{"P -aetw C:\\T\\quillnet u", "C:\\T\\quillnet.asc"},
                      OutputRow{"P -aetw C:\\T.d\\quillnet u", "C:\\T.d\\quillnet.asc"},
                      OutputRow{"P -ast +clearsig=on C:\\T\\quillnet", "C:\\T\\quillnet.asc"},
                      OutputRow{"P -kx u keys", "keys.asc"}, OutputRow{"P -kx u keys.asc", "keys.asc"},
                      OutputRow{"P -ka C:\\T\\quillnet.asc", std::nullopt},
                      OutputRow{"P -z C:\\T\\quillnet.asc", std::nullopt}));

struct FaultRow {
  std::string list;
  std::optional<uint32_t> exitCode;
  bool emptyOutput, noOutput, crash;
  uint32_t sleepMs;
  bool error;
};

class FaultLists : public ::testing::TestWithParam<FaultRow> {};

TEST_P(FaultLists, Parse) {
  const Faults faults = ParseFaults(GetParam().list);
  EXPECT_EQ(!faults.error.empty(), GetParam().error);
  if (GetParam().error) return;
  EXPECT_EQ(faults.exitCode, GetParam().exitCode);
  EXPECT_EQ(faults.emptyOutput, GetParam().emptyOutput);
  EXPECT_EQ(faults.noOutput, GetParam().noOutput);
  EXPECT_EQ(faults.crash, GetParam().crash);
  EXPECT_EQ(faults.sleepMs, GetParam().sleepMs);
}

INSTANTIATE_TEST_SUITE_P(
    Lists, FaultLists,
    ::testing::Values(FaultRow{"", std::nullopt, false, false, false, 0, false},
                      FaultRow{"exit=0x10000", 0x10000u, false, false, false, 0, false},
                      FaultRow{"exit=65536", 65536u, false, false, false, 0, false},
                      FaultRow{"exit=0XFFFFFFFF", 0xFFFFFFFFu, false, false, false, 0, false},
                      FaultRow{" empty , sleep=250 ,,", std::nullopt, true, false, false, 250, false},
                      FaultRow{"NOOUTPUT,exit=31,crash", 31u, false, true, true, 0, false},
                      FaultRow{"exit=4294967296", std::nullopt, false, false, false, 0, true},
                      FaultRow{"exit=", std::nullopt, false, false, false, 0, true},
                      FaultRow{"exit=12x", std::nullopt, false, false, false, 0, true},
                      FaultRow{"sleep=-1", std::nullopt, false, false, false, 0, true},
                      FaultRow{"sleep=600001", std::nullopt, false, false, false, 0, true},
                      FaultRow{"emtpy", std::nullopt, false, false, false, 0, true},
                      FaultRow{"empty=1", std::nullopt, false, false, false, 0, true}));

TEST(LogLine, HasThreeTabSeparatedFieldsOnOneLine) {
  EXPECT_EQ(FormatLogLine("C:\\PGP\\PGP.EXE  C:\\T\\quillnet.asc", true, "31"),
            "cmdline=C:\\PGP\\PGP.EXE  C:\\T\\quillnet.asc\tpgppass=yes\texit=31\n");
  EXPECT_EQ(FormatLogLine("a\tb\r\nc", false, "crash"), "cmdline=a b  c\tpgppass=no\texit=crash\n");
}

}  // namespace
}  // namespace pgpstub
