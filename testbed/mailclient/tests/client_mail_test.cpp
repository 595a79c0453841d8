// Mail as it arrives today, opened in the running client: the window holds
// the header lines and the texts in the ANSI character set, and every other
// part is a file in the attachment folder, named on a line of its own as
// the module finds it ("Attachment Converted: " and the quoted full path).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "testbed/mailclient/tests/client_session.h"

namespace {

constexpr char kPrefix[] = "Attachment Converted: ";

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// The paths of the attachment lines, quotes removed, in their order.
std::vector<std::string> AttachmentPaths(const std::string& text) {
  std::vector<std::string> paths;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.starts_with(kPrefix)) continue;
    std::string path = line.substr(sizeof kPrefix - 1);
    EXPECT_TRUE(path.size() >= 2 && path.front() == '"' && path.back() == '"') << line;
    paths.push_back(path.substr(1, path.size() - 2));
  }
  return paths;
}

size_t FilesIn(const std::string& folder) {
  std::error_code ignored;
  return static_cast<size_t>(std::distance(std::filesystem::directory_iterator(folder, ignored),
                                           std::filesystem::directory_iterator()));
}

// The client's own conversion of a text to the ANSI code page, for the
// expected window text whatever the code page of the machine.
std::string Ansi(const std::wstring& text) {
  BOOL usedDefault = FALSE;
  const int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), static_cast<int>(text.size()),
                                    nullptr, 0, "?", &usedDefault);
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), static_cast<int>(text.size()), out.data(), n,
                      "?", &usedDefault);
  return out;
}

std::string EncryptedMail(const std::string& armour) {
  return "From: Alice Example <alice@example.org>\r\nTo: Sam Sample <sam@example.org>\r\nSubject: ...\r\n"
         "Date: Mon, 1 Jan 2024 10:00:00 +0100\r\nMIME-Version: 1.0\r\n"
         "Content-Type: multipart/encrypted; protocol=\"application/pgp-encrypted\"; boundary=\"enc\"\r\n\r\n"
         "This is an OpenPGP/MIME encrypted message (RFC 4880 and 3156)\r\n"
         "--enc\r\nContent-Type: application/pgp-encrypted\r\n\r\nVersion: 1\r\n\r\n"
         "--enc\r\nContent-Type: application/octet-stream; name=\"encrypted.asc\"\r\n"
         "Content-Disposition: inline; filename=\"encrypted.asc\"\r\n\r\n" +
         armour + "\r\n--enc--\r\n";
}

class ClientMailTest : public testing::Test {
 protected:
  std::string AttachFolder() const { return session.folder() + "\\attach"; }
  ClientSession session;
};

TEST_F(ClientMailTest, APgpMimeMessageShowsTwoAttachmentLinesAndSavesThePartExactly) {
  const std::string armour =
      "-----BEGIN PGP MESSAGE-----\r\nVersion: 2.6.3i\r\n\r\nUEdQU1RVQg==\r\n=abcd\r\n-----END PGP MESSAGE-----\r\n";
  const std::string path = session.Write("pgp-mime.eml", EncryptedMail(armour));
  const std::string text = session.mail().Text(session.mail().OpenFile(path).window);
  EXPECT_TRUE(text.starts_with("From: Alice Example <alice@example.org>\r\nTo: Sam Sample <sam@example.org>\r\n"
                               "Subject: ...\r\nDate: Mon, 1 Jan 2024 10:00:00 +0100\r\n\r\n"))
      << text;
  EXPECT_EQ(text.find("Version: 1"), std::string::npos) << "the version part is a file, not text";
  const std::vector<std::string> paths = AttachmentPaths(text);
  ASSERT_EQ(paths.size(), 2u) << text;
  EXPECT_EQ(paths[0], AttachFolder() + "\\pgp-encrypted.txt");
  EXPECT_EQ(paths[1], AttachFolder() + "\\encrypted.asc");
  EXPECT_EQ(ReadAll(paths[0]), "Version: 1\r\n");
  EXPECT_EQ(ReadAll(paths[1]), armour);

  // Opened again: the same files, no copies. Another message's part of the
  // same name is numbered, and the first file stays as it was.
  EXPECT_EQ(AttachmentPaths(session.mail().Text(session.mail().OpenFile(path).window)), paths);
  EXPECT_EQ(FilesIn(AttachFolder()), 2u);
  const std::string other = session.Write("other.eml", EncryptedMail("-----BEGIN PGP MESSAGE-----\r\nother\r\n"));
  const std::vector<std::string> otherPaths =
      AttachmentPaths(session.mail().Text(session.mail().OpenFile(other).window));
  ASSERT_EQ(otherPaths.size(), 2u);
  EXPECT_EQ(otherPaths[0], paths[0]) << "identical content is the same file";
  EXPECT_EQ(otherPaths[1], AttachFolder() + "\\encrypted (2).asc");
  EXPECT_EQ(ReadAll(paths[1]), armour);
}

TEST_F(ClientMailTest, TextsAreShownInTheAnsiCharacterSetAndTheHtmlAlternativeIsNot) {
  const std::string path = session.Write(
      "utf8.eml",
      "From: =?UTF-8?Q?J=C3=BCrgen_M=C3=BCller?= <j@example.de>\nTo: sam@example.org\n"
      "Subject: =?utf-8?B?R3LDvMOfZQ==?= aus =?iso-8859-1?q?K=F6ln?=\nMIME-Version: 1.0\n"
      "Content-Type: multipart/mixed; boundary=mix\n\n--mix\n"
      "Content-Type: multipart/alternative; boundary=alt\n\n--alt\n"
      "Content-Type: text/plain; charset=utf-8\nContent-Transfer-Encoding: quoted-printable\n\n"
      "Gr=C3=BC=C3=9Fe aus K=C3=B6ln, =C4=80lice\n--alt\nContent-Type: text/html; charset=utf-8\n\n"
      "<p>HTML</p>\n--alt--\n--mix\nContent-Type: text/plain; charset=ISO-8859-15\n"
      "Content-Transfer-Encoding: base64\n\npCA1MA==\n--mix--\n");
  const uidrive::MailClient::Opened opened = session.mail().OpenFile(path);
  EXPECT_EQ(session.mail().Text(opened.window),
            Ansi(L"From: J\u00fcrgen M\u00fcller <j@example.de>\r\nTo: sam@example.org\r\n"
                 L"Subject: Gr\u00fc\u00dfe aus K\u00f6ln\r\n\r\n"
                 L"Gr\u00fc\u00dfe aus K\u00f6ln, \u0100lice\r\n\u20ac 50"));
  EXPECT_EQ(session.mail().StateOf(opened.window).title, Ansi(L"Gr\u00fc\u00dfe aus K\u00f6ln"));
  EXPECT_EQ(Ansi(L"\u0100"), "?") << "no best fit: a look-alike letter would change the name";
  EXPECT_FALSE(std::filesystem::exists(AttachFolder())) << "nothing to save, no folder made";
}

TEST_F(ClientMailTest, HostileFileNamesStayInTheAttachmentFolderAndOverwriteNothing) {
  session.Write("attach\\keep.txt", "the user's own file");
  std::string message = "Subject: names\nContent-Type: multipart/mixed; boundary=h\n\n";
  for (const char* name : {"..\\..\\evil.txt", "/tmp/evil2.txt", "CON", "C:\\x\\nul.txt", "a.txt:stream",
                           "keep.txt", "dots. . ."})
    message += std::string("--h\nContent-Type: application/octet-stream\nContent-Disposition: attachment; ") +
               "filename=\"" + name + "\"\n\npayload\n";
  message += "--h--\n";
  const std::string path = session.Write("names.eml", message);
  const std::vector<std::string> paths = AttachmentPaths(session.mail().Text(session.mail().OpenFile(path).window));
  std::vector<std::string> names;
  for (const std::string& p : paths) {
    const std::filesystem::path saved(p);
    EXPECT_TRUE(std::filesystem::equivalent(saved.parent_path(), AttachFolder())) << p;
    EXPECT_EQ(ReadAll(p), "payload");
    names.push_back(saved.filename().string());
  }
  EXPECT_EQ(names, (std::vector<std::string>{"evil.txt", "evil2.txt", "_CON", "_nul.txt", "a.txt_stream",
                                             "keep (2).txt", "dots"}));
  EXPECT_EQ(ReadAll(AttachFolder() + "\\keep.txt"), "the user's own file");
  EXPECT_FALSE(std::filesystem::exists(session.folder() + "\\evil.txt"));
}

TEST_F(ClientMailTest, MboxMessagesAreListedAndOpenedOneByOne) {
  session.Write("a.eml", "From: =?utf-8?q?Ann?= <ann@example.org>\nSubject: =?utf-8?q?eml?=\n\nhello\n");
  session.Write("b.mbox",
                "From ann@example.org Mon Jan  1 00:00:00 2024\nFrom: Ann <ann@example.org>\nSubject: one\n\n"
                "first\n\nFrom bob@example.org Mon Jan  1 00:00:00 2024\nFrom: Bob <bob@example.org>\n"
                "Subject: two\n\nsecond\n");
  session.Write("c.msg", "From: Carol <c@example.org>\nSubject: raw\n\n=?utf-8?q?kept?=\n");
  session.Command(ID_FILE_CHECK_MAIL);
  EXPECT_EQ(session.mail().Call({"mailbox", {}}).All("entry"),
            (std::vector<std::string>{"a.eml\tAnn <ann@example.org>\teml", "b.mbox:1\tAnn <ann@example.org>\tone",
                                      "b.mbox:2\tBob <bob@example.org>\ttwo", "c.msg\tCarol <c@example.org>\traw"}));
  HWND list = uidrive::WaitForWindow({uidrive::TextMatch::Exact("ListBox"), {}, session.main()}, 1000);
  SendMessageA(list, LB_SETCURSEL, 2, 0);
  PostMessageA(list, WM_KEYDOWN, VK_RETURN, 1);
  ASSERT_TRUE(WaitFor([&] { return session.mail().Call({"windows", {}}).All("window").size() == 1; }));
  EXPECT_EQ(session.mail().Text(), "From: Bob <bob@example.org>\r\nSubject: two\r\n\r\nsecond\r\n");
  EXPECT_THROW(session.mail().Call(automation::Message{"open", {}}
                                       .Add("file", session.folder() + "\\b.mbox")
                                       .Add("message", "3")),
               uidrive::Failure);
}

// The PGP/MIME sample as the module meets it: the encrypted.asc the client
// saved decodes, with the sample key ring, to a MIME entity with a
// protected Subject, a UTF-8 quoted-printable text and a PDF.
TEST_F(ClientMailTest, TheSamplePgpMimeMessageSavesAPartThatDecodesToItsMimeEntity) {
  const std::string pgp = uidrive::ExecutableDirectory() + "pgp.exe";
  if (GetFileAttributesA(pgp.c_str()) == INVALID_FILE_ATTRIBUTES) GTEST_SKIP() << "no " << pgp;
  const std::string path =
      session.Write("07-pgp-mime.eml", ReadAll(uidrive::ExecutableDirectory() + "mail\\07-pgp-mime.eml"));
  const std::string text = session.mail().Text(session.mail().OpenFile(path).window);
  EXPECT_NE(text.find("\r\nSubject: ...\r\n"), std::string::npos) << text;
  const std::vector<std::string> paths = AttachmentPaths(text);
  ASSERT_EQ(paths.size(), 2u) << text;
  ASSERT_EQ(paths[1], AttachFolder() + "\\encrypted.asc");

  session.Write("pgp\\keyring.txt", "pub Sam Sample <sam@example.org>\nsec Sam Sample <sam@example.org> sam-secret\n");
  SetEnvironmentVariableA("PGPPATH", (session.folder() + "\\pgp").c_str());
  SetEnvironmentVariableA("PGPPASS", "sam-secret");
  const uidrive::RunResult run = uidrive::RunCaptured("\"" + pgp + "\" \"" + paths[1] + "\"");
  SetEnvironmentVariableA("PGPPATH", nullptr);
  SetEnvironmentVariableA("PGPPASS", nullptr);
  ASSERT_EQ(run.exitCode, 0u) << run.out << run.err;
  const std::string entity = ReadAll(AttachFolder() + "\\encrypted");
  for (const char* part : {"Content-Type: multipart/mixed; protected-headers=\"v1\";", "\r\nSubject: =?utf-8?",
                           "charset=\"utf-8\"\r\nContent-Transfer-Encoding: quoted-printable\r\n",
                           "Gr=C3=BC=C3=9Fe aus K=C3=B6ln!", "Content-Type: application/pdf\r\n",
                           "filename=\"contract.pdf\"", "\r\n\r\nJVBERi0xLjQK"})
    EXPECT_NE(entity.find(part), std::string::npos) << part << "\n" << entity;
}

}  // namespace
