#include "console_text.h"

#include <gtest/gtest.h>

namespace pgp2gpg {
namespace {

struct TextRow {
  std::string input;
  std::string expected;
};

class Escape : public testing::TestWithParam<TextRow> {};

TEST_P(Escape, ShowsOnlyHarmlessText) {
  EXPECT_EQ(EscapeForConsole(GetParam().input), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, Escape,
    testing::Values(TextRow{"Alice <alice@example.org>", "Alice <alice@example.org>"},
                    TextRow{"M\xC3\xBCller", "M\xC3\xBCller"},  // ü stays
                    TextRow{"a\x1B[2Jb", "a\\x1B[2Jb"},
                    TextRow{"line\nGood signature", "line\\x0AGood signature"},
                    TextRow{"cr\rx", "cr\\x0Dx"},
                    TextRow{"del\x7F", "del\\x7F"},
                    TextRow{"C:\\dir\\x1B", "C:\\dir\\x1B"},
                    TextRow{"c1\xC2\x9B" "31m", "c1\\u{009B}31m"},
                    TextRow{"rlo\xE2\x80\xAEtxt", "rlo\\u{202E}txt"},
                    TextRow{"bad\xFFutf", "bad\\xFFutf"},
                    TextRow{"overlong\xC0\xAF", "overlong\\xC0\\xAF"},
                    TextRow{"cut\xE2\x80", "cut\\xE2\\x80"}));

class Percent : public testing::TestWithParam<TextRow> {};

TEST_P(Percent, DecodesGpgEscapes) { EXPECT_EQ(PercentDecode(GetParam().input), GetParam().expected); }

INSTANTIATE_TEST_SUITE_P(Rows, Percent,
                         testing::Values(TextRow{"a%0Ab", "a\nb"}, TextRow{"%25", "%"},
                                         TextRow{"%1b%5B", "\x1B["}, TextRow{"100%", "100%"},
                                         TextRow{"%4", "%4"}, TextRow{"%zz", "%zz"}));

}  // namespace
}  // namespace pgp2gpg
