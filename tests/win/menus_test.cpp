// The module's menu items on menu bars of every shape the client might
// have, the routing of the replaced main-window procedure, and the way out:
// what reaches the client's own procedure is counted, so a command that is
// swallowed or leaked shows up as a wrong count.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "command/text_capture_win.h"
#include "core/module_win.h"
#include "core/shared_state_win.h"
#include "core/window_procedure_win.h"
#include "host/fonts_win.h"
#include "host/menus_win.h"
#include "host/toolbar_button_win.h"
#include "runner/temp_files_win.h"
#include "settings/settings_file_win.h"
#include "tests/win/support/dialog_answerer.h"
#include "tests/win/support/test_state.h"

namespace {

// ---- Menu bars -------------------------------------------------------------

constexpr UINT kSeparator = 0;

struct Popup {
  std::string text;
  std::vector<UINT> ids;  // kSeparator for a separator
  bool popup = true;      // false: a plain command on the bar, id ids[0]
};

HMENU BuildBar(const std::vector<Popup>& popups) {
  HMENU bar = CreateMenu();
  for (const Popup& p : popups) {
    if (!p.popup) {
      AppendMenuA(bar, MF_STRING, p.ids.empty() ? 1 : p.ids[0], p.text.c_str());
      continue;
    }
    HMENU menu = CreatePopupMenu();
    for (UINT id : p.ids) {
      if (id == kSeparator) {
        AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
      } else {
        const std::string text = "item " + std::to_string(id);
        AppendMenuA(menu, MF_STRING, id, text.c_str());
      }
    }
    AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(menu), p.text.c_str());
  }
  return bar;
}

struct Item {
  UINT id;
  bool separator;
  std::string text;
};

std::vector<Item> Items(HMENU menu) {
  std::vector<Item> items;
  const int count = GetMenuItemCount(menu);
  for (int i = 0; i < count; ++i) {
    char text[256] = "";
    MENUITEMINFOA info{};
    info.cbSize = sizeof info;
    info.fMask = MIIM_ID | MIIM_FTYPE | MIIM_STRING;
    info.dwTypeData = text;
    info.cch = sizeof text;
    GetMenuItemInfoA(menu, static_cast<UINT>(i), TRUE, &info);
    items.push_back({info.wID, (info.fType & MFT_SEPARATOR) != 0, text});
  }
  return items;
}

int PositionOf(HMENU menu, UINT id) {
  const std::vector<Item> items = Items(menu);
  for (size_t i = 0; i < items.size(); ++i)
    if (!items[i].separator && items[i].id == id) return static_cast<int>(i);
  return -1;
}

bool HasCommand(HMENU menu, UINT id) {
  return GetMenuState(menu, id, MF_BYCOMMAND) != static_cast<UINT>(-1);
}

bool Greyed(HMENU menu, UINT id) {
  return (GetMenuState(menu, id, MF_BYCOMMAND) & (MF_GRAYED | MF_DISABLED)) != 0;
}

// Popups as Eudora has them, its standard command ids included.
const Popup kFile{"&File", {0xE100, 0xE101, kSeparator, 0xE141}};
const Popup kEdit{"&Edit", {0xE12B, kSeparator, 0xE123, 0xE122, 0xE125, 0xE12A, 0x8061, 0x8062}};
const Popup kMailbox{"Mail&box", {0x8030}};
const Popup kMessage{"&Message", {0x801D, 0x801E}};
const Popup kTransfer{"&Transfer", {0x8040}};
const Popup kSpecial{"&Special", {0x8050}};
const Popup kWindow{"&Window", {0xE130}};
const Popup kHelp{"&Help", {0xE142, 0xE143}};

std::vector<Popup> EudoraBar() {
  return {kFile, kEdit, kMailbox, kMessage, kTransfer, kSpecial, kWindow, kHelp};
}

std::vector<Popup> EudoraBarWithEdit(std::vector<UINT> editIds) {
  std::vector<Popup> bar = EudoraBar();
  bar[1].ids = std::move(editIds);
  return bar;
}

// ---- The client's main window ----------------------------------------------

struct Received {
  UINT message;
  WPARAM wParam;
  bool extensionLeft;  // whether the module had already left when it arrived
};
std::vector<Received> received;

constexpr UINT kProbe = WM_USER + 7;
constexpr LRESULT kProbeAnswer = 4242;

// Eudora's own procedure as far as the module can tell: it records what
// reaches it and, like the client's framework, greys every item of a popup
// it opens that it has no handler for (here: all of them).
LRESULT CALLBACK ClientProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  received.push_back({message, wParam, extension.ExtensionLeft});
  if (message == kProbe) return kProbeAnswer;
  if (message == WM_INITMENUPOPUP) {
    HMENU popup = reinterpret_cast<HMENU>(wParam);
    for (int i = 0; i < GetMenuItemCount(popup); ++i)
      EnableMenuItem(popup, static_cast<UINT>(i), MF_BYPOSITION | MF_GRAYED);
    return 0;
  }
  if (message == WM_CLOSE) return 0;  // counted; the test decides on closing
  return DefWindowProcA(window, message, wParam, lParam);
}

int ReceivedCount(UINT message) {
  int n = 0;
  for (const Received& r : received) n += r.message == message;
  return n;
}

int ReceivedCommands(UINT id) {
  int n = 0;
  for (const Received& r : received) n += r.message == WM_COMMAND && LOWORD(r.wParam) == id;
  return n;
}

HWND MakeClientWindow(HMENU bar) {
  static bool registered = false;
  if (!registered) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = ClientProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = "ql_menus_client";
    registered = RegisterClassA(&wc) != 0;
  }
  return CreateWindowExA(0, "ql_menus_client", "Client", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN,
                         60, 60, 700, 300, nullptr, bar, GetModuleHandleA(nullptr), nullptr);
}

// Removes the WM_COMMANDs with this id that were posted to the window and
// says how many there were.
int TakePosted(HWND window, UINT id) {
  int n = 0;
  MSG msg;
  std::vector<MSG> others;
  while (PeekMessageA(&msg, window, WM_COMMAND, WM_COMMAND, PM_REMOVE)) {
    if (LOWORD(msg.wParam) == id) {
      ++n;
    } else {
      others.push_back(msg);
    }
  }
  for (const MSG& m : others) PostMessageA(m.hwnd, m.message, m.wParam, m.lParam);
  return n;
}

void Pump() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

void ResetModule() {
  extension.FileMenu = extension.HelpMenu = extension.MessageMenu = nullptr;
  extension.MainWindowProc = nullptr;
  extension.CloseAfterExit = 0;
  extension.ExitPending = false;
  extension.ExtensionLeft = false;
  extension.ToolBarWindow = nullptr;
  extension.ToolBarProc = nullptr;
  extension.ButtonPressed = 0;
  extension.AddButtonLock = 0;
  extension.RetryNotBefore = 0;
  ResetTestState(runState, extension);
  extension.SelectAllNext1 = extension.SelectAllNext2 = 0;
  extension.Settings.UseToolBar = 0;
  extension.Settings.NickNames = 1;
  extension.Settings.ButtonPos = 0;
  extension.SettingsAtStart.ButtonPos = 0;
  extension.SettingsPath[0] = '\0';
  extension.TempAscName[0] = extension.TempBaseName[0] = '\0';
  sharedState.unhooked = 0;
  sharedState.launcherThreadId = 0;
  sharedState.launcherProcessId = GetCurrentProcessId();
  received.clear();
}

class ClientFixture : public testing::Test {
 protected:
  void SetUp() override { ResetModule(); }
  void TearDown() override {
    if (client != nullptr && IsWindow(client)) {
      extension.ExtensionLeft = true;  // a leftover MainWindowSubclassProc must not run the exit now
      DestroyWindow(client);
    }
    Pump();
    sharedState.clientMainWindow = nullptr;
    DeleteFonts(extension);
    ResetModule();
  }

  void Open(const std::vector<Popup>& bar) {
    menuBar = BuildBar(bar);
    client = MakeClientWindow(menuBar);
    sharedState.clientMainWindow = client;
  }

  // What the hook's initialisation does before it sets the menus up.
  void Subclass() {
    extension.MainWindowProc = ReplaceWindowProc(client, MainWindowSubclassProc);
  }

  HMENU PopupAt(int position) const { return GetSubMenu(menuBar, position); }

  HWND client = nullptr;
  HMENU menuBar = nullptr;
};

// ---- Finding the menus ---------------------------------------------------

struct SetupRow {
  const char* name;
  std::vector<Popup> bar;
  int file;
  int help;
  int message;
  uint32_t next1;
  uint32_t next2;
  int32_t nickNames;  // after SetupMenus, starting from 1
};

const uint32_t kNone = 0xFFFFFFFF;  // the id the menu reports past its end

std::vector<SetupRow> SetupRows() {
  return {
      {"EudoraBar", EudoraBar(), 0, 7, 3, 0x8061, 0x8062, 1},
      {"MessageByTextLowestWins",
       {kFile, kEdit, {"&Message", {9001}}, {"X", {9002}}, {"Y", {9003}}, {"&Message", {9004}},
        kHelp},
       0, 6, 2, 0x8061, 0x8062, 1},
      {"MessageTextIsCaseSensitive",
       {kFile, kEdit, {"&message", {9001}}, {"Other", {9002}}, {"More", {9003}}, kHelp},
       0, 5, 3, 0x8061, 0x8062, 1},
      {"EmptyTextSkippedEvenWithMatchingId",
       {{"", {0xE100, 0xE141}}, {"", {0x801D}}, {"&File", {9000, 0xE141}}, kEdit,
        {"&Message", {9001}}, {"&Help", {9002}}},
       2, 5, 4, 0x8061, 0x8062, 1},
      {"HelpByIdOnly",
       {kFile, kEdit, {"X", {9001}}, kMessage, {"Hilfe", {0xE142}}, {"Extras", {9005}}},
       0, 4, 3, 0x8061, 0x8062, 1},
      {"FileByMaskedId", {{"Datei", {0xE110, 0xE141}}, kEdit, kMailbox, kMessage, kHelp}, 0, 4,
       3, 0x8061, 0x8062, 1},
      {"NothingRecognisedFallsBack",
       {{"A", {9001}}, {"B", {9002, 0xE141}}, {"C", {0xE12A, 7001, 7002}}, {"D", {9004}},
        {"E", {9005}}},
       1, 4, 3, 7001, 7002, 1},
      {"SelectAllLast", EudoraBarWithEdit({0xE12B, 0xE12A}), 0, 7, 3, kNone, kNone, 1},
      {"SelectAllThenSeparator", EudoraBarWithEdit({0xE12A, kSeparator, 0x8062}), 0, 7, 3, 0,
       0x8062, 1},
      {"SelectAllThenOneItem", EudoraBarWithEdit({0xE12B, 0xE12A, 0x8061}), 0, 7, 3, 0x8061,
       kNone, 1},
      {"HighestSelectAllWins", EudoraBarWithEdit({0xE12A, 0x7001, 0x7002, 0xE12A, 0x8061, 0x8062}),
       0, 7, 3, 0x8061, 0x8062, 1},
      {"NoSelectAllSwitchesNickNamesOff", EudoraBarWithEdit({0xE12B, 0xE123}), 0, 7, 3, 0, 0, 0},
  };
}

class SetupMenusTest : public ClientFixture, public testing::WithParamInterface<SetupRow> {};

TEST_P(SetupMenusTest, ItemsGoWhereTheBarSays) {
  const SetupRow& row = GetParam();
  Open(row.bar);
  Subclass();
  ASSERT_EQ(SetupMenus(extension), 1);

  EXPECT_EQ(extension.FileMenu, PopupAt(row.file));
  EXPECT_EQ(extension.HelpMenu, PopupAt(row.help));
  EXPECT_EQ(extension.MessageMenu, PopupAt(row.message));

  const std::vector<Item> help = Items(extension.HelpMenu);
  ASSERT_GE(help.size(), 2u);
  EXPECT_TRUE(help[help.size() - 2].separator);
  EXPECT_EQ(help[help.size() - 2].id, IDM_HELP_SEPARATOR);
  EXPECT_EQ(help.back().id, IDM_ABOUT);
  EXPECT_EQ(help.back().text, "About &Quillnet...");

  const std::vector<Item> message = Items(extension.MessageMenu);
  ASSERT_GE(message.size(), 2u);
  EXPECT_TRUE(message[message.size() - 2].separator);
  EXPECT_EQ(message[message.size() - 2].id, IDM_MESSAGE_SEPARATOR);
  EXPECT_EQ(message.back().id, IDM_RUN_PGP);
  EXPECT_EQ(message.back().text, "R&un PGP...");

  const int exitAt = PositionOf(extension.FileMenu, IDM_EXIT_EXTENSION);
  ASSERT_GE(exitAt, 0);
  EXPECT_EQ(Items(extension.FileMenu)[exitAt].text, "&Exit PGP-extension");
  EXPECT_EQ(PositionOf(extension.FileMenu, kAppExitId), exitAt + 1);

  EXPECT_EQ(extension.SelectAllNext1, row.next1);
  EXPECT_EQ(extension.SelectAllNext2, row.next2);
  EXPECT_EQ(extension.Settings.NickNames, row.nickNames);
}

INSTANTIATE_TEST_SUITE_P(Bars, SetupMenusTest, testing::ValuesIn(SetupRows()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ClientFixture, ExitGoesJustBeforeTheClientsExitWhereverItStands) {
  Open({{"&File", {0xE100, 0xE101, kSeparator, 0xE141, kSeparator, 0xE110, 0xE111}}, kEdit,
        kMailbox, kMessage, kHelp});
  Subclass();
  ASSERT_EQ(SetupMenus(extension), 1);
  const std::vector<Item> file = Items(extension.FileMenu);
  ASSERT_EQ(file.size(), 8u);
  EXPECT_EQ(file[3].id, IDM_EXIT_EXTENSION);
  EXPECT_EQ(file[4].id, kAppExitId);
}

TEST_F(ClientFixture, WithoutTheClientsExitThereIsNoExitItemButTheRestIsThere) {
  Open({{"&File", {0xE100, 0xE101}}, kEdit, kMailbox, kMessage, kHelp});
  Subclass();
  EXPECT_EQ(SetupMenus(extension), 1);
  EXPECT_FALSE(HasCommand(menuBar, IDM_EXIT_EXTENSION));
  EXPECT_TRUE(HasCommand(extension.HelpMenu, IDM_ABOUT));
  EXPECT_TRUE(HasCommand(extension.MessageMenu, IDM_RUN_PGP));
}

TEST_F(ClientFixture, NoMenuBarAddsNothing) {
  client = MakeClientWindow(nullptr);
  sharedState.clientMainWindow = client;
  Subclass();
  EXPECT_EQ(SetupMenus(extension), 0);
  EXPECT_EQ(extension.FileMenu, nullptr);
  EXPECT_EQ(extension.HelpMenu, nullptr);
  EXPECT_EQ(extension.MessageMenu, nullptr);
}

TEST_F(ClientFixture, NoPopupAtTheMessageFallBackFailsButRecordsSelectAll) {
  Open({kFile, kEdit, kHelp});  // position 3 does not exist
  Subclass();
  EXPECT_EQ(SetupMenus(extension), 0);
  EXPECT_TRUE(HasCommand(extension.HelpMenu, IDM_ABOUT));
  EXPECT_FALSE(HasCommand(menuBar, IDM_RUN_PGP));
  EXPECT_EQ(extension.SelectAllNext1, 0x8061u);
  EXPECT_EQ(extension.SelectAllNext2, 0x8062u);
}

TEST_F(ClientFixture, LastItemNotAPopupStopsAtTheHelpItems) {
  Open({kFile, kEdit, kMailbox, kMessage, {"&Go", {9100}, false}});
  Subclass();
  extension.SelectAllNext1 = 77;
  const int messageItems = GetMenuItemCount(PopupAt(3));
  EXPECT_EQ(SetupMenus(extension), 0);
  EXPECT_TRUE(HasCommand(extension.FileMenu, IDM_EXIT_EXTENSION));  // what was added stays
  EXPECT_EQ(GetMenuItemCount(PopupAt(3)), messageItems);  // the rest was not tried
  EXPECT_EQ(extension.SelectAllNext1, 77u);
}

// ---- The main-window procedure -------------------------------------------

class ProcedureTest : public ClientFixture {
 protected:
  void SetUp() override {
    ClientFixture::SetUp();
    Open(EudoraBar());
    Subclass();
    ASSERT_EQ(SetupMenus(extension), 1);
    received.clear();
  }
};

struct RouteRow {
  const char* name;
  UINT message;
  WPARAM wParam;
  bool reachesClient;
};

class RoutingTest : public ProcedureTest, public testing::WithParamInterface<RouteRow> {};

TEST_P(RoutingTest, ConsumedOrPassedOn) {
  const RouteRow& row = GetParam();
  const LRESULT result = SendMessageA(client, row.message, row.wParam, 0);
  int reached = 0;
  for (const Received& r : received)
    reached += r.message == row.message && r.wParam == row.wParam;
  EXPECT_EQ(reached, row.reachesClient ? 1 : 0);
  if (!row.reachesClient) {
    EXPECT_EQ(result, 0);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, RoutingTest,
    testing::Values(RouteRow{"ClientCommand", WM_COMMAND, 0xE100, true},
                    RouteRow{"UndoWhileNotArmed", WM_COMMAND, kUndoId, true},
                    RouteRow{"AddButton", WM_COMMAND, IDM_ADD_BUTTON, false},
                    RouteRow{"AddButtonWithNotificationCode", WM_COMMAND,
                             MAKEWPARAM(IDM_ADD_BUTTON, 1), false},
                    RouteRow{"SeparatorIdIsNoCommand", WM_COMMAND, IDM_HELP_SEPARATOR, true},
                    RouteRow{"EnterMenuLoop", WM_ENTERMENULOOP, 0, true},
                    RouteRow{"Activate", WM_ACTIVATE, WA_INACTIVE, true},
                    RouteRow{"Close", WM_CLOSE, 0, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ProcedureTest, PassedOnMessagesReturnTheClientsResult) {
  EXPECT_EQ(SendMessageA(client, kProbe, 0, 0), kProbeAnswer);
}

TEST_F(ProcedureTest, AboutOpensDialog2200AndIsConsumed) {
  DialogAnswerer answerer({{"About Quillnet", IDOK}});
  EXPECT_EQ(SendMessageA(client, WM_COMMAND, IDM_ABOUT, 0), 0);
  ASSERT_EQ(answerer.Seen().size(), 1u);
  EXPECT_EQ(ReceivedCommands(IDM_ABOUT), 0);
}

TEST_F(ProcedureTest, ArmedUndoGoesToTheModuleNotTheClient) {
  extension.UndoArmed = 1;  // with no source window the swap fails visibly
  DialogAnswerer answerer({{"UNDO", IDOK}});
  SendMessageA(client, WM_COMMAND, kUndoId, 0);
  EXPECT_EQ(ReceivedCommands(kUndoId), 0);
  ASSERT_EQ(answerer.Seen().size(), 1u);
}

TEST_F(ProcedureTest, RunPgpRunsTheCommandAndIsConsumed) {
  SetFocus(nullptr);  // nothing to take the text from: the command says so
  DialogAnswerer answerer({{"", IDOK}});
  SendMessageA(client, WM_COMMAND, IDM_RUN_PGP, 0);
  EXPECT_EQ(ReceivedCommands(IDM_RUN_PGP), 0);
  EXPECT_EQ(answerer.Seen().size(), 1u);
  EXPECT_EQ(extension.RunInProgress, 0);
}

TEST_F(ProcedureTest, CloseIsHeldBackAndTheExitPosted) {
  EXPECT_EQ(SendMessageA(client, WM_CLOSE, 0, 0), 0);
  EXPECT_EQ(ReceivedCount(WM_CLOSE), 0);
  EXPECT_EQ(extension.CloseAfterExit, 1);
  EXPECT_EQ(TakePosted(client, IDM_EXIT_EXTENSION), 1);
}

struct TailRow {
  const char* name;
  UINT message;
  WPARAM wParam;
  int32_t useToolBar;
  bool buttonPresent;
  UINT lock;
  bool posted;
};

class TailTest : public ProcedureTest, public testing::WithParamInterface<TailRow> {};

TEST_P(TailTest, AttemptPostedOnlyOnActivationOrMenuWhileNoButton) {
  const TailRow& row = GetParam();
  extension.Settings.UseToolBar = row.useToolBar;
  extension.ToolBarWindow = row.buttonPresent ? client : nullptr;
  extension.AddButtonLock = row.lock;
  SendMessageA(client, row.message, row.wParam, 0);
  // The default handling of an activation may activate once more, which
  // rightly asks again; what matters is whether any attempt was posted.
  EXPECT_EQ(TakePosted(client, IDM_ADD_BUTTON) > 0, row.posted);
  extension.ToolBarWindow = nullptr;
}

INSTANTIATE_TEST_SUITE_P(
    Table, TailTest,
    testing::Values(TailRow{"Activated", WM_ACTIVATE, WA_ACTIVE, 1, false, 0, true},
                    TailRow{"ActivatedByClick", WM_ACTIVATE, WA_CLICKACTIVE, 1, false, 0, true},
                    TailRow{"Deactivated", WM_ACTIVATE, WA_INACTIVE, 1, false, 0, false},
                    TailRow{"MenuOpened", WM_ENTERMENULOOP, 0, 1, false, 0, true},
                    TailRow{"OtherMessage", WM_SIZE, 0, 1, false, 0, false},
                    TailRow{"OtherCommand", WM_COMMAND, 0xE100, 1, false, 0, false},
                    TailRow{"NoToolBarWanted", WM_ACTIVATE, WA_ACTIVE, 0, false, 0, false},
                    TailRow{"AnyNonZeroSettingPosts", WM_ACTIVATE, WA_ACTIVE, 2, false, 0, true},
                    TailRow{"ButtonPresent", WM_ENTERMENULOOP, 0, 1, true, 0, false},
                    TailRow{"LockRaised", WM_ENTERMENULOOP, 0, 1, false, 1, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ProcedureTest, AttemptIgnoredWhileMinimisedAndPostedAgainOnActivation) {
  ShowWindow(client, SW_MINIMIZE);
  Pump();
  ASSERT_TRUE(IsIconic(client));
  extension.Settings.UseToolBar = 1;
  {
    DialogAnswerer answerer(std::vector<DialogAnswer>{});
    SendMessageA(client, WM_COMMAND, IDM_ADD_BUTTON, 0);
    EXPECT_TRUE(answerer.Seen().empty());  // no attempt, so no question
  }
  extension.Settings.UseToolBar = 0;
  ShowWindow(client, SW_RESTORE);
  Pump();
  extension.Settings.UseToolBar = 1;
  SendMessageA(client, WM_ACTIVATE, WA_ACTIVE, 0);
  EXPECT_GE(TakePosted(client, IDM_ADD_BUTTON), 1);
}

TEST_F(ProcedureTest, AttemptWithSettingWithoutLowestBitDoesNothing) {
  extension.Settings.UseToolBar = 2;
  DialogAnswerer answerer(std::vector<DialogAnswer>{});
  SendMessageA(client, WM_COMMAND, IDM_ADD_BUTTON, 0);
  EXPECT_TRUE(answerer.Seen().empty());
}

TEST_F(ProcedureTest, LockHeldWhileTheQuestionIsOpenAndNoAttemptPostedMeanwhile) {
  extension.Settings.UseToolBar = 1;  // the client has no toolbar: the question comes
  std::atomic<UINT> lockDuringQuestion{0};
  DialogAnswerer answerer({{"Quillnet", [&](HWND box) {
                              lockDuringQuestion = extension.AddButtonLock;
                              // A reactivation while the box is open.
                              SendMessageA(client, WM_ACTIVATE, WA_ACTIVE, 0);
                              PressButton(box, IDRETRY);
                            }}});
  SendMessageA(client, WM_COMMAND, IDM_ADD_BUTTON, 0);
  EXPECT_EQ(lockDuringQuestion, 1u);
  EXPECT_EQ(extension.AddButtonLock, 0u);
  EXPECT_EQ(TakePosted(client, IDM_ADD_BUTTON), 0);
  ASSERT_EQ(answerer.Seen().size(), 1u);
}

TEST_F(ProcedureTest, CancelOnTheQuestionStopsAttemptsForGood) {
  extension.Settings.UseToolBar = 1;  // the client has no toolbar: the question comes
  DialogAnswerer answerer({{"Quillnet", IDCANCEL}});
  SendMessageA(client, WM_COMMAND, IDM_ADD_BUTTON, 0);
  EXPECT_EQ(extension.AddButtonLock, 1u);
  extension.RetryNotBefore = 0;  // not the one-second wait that keeps it quiet
  SendMessageA(client, WM_COMMAND, IDM_ADD_BUTTON, 0);
  SendMessageA(client, WM_ACTIVATE, WA_ACTIVE, 0);
  EXPECT_EQ(TakePosted(client, IDM_ADD_BUTTON), 0);
  EXPECT_EQ(answerer.Seen().size(), 1u);
}

struct EnableRow {
  const char* name;
  LONG runInProgress;
  bool runPgpGreyed;
};

class EnableTest : public ProcedureTest, public testing::WithParamInterface<EnableRow> {};

TEST_P(EnableTest, ItemsEnabledAgainAfterTheClientGreysThem) {
  extension.RunInProgress = GetParam().runInProgress;
  for (HMENU popup : {extension.FileMenu, extension.HelpMenu, extension.MessageMenu})
    SendMessageA(client, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(popup), 0);
  EXPECT_FALSE(Greyed(extension.FileMenu, IDM_EXIT_EXTENSION));
  EXPECT_FALSE(Greyed(extension.HelpMenu, IDM_ABOUT));
  EXPECT_EQ(Greyed(extension.MessageMenu, IDM_RUN_PGP), GetParam().runPgpGreyed);
  EXPECT_TRUE(Greyed(extension.FileMenu, kAppExitId));  // the client's own stay its business
  extension.RunInProgress = 0;
}

INSTANTIATE_TEST_SUITE_P(Table, EnableTest,
                         testing::Values(EnableRow{"Idle", 0, false},
                                         EnableRow{"DuringARun", 1, true},
                                         EnableRow{"DuringANestedRun", 2, true}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- Leaving -------------------------------------------------------------

// Stands in for the launcher: a thread with a message queue that ends on
// WM_QUIT, lets the test look at the client's state at that moment, and
// then sets `unhooked` as the launcher does after removing its hook.
class Launcher {
 public:
  explicit Launcher(std::function<void()> onQuit = {}) : onQuit_(std::move(onQuit)) {
    HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    thread_ = std::thread([this, ready] {
      MSG msg;
      PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);  // the queue exists from here
      id_ = GetCurrentThreadId();
      SetEvent(ready);
      while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
      }
      quitSeen_ = true;
      if (onQuit_) onQuit_();
      // Late enough that an exit that does not wait would be caught.
      Sleep(200);
      sharedState.unhooked = 1;
    });
    WaitForSingleObject(ready, 5000);
    CloseHandle(ready);
    sharedState.launcherThreadId = id_;
  }
  ~Launcher() {
    if (!quitSeen_) PostThreadMessageA(id_, WM_QUIT, 0, 0);
    thread_.join();
  }
  bool QuitSeen() const { return quitSeen_; }

 private:
  std::function<void()> onQuit_;
  std::atomic<DWORD> id_{0};
  std::atomic<bool> quitSeen_{false};
  std::thread thread_;
};

std::string TempPath(const char* name) {
  char dir[MAX_PATH];
  GetTempPathA(sizeof dir, dir);
  return std::string(dir) + name;
}

void WriteText(const std::string& path, const char* text) {
  HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD written = 0;
  ::WriteFile(f, text, static_cast<DWORD>(std::strlen(text)), &written, nullptr);
  CloseHandle(f);
}

bool Exists(const char* path) { return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES; }

LRESULT CALLBACK PlainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcA(window, message, wParam, lParam);
}

void EnsureToolBarClass() {
  WNDCLASSA existing;
  if (GetClassInfoA(GetModuleHandleA(nullptr), kToolBarClassName, &existing)) return;
  WNDCLASSA wc{};
  wc.lpfnWndProc = PlainProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = kToolBarClassName;
  RegisterClassA(&wc);
}

class ExitTest : public ProcedureTest {
 protected:
  void SetUp() override {
    ProcedureTest::SetUp();
    EnsureToolBarClass();
    toolBar = CreateWindowExA(0, kToolBarClassName, "", WS_CHILD | WS_VISIBLE, 0, 0, 600, 30,
                              client, nullptr, GetModuleHandleA(nullptr), nullptr);
    toolBarOwnProc = WindowProcOf(toolBar);
    extension.Settings.UseToolBar = 1;
    SendMessageA(client, WM_COMMAND, IDM_ADD_BUTTON, 0);
    button = GetDlgItem(toolBar, IDC_PGP_BUTTON);
    ASSERT_NE(button, nullptr);

    source = CreateWindowExA(0, "Edit", "text", WS_CHILD | WS_VISIBLE, 0, 40, 200, 20, client,
                             nullptr, GetModuleHandleA(nullptr), nullptr);
    sourceOwnProc = WindowProcOf(source);
    extension.sourceWindowProc = ReplaceWindowProc(source, SourceWindowSubclassProc);
    extension.sourceWindow = source;
    extension.UndoArmed = 1;
    extension.textHandle = GlobalAlloc(GMEM_MOVEABLE, 16);

    ASSERT_TRUE(CreateFonts(extension));
    extension.Settings.ProgPGP = CopySettingText("C:\\pgp\\pgp.exe");

    asc = TempPath("ql_hostwin_exit.asc");
    base = TempPath("ql_hostwin_exit");
    WriteText(asc, "-----BEGIN PGP MESSAGE-----");
    WriteText(base, "plain");
    std::strcpy(extension.TempAscName, asc.c_str());
    std::strcpy(extension.TempBaseName, base.c_str());

    ini = TempPath("ql_hostwin_exit.ini");
    DeleteFileA(ini.c_str());
    std::strcpy(extension.SettingsPath, ini.c_str());
  }
  void TearDown() override {
    DeleteFileA(asc.c_str());
    DeleteFileA(base.c_str());
    DeleteFileA(ini.c_str());
    UnregisterClassA(kButtonClassName, moduleInstance);
    ProcedureTest::TearDown();
  }

  int SavedButtonPos() {
    return static_cast<int>(GetPrivateProfileIntA("Settings", "ButtonPos", -7, ini.c_str()));
  }

  HWND toolBar = nullptr;
  WNDPROC toolBarOwnProc = nullptr;
  HWND button = nullptr;
  HWND source = nullptr;
  WNDPROC sourceOwnProc = nullptr;
  std::string asc, base, ini;
};

TEST_F(ExitTest, StepsRunInOrderAndUndoEverything) {
  extension.Settings.ButtonPos = 0;
  extension.SettingsAtStart.ButtonPos = 700;  // the first size change gave it up
  struct AtQuit {
    bool itemsGone, buttonGone, toolBarRestored, sourceRestored, fontsGone, textFreed;
    bool stillSubclassed, laterStepsDone;
  } atQuit{};
  HWND c = client;
  Launcher launcher([&] {
    atQuit.itemsGone = !HasCommand(extension.FileMenu, IDM_EXIT_EXTENSION) &&
                       !HasCommand(extension.HelpMenu, IDM_HELP_SEPARATOR) &&
                       !HasCommand(extension.HelpMenu, IDM_ABOUT) &&
                       !HasCommand(extension.MessageMenu, IDM_MESSAGE_SEPARATOR) &&
                       !HasCommand(extension.MessageMenu, IDM_RUN_PGP);
    atQuit.buttonGone = !IsWindow(button);
    atQuit.toolBarRestored =
        WindowProcIs(toolBar, toolBarOwnProc);
    atQuit.sourceRestored =
        WindowProcIs(source, sourceOwnProc);
    atQuit.fontsGone = extension.TextFont == nullptr && extension.SmallFont == nullptr;
    atQuit.textFreed = extension.textHandle == nullptr;
    // Restoring the main window and wiping come before the wait ends.
    for (int i = 0; i < 300 && !atQuit.laterStepsDone; ++i) {
      atQuit.laterStepsDone =
          WindowProcIs(c, extension.MainWindowProc) &&
          !Exists(asc.c_str()) && !Exists(base.c_str());
      if (!atQuit.laterStepsDone) Sleep(10);
    }
  });

  ExitExtension(extension, client);

  EXPECT_EQ(sharedState.unhooked, 1);  // returned only after the launcher let go
  EXPECT_TRUE(launcher.QuitSeen());
  EXPECT_TRUE(atQuit.itemsGone);
  EXPECT_TRUE(atQuit.buttonGone);
  EXPECT_TRUE(atQuit.toolBarRestored);
  EXPECT_TRUE(atQuit.sourceRestored);
  EXPECT_TRUE(atQuit.fontsGone);
  EXPECT_TRUE(atQuit.textFreed);
  EXPECT_TRUE(atQuit.laterStepsDone);

  EXPECT_EQ(extension.UndoArmed, 0);
  EXPECT_EQ(extension.Settings.ProgPGP, nullptr);
  WNDCLASSA buttonClass;
  EXPECT_FALSE(GetClassInfoA(moduleInstance, kButtonClassName, &buttonClass));
  EXPECT_EQ(SavedButtonPos(), 0);
  EXPECT_TRUE(extension.ExtensionLeft);
  MSG msg;
  EXPECT_FALSE(PeekMessageA(&msg, client, WM_CLOSE, WM_CLOSE, PM_NOREMOVE));  // no close asked
}

TEST_F(ExitTest, UnchangedButtonPosIsNotWritten) {
  extension.Settings.ButtonPos = 100;
  extension.SettingsAtStart.ButtonPos = 100;
  Launcher launcher;
  ExitExtension(extension, client);
  EXPECT_EQ(SavedButtonPos(), -7);
}

TEST_F(ExitTest, ProceduresReplacedByOthersAfterUsAreLeftAlone) {
  // Someone else subclassed all three after the module did.
  HWND windows[3] = {client, toolBar, source};
  for (HWND w : windows) ReplaceWindowProc(w, PlainProc);
  {
    Launcher launcher;
    ExitExtension(extension, client);
  }
  for (HWND w : windows)
    EXPECT_EQ(WindowProcOf(w), PlainProc);
  // Put the chain back the way the test found it, for the teardown.
  ReplaceWindowProc(client, extension.MainWindowProc);
  ReplaceWindowProc(source, sourceOwnProc);
}

TEST_F(ExitTest, CloseRequestLeavesFirstThenClosesOnce) {
  Launcher launcher;
  SendMessageA(client, WM_CLOSE, 0, 0);
  EXPECT_EQ(ReceivedCount(WM_CLOSE), 0);
  Pump();  // the posted exit runs; it posts the close again
  Pump();
  EXPECT_TRUE(launcher.QuitSeen());
  ASSERT_EQ(ReceivedCount(WM_CLOSE), 1);
  for (const Received& r : received) EXPECT_TRUE(r.message != WM_CLOSE || r.extensionLeft);
  EXPECT_EQ(WindowProcOf(client), extension.MainWindowProc);
}

TEST_F(ExitTest, DestroyLeavesBeforeTheClientSeesIt) {
  Launcher launcher;
  DestroyWindow(client);
  EXPECT_TRUE(launcher.QuitSeen());
  ASSERT_EQ(ReceivedCount(WM_DESTROY), 1);
  for (const Received& r : received) EXPECT_TRUE(r.message != WM_DESTROY || r.extensionLeft);
  client = nullptr;
}

TEST_F(ExitTest, ExitDuringARunWaitsForTheRunToEnd) {
  Launcher launcher;
  extension.RunInProgress = 1;  // the exit arrives inside a command's dialog
  SendMessageA(client, WM_COMMAND, IDM_EXIT_EXTENSION, 0);
  EXPECT_FALSE(extension.ExtensionLeft);
  EXPECT_TRUE(HasCommand(extension.MessageMenu, IDM_RUN_PGP));
  EXPECT_NE(extension.textHandle, nullptr);
  SendMessageA(client, kProbe, 0, 0);
  EXPECT_EQ(TakePosted(client, IDM_EXIT_EXTENSION), 0);  // still running

  extension.RunInProgress = 0;  // the command has ended
  SendMessageA(client, kProbe, 0, 0);
  Pump();
  EXPECT_TRUE(extension.ExtensionLeft);
  EXPECT_TRUE(launcher.QuitSeen());
  EXPECT_FALSE(HasCommand(extension.MessageMenu, IDM_RUN_PGP));
}

TEST_F(ExitTest, AfterTheExitRunPgpCanNoLongerBeChosenOrReached) {
  {
    Launcher launcher;
    SendMessageA(client, WM_COMMAND, IDM_EXIT_EXTENSION, 0);
  }
  EXPECT_FALSE(HasCommand(menuBar, IDM_RUN_PGP));
  received.clear();
  SendMessageA(client, WM_COMMAND, IDM_RUN_PGP, 0);
  EXPECT_EQ(ReceivedCommands(IDM_RUN_PGP), 1);  // the client's own procedure has it
}

// A launcher whose process has ended never sets `unhooked`.
class EndedLauncherTest : public ExitTest,
                          public testing::WithParamInterface<bool /*handle kept*/> {};

TEST_P(EndedLauncherTest, ExitStopsWaiting) {
  char self[MAX_PATH];
  GetModuleFileNameA(nullptr, self, sizeof self);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  ASSERT_TRUE(CreateProcessA(self, nullptr, nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr,
                             nullptr, &startup, &process));
  TerminateProcess(process.hProcess, 0);
  WaitForSingleObject(process.hProcess, 5000);
  CloseHandle(process.hThread);
  if (!GetParam()) CloseHandle(process.hProcess);  // the id then names no process
  sharedState.launcherProcessId = process.dwProcessId;

  // Ends a wait that would otherwise never end, so a fault fails instead of hanging.
  std::atomic<bool> rescued{false};
  std::atomic<bool> done{false};
  std::thread watchdog([&] {
    for (int i = 0; i < 100 && !done; ++i) Sleep(50);
    if (!done) {
      rescued = true;
      sharedState.unhooked = 1;
    }
  });
  ExitExtension(extension, client);
  done = true;
  watchdog.join();
  if (GetParam()) CloseHandle(process.hProcess);
  EXPECT_FALSE(rescued);
  EXPECT_EQ(sharedState.unhooked, 0);
}

INSTANTIATE_TEST_SUITE_P(Launcher, EndedLauncherTest, testing::Values(true, false),
                         [](const auto& info) {
                           return std::string(info.param ? "HandleStillOpen" : "ProcessGone");
                         });

}  // namespace
