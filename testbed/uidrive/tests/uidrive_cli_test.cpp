// uidrive.exe as scripts and the demo call it: exit codes, the lines it
// prints and what its verbs do to the mail client.
#include <gtest/gtest.h>

#include <fstream>

#include "testbed/mailclient/tests/client_session.h"

namespace {

std::string H(HWND w) { return automation::FormatHandle(reinterpret_cast<std::uintptr_t>(w)); }

struct CliRow {
  std::string name;
  std::string args;      // %MAIN% %PID% %FORM% %TO% %SUBJECT% %CC% %BODY% %DIR% are filled in
  DWORD exitCode;
  std::string out;       // the whole stdout, or, with a leading '~', a part of it
  std::string err;       // a part of stderr
};

class CliFixture : public testing::Test {
 protected:
  void SetUp() override {
    c = session.mail().Compose({.to = "alice@example.org", .subject = "Subject line", .body = "Body"});
  }

  std::string Fill(std::string text) const {
    const std::pair<std::string, std::string> values[] = {
        {"%MAIN%", H(session.main())}, {"%PID%", std::to_string(session.process().id())},
        {"%FORM%", H(c.form)},         {"%TO%", H(c.to)},
        {"%SUBJECT%", H(c.subject)},   {"%CC%", H(c.cc)},
        {"%BODY%", H(c.body)},         {"%DIR%", session.folder()}};
    for (const auto& [key, value] : values)
      for (size_t at; (at = text.find(key)) != std::string::npos;) text = text.substr(0, at) + value + text.substr(at + key.size());
    return text;
  }

  uidrive::RunResult Run(const std::string& args) const {
    return uidrive::RunCaptured("\"" + uidrive::ExecutableDirectory() + "uidrive.exe\" " + Fill(args));
  }

  ClientSession session;
  uidrive::MailClient::Composition c;
};

class CliTest : public CliFixture, public testing::WithParamInterface<CliRow> {};

TEST_P(CliTest, ExitCodeAndOutput) {
  const CliRow& row = GetParam();
  uidrive::RunResult r = Run(row.args);
  EXPECT_EQ(r.exitCode, row.exitCode) << r.err;
  std::string out = Fill(row.out);
  if (out.starts_with("~"))
    EXPECT_NE(r.out.find(out.substr(1)), std::string::npos) << r.out;
  else
    EXPECT_EQ(r.out, out);
  EXPECT_NE(r.err.find(Fill(row.err)), std::string::npos) << r.err;
}

INSTANTIATE_TEST_SUITE_P(
    Verbs, CliTest,
    testing::Values(
        CliRow{"find", "find --class EudoraMainWindow --pid %PID%", 0, "%MAIN%\tEudoraMainWindow\tEudora\n", ""},
        CliRow{"find_prefix", "find --class-prefix Eudora --title-prefix Eud --pid %PID% --all", 0,
               "%MAIN%\tEudoraMainWindow\tEudora\n", ""},
        CliRow{"find_none", "find --class NoSuchClass --timeout 200", 1, "", "no window of class"},
        CliRow{"unknown_verb", "frobnicate", 2, "", "unknown verb: frobnicate"},
        CliRow{"missing_window", "gettext", 2, "", "missing window"},
        CliRow{"bad_window", "gettext 0x1", 1, "", "not a window: 0x1"},
        CliRow{"children", "children %FORM%", 0, "~0\t%TO%\tEdit\t0x3E9\t", ""},
        CliRow{"children_label", "children %FORM%", 0, "~\tStatic\t0x400\t0x50000002\t&To:\n", ""},
        CliRow{"menu_exit", "menu %MAIN%", 0, "~\n0.6\t0xE141\tenabled\tE&xit\n", ""},
        CliRow{"menu_grayed", "menu main", 0, "~\n4.0\t0x8090\tgrayed\t&In\n", ""},
        CliRow{"menu_tab", "menu main", 0, "~\n1.9\t0x8061\tenabled\t&Finish Nickname\\tCtrl+,\n", ""},
        CliRow{"gettext", "gettext %SUBJECT%", 0, "Subject line", ""},
        CliRow{"mail_text", "mail-text --field to", 0, "alice@example.org", ""},
        CliRow{"mail_focus", "mail-focus subject", 0, "focus=%SUBJECT%\n", ""},
        CliRow{"mail_error", "mail-focus nofield", 1, "", "no field 'nofield'"},
        CliRow{"mail_state", "mail-state", 0, "~\nkind=composition\nchanged=0\ntitle=Subject line\n", ""},
        CliRow{"command_send", "command %MAIN% 0xE12A --send", 0, "0\n", ""},
        CliRow{"no_verb", "", 2, "", "usage: uidrive"}),
    [](const testing::TestParamInfo<CliRow>& info) { return info.param.name; });

TEST_F(CliFixture, SetTextChangesTheField) {
  uidrive::RunResult r = Run("settext %CC% \"carol@example.com, dave\"");
  EXPECT_EQ(r.exitCode, 0u) << r.err;
  EXPECT_EQ(uidrive::GetText(c.cc), "carol@example.com, dave");
}

TEST_F(CliFixture, CommandOpensANewMessage) {
  EXPECT_EQ(Run("command main 0xE100").exitCode, 0u);
  EXPECT_TRUE(WaitFor([&] { return session.mail().Call({"windows", {}}).All("window").size() == 2; }));
}

TEST_F(CliFixture, MailComposeAndOpenReportTheNewWindows) {
  std::string path = session.Write("m.msg", "Subject: From a file\n\ntext\n");
  uidrive::RunResult open = Run("mail-open \"" + path + "\"");
  ASSERT_EQ(open.exitCode, 0u) << open.err;
  ASSERT_TRUE(open.out.starts_with("window=0x")) << open.out;
  HWND window = uidrive::HandleFrom(open.out.substr(7, open.out.find('\n') - 7));
  EXPECT_EQ(session.mail().StateOf(window).title, "From a file");

  uidrive::RunResult compose = Run("mail-compose --to bob --subject \"Two words\" --body \"a\\nb\"");
  ASSERT_EQ(compose.exitCode, 0u) << compose.err;
  EXPECT_EQ(session.mail().Text(nullptr, "body"), "a\\nb");  // the shell's text, as typed
  EXPECT_EQ(session.mail().StateOf().title, "Two words");
}

TEST_F(CliFixture, ClipboardSetAndRead) {
  EXPECT_EQ(Run("clipboard --set \"from the command line\"").exitCode, 0u);
  uidrive::RunResult r = Run("clipboard");
  EXPECT_EQ(r.exitCode, 0u) << r.err;
  EXPECT_EQ(r.out, "from the command line");
}

TEST_F(CliFixture, CaptureWritesTheFile) {
  std::string path = session.folder() + "\\cli.bmp";
  uidrive::RunResult r = Run("capture main \"" + path + "\"");
  EXPECT_EQ(r.exitCode, 0u) << r.err;
  std::ifstream in(path, std::ios::binary);
  char magic[2] = {};
  in.read(magic, 2);
  EXPECT_EQ(std::string(magic, 2), "BM");
}

TEST_F(CliFixture, AnswerPrintsTheBoxAndPressesTheButton) {
  uidrive::Process helper = uidrive::Process::Start(
      "\"" + uidrive::ExecutableDirectory() + "msgbox_helper.exe\" \"CLI box|First\\nSecond|3\"");
  uidrive::RunResult r = Run("answer --title \"CLI box\" --button &No --timeout 10000");
  EXPECT_EQ(r.exitCode, 0u) << r.err;
  EXPECT_NE(r.out.find("\ntitle=CLI box\ntext=First\\nSecond\nbutton=&Yes\nbutton=&No\nbutton=Cancel\n"),
            std::string::npos)
      << r.out;
  EXPECT_EQ(helper.WaitForExit(5000), std::optional<DWORD>(IDNO));
}

}  // namespace
