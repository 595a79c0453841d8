// The automation channel itself: replies by window and by file, long texts
// in parts, and requests that are wrong in every way the client must not
// trip over. Also the sample folder the demo relies on.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "testbed/mailclient/tests/client_session.h"

namespace {

class AutomationTest : public testing::Test {
 protected:
  // A raw WM_COPYDATA, as any other program could send it.
  LRESULT SendRaw(unsigned long tag, const std::string& text) const {
    COPYDATASTRUCT data{tag, static_cast<DWORD>(text.size()), const_cast<char*>(text.data())};
    DWORD_PTR result = 0;
    EXPECT_TRUE(SendMessageTimeoutA(session.main(), WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data),
                                    SMTO_NORMAL, 10000, &result));
    return static_cast<LRESULT>(result);
  }

  ClientSession session;
};

TEST_F(AutomationTest, PingNamesTheMainWindowTheFolderAndTheProcess) {
  automation::Message reply = session.mail().Call({"ping", {}});
  EXPECT_EQ(uidrive::HandleFrom(reply.Get("main")), session.main());
  EXPECT_EQ(reply.Get("pid"), std::to_string(session.process().id()));
  EXPECT_EQ(std::filesystem::equivalent(reply.Get("folder"), session.folder()), true);
}

TEST_F(AutomationTest, RepliesCanGoToAFile) {
  std::string path = session.folder() + "\\reply.txt";
  std::string request = "compose\nsubject=By file\nresult-file=" + automation::Escape(path);
  EXPECT_EQ(SendRaw(automation::kRequestTag, request), 1);
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  std::optional<automation::Message> reply = automation::Decode(text.str());
  ASSERT_TRUE(reply) << text.str();
  EXPECT_EQ(reply->verb, "ok");
  HWND window = uidrive::HandleFrom(reply->Get("window"));
  EXPECT_TRUE(IsWindow(window));
  EXPECT_EQ(session.mail().StateOf(window).title, "By file");
}

TEST_F(AutomationTest, LongTextsTravelInPartsBothWays) {
  std::string body;
  for (int i = 0; body.size() < 3 * automation::kPartSize + 77; ++i)
    body += "line\t" + std::to_string(i) + " with a backslash \\ and more\r\n";
  session.mail().Compose({.to = "bob", .body = body});
  EXPECT_TRUE(session.mail().Text(nullptr, "body") == body);
}

struct BadRequest {
  unsigned long tag;
  std::string text;
  LRESULT expected;
};

void PrintTo(const BadRequest& r, std::ostream* out) {
  *out << "tag 0x" << std::hex << r.tag << " " << testing::PrintToString(r.text);
}

class BadRequestTest : public AutomationTest, public testing::WithParamInterface<BadRequest> {};

TEST_P(BadRequestTest, IsRefusedAndTheClientGoesOn) {
  EXPECT_EQ(SendRaw(GetParam().tag, GetParam().text), GetParam().expected);
  EXPECT_TRUE(session.Responsive());
  EXPECT_TRUE(session.mail().Call({"windows", {}}).All("window").empty());
}

INSTANTIATE_TEST_SUITE_P(
    Requests, BadRequestTest,
    testing::Values(BadRequest{automation::kRequestTag, "", 0},
                    BadRequest{automation::kRequestTag, "\nno verb", 0},
                    BadRequest{automation::kRequestTag, "ping\nnot a field", 0},
                    BadRequest{automation::kRequestTag, "launch-missiles", 0},
                    BadRequest{automation::kRequestTag, "focus\nwindow=0x12345678\nfield=to", 0},
                    BadRequest{automation::kRequestTag, "focus\nwindow=nonsense", 0},
                    BadRequest{automation::kRequestTag, "text\ntarget=0x10", 0},
                    BadRequest{automation::kRequestTag, "open\nfile=C:\\no\\such\\file.msg", 0},
                    BadRequest{automation::kRequestTag, "select\nstart=1", 0},
                    BadRequest{automation::kRequestTag, "state", 0},
                    BadRequest{automation::kRequestTag, "close", 0},
                    BadRequest{automation::kReplyTag, "ping", 0},
                    BadRequest{0, "ping", 0},
                    BadRequest{automation::kRequestTag, "ping\nreply=0x12345678", 1}));

TEST_F(AutomationTest, ErrorsSayWhatWasWrong) {
  try {
    session.mail().Call(automation::Message{"focus", {}}.Add("field", "to"));
    FAIL() << "focus without a window succeeded";
  } catch (const uidrive::Failure& e) {
    EXPECT_NE(std::string(e.what()).find("no message or composition window is open"), std::string::npos)
        << e.what();
  }
  session.mail().OpenText("text", "T");
  try {
    session.mail().FocusField("cc");
    FAIL() << "a message window has no Cc field";
  } catch (const uidrive::Failure& e) {
    EXPECT_NE(std::string(e.what()).find("no field 'cc'"), std::string::npos) << e.what();
  }
}

TEST_F(AutomationTest, WindowsStateAndCloseDescribeTheOpenChildren) {
  uidrive::MailClient::Opened m = session.mail().OpenText("read me", "Received");
  uidrive::MailClient::Composition c = session.mail().Compose({.subject = "Draft"});
  std::vector<std::string> windows = session.mail().Call({"windows", {}}).All("window");
  ASSERT_EQ(windows.size(), 2u);
  auto handle = [](HWND w) { return automation::FormatHandle(reinterpret_cast<std::uintptr_t>(w)); };
  EXPECT_EQ(windows[0], handle(m.window) + " message 0 Received");
  EXPECT_EQ(windows[1], handle(c.window) + " composition 0 Draft");

  uidrive::MailClient::State s = session.mail().StateOf();
  EXPECT_EQ(s.window, c.window);
  EXPECT_EQ(s.focusField, "to");  // a new message with no recipient starts in To
  EXPECT_EQ(session.mail().FocusField("subject"), c.subject);
  EXPECT_EQ(session.mail().StateOf().focusField, "subject");
  EXPECT_EQ(session.mail().FocusField("view", m.window), m.edit);
  EXPECT_EQ(session.mail().StateOf().window, m.window);

  session.mail().Call(automation::Message{"close", {}}.Add(
      "window", automation::FormatHandle(reinterpret_cast<std::uintptr_t>(m.window))));
  EXPECT_FALSE(IsWindow(m.window));
  EXPECT_EQ(session.mail().Call({"windows", {}}).All("window").size(), 1u);
}

// ---- the sample folder beside EUDORA.EXE --------------------------------------

struct SampleRow {
  std::string file;
  std::string begin;  // the armour line the message must hold
  std::string end;
};

void PrintTo(const SampleRow& r, std::ostream* out) { *out << r.file; }

class SampleMailTest : public AutomationTest, public testing::WithParamInterface<SampleRow> {};

TEST_P(SampleMailTest, OpensAndHoldsItsArmour) {
  std::string path = uidrive::ExecutableDirectory() + "mail\\" + GetParam().file;
  uidrive::MailClient::Opened m = session.mail().OpenFile(path);
  std::string text = uidrive::GetText(m.edit);
  size_t begin = text.find(GetParam().begin);
  ASSERT_NE(begin, std::string::npos) << text;
  EXPECT_NE(text.find(GetParam().end, begin), std::string::npos) << text;
  EXPECT_EQ(text.find("\n"), text.find("\r\n") + 1) << "CRLF line ends";
}

INSTANTIATE_TEST_SUITE_P(
    Folder, SampleMailTest,
    testing::Values(
        SampleRow{"01-encrypted.msg", "\n-----BEGIN PGP MESSAGE-----\r\n", "\n-----END PGP MESSAGE-----"},
        SampleRow{"02-signed.msg", "\n-----BEGIN PGP SIGNED MESSAGE-----\r\n", "\n-----END PGP SIGNATURE-----"},
        SampleRow{"03-public-key.msg", "\n-----BEGIN PGP PUBLIC KEY BLOCK-----\r\n",
                  "\n-----END PGP PUBLIC KEY BLOCK-----"},
        SampleRow{"04-quoted-reply.msg", "\n>-----BEGIN PGP MESSAGE-----\r\n>", "\n>-----END PGP MESSAGE-----"},
        SampleRow{"05-attachment.msg", "\nAttachment Converted: ", "report.asc"},
        SampleRow{"08-inline-utf8.eml", "\n-----BEGIN PGP MESSAGE-----\r\n", "\n-----END PGP MESSAGE-----"}));

TEST_F(AutomationTest, TheSampleAttachmentLinePointsAtAnArmouredFile) {
  std::string folder = uidrive::ExecutableDirectory() + "mail";
  uidrive::MailClient::Opened m = session.mail().OpenFile(folder + "\\05-attachment.msg");
  std::string text = uidrive::GetText(m.edit);
  const std::string prefix = "Attachment Converted: ";
  size_t at = text.find("\n" + prefix);
  ASSERT_NE(at, std::string::npos);
  std::string path = text.substr(at + 1 + prefix.size());
  path = path.substr(0, path.find('\r'));
  EXPECT_TRUE(std::filesystem::equivalent(path, folder + "\\attach\\report.asc")) << path;
  std::ifstream in(path, std::ios::binary);
  std::stringstream file;
  file << in.rdbuf();
  EXPECT_TRUE(file.str().starts_with("-----BEGIN PGP MESSAGE-----"));
  EXPECT_NE(file.str().find("\n-----END PGP MESSAGE-----"), std::string::npos);
}

// The samples hold the stand-in PGP's own output: decoding or checking them
// succeeds, so the demo works on them. Stale samples (after a change of the
// stand-in's formats) fail here: run regenerate-samples.sh.
struct DecodeRow {
  std::string file;
  std::string mark;     // the quote mark in front of every block line
  std::string options;  // before the file name
  std::string result;   // what the output file, or the keyring, holds afterwards
};

void PrintTo(const DecodeRow& r, std::ostream* out) { *out << r.file; }

class SampleDecodeTest : public AutomationTest, public testing::WithParamInterface<DecodeRow> {};

// Sets an environment variable for the programs this test starts.
class ScopedEnvironment {
 public:
  ScopedEnvironment(const char* name, const std::string& value) : name_(name) {
    SetEnvironmentVariableA(name, value.c_str());
  }
  ~ScopedEnvironment() { SetEnvironmentVariableA(name_, nullptr); }
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

 private:
  const char* name_;
};

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// The block as the module would cut it out of the window: from its begin line
// to the end of its end line, without the quote marks.
std::string BlockOf(const std::string& text, const std::string& mark) {
  size_t begin = text.find(mark + "-----BEGIN PGP ");
  size_t end = text.find(mark + "-----END PGP ", begin);
  if (begin == std::string::npos || end == std::string::npos) return {};
  end = text.find("\r\n", end);
  std::string block;
  std::istringstream lines(text.substr(begin, end - begin));
  for (std::string line; std::getline(lines, line);) block += line.substr(mark.size()) + "\n";
  return block;
}

TEST_P(SampleDecodeTest, TheStandInPgpAcceptsTheSample) {
  const DecodeRow& row = GetParam();
  std::string pgp = uidrive::ExecutableDirectory() + "pgp.exe";
  if (GetFileAttributesA(pgp.c_str()) == INVALID_FILE_ATTRIBUTES) GTEST_SKIP() << "no " << pgp;
  session.Write("pgp\\keyring.txt",
                "pub Sam Sample <sam@example.org>\nsec Sam Sample <sam@example.org> sam-secret\n");
  std::string dir = session.folder() + "\\pgp";
  std::string path = uidrive::ExecutableDirectory() + "mail\\" + row.file;
  std::string block = BlockOf(session.mail().Text(session.mail().OpenFile(path).window), row.mark);
  ASSERT_FALSE(block.empty());
  std::string input = session.Write("pgp\\in.asc", block);
  ScopedEnvironment pgpPath("PGPPATH", dir);
  ScopedEnvironment pgpPass("PGPPASS", "sam-secret");
  uidrive::RunResult r = uidrive::RunCaptured("\"" + pgp + "\" " + row.options + "\"" + input + "\"");
  EXPECT_EQ(r.exitCode, 0u) << r.out << r.err;
  std::string result = ReadAll(row.options.empty() ? dir + "\\in" : dir + "\\keyring.txt");
  EXPECT_NE(result.find(row.result), std::string::npos) << result;
}

INSTANTIATE_TEST_SUITE_P(
    Folder, SampleDecodeTest,
    testing::Values(DecodeRow{"01-encrypted.msg", "", "", "- the budget is approved"},
                    DecodeRow{"02-signed.msg", "", "", "my new phone number is 555-0199"},
                    DecodeRow{"03-public-key.msg", "", "-ka ", "pub Carol Coder <carol@example.com>"},
                    DecodeRow{"04-quoted-reply.msg", ">", "", "- the next meeting is on 10 March"},
                    DecodeRow{"attach\\report.asc", "", "", "Sales rose by 4 per cent."},
                    DecodeRow{"08-inline-utf8.eml", "", "", "Gr\xC3\xBC\xC3\x9F" "e aus K\xC3\xB6ln!"}));

}  // namespace
