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

struct CutRow {
  std::string list;
  std::string expected;
};

class CutAddressListTest : public testing::TestWithParam<CutRow> {};

TEST_P(CutAddressListTest, CutsAtTheLastSpaceThatFits) {
  std::vector<char> buffer(GetParam().list.begin(), GetParam().list.end());
  buffer.push_back('\0');
  const int length = CutAddressList(buffer.data(), static_cast<int>(GetParam().list.size()));
  EXPECT_EQ(std::string(buffer.data()), GetParam().expected);
  EXPECT_EQ(length, static_cast<int>(GetParam().expected.size()));
  EXPECT_LE(length, kRecipientsMax);
}

const std::string a100(100, 'a');
const std::string a111(111, 'a');
const std::string a112(112, 'a');

INSTANTIATE_TEST_SUITE_P(
    Rows, CutAddressListTest,
    testing::Values(CutRow{a111, a111}, CutRow{a100 + " " + std::string(20, 'b'), a100},
                    CutRow{"x " + a100 + " " + std::string(20, 'b'), "x " + a100},
                    CutRow{a111 + " bbbbb", a111}, CutRow{a112, ""}, CutRow{a112 + " b", ""},
                    CutRow{std::string(150, 'c'), ""}));

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
                    // Only the first 255 characters are a field's text.
                    EntryRow{std::string(260, 'n') + ",b", 0, true, 0, 255},
                    EntryRow{std::string(260, 'n') + ",b", 1, false, 0, 0}));

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
    char recipients[kRecipientsSize];
    std::strcpy(recipients, row.to);
    EXPECT_EQ(AngleAddressOfToText(recipients), row.length) << row.to;
    EXPECT_STREQ(recipients, row.result);
  }
}

TEST(AppendCcRecipients, AddsTheCcListOnlyWhenBothExistAndFit) {
  const struct {
    std::string to;
    std::string cc;
    std::string expected;
  } rows[] = {
      {"a@b", "c@d", "a@b c@d"},
      {"", "c@d", ""},
      {"a@b", "", "a@b"},
      {std::string(60, 't'), std::string(50, 'c'), std::string(60, 't') + " " + std::string(50, 'c')},
      {std::string(60, 't'), std::string(51, 'c'), std::string(60, 't')},
      {"a@b", std::string(200, 'c'), "a@b"},
  };
  for (const auto& row : rows) {
    char recipients[kRecipientsSize];
    std::strcpy(recipients, row.to.c_str());
    const int length = AppendCcRecipients(recipients, row.cc.c_str());
    EXPECT_EQ(std::string(recipients), row.expected) << row.to << " + " << row.cc;
    EXPECT_EQ(length, static_cast<int>(row.expected.size()));
  }
}

// Whatever cannot be passed on to PGP is named, so the encryption can be
// refused instead of going to fewer people than the user wrote.
TEST(LeftOutRecipients, AreNamedWhereTheyAreDropped) {
  LeftOutRecipients leftOut{};
  std::string names = "a@b, John Q Public,\n  Mary Ann ";
  EXPECT_EQ(ReduceAddressList(names.data(), &leftOut), 3);
  EXPECT_STREQ(leftOut.text, "John Q Public, Mary Ann");

  ClearLeftOut(leftOut);
  std::string list = std::string(100, 'a') + "@b " + std::string(20, 'c') + "@d e@f";
  EXPECT_EQ(CutAddressList(list.data(), static_cast<int>(list.size()), &leftOut), 102);
  EXPECT_EQ(std::string(leftOut.text), std::string(20, 'c') + "@d, e@f");

  ClearLeftOut(leftOut);
  char recipients[kRecipientsSize] = "";
  AppendCcRecipients(recipients, "cc@x dd@y", &leftOut);  // no To: the Cc list is not taken
  EXPECT_STREQ(leftOut.text, "cc@x, dd@y");
}

TEST(LeftOutRecipients, AListTooLongForItsBufferEndsInDots) {
  LeftOutRecipients leftOut{};
  const std::string name(100, 'n');
  for (int i = 0; i < 5; ++i) AddLeftOut(leftOut, name.c_str(), name.size());
  const std::string text = leftOut.text;
  EXPECT_EQ(text.size(), static_cast<size_t>(kMessageTextSize - 1));
  EXPECT_EQ(text.substr(text.size() - 3), "...");
  AddLeftOut(leftOut, "late", 4);
  EXPECT_EQ(std::string(leftOut.text), text) << "nothing after the dots";
}

}  // namespace
