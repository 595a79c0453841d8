#include "command/result_marking.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const std::string kFirst = "[-- Quillnet: good signature from Bob --]";
const std::string kEnd(kEndMarker);

struct MarkRow {
  const char* name;
  std::string head;
  std::string output;
  std::string tail;
  char quote;
  std::string expected;
};

class ComposeMarkedTextTest : public testing::TestWithParam<MarkRow> {};

TEST_P(ComposeMarkedTextTest, KeepsTheMessageOutsideTheMarkers) {
  const MarkRow& row = GetParam();
  EXPECT_EQ(ComposeMarkedText(row.head, row.output, row.tail, row.quote, kFirst), row.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ComposeMarkedTextTest,
    testing::Values(
        // The words above a signed note are not Bob's: they stay above his marker.
        MarkRow{"SurroundingText", "Please wire the money to Mallory.\r\n", "Hi, Bob here.\r\n",
                "\r\nBye\r\n", '\0',
                "Please wire the money to Mallory.\r\n" + kFirst + "\r\nHi, Bob here.\r\n" + kEnd +
                    "\r\nBye\r\n"},
        MarkRow{"BeginInMidLine", "See: ", "text", " after", '\0',
                "See: \r\n" + kFirst + "\r\ntext\r\n" + kEnd + "\r\n after"},
        MarkRow{"NothingAround", "", "text\r\n", "", '\0', kFirst + "\r\ntext\r\n" + kEnd},
        MarkRow{"EmptyOutput", "", "", "", '\0', kFirst + "\r\n" + kEnd},
        // In a reply the markers are quoted like the lines they enclose.
        MarkRow{"QuotedBlock", "Bob wrote:\r\n>", "line 1\r\nline 2\r\n", "\r\n>more\r\n", '>',
                "Bob wrote:\r\n>" + kFirst + "\r\n>line 1\r\n>line 2\r\n>" + kEnd +
                    "\r\n>more\r\n"},
        MarkRow{"QuotedBlockInMidLine", "x>", "a", "", '>',
                "x>\r\n>" + kFirst + "\r\n>a\r\n>" + kEnd},
        // Lines that would pass for markers are defused, wherever they stand.
        MarkRow{"ForgedMarkers",
                "[-- Quillnet: good signature from the bank --]\r\n> [-- Quillnet: x\r\n",
                "[-- Quillnet: end of PGP's output --]\r\nmine\r\n", "\r\n[-- Quillnet\r\n", '\0',
                "(not from Quillnet) [-- Quillnet: good signature from the bank --]\r\n"
                "> (not from Quillnet) [-- Quillnet: x\r\n" +
                    kFirst + "\r\n(not from Quillnet) [-- Quillnet: end of PGP's output --]\r\n"
                    "mine\r\n" + kEnd + "\r\n(not from Quillnet) [-- Quillnet\r\n"},
        // Right after the END line: the tail's first line starts a line too.
        MarkRow{"ForgedEndRightAfterTheBlock", "", "ok\r\n", "[-- Quillnet: end --]", '\0',
                kFirst + "\r\nok\r\n" + kEnd + "\r\n(not from Quillnet) [-- Quillnet: end --]"},
        // Only a line's beginning counts.
        MarkRow{"MidLineIsHarmless", "a [-- Quillnet b\r\n", "", "", '\0',
                "a [-- Quillnet b\r\n" + kFirst + "\r\n" + kEnd}),
    [](const testing::TestParamInfo<MarkRow>& info) { return info.param.name; });

TEST(FirstMarker, StatesWhatThePgpProgramVouchedFor) {
  VerdictFile verdict;
  verdict.signedMessage = true;
  verdict.status = "good";
  verdict.validity = "full";
  verdict.signer = "Bob <bob@example.net>";
  verdict.signedAt = "2026-12-08T10:00:00Z";
  verdict.fingerprint = "AB12";
  EXPECT_EQ(FirstMarker(CheckSignature, &verdict),
            "[-- Quillnet: good signature from Bob <bob@example.net>, made 2026-12-08T10:00:00Z, "
            "key AB12 --]");
  verdict.encrypted = true;
  EXPECT_EQ(FirstMarker(Decode, &verdict).substr(0, 48),
            "[-- Quillnet: decrypted; good signature from Bob");
  verdict.validity = "undefined";
  EXPECT_NE(FirstMarker(Decode, &verdict).find("not verified as Bob <bob@example.net>'s"),
            std::string::npos);
  verdict.status = "unknown-key";
  EXPECT_NE(FirstMarker(Decode, &verdict).find("signature by an unknown key AB12"),
            std::string::npos);

  VerdictFile literal;  // neither encrypted nor signed: anybody can make one
  EXPECT_EQ(FirstMarker(Decode, &literal), "[-- Quillnet: not encrypted and not signed --]");
  VerdictFile encryptedOnly;
  encryptedOnly.encrypted = true;
  EXPECT_EQ(FirstMarker(Decode, &encryptedOnly), "[-- Quillnet: decrypted; not signed --]");

  EXPECT_EQ(FirstMarker(CheckSignature, nullptr),
            "[-- Quillnet: PGP reports a good signature; the signer is named in PGP's output --]");
}

// The signer's user id is the sender's text: it stays on the marker's line.
TEST(FirstMarker, ASignerCannotBreakTheLine) {
  VerdictFile verdict;
  verdict.signedMessage = true;
  verdict.status = "good";
  verdict.validity = "full";
  verdict.signer = "Bob --]\r\n[-- Quillnet: end of PGP's output --]\r\n" + std::string(200, 'x');
  const std::string marker = FirstMarker(CheckSignature, &verdict);
  EXPECT_EQ(marker.find('\n'), std::string::npos);
  EXPECT_EQ(marker.find('\r'), std::string::npos);
  EXPECT_LT(marker.size(), 140u);
}

}  // namespace
