#include "runner/temp_files.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

// The string-table texts FormatFileErrorText is given in the module.
constexpr char kUnknown[] = "Unknown error %lu\nFile: %s";
constexpr char kNotFound[] = "File not found:\n  %s";
constexpr char kPathNotFound[] = "Path not found:\n  %s";
constexpr char kNoMemory[] = "Not enough memory";
constexpr char kNoData[] = "File has no or invalid data:\n  %s";
constexpr char kOverwrite[] = "Quillnet will overwrite this/these file(s): \n";

TEST(FillTemplate, FillsTextsAndNumbersInTheirOwnOrder) {
  char out[64];
  EXPECT_EQ(FillTemplate(out, sizeof out, "Rename %s to %s failed", {"a", "b"}, {}), 20u);
  EXPECT_STREQ(out, "Rename a to b failed");
  FillTemplate(out, sizeof out, "%lu:%s:%u", {"x"}, {4294967295u, 0});
  EXPECT_STREQ(out, "4294967295:x:0");
}

TEST(FillTemplate, FilledTextIsNeverAFormat) {
  char out[64];
  FillTemplate(out, sizeof out, "<%s>", {"%s%lu%%n"}, {9});
  EXPECT_STREQ(out, "<%s%lu%%n>");
}

TEST(FillTemplate, ForeignAndIncompleteSpecifiersStayAsTheyAre) {
  char out[64];
  FillTemplate(out, sizeof out, "%d %x %l 100%% %", {}, {});
  EXPECT_STREQ(out, "%d %x %l 100% %");
  FillTemplate(out, sizeof out, "[%s][%u]", {}, {});  // missing arguments
  EXPECT_STREQ(out, "[][]");
}

TEST(FillTemplate, CutsToTheBufferAndTerminates) {
  char out[8];
  std::memset(out, 'Z', sizeof out);
  EXPECT_EQ(FillTemplate(out, sizeof out, "ab%scd", {"0123456789"}, {}), 7u);
  EXPECT_STREQ(out, "ab01234");
  EXPECT_EQ(FillTemplate(out, 1, "abc", {}, {}), 0u);
  EXPECT_STREQ(out, "");
}

struct StringIdRow {
  uint32_t code;
  int id;
};

class FileErrorIds : public testing::TestWithParam<StringIdRow> {};

TEST_P(FileErrorIds, ChooseTheWordingByCode) {
  EXPECT_EQ(FileErrorStringId(GetParam().code), GetParam().id);
}

INSTANTIATE_TEST_SUITE_P(
    Table, FileErrorIds,
    testing::Values(StringIdRow{2, 41}, StringIdRow{3, 42}, StringIdRow{8, 43},
                    StringIdRow{14, 43}, StringIdRow{0xF002, 74}, StringIdRow{61442, 74},
                    StringIdRow{5, 40}, StringIdRow{0, 40}, StringIdRow{0x10002, 40},
                    StringIdRow{0xF003, 75}, StringIdRow{0xF004, 77}, StringIdRow{0xF005, 40}));

struct ErrorTextRow {
  const char* templateText;
  uint32_t code;
  const char* path;
  const char* expected;
};

class FileErrorText : public testing::TestWithParam<ErrorTextRow> {};

TEST_P(FileErrorText, FillsCodeAndPath) {
  const ErrorTextRow& row = GetParam();
  char buffer[kMessageTextSize];
  size_t length = FormatFileErrorText(row.templateText, row.code, row.path, buffer);
  EXPECT_STREQ(buffer, row.expected);
  EXPECT_EQ(length, std::strlen(row.expected));
}

INSTANTIATE_TEST_SUITE_P(
    Table, FileErrorText,
    testing::Values(
        ErrorTextRow{kUnknown, 5, "C:\\TEMP\\quillnet.asc",
                     "Unknown error 5\nFile: C:\\TEMP\\quillnet.asc"},
        ErrorTextRow{kUnknown, 4294967295u, "p", "Unknown error 4294967295\nFile: p"},
        ErrorTextRow{kNotFound, 2, "C:\\PGP\\PGP.EXE", "File not found:\n  C:\\PGP\\PGP.EXE"},
        ErrorTextRow{kPathNotFound, 3, "D:\\gone\\quillnet", "Path not found:\n  D:\\gone\\quillnet"},
        ErrorTextRow{kNoMemory, 8, "C:\\x", "Not enough memory"},
        ErrorTextRow{kNoMemory, 14, nullptr, "Not enough memory"},
        ErrorTextRow{kNoData, 0xF002, "C:\\TEMP\\quillnet", "File has no or invalid data:\n  C:\\TEMP\\quillnet"},
        ErrorTextRow{kNotFound, 2, nullptr, "File not found:\n  "},
        ErrorTextRow{kUnknown, 5, nullptr, "Unknown error 5\nFile: "},
        ErrorTextRow{"Disk is 100%% full: %s", 112, "C:", "Disk is 100% full: C:"}));

TEST(FileErrorText, LongPathIsCutToTheBuffer) {
  // The sanitizer build catches any byte written past the 256.
  std::string path(1000, 'p');
  char buffer[kMessageTextSize];
  EXPECT_EQ(FormatFileErrorText(kNotFound, 2, path.c_str(), buffer), kMessageTextSize - 1u);
  EXPECT_EQ(std::string(buffer), "File not found:\n  " + std::string(255 - 18, 'p'));
}

TEST(FileErrorText, TemplateMayBeLoadedIntoTheBufferItself) {
  char buffer[kMessageTextSize];
  std::strcpy(buffer, kUnknown);
  FormatFileErrorText(buffer, 32, "C:\\TEMP\\quillnet", buffer);
  EXPECT_STREQ(buffer, "Unknown error 32\nFile: C:\\TEMP\\quillnet");
}

struct NamesRow {
  std::string directory;
  bool ok;
  std::string base;
};

class TempNames : public testing::TestWithParam<NamesRow> {};

TEST_P(TempNames, DirectoryBackslashAndFixedNames) {
  const NamesRow& row = GetParam();
  char base[kPathSize];
  char asc[kPathSize];
  std::memset(base, 'Z', sizeof base);
  std::memset(asc, 'Z', sizeof asc);
  EXPECT_EQ(ComposeTempNames(row.directory.c_str(), base, asc), row.ok);
  EXPECT_EQ(std::string(base), row.base);
  EXPECT_EQ(std::string(asc), row.ok ? row.base + ".asc" : "");
  // Each run's verdict file beside them, under a name of its random value.
  if (row.ok)
    EXPECT_EQ(VerdictFileName(base, 0x0123456789ABCDEFull), row.base + "-0123456789abcdef.vrd");
}

const std::string k114(114, 'd');
INSTANTIATE_TEST_SUITE_P(
    Table, TempNames,
    testing::Values(NamesRow{"C:\\TEMP", true, "C:\\TEMP\\quillnet"},
                    NamesRow{"C:\\TEMP\\", true, "C:\\TEMP\\quillnet"},
                    NamesRow{"C:\\", true, "C:\\quillnet"},
                    NamesRow{"", false, ""},
                    // the armoured name is the longer one: 114 + 1 + 12 = 127
                    NamesRow{k114, true, k114 + "\\quillnet"},
                    NamesRow{k114 + "d", false, ""},
                    NamesRow{k114 + "\\", true, k114 + "\\quillnet"},
                    NamesRow{k114 + "d\\", false, ""},
                    NamesRow{std::string(5000, 'd'), false, ""}));

TEST(TempNames, AbsentDirectoryIsRefused) {
  char base[kPathSize];
  char asc[kPathSize];
  EXPECT_FALSE(ComposeTempNames(nullptr, base, asc));
  EXPECT_STREQ(base, "");
  EXPECT_STREQ(asc, "");
}

struct QuestionRow {
  bool ascExists;
  bool baseExists;
  std::string expected;
};

class OverwriteQuestion : public testing::TestWithParam<QuestionRow> {};

TEST_P(OverwriteQuestion, ListsTheLeftovers) {
  const QuestionRow& row = GetParam();
  EXPECT_EQ(ComposeOverwriteQuestion(kOverwrite, row.ascExists, "C:\\T\\quillnet.asc",
                                     row.baseExists, "C:\\T\\quillnet"),
            row.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, OverwriteQuestion,
    testing::Values(
        QuestionRow{true, false, std::string(kOverwrite) + "C:\\T\\quillnet.asc"},
        QuestionRow{false, true, std::string(kOverwrite) + "\nC:\\T\\quillnet"},
        QuestionRow{true, true, std::string(kOverwrite) + "C:\\T\\quillnet.asc\nC:\\T\\quillnet"}));

TEST(OverwriteQuestion, OnlyBaseGivesTwoLineFeedsBeforeTheName) {
  EXPECT_NE(ComposeOverwriteQuestion(kOverwrite, false, "A", true, "B").find(": \n\nB"),
            std::string::npos);
}

// The longest names any accepted folder gives pass the 255 characters of a
// message together; the question still names both whole.
TEST(OverwriteQuestion, NamesTheLongestNamesWhole) {
  std::string asc = std::string(114, 'd') + "\\quillnet.asc";
  std::string base = std::string(114, 'd') + "\\quillnet";
  EXPECT_EQ(ComposeOverwriteQuestion(kOverwrite, true, asc.c_str(), true, base.c_str()),
            kOverwrite + asc + "\n" + base);
}

TEST(EnvironmentValue, TooLongCountsAsNotSet) {
  const struct {
    uint32_t reported;
    uint32_t usable;
  } rows[] = {{0, 0}, {1, 1}, {127, 127}, {128, 0}, {129, 0}, {40000, 0}, {0xFFFFFFFFu, 0}};
  for (const auto& row : rows) {
    EXPECT_EQ(UsableEnvironmentLength(row.reported), row.usable) << row.reported;
  }
}

TEST(WipePattern, ByteIHasValueI) {
  const auto& pattern = WipePattern();
  for (size_t i = 0; i < pattern.size(); ++i) ASSERT_EQ(pattern[i], i);
}

// What the file holds after the writes of the plan.
std::vector<uint8_t> Wiped(uint32_t size) {
  WipePlan plan = PlanWipe(size);
  const auto& pattern = WipePattern();
  std::vector<uint8_t> file(pattern.begin(), pattern.begin() + plan.firstBytes);
  for (uint32_t i = 0; i < plan.wholePatterns; ++i) {
    file.insert(file.end(), pattern.begin(), pattern.end());
  }
  return file;
}

struct WipeRow {
  uint32_t size;
  uint32_t firstBytes;
  uint32_t wholePatterns;
};

class WipeLayout : public testing::TestWithParam<WipeRow> {};

TEST_P(WipeLayout, RemainderFirstThenWholePatterns) {
  const WipeRow& row = GetParam();
  WipePlan plan = PlanWipe(row.size);
  EXPECT_EQ(plan.firstBytes, row.firstBytes);
  EXPECT_EQ(plan.wholePatterns, row.wholePatterns);
  EXPECT_EQ(Wiped(row.size).size(), row.size);
}

INSTANTIATE_TEST_SUITE_P(Table, WipeLayout,
                         testing::Values(WipeRow{0, 0, 0}, WipeRow{1, 1, 0}, WipeRow{255, 255, 0},
                                         WipeRow{256, 0, 1}, WipeRow{257, 1, 1},
                                         WipeRow{600, 88, 2}));

TEST(WipeLayout, LargestSizeIsCoveredExactly) {
  WipePlan plan = PlanWipe(0xFFFFFFFFu);
  EXPECT_EQ(plan.firstBytes, 255u);
  EXPECT_EQ(plan.wholePatterns, 0xFFFFFFu);
}

TEST(WipeLayout, SixHundredBytesGetTheBeginningThenTwoPatterns) {
  std::vector<uint8_t> file = Wiped(600);
  for (size_t i = 0; i < 88; ++i) ASSERT_EQ(file[i], i);
  EXPECT_EQ(file[87], 0x57);
  for (size_t i = 88; i < 600; ++i) ASSERT_EQ(file[i], (i - 88) % 256);
}

}  // namespace
