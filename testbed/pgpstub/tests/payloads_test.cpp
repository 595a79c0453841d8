// The records inside the armour: messages give back their exact bytes, a
// clear signature survives a change of line ends and nothing else, and a key
// block is found in any surrounding text but never when damaged.
#include <gtest/gtest.h>

#include <cctype>
#include <string>

#include "payloads.h"

namespace pgpstub {
namespace {

std::string Unwrapped(const std::string& armor, const char* kind) {
  const std::vector<Line> lines = SplitLines(armor);
  const auto payload = UnwrapArmor(lines, 0, kind);
  return payload ? *payload : std::string("<damaged>");
}

TEST(MessagePayload, CarriesRecipientsSignerAndExactBytes) {
  Message message;
  message.textMode = true;
  message.recipients = {"Alice <a@x.org>", "John Smith <js@x.org>"};
  message.signer = "Alice <a@x.org>";
  message.data = std::string("line\r\n-dash\n\xE4\x84\0end", 17);
  const auto parsed = ParseMessagePayload(Unwrapped(MakeMessageArmor(message), "MESSAGE"));
  ASSERT_TRUE(parsed);
  EXPECT_TRUE(parsed->textMode);
  EXPECT_EQ(parsed->recipients, message.recipients);
  EXPECT_EQ(parsed->signer, message.signer);
  EXPECT_EQ(parsed->data, message.data);
  EXPECT_TRUE(SignatureHolds(*parsed));
}

TEST(MessagePayload, SignatureNoticesChangedDataOrSigner) {
  Message message;
  message.signer = "Alice";
  message.data = "text";
  auto parsed = ParseMessagePayload(Unwrapped(MakeMessageArmor(message), "MESSAGE"));
  ASSERT_TRUE(parsed);
  parsed->data = "Text";
  EXPECT_FALSE(SignatureHolds(*parsed));
  parsed->data = "text";
  parsed->signer = "Bob";
  EXPECT_FALSE(SignatureHolds(*parsed));
}

class BadMessagePayloads : public ::testing::TestWithParam<std::string> {};

TEST_P(BadMessagePayloads, AreRefused) { EXPECT_FALSE(ParseMessagePayload(GetParam())); }

INSTANTIATE_TEST_SUITE_P(
    Records, BadMessagePayloads,
    ::testing::Values("", "PGPSTUB MESSAGE 2\nmode: b\nsize: 0\n\n",
                      "PGPSTUB MESSAGE 1\nsize: 0\n\n",                    // no mode
                      "PGPSTUB MESSAGE 1\nmode: b\n\n",                    // no size
                      "PGPSTUB MESSAGE 1\nmode: b\nsize: 3\n\nab",         // short data
                      "PGPSTUB MESSAGE 1\nmode: b\nsize: 1\n\nab",         // extra data
                      "PGPSTUB MESSAGE 1\nmode: b\nsize: 0\n",             // no blank line
                      "PGPSTUB MESSAGE 1\nmode: b\nby: A\nsize: 0\n\n",    // signer, no sum
                      "PGPSTUB MESSAGE 1\nmode: b\nsum: 0123456789abcdef\nsize: 0\n\n",
                      "PGPSTUB MESSAGE 1\nmode: b\nto: \nsize: 0\n\n",     // empty recipient
                      "PGPSTUB MESSAGE 1\nmode: b\ncc: A\nsize: 0\n\n",    // unknown field
                      "PGPSTUB MESSAGE 1\nmode: x\nsize: 0\n\n",
                      "PGPSTUB MESSAGE 1\nmode: b\nsize: -1\n\n"));

struct EscapeRow {
  std::string text;
  std::string escaped;
};

class DashEscaping : public ::testing::TestWithParam<EscapeRow> {};

TEST_P(DashEscaping, EscapesEveryLineStartingWithADashAndUndoes) {
  EXPECT_EQ(DashEscape(GetParam().text), GetParam().escaped);
  EXPECT_EQ(DashUnescape(GetParam().escaped), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, DashEscaping,
    ::testing::Values(EscapeRow{"", ""}, EscapeRow{"plain\n", "plain\n"}, EscapeRow{"-", "- -"},
                      EscapeRow{"a\r\n-b\r\n--c\n", "a\r\n- -b\r\n- --c\n"},
                      EscapeRow{"-----BEGIN PGP SIGNATURE-----\n", "- -----BEGIN PGP SIGNATURE-----\n"},
                      EscapeRow{"a -b\n", "a -b\n"}, EscapeRow{"- x", "- - x"}));

// Clear-signs a text and checks the block, as a whole file.
ClearCheck SignAndCheck(const std::string& file) {
  const std::vector<Line> lines = SplitLines(file);
  const auto begin = FindBeginLine(lines, 0, "SIGNED MESSAGE");
  if (!begin) return {};
  return CheckClearSigned(file, lines, *begin);
}

std::string WithLfEnds(const std::string& text) {
  std::string out;
  for (char c : text)
    if (c != '\r') out += c;
  return out;
}

class ClearSignedTexts : public ::testing::TestWithParam<std::string> {};

TEST_P(ClearSignedTexts, ComeBackUnchangedWithAGoodSignature) {
  const std::string signedFile = ClearSign(GetParam(), "Alice <a@x.org>");
  const ClearCheck check = SignAndCheck("Text before\r\n" + signedFile + "after\r\n");
  EXPECT_EQ(check.status, CheckStatus::Good);
  EXPECT_EQ(check.text, GetParam());
  EXPECT_EQ(check.signer, "Alice <a@x.org>");
}

TEST_P(ClearSignedTexts, StillVerifyWhenEveryLineEndBecameLf) {
  const ClearCheck check = SignAndCheck(WithLfEnds(ClearSign(GetParam(), "Alice")));
  EXPECT_EQ(check.status, CheckStatus::Good);
  EXPECT_EQ(check.text, WithLfEnds(GetParam()));
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ClearSignedTexts,
    ::testing::Values("", "one line", "one line\r\n", "a\r\nb\r\n\r\n", "\r\nstarts blank",
                      "-dash\r\n--two\r\n- escaped look\r\n",
                      "-----BEGIN PGP MESSAGE-----\r\nnot armour\r\n-----END PGP MESSAGE-----\r\n",
                      "-----BEGIN PGP SIGNATURE-----\r\n", "\xE4\x84 high bytes\r\n",
                      "mixed\nends\r\n"));

// Each row changes a signed file after signing; the check must fail (Bad)
// or refuse the block (Malformed), never report Good.
struct TamperRow {
  const char* name;
  std::string from;
  std::string to;
  CheckStatus expected;
};

void PrintTo(const TamperRow& row, std::ostream* out) { *out << row.name; }

class Tampering : public ::testing::TestWithParam<TamperRow> {};

TEST_P(Tampering, IsNoticed) {
  const std::string good = ClearSign("Pay Bob 10 dollars.\r\n-signed\r\n", "Alice");
  std::string bad = good;
  const size_t at = bad.find(GetParam().from);
  ASSERT_NE(at, std::string::npos);
  bad.replace(at, GetParam().from.size(), GetParam().to);
  EXPECT_EQ(SignAndCheck(bad).status, GetParam().expected) << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(
    Changes, Tampering,
    ::testing::Values(
        TamperRow{"word changed", "10", "90", CheckStatus::Bad},
        TamperRow{"case changed", "Pay", "pay", CheckStatus::Bad},
        TamperRow{"blank added at line end", "dollars.", "dollars. ", CheckStatus::Bad},
        TamperRow{"line added", "-signed\r\n", "-signed\r\nP.S.\r\n", CheckStatus::Bad},
        TamperRow{"final line end removed", "- -signed\r\n\r\n", "- -signed\r\n", CheckStatus::Bad},
        TamperRow{"line removed", "- -signed\r\n", "", CheckStatus::Bad},
        // Not tampering: an escape is only needed where a line could pass
        // for armour, so a missing one gives back the same text.
        TamperRow{"escape removed", "- -signed", "-signed", CheckStatus::Good},
        TamperRow{"no blank line after BEGIN", "MESSAGE-----\r\n\r\n", "MESSAGE-----\r\n",
                  CheckStatus::Malformed},
        TamperRow{"signature armour missing", "-----BEGIN PGP SIGNATURE-----", "",
                  CheckStatus::Malformed},
        TamperRow{"signature end missing", "-----END PGP SIGNATURE-----", "", CheckStatus::Malformed},
        TamperRow{"unescaped armour line in text", "Pay", "-----BEGIN PGP MESSAGE-----\r\nPay",
                  CheckStatus::Malformed}),
    [](const auto& info) {
      std::string name = info.param.name;
      for (char& c : name)
        if (!isalnum(static_cast<unsigned char>(c))) c = '_';
      return name;
    });

TEST(ClearSign, WritesPgpLayoutWithDashEscapedLines) {
  const std::string file = ClearSign("-x\r\ny", "Alice");
  EXPECT_EQ(file.rfind("-----BEGIN PGP SIGNED MESSAGE-----\r\n\r\n- -x\r\ny\r\n"
                       "-----BEGIN PGP SIGNATURE-----\r\n",
                       0),
            0u);
  EXPECT_NE(file.find("-----END PGP SIGNATURE-----\r\n"), std::string::npos);
}

TEST(KeyBlock, IsFoundInsideAWholeMailMessage) {
  const std::vector<std::string> ids = {"Alice <a@x.org>", "John Smith <js@x.org>"};
  const std::string mail = "From: alice\r\nSubject: my key\r\n\r\n"
                           "-----BEGIN PGP MESSAGE-----\r\nnot this one\r\n"
                           "> quoted\r\n" + MakeKeyBlock(ids) + "\r\nBye\r\n";
  EXPECT_EQ(ParseKeyBlock(mail), ids);
}

class BadKeyBlocks : public ::testing::TestWithParam<std::string> {};

TEST_P(BadKeyBlocks, AreRefused) { EXPECT_FALSE(ParseKeyBlock(GetParam())); }

std::string KeyArmor(const std::string& payload) { return WrapArmor("PUBLIC KEY BLOCK", payload); }

INSTANTIATE_TEST_SUITE_P(
    Blocks, BadKeyBlocks,
    ::testing::Values("no block at all\r\n", KeyArmor("PGPSTUB MESSAGE 1\npub: A\n"),
                      KeyArmor("PGPSTUB KEYS 1\nsec: A\n"), KeyArmor("PGPSTUB KEYS 1\npub: \n"),
                      KeyArmor("PGPSTUB KEYS 1\npub: A\tB\n"), KeyArmor("PGPSTUB KEYS 1\npub: A"),
                      MakeKeyBlock({"A"}).substr(0, 60)));

TEST(KeyBlock, WithoutKeysParsesAsEmpty) {
  const auto ids = ParseKeyBlock(MakeKeyBlock({}));
  ASSERT_TRUE(ids);
  EXPECT_TRUE(ids->empty());
}

}  // namespace
}  // namespace pgpstub
