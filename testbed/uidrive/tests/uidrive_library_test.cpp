// The driver against a real other process: EUDORA.EXE for windows, texts,
// menus, focus, mouse and pictures, and a helper that shows a message box.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <thread>

#include "testbed/mailclient/tests/client_session.h"

namespace {

using uidrive::TextMatch;

class DriverTest : public testing::Test {
 protected:
  size_t OpenWindows() const { return session.mail().Call({"windows", {}}).All("window").size(); }
  HWND ToolBar() const {
    uidrive::WindowQuery q;
    q.parent = session.main();
    q.className = TextMatch::Exact("AfxControlBar");
    return uidrive::WaitForWindow(q, 1000);
  }

  ClientSession session;
};

// ---- finding -------------------------------------------------------------------

struct FindRow {
  TextMatch className;
  TextMatch title;
  bool found;
};

void PrintTo(const FindRow& r, std::ostream* out) {
  *out << "class " << r.className.Describe() << " title " << r.title.Describe();
}

class FindTest : public DriverTest, public testing::WithParamInterface<FindRow> {};

TEST_P(FindTest, MatchesClassAndTitleExactlyOrByPrefix) {
  uidrive::WindowQuery q;
  q.className = GetParam().className;
  q.title = GetParam().title;
  q.processId = session.process().id();
  if (GetParam().found) {
    EXPECT_EQ(uidrive::WaitForWindow(q, 2000), session.main());
  } else {
    EXPECT_THROW(uidrive::WaitForWindow(q, 200), uidrive::Failure);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Queries, FindTest,
    testing::Values(FindRow{TextMatch::Exact("EudoraMainWindow"), {}, true},
                    FindRow{TextMatch::Prefix("EudoraMain"), {}, true},
                    FindRow{{}, TextMatch::Exact("Eudora"), true},
                    FindRow{TextMatch::Exact("EudoraMainWindow"), TextMatch::Prefix("Eud"), true},
                    FindRow{TextMatch::Exact("EudoraMainWindo"), {}, false},
                    FindRow{{}, TextMatch::Exact("eudora"), false},
                    FindRow{TextMatch::Prefix("EudoraMainWindow!"), {}, false}));

TEST_F(DriverTest, WaitForWindowWaitsForAWindowThatComesLater) {
  uidrive::WindowQuery q;
  q.parent = uidrive::WaitForWindow({TextMatch::Exact("MDIClient"), {}, session.main()}, 1000);
  q.className = TextMatch::Prefix("Afx:");
  HWND main = session.main();
  std::thread later([main] {
    Sleep(400);
    PostMessageA(main, WM_COMMAND, 0xE100, 0);
  });
  DWORD start = GetTickCount();
  HWND frame = nullptr;
  EXPECT_NO_THROW(frame = uidrive::WaitForWindow(q, 5000));
  later.join();
  EXPECT_GE(GetTickCount() - start, 300u);
  EXPECT_TRUE(IsWindow(frame));
}

TEST_F(DriverTest, WaitForWindowGivesUpAfterItsTimeout) {
  uidrive::WindowQuery q;
  q.className = TextMatch::Exact("NoSuchClassAnywhere");
  DWORD start = GetTickCount();
  try {
    uidrive::WaitForWindow(q, 300);
    FAIL() << "found a window that does not exist";
  } catch (const uidrive::Failure& e) {
    EXPECT_NE(std::string(e.what()).find("NoSuchClassAnywhere"), std::string::npos);
  }
  DWORD elapsed = GetTickCount() - start;
  EXPECT_GE(elapsed, 300u);
  EXPECT_LT(elapsed, 3000u);
}

TEST_F(DriverTest, ChildrenComeInZOrderWithClassIdStyleAndText) {
  uidrive::MailClient::Composition c = session.mail().Compose({.to = "alice@example.org"});
  std::vector<uidrive::WindowInfo> kids = uidrive::Children(c.form);
  ASSERT_GE(kids.size(), 4u);
  EXPECT_EQ(kids[0].className, "Static");
  EXPECT_EQ(kids[0].text, "&To:");
  EXPECT_EQ(kids[1].handle, c.to);
  EXPECT_EQ(kids[1].id, IDC_FIELD_TO);
  EXPECT_EQ(kids[1].text, "alice@example.org");
  EXPECT_TRUE(kids[1].style & WS_CHILD);
  EXPECT_EQ(kids.back().handle, c.status);

  std::vector<uidrive::WindowInfo> all = uidrive::Children(session.main(), true);
  auto find = [&](HWND w) {
    return std::find_if(all.begin(), all.end(), [&](const uidrive::WindowInfo& i) { return i.handle == w; });
  };
  ASSERT_NE(find(c.form), all.end());
  ASSERT_NE(find(c.to), all.end());
  EXPECT_EQ(find(c.to)->depth, find(c.form)->depth + 1);
  EXPECT_EQ(all.front().className, "AfxControlBar");
  EXPECT_EQ(all.front().depth, 0);
}

// ---- menus ---------------------------------------------------------------------

uidrive::MenuItem ItemAt(const std::vector<uidrive::MenuItem>& items, const std::string& path) {
  for (const auto& i : items)
    if (i.path == path) return i;
  ADD_FAILURE() << "no menu item " << path;
  return {};
}

TEST_F(DriverTest, ReadsTheMailClientsMenuBarWithStates) {
  std::vector<uidrive::MenuItem> items = uidrive::MenuBar(session.main());
  EXPECT_TRUE(ItemAt(items, "0").popup);
  EXPECT_EQ(ItemAt(items, "0").text, "&File");
  EXPECT_EQ(ItemAt(items, "0.6").id, 0xE141u);
  EXPECT_EQ(ItemAt(items, "0.6").text, "E&xit");
  EXPECT_TRUE(ItemAt(items, "0.3").separator);
  EXPECT_TRUE(ItemAt(items, "4.0").grayed);
  EXPECT_FALSE(ItemAt(items, "3.0").grayed);
  EXPECT_EQ(ItemAt(items, "8.0").id, 0xE142u);
}

LRESULT CALLBACK PlainProc(HWND w, UINT m, WPARAM wp, LPARAM lp) { return DefWindowProcA(w, m, wp, lp); }

TEST(DriverMenus, ReadsAMenuOfItsOwnProcessDirectly) {
  WNDCLASSA wc{};
  wc.lpfnWndProc = PlainProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = "uidrive_menu_test";
  RegisterClassA(&wc);
  HMENU bar = CreateMenu();
  HMENU popup = CreatePopupMenu();
  AppendMenuA(popup, MF_STRING, 101, "&One");
  AppendMenuA(popup, MF_SEPARATOR, 0, nullptr);
  AppendMenuA(popup, MF_STRING | MF_GRAYED, 102, "&Two");
  AppendMenuA(popup, MF_STRING | MF_CHECKED | MF_DISABLED, 103, "T&hree");
  AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(popup), "&Top");
  UniqueWindow window(CreateWindowExA(0, wc.lpszClassName, "menu", WS_OVERLAPPEDWINDOW, 0, 0, 200,
                                      200, nullptr, bar, wc.hInstance, nullptr));
  ASSERT_TRUE(window);
  std::vector<uidrive::MenuItem> items = uidrive::MenuBar(window.get());
  ASSERT_EQ(items.size(), 5u);
  EXPECT_EQ(items[0].text, "&Top");
  EXPECT_EQ(items[1].path, "0.0");
  EXPECT_EQ(items[1].id, 101u);
  EXPECT_TRUE(items[2].separator);
  EXPECT_TRUE(items[3].grayed);
  EXPECT_FALSE(items[3].disabled);
  EXPECT_TRUE(items[4].disabled);
  EXPECT_TRUE(items[4].checked);
}

// ---- texts and focus ------------------------------------------------------------------

TEST_F(DriverTest, SetsAndReadsTextsOfAnotherProcess) {
  uidrive::MailClient::Composition c = session.mail().Compose({.to = "alice", .body = "old"});
  uidrive::SetText(c.to, "bob@example.net");
  EXPECT_EQ(session.mail().Text(nullptr, "to"), "bob@example.net");
  std::string big(1 << 20, 'q');
  for (size_t i = 70; i < big.size(); i += 72) big.replace(i, 2, "\r\n");
  uidrive::SetText(c.body, big);
  EXPECT_TRUE(uidrive::GetText(c.body) == big);
  EXPECT_EQ(uidrive::GetText(c.subject), "");
  EXPECT_THROW(uidrive::GetText(nullptr), uidrive::Failure);
}

TEST_F(DriverTest, FocusGoesToTheWindowOfTheOtherProcess) {
  uidrive::MailClient::Composition c = session.mail().Compose({.to = "alice", .body = "b"});
  for (auto [field, name] : {std::pair{c.subject, "subject"}, {c.body, "body"}, {c.to, "to"}}) {
    uidrive::Focus(field);
    EXPECT_EQ(session.mail().StateOf().focusField, name);
  }
}

// ---- mouse ---------------------------------------------------------------------

struct MouseRow {
  uidrive::MouseMode mode;
  POINT from, to;  // toolbar client coordinates; from == to is a click
  bool runsNewMessage;
};

void PrintTo(const MouseRow& r, std::ostream* out) {
  *out << (r.mode == uidrive::MouseMode::Real ? "real " : "messages ") << r.from.x << "," << r.from.y
       << " to " << r.to.x << "," << r.to.y;
}

class MouseTest : public DriverTest, public testing::WithParamInterface<MouseRow> {};

// The toolbar's first button ("New", 6..78 x 3..27) fires on release over it.
TEST_P(MouseTest, PressAndReleaseOverAButtonRunsItsCommand) {
  const MouseRow& row = GetParam();
  HWND bar = ToolBar();
  if (row.from.x == row.to.x && row.from.y == row.to.y)
    uidrive::Click(bar, row.from, row.mode);
  else
    uidrive::Drag(bar, row.from, row.to, row.mode);
  if (row.runsNewMessage) {
    EXPECT_TRUE(WaitFor([&] { return OpenWindows() == 1; }));
  } else {
    // A command posted after the mouse input is handled after it.
    PostMessageA(session.main(), WM_COMMAND, ID_HELP_TOPICS, 0);
    ASSERT_TRUE(WaitFor([&] { return OpenWindows() >= 1; }));
    EXPECT_EQ(session.mail().StateOf().kind, "info");
    EXPECT_EQ(OpenWindows(), 1u);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Input, MouseTest,
    testing::Values(MouseRow{uidrive::MouseMode::Messages, {40, 15}, {40, 15}, true},
                    MouseRow{uidrive::MouseMode::Messages, {40, 15}, {70, 20}, true},
                    MouseRow{uidrive::MouseMode::Messages, {40, 15}, {400, 15}, false},
                    MouseRow{uidrive::MouseMode::Messages, {400, 15}, {40, 15}, false},
                    MouseRow{uidrive::MouseMode::Real, {40, 15}, {40, 15}, true},
                    MouseRow{uidrive::MouseMode::Real, {40, 15}, {300, 15}, false}));

// ---- clipboard and pictures ---------------------------------------------------------

TEST_F(DriverTest, ClipboardHoldsWhatWasSetAndWhatTheClientCopied) {
  uidrive::SetClipboardText("set by the test");
  EXPECT_EQ(uidrive::ClipboardText().value_or("<none>"), "set by the test");
  session.mail().Compose({.to = "alice", .body = "copied\r\ntext"});
  session.mail().FocusField("body");
  session.Command(0xE12A);
  session.Command(0xE122);
  EXPECT_EQ(uidrive::ClipboardText().value_or("<none>"), "copied\r\ntext");
}

TEST_F(DriverTest, CaptureWritesA24BitBmpOfTheWindow) {
  session.mail().Compose({.to = "alice", .subject = "Picture", .body = "some text"});
  std::string path = session.folder() + "\\shot.bmp";
  uidrive::CaptureToBmp(session.main(), path);
  std::ifstream in(path, std::ios::binary);
  std::string file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_GT(file.size(), sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER));
  BITMAPFILEHEADER head;
  BITMAPINFOHEADER info;
  memcpy(&head, file.data(), sizeof head);
  memcpy(&info, file.data() + sizeof head, sizeof info);
  RECT r;
  GetWindowRect(session.main(), &r);
  EXPECT_EQ(head.bfType, 0x4D42);
  EXPECT_EQ(info.biBitCount, 24);
  EXPECT_EQ(info.biWidth, r.right - r.left);
  EXPECT_EQ(info.biHeight, r.bottom - r.top);
  size_t stride = (static_cast<size_t>(info.biWidth) * 3 + 3) & ~size_t{3};
  EXPECT_EQ(file.size(), head.bfOffBits + stride * info.biHeight);
  EXPECT_EQ(head.bfSize, file.size());
  // A window with a menu, a toolbar, a list and a form has many colours; a
  // failed copy of the screen gives one.
  std::set<uint32_t> colours;
  for (size_t i = head.bfOffBits; i + 3 <= file.size() && colours.size() < 8; i += 3 * 97)
    colours.insert(static_cast<unsigned char>(file[i]) | static_cast<unsigned char>(file[i + 1]) << 8 |
                   static_cast<unsigned char>(file[i + 2]) << 16);
  EXPECT_GE(colours.size(), 4u);
  EXPECT_THROW(uidrive::CaptureToBmp(nullptr, path), uidrive::Failure);
}

// ---- message boxes of another process -----------------------------------------------

struct BoxRow {
  UINT flags;
  std::string button;  // by text, or "#<id>"
  DWORD exitCode;
  std::vector<std::string> buttons;
};

void PrintTo(const BoxRow& r, std::ostream* out) { *out << "flags " << r.flags << " press " << r.button; }

class MessageBoxTest : public testing::TestWithParam<BoxRow> {};

uidrive::Process ShowBox(const std::string& title, UINT flags) {
  return uidrive::Process::Start("\"" + uidrive::ExecutableDirectory() + "msgbox_helper.exe\" \"" +
                                 title + "|Line one\\nLine two|" + std::to_string(flags) + "\"");
}

TEST_P(MessageBoxTest, ReadsTheBoxAndPressesTheButton) {
  const BoxRow& row = GetParam();
  uidrive::Process helper = ShowBox("Question " + std::to_string(row.flags), row.flags);
  uidrive::MessageBoxInfo box =
      uidrive::WaitForMessageBox(TextMatch::Prefix("Question "), 10000, helper.id());
  EXPECT_EQ(box.title, "Question " + std::to_string(row.flags));
  EXPECT_EQ(box.text, "Line one\nLine two");
  EXPECT_EQ(box.buttons, row.buttons);
  if (row.button.starts_with("#"))
    uidrive::Answer(box, std::stoi(row.button.substr(1)));
  else
    uidrive::Answer(box, row.button);
  EXPECT_EQ(helper.WaitForExit(5000), std::optional<DWORD>(row.exitCode));
}

INSTANTIATE_TEST_SUITE_P(
    Boxes, MessageBoxTest,
    testing::Values(BoxRow{MB_YESNOCANCEL, "&No", IDNO, {"&Yes", "&No", "Cancel"}},
                    BoxRow{MB_YESNOCANCEL, "yes", IDYES, {"&Yes", "&No", "Cancel"}},
                    BoxRow{MB_OKCANCEL, "#2", IDCANCEL, {"OK", "Cancel"}},
                    BoxRow{MB_RETRYCANCEL, "&Retry", IDRETRY, {"&Retry", "Cancel"}},
                    BoxRow{MB_OK | MB_ICONEXCLAMATION, "#1", IDOK, {"OK"}}));

TEST(MessageBoxes, AMissingButtonIsReportedAndTheBoxStays) {
  uidrive::Process helper = ShowBox("Stays", MB_OKCANCEL);
  uidrive::MessageBoxInfo box = uidrive::WaitForMessageBox(TextMatch::Exact("Stays"), 10000, helper.id());
  try {
    uidrive::Answer(box, "&Maybe");
    FAIL() << "pressed a button that does not exist";
  } catch (const uidrive::Failure& e) {
    EXPECT_NE(std::string(e.what()).find("OK, Cancel"), std::string::npos) << e.what();
  }
  EXPECT_TRUE(IsWindow(box.handle));
  uidrive::Answer(box, "Cancel");
  EXPECT_EQ(helper.WaitForExit(5000), std::optional<DWORD>(IDCANCEL));
}

TEST(MessageBoxes, NoBoxMeansAFailureAfterTheTimeout) {
  EXPECT_THROW(uidrive::WaitForMessageBox(TextMatch::Exact("Never shown"), 200), uidrive::Failure);
}

}  // namespace
