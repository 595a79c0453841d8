// The automation channel's text format: whatever a test sends (multi-line
// bodies, tabs, backslashes) must arrive unchanged, and malformed requests
// must be refused rather than half understood.
#include <gtest/gtest.h>

#include "testbed/mailclient/automation_protocol.h"

namespace {

using namespace automation;

TEST(AutomationProtocol, EncodeDecodeKeepsEveryByteOfTheValues) {
  Message m{"compose", {}};
  m.Add("to", "alice, bob").Add("body", "line 1\r\nline 2\n\ttab \\n not a newline\\").Add("empty", "");
  m.Add("to", "second value of a repeated name").Add("eq", "a=b=c");
  std::string wire = Encode(m);
  EXPECT_EQ(std::count(wire.begin(), wire.end(), '\n'), 5) << "one line per field";
  std::optional<Message> back = Decode(wire);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->verb, "compose");
  EXPECT_EQ(back->fields, m.fields);
  EXPECT_EQ(back->Get("to"), "alice, bob");
  EXPECT_EQ(back->All("to").size(), 2u);
  EXPECT_EQ(back->Get("missing"), "");
  EXPECT_FALSE(back->Has("missing"));
}

TEST(AutomationProtocol, DecodeAcceptsCrlfAndBlankLines) {
  std::optional<Message> m = Decode("text\r\nwindow=0x1A\r\n\r\nfield=body\r\n");
  ASSERT_TRUE(m);
  EXPECT_EQ(m->verb, "text");
  EXPECT_EQ(m->Get("window"), "0x1A");
  EXPECT_EQ(m->Get("field"), "body");
}

class MalformedTest : public testing::TestWithParam<std::string> {};

TEST_P(MalformedTest, IsRefused) { EXPECT_FALSE(Decode(GetParam())); }

INSTANTIATE_TEST_SUITE_P(Requests, MalformedTest,
                         testing::Values("", "\nfield=1", "ping\nno equals sign", "ping\n=value",
                                         std::string("\r\n", 2)));

TEST(AutomationProtocol, UnescapeLeavesUnknownAndTrailingBackslashes) {
  EXPECT_EQ(Unescape("a\\qb\\"), "a\\qb\\");
  EXPECT_EQ(Unescape(Escape("\\\\n")), "\\\\n");
}

struct NumberRow {
  std::string text;
  std::optional<long long> value;
};

class ParseNumberTest : public testing::TestWithParam<NumberRow> {};

TEST_P(ParseNumberTest, ReadsHexAndDecimal) {
  EXPECT_EQ(ParseNumber(GetParam().text), GetParam().value) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Numbers, ParseNumberTest,
    testing::Values(NumberRow{"0x1A2b", 0x1A2B}, NumberRow{"42", 42}, NumberRow{"-1", -1},
                    NumberRow{"0", 0}, NumberRow{"0x", std::nullopt}, NumberRow{"", std::nullopt},
                    NumberRow{"12a", std::nullopt}, NumberRow{"0xFFFFFFFFFFFFFFFFF", std::nullopt},
                    NumberRow{"0x8000000000000000", std::nullopt}, NumberRow{"-", std::nullopt}));

TEST(AutomationProtocol, HandlesRoundTripAndNegativeHandlesAreRefused) {
  EXPECT_EQ(FormatHandle(0x2008C), "0x2008C");
  EXPECT_EQ(ParseHandle(FormatHandle(0xFFFFFFFF)), std::optional<std::uintptr_t>(0xFFFFFFFF));
  EXPECT_FALSE(ParseHandle("-5"));
  EXPECT_FALSE(ParseHandle("window"));
}

TEST(AutomationProtocol, ErrorRepliesCarryTheirMessage) {
  std::optional<Message> m = Decode(Encode(Error("no window\nat all")));
  ASSERT_TRUE(m);
  EXPECT_EQ(m->verb, "error");
  EXPECT_EQ(m->Get("message"), "no window\nat all");
}

}  // namespace
