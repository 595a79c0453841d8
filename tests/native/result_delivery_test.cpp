#include "command/result_delivery.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

#include "core/cpu_vectors.h"
#include "runner/temp_files.h"

namespace {

TEST(ResultFile, ArmouredAfterEncryptBaseOtherwise) {
  const char* base = "C:\\T\\quillnet";
  const char* asc = "C:\\T\\quillnet.asc";
  EXPECT_EQ(ResultFile(Encrypt, base, asc), asc);
  EXPECT_EQ(ResultFile(Decode, base, asc), base);
  EXPECT_EQ(ResultFile(CheckSignature, base, asc), base);
  EXPECT_EQ(ResultFile(AddKey, base, asc), base);
}

TEST(ResultReadCode, TwoBytesOrLessIsNoData) {
  const struct {
    uint32_t readCode;
    size_t length;
    uint32_t expected;
  } rows[] = {{2, 0, 2}, {5, 100, 5}, {0, 0, ERROR_FILE_NO_DATA},
              {0, 2, ERROR_FILE_NO_DATA}, {0, 3, 0}, {0, 1 << 20, 0}};
  for (const auto& row : rows) {
    EXPECT_EQ(ResultReadCode(row.readCode, row.length), row.expected)
        << row.readCode << ", " << row.length;
  }
}

struct KeptRow {
  PgpFunction function;
  int64_t textLength, scanOffset, blockStart, blockEnd;
  size_t headLength, tailStart, tailLength;
};

class KeptPartsTable : public testing::TestWithParam<KeptRow> {};

TEST_P(KeptPartsTable, StayInsideTheCapturedText) {
  const KeptRow& row = GetParam();
  KeptParts parts =
      SpliceKeptParts(row.function, row.textLength, row.scanOffset, row.blockStart, row.blockEnd);
  EXPECT_EQ(parts.headLength, row.headLength);
  EXPECT_EQ(parts.tailStart, row.tailStart);
  EXPECT_EQ(parts.tailLength, row.tailLength);
}

INSTANTIATE_TEST_SUITE_P(
    Table, KeptPartsTable,
    testing::Values(KeptRow{Decode, 100, 0, 10, 60, 10, 60, 40},
                    KeptRow{CheckSignature, 100, 0, 0, 100, 0, 100, 0},
                    KeptRow{Decode, 100, 30, 10, 50, 40, 80, 20},  // first block skipped
                    KeptRow{Encrypt, 100, 0, 10, 60, 0, 0, 0},
                    KeptRow{AddKey, 100, 0, 10, 60, 0, 0, 0},
                    KeptRow{NoFunction, 100, 0, 10, 60, 0, 0, 0},
                    KeptRow{Decode, 100, 0, 150, 200, 100, 100, 0},  // past the end
                    KeptRow{Decode, 100, 90, 5, 20, 95, 100, 0},     // end past the text
                    KeptRow{Decode, 100, -50, 10, 60, 0, 10, 90},    // negative sums
                    KeptRow{Decode, 100, 0, 60, 10, 60, 60, 40},     // end before start
                    KeptRow{Decode, -5, 0, 10, 60, 0, 0, 0},         // no text
                    KeptRow{Decode, 100, INT64_MAX, INT64_MAX, INT64_MIN, 100, 100, 0},
                    KeptRow{Decode, 100, INT64_MIN, INT64_MIN, INT64_MAX, 0, 0, 100}));

// Splices like the Win32 layer: plan, resize the output's block, rebuild.
std::string Splice(const std::string& text, PgpFunction function, int64_t scanOffset,
                   int64_t blockStart, int64_t blockEnd, const std::string& output, char quote,
                   size_t limit = kSpliceLimit, bool* cut = nullptr) {
  KeptParts parts = SpliceKeptParts(function, static_cast<int64_t>(text.size()), scanOffset,
                                    blockStart, blockEnd);
  SplicePlan plan = PlanSplice(parts.headLength, parts.tailLength, output.c_str(), quote, limit);
  if (cut) *cut = plan.cut;
  // The resized block may be smaller than the output when that was cut;
  // exactly the planned size lets the sanitizer see any stray write.
  size_t size = plan.BlockSize();
  // Enlarged memory holds no zeros to rely on.
  std::unique_ptr<char[]> block(new char[size]);
  std::memset(block.get(), 'G', size);
  std::memcpy(block.get(), output.c_str(), std::min(output.size() + 1, size));
  RebuildSplice(block.get(), plan, text.data(), text.data() + parts.tailStart, quote);
  EXPECT_EQ(block[size - 1], '\0');
  EXPECT_EQ(std::strlen(block.get()), size - 1) << "terminator not at the planned end";
  return std::string(block.get(), size - 1);
}

struct SpliceRow {
  const char* name;
  PgpFunction function;
  std::string text;
  int64_t scanOffset, blockStart, blockEnd;
  std::string output;
  char quote;
  std::string expected;
};

class SpliceTable : public testing::TestWithParam<SpliceRow> {};

TEST_P(SpliceTable, RebuildsHeadOutputTail) {
  const SpliceRow& row = GetParam();
  bool cut = true;
  EXPECT_EQ(Splice(row.text, row.function, row.scanOffset, row.blockStart, row.blockEnd,
                   row.output, row.quote, kSpliceLimit, &cut),
            row.expected);
  EXPECT_FALSE(cut);
}

const std::string kMessage = "Hi Bob,\n-----BEGIN PGP MESSAGE-----\nxyz\n-----END PGP MESSAGE-----\nBye\n";
const int64_t kStart = 8;
const int64_t kEnd = kMessage.find("Bye");
const std::string kTwoBlocks = "[one]mid[two]end";
const std::string kQuoted = "On Monday:\n>-----BEGIN PGP MESSAGE-----\n>x\n>-----END PGP MESSAGE-----\n>ok";

INSTANTIATE_TEST_SUITE_P(
    Rows, SpliceTable,
    testing::Values(
        SpliceRow{"BlockInTheMiddle", Decode, kMessage, 0, kStart, kEnd, "secret\n", '\0',
                  "Hi Bob,\nsecret\nBye\n"},
        SpliceRow{"SecondBlockAfterASkip", Decode, kTwoBlocks, 8, 0, 5, "TWO", '\0',
                  "[one]midTWOend"},
        SpliceRow{"SignatureCheck", CheckSignature, "a[sig]b", 0, 1, 6, "checked", '\0',
                  "acheckedb"},
        SpliceRow{"QuotedAfterEveryLineFeed", Decode, kQuoted, 0, 12,
                  static_cast<int64_t>(kQuoted.find(">ok")), "l1\nl2\nl3\n", '>',
                  "On Monday:\n>l1\n>l2\n>l3\n>>ok"},
        SpliceRow{"EncryptReplacesEverything", Encrypt, kMessage, 0, kStart, kEnd,
                  "-----BEGIN PGP MESSAGE-----\nabc\n", '\0', "-----BEGIN PGP MESSAGE-----\nabc\n"},
        SpliceRow{"NoLineFeedNoQuote", Decode, "h[b]t", 0, 1, 4, "single line", '>',
                  "hsingle linet"},
        SpliceRow{"CrLfQuotedAfterTheLineFeed", Decode, "h[b]t", 0, 1, 4, "a\r\nb\r\n", '>',
                  "ha\r\n>b\r\n>t"},
        SpliceRow{"LeadingAndRepeatedLineFeeds", Encrypt, "", 0, 0, 0, "\n\nx\n\n", '>',
                  "\n>\n>x\n>\n>"},
        SpliceRow{"OffsetsPastTheTextClamped", Decode, "abc", 0, 10, 20, "OUT", '\0',
                  "abcOUT"},
        SpliceRow{"EmptyOutput", Decode, "h[b]t", 0, 1, 4, "", '>', "ht"},
        SpliceRow{"OutputLongerThanTheText", Decode, "[]", 0, 0, 2,
                  std::string(200, 'z') + "\n" + std::string(100, 'y'), '>',
                  std::string(200, 'z') + "\n>" + std::string(100, 'y')}),
    [](const testing::TestParamInfo<SpliceRow>& info) { return std::string(info.param.name); });

// A plain reference: quote after every line feed, then cut while it fits.
std::string Reference(const std::string& output, char quote) {
  std::string converted;
  for (char c : output) {
    converted += c;
    if (quote && c == '\n') converted += quote;
  }
  return converted;
}

TEST(SpliceLongText, ManyLinesOfEveryLengthMatchTheReference) {
  // Lines of 0..100 characters put line feeds at every position of the
  // chunks the rebuild works in, and leave long stretches without any;
  // every character differs from its neighbours so a misplaced chunk shows.
  std::string output;
  for (int line = 0; line < 400; ++line) {
    for (int i = 0; i < line % 101; ++i) output += static_cast<char>('!' + (line + i) % 90);
    output += '\n';
  }
  output += "last";
  std::string text = "HEAD>[block]TAIL";
  EXPECT_EQ(Splice(text, Decode, 0, 5, 12, output, '>'), "HEAD>" + Reference(output, '>') + "TAIL");
  EXPECT_EQ(Splice(text, Decode, 0, 5, 12, output, '\0'), "HEAD>" + output + "TAIL");

  // Both lane widths, whichever the processor would pick: a machine without
  // the wide ones runs the narrow quoting alone.
  const std::string quoted = Reference(output, '>');
  for (bool wide : {false, HasAvx2()}) {
    std::string block = output + std::string(quoted.size() - output.size() + 7, '#');
    char* start = QuoteLinesBackwards(block.data(), output.size(), block.data() + quoted.size() + 7, '>', wide);
    EXPECT_EQ(std::string(start, block.data() + quoted.size() + 7), quoted) << "wide lanes: " << wide;
    EXPECT_EQ(start, block.data() + 7) << "wide lanes: " << wide;
  }
}

struct CutRow {
  const char* name;
  size_t limit;
  std::string output;
  char quote;
  std::string expected;  // between head "HHH" and tail "TTT"
  bool cut;
};

class SpliceCut : public testing::TestWithParam<CutRow> {};

TEST_P(SpliceCut, OutputIsCutAtTheRoom) {
  const CutRow& row = GetParam();
  bool cut = !row.cut;
  EXPECT_EQ(Splice("HHH[b]TTT", Decode, 0, 3, 6, row.output, row.quote, row.limit, &cut),
            "HHH" + row.expected + "TTT");
  EXPECT_EQ(cut, row.cut);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, SpliceCut,
    testing::Values(
        CutRow{"PlainFits", 10, "abcd", '\0', "abcd", false},
        CutRow{"PlainCut", 10, "abcdef", '\0', "abcd", true},
        CutRow{"QuotedFitsExactly", 11, "ab\nc", '>', "ab\n>c", false},
        CutRow{"QuotedCutAfterLineFeed", 10, "ab\ncd", '>', "ab\n>", true},
        CutRow{"LineFeedNeverWithoutItsQuote", 10, "abc\nd", '>', "abc", true},
        CutRow{"QuotesTakeItPastTheRoom", 10, "ab\nc", '>', "ab\n>", true},
        CutRow{"NoRoomAtAll", 6, "abc", '>', "", true},
        CutRow{"HeadAndTailPastTheLimit", 4, "abc", '\0', "", true},
        CutRow{"EmptyOutputIsNeverCut", 6, "", '>', "", false}),
    [](const testing::TestParamInfo<CutRow>& info) { return std::string(info.param.name); });

TEST(SplicePlan, LengthsAddUpToTheBlock) {
  SplicePlan plan = PlanSplice(7, 9, "x\ny\nz", '>');
  EXPECT_EQ(plan.sourceLength, 5u);
  EXPECT_EQ(plan.convertedLength, 7u);
  EXPECT_EQ(plan.BlockSize(), 7u + 7u + 9u + 1u);
  EXPECT_FALSE(plan.cut);
}

}  // namespace
