#include "pgp_command.h"

#include <gtest/gtest.h>

namespace pgp2gpg {
namespace {

struct CommandRow {
  std::vector<std::string> words;
  Operation operation;
  bool armor, sign, text, wipe;
  std::string file;
  std::vector<std::string> userIds;
  std::string output;  // "" when none
};

class ParseCommand : public testing::TestWithParam<CommandRow> {};

TEST_P(ParseCommand, ReadsWordsAsPgp2Does) {
  const CommandRow& row = GetParam();
  const PgpCommand command = ParsePgpCommand(row.words);
  ASSERT_EQ(command.error, "");
  EXPECT_EQ(command.operation, row.operation);
  EXPECT_EQ(command.armor, row.armor);
  EXPECT_EQ(command.sign, row.sign);
  EXPECT_EQ(command.textMode, row.text);
  EXPECT_EQ(command.wipe, row.wipe);
  EXPECT_EQ(command.file, row.file);
  EXPECT_EQ(command.userIds, row.userIds);
  EXPECT_EQ(OutputFileOf(command).value_or(""), row.output);
}

INSTANTIATE_TEST_SUITE_P(
    ModuleAndVariants, ParseCommand,
    testing::Values(
        CommandRow{{"C:\\T\\quillnet.asc"}, Operation::Decode, false, false, false, false,
                   "C:\\T\\quillnet.asc", {}, "C:\\T\\quillnet"},
        CommandRow{{"x.ASC"}, Operation::Decode, false, false, false, false, "x.ASC", {}, "x"},
        CommandRow{{"-aetw", "B", "u1", "u2"}, Operation::Encrypt, true, false, true, true, "B",
                   {"u1", "u2"}, "B.asc"},
        CommandRow{{"-aestw", "B", "Jo Smith"}, Operation::Encrypt, true, true, true, true, "B",
                   {"Jo Smith"}, "B.asc"},
        CommandRow{{"-ast", "+clearsig=on", "B"}, Operation::ClearSign, true, true, true, false,
                   "B", {}, "B.asc"},
        CommandRow{{"-ka", "A.asc"}, Operation::AddKey, true, false, false, false, "A.asc", {}, ""},
        CommandRow{{"-E", "-T", "B", "u"}, Operation::Encrypt, false, false, true, false, "B", {"u"},
                   "B.pgp"},
        CommandRow{{"-st", "+clearsig=off", "+batchmode", "B"}, Operation::Sign, false, true, true,
                   false, "B", {}, "B.pgp"},
        // After the file every word is a user id, however much it looks
        // like an option.
        CommandRow{{"-aetw", "B", "-o x", "+batchmode", "--output=x", "-"}, Operation::Encrypt,
                   true, false, true, true, "B", {"-o x", "+batchmode", "--output=x", "-"},
                   "B.asc"}));

struct BadRow {
  std::vector<std::string> words;
  std::string errorPart;
};

class RefuseCommand : public testing::TestWithParam<BadRow> {};

TEST_P(RefuseCommand, NamesTheProblem) {
  const PgpCommand command = ParsePgpCommand(GetParam().words);
  EXPECT_NE(command.error.find(GetParam().errorPart), std::string::npos) << command.error;
}

INSTANTIATE_TEST_SUITE_P(
    Rows, RefuseCommand,
    testing::Values(BadRow{{}, "no file"}, BadRow{{"-aetw"}, "no file"},
                    BadRow{{"-aexw", "B"}, "unknown option letter"},
                    BadRow{{"+verbose=1", "B"}, "unknown option"},
                    BadRow{{"-ket", "A"}, "only the letter a"},
                    BadRow{{"-at", "B"}, "nothing to do"},
                    BadRow{{"A.asc", "extra"}, "only when encrypting"},
                    BadRow{{"-ast", "+clearsig=on", "B", "u"}, "only when encrypting"},
                    BadRow{{"-aetw", "-", "u"}, "standard input"},
                    BadRow{{"-aetw", "", "u"}, "standard input"}));

struct BlankRow {
  std::vector<std::string> words;
  std::string file;
  std::vector<std::string> userIds;
};

class FileNameWithBlanks : public testing::TestWithParam<BlankRow> {};

// Files that exist: "C:\\My Temp\\quillnet", its ".asc" and "C:\\a b  c".
TEST_P(FileNameWithBlanks, AreJoinedBackOnlyWhenThatNamesAFile) {
  const auto exists = [](const std::string& path) {
    return path == "C:\\My Temp\\quillnet" || path == "C:\\My Temp\\quillnet.asc" ||
           path == "C:\\a b c" || path == "x";
  };
  const PgpCommand command = ParsePgpCommand(GetParam().words, exists);
  EXPECT_EQ(command.error, "");
  EXPECT_EQ(command.file, GetParam().file);
  EXPECT_EQ(command.userIds, GetParam().userIds);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, FileNameWithBlanks,
    testing::Values(
        BlankRow{{"C:\\My", "Temp\\quillnet.asc"}, "C:\\My Temp\\quillnet.asc", {}},
        BlankRow{{"-aetw", "C:\\My", "Temp\\quillnet", "bob", "Temp"},
                 "C:\\My Temp\\quillnet", {"bob", "Temp"}},
        BlankRow{{"-ast", "+clearsig=on", "C:\\a", "b", "c"}, "C:\\a b c", {}},
        // The first word names a file: nothing is joined.
        BlankRow{{"-aetw", "x", "y"}, "x", {"y"}},
        // No run of words names a file: the first word stays the file.
        BlankRow{{"-aetw", "C:\\No", "Such", "bob"}, "C:\\No", {"Such", "bob"}}));

TEST(ParseCommandHelp, HelpNeedsNoFile) {
  const PgpCommand command = ParsePgpCommand({"-h"});
  EXPECT_EQ(command.error, "");
  EXPECT_EQ(command.operation, Operation::Help);
}

TEST(OutputName, DecodeWithoutAscHasNone) {
  EXPECT_FALSE(OutputFileOf(ParsePgpCommand({"quillnet"})).has_value());
  EXPECT_FALSE(OutputFileOf(ParsePgpCommand({".asc"})).has_value());
}

}  // namespace
}  // namespace pgp2gpg
