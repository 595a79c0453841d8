// The temporary files on real disks: the choice of their directory, the
// question before leftovers are overwritten, writing and reading with the
// OEM conversion, wiping, and the wording of file errors.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/handles_win.h"
#include "core/module_win.h"
#include "resources/resource_ids.h"
#include "runner/temp_files_win.h"
#include "settings/settings_file_win.h"
#include "startup/hook_win.h"
#include "tests/win/support/dialog_answerer.h"
#include "tests/win/support/scratch_files.h"
#include "tests/win/support/test_state.h"

namespace {

const std::string kNoTempDir =
    "Directory for temporary files not found.\nCheck TEMP, TMP and PgpTempDir.";
const std::string kOverwrite = "Quillnet will overwrite this/these file(s): \n";
std::string PathTooLong(const std::string& directory) {
  return "The path of the temporary files would be too long:\n  " + directory +
         "\nSet TEMP, TMP or PgpTempDir to a shorter directory.";
}

class TempFilesWin : public ::testing::Test {
 protected:
  void SetUp() override { ReleaseSettingText(extension.Settings.PGPtempdir); }
  void TearDown() override {
    ReleaseSettingText(extension.Settings.PGPtempdir);
    extension.TempBaseName[0] = extension.TempAscName[0] = '\0';
  }

  std::string MakeFolder(const std::string& name) {
    const std::string path = folder_ / name;
    CreateDirectoryA(path.c_str(), nullptr);
    return path;
  }

  // An existing directory whose path is exactly `length` characters long.
  std::string MakeDeepFolder(size_t length) {
    std::string directory = folder_.path();
    while (directory.size() < length) {
      // Segments of 1 to 20 characters; never leave room for a lone backslash.
      const size_t need = length - directory.size();
      const size_t segment = need <= 21 ? need - 1 : need == 22 ? 19 : 20;
      directory += "\\" + std::string(segment, 'd');
      CreateDirectoryA(directory.c_str(), nullptr);
    }
    return directory;
  }

  ScratchFolder folder_;
  EnvironmentOverride temp_{"TEMP", nullptr};
  EnvironmentOverride tmp_{"TMP", nullptr};
};

// --- choosing the directory ------------------------------------------------

struct DirectoryRow {
  const char* name;
  const char* tempDirSetting;  // sub-folder names, null for unset
  const char* temp;
  const char* tmp;
  const char* expectedFolder;
};

const DirectoryRow kDirectoryRows[] = {
    {"SettingWinsOverTempAndTmp", "set", "temp", "tmp", "set"},
    {"TempWithoutTrailingBackslash", nullptr, "temp", "tmp", "temp"},
    {"TempWithTrailingBackslash", nullptr, "temp\\", "tmp", "temp"},
    {"TmpWhenTempIsUnset", nullptr, nullptr, "tmp", "tmp"},
    {"TmpWhenTempIsEmpty", nullptr, "", "tmp", "tmp"},
};

class TempDirectoryChoice : public TempFilesWin,
                            public ::testing::WithParamInterface<DirectoryRow> {};

TEST_P(TempDirectoryChoice, NamesFollowTheChosenDirectory) {
  const DirectoryRow& row = GetParam();
  for (const char* name : {"set", "temp", "tmp"}) MakeFolder(name);
  auto inFolder = [&](const char* name) { return folder_ / name; };
  if (row.tempDirSetting) extension.Settings.PGPtempdir = CopySettingText(inFolder(row.tempDirSetting).c_str());
  EnvironmentOverride temp("TEMP", row.temp ? (*row.temp ? inFolder(row.temp).c_str() : "") : nullptr);
  EnvironmentOverride tmp("TMP", row.tmp ? inFolder(row.tmp).c_str() : nullptr);

  const std::string base = inFolder(row.expectedFolder) + "\\quillnet";
  DialogAnswerer answerer({});
  EXPECT_TRUE(PrepareTempFiles(extension, extension.Settings));
  EXPECT_EQ(std::string(extension.TempBaseName), base);
  EXPECT_EQ(std::string(extension.TempAscName), base + ".asc");
  EXPECT_TRUE(answerer.Seen().empty());
}

// Without TEMP and TMP there is no folder to use: the root of drive C:,
// shared with every other program, is not taken instead.
TEST_F(TempFilesWin, NeitherTempNorTmpSetIsRefusedWithWhatToSet) {
  DialogAnswerer answerer({{"Quillnet", IDOK}});
  EXPECT_FALSE(PrepareTempFiles(extension, extension.Settings));
  auto seen = answerer.Seen();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].text,
            "Quillnet needs a folder for its temporary files, and neither TEMP nor TMP names "
            "one.\nSet TEMP or TMP, or PGPtempdir in section [PGP settings] of QLNET.INI.");
  EXPECT_EQ(std::string(extension.TempBaseName), "");
}

INSTANTIATE_TEST_SUITE_P(Rows, TempDirectoryChoice, ::testing::ValuesIn(kDirectoryRows),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(TempFilesWin, SettingIsUsedOnlyOncePerProcess) {
  const std::string set = MakeFolder("set");
  const std::string temp = MakeFolder("temp");
  EnvironmentOverride env("TEMP", temp.c_str());
  extension.Settings.PGPtempdir = CopySettingText(set.c_str());
  ASSERT_TRUE(PrepareTempFiles(extension, extension.Settings));
  EXPECT_EQ(std::string(extension.TempBaseName), set + "\\quillnet");
  EXPECT_EQ(extension.Settings.PGPtempdir, nullptr);
  ASSERT_TRUE(PrepareTempFiles(extension, extension.Settings));
  EXPECT_EQ(std::string(extension.TempBaseName), temp + "\\quillnet");
}

struct EnvironmentRow {
  const char* name;
  int length;  // -1: unset
  uint32_t expected;
};

class EnvironmentValue : public TempFilesWin,
                         public ::testing::WithParamInterface<EnvironmentRow> {};

TEST_P(EnvironmentValue, FitsTheAreaOrCountsAsUnset) {
  const EnvironmentRow& row = GetParam();
  const std::string value(row.length > 0 ? row.length : 0, 'v');
  EnvironmentOverride env("QL_TEST_VALUE", row.length < 0 ? nullptr : value.c_str());
  char buffer[kEnvironmentValueSize];
  lstrcpyA(buffer, "stale");
  EXPECT_EQ(ReadEnvironmentValue("QL_TEST_VALUE", buffer), row.expected);
  EXPECT_EQ(std::string(buffer), value.substr(0, row.expected));
}

INSTANTIATE_TEST_SUITE_P(
    Rows, EnvironmentValue,
    ::testing::Values(EnvironmentRow{"Unset", -1, 0}, EnvironmentRow{"Empty", 0, 0},
                      EnvironmentRow{"Short", 5, 5}, EnvironmentRow{"Longest", 127, 127},
                      EnvironmentRow{"TooLong", 128, 0}, EnvironmentRow{"FarTooLong", 400, 0}),
    [](const auto& info) { return std::string(info.param.name); });

// --- directories that cannot be used ---------------------------------------

class UnusableDirectory : public TempFilesWin {};

void ExpectRefused(const std::string& directory,
                   const std::string& message = std::string()) {
  DialogAnswerer answerer({{"Quillnet", IDOK}});
  EXPECT_FALSE(PrepareTempFiles(extension, extension.Settings));
  auto seen = answerer.Seen();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].text, message.empty() ? kNoTempDir + "\n" + directory : message);
  EXPECT_EQ(std::string(extension.TempBaseName), "");
  EXPECT_EQ(std::string(extension.TempAscName), "");
}

TEST_F(UnusableDirectory, AFileIsNotADirectory) {
  const std::string file = folder_ / "plain.txt";
  ASSERT_TRUE(WriteFileBytes(file, "x"));
  EnvironmentOverride env("TEMP", file.c_str());
  ExpectRefused(file);
}

TEST_F(UnusableDirectory, AMissingDirectoryIsRefused) {
  const std::string missing = folder_ / "missing";
  extension.Settings.PGPtempdir = CopySettingText(missing.c_str());
  ExpectRefused(missing);
}

TEST_F(UnusableDirectory, NamesThatWouldPass127CharactersAreRefusedAsTooLong) {
  // 118 characters: "\\quillnet" still fits the 127 characters, "\\quillnet.asc" does not.
  ASSERT_LT(folder_.path().size(), 100u);
  const std::string directory = MakeDeepFolder(118);
  ASSERT_EQ(directory.size(), 118u);
  EnvironmentOverride env("TEMP", directory.c_str());
  ExpectRefused(directory, PathTooLong(directory));
}

// The longest folder start-up accepts: both leftovers are named whole in
// the question, although together they pass the 255 characters of a
// message, and OK wipes them.
TEST_F(TempFilesWin, LeftoversInTheLongestAcceptedFolderAreAskedAboutWhole) {
  const std::string directory = MakeDeepFolder(114);
  WriteFileBytes(directory + "\\quillnet", "plain");
  WriteFileBytes(directory + "\\quillnet.asc", "armoured");
  EnvironmentOverride env("TEMP", directory.c_str());
  DialogAnswerer answerer({{"Quillnet", IDOK}});
  EXPECT_TRUE(PrepareTempFiles(extension, extension.Settings));
  const auto seen = answerer.Seen();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].text,
            kOverwrite + directory + "\\quillnet.asc\n" + directory + "\\quillnet");
  EXPECT_FALSE(FileExistsOnDisk(directory + "\\quillnet.asc"));
  EXPECT_FALSE(FileExistsOnDisk(directory + "\\quillnet"));
}

TEST_F(TempFilesWin, DirectoryWithBlankIsUsedOnlyWithoutTheBlank) {
  const std::string blank = MakeFolder("has blank");
  EnvironmentOverride env("TEMP", blank.c_str());
  DialogAnswerer answerer({{"Quillnet", IDOK}});
  if (PrepareTempFiles(extension, extension.Settings)) {
    // Through its short form: PGP must get names it cannot split.
    EXPECT_EQ(std::string(extension.TempBaseName).find(' '), std::string::npos) << extension.TempBaseName;
    EXPECT_EQ(std::string(extension.TempAscName).find(' '), std::string::npos) << extension.TempAscName;
    ASSERT_TRUE(WriteTextFile("x", 1, extension.TempBaseName, false));
    EXPECT_TRUE(FileExistsOnDisk(blank + "\\quillnet")) << "the short name is the same folder";
    EXPECT_TRUE(answerer.Seen().empty());
  } else {
    auto seen = answerer.Seen();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].text, kNoTempDir + "\n" + blank);
  }
}

// --- leftovers of an earlier run -------------------------------------------

struct LeftoverRow {
  const char* name;
  bool asc;
  bool base;
  int answer;
  const char* listed;  // "A" for the asc name, "B" for the base name, "\n" as is
  bool result;
};

const LeftoverRow kLeftoverRows[] = {
    {"OnlyArmouredFileIsListedAndWiped", true, false, IDOK, "A", true},
    {"OnlyBaseFileFollowsALineFeed", false, true, IDOK, "\nB", true},
    {"BothAreListedArmouredFirst", true, true, IDOK, "A\nB", true},
    {"CancelKeepsBoth", true, true, IDCANCEL, "A\nB", false},
};

class Leftovers : public TempFilesWin, public ::testing::WithParamInterface<LeftoverRow> {};

TEST_P(Leftovers, AreListedAndWipedOnlyOnOk) {
  const LeftoverRow& row = GetParam();
  const std::string base = folder_ / "quillnet";
  const std::string asc = base + ".asc";
  if (row.asc) {
    ASSERT_TRUE(WriteFileBytes(asc, "armoured"));
  }
  if (row.base) {
    ASSERT_TRUE(WriteFileBytes(base, "plain"));
  }
  EnvironmentOverride env("TEMP", folder_.path().c_str());

  std::string expected = kOverwrite;
  for (const char* c = row.listed; *c; ++c)
    expected += *c == 'A' ? asc : *c == 'B' ? base : std::string(1, *c);
  DialogAnswerer answerer({{"Quillnet", row.answer}});
  EXPECT_EQ(PrepareTempFiles(extension, extension.Settings), row.result);

  auto seen = answerer.Seen();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].text, expected);
  const bool kept = row.answer != IDOK;
  EXPECT_EQ(FileExistsOnDisk(asc), row.asc && kept);
  EXPECT_EQ(FileExistsOnDisk(base), row.base && kept);
  if (kept) {
    EXPECT_EQ(FileBytes(asc), "armoured") << "Cancel leaves the files as they were";
    EXPECT_EQ(std::string(extension.TempAscName), "") << "nothing may wipe the kept files later";
  }
}

INSTANTIATE_TEST_SUITE_P(Rows, Leftovers, ::testing::ValuesIn(kLeftoverRows),
                         [](const auto& info) { return std::string(info.param.name); });

// --- writing and reading ---------------------------------------------------

struct ConversionRow {
  const char* name;
  std::string text;
  bool convertWrite;
  std::string onDisk;
  bool convertRead;
  std::string readBack;
};

const ConversionRow kConversionRows[] = {
    {"AnsiToOemAndBack", "K\xE4se", true, "K\x84se", true, "K\xE4se"},
    {"UnconvertedBytesAsTheyAre", "K\xE4se", false, "K\xE4se", false, "K\xE4se"},
    {"OemReadWithoutConversion", "\xE4", true, "\x84", false, "\x84"},
    {"LineEndsAndNulsKept", std::string("a\r\nb\0c\n", 7), false, std::string("a\r\nb\0c\n", 7),
     false, std::string("a\r\nb\0c\n", 7)},
    {"EmptyText", "", true, "", true, ""},
};

class TextConversion : public TempFilesWin, public ::testing::WithParamInterface<ConversionRow> {};

TEST_P(TextConversion, WritesExactlyTheBytesAndReadsThemBack) {
  const ConversionRow& row = GetParam();
  const std::string path = folder_ / "quillnet.asc";
  ASSERT_TRUE(WriteTextFile(row.text.data(), static_cast<DWORD>(row.text.size()), path.c_str(),
                            row.convertWrite));
  EXPECT_EQ(FileBytes(path), row.onDisk);

  HGLOBAL handle = nullptr;
  DWORD length = 12345;
  ASSERT_EQ(ReadTextFile(&handle, path.c_str(), &length, row.convertRead), 0u);
  UniqueGlobal owned(handle);
  ASSERT_NE(handle, nullptr);
  EXPECT_EQ(length, row.readBack.size());
  EXPECT_GE(GlobalSize(handle), row.readBack.size() + 1);
  GlobalLockGuard lock(handle);
  ASSERT_NE(lock.get(), nullptr);
  EXPECT_EQ(std::string(lock.text(), length), row.readBack);
  EXPECT_EQ(lock.text()[length], '\0');
}

INSTANTIATE_TEST_SUITE_P(Rows, TextConversion, ::testing::ValuesIn(kConversionRows),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(TempFilesWin, WritingReplacesALongerFileWhole) {
  const std::string path = folder_ / "quillnet";
  ASSERT_TRUE(WriteFileBytes(path, std::string(1000, 'o')));
  ASSERT_TRUE(WriteTextFile("new", 3, path.c_str(), false));
  EXPECT_EQ(FileBytes(path), "new");
}

// A stale temporary file planted as a second name of another file: writing
// or wiping through it would change that file.
TEST_F(TempFilesWin, AStaleFileThatIsALinkIsNeitherWrittenNorWipedThrough) {
  const std::string precious = folder_ / "precious.txt";
  const std::string path = folder_ / "quillnet.asc";
  ASSERT_TRUE(WriteFileBytes(precious, "the user's own text"));
  ASSERT_TRUE(CreateHardLinkA(path.c_str(), precious.c_str(), nullptr));

  EXPECT_FALSE(WriteTextFile("PGP input", 9, path.c_str(), false));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_IS_LINK));
  EXPECT_EQ(FileBytes(precious), "the user's own text");
  const std::string message = FormatFileError(ERROR_FILE_IS_LINK, path.c_str());
  EXPECT_NE(message.find("is a link"), std::string::npos) << message;

  WipeFile(path.c_str());
  EXPECT_FALSE(FileExistsOnDisk(path)) << "the link itself goes";
  EXPECT_EQ(FileBytes(precious), "the user's own text");
}

// A stale name that is no link but cannot be written (a folder of that
// name; a file another program has open and deleted, waiting to go) is
// reported with the system's own error for it, never as a link.
TEST_F(TempFilesWin, ANameThatCannotBeOpenedGivesTheSystemsError) {
  const std::string folder = folder_ / "quillnet.asc";
  ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
  EXPECT_FALSE(WriteTextFile("PGP input", 9, folder.c_str(), false));
  const DWORD denied = GetLastError();
  EXPECT_EQ(denied, static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(FormatFileError(denied, folder.c_str()), "Unknown error 5\nFile: " + folder);

  const std::string path = folder_ / "quillnet";
  ASSERT_TRUE(WriteFileBytes(path, "stale"));
  UniqueHandle other(CreateFileA(path.c_str(), GENERIC_READ,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(other);
  ASSERT_TRUE(DeleteFileA(path.c_str()));
  EXPECT_FALSE(WriteTextFile("PGP input", 9, path.c_str(), false));
  const DWORD pending = GetLastError();
  EXPECT_NE(pending, static_cast<DWORD>(ERROR_FILE_IS_LINK));
  EXPECT_EQ(FileErrorStringId(pending), IDS_UNKNOWN_ERROR) << pending;
}

TEST_F(TempFilesWin, WritingIntoAMissingDirectoryReportsPathNotFound) {
  const std::string path = folder_ / "gone\\quillnet";
  ASSERT_FALSE(WriteTextFile("text", 4, path.c_str(), false));
  const DWORD code = GetLastError();
  EXPECT_EQ(code, static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  EXPECT_EQ(FormatFileError(code, path.c_str()), "Path not found:\n  " + path);
}

TEST_F(TempFilesWin, ReadingAMissingFileGivesItsCodeAndNoMemory) {
  HGLOBAL handle = reinterpret_cast<HGLOBAL>(1);
  DWORD length = 777;
  EXPECT_EQ(ReadTextFile(&handle, (folder_ / "none").c_str(), &length, false),
            static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(handle, nullptr);
  EXPECT_EQ(length, 777u);
}

TEST_F(TempFilesWin, FilesAreOpenedWithoutSharing) {
  const std::string path = folder_ / "quillnet";
  ASSERT_TRUE(WriteFileBytes(path, "busy"));
  UniqueHandle held(CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(held);
  HGLOBAL handle = nullptr;
  DWORD length = 0;
  EXPECT_EQ(ReadTextFile(&handle, path.c_str(), &length, false),
            static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  EXPECT_EQ(handle, nullptr);
  EXPECT_FALSE(WriteTextFile("x", 1, path.c_str(), false));
  held.reset();
  EXPECT_EQ(FileBytes(path), "busy");
}

// --- wiping ----------------------------------------------------------------

std::string ExpectedWipe(size_t size) {
  std::string bytes;
  for (size_t i = 0; i < size % 256; ++i) bytes += static_cast<char>(i);
  for (size_t block = 0; block < size / 256; ++block)
    for (int i = 0; i < 256; ++i) bytes += static_cast<char>(i);
  return bytes;
}

class WipeLayout : public TempFilesWin, public ::testing::WithParamInterface<size_t> {};

TEST_P(WipeLayout, OverwritesExactlyTheFileSize) {
  const size_t size = GetParam();
  const std::string path = folder_ / "quillnet";
  ASSERT_TRUE(WriteFileBytes(path, std::string(size, '\xAA')));
  {
    UniqueHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(file);
    EXPECT_TRUE(OverwriteWithPattern(file.get()));
  }
  EXPECT_EQ(FileBytes(path), ExpectedWipe(size));
}

// 65536 + 777 crosses the size of one write of whole patterns.
INSTANTIATE_TEST_SUITE_P(Sizes, WipeLayout, ::testing::Values(0, 1, 255, 256, 257, 600, 66313));

TEST_F(TempFilesWin, WipeFileLeavesNoFile) {
  const std::string path = folder_ / "quillnet";
  ASSERT_TRUE(WriteFileBytes(path, std::string(600, 's')));
  WipeFile(path.c_str());
  EXPECT_FALSE(FileExistsOnDisk(path));
}

TEST_F(TempFilesWin, WipeOfAMissingFileIsHarmless) {
  const std::string other = folder_ / "quillnet.asc";
  ASSERT_TRUE(WriteFileBytes(other, "stay"));
  WipeFile((folder_ / "quillnet").c_str());
  WipeFile("");
  WipeFile(nullptr);
  EXPECT_EQ(FileBytes(other), "stay");
}

// --- error texts -----------------------------------------------------------

struct ErrorRow {
  DWORD code;
  const char* path;
  std::string expected;
};

class FileErrorText : public ::testing::TestWithParam<ErrorRow> {};

TEST_P(FileErrorText, NamesTheCodeAndThePath) {
  const ErrorRow& row = GetParam();
  EXPECT_EQ(FormatFileError(row.code, row.path), row.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, FileErrorText,
    ::testing::Values(
        ErrorRow{5, "C:\\TEMP\\quillnet.asc", "Unknown error 5\nFile: C:\\TEMP\\quillnet.asc"},
        ErrorRow{2, "C:\\TEMP\\quillnet", "File not found:\n  C:\\TEMP\\quillnet"},
        ErrorRow{3, nullptr, "Path not found:\n  "},
        ErrorRow{8, "C:\\x", "Not enough memory"},
        ErrorRow{14, "C:\\x", "Not enough memory"},
        ErrorRow{61442, "C:\\q", "File has no or invalid data:\n  C:\\q"},
        ErrorRow{4294967295u, "%s%lu", "Unknown error 4294967295\nFile: %s%lu"}));

TEST(FileErrorTextAliasing, PathInsideTheBufferIsKept) {
  char buffer[kMessageTextSize] = "\nD:\\A\\EUDORA.EXE\nEUDORA.EXE";
  EXPECT_EQ(FormatFileError(2, buffer), "File not found:\n  \nD:\\A\\EUDORA.EXE\nEUDORA.EXE");
}

// A command's message names the file whole: a path one character longer
// than a 256-character message would hold is not cut.
TEST(FileErrorTextLength, NamesALongPathWhole) {
  const std::string path = "C:\\" + std::string(300, 'd') + "\\quillnet.asc";
  const std::string message = FormatFileError(ERROR_FILE_IS_LINK, path.c_str());
  EXPECT_NE(message.find(path + "\n"), std::string::npos) << message;
}

}  // namespace
