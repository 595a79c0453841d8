// Starting and leaving: the launcher starts the client or finds it, the
// module settles in it (items, button) or refuses with its message, a
// second launcher stays out of the way, and both ways out (the module's
// Exit item, the client closing) end the launcher and leave the client in
// order.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "tests/e2e/support/session.h"

namespace e2e {
namespace {

using uidrive::TextMatch;

std::string ImagePath(HANDLE process) {
  char path[MAX_PATH];
  DWORD size = sizeof path;
  if (!QueryFullProcessImageNameA(process, 0, path, &size)) return "";
  return std::string(path, size);
}

bool SamePath(const std::string& a, const std::string& b) { return lstrcmpiA(a.c_str(), b.c_str()) == 0; }

int CountId(const std::vector<uidrive::MenuItem>& items, UINT id) {
  return static_cast<int>(std::count_if(items.begin(), items.end(),
                                        [id](const uidrive::MenuItem& i) { return i.id == id; }));
}

// The items of the popup that holds `path` (a path like "3.5"), in order.
std::vector<uidrive::MenuItem> Siblings(const std::vector<uidrive::MenuItem>& items,
                                        const std::string& path) {
  const std::string popup = path.substr(0, path.rfind('.') + 1);
  std::vector<uidrive::MenuItem> siblings;
  for (const uidrive::MenuItem& item : items) {
    if (item.path.rfind(popup, 0) == 0 && item.path.find('.', popup.size()) == std::string::npos)
      siblings.push_back(item);
  }
  return siblings;
}

const uidrive::MenuItem* ItemWithId(const std::vector<uidrive::MenuItem>& items, UINT id) {
  for (const uidrive::MenuItem& item : items)
    if (item.id == id) return &item;
  return nullptr;
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

bool NoQuillnetBoxOpen() {
  uidrive::WindowQuery query;
  query.className = TextMatch::Exact("#32770");
  query.title = TextMatch::Exact("Quillnet");
  return uidrive::FindWindows(query).empty();
}

bool OfClient(HWND window, const Session& s) {
  DWORD owner = 0;
  return window && GetWindowThreadProcessId(window, &owner) && owner == s.quillnet.client().id();
}

class StartTest : public ::testing::Test {
 protected:
  void SetUp() override { ExpectNoClientRunning(); }
};

// A launcher started into a client the module is not running in: true once
// all of the module's items are in the client's menus; a failure names
// what the launcher did instead.
::testing::AssertionResult ModuleSettlesAgain(Session& s, HWND main, DWORD timeoutMs) {
  s.quillnet.StartLauncher();
  bool settled = false;
  WaitUntil([&] {
    const std::optional<ModuleItems> items = ReadModuleItems(main, 2000);
    settled = items && items->all();
    return settled || !s.quillnet.launcher().Running();
  }, timeoutMs);
  if (settled) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure()
         << "the module did not start; the launcher "
         << (s.quillnet.launcher().Running() ? "still waits" : "ended");
}

TEST_F(StartTest, StartsTheClientBesideItselfAndSettlesInIt) {
  Session s;
  s.quillnet.StartLauncher();
  const HWND main = s.quillnet.WaitForClient();
  ASSERT_TRUE(s.quillnet.WaitForModule());

  // The client is the one beside the module, with the launcher's argument.
  EXPECT_NE(s.quillnet.client().id(), s.quillnet.launcher().id());
  EXPECT_TRUE(SamePath(ImagePath(s.quillnet.client().handle()), s.workspace.client()))
      << ImagePath(s.quillnet.client().handle());
  EXPECT_TRUE(SamePath(s.quillnet.mail().Call({"ping", {}}).Get("folder"), s.workspace.mail()));

  const std::vector<uidrive::MenuItem> items = uidrive::MenuBar(main);
  const uidrive::MenuItem* exitItem = ItemWithId(items, kIdmExitExtension);
  const uidrive::MenuItem* runItem = ItemWithId(items, kIdmRunPgp);
  const uidrive::MenuItem* aboutItem = ItemWithId(items, kIdmAbout);
  ASSERT_TRUE(exitItem && runItem && aboutItem);
  EXPECT_EQ(exitItem->text, "&Exit PGP-extension");
  EXPECT_EQ(runItem->text, "R&un PGP...");
  EXPECT_EQ(aboutItem->text, "About &Quillnet...");
  EXPECT_FALSE(runItem->grayed || runItem->disabled);

  // Exit PGP-extension stands right before the client's Exit; Run PGP ends
  // the Message menu (first item Reply) and About the Help menu.
  const auto file = Siblings(items, exitItem->path);
  const auto exitAt = std::find_if(file.begin(), file.end(),
                                   [](const auto& i) { return i.id == kIdmExitExtension; });
  ASSERT_NE(exitAt + 1, file.end());
  EXPECT_EQ((exitAt + 1)->id, 0xE141u);
  const auto message = Siblings(items, runItem->path);
  EXPECT_EQ(message.front().id, kClientReply);
  EXPECT_EQ(message.back().id, kIdmRunPgp);
  EXPECT_TRUE(message[message.size() - 2].separator);
  const auto help = Siblings(items, aboutItem->path);
  EXPECT_EQ(help.front().id, 0xE142u);
  EXPECT_EQ(help.back().id, kIdmAbout);

  // The button comes with the first message the client handles after the start.
  ASSERT_TRUE(WaitUntil([&] { return Button(main) != nullptr; }, 10000));
  const HWND button = Button(main);
  EXPECT_EQ(uidrive::ClassOf(button), "ql_button");
  EXPECT_TRUE(IsWindowVisible(button));
  RECT bar{}, face{};
  GetWindowRect(ToolBar(main), &bar);
  GetWindowRect(button, &face);
  EXPECT_TRUE(face.left >= bar.left && face.right <= bar.right && face.top >= bar.top &&
              face.bottom <= bar.bottom);

  // The launcher waits in its message loop for the module's end.
  EXPECT_FALSE(s.quillnet.launcher().WaitForExit(500));
  EXPECT_EQ(ClientWindows().size(), 1u);
}

// A program that starts the launcher with empty start-up information gives
// it no show state; the client must still come up visible (a hidden client
// cannot be used, and gets no toolbar button).
TEST_F(StartTest, ClientIsShownWhenTheLauncherWasGivenNoShowState) {
  Session s;
  s.quillnet.StartLauncher(std::nullopt);
  const HWND main = s.quillnet.WaitForClient();
  ASSERT_TRUE(s.quillnet.WaitForModule());
  EXPECT_TRUE(IsWindowVisible(main));
  EXPECT_TRUE(WaitUntil([&] { return Button(main) != nullptr; }, 5000));
}

TEST_F(StartTest, FindsTheClientThatIsAlreadyRunning) {
  Session s;
  s.quillnet.StartClientAlone();
  const HWND main = s.quillnet.main();
  const DWORD clientId = s.quillnet.client().id();
  {
    const std::optional<ModuleItems> before = ReadModuleItems(main);
    ASSERT_TRUE(before);
    ASSERT_FALSE(before->any());
  }

  s.quillnet.StartLauncher();
  ASSERT_TRUE(s.quillnet.WaitForModule());
  EXPECT_TRUE(ReadModuleItems(main)->all());
  EXPECT_TRUE(WaitUntil([&] { return Button(main) != nullptr; }, 10000));
  // No second client: the one window is the old one, in the old process.
  const std::vector<HWND> windows = ClientWindows();
  ASSERT_EQ(windows.size(), 1u);
  EXPECT_EQ(windows.front(), main);
  EXPECT_TRUE(s.quillnet.client().Running());
  DWORD owner = 0;
  GetWindowThreadProcessId(main, &owner);
  EXPECT_EQ(owner, clientId);
}

TEST_F(StartTest, SecondLauncherStartsNothingAndLeavesTheFirstInCharge) {
  Session s;
  s.quillnet.Start();
  const HWND main = s.quillnet.main();
  // Something else in front, as when the user starts the launcher again
  // from elsewhere.
  UniqueWindow other(CreateWindowExA(0, "Static", "elsewhere", WS_POPUP | WS_VISIBLE, 0, 0, 200,
                                     100, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr));
  SetForegroundWindow(other.get());
  ASSERT_TRUE(WaitUntil([&] { return GetForegroundWindow() == other.get(); }, 3000));

  Process second = s.quillnet.StartAnotherLauncher();
  const std::optional<DWORD> code = second.WaitForExit(10000);
  ASSERT_TRUE(code) << "the second launcher did not end";
  EXPECT_EQ(*code, 0u);
  EXPECT_TRUE(NoQuillnetBoxOpen());
  EXPECT_EQ(ClientWindows(), std::vector<HWND>{main});
  EXPECT_TRUE(WaitUntil([&] { return OfClient(GetForegroundWindow(), s); }, 3000))
      << "the client was not brought to the front";

  // Each item once: the second launcher did not start the module again.
  const std::vector<uidrive::MenuItem> items = uidrive::MenuBar(main);
  EXPECT_EQ(CountId(items, kIdmRunPgp), 1);
  EXPECT_EQ(CountId(items, kIdmAbout), 1);
  EXPECT_EQ(CountId(items, kIdmExitExtension), 1);

  // The first launcher is still the one the module reports its end to.
  ASSERT_TRUE(s.quillnet.launcher().Running());
  uidrive::PostCommand(main, kIdmExitExtension);
  const std::optional<DWORD> first = s.quillnet.launcher().WaitForExit(15000);
  ASSERT_TRUE(first) << "the first launcher was not told of the end";
  EXPECT_EQ(*first, 0u);
  EXPECT_TRUE(s.quillnet.ClientAnswers());
}

// A start that failed leaves the module loaded in the client without
// running there; once the user has put PGP in place, a new launcher must be
// able to start it in the same client.
TEST_F(StartTest, PgpNotFoundIsReportedAndALaterLauncherStartsTheModuleOncePgpIsThere) {
  WorkspaceOptions options = Session::QuickOptions();
  options.withPgp = false;
  Session s(options);
  s.quillnet.StartLauncher();
  s.quillnet.WaitForClient();

  const auto box = WaitForBox(TextMatch::Exact("Quillnet"), s.quillnet.client().id(), 20000);
  ASSERT_TRUE(box) << "no message about PGP";
  const std::string dir = s.workspace.pgpDirectory() + "\\";
  EXPECT_EQ(box->text, "PGP not found. Tried these files:\n" + dir + "pgp.pif\n" + dir +
                           "pgp.exe\npgp.pif\npgp.exe");
  uidrive::Answer(*box, "OK");

  const std::optional<DWORD> code = s.quillnet.launcher().WaitForExit(15000);
  ASSERT_TRUE(code) << "the launcher did not end by itself";
  EXPECT_EQ(*code, 0u);
  EXPECT_TRUE(s.quillnet.ClientAnswers());
  const std::optional<ModuleItems> items = ReadModuleItems(s.quillnet.main());
  ASSERT_TRUE(items);
  EXPECT_FALSE(items->any());
  EXPECT_EQ(Button(s.quillnet.main()), nullptr);

  ASSERT_TRUE(CopyFileA((uidrive::ExecutableDirectory() + "pgp.exe").c_str(),
                        (s.workspace.pgpDirectory() + "\\pgp.exe").c_str(), FALSE));
  const HWND main = s.quillnet.main();
  ASSERT_TRUE(ModuleSettlesAgain(s, main, 20000));
  EXPECT_TRUE(NoQuillnetBoxOpen());
  EXPECT_EQ(ClientWindows(), std::vector<HWND>{main});
  EXPECT_TRUE(s.quillnet.launcher().Running());
}

struct LeftoverCase {
  const char* name;
  const char* answer;
  bool moduleStarts;
};

class LeftoverTest : public StartTest, public ::testing::WithParamInterface<LeftoverCase> {};

TEST_P(LeftoverTest, LeftoverTemporaryFilesAreAskedAbout) {
  const LeftoverCase c = GetParam();
  Session s;
  const std::string asc = s.workspace.temp() + "\\quillnet.asc";
  const std::string base = s.workspace.temp() + "\\quillnet";
  WriteFile(asc, "left from an earlier run (armoured)\r\n");
  WriteFile(base, "left from an earlier run (plain)\r\n");

  s.quillnet.StartLauncher();
  s.quillnet.WaitForClient();
  const auto box = WaitForBox(TextMatch::Exact("Quillnet"), s.quillnet.client().id(), 20000);
  ASSERT_TRUE(box) << "no question about the leftovers";
  EXPECT_EQ(box->text.rfind("Quillnet will overwrite this/these file(s): \n", 0), 0u) << box->text;
  EXPECT_TRUE(Contains(box->text, asc)) << box->text;
  EXPECT_TRUE(Contains(box->text, base)) << box->text;
  uidrive::Answer(*box, c.answer);

  if (c.moduleStarts) {
    EXPECT_TRUE(s.quillnet.WaitForModule());
    EXPECT_TRUE(s.workspace.TempFiles().empty());
    EXPECT_TRUE(s.quillnet.launcher().Running());
    return;
  }
  const std::optional<DWORD> code = s.quillnet.launcher().WaitForExit(15000);
  ASSERT_TRUE(code) << "the launcher did not end by itself";
  EXPECT_EQ(*code, 0u);
  EXPECT_EQ(ReadFile(asc), "left from an earlier run (armoured)\r\n");
  EXPECT_EQ(ReadFile(base), "left from an earlier run (plain)\r\n");
  EXPECT_TRUE(s.quillnet.ClientAnswers());
  const std::optional<ModuleItems> items = ReadModuleItems(s.quillnet.main());
  ASSERT_TRUE(items);
  EXPECT_FALSE(items->any());
}

INSTANTIATE_TEST_SUITE_P(Answers, LeftoverTest,
                         ::testing::Values(LeftoverCase{"CancelKeepsThemAndStops", "Cancel", false},
                                           LeftoverCase{"OkWipesThemAndStarts", "OK", true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(StartTest, ExitItemTakesTheModuleOutAndEndsTheLauncher) {
  Session s;
  s.quillnet.Start();
  const HWND main = s.quillnet.main();
  ASSERT_TRUE(WaitUntil([&] { return Button(main) != nullptr; }, 10000));
  const HWND button = Button(main);

  uidrive::PostCommand(main, kIdmExitExtension);
  const std::optional<DWORD> code = s.quillnet.launcher().WaitForExit(15000);
  ASSERT_TRUE(code) << "the launcher did not end";
  EXPECT_EQ(*code, 0u);

  const std::optional<ModuleItems> items = ReadModuleItems(main);
  ASSERT_TRUE(items);
  EXPECT_FALSE(items->any());
  EXPECT_FALSE(IsWindow(button));
  EXPECT_EQ(Button(main), nullptr);
  EXPECT_TRUE(s.quillnet.ClientAnswers());
  EXPECT_TRUE(s.workspace.TempFiles().empty());

  // The client's own procedure is back: the module's command is nobody's now.
  s.quillnet.mail().OpenFile(s.workspace.mailFile("01-encrypted.msg"));
  s.quillnet.mail().FocusField("view");
  uidrive::PostCommand(main, kIdmRunPgp);
  EXPECT_FALSE(WaitForBox(TextMatch::Prefix(" PGP - "), s.quillnet.client().id(), 1500));
  EXPECT_TRUE(s.quillnet.ClientAnswers());
}

// The user takes the module out, then wants it back in the same client.
TEST_F(StartTest, LauncherStartedAgainAfterTheExitSettlesInTheSameClient) {
  Session s;
  s.quillnet.Start();
  const HWND main = s.quillnet.main();
  uidrive::PostCommand(main, kIdmExitExtension);
  ASSERT_TRUE(s.quillnet.launcher().WaitForExit(15000));
  ASSERT_FALSE(ReadModuleItems(main)->any());

  // Taken for a second launcher, the new one would end at once.
  ASSERT_TRUE(ModuleSettlesAgain(s, main, 15000));
  EXPECT_TRUE(WaitUntil([&] { return Button(main) != nullptr; }, 10000));
  EXPECT_TRUE(NoQuillnetBoxOpen());
  EXPECT_EQ(ClientWindows(), std::vector<HWND>{main});
  EXPECT_TRUE(s.quillnet.launcher().Running());
}

TEST_F(StartTest, ClosingTheClientEndsTheModuleThenTheClientAndTheLauncher) {
  Session s;
  s.quillnet.Start();
  uidrive::PostClose(s.quillnet.main());

  const std::optional<DWORD> launcherCode = s.quillnet.launcher().WaitForExit(15000);
  ASSERT_TRUE(launcherCode) << "the launcher did not end";
  EXPECT_EQ(*launcherCode, 0u);
  const std::optional<DWORD> clientCode = s.quillnet.client().WaitForExit(15000);
  ASSERT_TRUE(clientCode) << "the client did not close";
  EXPECT_EQ(*clientCode, 0u);
  EXPECT_TRUE(NoQuillnetBoxOpen());
  EXPECT_TRUE(s.workspace.TempFiles().empty());
}

}  // namespace
}  // namespace e2e
