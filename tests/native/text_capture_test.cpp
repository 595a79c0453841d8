#include "command/text_capture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

struct TextRow {
  const char* input;
  const char* expected;
};

// Runs an in-place text function on an exactly-sized copy, so that ASan
// catches any write past the terminating NUL.
template <typename Function>
std::string InPlace(const char* input, Function function, int* length = nullptr) {
  std::vector<char> buffer(input, input + std::strlen(input) + 1);
  const int result = function(buffer.data());
  if (length != nullptr) *length = result;
  return std::string(buffer.data());
}

class ReduceAddressListTest : public testing::TestWithParam<TextRow> {};

TEST_P(ReduceAddressListTest, GivesTheBareAddresses) {
  int length = -1;
  const std::string result =
      InPlace(GetParam().input, [](char* text) { return ReduceAddressList(text); }, &length);
  EXPECT_EQ(result, GetParam().expected);
  EXPECT_EQ(length, static_cast<int>(result.size()));
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ReduceAddressListTest,
    testing::Values(TextRow{"", ""}, TextRow{",", ""}, TextRow{" ,\n , ", ""},
                    TextRow{"Name <a@b>", "a@b"}, TextRow{"a@b (Name)", "a@b"},
                    TextRow{"a@b, c@d", "a@b c@d"}, TextRow{"a@b,,c@d,", "a@b c@d"},
                    TextRow{"Bob <b@x>\nAl <a@x>", "b@x a@x"},
                    TextRow{"a@b,\r\nc@d", "a@b c@d"},
                    // A name without an address would be split into user ids.
                    TextRow{"  John  Smith \t", ""}, TextRow{"a@b, John Q Public", "a@b"},
                    TextRow{"John, a@b", "John a@b"}, TextRow{"Name\t<a@b>", "a@b"},
                    TextRow{"a@b\t(Name)", "a@b"}, TextRow{"Name\ta@b", "a@b"},
                    TextRow{"<a@b", "a@b"},
                    TextRow{"x@y>z", "x@y"}, TextRow{"a@b\r", "a@b"}));

TEST(ExtractAddress, WritesToAnEarlierPositionOfTheSameBuffer) {
  char buffer[] = "XXXXXXName <someone@example.org>";
  const int length = ExtractAddress(buffer + 6, buffer);
  EXPECT_EQ(length, 19);
  EXPECT_STREQ(buffer, "someone@example.org");
}

TEST(ExtractAddress, EntryWithoutAtKeepsInnerBlanks) {
  char buffer[] = "__ \t Jane Q Doe \r";
  EXPECT_EQ(ExtractAddress(buffer + 2, buffer), 10);
  EXPECT_STREQ(buffer, "Jane Q Doe");
}

class ExtractAngleAddressTest : public testing::TestWithParam<TextRow> {};

// An empty expectation means "not an angle address": 0 and the text kept.
TEST_P(ExtractAngleAddressTest, TakesOnlyWellOrderedBrackets) {
  int length = -1;
  const std::string result = InPlace(GetParam().input, ExtractAngleAddress, &length);
  if (GetParam().expected[0] == '\0') {
    EXPECT_EQ(length, 0);
    EXPECT_EQ(result, GetParam().input);
  } else {
    EXPECT_EQ(result, GetParam().expected);
    EXPECT_EQ(length, static_cast<int>(result.size()));
  }
}

INSTANTIATE_TEST_SUITE_P(Rows, ExtractAngleAddressTest,
                         testing::Values(TextRow{"Name <a@b>", "a@b"},
                                         TextRow{"<a@b> trailing > more", "a@b"},
                                         TextRow{"\"Doe\" < x@y >", " x@y "}, TextRow{"a@b", ""},
                                         TextRow{"<x> a@b", ""}, TextRow{"a@b <x>", ""},
                                         TextRow{"Name <a@b", ""}, TextRow{"", ""}));

class TrimBlanksTest : public testing::TestWithParam<TextRow> {};

TEST_P(TrimBlanksTest, DropsCodes9To13And32AtBothEnds) {
  int length = -1;
  const std::string result = InPlace(GetParam().input, TrimBlanks, &length);
  EXPECT_EQ(result, GetParam().expected);
  EXPECT_EQ(length, static_cast<int>(result.size()));
}

INSTANTIATE_TEST_SUITE_P(Rows, TrimBlanksTest,
                         testing::Values(TextRow{"  a b \t\r\n", "a b"}, TextRow{"", ""},
                                         TextRow{" \v\f\t ", ""}, TextRow{"x", "x"},
                                         TextRow{"\x01" "a\x0e", "\x01" "a\x0e"},
                                         TextRow{"\xa0z\xa0", "\xa0z\xa0"}));

// A list is never cut to a length of its own: PGP's command line is the
// only bound, and a list too long for it is refused whole, by the driver.
struct LongListRow {
  std::string list;
  std::string expected;
};

class LongAddressListTest : public testing::TestWithParam<LongListRow> {};

TEST_P(LongAddressListTest, StaysWhole) {
  std::vector<char> buffer(GetParam().list.begin(), GetParam().list.end());
  buffer.push_back('\0');
  const int length = ReduceAddressList(buffer.data());
  EXPECT_EQ(std::string(buffer.data()), GetParam().expected);
  EXPECT_EQ(length, static_cast<int>(GetParam().expected.size()));
}

const std::string a100(100, 'a');
const std::string a112(112, 'a');

INSTANTIATE_TEST_SUITE_P(
    Rows, LongAddressListTest,
    testing::Values(LongListRow{a100 + "@b, " + std::string(20, 'c') + "@d",
                                a100 + "@b " + std::string(20, 'c') + "@d"},
                    LongListRow{a112 + "@x", a112 + "@x"},
                    LongListRow{std::string(40000, 'c') + "@x", std::string(40000, 'c') + "@x"}));

struct EntryRow {
  std::string text;
  int index;
  bool found;
  int start;
  int end;
};

class FindFieldEntryTest : public testing::TestWithParam<EntryRow> {};

TEST_P(FindFieldEntryTest, SplitsAtCommaAndCarriageReturn) {
  const EntryRow& row = GetParam();
  FieldEntry entry{-1, -1};
  ASSERT_EQ(FindFieldEntry(row.text.c_str(), row.index, entry), row.found);
  if (row.found) {
    EXPECT_EQ(entry.start, row.start);
    EXPECT_EQ(entry.end, row.end);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, FindFieldEntryTest,
    testing::Values(EntryRow{"a,b", 0, true, 0, 1}, EntryRow{"a,b", 1, true, 2, 3},
                    EntryRow{"a,b", 2, false, 0, 0}, EntryRow{"ann\r\nbob", 1, true, 5, 8},
                    EntryRow{"a\nb", 1, false, 0, 0}, EntryRow{"\nx", 0, true, 1, 2},
                    EntryRow{"a,", 1, true, 2, 2}, EntryRow{"", 0, false, 0, 0},
                    EntryRow{"a", -1, false, 0, 0},
                    // A field's text is looked at whole, however long.
                    EntryRow{std::string(260, 'n') + ",b", 0, true, 0, 260},
                    EntryRow{std::string(260, 'n') + ",b", 1, true, 261, 262}));

TEST(AngleAddressOfToText, OnlyASingleEntryIsTakenAsAngleAddress) {
  const struct {
    const char* to;
    int length;
    const char* result;
  } rows[] = {
      {"Jane Doe <jane@example.org>", 16, "jane@example.org"},
      {"A <a@b>, B <b@c>", 0, "A <a@b>, B <b@c>"},
      {"A <a@b>\nB <b@c>", 0, "A <a@b>\nB <b@c>"},
      {"a@b", 0, "a@b"},
  };
  for (const auto& row : rows) {
    std::string to = row.to;
    EXPECT_EQ(AngleAddressOfToText(to), row.length) << row.to;
    EXPECT_EQ(to, row.result);
  }
}

// A message written to Cc recipients only is encrypted for them; no list
// is left out for its length.
TEST(AppendCcRecipients, AddsTheCcListWhateverTheToListHolds) {
  const struct {
    std::string to;
    std::string cc;
    std::string expected;
  } rows[] = {
      {"a@b", "c@d", "a@b c@d"},
      {"", "c@d", "c@d"},
      {"a@b", "", "a@b"},
      {"", "", ""},
      {std::string(60, 't'), std::string(51, 'c'), std::string(60, 't') + " " + std::string(51, 'c')},
      {"a@b", std::string(200, 'c'), "a@b " + std::string(200, 'c')},
  };
  for (const auto& row : rows) {
    std::string recipients = row.to;
    AppendCcRecipients(recipients, row.cc);
    EXPECT_EQ(recipients, row.expected) << row.to << " + " << row.cc;
  }
}

// Whatever cannot be passed on to PGP is named, so the encryption can be
// refused instead of going to fewer people than the user wrote.
TEST(LeftOutRecipients, AreNamedWhereTheyAreDropped) {
  LeftOutRecipients leftOut{};
  std::string names = "a@b, John Q Public,\n  Mary Ann ";
  EXPECT_EQ(ReduceAddressList(names.data(), &leftOut), 3);
  EXPECT_EQ(leftOut.text, "John Q Public, Mary Ann");
}

TEST(LeftOutRecipients, EveryNameIsKeptWholeHoweverManyThereAre) {
  LeftOutRecipients leftOut{};
  const std::string name(100, 'n');
  for (int i = 0; i < 5; ++i) AddLeftOut(leftOut, name.c_str(), name.size());
  AddLeftOut(leftOut, " late ", 6);
  std::string expected;
  for (int i = 0; i < 5; ++i) expected += name + ", ";
  EXPECT_EQ(leftOut.text, expected + "late");
}

}  // namespace
