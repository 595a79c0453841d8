// The settings file through the real profile functions: three real copies
// of "QLNET.INI" (the Windows directory, beside the test executable, and a
// fresh folder as extension.SettingsPath), read, listed and written back.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "core/module_win.h"
#include "settings/settings_file_win.h"
#include "startup/hook_win.h"
#include "tests/win/support/dialog_answerer.h"
#include "tests/win/support/scratch_files.h"
#include "tests/win/support/test_state.h"

namespace {

enum Copy { WindowsCopy, ModuleCopy, PathCopy };

struct Entry {
  Copy copy;
  const char* section;
  const char* key;
  const char* value;
};

std::string WindowsCopyPath() {
  char directory[MAX_PATH];
  GetWindowsDirectoryA(directory, sizeof directory);
  return std::string(directory) + "\\QLNET.INI";
}

std::string ModuleCopyPath() {
  char module[MAX_PATH];
  const DWORD n = GetModuleFileNameA(moduleInstance, module, sizeof module);
  std::string path(module, n);
  return path.substr(0, path.rfind('\\') + 1) + "QLNET.INI";
}

// The profile functions keep files in a cache; dropping a file must drop
// its cached contents too, or the next test would still see them.
void RemoveCopy(const std::string& path) {
  DeleteFileA(path.c_str());
  WritePrivateProfileStringA(nullptr, nullptr, nullptr, path.c_str());
  DeleteFileA(path.c_str());
}

std::string ReadKey(const std::string& file, const char* section, const char* key) {
  char value[256];
  GetPrivateProfileStringA(section, key, "<absent>", value, sizeof value, file.c_str());
  return value;
}

std::string Shown(const char* text) { return text ? std::string(text) : std::string("<none>"); }

// Holds Caps Lock down for one scope, then gives the key back and toggles
// the lock state back to what it was.
class CapsLockHeld {
 public:
  CapsLockHeld() { keybd_event(VK_CAPITAL, 0x3A, 0, 0); }
  ~CapsLockHeld() {
    keybd_event(VK_CAPITAL, 0x3A, KEYEVENTF_KEYUP, 0);
    keybd_event(VK_CAPITAL, 0x3A, 0, 0);
    keybd_event(VK_CAPITAL, 0x3A, KEYEVENTF_KEYUP, 0);
  }
};

class Window {
 public:
  explicit Window(HINSTANCE instance)
      : window_(CreateWindowExA(0, "STATIC", "main", WS_POPUP, 0, 0, 50, 50, nullptr, nullptr,
                                instance, nullptr)) {}
  ~Window() { DestroyWindow(window_); }
  HWND get() const { return window_; }

 private:
  HWND window_;
};

class SettingsFileWin : public ::testing::Test {
 protected:
  void SetUp() override {
    copies_[WindowsCopy] = WindowsCopyPath();
    copies_[ModuleCopy] = ModuleCopyPath();
    copies_[PathCopy] = folder_ / "QLNET.INI";
    for (const std::string& copy : copies_) RemoveCopy(copy);
    ASSERT_TRUE(TakeModulePath(extension.module, moduleInstance));
    ASSERT_TRUE(TakeModulePath(launcherSide.module, moduleInstance));
    lstrcpynA(extension.SettingsPath, copies_[PathCopy].c_str(), kSettingsPathSize);
    launcherSide.WaitEudoraInit = kDefaultWaitEudoraInit;
  }
  void TearDown() override {
    for (const std::string& copy : copies_) RemoveCopy(copy);
    ReleaseSettingsTexts(extension.Settings);
    extension.SettingsPath[0] = '\0';
    TakeModulePath(extension.module, moduleInstance);
    TakeModulePath(launcherSide.module, moduleInstance);
    launcherSide.WaitEudoraInit = kDefaultWaitEudoraInit;
  }

  void Write(const std::vector<Entry>& entries) {
    for (const Entry& e : entries)
      ASSERT_TRUE(WritePrivateProfileStringA(e.section, e.key, e.value, copies_[e.copy].c_str()));
  }

  ScratchFolder folder_;
  std::string copies_[3];
};

// --- which copy wins -------------------------------------------------------

struct PrecedenceRow {
  const char* name;
  std::vector<Entry> entries;
  std::function<void(SettingsValues&)> change;  // applied to the defaults
  int32_t encryptForLength;
};

const std::string kLongText(300, 'p');
const std::string kText255(255, 'q');
const std::string kText5000(5000, 'r');

const PrecedenceRow kPrecedenceRows[] = {
    {"NoCopyAnywhereGivesTheDefaults", {}, [](SettingsValues&) {}, 0},
    {"KeyOfWindowsCopyStaysWhenModuleCopyLacksIt",
     {{WindowsCopy, "PGP settings", "KeepOpen", "2"}, {ModuleCopy, "Settings", "UseToolBar", "0"}},
     [](SettingsValues& v) {
       v.KeepOpen = 2;
       v.UseToolBar = 0;
     },
     0},
    {"EmptyTextInLaterCopyClearsIt",
     {{ModuleCopy, "PGP settings", "EncryptFor", "bob"}, {PathCopy, "PGP settings", "EncryptFor", ""}},
     [](SettingsValues&) {}, 0},
    {"LaterCopyWinsKeyByKey",
     {{WindowsCopy, "Settings", "CopyToReadOnly", "5"},
      {WindowsCopy, "Settings", "ButtonPos", "40"},
      {ModuleCopy, "Settings", "CopyToReadOnly", "0"},
      {PathCopy, "Settings", "ButtonPos", "70"},
      {WindowsCopy, "PGP settings", "ProgPGP", "C:\\W\\PGP.EXE"},
      {ModuleCopy, "PGP settings", "ProgPGP", "C:\\M\\PGP.EXE"},
      {WindowsCopy, "PGP settings", "PGPtempdir", "C:\\WTEMP"}},
     [](SettingsValues& v) {
       v.CopyToReadOnly = 0;
       v.ButtonPos = 70;
       v.ProgPGP = "C:\\M\\PGP.EXE";
       v.PGPtempdir = "C:\\WTEMP";
     },
     0},
    {"EveryKeyIsReadFromItsOwnSection",
     {{PathCopy, "Settings", "UseToolBar", "11"},
      {PathCopy, "PGPflags", "AlwaysSign", "12"},
      {PathCopy, "Settings", "AnsiOem", "13"},
      {PathCopy, "Settings", "ConvertAttach", "14"},
      {PathCopy, "Settings", "NickNames", "15"},
      {PathCopy, "Settings", "CopyToReadOnly", "16"},
      {PathCopy, "Settings", "ButtonPos", "17"},
      {PathCopy, "PGP settings", "KeepPassword", "18"},
      {PathCopy, "PGP settings", "KeepOpen", "19"},
      {PathCopy, "Settings", "MarkResults", "0"},
      {PathCopy, "Settings", "ReadMime", "0"},
      {PathCopy, "PGP settings", "ProgPGP", "D:\\PGP\\PGP.EXE"},
      {PathCopy, "PGP settings", "PGPtempdir", "D:\\TMP"},
      {PathCopy, "PGP settings", "EncryptFor", "alice"}},
     [](SettingsValues& v) {
       v = {11, 12, 13, 14, 15, 16, 17, 18, 19, 0, 0, "D:\\PGP\\PGP.EXE", "D:\\TMP", "alice"};
     },
     5},
    {"NegativeValuesKeepTheirSign",
     {{PathCopy, "Settings", "CopyToReadOnly", "-1"}, {ModuleCopy, "PGP settings", "KeepOpen", "0"}},
     [](SettingsValues& v) {
       v.CopyToReadOnly = -1;
       v.KeepOpen = 0;
     },
     0},
    {"KeysInTheWrongSectionAreNotSeen",
     {{WindowsCopy, "Settings", "AlwaysSign", "1"},
      {WindowsCopy, "Settings", "KeepOpen", "5"},
      {WindowsCopy, "Settings", "EncryptFor", "eve"},
      {WindowsCopy, "PGP settings", "UseToolBar", "0"},
      {WindowsCopy, "PGPflags", "AnsiOem", "1"}},
     [](SettingsValues&) {}, 0},
    {"RecipientWithBlankIsQuoted",
     {{PathCopy, "PGP settings", "EncryptFor", "John Smith"}},
     [](SettingsValues& v) { v.EncryptFor = "\"John Smith\""; }, 12},
    {"RecipientWithoutBlankIsNotQuoted",
     {{ModuleCopy, "PGP settings", "EncryptFor", "bob"}},
     [](SettingsValues& v) { v.EncryptFor = "bob"; }, 3},
    // Cut, a path would name another file, a list of recipients lose some.
    {"TextsLongerThan255AreReadWhole",
     {{WindowsCopy, "PGP settings", "ProgPGP", kLongText.c_str()},
      {ModuleCopy, "PGP settings", "EncryptFor", kLongText.c_str()}},
     [](SettingsValues& v) { v.ProgPGP = v.EncryptFor = kLongText.c_str(); }, 300},
};

class SettingsPrecedence : public SettingsFileWin,
                           public ::testing::WithParamInterface<PrecedenceRow> {};

TEST_P(SettingsPrecedence, LoadSettingsGivesTheValuesInForce) {
  const PrecedenceRow& row = GetParam();
  Write(row.entries);
  SettingsValues expected = kDefaultSettings;
  row.change(expected);
  const std::string expectedProgPgp = Shown(expected.ProgPGP);

  DialogAnswerer answerer({});
  LoadAndListSettings(extension, nullptr);

  for (const IntegerSettingKey& key : kIntegerSettingKeys)
    EXPECT_EQ(extension.Settings.*key.field, expected.*key.field) << key.key;
  EXPECT_EQ(Shown(extension.Settings.ProgPGP), expectedProgPgp);
  EXPECT_EQ(Shown(extension.Settings.PGPtempdir), Shown(expected.PGPtempdir));
  EXPECT_EQ(Shown(extension.Settings.EncryptFor), Shown(expected.EncryptFor));
  EXPECT_EQ(extension.Settings.EncryptForLength, row.encryptForLength);
  EXPECT_TRUE(answerer.Seen().empty()) << "no listing without Caps Lock";
}

INSTANTIATE_TEST_SUITE_P(Rows, SettingsPrecedence, ::testing::ValuesIn(kPrecedenceRows),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(SettingsFileWin, SecondLoadStartsAgainFromTheDefaults) {
  Write({{WindowsCopy, "PGP settings", "EncryptFor", "bob"}, {WindowsCopy, "Settings", "AnsiOem", "1"}});
  LoadAndListSettings(extension, nullptr);
  ASSERT_EQ(Shown(extension.Settings.EncryptFor), "bob");
  RemoveCopy(copies_[WindowsCopy]);
  LoadAndListSettings(extension, nullptr);
  EXPECT_EQ(extension.Settings.EncryptFor, nullptr);
  EXPECT_EQ(extension.Settings.AnsiOem, 0);
}

TEST_F(SettingsFileWin, StartCopySharesNoTextAndKeepsButtonPos) {
  Write({{ModuleCopy, "Settings", "ButtonPos", "33"}, {ModuleCopy, "PGP settings", "EncryptFor", "bob"}});
  LoadAndListSettings(extension, nullptr);
  EXPECT_EQ(extension.SettingsAtStart.ButtonPos, 33);
  EXPECT_EQ(extension.SettingsAtStart.EncryptFor, nullptr);
  EXPECT_EQ(Shown(extension.Settings.EncryptFor), "bob");
}

// --- the list of files read, and the listing while Caps Lock is held -------

TEST_F(SettingsFileWin, FilesReadAreListedInOrder) {
  EXPECT_EQ(LoadSettings(extension, nullptr),
            "QLNET.INI\n" + copies_[ModuleCopy] + "\n" + copies_[PathCopy]);
  extension.SettingsPath[0] = '\0';
  EXPECT_EQ(LoadSettings(extension, nullptr), "QLNET.INI\n" + copies_[ModuleCopy]);
}

TEST_F(SettingsFileWin, CapsLockShowsTheListingOwnedByTheMainWindow) {
  Write({{WindowsCopy, "PGP settings", "EncryptFor", "bob"}, {WindowsCopy, "Settings", "NickNames", "1"}});
  // Without a module path and extension.SettingsPath the text does not depend on
  // where the test runs.
  extension.module.modulePath[0] = '\0';
  extension.SettingsPath[0] = '\0';
  Window main(moduleInstance);
  HWND owner = nullptr;
  DialogAnswerer answerer({{"Quillnet", [&owner](HWND box) {
                              owner = GetWindow(box, GW_OWNER);
                              PressButton(box, IDOK);
                            }}});
  {
    CapsLockHeld caps;
    LoadAndListSettings(extension, main.get());
  }
  auto seen = answerer.Seen();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].text,
            "QLNET.INI\n---\nUseToolBar = 1\nAlwaysSign = 0\nAnsiOem = 0\nConvertAttach = 0\n"
            "NickNames = 1\nCopyToReadOnly = 1\nButtonPos = 0\nKeepPassword = 0\n"
            "KeepOpen = 4294967295\nMarkResults = 1\nReadMime = 1\nEncryptFor = bob");
  EXPECT_EQ(owner, main.get());
  EXPECT_EQ(extension.SettingsAtStart.NickNames, 1) << "loading goes on after the listing";
}

// --- extension.AttachmentPrefix ------------------------------------------------------

// A copy of the test executable whose string table also holds the client's
// string 1410, loaded as data: a stand-in for the client's own instance.
class ClientWithPrefix {
 public:
  ClientWithPrefix(const ScratchFolder& folder, const std::wstring& prefix) {
    char self[MAX_PATH];
    GetModuleFileNameA(moduleInstance, self, sizeof self);
    const std::string copy = folder / "client.exe";
    if (!CopyFileA(self, copy.c_str(), FALSE)) return;
    // String 1410 is entry 2 of block 89 (16 strings to a block).
    std::vector<WORD> block;
    for (int i = 0; i < 16; ++i) {
      if (i != 2) {
        block.push_back(0);
        continue;
      }
      block.push_back(static_cast<WORD>(prefix.size()));
      for (wchar_t c : prefix) block.push_back(static_cast<WORD>(c));
    }
    HANDLE update = BeginUpdateResourceA(copy.c_str(), FALSE);
    if (update == nullptr) return;
    const bool added =
        UpdateResourceA(update, MAKEINTRESOURCEA(6), MAKEINTRESOURCEA(89),
                        MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL), block.data(),
                        static_cast<DWORD>(block.size() * sizeof(WORD)));
    if (!EndUpdateResourceA(update, !added) || !added) return;
    module_ = LoadLibraryExA(copy.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  }
  ~ClientWithPrefix() {
    if (module_) FreeLibrary(module_);
  }
  HINSTANCE instance() const { return module_; }

 private:
  HMODULE module_ = nullptr;
};

TEST_F(SettingsFileWin, AttachmentPrefixComesFromTheClientWhenItHasString1410) {
  Write({{WindowsCopy, "Settings", "ConvertAttach", "1"}});
  ClientWithPrefix client(folder_, L"Attachment saved by the client as: ");
  ASSERT_NE(client.instance(), nullptr) << "could not build the stand-in client module";
  Window main(moduleInstance);
  SetWindowLongPtrA(main.get(), GWLP_HINSTANCE, reinterpret_cast<LONG_PTR>(client.instance()));
  LoadAndListSettings(extension, main.get());
  EXPECT_EQ(std::string(extension.AttachmentPrefix), "Attachment saved by the client ") << "31 characters";
  EXPECT_EQ(extension.AttachmentPrefixLength, 31);
}

TEST_F(SettingsFileWin, AttachmentPrefixFallsBackToString63) {
  Write({{WindowsCopy, "Settings", "ConvertAttach", "1"}});
  Window main(moduleInstance);  // the test executable has no string 1410
  LoadAndListSettings(extension, main.get());
  EXPECT_EQ(std::string(extension.AttachmentPrefix), "Attachment Converted: ");
  EXPECT_EQ(extension.AttachmentPrefixLength, 22);
}

TEST_F(SettingsFileWin, AttachmentPrefixStaysEmptyWithoutConvertAttach) {
  Write({{WindowsCopy, "Settings", "ConvertAttach", "1"}});
  Window main(moduleInstance);
  LoadAndListSettings(extension, main.get());
  RemoveCopy(copies_[WindowsCopy]);
  LoadAndListSettings(extension, main.get());
  EXPECT_EQ(std::string(extension.AttachmentPrefix), "");
  EXPECT_EQ(extension.AttachmentPrefixLength, 0);
}

// --- ReadStringSetting -----------------------------------------------------

struct StringRow {
  const char* name;
  const char* inFile;  // null: key absent
  const char* current;
  std::string expected;
};

const StringRow kStringRows[] = {
    {"PresentValueReplacesCurrent", "new", "old", "new"},
    {"AbsentKeyKeepsCurrent", nullptr, "old", "old"},
    {"PresentEmptyValueClears", "", "old", "<none>"},
    {"AbsentKeyWithoutCurrentIsNone", nullptr, nullptr, "<none>"},
    // Read whole, however many buffers of 256 it takes; 255 fills the first.
    {"LongValueIsReadWhole", kLongText.c_str(), nullptr, kLongText},
    {"ValueOfExactly255IsReadWhole", kText255.c_str(), nullptr, kText255},
    {"VeryLongValueIsReadWhole", kText5000.c_str(), nullptr, kText5000},
};

class StringSetting : public SettingsFileWin, public ::testing::WithParamInterface<StringRow> {};

TEST_P(StringSetting, ReadsWithTheCurrentTextAsDefault) {
  const StringRow& row = GetParam();
  if (row.inFile) Write({{PathCopy, "PGP settings", "ProgPGP", row.inFile}});
  const char* text = ReadStringSetting("PGP settings", "ProgPGP", CopySettingText(row.current),
                                       copies_[PathCopy].c_str());
  EXPECT_EQ(Shown(text), row.expected);
  ReleaseSettingText(text);
}

INSTANTIATE_TEST_SUITE_P(Rows, StringSetting, ::testing::ValuesIn(kStringRows),
                         [](const auto& info) { return std::string(info.param.name); });

// --- SaveButtonPos ---------------------------------------------------------

struct SaveRow {
  const char* name;
  std::vector<Entry> before;
  bool withSettingsPath;
  int32_t newButtonPos;
  std::string expectedInPathCopy;
  std::string expectedInModuleCopy;
};

const SaveRow kSaveRows[] = {
    {"UnchangedWritesNothingEvenWithoutTheKey", {}, true, 0, "<absent>", "<absent>"},
    {"ChangedIsWrittenToSettingsPath", {}, true, 57, "57", "<absent>"},
    {"NegativeIsWrittenSigned", {}, true, -5, "-5", "<absent>"},
    {"ReadFromModuleCopyStillWrittenToSettingsPath",
     {{ModuleCopy, "Settings", "ButtonPos", "20"}}, true, 30, "30", "20"},
    {"WithoutSettingsPathNothingIsWritten", {}, false, 57, "<absent>", "<absent>"},
};

class ButtonPosSave : public SettingsFileWin, public ::testing::WithParamInterface<SaveRow> {};

TEST_P(ButtonPosSave, WritesOnlyAChangedValue) {
  const SaveRow& row = GetParam();
  Write(row.before);
  if (!row.withSettingsPath) extension.SettingsPath[0] = '\0';
  LoadAndListSettings(extension, nullptr);
  extension.Settings.ButtonPos = row.newButtonPos;
  SaveButtonPos(extension);
  EXPECT_EQ(ReadKey(copies_[PathCopy], "Settings", "ButtonPos"), row.expectedInPathCopy);
  EXPECT_EQ(ReadKey(copies_[ModuleCopy], "Settings", "ButtonPos"), row.expectedInModuleCopy);
  EXPECT_EQ(ReadKey(copies_[WindowsCopy], "Settings", "ButtonPos"), "<absent>");
}

INSTANTIATE_TEST_SUITE_P(Rows, ButtonPosSave, ::testing::ValuesIn(kSaveRows),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(SettingsFileWin, EachSaveWritesAgainWhileTheValueDiffers) {
  LoadAndListSettings(extension, nullptr);
  extension.Settings.ButtonPos = 57;
  SaveButtonPos(extension);
  Write({{PathCopy, "Settings", "ButtonPos", "3"}});
  SaveButtonPos(extension);
  EXPECT_EQ(ReadKey(copies_[PathCopy], "Settings", "ButtonPos"), "57");
}

// --- the launcher side -----------------------------------------------------

struct LauncherRow {
  const char* name;
  std::vector<Entry> entries;
  std::string program;
  int32_t wait;
};

const LauncherRow kLauncherRows[] = {
    {"NoCopyGivesEudoraAndOneSecond", {}, "EUDORA.EXE", 1000},
    {"ModuleCopyOverridesWindowsCopy",
     {{WindowsCopy, "Settings", "ProgEudora", "A.EXE"},
      {WindowsCopy, "Settings", "WaitEudoraInit", "2000"},
      {ModuleCopy, "Settings", "ProgEudora", "D:\\B\\B.EXE"}},
     "D:\\B\\B.EXE", 2000},
    {"EmptyProgramInModuleCopyMeansEudora",
     {{WindowsCopy, "Settings", "ProgEudora", "A.EXE"}, {ModuleCopy, "Settings", "ProgEudora", ""}},
     "EUDORA.EXE", 1000},
    {"SettingsPathCopyIsNotReadByTheLauncher",
     {{PathCopy, "Settings", "ProgEudora", "C.EXE"}, {PathCopy, "Settings", "WaitEudoraInit", "9"}},
     "EUDORA.EXE", 1000},
    {"KeysOfOtherSectionsAreNotSeen",
     {{WindowsCopy, "PGP settings", "ProgEudora", "X.EXE"},
      {ModuleCopy, "PGPflags", "WaitEudoraInit", "7"}},
     "EUDORA.EXE", 1000},
};

class LauncherReading : public SettingsFileWin,
                        public ::testing::WithParamInterface<LauncherRow> {};

TEST_P(LauncherReading, ReadsProgramAndPause) {
  const LauncherRow& row = GetParam();
  Write(row.entries);
  lstrcpyA(launcherSide.ProgEudora, "LEFTOVER.EXE");
  ReadLauncherSettingsFiles(launcherSide);
  EXPECT_EQ(std::string(launcherSide.ProgEudora), row.program);
  EXPECT_EQ(launcherSide.WaitEudoraInit, row.wait);
}

INSTANTIATE_TEST_SUITE_P(Rows, LauncherReading, ::testing::ValuesIn(kLauncherRows),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(SettingsFileWin, LauncherPauseKeepsItsValueBetweenReadings) {
  Write({{WindowsCopy, "Settings", "WaitEudoraInit", "2500"}});
  ReadLauncherSettingsFiles(launcherSide);
  RemoveCopy(copies_[WindowsCopy]);
  ReadLauncherSettingsFiles(launcherSide);
  EXPECT_EQ(launcherSide.WaitEudoraInit, 2500);
}

struct RaiseRow {
  int32_t current;
  const char* written;
};

class WaitRaise : public SettingsFileWin, public ::testing::WithParamInterface<RaiseRow> {};

TEST_P(WaitRaise, RetryWritesOneAndAHalfTimesToTheModuleCopy) {
  launcherSide.WaitEudoraInit = GetParam().current;
  WriteRaisedWaitEudoraInit(launcherSide);
  EXPECT_EQ(ReadKey(copies_[ModuleCopy], "Settings", "WaitEudoraInit"), GetParam().written);
  EXPECT_EQ(ReadKey(copies_[WindowsCopy], "Settings", "WaitEudoraInit"), "<absent>");
  EXPECT_EQ(launcherSide.WaitEudoraInit, GetParam().current) << "the value in memory stays";
}

INSTANTIATE_TEST_SUITE_P(Rows, WaitRaise,
                         ::testing::Values(RaiseRow{1000, "1500"}, RaiseRow{1001, "1501"},
                                           RaiseRow{3, "4"}));

TEST_F(SettingsFileWin, WithoutAModulePathNothingIsPlacedBesideIt) {
  launcherSide.module.modulePath[0] = '\0';
  char path[kPathSize] = "stale";
  EXPECT_FALSE(PlaceNextToModule(launcherSide.module, path, "QLNET.INI"));
  EXPECT_EQ(std::string(path), "");
  WriteRaisedWaitEudoraInit(launcherSide);
  EXPECT_EQ(ReadKey("QLNET.INI", "Settings", "WaitEudoraInit"), "<absent>")
      << "a bare name would land in the Windows directory";
}

}  // namespace
