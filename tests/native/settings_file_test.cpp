#include "settings/settings_file.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

const char kModulePath[] = "C:\\QL\\QLNET.DLL";
constexpr size_t kModuleDirectory = 6;  // "C:\QL\"

struct SettingsPathRow {
  const char* name;
  std::string arguments;
  std::string expected;
};

class SettingsPath : public testing::TestWithParam<SettingsPathRow> {};

TEST_P(SettingsPath, FollowsTheClientArguments) {
  const SettingsPathRow& row = GetParam();
  char settingsPath[kSettingsPathSize];
  std::memset(settingsPath, 'x', sizeof settingsPath);
  size_t n = ComputeSettingsPath(settingsPath, row.arguments.c_str(), kModulePath, kModuleDirectory);
  EXPECT_EQ(std::string(settingsPath), row.expected);
  EXPECT_EQ(n, row.expected.size());
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, SettingsPath,
    testing::Values(
        SettingsPathRow{"Directory", "D:\\MAIL", "D:\\MAIL\\QLNET.INI"},
        SettingsPathRow{"DirectoryWithBackslash", "D:\\MAIL\\", "D:\\MAIL\\QLNET.INI"},
        SettingsPathRow{"LaterPathWins", "D:\\MAIL D:\\EUDORA\\EUDORA.INI", "D:\\EUDORA\\QLNET.INI"},
        SettingsPathRow{"LaterNameWithoutPath", "D:\\MAIL X.INI", "D:\\MAIL\\QLNET.INI"},
        SettingsPathRow{"Empty", "", "C:\\QL\\QLNET.INI"},
        SettingsPathRow{"QuotedFirstWithBlank", "\"C:\\My Mail\" D:\\E\\E.INI", "D:\\E\\QLNET.INI"},
        SettingsPathRow{"BlanksBeforeLaterPath", "D:\\MAIL    D:\\E\\E.INI", "D:\\E\\QLNET.INI"},
        SettingsPathRow{"LastOfSeveralPaths", "D:\\MAIL D:\\A\\X D:\\B\\Y", "D:\\A\\X D:\\B\\QLNET.INI"},
        SettingsPathRow{"QuotedFirstAloneLosesItsQuotes", "\"C:\\My Mail\"", "C:\\My Mail\\QLNET.INI"},
        SettingsPathRow{"QuotedFirstUnclosed", "\"C:\\My Mail", "C:\\My Mail\\QLNET.INI"},
        SettingsPathRow{"QuotedLaterPath", "D:\\MAIL \"D:\\My E\\E.INI\"", "D:\\My E\\QLNET.INI"},
        SettingsPathRow{"QuoteAfterFirstBlankIsNotGrouping", "D:\\MAIL \"X Y\"", "D:\\MAIL\\QLNET.INI"},
        SettingsPathRow{"OnlyQuotesIsNoFile", "\"\"", ""},
        SettingsPathRow{"FitsExactly127", std::string(117, 'd') + "\\", std::string(117, 'd') + "\\QLNET.INI"},
        SettingsPathRow{"OneTooLongIsNoFile", std::string(118, 'd') + "\\", ""},
        SettingsPathRow{"FarTooLongIsNoFile", std::string(300, 'd'), ""}),
    [](const testing::TestParamInfo<SettingsPathRow>& info) { return info.param.name; });

TEST(SettingsPathModuleDirectory, EmptyWithoutBackslashOrPath) {
  char settingsPath[kSettingsPathSize];
  EXPECT_EQ(ComputeSettingsPath(settingsPath, "", "QLNET.DLL", 0), 0u);
  EXPECT_STREQ(settingsPath, "");
  EXPECT_EQ(ComputeSettingsPath(settingsPath, nullptr, nullptr, 5), 0u);
  EXPECT_STREQ(settingsPath, "");
}

TEST(ModuleDirectory, EndsAtTheLastBackslash) {
  EXPECT_EQ(ModuleDirectoryLength("C:\\QL\\QLNET.DLL"), kModuleDirectory);
  EXPECT_EQ(ModuleDirectoryLength("C:\\QLNET.DLL"), 3u);
  EXPECT_EQ(ModuleDirectoryLength("QLNET.DLL"), 0u);
  // An unterminated 128-character buffer is read no further than its size.
  char full[kPathSize];
  std::memset(full, 'a', sizeof full);
  full[10] = '\\';
  EXPECT_EQ(ModuleDirectoryLength(full), 11u);
}

TEST(ModuleDirectory, FileNameReplacesTheModuleFileInPlace) {
  char path[kPathSize] = "C:\\QL\\QLNET.DLL";
  ASSERT_TRUE(PlaceInModuleDirectory(path, path, kModuleDirectory, "EUDORA.EXE"));
  EXPECT_STREQ(path, "C:\\QL\\EUDORA.EXE");
  ASSERT_TRUE(PlaceInModuleDirectory(path, path, kModuleDirectory, kSettingsFileName));
  EXPECT_STREQ(path, "C:\\QL\\QLNET.INI");
}

TEST(ModuleDirectory, NameThatDoesNotFitLeavesNoPath) {
  std::string directory(117, 'd');
  directory += '\\';  // 118 characters: 9 more fit, 10 do not
  char path[kPathSize];
  ASSERT_TRUE(PlaceInModuleDirectory(path, directory.c_str(), directory.size(), "123456789"));
  EXPECT_EQ(std::strlen(path), 127u);
  EXPECT_FALSE(PlaceInModuleDirectory(path, directory.c_str(), directory.size(), "1234567890"));
  EXPECT_STREQ(path, "");
}

struct AppendRow {
  const char* name;
  const char* before;
  const char* line;
  size_t capacity;
  const char* after;
  size_t result;
};

class AppendLines : public testing::TestWithParam<AppendRow> {};

TEST_P(AppendLines, OnlyWhenTheWholeLineFits) {
  const AppendRow& row = GetParam();
  char buffer[32];
  std::memset(buffer, '#', sizeof buffer);
  std::strcpy(buffer, row.before);
  EXPECT_EQ(AppendLine(buffer, row.capacity, row.line), row.result);
  EXPECT_STREQ(buffer, row.after);
  EXPECT_EQ(buffer[row.capacity], '#');  // the byte after the capacity is never touched
}

INSTANTIATE_TEST_SUITE_P(
    Boundaries, AppendLines,
    testing::Values(
        // "abc" + "\n" + "defg" = 8 characters: needs 9 bytes.
        AppendRow{"LastByteForTheTerminator", "abc", "defg", 9, "abc\ndefg", 8},
        AppendRow{"OneByteShort", "abc", "defg", 8, "abc", 0},
        AppendRow{"EmptyBufferStillGetsALineFeed", "", "x", 3, "\nx", 2},
        AppendRow{"EmptyLine", "abc", "", 5, "abc\n", 4},
        AppendRow{"FullBuffer", "abc", "", 4, "abc", 0}),
    [](const testing::TestParamInfo<AppendRow>& info) { return info.param.name; });

TEST(AppendLineBounds, UnterminatedOrMissingInputAppendsNothing) {
  char buffer[8];
  std::memset(buffer, 'a', sizeof buffer);
  EXPECT_EQ(AppendLine(buffer, sizeof buffer, "x"), 0u);
  char empty[8] = "";
  EXPECT_EQ(AppendLine(empty, sizeof empty, nullptr), 0u);
  EXPECT_EQ(AppendLine(empty, 0, "x"), 0u);
  EXPECT_STREQ(empty, "");
}

TEST(EncryptFor, BlankMeansQuotes) {
  struct {
    const char* value;
    bool quoted;
    int32_t length;
    const char* text;
  } rows[] = {
      {"John Smith", true, 12, "\"John Smith\""},
      {"bob", false, 3, "bob"},
      {"a\tb", false, 3, "a\tb"},  // only the blank groups words here
      {nullptr, false, 0, ""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.value ? row.value : "(none)");
    EXPECT_EQ(EncryptForNeedsQuotes(row.value), row.quoted);
    EXPECT_EQ(EncryptForLength(row.value), row.length);
    char out[16] = "";
    EXPECT_EQ(QuoteEncryptFor(row.value, out, sizeof out), static_cast<size_t>(row.length));
    EXPECT_STREQ(out, row.text);
  }
}

TEST(EncryptFor, TooSmallOutputIsLeftAlone) {
  char out[12] = "unchanged";
  EXPECT_EQ(QuoteEncryptFor("John Smith", out, sizeof out), 0u);  // needs 13 bytes
  EXPECT_STREQ(out, "unchanged");
  char exact[13];
  EXPECT_EQ(QuoteEncryptFor("John Smith", exact, sizeof exact), 12u);
  EXPECT_STREQ(exact, "\"John Smith\"");
}

TEST(Defaults, MatchTheDocumentedValues) {
  const SettingsValues& d = kDefaultSettings;
  EXPECT_EQ(d.UseToolBar, 1);
  EXPECT_EQ(d.CopyToReadOnly, 1);
  EXPECT_EQ(d.KeepOpen, -1);
  EXPECT_EQ(d.MarkResults, 1);
  EXPECT_EQ(d.ReadMime, 1);
  for (int32_t value : {d.AlwaysSign, d.AnsiOem, d.ConvertAttach, d.NickNames, d.ButtonPos,
                        d.KeepPassword}) {
    EXPECT_EQ(value, 0);
  }
  EXPECT_EQ(d.ProgPGP, nullptr);
  EXPECT_EQ(d.PGPtempdir, nullptr);
  EXPECT_EQ(d.EncryptFor, nullptr);
}

TEST(SettingKeys, SectionsOfTheKeys) {
  std::string listed;
  for (const IntegerSettingKey& key : kIntegerSettingKeys) listed += std::string(key.section) + "/" + key.key + ";";
  for (const TextSettingKey& key : kTextSettingKeys) listed += std::string(key.section) + "/" + key.key + ";";
  EXPECT_EQ(listed,
            "Settings/UseToolBar;PGPflags/AlwaysSign;Settings/AnsiOem;Settings/ConvertAttach;"
            "Settings/NickNames;Settings/CopyToReadOnly;Settings/ButtonPos;"
            "PGP settings/KeepPassword;PGP settings/KeepOpen;Settings/MarkResults;Settings/ReadMime;"
            "PGP settings/ProgPGP;PGP settings/PGPtempdir;PGP settings/EncryptFor;");
}

const char kDefaultListing[] =
    "QLNET.INI\n---\nUseToolBar = 1\nAlwaysSign = 0\nAnsiOem = 0\nConvertAttach = 0\n"
    "NickNames = 0\nCopyToReadOnly = 1\nButtonPos = 0\nKeepPassword = 0\nKeepOpen = 4294967295\n"
    "MarkResults = 1\nReadMime = 1";

TEST(Listing, DefaultsShowUnsignedAndNoUnsetTexts) {
  char text[256] = "QLNET.INI";
  AppendSettingsListing(text, sizeof text, kDefaultSettings);
  EXPECT_STREQ(text, kDefaultListing);
}

TEST(Listing, SetTextsFollowInRecordOrder) {
  SettingsValues values = kDefaultSettings;
  values.EncryptFor = "\"John Smith\"";
  values.ProgPGP = "C:\\PGP\\PGP.EXE";
  char text[256] = "QLNET.INI";
  AppendSettingsListing(text, sizeof text, values);
  EXPECT_EQ(std::string(text), std::string(kDefaultListing) +
                                   "\nProgPGP = C:\\PGP\\PGP.EXE\nEncryptFor = \"John Smith\"");
}

TEST(Listing, TextThatDoesNotFitEndsTheListWithMark) {
  SettingsValues values = kDefaultSettings;
  const std::string longDir(120, 't');
  values.ProgPGP = "P";
  values.PGPtempdir = longDir.c_str();
  values.EncryptFor = "bob";  // would fit, but the list stops at the first cut
  char text[256] = "QLNET.INI";
  AppendSettingsListing(text, sizeof text, values);
  EXPECT_EQ(std::string(text), std::string(kDefaultListing) + "\nProgPGP = P\n>>");
}

TEST(Listing, IntegerThatDoesNotFitIsSkippedAndTheNextTried) {
  // Room for "---" and one short line only: the long UseToolBar line does
  // not fit, later shorter lines are still tried in turn.
  SettingsValues values = kDefaultSettings;
  values.UseToolBar = -1;  // "UseToolBar = 4294967295", 23 characters
  char text[24] = "";
  AppendSettingsListing(text, sizeof text, values);
  EXPECT_STREQ(text, "\n---\nAlwaysSign = 0");
}

TEST(Listing, MarkIsLeftOutWhenEvenItDoesNotFit) {
  SettingsValues values = kDefaultSettings;
  values.EncryptFor = "bob";
  char text[256] = "QLNET.INI";
  AppendSettingsListing(text, sizeof text, kDefaultSettings);
  const size_t used = std::strlen(text);
  // Capacity where "\n>>" no longer fits but the buffer is consistent.
  char tight[256];
  std::strcpy(tight, "QLNET.INI");
  AppendSettingsListing(tight, used + 2, values);
  EXPECT_STREQ(tight, kDefaultListing);
}

TEST(WaitEudoraInit, RaisedByHalf) {
  struct {
    int32_t value;
    int32_t raised;
  } rows[] = {
      {1000, 1500},        {1001, 1501},       {3, 4},           {1, 1},
      {0, 0},              {-1, -2},           {-3, -5},         {-1000, -1500},
      {1431655764, 2147483646}, {2147483647, 2147483647}, {-2147483647 - 1, -2147483647 - 1},
  };
  for (const auto& row : rows) EXPECT_EQ(RaiseWaitEudoraInit(row.value), row.raised) << row.value;
}

TEST(WaitEudoraInit, NegativePauseIsNone) {
  EXPECT_EQ(WaitEudoraInitPause(1000), 1000u);
  EXPECT_EQ(WaitEudoraInitPause(0), 0u);
  EXPECT_EQ(WaitEudoraInitPause(-1), 0u);
}

}  // namespace
