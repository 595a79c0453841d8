#include "startup/launcher_entry.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

namespace {

const std::string kModulePath = "D:\\APPS\\QUILLNET.EXE";

struct ArgumentsRow {
  const char* name;
  std::string commandLine;
  const char* expected;
};

class ClientArguments : public testing::TestWithParam<ArgumentsRow> {};

TEST_P(ClientArguments, AreFoundAfterTheProgramName) {
  const ArgumentsRow& row = GetParam();
  char clientArguments[kClientArgumentsSize];
  std::memset(clientArguments, 'x', sizeof clientArguments);
  size_t n = TakeClientArguments(clientArguments, row.commandLine.c_str(), kModulePath.c_str());
  EXPECT_STREQ(clientArguments, row.expected);
  EXPECT_EQ(n, std::strlen(row.expected));
}

INSTANTIATE_TEST_SUITE_P(
    CommandLines, ClientArguments,
    testing::Values(
        ArgumentsRow{"QuotedProgram", "\"D:\\APPS\\L.EXE\" D:\\MAIL", "D:\\MAIL"},
        ArgumentsRow{"UnquotedModulePathAndBlanks", kModulePath + "   D:\\MAIL", "D:\\MAIL"},
        ArgumentsRow{"JustTheQuotedProgram", "\"D:\\APPS\\L.EXE\"", ""},
        ArgumentsRow{"QuotedProgramTrailingBlanks", "\"D:\\APPS\\L.EXE\"   ", ""},
        ArgumentsRow{"UnclosedQuoteStartsAtSecondCharacter", "\"D:\\MAIL X", "D:\\MAIL X"},
        // Started under another name than its file path (from a console, or
        // a shortcut with a short name): the first word is the program.
        ArgumentsRow{"ShortName", "quillnet D:\\Mail\\Box", "D:\\Mail\\Box"},
        ArgumentsRow{"ShortNameQuotedArgument", "quillnet.exe \"D:\\My Mail\"",
                     "\"D:\\My Mail\""},
        ArgumentsRow{"ShortNameAndTab", "quillnet\tD:\\MAIL", "\tD:\\MAIL"},
        ArgumentsRow{"ModulePathInOtherCase", "d:\\apps\\quillnet.exe D:\\MAIL", "D:\\MAIL"},
        ArgumentsRow{"ModulePathOnlyAsAPrefix", kModulePath + ".BAK D:\\MAIL", "D:\\MAIL"},
        ArgumentsRow{"ExactlyTheModulePath", kModulePath, ""},
        ArgumentsRow{"OnlyBlanksAreSkipped", kModulePath + " \tD:\\MAIL", "\tD:\\MAIL"},
        ArgumentsRow{"InnerBlanksKept", "\"L.EXE\" A  B ", "A  B "},
        ArgumentsRow{"Empty", "", ""}),
    [](const testing::TestParamInfo<ArgumentsRow>& info) { return info.param.name; });

TEST(ClientArgumentsBounds, ShortCommandLineIsNotReadPastItsEnd) {
  // Exactly as long as the text itself: a read beyond it trips ASan.
  const char text[] = "L.EXE";
  auto heap = std::make_unique<char[]>(sizeof text);
  std::memcpy(heap.get(), text, sizeof text);
  EXPECT_STREQ(FindClientArguments(heap.get(), kModulePath.c_str()), "");
  const char start[] = "D:\\APPS";  // the start of the module path, and no more
  auto prefix = std::make_unique<char[]>(sizeof start);
  std::memcpy(prefix.get(), start, sizeof start);
  EXPECT_STREQ(FindClientArguments(prefix.get(), kModulePath.c_str()), "");
  EXPECT_STREQ(FindClientArguments(nullptr, kModulePath.c_str()), "");
}

TEST(ClientArgumentsBounds, LongArgumentsAreCutTo255) {
  std::string commandLine = "\"L.EXE\" " + std::string(400, 'a');
  char clientArguments[kClientArgumentsSize];
  EXPECT_EQ(TakeClientArguments(clientArguments, commandLine.c_str(), kModulePath.c_str()), 255u);
  EXPECT_EQ(std::string(clientArguments), std::string(255, 'a'));
}

struct ClientCommandLineRow {
  const char* name;
  const char* programPath;
  const char* arguments;
  const char* expected;
};

class ClientCommandLine : public testing::TestWithParam<ClientCommandLineRow> {};

TEST_P(ClientCommandLine, QuotesAPathWithABlank) {
  const ClientCommandLineRow& row = GetParam();
  char commandLine[kClientCommandLineSize];
  size_t n = BuildClientCommandLine(commandLine, row.programPath, row.arguments);
  EXPECT_STREQ(commandLine, row.expected);
  EXPECT_EQ(n, std::strlen(row.expected));
}

INSTANTIATE_TEST_SUITE_P(
    Programs, ClientCommandLine,
    testing::Values(
        ClientCommandLineRow{"PlainPath", "D:\\EUDORA\\EUDORA.EXE", "D:\\MAIL",
                             "D:\\EUDORA\\EUDORA.EXE D:\\MAIL"},
        ClientCommandLineRow{"BlankInPath", "C:\\Program Files\\EUDORA.EXE", "D:\\MAIL",
                             "\"C:\\Program Files\\EUDORA.EXE\" D:\\MAIL"},
        ClientCommandLineRow{"BlankInPathNoArguments", "C:\\Program Files\\EUDORA.EXE", "",
                             "\"C:\\Program Files\\EUDORA.EXE\""},
        ClientCommandLineRow{"NoArguments", "EUDORA.EXE", "", "EUDORA.EXE"},
        ClientCommandLineRow{"NullArguments", "EUDORA.EXE", nullptr, "EUDORA.EXE"}),
    [](const testing::TestParamInfo<ClientCommandLineRow>& info) { return info.param.name; });

TEST(ClientCommandLineBounds, LongLineIsCutTo255) {
  std::string program = "C:\\Program Files\\" + std::string(100, 'p') + ".EXE";
  std::string arguments(255, 'a');
  char commandLine[kClientCommandLineSize + 8];
  std::memset(commandLine, '#', sizeof commandLine);
  auto& field = *reinterpret_cast<char(*)[kClientCommandLineSize]>(commandLine);
  EXPECT_EQ(BuildClientCommandLine(field, program.c_str(), arguments.c_str()), 255u);
  std::string expected = ("\"" + program + "\" " + arguments).substr(0, 255);
  EXPECT_EQ(std::string(commandLine), expected);
  EXPECT_EQ(commandLine[kClientCommandLineSize], '#');  // nothing written past the field
}

}  // namespace
