#include "command_line.h"

#include <gtest/gtest.h>

namespace pgp2gpg {
namespace {

struct QuoteRow {
  std::string argument;
  std::string quoted;
};

class Quote : public testing::TestWithParam<QuoteRow> {};

// Each row is written as expected and reads back unchanged.
TEST_P(Quote, WritesAndReadsBack) {
  const QuoteRow& row = GetParam();
  EXPECT_EQ(QuoteArgument(row.argument), row.quoted);
  const std::vector<std::string> back = SplitArguments(QuoteArgument(row.argument));
  ASSERT_EQ(back.size(), 1u);
  EXPECT_EQ(back[0], row.argument);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, Quote,
    testing::Values(QuoteRow{"plain", "plain"}, QuoteRow{"", "\"\""},
                    QuoteRow{"two words", "\"two words\""}, QuoteRow{"tab\there", "\"tab\there\""},
                    QuoteRow{"say \"hi\"", "\"say \\\"hi\\\"\""},
                    QuoteRow{"C:\\dir\\", "C:\\dir\\"},
                    QuoteRow{"C:\\my dir\\", "\"C:\\my dir\\\\\""},
                    QuoteRow{"a\\\"b", "\"a\\\\\\\"b\""},
                    QuoteRow{"a\\\\b c", "\"a\\\\b c\""},
                    QuoteRow{"\\\\server\\share x", "\"\\\\server\\share x\""},
                    QuoteRow{"\"", "\"\\\"\""},
                    QuoteRow{"-o x", "\"-o x\""}, QuoteRow{"--output=x", "--output=x"}));

TEST(JoinAndSplit, ManyTrickyArgumentsSurviveTogether) {
  const std::vector<std::string> arguments = {
      "--batch", "", "a b", "\"q\"", "back\\", "back\\ slash\\", "\\\"", "x\"\"y", "\"\"", " ",
      "\xC3\xBC"};
  const std::string line = JoinCommandLine("C:\\Program Files\\GnuPG\\bin\\gpg.exe", arguments);
  EXPECT_EQ(line.rfind("\"C:\\Program Files\\GnuPG\\bin\\gpg.exe\" ", 0), 0u);
  EXPECT_EQ(SplitArguments(SkipProgramName(line, "gpg.exe")), arguments);
}

struct SplitRow {
  std::string line;
  std::vector<std::string> words;
};

class Split : public testing::TestWithParam<SplitRow> {};

TEST_P(Split, FollowsCommandLineToArgvW) { EXPECT_EQ(SplitArguments(GetParam().line), GetParam().words); }

INSTANTIATE_TEST_SUITE_P(
    Rows, Split,
    testing::Values(SplitRow{"", {}}, SplitRow{"   ", {}},
                    SplitRow{"  C:\\T\\quillnet.asc", {"C:\\T\\quillnet.asc"}},
                    SplitRow{"-aetw B u1 \"Jo Smith\" u2", {"-aetw", "B", "u1", "Jo Smith", "u2"}},
                    SplitRow{"a\\\\\\\"b", {"a\\\"b"}}, SplitRow{"a\\\\\"b c\"", {"a\\b c"}},
                    SplitRow{"\"a\"\"b\"", {"a\"b"}}, SplitRow{"\"\"\"\"", {"\""}},
                    SplitRow{"x \"\" y", {"x", "", "y"}}, SplitRow{"\"open end", {"open end"}},
                    SplitRow{"a\tb", {"a", "b"}}));

struct SkipRow {
  std::string line;
  std::string ownName;
  std::string rest;
};

class Skip : public testing::TestWithParam<SkipRow> {};

TEST_P(Skip, FindsWhereTheProgramNameEnds) {
  EXPECT_EQ(SkipProgramName(GetParam().line, GetParam().ownName), GetParam().rest);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, Skip,
    testing::Values(
        SkipRow{"\"C:\\Program Files\\p\\pgp.exe\"  x.asc", "pgp.exe", "  x.asc"},
        SkipRow{"C:\\PGP\\PGP.EXE  C:\\TEMP\\quillnet.asc", "pgp.exe", "  C:\\TEMP\\quillnet.asc"},
        SkipRow{"C:\\Program Files\\Tools\\pgp.exe -aetw B u", "pgp.exe", " -aetw B u"},
        SkipRow{"C:\\Program Files\\Tools\\pgp2gpg -ka A", "pgp2gpg.exe", " -ka A"},
        SkipRow{"pgp2gpg.exe -h", "pgp2gpg.exe", " -h"},
        // Not our name anywhere: the first blank ends it.
        SkipRow{"C:\\odd name.exe -h", "pgp.exe", " name.exe -h"},
        // The name must stand after a separator, not inside a longer one.
        SkipRow{"C:\\x\\notpgp.exe -h", "pgp.exe", " -h"},
        SkipRow{"pgp.exe", "pgp.exe", ""}));

}  // namespace
}  // namespace pgp2gpg
