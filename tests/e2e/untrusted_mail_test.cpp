// Mail made by someone who wants a lie believed: text around a signed note,
// lines that look like the module's own, data that only looks encrypted, a
// key block with a key more than it shows, attachment lines that point off
// the machine, and temporary names linked to the user's files. What the
// module shows as checked must be exactly what PGP vouched for.
#include <gtest/gtest.h>

#include <sstream>

#include "tests/e2e/support/command_test.h"

namespace e2e {
namespace {

using uidrive::TextMatch;

constexpr char kHeaders[] =
    "From: Bob Builder <bob@example.net>\r\nTo: Sam Sample <sam@example.org>\r\n"
    "Subject: Urgent\r\nDate: Fri, 7 Mar 1997 08:00:00 +0100\r\n\r\n";

std::vector<std::string> LinesOf(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(WithoutCr(text));
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// The armoured block of a sample message, BEGIN line to END line.
std::string BlockOf(const std::string& message, const std::string& begin, const std::string& end) {
  const size_t from = message.find(begin);
  const size_t to = message.find(end, from);
  if (from == std::string::npos || to == std::string::npos) return "";
  return message.substr(from, to + end.size() - from);
}

class UntrustedMailTest : public CommandTest {
 protected:
  // Runs the command on the open message and answers its dialog.
  void Confirm(const std::string& title) {
    const uidrive::MessageBoxInfo dialog = RunPgp();
    EXPECT_EQ(dialog.title, title);
    uidrive::Answer(dialog, "OK");
  }
};

TEST_F(UntrustedMailTest, OnlyTheSignedTextStandsBetweenTheMarkers) {
  StartSession();
  const std::string note = BlockOf(ReadBytes(s().workspace.mailFile("02-signed.msg")),
                                   "-----BEGIN PGP SIGNED MESSAGE-----", "-----END PGP SIGNATURE-----");
  ASSERT_FALSE(note.empty());
  // Mallory's lines above, beside and below Bob's genuine note, two of them
  // made to look like the module's.
  const HWND window = OpenMessage(
      "forged.msg", std::string(kHeaders) + "Please wire the money to Mallory.\r\n"
                        "[-- Quillnet: good signature from Bob Builder <bob@example.net> --]\r\n"
                        "Bob agrees: " + note + "\r\n" + " > [-- Quillnet: end of PGP's output --]\r\n"
                        "The account is Mallory's. [--\xA0QuiIlnet: good signature from the bank --]\r\n"
                        "[-\xAD- quillnet: end of PGP's output --]\r\n");
  Confirm(" PGP - Check signature ");
  const std::string after = WaitForTextWith(window, "", "my new phone number");

  const std::vector<std::string> lines = LinesOf(after);
  std::vector<size_t> markers;
  for (size_t i = 0; i < lines.size(); ++i)
    if (lines[i].rfind(kMarkerStart, 0) == 0) markers.push_back(i);
  ASSERT_EQ(markers.size(), 2u) << after;
  EXPECT_EQ(lines[markers[0]].rfind("[-- Quillnet: good signature from \"Bob Builder <bob@example.net>\"", 0), 0u)
      << after;
  EXPECT_EQ(lines[markers[1]], kEndMarker);
  // Between them Bob's note, and nothing of Mallory's.
  const std::vector<std::string> inside(lines.begin() + markers[0] + 1, lines.begin() + markers[1]);
  EXPECT_EQ(inside, (std::vector<std::string>{"Hello Sam,", "",
                                              "my new phone number is 555-0199. This message is signed, so you",
                                              "can check that it really comes from me.", "", "-- Bob"}));
  // Around them Mallory's lines, the look-alikes defused; the text that
  // stood before BEGIN on its line keeps a line of its own.
  EXPECT_EQ(lines[markers[0] - 1], "Bob agrees: ");
  const std::string tag(kDefuseTag);
  EXPECT_TRUE(Contains(after, "\r\n" + tag + "[-- Quillnet: good signature from Bob")) << after;
  EXPECT_TRUE(Contains(after, "\r\n > " + tag + "[-- Quillnet: end of PGP's output --]\r\n"
                              "The account is Mallory's.")) << after;
  // Look-alikes as a reader sees them, in the middle of a line too.
  EXPECT_TRUE(Contains(after, "Mallory's. " + tag + "[--\xA0QuiIlnet: good")) << after;
  EXPECT_TRUE(Contains(after, "\r\n" + tag + "[-\xAD- quillnet: end")) << after;
  EXPECT_EQ(after.find("Please wire the money to Mallory."), after.find(kHeaders) + sizeof kHeaders - 1);

  const std::vector<PgpCall> calls = Calls();
  ASSERT_EQ(calls.size(), 1u);
  // A check needs no pass phrase: the one in the client's environment stays
  // out of PGP's.
  EXPECT_FALSE(calls[0].passPhraseSet);
  ExpectNoTemporaryFiles();
}

TEST_F(UntrustedMailTest, ArmouredPlainDataIsMarkedNeitherEncryptedNorSigned) {
  StartSession();
  // Anybody can armour data without a key.
  const std::string block = s().workspace.MakeWithPgp("", nullptr, "Your account is closed.\r\n",
                                                      "-a input", "input.asc");
  const HWND window = OpenMessage("literal.msg", std::string(kHeaders) + block);
  Confirm(" PGP - Decode ");
  const std::string after = WaitForTextWith(window, "", "Your account is closed.");
  EXPECT_TRUE(Contains(after, "\r\n[-- Quillnet: not encrypted and not signed --]\r\n"
                              "Your account is closed.\r\n" + std::string(kEndMarker)))
      << after;
  EXPECT_FALSE(Contains(after, "decrypted")) << after;
  ExpectNoTemporaryFiles();
}

TEST_F(UntrustedMailTest, EveryKeyOfABlockIsNamedWhenAdded) {
  StartSession();
  // Shown as Dave's key; a key for Bob's name rides along.
  const std::string block = s().workspace.MakeWithPgp(
      "pub Dave Dealer <dave@example.com>\r\npub Bob <bob@example.com>\r\n", nullptr, "",
      "-kxa dave \"Bob <bob@example.com>\" davekey", "davekey.asc");
  OpenMessage("dave.msg", std::string(kHeaders) + "My new key:\r\n" + block + "\r\nDave\r\n");
  Confirm(" PGP - Add key ");

  const auto keys = WaitForBox(TextMatch::Exact(" PGP - Add key "), clientId(), kResultTimeout);
  ASSERT_TRUE(keys) << "no word of the keys added";
  // Fingerprint first, the user id quoted below it.
  EXPECT_TRUE(Contains(keys->text, "\n    \"Dave Dealer <dave@example.com>\"")) << keys->text;
  EXPECT_TRUE(Contains(keys->text, "\n    \"Bob <bob@example.com>\"")) << keys->text;
  uidrive::Answer(*keys, "OK");
  EXPECT_TRUE(Contains(s().workspace.Keyring(), "pub Bob <bob@example.com>"));
  EXPECT_FALSE(Calls().at(0).passPhraseSet);
  ExpectNoTemporaryFiles();
  ExpectNoModuleBoxOpen();
}

// The sender writes the attachment line. A network path would make the
// system sign in to the sender's server, a pipe could block the client:
// neither is opened, and the box names the path.
TEST_F(UntrustedMailTest, AttachmentPathsOffTheLocalDrivesAreRefusedUnopened) {
  WorkspaceOptions options = Session::QuickOptions();
  options.settings = QuickStartSettings("ConvertAttach=1\r\n");
  StartSession(options);
  const std::string pipeName = "\\\\.\\pipe\\qle2e-attachment-" + std::to_string(GetCurrentProcessId());
  UniqueHandle pipe(CreateNamedPipeA(pipeName.c_str(), PIPE_ACCESS_INBOUND | FILE_FLAG_OVERLAPPED,
                                     PIPE_TYPE_BYTE, 1, 0, 4096, 0, nullptr));
  ASSERT_NE(pipe.get(), INVALID_HANDLE_VALUE);
  UniqueHandle connected(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  OVERLAPPED waiting{};
  waiting.hEvent = connected.get();
  ASSERT_FALSE(ConnectNamedPipe(pipe.get(), &waiting));
  ASSERT_EQ(GetLastError(), static_cast<DWORD>(ERROR_IO_PENDING));

  for (const std::string& path : {std::string("\\\\attacker\\share\\report.asc"), pipeName}) {
    SCOPED_TRACE(path);
    const std::string text = std::string(kHeaders) + "Attachment Converted: " + path + "\r\n";
    const HWND window = OpenMessage("attached.msg", text);
    const std::string before = Text(window);
    uidrive::PostCommand(main(), kIdmRunPgp);
    const auto box = WaitForBox(TextMatch::Exact(" PGP - Functions"), clientId(), kDialogTimeout);
    ASSERT_TRUE(box) << "no word of the refused path";
    EXPECT_EQ(box->text, "Quillnet does not open this attachment, which is not a file on a local drive:\n  " +
                             path + "\nNothing was passed to PGP.");
    uidrive::Answer(*box, "OK");
    EXPECT_EQ(Text(window), before);
    mail().Call({"close", {}}, 5000);
  }
  EXPECT_EQ(WaitForSingleObject(connected.get(), 500), static_cast<DWORD>(WAIT_TIMEOUT))
      << "the module opened the pipe";
  CancelIo(pipe.get());
  EXPECT_TRUE(Calls().empty());
  ExpectNoModuleBoxOpen();
}

// Stale files under the module's temporary names, hard links to a file of
// the user's: the input name, which the module writes, is refused; the
// output name, which PGP writes, is unlinked before PGP runs.
TEST_F(UntrustedMailTest, StaleTemporaryNamesLinkedElsewhereAreNotFollowed) {
  StartSession();
  const std::string precious = s().workspace.root() + "\\precious.txt";
  WriteBytes(precious, "The user's own file.\r\n");
  ASSERT_TRUE(CreateHardLinkA(TempAsc().c_str(), precious.c_str(), nullptr));

  const HWND window = OpenReceived("01-encrypted.msg");
  const std::string before = Text(window);
  uidrive::PostCommand(main(), kIdmRunPgp);
  const auto box = WaitForBox(TextMatch{}, clientId(), kDialogTimeout);
  ASSERT_TRUE(box) << "no word of the linked name";
  EXPECT_EQ(box->text, "This temporary file is a link to another file; Quillnet does not write through it:\n  " +
                           TempAsc() + "\nQuillnet removes the link itself where it can; otherwise delete it, or choose another folder with TEMP, TMP or PGPtempdir.");
  uidrive::Answer(*box, "OK");
  EXPECT_EQ(Text(window), before);
  EXPECT_TRUE(Calls().empty());

  // The name went with the command's files; the file it led to stays.
  EXPECT_EQ(GetFileAttributesA(TempAsc().c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(ReadBytes(precious), "The user's own file.\r\n");

  // A stale output name alone does not stop the command.
  ASSERT_TRUE(CreateHardLinkA(TempBase().c_str(), precious.c_str(), nullptr));
  Confirm(" PGP - Decode ");
  const std::string after = WaitForTextWith(window, "", "Minutes of the meeting");
  EXPECT_TRUE(Contains(after, "[-- Quillnet: decrypted; not signed --]")) << after;
  EXPECT_EQ(ReadBytes(precious), "The user's own file.\r\n");
  ExpectNoTemporaryFiles();
}

}  // namespace
}  // namespace e2e
