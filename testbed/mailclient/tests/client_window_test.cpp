// What the module finds when it looks at the client: the main window, the
// menu bar it walks, the toolbar it docks its button on, string 1410, and
// the two kinds of message window it tells apart by class and child order.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "testbed/mailclient/tests/client_session.h"

namespace {

using uidrive::MenuItem;

class ClientWindowTest : public testing::Test {
 protected:
  ClientSession session;
};

std::vector<MenuItem> ItemsOf(const std::vector<MenuItem>& all, const std::string& popupPath) {
  std::vector<MenuItem> items;
  for (const MenuItem& m : all)
    if (m.path.starts_with(popupPath + ".") &&
        m.path.find('.', popupPath.size() + 1) == std::string::npos)
      items.push_back(m);
  return items;
}

TEST_F(ClientWindowTest, MenuBarHasThePopupsInOrder) {
  std::vector<MenuItem> all = uidrive::MenuBar(session.main());
  std::vector<std::string> popups;
  for (const MenuItem& m : all)
    if (m.path.find('.') == std::string::npos) popups.push_back(m.text);
  EXPECT_EQ(popups, (std::vector<std::string>{"&File", "&Edit", "&Mailbox", "&Message", "&Transfer",
                                              "&Special", "&Tools", "&Window", "&Help"}));
}

struct FirstItemRow {
  std::string popup;  // position on the menu bar
  UINT id;
};

void PrintTo(const FirstItemRow& r, std::ostream* out) { *out << "popup " << r.popup; }

class FirstItemTest : public ClientWindowTest, public testing::WithParamInterface<FirstItemRow> {};

// The module recognises File, Message and Help by the id of their first item.
TEST_P(FirstItemTest, PopupStartsWithTheIdTheModuleLooksFor) {
  std::vector<MenuItem> items = ItemsOf(uidrive::MenuBar(session.main()), GetParam().popup);
  ASSERT_FALSE(items.empty());
  EXPECT_EQ(items.front().id, GetParam().id);
  EXPECT_FALSE(items.front().grayed);
}

INSTANTIATE_TEST_SUITE_P(Popups, FirstItemTest,
                         testing::Values(FirstItemRow{"0", 0xE100}, FirstItemRow{"3", 0x801D},
                                         FirstItemRow{"8", 0xE142}));

TEST_F(ClientWindowTest, FileHoldsExitAndEditHoldsSelectAllWithTwoCommandsAfterIt) {
  std::vector<MenuItem> all = uidrive::MenuBar(session.main());
  std::vector<MenuItem> file = ItemsOf(all, "0");
  EXPECT_TRUE(std::any_of(file.begin(), file.end(), [](const MenuItem& m) { return m.id == 0xE141; }));
  EXPECT_EQ(file.front().id & 0xE10F, 0xE100u);

  // The popup after File is Edit; the module takes the two ids right after
  // Select All and sends them as "wrap" and "finish nickname".
  std::vector<UINT> commands;
  std::vector<MenuItem> edit = ItemsOf(all, "1");
  for (const MenuItem& m : edit)
    if (!m.separator) commands.push_back(m.id);
  std::vector<UINT> order = {0xE12B, 0xE123, 0xE122, 0xE125};
  auto at = commands.begin();
  for (UINT id : order) {
    at = std::find(at, commands.end(), id);
    ASSERT_NE(at, commands.end()) << std::hex << id << " missing or out of order";
  }
  auto selectAll = std::find_if(edit.begin(), edit.end(), [](const MenuItem& m) { return m.id == 0xE12A; });
  ASSERT_NE(selectAll, edit.end());
  ASSERT_GE(edit.end() - selectAll, 3);
  EXPECT_FALSE(selectAll[1].separator);
  EXPECT_FALSE(selectAll[2].separator);
  EXPECT_EQ(selectAll[1].text, "&Wrap Selection");
  EXPECT_EQ(selectAll[2].text, "&Finish Nickname\tCtrl+,");
  EXPECT_EQ(selectAll[1].id, static_cast<UINT>(ID_EDIT_WRAP_SELECTION));
  EXPECT_EQ(selectAll[2].id, static_cast<UINT>(ID_EDIT_FINISH_NICKNAME));
}

RECT ScreenRect(HWND w) {
  RECT r;
  GetWindowRect(w, &r);
  return r;
}

HWND ToolBarOf(HWND main) {
  std::vector<uidrive::WindowInfo> children = uidrive::Children(main);
  for (const auto& c : children)
    if (c.className == "AfxControlBar") return c.handle;
  return nullptr;
}

TEST_F(ClientWindowTest, ToolBarIsTheFirstChildAndDockedAtTheClientTop) {
  std::vector<uidrive::WindowInfo> children = uidrive::Children(session.main());
  ASSERT_FALSE(children.empty());
  EXPECT_EQ(children.front().className, "AfxControlBar");
}

struct SizeRow {
  int width, height;
};

void PrintTo(const SizeRow& r, std::ostream* out) { *out << r.width << "x" << r.height; }

class ToolBarResizeTest : public ClientWindowTest, public testing::WithParamInterface<SizeRow> {};

TEST_P(ToolBarResizeTest, FollowsTheMainWindowsClientArea) {
  HWND main = session.main();
  HWND bar = ToolBarOf(main);
  ASSERT_TRUE(bar);
  ASSERT_TRUE(SetWindowPos(main, nullptr, 20, 20, GetParam().width, GetParam().height,
                           SWP_NOZORDER | SWP_NOACTIVATE));
  RECT client;
  POINT origin{0, 0};
  // Wait until the client has laid itself out for the new size.
  ASSERT_TRUE(WaitFor([&] {
    GetClientRect(main, &client);
    origin = {0, 0};
    ClientToScreen(main, &origin);
    RECT r = ScreenRect(bar);
    return r.right - r.left == client.right && r.top == origin.y;
  }));
  RECT r = ScreenRect(bar);
  EXPECT_EQ(r.top, origin.y);
  EXPECT_EQ(r.left, origin.x);
  EXPECT_EQ(r.right - r.left, client.right);
  EXPECT_EQ(r.bottom - r.top, 30);
}

INSTANTIATE_TEST_SUITE_P(Sizes, ToolBarResizeTest,
                         testing::Values(SizeRow{640, 480}, SizeRow{1000, 700}, SizeRow{420, 300}));

TEST(ClientResources, String1410IsTheAttachmentPrefix) {
  HMODULE exe = LoadLibraryExA(ClientPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_TRUE(exe);
  char text[64] = "";
  int n = LoadStringA(exe, 1410, text, sizeof text);
  FreeLibrary(exe);
  EXPECT_EQ(std::string(text, n), "Attachment Converted: ");
}

struct MessageRow {
  std::string name;
  std::string file;
  std::string shown;  // "%F" stands for the mail folder
};

void PrintTo(const MessageRow& r, std::ostream* out) { *out << r.name; }

class OpenMessageTest : public ClientWindowTest, public testing::WithParamInterface<MessageRow> {};

TEST_P(OpenMessageTest, ShowsTheFileReadOnlyInAnEditWhoseParentIsAnAfxWindow) {
  std::string path = session.Write(GetParam().name, GetParam().file);
  uidrive::MailClient::Opened opened = session.mail().OpenFile(path);
  ASSERT_TRUE(IsWindow(opened.edit));
  EXPECT_EQ(uidrive::ClassOf(opened.edit), "Edit");
  EXPECT_EQ(GetParent(opened.edit), opened.window);
  EXPECT_TRUE(uidrive::ClassOf(GetParent(opened.edit)).starts_with("Afx:"));
  LONG style = GetWindowLongA(opened.edit, GWL_STYLE);
  EXPECT_EQ(style & (ES_READONLY | ES_MULTILINE | WS_VSCROLL), ES_READONLY | ES_MULTILINE | WS_VSCROLL);

  std::string shown = GetParam().shown;
  for (size_t at; (at = shown.find("%F")) != std::string::npos;)
    shown = shown.substr(0, at) + session.folder() + shown.substr(at + 2);
  EXPECT_EQ(uidrive::GetText(opened.edit), shown);
  EXPECT_FALSE(session.mail().StateOf(opened.window).changed);
}

INSTANTIATE_TEST_SUITE_P(
    Files, OpenMessageTest,
    testing::Values(
        MessageRow{"lf.msg", "From: a@example.org\nSubject: LF\n\nbody\n",
                   "From: a@example.org\r\nSubject: LF\r\n\r\nbody\r\n"},
        MessageRow{"crlf.msg", "Subject: CRLF\r\n\r\n-----BEGIN PGP MESSAGE-----\r\nx\r\n",
                   "Subject: CRLF\r\n\r\n-----BEGIN PGP MESSAGE-----\r\nx\r\n"},
        MessageRow{"attach.msg", "Subject: A\n\nAttachment Converted: attach\\f.asc\n",
                   "Subject: A\r\n\r\nAttachment Converted: %F\\attach\\f.asc\r\n"},
        MessageRow{"absolute.msg", "Attachment Converted: C:\\x.asc", "Attachment Converted: C:\\x.asc"}));

TEST_F(ClientWindowTest, MailboxListShowsTheFolderAndOpensTheSelectedMessage) {
  session.Write("b.msg", "From: Bob Builder <bob@example.net>\nSubject: Second\n\ntwo\n");
  session.Write("a.msg", "From: Alice <alice@example.org>\nSubject: First\n\none\n");
  session.Write("notes.txt", "not a message");
  session.Command(ID_FILE_CHECK_MAIL);
  EXPECT_EQ(session.mail().Call({"mailbox", {}}).All("entry"),
            (std::vector<std::string>{"a.msg\tAlice <alice@example.org>\tFirst",
                                      "b.msg\tBob Builder <bob@example.net>\tSecond"}));
  HWND list = uidrive::WaitForWindow({uidrive::TextMatch::Exact("ListBox"), {}, session.main()}, 1000);
  ASSERT_EQ(SendMessageA(list, LB_GETCOUNT, 0, 0), 2);
  SendMessageA(list, LB_SETCURSEL, 1, 0);
  PostMessageA(list, WM_KEYDOWN, VK_RETURN, 1);
  ASSERT_TRUE(WaitFor([&] { return session.mail().Call({"windows", {}}).All("window").size() == 1; }));
  uidrive::MailClient::State s = session.mail().StateOf();
  EXPECT_EQ(s.kind, "message");
  EXPECT_EQ(s.title, "Second");
  EXPECT_EQ(session.mail().Text(), "From: Bob Builder <bob@example.net>\r\nSubject: Second\r\n\r\ntwo\r\n");

  // A double-click on the first line opens the first message.
  PostMessageA(list, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 4));
  PostMessageA(list, WM_LBUTTONUP, 0, MAKELPARAM(10, 4));
  PostMessageA(list, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(10, 4));
  PostMessageA(list, WM_LBUTTONUP, 0, MAKELPARAM(10, 4));
  ASSERT_TRUE(WaitFor([&] { return session.mail().Call({"windows", {}}).All("window").size() == 2; }));
  EXPECT_EQ(session.mail().StateOf().title, "First");
}

TEST_F(ClientWindowTest, OpeningAMissingFileFailsWithoutAWindow) {
  EXPECT_THROW(session.mail().OpenFile(session.folder() + "\\missing.msg"), uidrive::Failure);
  EXPECT_TRUE(session.mail().Call({"windows", {}}).All("window").empty());
  EXPECT_TRUE(session.Responsive());
}

TEST_F(ClientWindowTest, CompositionFormHasTheChildOrderTheModuleWalks) {
  uidrive::MailClient::Composition c =
      session.mail().Compose({.to = "alice@example.org", .cc = "bob@example.net", .subject = "S",
                              .body = "Body text\r\nsecond line"});
  EXPECT_TRUE(uidrive::ClassOf(c.form).starts_with("#"));
  std::vector<uidrive::WindowInfo> kids = uidrive::Children(c.form);
  ASSERT_GE(kids.size(), 6u);
  EXPECT_EQ(kids[0].className, "Static");
  EXPECT_EQ(kids[1].className, "Edit");
  EXPECT_EQ(kids[1].handle, c.to);
  EXPECT_EQ(uidrive::GetText(kids[1].handle), "alice@example.org");

  auto cc = std::find_if(kids.begin(), kids.end(), [](const uidrive::WindowInfo& w) {
    return w.className == "Static" && w.text == "&Cc:";
  });
  ASSERT_NE(cc, kids.end());
  ASSERT_NE(cc + 1, kids.end());
  EXPECT_EQ(cc[1].className, "Edit");
  EXPECT_EQ(cc[1].handle, c.cc);
  EXPECT_EQ(uidrive::GetText(cc[1].handle), "bob@example.net");

  const uidrive::WindowInfo& body = kids[kids.size() - 2];
  EXPECT_EQ(body.handle, c.body);
  EXPECT_EQ(body.className, "Edit");
  EXPECT_EQ(body.style & (ES_MULTILINE | ES_READONLY), static_cast<DWORD>(ES_MULTILINE));
  EXPECT_EQ(uidrive::GetText(body.handle), "Body text\r\nsecond line");
  EXPECT_EQ(kids.back().className, "Static");

  // No field may cut a 16 MiB message short.
  for (const auto& k : kids) {
    if (k.className != "Edit") continue;
    EXPECT_GE(static_cast<DWORD>(SendMessageA(k.handle, EM_GETLIMITTEXT, 0, 0)), 16u << 20) << k.id;
  }
  EXPECT_FALSE(session.mail().StateOf(c.window).changed);
}

TEST_F(ClientWindowTest, A16MiBBodyArrivesWhole) {
  std::string big;
  for (int i = 0; big.size() < (16u << 20); ++i)
    big += "line " + std::to_string(i) + " -----BEGIN PGP MESSAGE----- abcdefghijklmnop\r\n";
  std::string path = session.Write("big.txt", big);
  automation::Message request{"compose", {}};
  request.Add("to", "bob").Add("body-file", path);
  HWND body = uidrive::HandleFrom(session.mail().Call(request, 120000).Get("body"));
  std::string back = session.mail().Text(nullptr, "body");
  EXPECT_EQ(back.size(), big.size());
  EXPECT_TRUE(back == big);
  EXPECT_EQ(static_cast<size_t>(SendMessageA(body, WM_GETTEXTLENGTH, 0, 0)), big.size());
}

}  // namespace
