// The client's commands as the module sends them (WM_COMMAND to the main
// window), the change notification the module posts after it replaced a
// text, and the client's survival of commands that make no sense.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "testbed/mailclient/tests/client_session.h"

namespace {

using automation::FormatHandle;

std::string H(HWND w) { return FormatHandle(reinterpret_cast<std::uintptr_t>(w)); }

struct Selection {
  long long start = -1, end = -1;
  bool operator==(const Selection&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Selection& s) {
  return out << "(" << s.start << ", " << s.end << ")";
}

class CommandTest : public testing::Test {
 protected:
  automation::Message Call(automation::Message m) const { return session.mail().Call(std::move(m)); }

  Selection SelectionOf(HWND field) const {
    automation::Message reply = Call(automation::Message{"text", {}}.Add("target", H(field)));
    return {*automation::ParseNumber(reply.Get("sel-start")), *automation::ParseNumber(reply.Get("sel-end"))};
  }

  void Select(HWND field, long long start, long long end) const {
    Call(automation::Message{"select", {}}
             .Add("target", H(field))
             .Add("start", std::to_string(start))
             .Add("end", std::to_string(end)));
  }

  void Focus(HWND field) const { Call(automation::Message{"focus", {}}.Add("target", H(field))); }

  std::string TextOf(HWND field) const {
    return Call(automation::Message{"text", {}}.Add("target", H(field))).Get("text");
  }

  bool Changed(HWND window) const { return session.mail().StateOf(window).changed; }

  uidrive::MailClient::Composition Compose(const std::string& to, const std::string& body) const {
    return session.mail().Compose({.to = to, .subject = "Subject line", .body = body});
  }

  ClientSession session;
};

// ---- Select All --------------------------------------------------------------

class SelectAllTest : public CommandTest, public testing::WithParamInterface<std::string> {};

TEST_P(SelectAllTest, SelectsAllOfTheFocusedFieldOnly) {
  uidrive::MailClient::Composition c = Compose("alice@example.org", "Body\r\nsecond line");
  uidrive::MailClient::Opened m = session.mail().OpenText("Subject: R\r\n\r\nreceived text", "R");
  std::map<std::string, HWND> fields = {
      {"to", c.to}, {"subject", c.subject}, {"body", c.body}, {"view", m.edit}};
  for (auto& [name, field] : fields) Select(field, 1, 2);
  HWND target = fields.at(GetParam());
  Focus(target);
  session.Command(0xE12A);
  for (auto& [name, field] : fields) {
    Selection expected = field == target ? Selection{0, static_cast<long long>(TextOf(field).size())}
                                         : Selection{1, 2};
    EXPECT_EQ(SelectionOf(field), expected) << name;
  }
}

INSTANTIATE_TEST_SUITE_P(Fields, SelectAllTest, testing::Values("to", "subject", "body", "view"));

// ---- Finish Nickname ------------------------------------------------------------

enum class Named { InLParam, ByFocus, BogusLParam };

struct NicknameRow {
  std::string to;
  long long start, end;
  Named named;
  std::string expected;
};

void PrintTo(const NicknameRow& r, std::ostream* out) {
  *out << "\"" << r.to << "\" [" << r.start << ", " << r.end << ")";
}

class FinishNicknameTest : public CommandTest, public testing::WithParamInterface<NicknameRow> {};

TEST_P(FinishNicknameTest, ReplacesTheSelectedNicknameInTheField) {
  const NicknameRow& row = GetParam();
  uidrive::MailClient::Composition c = Compose(row.to, "body");
  // The module names the field in lParam and need not move the focus there.
  Focus(row.named == Named::InLParam ? c.body : c.to);
  Select(c.to, row.start, row.end);
  LPARAM lParam = row.named == Named::InLParam      ? reinterpret_cast<LPARAM>(c.to)
                  : row.named == Named::BogusLParam ? reinterpret_cast<LPARAM>(session.main())
                                                    : 0;
  session.Command(ID_EDIT_FINISH_NICKNAME, lParam);
  EXPECT_EQ(TextOf(c.to), row.expected);
  EXPECT_EQ(TextOf(c.body), "body");
  EXPECT_EQ(Changed(c.window), row.expected != row.to);
}

INSTANTIATE_TEST_SUITE_P(
    Entries, FinishNicknameTest,
    testing::Values(
        NicknameRow{"alice", 0, 5, Named::InLParam, "Alice Example <alice@example.org>"},
        NicknameRow{"bob, carol", 4, 10, Named::InLParam, "bob, carol@example.com"},
        NicknameRow{"team", 0, 4, Named::ByFocus,
                    "Alice Example <alice@example.org>, Bob Builder <bob@example.net>, carol@example.com"},
        NicknameRow{"x, night shift", 2, 14, Named::InLParam, "x, carol@example.com, dave@example.com"},
        NicknameRow{"bob, alice", 10, 10, Named::ByFocus, "bob, Alice Example <alice@example.org>"},
        NicknameRow{"ALICE", 0, 5, Named::BogusLParam, "Alice Example <alice@example.org>"},
        NicknameRow{"nobody", 0, 6, Named::InLParam, "nobody"},
        NicknameRow{"note", 0, 4, Named::InLParam, "note"},
        NicknameRow{"alice", 0, 0, Named::InLParam, "alice"}));

TEST_F(CommandTest, FinishNicknameReadsTheNicknameFileAnew) {
  uidrive::MailClient::Composition c = Compose("zoe", "body");
  Select(c.to, 0, 3);
  session.Command(ID_EDIT_FINISH_NICKNAME, reinterpret_cast<LPARAM>(c.to));
  EXPECT_EQ(TextOf(c.to), "zoe");
  session.Write("nicknames.txt", "alias zoe zoe@example.org\n");
  Select(c.to, 0, 3);
  session.Command(ID_EDIT_FINISH_NICKNAME, reinterpret_cast<LPARAM>(c.to));
  EXPECT_EQ(TextOf(c.to), "zoe@example.org");
}

// ---- Wrap Selection --------------------------------------------------------------

struct WrapRow {
  std::string body;
  std::string expected;
};

void PrintTo(const WrapRow& r, std::ostream* out) { *out << testing::PrintToString(r.body); }

class WrapSelectionTest : public CommandTest, public testing::WithParamInterface<WrapRow> {};

// The module's own sequence before it reads a composition: no redraw,
// Select All, the command after Select All, redraw again.
TEST_P(WrapSelectionTest, WrapsTheBodyAsTheModuleAsksBeforeCapture) {
  uidrive::MailClient::Composition c = Compose("alice", GetParam().body);
  Focus(c.body);
  SendMessageA(c.body, WM_SETREDRAW, FALSE, 0);
  session.Command(0xE12A);
  session.Command(ID_EDIT_WRAP_SELECTION);
  PostMessageA(c.body, WM_SETREDRAW, TRUE, 0);
  EXPECT_EQ(TextOf(c.body), GetParam().expected);
  EXPECT_EQ(Changed(c.window), GetParam().expected != GetParam().body);
}

const std::string kLong =
    "This line of a message is written without any line break in it, so it runs on well past "
    "the right margin.";

INSTANTIATE_TEST_SUITE_P(
    Bodies, WrapSelectionTest,
    testing::Values(
        WrapRow{kLong,
                "This line of a message is written without any line break in it, so it runs\r\n"
                "on well past the right margin."},
        WrapRow{"short\r\nlines stay\r\n", "short\r\nlines stay\r\n"},
        WrapRow{"-----BEGIN PGP MESSAGE-----\r\n" + std::string(64, 'A') + "\r\n",
                "-----BEGIN PGP MESSAGE-----\r\n" + std::string(64, 'A') + "\r\n"}));

TEST_F(CommandTest, WrapSelectionLeavesOtherFieldsAndUnselectedTextAlone) {
  uidrive::MailClient::Composition c = Compose("alice", kLong);
  Focus(c.to);
  session.Command(0xE12A);
  session.Command(ID_EDIT_WRAP_SELECTION);
  EXPECT_EQ(TextOf(c.body), kLong);
  Focus(c.body);
  Select(c.body, 0, 0);
  session.Command(ID_EDIT_WRAP_SELECTION);
  EXPECT_EQ(TextOf(c.body), kLong);
  EXPECT_FALSE(Changed(c.window));
}

// ---- Undo --------------------------------------------------------------------

TEST_F(CommandTest, UndoTakesBackWhatWasTypedInTheFocusedField) {
  uidrive::MailClient::Composition c = Compose("alice", "hello");
  Focus(c.body);
  Select(c.body, 5, 5);
  uidrive::TypeText(c.body, " world");
  ASSERT_TRUE(WaitFor([&] { return TextOf(c.body) == "hello world"; }));
  EXPECT_TRUE(Changed(c.window));
  session.Command(0xE12B);
  EXPECT_EQ(TextOf(c.body), "hello");
  EXPECT_EQ(TextOf(c.to), "alice");
}

// ---- the change notification -------------------------------------------------

enum class Sender { Field, Zero, OtherField, GoneWindow };

struct NotifyRow {
  std::string field;  // "body", "to" or "view"
  Sender sender;
  WORD code;
  bool changes;
};

void PrintTo(const NotifyRow& r, std::ostream* out) {
  *out << r.field << " sender " << static_cast<int>(r.sender) << " code 0x" << std::hex << r.code;
}

class ChangeNotificationTest : public CommandTest, public testing::WithParamInterface<NotifyRow> {};

HWND GoneWindow() {
  HWND w = CreateWindowExA(0, "Static", "", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
  DestroyWindow(w);
  return w;
}

TEST_P(ChangeNotificationTest, MarksTheMessageChangedOnlyForALiveFieldOfThatWindow) {
  const NotifyRow& row = GetParam();
  uidrive::MailClient::Composition c = Compose("alice", "body");
  uidrive::MailClient::Opened m = session.mail().OpenText("Subject: M\r\n\r\ntext", "M");
  uidrive::MailClient::Composition witness = Compose("bob", "other");
  HWND field = row.field == "view" ? m.edit : row.field == "to" ? c.to : c.body;
  HWND window = row.field == "view" ? m.window : c.window;
  ASSERT_FALSE(Changed(window));
  HWND sender = row.sender == Sender::Field        ? field
                : row.sender == Sender::OtherField ? (field == c.to ? c.body : c.to)
                : row.sender == Sender::GoneWindow ? GoneWindow()
                                                   : nullptr;
  int id = GetDlgCtrlID(field);
  ASSERT_TRUE(PostMessageA(GetParent(field), WM_COMMAND, MAKEWPARAM(id, row.code),
                           reinterpret_cast<LPARAM>(sender)));
  // Posted messages of one thread are taken in order: once the witness has
  // seen its notification, ours has been handled too.
  PostMessageA(witness.form, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(witness.body), EN_CHANGE),
               reinterpret_cast<LPARAM>(witness.body));
  ASSERT_TRUE(WaitFor([&] { return Changed(witness.window); }));
  EXPECT_EQ(Changed(window), row.changes);
  std::string title = uidrive::GetText(window);
  EXPECT_EQ(title.ends_with(" *"), row.changes) << title;
  EXPECT_TRUE(session.Responsive());
}

INSTANTIATE_TEST_SUITE_P(
    Notifications, ChangeNotificationTest,
    testing::Values(NotifyRow{"body", Sender::Field, EN_UPDATE, true},
                    NotifyRow{"view", Sender::Field, EN_UPDATE, true},
                    NotifyRow{"to", Sender::Field, EN_CHANGE, true},
                    NotifyRow{"body", Sender::Zero, EN_UPDATE, true},
                    NotifyRow{"body", Sender::OtherField, EN_UPDATE, false},
                    NotifyRow{"view", Sender::GoneWindow, EN_UPDATE, false},
                    NotifyRow{"body", Sender::Field, EN_SETFOCUS, false}));

TEST_F(CommandTest, AReplacedReadOnlyTextCountsAsTheMessagesContents) {
  uidrive::MailClient::Opened m =
      session.mail().OpenText("Subject: M\r\n\r\n-----BEGIN PGP MESSAGE-----\r\n...", "M");
  uidrive::SetText(m.edit, "Subject: M\r\n\r\ndecoded text");
  PostMessageA(m.window, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(m.edit), EN_UPDATE),
               reinterpret_cast<LPARAM>(m.edit));
  PostMessageA(m.edit, WM_VSCROLL, 0x00060000, 0);
  ASSERT_TRUE(WaitFor([&] { return Changed(m.window); }));
  EXPECT_EQ(session.mail().Text(m.window), "Subject: M\r\n\r\ndecoded text");
}

// ---- answering and sending ---------------------------------------------------------

TEST_F(CommandTest, ReplyQuotesTheMessageInFrontWithGreaterThanSigns) {
  std::string path = session.Write(
      "enc.msg",
      "From: Alice <alice@example.org>\nSubject: Notes\n\nHi\n-----BEGIN PGP MESSAGE-----\n\nabc\n"
      "-----END PGP MESSAGE-----\n");
  uidrive::MailClient::Opened m = session.mail().OpenFile(path);
  Focus(m.edit);
  session.Command(ID_MESSAGE_REPLY);
  uidrive::MailClient::State reply = session.mail().StateOf();
  ASSERT_EQ(reply.kind, "composition");
  EXPECT_EQ(reply.title, "Re: Notes");
  EXPECT_EQ(session.mail().Text(nullptr, "to"), "Alice <alice@example.org>");
  std::string body = session.mail().Text(nullptr, "body");
  EXPECT_NE(body.find("\r\n>Hi\r\n>-----BEGIN PGP MESSAGE-----\r\n>\r\n>abc\r\n>-----END PGP MESSAGE-----\r\n"),
            std::string::npos)
      << body;
  EXPECT_FALSE(reply.changed);
}

TEST_F(CommandTest, SendImmediatelyStoresTheCompositionInTheOutFolder) {
  uidrive::MailClient::Composition c = Compose("bob@example.net", "the body");
  session.Command(ID_MESSAGE_SEND);
  EXPECT_TRUE(uidrive::WaitUntilGone(c.window, 5000));
  std::ifstream in(session.folder() + "\\Out\\0001.msg", std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_EQ(text.str(),
            "To: bob@example.net\r\nFrom: Sam Sample <sam@example.org>\r\nSubject: Subject line\r\n"
            "\r\nthe body");
}

// ---- robustness ----------------------------------------------------------------

enum class FocusAt { Nothing, MessageView, ToField };

class RobustnessTest : public CommandTest, public testing::WithParamInterface<FocusAt> {};

TEST_P(RobustnessTest, SurvivesEveryCommandWhateverHasTheFocus) {
  if (GetParam() == FocusAt::MessageView) Focus(session.mail().OpenText("x", "X").edit);
  if (GetParam() == FocusAt::ToField) Focus(Compose("alice", "body").to);
  const UINT ids[] = {0,      1,      0xE100, 0xE101, 0xE102, 0x8070, 0xE120, 0xE122, 0xE123,
                      0xE125, 0xE12A, 0xE12B, 0x8060, 0x8061, 0x8080, 0x8081, 0x801D, 0x801E,
                      0x801F, 0x8090, 0x8091, 0x8098, 0x8099, 0x80A0, 0x80A1, 0xE130, 0xE132,
                      0xE133, 0xE140, 0xE142, 0x3C47, 0x3C4A, 0x3C4C, 0xE887, 0xF060, 0xFF00,
                      0xFF05, 0xFFFF, 0x1234};
  HWND gone = GoneWindow();
  const LPARAM lParams[] = {0, reinterpret_cast<LPARAM>(session.main()),
                            reinterpret_cast<LPARAM>(gone), 0x12345678};
  for (LPARAM lParam : lParams)
    for (UINT id : ids) {
      session.Command(id, lParam);
      ASSERT_TRUE(session.Responsive()) << std::hex << "command 0x" << id << " lParam 0x" << lParam;
    }
  // Notifications at the main window and at a frame, from nowhere.
  for (WORD code : {EN_UPDATE, EN_CHANGE, LBN_DBLCLK})
    uidrive::SendCommand(session.main(), MAKEWPARAM(IDC_MAILBOX_LIST, code), reinterpret_cast<LPARAM>(gone));
  EXPECT_TRUE(session.Responsive());
}

INSTANTIATE_TEST_SUITE_P(Focus, RobustnessTest,
                         testing::Values(FocusAt::Nothing, FocusAt::MessageView, FocusAt::ToField));

enum class CloseBy { ExitCommand, CloseRequest, SystemClose };

class CloseTest : public CommandTest, public testing::WithParamInterface<CloseBy> {};

TEST_P(CloseTest, EndsTheProcessCleanly) {
  session.mail().Compose({.to = "alice", .body = "unsent"});
  HWND main = session.main();
  switch (GetParam()) {
    case CloseBy::ExitCommand: PostMessageA(main, WM_COMMAND, 0xE141, 0); break;
    case CloseBy::CloseRequest: PostMessageA(main, WM_CLOSE, 0, 0); break;
    case CloseBy::SystemClose: PostMessageA(main, WM_SYSCOMMAND, SC_CLOSE, 0); break;
  }
  std::optional<DWORD> code = session.process().WaitForExit(10000);
  ASSERT_TRUE(code) << "the client is still running";
  EXPECT_EQ(*code, 0u);
  EXPECT_FALSE(IsWindow(main));
}

INSTANTIATE_TEST_SUITE_P(Ways, CloseTest,
                         testing::Values(CloseBy::ExitCommand, CloseBy::CloseRequest,
                                         CloseBy::SystemClose));

}  // namespace
