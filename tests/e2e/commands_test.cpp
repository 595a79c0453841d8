// "Run PGP" in the running client, from the menu command and from the
// toolbar button: decoding, checking, adding a key, encrypting and
// clearsigning, with what reached PGP (its call log), what came back into
// the window, the client's Undo, the kept pass phrase, and no temporary
// file left behind.
#include <gtest/gtest.h>

#include "tests/e2e/support/command_test.h"

namespace e2e {
namespace {

using uidrive::TextMatch;

// The plain text of the sample folder's encrypted notes.
constexpr char kDecodedNotes[] =
    "Minutes of the meeting on 3 March 1997\n\n- the budget is approved\n"
    "- the next meeting is on 10 March\n";

TEST_F(CommandTest, DecodesAReceivedMessageInPlace) {
  StartSession();
  const HWND window = OpenReceived("01-encrypted.msg");
  const std::string before = Text(window);

  const uidrive::MessageBoxInfo dialog = RunPgp();
  EXPECT_EQ(dialog.title, " PGP - Decode ");
  EXPECT_EQ(uidrive::GetText(GetDlgItem(dialog.handle, kPreviewId)).rfind("-----BEGIN PGP MESSAGE-----", 0),
            0u);
  uidrive::Answer(dialog, "OK");

  const std::string after = WaitForTextWith(window, "", "Minutes of the meeting on 3 March 1997");
  EXPECT_TRUE(Contains(WithoutCr(after), kDecodedNotes)) << after;
  EXPECT_FALSE(Contains(after, "-----BEGIN PGP")) << after;
  // The block alone is replaced, by PGP's output between the module's
  // lines: what stood around it stays, outside them.
  EXPECT_EQ(TextBefore(after, kMarkerStart), TextBefore(before, "-----BEGIN PGP MESSAGE-----"));
  EXPECT_TRUE(Contains(after, "[-- Quillnet: decrypted; not signed --]\r\nMinutes")) << after;
  EXPECT_EQ(TextAfter(after, kEndMarker), TextAfter(before, "-----END PGP MESSAGE-----"));

  const std::vector<PgpCall> calls = Calls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].commandLine, Pgp() + "  " + TempAsc());
  EXPECT_TRUE(calls[0].passPhraseSet);
  EXPECT_EQ(calls[0].exit, "0");
  ExpectNoTemporaryFiles();
  ExpectNoModuleBoxOpen();
}

TEST_F(CommandTest, ChecksAClearSignedMessage) {
  StartSession();
  const HWND window = OpenReceived("02-signed.msg");

  const uidrive::MessageBoxInfo dialog = RunPgp();
  EXPECT_EQ(dialog.title, " PGP - Check signature ");
  uidrive::Answer(dialog, "OK");

  const std::string after = WaitForTextWith(window, "", "my new phone number is 555-0199");
  EXPECT_FALSE(Contains(after, "-----BEGIN PGP")) << after;
  EXPECT_FALSE(Contains(after, "- -- Bob")) << after;  // dash escaping undone
  EXPECT_TRUE(Contains(after, "\r\n-- Bob")) << after;
  EXPECT_TRUE(Contains(after, "Subject: Signed: new phone number")) << after;
  EXPECT_TRUE(Contains(after, "\r\n[-- Quillnet: good signature from \"Bob Builder <bob@example.net>\", key "))
      << after;

  const std::vector<PgpCall> calls = Calls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].commandLine, Pgp() + "  " + TempAsc());
  EXPECT_EQ(calls[0].exit, "0");
  ExpectNoTemporaryFiles();
  ExpectNoModuleBoxOpen();
}

TEST_F(CommandTest, AddsAPublicKeyToTheKeyring) {
  WorkspaceOptions options = Session::QuickOptions();
  options.keyring = KeyringWithoutCarol();
  StartSession(options);
  const HWND window = OpenReceived("03-public-key.msg");
  const std::string before = Text(window);
  ASSERT_FALSE(Contains(s().workspace.Keyring(), kCarolUserId));

  const uidrive::MessageBoxInfo dialog = RunPgp();
  EXPECT_EQ(dialog.title, " PGP - Add key ");
  uidrive::Answer(dialog, "OK");

  // Every key PGP added is named, with its fingerprint.
  const auto keys = WaitForBox(TextMatch::Exact(" PGP - Add key "), clientId(), kResultTimeout);
  ASSERT_TRUE(keys) << "no word of the keys added";
  EXPECT_TRUE(Contains(keys->text, std::string("\n    \"") + kCarolUserId + "\"")) << keys->text;
  uidrive::Answer(*keys, "OK");
  ASSERT_TRUE(WaitUntil([&] { return Contains(s().workspace.Keyring(), kCarolUserId); }, kResultTimeout))
      << s().workspace.Keyring();
  const std::vector<PgpCall> calls = Calls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].commandLine, Pgp() + " -ka " + TempAsc());
  EXPECT_EQ(calls[0].exit, "0");
  // Adding a key delivers nothing into the window.
  EXPECT_EQ(Text(window), before);
  ExpectNoTemporaryFiles();
  ExpectNoModuleBoxOpen();
}

TEST_F(CommandTest, EncryptsACompositionForToAndCcAndDecodesItBack) {
  StartSession();
  const std::string body = "Dear Sam,\r\nthe plan stands.\r\nBob";
  const auto composition =
      mail().Compose({"Sam Sample <sam@example.org>, bob@example.net", "carol@example.com", "",
                      "The plan", body});
  mail().FocusField("body", composition.window);

  uidrive::MessageBoxInfo dialog = RunPgp();
  EXPECT_EQ(dialog.title, " PGP - Encrypt ");
  EXPECT_EQ(uidrive::GetText(GetDlgItem(dialog.handle, kEncryptForId)),
            "sam@example.org bob@example.net carol@example.com");
  uidrive::Answer(dialog, "OK");

  const std::string armoured = WaitForTextWith(composition.window, "body", "-----END PGP MESSAGE-----");
  EXPECT_EQ(armoured.rfind("-----BEGIN PGP MESSAGE-----", 0), 0u) << armoured;
  EXPECT_FALSE(Contains(armoured, "the plan stands")) << armoured;
  std::vector<PgpCall> calls = Calls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].commandLine,
            Pgp() + " -aetw " + TempBase() + " sam@example.org bob@example.net carol@example.com");
  EXPECT_EQ(calls[0].exit, "0");
  ExpectNoTemporaryFiles();

  // The armour in the body is now a message for Sam: the same command decodes it.
  mail().FocusField("body", composition.window);
  dialog = RunPgp();
  EXPECT_EQ(dialog.title, " PGP - Decode ");
  uidrive::Answer(dialog, "OK");
  const std::string decoded = WaitForTextWith(composition.window, "body", "the plan stands");
  // The line end after the armour is not part of the block, so it stays
  // after the end line.
  EXPECT_EQ(decoded, std::string("[-- Quillnet: decrypted; not signed --]\r\n") + body + "\r\n" +
                         kEndMarker + TextAfter(armoured, "-----END PGP MESSAGE-----"));
  calls = Calls();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[1].commandLine, Pgp() + "  " + TempAsc());
  ExpectNoTemporaryFiles();
  ExpectNoModuleBoxOpen();
}

TEST_F(CommandTest, ClearsignsACompositionWithoutRecipients) {
  StartSession();
  const std::string body = "Notes for everyone.\r\n-- Sam";
  const auto composition = mail().Compose({"", "", "", "Notes", body});
  mail().FocusField("body", composition.window);

  const uidrive::MessageBoxInfo dialog = RunPgp();
  EXPECT_EQ(dialog.title, " PGP - Clearsign ");
  EXPECT_EQ(uidrive::GetText(GetDlgItem(dialog.handle, kEncryptForId)), "");
  uidrive::Answer(dialog, "OK");

  const std::string signedText =
      WaitForTextWith(composition.window, "body", "-----END PGP SIGNATURE-----");
  EXPECT_EQ(signedText.rfind("-----BEGIN PGP SIGNED MESSAGE-----", 0), 0u) << signedText;
  EXPECT_TRUE(Contains(signedText, "Notes for everyone.\r\n- -- Sam")) << signedText;
  const std::vector<PgpCall> calls = Calls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].commandLine, Pgp() + " -ast +clearsig=on " + TempBase());
  EXPECT_TRUE(calls[0].passPhraseSet);
  EXPECT_EQ(calls[0].exit, "0");
  ExpectNoTemporaryFiles();
  ExpectNoModuleBoxOpen();
}

// Recipients as people write them today: six of 45 characters pass every
// fixed buffer a recipient list once had (111 characters, a field read with
// 255), and all six reach PGP whole.
TEST_F(CommandTest, EncryptsForSixLongRecipientsAllWhole) {
  WorkspaceOptions options = Session::QuickOptions();
  std::string to;
  std::string addresses;
  for (int i = 1; i <= 6; ++i) {
    const std::string address =
        "recipient.number." + std::to_string(i) + "@long-domain-name.example.org";
    ASSERT_EQ(address.size(), 47u);
    const std::string userId = "Recipient Number " + std::to_string(i) + " <" + address + ">";
    options.keyring += "pub " + userId + "\r\n";
    to += (i > 1 ? ", " : "") + userId;
    addresses += (i > 1 ? " " : "") + address;
  }
  StartSession(options);
  const auto composition = mail().Compose({to, "", "", "For all six", "The plan stands."});
  mail().FocusField("body", composition.window);

  const uidrive::MessageBoxInfo dialog = RunPgp();
  EXPECT_EQ(dialog.title, " PGP - Encrypt ");
  EXPECT_EQ(uidrive::GetText(GetDlgItem(dialog.handle, kEncryptForId)), addresses);
  uidrive::Answer(dialog, "OK");

  const std::string armoured = WaitForTextWith(composition.window, "body", "-----END PGP MESSAGE-----");
  EXPECT_EQ(armoured.rfind("-----BEGIN PGP MESSAGE-----", 0), 0u) << armoured;
  const std::vector<PgpCall> calls = Calls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].commandLine, Pgp() + " -aetw " + TempBase() + " " + addresses);
  EXPECT_EQ(calls[0].exit, "0");
  ExpectNoTemporaryFiles();
  ExpectNoModuleBoxOpen();
}

// The longest temporary folder start-up accepts (its armoured name takes
// all 127 characters) serves every command: decode, check, add a key,
// clearsign and encrypt.
TEST_F(CommandTest, EveryCommandWorksInTheLongestAcceptedTemporaryFolder) {
  WorkspaceOptions options = Session::QuickOptions();
  options.keyring = KeyringWithoutCarol();
  std::string folder;
  StartSession(options, [&](Workspace& workspace) {
    folder = workspace.root() + "\\";
    folder += std::string(114 - folder.size(), 'l');
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr)) << folder;
    const std::string settings = workspace.app() + "\\QLNET.INI";
    WriteBytes(settings, ReadBytes(settings) + "[PGP settings]\r\nPGPtempdir=" + folder + "\r\n");
  });
  ASSERT_EQ(folder.size(), 114u);
  const std::string base = folder + "\\quillnet";
  const std::string asc = base + ".asc";
  ASSERT_EQ(asc.size(), 127u);

  struct Step {
    const char* title;
    std::string commandLine;
    const char* shown;  // in the window afterwards
  };
  const Step received[] = {
      {" PGP - Decode ", Pgp() + "  " + asc, "Minutes of the meeting on 3 March 1997"},
      {" PGP - Check signature ", Pgp() + "  " + asc, "my new phone number is 555-0199"},
  };
  const char* const files[] = {"01-encrypted.msg", "02-signed.msg"};
  for (size_t i = 0; i < 2; ++i) {
    SCOPED_TRACE(files[i]);
    const HWND window = OpenReceived(files[i]);
    const uidrive::MessageBoxInfo dialog = RunPgp();
    EXPECT_EQ(dialog.title, received[i].title);
    uidrive::Answer(dialog, "OK");
    WaitForTextWith(window, "", received[i].shown);
    mail().Call({"close", {}}, 5000);
  }

  OpenReceived("03-public-key.msg");
  uidrive::Answer(RunPgp(), "OK");
  const auto keys = WaitForBox(TextMatch::Exact(" PGP - Add key "), clientId(), kResultTimeout);
  ASSERT_TRUE(keys) << "no word of the keys added";
  uidrive::Answer(*keys, "OK");
  EXPECT_TRUE(WaitUntil([&] { return Contains(s().workspace.Keyring(), kCarolUserId); }, kResultTimeout));
  mail().Call({"close", {}}, 5000);

  const auto notes = mail().Compose({"", "", "", "Notes", "Notes for everyone."});
  mail().FocusField("body", notes.window);
  uidrive::MessageBoxInfo dialog = RunPgp();
  EXPECT_EQ(dialog.title, " PGP - Clearsign ");
  uidrive::Answer(dialog, "OK");
  WaitForTextWith(notes.window, "body", "-----END PGP SIGNATURE-----");

  const auto letter = mail().Compose({kSamUserId, "", "", "The plan", "The plan stands."});
  mail().FocusField("body", letter.window);
  dialog = RunPgp();
  EXPECT_EQ(dialog.title, " PGP - Encrypt ");
  uidrive::Answer(dialog, "OK");
  WaitForTextWith(letter.window, "body", "-----END PGP MESSAGE-----");

  const std::vector<PgpCall> calls = Calls();
  ASSERT_EQ(calls.size(), 5u);
  EXPECT_EQ(calls[0].commandLine, received[0].commandLine);
  EXPECT_EQ(calls[1].commandLine, received[1].commandLine);
  EXPECT_EQ(calls[2].commandLine, Pgp() + " -ka " + asc);
  EXPECT_EQ(calls[3].commandLine, Pgp() + " -ast +clearsig=on " + base);
  EXPECT_EQ(calls[4].commandLine, Pgp() + " -aetw " + base + " sam@example.org");
  for (const PgpCall& call : calls) EXPECT_EQ(call.exit, "0") << call.commandLine;
  // Nothing of the five runs is left in the folder, verdict files included.
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((folder + "\\*.*").c_str(), &found);
  std::vector<std::string> left;
  if (search != INVALID_HANDLE_VALUE) {
    do {
      if (std::string(found.cFileName) != "." && std::string(found.cFileName) != "..")
        left.push_back(found.cFileName);
    } while (FindNextFileA(search, &found));
    FindClose(search);
  }
  EXPECT_TRUE(left.empty()) << testing::PrintToString(left);
  ExpectNoModuleBoxOpen();
}

TEST_F(CommandTest, DecodesAQuotedBlockInAReplyWithTheQuoteMarksBack) {
  StartSession();
  OpenReceived("01-encrypted.msg");
  uidrive::PostCommand(main(), kClientReply);
  ASSERT_TRUE(WaitUntil([&] {
    try {
      return mail().StateOf().kind == "composition";
    } catch (const uidrive::Failure&) {
      return false;
    }
  }, 10000));
  const HWND reply = mail().StateOf().window;
  const std::string quoted = Text(reply, "body");
  ASSERT_TRUE(Contains(quoted, ">-----BEGIN PGP MESSAGE-----")) << quoted;
  mail().FocusField("body", reply);

  const uidrive::MessageBoxInfo dialog = RunPgp();
  EXPECT_EQ(dialog.title, " PGP - Decode ");
  uidrive::Answer(dialog, "OK");

  const std::string after = WaitForTextWith(reply, "body", "Minutes of the meeting");
  EXPECT_TRUE(Contains(WithoutCr(after), std::string(">Minutes of the meeting on 3 March 1997\n>\n"
                                                     ">- the budget is approved\n"
                                                     ">- the next meeting is on 10 March\n>") +
                                             kEndMarker + "\n>\n>Alice"))
      << after;
  EXPECT_FALSE(Contains(after, "BEGIN PGP")) << after;
  // The module's lines are quoted like the lines they enclose.
  EXPECT_EQ(TextBefore(after, std::string(">") + kMarkerStart),
            TextBefore(quoted, ">-----BEGIN PGP MESSAGE-----"));
  EXPECT_TRUE(Contains(after, ">[-- Quillnet: decrypted; not signed --]\r\n>Minutes")) << after;
  ExpectNoTemporaryFiles();
}

TEST_F(CommandTest, ClientUndoSwapsThePreviousTextBackAndForth) {
  StartSession();
  const std::string body = "Meet me at noon.";
  const auto composition = mail().Compose({"sam@example.org", "", "", "Noon", body});
  mail().FocusField("body", composition.window);
  uidrive::Answer(RunPgp(), "OK");
  const std::string armoured =
      WaitForTextWith(composition.window, "body", "-----END PGP MESSAGE-----");
  ASSERT_TRUE(Contains(armoured, "-----BEGIN PGP MESSAGE-----"));

  // The client's Edit > Undo reaches its main window as a command.
  uidrive::SendCommand(main(), kClientUndo, 0, 10000);
  EXPECT_EQ(WaitForText(mail(), composition.window, "body",
                        [&](const std::string& t) { return t == body; }, 5000),
            body);
  uidrive::SendCommand(main(), kClientUndo, 0, 10000);
  EXPECT_EQ(WaitForText(mail(), composition.window, "body",
                        [&](const std::string& t) { return t == armoured; }, 5000),
            armoured);

  // In a received message too, though its window is read-only.
  const HWND window = OpenReceived("01-encrypted.msg");
  const std::string encrypted = Text(window);
  uidrive::Answer(RunPgp(), "OK");
  const std::string decoded = WaitForTextWith(window, "", "Minutes of the meeting");
  uidrive::SendCommand(main(), kClientUndo, 0, 10000);
  EXPECT_EQ(WaitForText(mail(), window, "", [&](const std::string& t) { return t == encrypted; }, 5000),
            encrypted);
  EXPECT_EQ(Calls().size(), 2u);
  ExpectNoModuleBoxOpen();
}

TEST_F(CommandTest, ToolbarButtonRunsTheCommandOnlyWhenReleasedOverIt) {
  StartSession();
  ASSERT_TRUE(WaitUntil([&] { return Button(main()) != nullptr; }, 10000));
  const HWND button = Button(main());
  RECT face{};
  GetClientRect(button, &face);
  const POINT middle{face.right / 2, face.bottom / 2};
  const HWND window = OpenReceived("01-encrypted.msg");
  const std::string before = Text(window);

  // Pressed on the button, released off it: nothing.
  PostMessageA(button, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(middle.x, middle.y));
  PostMessageA(button, WM_LBUTTONUP, 0, MAKELPARAM(face.right + 40, middle.y));
  EXPECT_FALSE(WaitForBox(TextMatch::Prefix(" PGP - "), clientId(), 1500));

  // A click on it: the command, with its dialog.
  mail().FocusField("view", window);
  uidrive::Click(button, middle);
  const auto dialog = WaitForBox(TextMatch::Prefix(" PGP - "), clientId(), kDialogTimeout);
  ASSERT_TRUE(dialog) << "the button did not run the command";
  EXPECT_EQ(dialog->title, " PGP - Decode ");
  uidrive::Answer(*dialog, "Cancel");

  EXPECT_TRUE(Calls().empty());
  EXPECT_EQ(Text(window), before);
  ExpectNoTemporaryFiles();
}

TEST_F(CommandTest, KeptPasswordIsAskedForOnceAndReachesPgpBothTimes) {
  WorkspaceOptions options = Session::QuickOptions();
  options.settings = QuickStartSettings("[PGP settings]\r\nKeepPassword=1\r\n");
  options.passPhraseInEnvironment = false;
  StartSession(options);

  HWND window = OpenReceived("01-encrypted.msg");
  uidrive::Answer(RunPgp(), "OK");
  const auto ask = WaitForBox(TextMatch::Exact("Quillnet - Enter Password"), clientId(), kDialogTimeout);
  ASSERT_TRUE(ask) << "no pass-phrase dialog";
  uidrive::SetText(GetDlgItem(ask->handle, kPassPhraseId), kSamPassPhrase);
  uidrive::Answer(*ask, "OK");
  WaitForTextWith(window, "", "Minutes of the meeting");
  ExpectNoTemporaryFiles();

  // The second decode finds the pass phrase kept.
  window = OpenReceived("01-encrypted.msg");
  uidrive::Answer(RunPgp(), "OK");
  bool asked = false;
  const std::string second = WaitForText(mail(), window, "", [&](const std::string& t) {
    asked = asked || WaitForBox(TextMatch::Exact("Quillnet - Enter Password"), clientId(), 0);
    if (asked) {
      if (auto box = WaitForBox(TextMatch::Exact("Quillnet - Enter Password"), clientId(), 0))
        uidrive::Answer(*box, "Cancel");
    }
    return Contains(t, "Minutes of the meeting");
  }, kResultTimeout).value_or("");
  EXPECT_FALSE(asked) << "the pass phrase was asked for again";
  EXPECT_TRUE(Contains(second, "Minutes of the meeting")) << second;

  const std::vector<PgpCall> calls = Calls();
  ASSERT_EQ(calls.size(), 2u);
  for (const PgpCall& call : calls) {
    EXPECT_TRUE(call.passPhraseSet) << call.commandLine;
    EXPECT_EQ(call.exit, "0");
  }
  ExpectNoTemporaryFiles();
}

// PGP's failures reach the user in one box; the message stays as it was and
// the temporary files go all the same.
struct FailureCase {
  const char* name;
  const char* fault;
  const char* expectedText;  // {asc} and {base} stand for the temporary files
  const char* exit;
};

class PgpFailureTest : public CommandTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(PgpFailureTest, IsReportedAndLeavesTheMessageAlone) {
  const FailureCase c = GetParam();
  WorkspaceOptions options = Session::QuickOptions();
  options.pgpFault = c.fault;
  StartSession(options);
  const HWND window = OpenReceived("01-encrypted.msg");
  const std::string before = Text(window);

  uidrive::Answer(RunPgp(), "OK");
  const auto box = WaitForBox(TextMatch::Exact(" PGP - Decode "), clientId(), kResultTimeout);
  ASSERT_TRUE(box) << "no failure box";
  std::string expected = c.expectedText;
  if (const size_t at = expected.find("{base}"); at != std::string::npos)
    expected.replace(at, 6, TempBase());
  EXPECT_EQ(box->text, expected);
  uidrive::Answer(*box, "OK");

  ExpectNoTemporaryFiles();
  EXPECT_EQ(Text(window), before);
  const std::vector<PgpCall> calls = Calls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].exit, c.exit);
  ExpectNoModuleBoxOpen();
}

INSTANTIATE_TEST_SUITE_P(
    Faults, PgpFailureTest,
    ::testing::Values(FailureCase{"ExitCode", "exit=31", " PGP returned errorcode: 31", "31"},
                      FailureCase{"NoOutput", "nooutput", "File not found:\n  {base}", "0"},
                      FailureCase{"EmptyOutput", "empty", "File has no or invalid data:\n  {base}", "0"}),
    [](const auto& info) { return std::string(info.param.name); });

// A close request while a command's dialog is open waits for the command:
// the module leaves after it, then the client closes.
TEST_F(CommandTest, ClosingTheClientDuringACommandWaitsForItsEnd) {
  StartSession();
  OpenReceived("01-encrypted.msg");
  const uidrive::MessageBoxInfo dialog = RunPgp();
  uidrive::PostClose(main());
  EXPECT_FALSE(s().quillnet.client().WaitForExit(1000)) << "the client closed under the dialog";
  EXPECT_TRUE(IsWindow(dialog.handle));
  uidrive::Answer(dialog, "OK");

  const std::optional<DWORD> launcher = s().quillnet.launcher().WaitForExit(kResultTimeout);
  ASSERT_TRUE(launcher) << "the launcher did not end";
  EXPECT_EQ(*launcher, 0u);
  const std::optional<DWORD> client = s().quillnet.client().WaitForExit(kResultTimeout);
  ASSERT_TRUE(client) << "the client did not close";
  EXPECT_EQ(*client, 0u);
  const std::vector<PgpCall> calls = Calls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].exit, "0");
  EXPECT_TRUE(s().workspace.TempFiles().empty());
}

}  // namespace
}  // namespace e2e
