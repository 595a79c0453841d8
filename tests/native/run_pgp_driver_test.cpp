#include "command/run_pgp_driver.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

struct StripRow {
  const char* input;
  const char* expected;
};

class StripQuoteMarksTest : public testing::TestWithParam<StripRow> {};

TEST_P(StripQuoteMarksTest, DropsOneMarkPerLine) {
  std::vector<char> buffer(GetParam().input, GetParam().input + std::strlen(GetParam().input) + 1);
  const int length = StripQuoteMarks(buffer.data(), '>');
  EXPECT_STREQ(buffer.data(), GetParam().expected);
  EXPECT_EQ(length, static_cast<int>(std::strlen(GetParam().expected)));
}

INSTANTIATE_TEST_SUITE_P(
    Rows, StripQuoteMarksTest,
    testing::Values(StripRow{">a\n>b\n", "a\nb\n"}, StripRow{">>a", ">a"},
                    StripRow{">>a\n>>b", ">a\n>b"}, StripRow{"a>b\n>c", "a>b\nc"},
                    StripRow{"", ""}, StripRow{">", ""}, StripRow{"\n>\n>", "\n\n"},
                    StripRow{"> a\r\n> b", " a\r\n b"}, StripRow{"a\n\n>b", "a\n\nb"},
                    StripRow{" >a", " >a"}, StripRow{"\r>a", "\r>a"}));

constexpr char kPrefix[] = "Attachment Converted: ";
constexpr int kPrefixLength = sizeof(kPrefix) - 1;

struct AttachmentRow {
  std::string scan;
  bool found;
  int blockStart;
  int blockEnd;
  bool quoted;
  std::string path;
  bool tooLong;
};

class FindAttachmentLineTest : public testing::TestWithParam<AttachmentRow> {};

TEST_P(FindAttachmentLineTest, ReadsPrefixAndPathRun) {
  const AttachmentRow& row = GetParam();
  // Exactly sized and not NUL-terminated: the length alone bounds the scan.
  std::vector<char> scan(row.scan.begin(), row.scan.end());
  AttachmentLine line;
  ASSERT_EQ(FindAttachmentLine(scan.data(), static_cast<int32_t>(scan.size()), kPrefix,
                               kPrefixLength, 0, line),
            row.found);
  if (!row.found) return;
  EXPECT_EQ(line.blockStart, row.blockStart);
  EXPECT_EQ(line.blockEnd, row.blockEnd);
  EXPECT_EQ(line.runStart, row.blockStart + kPrefixLength);
  EXPECT_EQ(line.quoted, row.quoted);
  EXPECT_EQ(std::string(line.path), row.path);
  EXPECT_EQ(line.pathTooLong, row.tooLong);
}

const std::string p = kPrefix;
const std::string long200(200, 'L');

INSTANTIATE_TEST_SUITE_P(
    Rows, FindAttachmentLineTest,
    testing::Values(
        AttachmentRow{p + "C:\\a.asc\r\n", true, 0, 30, false, "C:\\a.asc", false},
        AttachmentRow{"x\r\n>" + p + "\"C:\\my file.asc\"\r\n", true, 4, 42, true,
                      "C:\\my file.asc", false},
        AttachmentRow{"> " + p + "x\n", true, 2, 25, false, "x", false},
        AttachmentRow{p + "\"C:\\a b.asc\"  \r\n", true, 0, 36, false, "C:\\a b.asc", false},
        AttachmentRow{p + "\"\r\n", true, 0, 23, false, "", false},
        AttachmentRow{p + "\"C:\\open", true, 0, 30, false, "C:\\open", false},
        AttachmentRow{p + "\r\n" + p + "D:\\b\n", true, 24, 50, false, "D:\\b", false},
        AttachmentRow{p + "a\tb", true, 0, 23, false, "a", false},
        AttachmentRow{p + "\xe4\xfc.asc\x7f rest", true, 0, 28, false, "\xe4\xfc.asc", false},
        AttachmentRow{p + std::string("ab\0cd", 5), true, 0, 24, false, "ab", false},
        AttachmentRow{p + std::string(127, 'q') + "\n", true, 0, 149, false,
                      std::string(127, 'q'), false},
        AttachmentRow{p + std::string(128, 'q'), true, 0, 150, false, std::string(127, 'q'),
                      true},
        AttachmentRow{p + long200 + "\r\n", true, 0, 222, false, long200.substr(0, 127), true},
        AttachmentRow{"\"" + long200 + "\"", false, 0, 0, false, "", false},
        AttachmentRow{"no attachment here", false, 0, 0, false, "", false},
        AttachmentRow{p, false, 0, 0, false, "", false},
        AttachmentRow{p + "\r\n", false, 0, 0, false, "", false},
        AttachmentRow{p.substr(0, 10), false, 0, 0, false, "", false}));

TEST(FindAttachmentLine, NextSearchFromThePathRunFindsTheFollowingLine) {
  const std::string text = p + "one.asc\r\n>" + p + "two.asc\r\n";
  AttachmentLine line;
  ASSERT_TRUE(FindAttachmentLine(text.data(), static_cast<int32_t>(text.size()), kPrefix,
                                 kPrefixLength, 0, line));
  EXPECT_STREQ(line.path, "one.asc");
  ASSERT_TRUE(FindAttachmentLine(text.data(), static_cast<int32_t>(text.size()), kPrefix,
                                 kPrefixLength, line.runStart, line));
  EXPECT_STREQ(line.path, "two.asc");
  EXPECT_EQ(line.blockStart, 32);
  EXPECT_TRUE(line.quoted);
  EXPECT_FALSE(FindAttachmentLine(text.data(), static_cast<int32_t>(text.size()), kPrefix,
                                  kPrefixLength, line.runStart, line));
}

TEST(FindAttachmentLine, DegenerateArgumentsFindNothing) {
  const std::string text = p + "x.asc";
  AttachmentLine line;
  const auto size = static_cast<int32_t>(text.size());
  EXPECT_FALSE(FindAttachmentLine(text.data(), size, "", 0, 0, line));
  EXPECT_FALSE(FindAttachmentLine(text.data(), size, kPrefix, kPrefixLength, size + 5, line));
  EXPECT_FALSE(FindAttachmentLine(text.data(), 0, kPrefix, kPrefixLength, 0, line));
  EXPECT_FALSE(FindAttachmentLine(nullptr, size, kPrefix, kPrefixLength, 0, line));
  EXPECT_TRUE(FindAttachmentLine(text.data(), size, kPrefix, kPrefixLength, -3, line));
}

TEST(RequestForFunction, FlagsAndFilePerFunction) {
  const struct {
    PgpFunction function;
    bool alwaysSign;
    uint16_t flags;
    PgpFileChoice file;
  } rows[] = {
      {Decode, false, 0xA000, PgpFileChoice::TempAscName},
      {Decode, true, 0xA000, PgpFileChoice::TempAscName},
      {CheckSignature, true, 0x8000, PgpFileChoice::TempAscName},
      {Encrypt, false, 0xC071, PgpFileChoice::TempBaseName},
      {Encrypt, true, 0xE075, PgpFileChoice::TempBaseName},
      {AddKey, true, 0x8110, PgpFileChoice::TempAscName},
      {NoFunction, false, 0x0000, PgpFileChoice::TempAscName},
  };
  for (const auto& row : rows) {
    const PgpRequestChoice choice = RequestForFunction(row.function, row.alwaysSign);
    EXPECT_EQ(choice.flags, row.flags) << row.function << " " << row.alwaysSign;
    EXPECT_EQ(choice.file, row.file) << row.function;
  }
}

TEST(FlagsAfterDialog, SwitchesOnlyAnEncryptionWithoutRecipients) {
  const struct {
    uint16_t flags;
    const char* recipients;
    uint16_t expected;
  } rows[] = {
      {0xC071, "", 0xA036},     {0xE075, "", 0xA036},     {0xC041, "", 0xA036},
      {0xC071, nullptr, 0xA036}, {0xC071, "a@b", 0xC071}, {0xE075, " ", 0xE075},
      {0xC040, "", 0xC040},     {0x8041, "", 0x8041},     {0x4041, "", 0x4041},
      {0xC001, "", 0xC001},     {0xA000, "", 0xA000},     {0x8110, "", 0x8110},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(FlagsAfterDialog(row.flags, row.recipients), row.expected)
        << std::hex << row.flags << " '" << (row.recipients ? row.recipients : "(null)") << "'";
  }
}

// The sender's own copy goes with every encryption, however many recipients
// it already has; a clearsigning (no recipients) stays one.
TEST(AppendEncryptFor, FollowsAnyRecipientsAndNoneElse) {
  const struct {
    std::string recipients;
    const char* encryptFor;
    std::string expected;
  } rows[] = {
      {"a b", "me", "a b me"},
      {"a", "\"John Doe\"", "a \"John Doe\""},
      {"", "me", ""},
      {"a", nullptr, "a"},
      {"a", "", "a"},
      {std::string(101, 'r'), "0123456789", std::string(101, 'r') + " 0123456789"},
      {"a", "a-very-long-default-recipient-that-is-longer-than-the-whole-buffer-of-"
            "one-hundred-and-twelve-bytes-of-recipients",
       "a a-very-long-default-recipient-that-is-longer-than-the-whole-buffer-of-"
       "one-hundred-and-twelve-bytes-of-recipients"},
  };
  for (const auto& row : rows) {
    std::string recipients = row.recipients;
    AppendEncryptFor(recipients, row.encryptFor);
    EXPECT_EQ(recipients, row.expected) << row.recipients.size();
  }
}

TEST(SplitUserIds, SplitsAtBlanksOutsideQuotes) {
  EXPECT_EQ(SplitUserIds(" a@b  c@d\t\"John Q Doe\" e "),
            (std::vector<std::string>{"a@b", "c@d", "\"John Q Doe\"", "e"}));
  EXPECT_TRUE(SplitUserIds("  ").empty());
}

// A refusal names every recipient whole. Only where a message box could not
// show them all does it name as many as it can show, then how many more.
TEST(NameRecipients, NamesEachWholeAsFarAsABoxShows) {
  const char pattern[] = "Refused:\n  %s\nEnd.";
  const char more[] = "\n  and %u more";
  EXPECT_EQ(NameRecipients(pattern, {"a@b", "\"C D\""}, ", ", more),
            "Refused:\n  a@b, \"C D\"\nEnd.");

  std::vector<std::string> names;
  for (int i = 0; i < 800; ++i) names.push_back("r" + std::to_string(i) + "@" + std::string(38, 'x') + ".org");
  const std::string message = NameRecipients(pattern, names, " ", more);
  EXPECT_LE(message.size(), kMessageBoxTextMax);
  const std::string head = "Refused:\n  ";
  ASSERT_EQ(message.rfind(head, 0), 0u);
  const size_t tail = message.find("\n  and ");
  ASSERT_NE(tail, std::string::npos) << message.substr(message.size() - 100);
  const std::vector<std::string> shown = SplitUserIds(message.substr(head.size(), tail - head.size()));
  ASSERT_GT(shown.size(), 600u);
  for (size_t i = 0; i < shown.size(); ++i) ASSERT_EQ(shown[i], names[i]);
  EXPECT_EQ(message.substr(tail), "\n  and " + std::to_string(names.size() - shown.size()) +
                                      " more\nEnd.");
}

TEST(FindOptionLikeUserId, FindsWordsPgpWouldReadAsOptions) {
  const struct {
    const char* recipients;
    bool found;
    int start;
    int length;
  } rows[] = {
      {"a@b -x", true, 4, 2},
      {"+batchmode=on", true, 0, 13},
      {"a@b\t-kr c", true, 4, 3},
      {"\"-x y\"", true, 0, 3},
      {"\"John Doe\" a@b", false, 0, 0},
      {"a-b c+d", false, 0, 0},
      {"", false, 0, 0},
      {"\"\"", false, 0, 0},
      {"-", true, 0, 1},
  };
  for (const auto& row : rows) {
    UserIdSpan span{-1, -1};
    ASSERT_EQ(FindOptionLikeUserId(row.recipients, span), row.found) << row.recipients;
    if (row.found) {
      EXPECT_EQ(span.start, row.start) << row.recipients;
      EXPECT_EQ(span.length, row.length) << row.recipients;
    }
  }
}

TEST(IsDriveLetterPath, OnlyFilesOnADriveLetterAreOpened) {
  const struct {
    const char* path;
    bool local;
  } rows[] = {
      {"C:\\Mail\\attach\\report.asc", true},
      {"d:/mail/x.asc", true},
      {"C:\\cone\\com10\\x.asc", true},  // names that only begin like devices
      {"\\\\attacker\\share\\x.asc", false},  // network path
      {"//attacker/share/x.asc", false},
      {"\\\\?\\C:\\x.asc", false},
      {"\\\\.\\pipe\\x", false},
      {"C:\\Mail\\NUL.asc", false},
      {"C:\\Mail\\com1 .txt", false},
      {"C:\\Mail\\LPT9", false},
      {"C:\\Mail\\conout$", false},
      // Superscript digits end port names too (Windows character set).
      {"C:\\Mail\\COM\xB9.asc", false},
      {"C:\\Mail\\lpt\xB2", false},
      {"C:\\Mail\\Com\xB3 .txt", false},
      {"C:\\Mail\\com\xB4.asc", true},  // an acute accent, no digit
      {"C:\\Mail\\x.asc:hidden", false},      // a stream of the file
      {"C:x.asc", false},                      // relative to the drive's current folder
      {"Mail\\x.asc", false},
      {"C:\\", false},
      {"", false},
  };
  for (const auto& row : rows) EXPECT_EQ(IsDriveLetterPath(row.path), row.local) << row.path;
  EXPECT_FALSE(IsDriveLetterPath(nullptr));
}

}  // namespace
