// The installer and its uninstaller, run silently on a folder with the
// stand-in client: the files, QLNET.INI, the Start-menu shortcut and the
// Add/Remove entry they make and remove, the settings an upgrade and the
// uninstaller keep, a folder without the client refused, and the installed
// files running the product.
#include <gtest/gtest.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <algorithm>
#include <filesystem>

#include "tests/e2e/support/session.h"

namespace e2e {
namespace {

using uidrive::TextMatch;

constexpr DWORD kInstallTimeout = 60000;
constexpr char kUninstallKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Quillnet";
constexpr char kGnuPGKey[] = "Software\\GnuPG";

std::string Installer() { return uidrive::ExecutableDirectory() + "..\\dist\\" QL_INSTALLER; }

// Into the folder given, or the one the installer proposes.
std::optional<DWORD> Install(const std::string& folder) {
  const std::string target = folder.empty() ? "" : " /D=" + folder;
  return RunToEnd("\"" + Installer() + "\" /S" + target, kInstallTimeout);
}

std::optional<DWORD> Uninstall(const std::string& folder) {
  return RunToEnd("\"" + folder + "\\Uninstall Quillnet.exe\" /S", kInstallTimeout);
}

std::vector<std::string> FilesIn(const std::string& folder) {
  std::vector<std::string> names;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(folder, error))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

std::optional<std::string> UninstallEntry(const char* value) {
  char text[1024];
  DWORD size = sizeof text;
  if (RegGetValueA(HKEY_LOCAL_MACHINE, kUninstallKey, value, RRF_RT_REG_SZ, nullptr, text, &size) !=
      ERROR_SUCCESS)
    return std::nullopt;
  return std::string(text);
}

std::string Shortcut() {
  char programs[MAX_PATH] = "";
  SHGetFolderPathA(nullptr, CSIDL_COMMON_PROGRAMS, nullptr, SHGFP_TYPE_CURRENT, programs);
  return std::string(programs) + "\\Eudora with PGP.lnk";
}

// The program a shortcut starts, as the shell reads it.
std::string ShortcutTarget(const std::string& path) {
  std::string target;
  CoInitialize(nullptr);
  IShellLinkA* link = nullptr;
  if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                 reinterpret_cast<void**>(&link)))) {
    IPersistFile* file = nullptr;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
      const std::wstring wide = std::filesystem::path(path).wstring();
      char found[MAX_PATH] = "";
      if (SUCCEEDED(file->Load(wide.c_str(), STGM_READ)) &&
          SUCCEEDED(link->GetPath(found, MAX_PATH, nullptr, 0)))
        target = found;
      file->Release();
    }
    link->Release();
  }
  CoUninitialize();
  return target;
}

// One text of a file's version resource, in the language the resource names.
std::string VersionText(const std::string& file, const char* name) {
  DWORD ignored = 0;
  std::vector<char> data(GetFileVersionInfoSizeA(file.c_str(), &ignored));
  if (data.empty() || !GetFileVersionInfoA(file.c_str(), 0, static_cast<DWORD>(data.size()), data.data()))
    return "<no version resource>";
  const WORD* language = nullptr;
  UINT length = 0;
  if (!VerQueryValueA(data.data(), "\\VarFileInfo\\Translation", (void**)&language, &length) || length < 4)
    return "<no translation>";
  char query[64];
  wsprintfA(query, "\\StringFileInfo\\%04x%04x\\%s", language[0], language[1], name);
  char* text = nullptr;
  if (!VerQueryValueA(data.data(), query, (void**)&text, &length)) return "<no " + std::string(name) + ">";
  return text;
}

class InstallerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ExpectNoClientRunning();
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, kGnuPGKey);
  }
  void TearDown() override { RegDeleteTreeA(HKEY_LOCAL_MACHINE, kGnuPGKey); }

  static WorkspaceOptions ClientOnly() {
    WorkspaceOptions options;
    options.withProduct = false;
    return options;
  }
};

TEST_F(InstallerTest, InstallsBesideTheClientRunsFromThereAndUninstallsCleanly) {
  Session session(ClientOnly());
  const std::string app = session.workspace.app();
  ASSERT_EQ(Install(app), std::optional<DWORD>(0)) << Installer();

  EXPECT_EQ(FilesIn(app), (std::vector<std::string>{"EUDORA.EXE", "QLNET.INI", "Quillnet README.txt",
                                                     "Uninstall Quillnet.exe", "pgp2gpg.exe",
                                                     "qlnet.dll", "quillnet.exe"}));
  const std::string settings = ReadBytes(app + "\\QLNET.INI");
  EXPECT_TRUE(Contains(settings, "\r\n[Settings]\r\nProgEudora=" + app + "\\EUDORA.EXE\r\n"
                                 "ConvertAttach=1\r\n")) << settings;
  EXPECT_FALSE(Contains(settings, "ProgPGP")) << "no GnuPG here:\n" << settings;
  EXPECT_EQ(ShortcutTarget(Shortcut()), app + "\\quillnet.exe");
  EXPECT_EQ(UninstallEntry("UninstallString"), "\"" + app + "\\Uninstall Quillnet.exe\"");
  EXPECT_EQ(UninstallEntry("DisplayVersion"), QL_VERSION);
  for (const char* file : {"qlnet.dll", "quillnet.exe", "pgp2gpg.exe"}) {
    SCOPED_TRACE(file);
    EXPECT_EQ(VersionText(app + "\\" + file, "ProductName"), "Quillnet");
    EXPECT_EQ(VersionText(app + "\\" + file, "FileVersion"), QL_VERSION);
  }

  // The installed launcher brings the installed module into the client.
  session.quillnet.Start();
  const uidrive::MailClient& mail = session.quillnet.mail();
  const auto opened = mail.OpenFile(session.workspace.mailFile("01-encrypted.msg"));
  mail.FocusField("view", opened.window);
  uidrive::PostCommand(session.quillnet.main(), kIdmRunPgp);
  const auto dialog = WaitForBox(TextMatch::Exact(" PGP - Decode "), session.quillnet.client().id(), 15000);
  ASSERT_TRUE(dialog) << "no decode dialog";
  uidrive::Answer(*dialog, "OK");
  const auto decoded = WaitForText(mail, opened.window, "", [](const std::string& t) {
    return Contains(t, "Minutes of the meeting");
  }, 20000);
  EXPECT_TRUE(decoded && Contains(*decoded, "[-- Quillnet: decrypted; not signed --]"))
      << decoded.value_or("<no answer>");
  uidrive::PostClose(session.quillnet.main());
  ASSERT_TRUE(session.quillnet.client().WaitForExit(20000)) << "the client did not close";
  ASSERT_TRUE(session.quillnet.launcher().WaitForExit(20000)) << "the launcher did not end";

  ASSERT_EQ(Uninstall(app), std::optional<DWORD>(0));
  EXPECT_EQ(FilesIn(app), std::vector<std::string>{"EUDORA.EXE"});
  EXPECT_EQ(GetFileAttributesA(Shortcut().c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_FALSE(UninstallEntry("UninstallString"));
}

TEST_F(InstallerTest, ChangedSettingsOutliveAnUpgradeAndTheUninstaller) {
  const Workspace workspace(ClientOnly());
  const std::string app = workspace.app();
  // GnuPG as its installer registers itself.
  ASSERT_EQ(RegSetKeyValueA(HKEY_LOCAL_MACHINE, kGnuPGKey, "Install Directory", REG_SZ,
                            workspace.root().c_str(), static_cast<DWORD>(workspace.root().size() + 1)),
            ERROR_SUCCESS);
  ASSERT_EQ(Install(app), std::optional<DWORD>(0));
  const std::string written = ReadBytes(app + "\\QLNET.INI");
  EXPECT_TRUE(Contains(written, "\r\n[PGP settings]\r\nProgPGP=" + app + "\\pgp2gpg.exe\r\n")) << written;

  const std::string changed = written + "[Settings]\r\nMarkResults=1\r\n";
  WriteBytes(app + "\\QLNET.INI", changed);
  ASSERT_EQ(Install(app), std::optional<DWORD>(0));
  EXPECT_EQ(ReadBytes(app + "\\QLNET.INI"), changed);

  ASSERT_EQ(Uninstall(app), std::optional<DWORD>(0));
  EXPECT_EQ(FilesIn(app), (std::vector<std::string>{"EUDORA.EXE", "QLNET.INI"}));
  EXPECT_EQ(ReadBytes(app + "\\QLNET.INI"), changed);
  EXPECT_FALSE(UninstallEntry("UninstallString"));
}

TEST_F(InstallerTest, TheClientUnderTheProgramFoldersIsWhereItInstalls) {
  char programs[MAX_PATH] = "";
  ASSERT_EQ(SHGetFolderPathA(nullptr, CSIDL_PROGRAM_FILES, nullptr, SHGFP_TYPE_CURRENT, programs), S_OK);
  const std::string vendor = std::string(programs) + "\\Quillnet test vendor";
  const std::string app = vendor + "\\Eudora";
  std::error_code ignored;
  std::filesystem::remove_all(vendor, ignored);  // what a failed run left
  std::filesystem::create_directories(app);
  std::filesystem::copy_file(uidrive::ExecutableDirectory() + "EUDORA.EXE", app + "\\EUDORA.EXE");

  EXPECT_EQ(Install(""), std::optional<DWORD>(0));
  EXPECT_EQ(UninstallEntry("InstallLocation"), app);
  EXPECT_NE(GetFileAttributesA((app + "\\qlnet.dll").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(Uninstall(app), std::optional<DWORD>(0));
  std::filesystem::remove_all(vendor, ignored);
}

TEST_F(InstallerTest, AFolderWithoutTheClientIsRefusedAndLeftAlone) {
  const Workspace workspace(ClientOnly());
  const std::string empty = workspace.root() + "\\empty";
  const std::string missing = workspace.root() + "\\missing";
  std::filesystem::create_directories(empty);

  for (const std::string& folder : {empty, missing}) {
    SCOPED_TRACE(folder);
    const std::optional<DWORD> code = Install(folder);
    ASSERT_TRUE(code) << "the installer did not end";
    EXPECT_NE(*code, 0u);
  }
  EXPECT_TRUE(FilesIn(empty).empty());
  EXPECT_EQ(GetFileAttributesA(missing.c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_FALSE(UninstallEntry("UninstallString"));
  EXPECT_EQ(GetFileAttributesA(Shortcut().c_str()), INVALID_FILE_ATTRIBUTES);
}

}  // namespace
}  // namespace e2e
