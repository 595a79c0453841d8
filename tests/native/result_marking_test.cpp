#include "command/result_marking.h"
#include "tests/native/support/string_table.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace {

const std::string kFirst = "[-- Quillnet: good signature from Bob --]";
const std::string kEnd(kEndMarker);
const std::string kTag(kDefuseTag);

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
                kTag + "[-- Quillnet: good signature from the bank --]\r\n> " + kTag +
                    "[-- Quillnet: x\r\n" + kFirst + "\r\n" + kTag +
                    "[-- Quillnet: end of PGP's output --]\r\nmine\r\n" + kEnd + "\r\n" + kTag +
                    "[-- Quillnet\r\n"},
        // Right after the END line: the tail's first line starts a line too.
        MarkRow{"ForgedEndRightAfterTheBlock", "", "ok\r\n", "[-- Quillnet: end --]", '\0',
                kFirst + "\r\nok\r\n" + kEnd + "\r\n" + kTag + "[-- Quillnet: end --]"},
        // A line that wraps shows its middle at the start of a screen line.
        MarkRow{"MidLine", "a [-- Quillnet b\r\n", "", "", '\0',
                "a " + kTag + "[-- Quillnet b\r\n" + kFirst + "\r\n" + kEnd},
        MarkRow{"QuotedForgery", "x\r\n>", "a\r\n[-- Quillnet: end\r\n", "", '>',
                "x\r\n>" + kFirst + "\r\n>a\r\n>" + kTag + "[-- Quillnet: end\r\n>" + kEnd}),
    [](const testing::TestParamInfo<MarkRow>& info) { return info.param.name; });

// What a reader takes for the module's line, the way a sender can write it.
class LookAlike : public testing::TestWithParam<std::string> {};

TEST_P(LookAlike, IsDefused) {
  const std::string forged = "Hi" + GetParam() + ": good signature from \"Bank\" --]\r\n";
  EXPECT_TRUE(LooksLikeMarker(forged));
  const std::string shown = ComposeMarkedText("", forged, "", '\0', kFirst);
  size_t lines = 0;
  for (size_t at = 0; at < shown.size(); ++lines) {
    const size_t end = shown.find('\n', at);
    const std::string_view line = std::string_view(shown).substr(at, end - at);
    EXPECT_EQ(LooksLikeMarker(line), lines == 0 || line.find(kEnd) == 0) << line;
    at = end == std::string::npos ? shown.size() : end + 1;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Forms, LookAlike,
    testing::Values("\r\n[--\xA0Quillnet", "\r\n[-\xAD- Quillnet", "\r\n[\x96\x96 Quillnet",
                    "\r\n[-- quillnet", "\r\n[-- QuiIlnet", "\r\n[--  Quillnet",
                    "\r\n\xA0[-- Quillnet", "\r\n[--\x01\x7F Qui\x1Bllnet", "\r[-- Quillnet",
                    " and [-- QUILLNET", "\r\n[-- Qu1l|net"));

TEST(LookAlike, OrdinaryBracketsStayAsTheyAre) {
  for (const char* text : {"[--] Quillnet", "[-- Quill net", "[Quillnet", "[-- Quillnut", "[-- Quil"})
    EXPECT_FALSE(LooksLikeMarker(text)) << text;
}

// A line of a decoded text that begins like the client's own attachment
// lines would make the client open the sender's choice of file.
TEST(ComposeMarkedText, DefusesAttachmentLinesOfTheOutputOnly) {
  const std::string prefix = "Attachment Converted: ";
  const std::string shown =
      ComposeMarkedText(prefix + "x\r\n", prefix + "\"C:\\a.exe\"\r\n", "", '\0', kFirst, prefix);
  EXPECT_EQ(shown, prefix + "x\r\n" + kFirst + "\r\n" + kTag + prefix + "\"C:\\a.exe\"\r\n" + kEnd);
}

TEST(ShownUserId, StaysOneQuotedLineThatCannotOpenOrCloseAMarker) {
  EXPECT_EQ(ShownUserId("  Bob \t [--  x --]\r\n\"y\" "), "\"Bob (-- x --)?" "?'y'\"");
  const std::string shown = ShownUserId("Alice <alice@example.com>" + std::string(100, ' ') +
                                        std::string(100, 'x') + " <mallory@example.com>");
  EXPECT_EQ(shown.size(), 82u);
  EXPECT_NE(shown.find("Alice <alice@"), std::string::npos);
  EXPECT_NE(shown.find("<mallory@example.com>\""), std::string::npos) << "the end stays visible";
  EXPECT_NE(shown.find("..."), std::string::npos);
}

TEST(FromAddressOf, ReadsOnlyTheHeaderLines) {
  EXPECT_EQ(FromAddressOf("To: x@y\r\nFROM: \"Bob\" <Bob@Example.net>\r\n\r\nbody"),
            "Bob@Example.net");
  EXPECT_EQ(FromAddressOf("From: bob@example.net (Bob)\n\nx"), "bob@example.net");
  EXPECT_EQ(FromAddressOf("Subject: x\r\n\r\nFrom: eve@example.org\r\n"), "");
  EXPECT_EQ(FromAddressOf("From: nobody\r\n"), "");
}

TEST(FirstMarker, NamesOnlyAVerifiedUserIdAsTheSigner) {
  VerdictFile verdict;
  verdict.signedMessage = true;
  verdict.status = "good";
  verdict.validity = "undefined";
  verdict.keyName = "Alice <alice@example.com>";
  const std::string marker = FirstMarker(CheckSignature, &verdict, string_table::Markers());
  EXPECT_EQ(marker.find("good signature from"), std::string::npos) << marker;
  EXPECT_NE(marker.find("not verified (validity undefined); the key calls itself \"Alice"),
            std::string::npos)
      << marker;

  verdict.validity = "full";
  verdict.signer = "Bob <bob@example.net>";
  verdict.signerAddresses = {"bob@example.net"};
  MarkerNotes notes;
  notes.fromAddress = "BOB@example.net";
  EXPECT_EQ(FirstMarker(CheckSignature, &verdict, string_table::Markers(), notes).find("From:"), std::string::npos);
  notes.fromAddress = "ceo@bank.example";
  EXPECT_NE(FirstMarker(CheckSignature, &verdict, string_table::Markers(), notes)
                .find("the From: address \"ceo@bank.example\" is not a verified address"),
            std::string::npos);
}

TEST(KeysAddedList, NamesEveryKeyFingerprintFirstAndSaysWhatItLeavesOut) {
  VerdictFile verdict;
  for (int k = 0; k < 3; ++k)
    verdict.keysAdded.emplace_back("0123456789ABCDEF0123456789ABCDEF0123456" + std::to_string(k),
                                   std::string(120, 'a' + k));
  verdict.keysUpdated.emplace_back("FFFF", "New <new@x>");
  const std::string list = KeysAddedList(verdict, string_table::Markers());
  for (char c : {'0', '1', '2'})
    EXPECT_NE(list.find(std::string("CDEF 0123 456") + c), std::string::npos) << list;
  EXPECT_NE(list.find("FFFF  (a key you had; new user ids:)\n    \"New <new@x>\""), std::string::npos);
  EXPECT_LT(list.find("0123 4567"), list.find("aaaa")) << "fingerprint first";

  const std::string cut = KeysAddedList(verdict, string_table::Markers(), 5);
  EXPECT_NE(cut.find("... and 2 more keys"), std::string::npos) << cut;
}

TEST(FirstMarker, StatesWhatThePgpProgramVouchedFor) {
  VerdictFile verdict;
  verdict.signedMessage = true;
  verdict.status = "good";
  verdict.validity = "full";
  verdict.signer = "Bob <bob@example.net>";
  verdict.signedAt = "2026-12-08T10:00:00Z";
  verdict.fingerprint = "AB12";
  EXPECT_EQ(FirstMarker(CheckSignature, &verdict, string_table::Markers()),
            "[-- Quillnet: good signature from \"Bob <bob@example.net>\", made "
            "2026-12-08T10:00:00Z, key AB12 --]");
  verdict.encrypted = true;
  EXPECT_EQ(FirstMarker(Decode, &verdict, string_table::Markers()).substr(0, 49),
            "[-- Quillnet: decrypted; good signature from \"Bob");
  verdict.status = "unknown-key";
  EXPECT_NE(FirstMarker(Decode, &verdict, string_table::Markers()).find("signature by an unknown key AB12"),
            std::string::npos);

  VerdictFile literal;  // neither encrypted nor signed: anybody can make one
  EXPECT_EQ(FirstMarker(Decode, &literal, string_table::Markers()), "[-- Quillnet: not encrypted and not signed --]");
  VerdictFile encryptedOnly;
  encryptedOnly.encrypted = true;
  EXPECT_EQ(FirstMarker(Decode, &encryptedOnly, string_table::Markers()), "[-- Quillnet: decrypted; not signed --]");

  EXPECT_EQ(FirstMarker(CheckSignature, nullptr, string_table::Markers()),
            "[-- Quillnet: PGP ended without an error; what it found is in PGP's own output --]");
}

// The signer's user id is the sender's text: it stays on the marker's line.
TEST(FirstMarker, ASignerCannotBreakTheLine) {
  VerdictFile verdict;
  verdict.signedMessage = true;
  verdict.status = "good";
  verdict.validity = "full";
  verdict.signer = "Bob --]\r\n[-- Quillnet: end of PGP's output --]\r\n" + std::string(200, 'x');
  const std::string marker = FirstMarker(CheckSignature, &verdict, string_table::Markers());
  EXPECT_EQ(marker.find('\n'), std::string::npos);
  EXPECT_EQ(marker.find('\r'), std::string::npos);
  EXPECT_LT(marker.size(), 140u);
}

}  // namespace
