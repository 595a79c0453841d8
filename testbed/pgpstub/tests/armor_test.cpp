// The transport layer: base64 and CRC-24 against published values, and the
// armour that must reject every damaged block instead of decoding rubbish.
#include <gtest/gtest.h>

#include <string>

#include "armor.h"

namespace pgpstub {
namespace {

struct Base64Row {
  std::string bytes;
  std::string text;
};

class Base64Vectors : public ::testing::TestWithParam<Base64Row> {};

TEST_P(Base64Vectors, EncodesAndDecodesTheKnownText) {
  EXPECT_EQ(EncodeBase64(GetParam().bytes), GetParam().text);
  EXPECT_EQ(DecodeBase64(GetParam().text), GetParam().bytes);
}

// RFC 4648's test vectors, plus bytes above 0x7F and a zero byte.
INSTANTIATE_TEST_SUITE_P(Rfc4648, Base64Vectors,
                         ::testing::Values(Base64Row{"", ""}, Base64Row{"f", "Zg=="},
                                           Base64Row{"fo", "Zm8="}, Base64Row{"foo", "Zm9v"},
                                           Base64Row{"foob", "Zm9vYg=="},
                                           Base64Row{"fooba", "Zm9vYmE="},
                                           Base64Row{"foobar", "Zm9vYmFy"},
                                           Base64Row{std::string("\xE4\x84\0\xFF", 4), "5IQA/w=="}));

class Base64Damage : public ::testing::TestWithParam<const char*> {};

TEST_P(Base64Damage, IsRefused) { EXPECT_FALSE(DecodeBase64(GetParam())); }

INSTANTIATE_TEST_SUITE_P(Texts, Base64Damage,
                         ::testing::Values("Zg=", "Zm9v Yg==", "Zm9-", "Zg==Zm9v", "=Zm9", "Z===",
                                           "Zm9\xE4"));

TEST(Crc24, MatchesPgpCheckValues) {
  EXPECT_EQ(Crc24(""), 0xB704CEu);
  EXPECT_EQ(Crc24("123456789"), 0x21CF02u);
}

struct LineRow {
  std::string text;
  std::vector<std::string> lines;
};

class Lines : public ::testing::TestWithParam<LineRow> {};

TEST_P(Lines, SplitWithoutTheirEndings) {
  std::vector<std::string> got;
  size_t expectedStart = 0;
  for (const Line& line : SplitLines(GetParam().text)) {
    EXPECT_EQ(line.start, expectedStart);
    expectedStart = line.next;
    got.emplace_back(line.text);
  }
  EXPECT_EQ(expectedStart, GetParam().text.size());
  EXPECT_EQ(got, GetParam().lines);
}

INSTANTIATE_TEST_SUITE_P(
    Endings, Lines,
    ::testing::Values(LineRow{"", {}}, LineRow{"a", {"a"}}, LineRow{"a\n", {"a"}},
                      LineRow{"a\r\nb", {"a", "b"}}, LineRow{"a\r\n\r\nb\n", {"a", "", "b"}},
                      LineRow{"a\rb\n", {"a\rb"}}, LineRow{"\n\n", {"", ""}}));

struct BeginRow {
  std::string line;
  std::optional<std::string> kind;
};

class BeginLines : public ::testing::TestWithParam<BeginRow> {};

TEST_P(BeginLines, NameTheirKind) {
  const auto kind = BeginLineKind(GetParam().line);
  EXPECT_EQ(kind ? std::optional<std::string>(*kind) : std::nullopt, GetParam().kind);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, BeginLines,
    ::testing::Values(BeginRow{"-----BEGIN PGP MESSAGE-----", "MESSAGE"},
                      BeginRow{"-----BEGIN PGP SIGNED MESSAGE-----  \t", "SIGNED MESSAGE"},
                      BeginRow{"-----BEGIN PGP PUBLIC KEY BLOCK-----", "PUBLIC KEY BLOCK"},
                      BeginRow{" -----BEGIN PGP MESSAGE-----", std::nullopt},
                      BeginRow{"> -----BEGIN PGP MESSAGE-----", std::nullopt},
                      BeginRow{"- -----BEGIN PGP MESSAGE-----", std::nullopt},
                      BeginRow{"-----BEGIN PGP MESSAGE----", std::nullopt},
                      BeginRow{"-----BEGIN PGP -----", std::nullopt},
                      BeginRow{"-----END PGP MESSAGE-----", std::nullopt}));

std::string AllBytes() {
  std::string bytes;
  for (int i = 0; i < 256; ++i) bytes += static_cast<char>(i);
  return bytes + "\r\n\n\r";
}

TEST(Armor, WrapsInLinesOf64AndUnwrapsExactly) {
  const std::string payload = AllBytes();
  const std::string armor = WrapArmor("MESSAGE", payload);
  const std::vector<Line> lines = SplitLines(armor);
  ASSERT_GE(lines.size(), 6u);
  EXPECT_EQ(lines.front().text, "-----BEGIN PGP MESSAGE-----");
  EXPECT_EQ(lines[3].text.size(), 64u);
  EXPECT_EQ(lines.back().text, "-----END PGP MESSAGE-----");
  EXPECT_EQ(armor.substr(armor.size() - 2), "\r\n");
  EXPECT_EQ(UnwrapArmor(lines, 0, "MESSAGE"), payload);
}

TEST(Armor, UnwrapsAfterLineEndsWereConvertedAndTextSurroundsIt) {
  std::string armor = WrapArmor("MESSAGE", "payload bytes");
  std::string lf;
  for (char c : armor)
    if (c != '\r') lf += c;
  const std::string mail = "From: someone\n\nHello\n" + lf + "-- \nsignature\n";
  const std::vector<Line> lines = SplitLines(mail);
  const auto begin = FindBeginLine(lines, 0, "");
  ASSERT_TRUE(begin);
  EXPECT_EQ(*begin, 3u);
  EXPECT_EQ(UnwrapArmor(lines, *begin, "MESSAGE"), "payload bytes");
}

// Each row damages a good block in one way; none may decode.
struct DamageRow {
  const char* name;
  std::string (*damage)(std::string);
};

std::string ReplaceFirst(std::string text, const std::string& from, const std::string& to) {
  const size_t at = text.find(from);
  return at == std::string::npos ? text : text.replace(at, from.size(), to);
}

// Swaps the base64 character just after `marker` for another valid one.
std::string ChangeCharAfter(std::string text, const std::string& marker) {
  const size_t at = text.find(marker) + marker.size();
  text[at] = text[at] == 'A' ? 'B' : 'A';
  return text;
}

const DamageRow kDamages[] = {
    {"changed data character", [](std::string a) { return ChangeCharAfter(a, "\r\n\r\n"); }},
    {"changed crc", [](std::string a) { return ChangeCharAfter(a, "\r\n="); }},
    {"missing crc", [](std::string a) { return a.erase(a.find("\r\n=") + 2, 7); }},
    {"missing end line", [](std::string a) { return a.substr(0, a.find("-----END")); }},
    {"end line of another kind",
     [](std::string a) { return ReplaceFirst(a, "END PGP MESSAGE", "END PGP SIGNATURE"); }},
    {"data after the crc", [](std::string a) { return ReplaceFirst(a, "-----END", "QUJD\r\n-----END"); }},
    {"line dropped", [](std::string a) { return a.erase(a.find("\r\n\r\n") + 4, 66); }},
};

TEST(Armor, RefusesEveryDamagedBlock) {
  const std::string good = WrapArmor("MESSAGE", AllBytes());
  for (const DamageRow& row : kDamages) {
    const std::string bad = row.damage(good);
    ASSERT_NE(bad, good) << row.name;
    EXPECT_FALSE(UnwrapArmor(SplitLines(bad), 0, "MESSAGE")) << row.name;
  }
}

TEST(NoCase, FoldsAsciiOnly) {
  EXPECT_TRUE(ContainsNoCase("John Smith <js@x.org>", "JOHN smith"));
  EXPECT_FALSE(ContainsNoCase("John", "Johnny"));
  EXPECT_TRUE(EqualsNoCase("\xE4", "\xE4"));
  EXPECT_FALSE(EqualsNoCase("\xE4", "\xC4"));  // no locale folding of high bytes
  EXPECT_TRUE(EndsWithNoCase("C:\\TEMP\\QUILLNET.ASC", ".asc"));
  EXPECT_FALSE(EndsWithNoCase("asc", ".asc"));
}

}  // namespace
}  // namespace pgpstub
