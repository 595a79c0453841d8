// "Run PGP" end to end inside a small mail client of the test's own: the
// real capture, scanner, confirmation dialog, runner and delivery, with
// pgp.exe (the stand-in) behind them and every dialog and box answered by
// the test. Each test ends with both temporary files gone from the disk.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <ostream>
#include <new>
#include <string>
#include <vector>

#include "command/run_pgp_driver.h"
#include "command/run_pgp_driver_win.h"
#include "command/text_capture_win.h"
#include "common/handles_win.h"
#include "core/module_win.h"
#include "core/window_procedure_win.h"
#include "host/menus.h"
#include "resources/resource_ids.h"
#include "runner/temp_files_win.h"
#include "settings/settings_file_win.h"
#include "tests/win/support/clipboard_text.h"
#include "tests/win/support/dialog_answerer.h"
#include "tests/win/support/fake_client.h"
#include "tests/win/support/pgp_fixture.h"
#include "tests/win/support/scratch_files.h"
#include "tests/win/support/test_state.h"

namespace {

using fake_client::FakeClient;

constexpr char kDecodeTitle[] = " PGP - Decode ";
constexpr char kCheckTitle[] = " PGP - Check signature ";
constexpr char kEncryptTitle[] = " PGP - Encrypt ";
constexpr char kClearsignTitle[] = " PGP - Clearsign ";
constexpr char kAddKeyTitle[] = " PGP - Add key ";
constexpr char kFunctionsTitle[] = " PGP - Functions";
constexpr char kNothingToDo[] =
    "+++ Nothing to do +++\nCan't find encrypted text,\na signature or a key";
constexpr char kPrefix[] = "Attachment Converted: ";
constexpr char kDave[] = "Dave New <dave@example.org>";

// The stand-in ends every armour with a line end; the scanner's block ends
// with the end line's last dash, which is how a block sits inside a message.
std::string WithoutFinalLineEnd(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text;
}

// A reply quotes every line of the text with '>' right at its start.
std::string Quoted(const std::string& text) {
  std::string out = ">";
  for (char c : text) {
    out += c;
    if (c == '\n') out += '>';
  }
  return out;
}

void EmptyTheClipboard() {
  if (OpenClipboard(nullptr)) {
    EmptyClipboard();
    CloseClipboard();
  }
}

std::string DialogItemText(HWND dialog, int id) { return WindowTextOf(GetDlgItem(dialog, id)); }

class RunPgpCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::memcpy(savedBase_, extension.TempBaseName, sizeof savedBase_);
    std::memcpy(savedAsc_, extension.TempAscName, sizeof savedAsc_);
    std::memcpy(savedPrefix_, extension.AttachmentPrefix, sizeof savedPrefix_);
    savedPrefixLength_ = extension.AttachmentPrefixLength;
    CopyName(extension.TempBaseName, temp_ / "quillnet");
    CopyName(extension.TempAscName, temp_ / "quillnet.asc");
    std::strcpy(extension.AttachmentPrefix, kPrefix);
    extension.AttachmentPrefixLength = static_cast<int>(std::strlen(kPrefix));
    extension.Settings.AnsiOem = 0;
    extension.Settings.ConvertAttach = 0;
    extension.Settings.CopyToReadOnly = 1;
    // These cases are about the splice itself; the marked result has its own.
    extension.Settings.MarkResults = 0;
    extension.Settings.AlwaysSign = 0;
    extension.Settings.EncryptFor = nullptr;
    extension.Settings.EncryptForLength = 0;
    extension.SelectAllNext1 = fake_client::kWrapSelectionId;
    extension.SelectAllNext2 = fake_client::kFinishNicknameId;
    client_.wrapColumn = 1000;
    extension.RunInProgress = 0;
    extension.sourceWindow = nullptr;
    extension.UndoArmed = FALSE;
    FreeCapturedText(extension);
  }

  void TearDown() override {
    EXPECT_FALSE(FileExistsOnDisk(extension.TempBaseName)) << extension.TempBaseName;
    EXPECT_FALSE(FileExistsOnDisk(extension.TempAscName)) << extension.TempAscName;
    // The run's verdict file too, whatever its name.
    EXPECT_TRUE(FilesIn(temp_.path()).empty()) << testing::PrintToString(FilesIn(temp_.path()));
    EXPECT_EQ(extension.RunInProgress, 0);
    FreeCapturedText(extension);
    extension.sourceWindow = nullptr;
    extension.UndoArmed = FALSE;
    std::memcpy(extension.TempBaseName, savedBase_, sizeof savedBase_);
    std::memcpy(extension.TempAscName, savedAsc_, sizeof savedAsc_);
    std::memcpy(extension.AttachmentPrefix, savedPrefix_, sizeof savedPrefix_);
    extension.AttachmentPrefixLength = savedPrefixLength_;
    extension.Settings = savedSettings_;
    extension.SelectAllNext1 = extension.SelectAllNext2 = 0;
  }

  static void CopyName(char (&name)[kPathSize], const std::string& path) {
    ASSERT_LT(path.size(), sizeof name);
    std::strcpy(name, path.c_str());
  }

  // Runs the command with the focus on `focus` and the script answering
  // its dialogs; returns every dialog and box that was shown.
  std::vector<SeenDialog> Run(HWND focus, std::vector<DialogAnswer> script,
                              BlockResizer resize = ResizeGlobal) {
    SetFocus(focus);
    DialogAnswerer answerer(std::move(script));
    {
      Watchdog watchdog("RunPgpCommand");
      RunPgpCommand(extension, runState, client_.main, resize);
    }
    FakeClient::Pump();
    EXPECT_EQ(answerer.Unexpected(), 0);
    return answerer.Seen();
  }

  // ---- sample texts made by the stand-in ----

  std::string EncryptedForAlice(const std::string& plain) {
    const std::string path = pgp_.WriteMessageForAlice(plain);
    std::string block = FileBytes(path);
    DeleteFileA(path.c_str());
    return WithoutFinalLineEnd(block);
  }

  std::string ClearSigned(const std::string& plain) {
    const std::string path = pgp_ / "signed";
    WriteFileBytes(path, plain);
    pgp_.RunStub("-ast +clearsig=on " + path);
    std::string block = FileBytes(path + ".asc");
    DeleteFileA(path.c_str());
    DeleteFileA((path + ".asc").c_str());
    return WithoutFinalLineEnd(block);
  }

  // A key that is not yet in the key list.
  // Dave's key block; with `hidden`, a second key rides in the same block.
  std::string DaveKeyBlock(const char* hidden = nullptr) {
    const std::string keyring = pgp_ / "keyring.txt";
    const std::string standard = FileBytes(keyring);
    WriteFileBytes(keyring, standard + "pub " + kDave + "\r\n" +
                                (hidden ? "pub " + std::string(hidden) + "\r\n" : ""));
    const std::string path = pgp_ / "davekey";
    pgp_.RunStub("-kx dave " + (hidden ? "\"" + std::string(hidden) + "\" " : "") + path);
    WriteFileBytes(keyring, standard);
    std::string block = FileBytes(path + ".asc");
    DeleteFileA((path + ".asc").c_str());
    return WithoutFinalLineEnd(block);
  }

  bool KeyringHasDave() { return FileBytes(pgp_ / "keyring.txt").find(kDave) != std::string::npos; }

  // PGP's command line: its full path in quotes, then the options.
  std::string Program() const { return "\"" + std::string(extension.PgpPath) + "\""; }
  std::string DecodeLine() const { return Program() + "  " + extension.TempAscName; }

  PgpWorkspace pgp_;
  RunnerStateGuard runner_;
  EnvironmentOverride passPhrase_{"PGPPASS", kAlicePassPhrase};
  ScratchFolder temp_;
  FakeClient client_;

 private:
  SettingsRecord savedSettings_ = extension.Settings;
  char savedBase_[kPathSize];
  char savedAsc_[kPathSize];
  char savedPrefix_[kAttachmentPrefixSize];
  int savedPrefixLength_ = 0;
};

// ---- decoding and checking in place ------------------------------------

TEST_F(RunPgpCommandTest, BlockInTheMiddleOfAReplyIsDecodedInPlace) {
  const std::string plain = "Meet me at noon.\r\nBring the map.\r\n";
  const std::string head = "Hi Alice,\r\nsee below.\r\n\r\n";
  const std::string tail = "\r\n\r\nRegards\r\n";
  FakeClient::SetText(client_.body, head + EncryptedForAlice(plain) + tail);
  client_.SetText(client_.to, "bob@example.org");

  const auto seen = Run(client_.to, {{kDecodeTitle, IDOK}});

  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(FakeClient::Text(client_.body), head + plain + tail);
  const auto calls = pgp_.Calls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].commandLine, DecodeLine());
  EXPECT_EQ(GetFocus(), client_.to) << "the focus goes back where it was";
}

TEST_F(RunPgpCommandTest, DecodedTextIsConvertedBackFromOemWhenAnsiOemIsOn) {
  extension.Settings.AnsiOem = 1;
  FakeClient::SetText(client_.body, "x\r\n" + EncryptedForAlice("Gr\x81\x84\r\n") + "\r\ny");
  Run(client_.body, {{kDecodeTitle, IDOK}});
  EXPECT_EQ(FakeClient::Text(client_.body), "x\r\nGr\xFC\xE4\r\n\r\ny");
}

TEST_F(RunPgpCommandTest, ClearSignedBlockIsCheckedInAMessageWindow) {
  const std::string text = "A: " + ClearSigned("All is well.") + "\r\nEnd";
  FakeClient::SetText(client_.message, text);
  const auto seen = Run(client_.message, {{kCheckTitle, IDOK}});
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(FakeClient::Text(client_.message), "A: All is well.\r\nEnd");
  EXPECT_NE(WindowProcOf(client_.message), SourceWindowSubclassProc)
      << "a read-only view is not subclassed";
}

TEST_F(RunPgpCommandTest, SkipGoesToTheSecondBlockAndSkipAfterTheLastFindsNothing) {
  const std::string first = EncryptedForAlice("first\r\n");
  const std::string second = EncryptedForAlice("second\r\n");
  const std::string text = "1:\r\n" + first + "\r\n2:\r\n" + second + "\r\nend\r\n";

  FakeClient::SetText(client_.message, text);
  Run(client_.message, {{kDecodeTitle, IDC_SKIP}, {kDecodeTitle, IDOK}});
  EXPECT_EQ(FakeClient::Text(client_.message), "1:\r\n" + first + "\r\n2:\r\nsecond\r\n\r\nend\r\n");

  FakeClient::SetText(client_.message, text);
  pgp_.ClearLog();
  const auto seen = Run(client_.message, {{kDecodeTitle, IDC_SKIP},
                                          {kDecodeTitle, IDC_SKIP},
                                          {kFunctionsTitle, IDOK}});
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_EQ(seen[2].text, kNothingToDo);
  EXPECT_EQ(FakeClient::Text(client_.message), text);
  EXPECT_TRUE(pgp_.Calls().empty());
}

TEST_F(RunPgpCommandTest, QuotedBlockIsDecodedWithEveryFurtherLineQuoted) {
  const std::string block = EncryptedForAlice("line one\r\nline two");
  FakeClient::SetText(client_.body, "You wrote:\r\n" + Quoted(block + "\r\nthanks\r\n"));
  std::string preview;
  Run(client_.body, {{kDecodeTitle, [&](HWND d) {
                        preview = DialogItemText(d, IDC_PREVIEW);
                        PressButton(d, IDOK);
                      }}});
  EXPECT_EQ(preview.rfind("-----BEGIN PGP MESSAGE-----\r\nVersion", 0), 0u)
      << "the preview shows the block without its quote marks: " << preview;
  EXPECT_EQ(FakeClient::Text(client_.body), "You wrote:\r\n>line one\r\n>line two\r\n>thanks\r\n>");
  EXPECT_FALSE(runState.quoted);
}

// ---- encrypting and clearsigning a message being written -----------------

TEST_F(RunPgpCommandTest, EncryptsForToAndCcWithAlwaysSignAndEncryptFor) {
  extension.Settings.AlwaysSign = 1;
  extension.Settings.EncryptFor = "\"Alice Example\"";
  extension.Settings.EncryptForLength = 15;
  const std::string letter = "Dear Bob,\r\nthe plan stands.\r\n";
  FakeClient::SetText(client_.to, "alice");  // a nickname the client expands
  FakeClient::SetText(client_.cc, "Bob Other <bob@example.org>");
  FakeClient::SetText(client_.body, letter);
  std::string field;
  Run(client_.body, {{kEncryptTitle, [&](HWND d) {
                        field = DialogItemText(d, IDC_ENCRYPT_FOR);
                        PressButton(d, IDOK);
                      }}});

  const std::string recipients = "alice@example.org bob@example.org \"Alice Example\"";
  EXPECT_EQ(field, recipients);
  const auto calls = pgp_.Calls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].commandLine,
            Program() + std::string(" -aestw ") + extension.TempBaseName + " " + recipients);
  const std::string armoured = FakeClient::Text(client_.body);
  EXPECT_EQ(armoured.rfind("-----BEGIN PGP MESSAGE-----", 0), 0u) << armoured;
  // The stand-in gives the letter back byte for byte.
  WriteFileBytes(pgp_ / "check.asc", armoured);
  EXPECT_EQ(pgp_.RunStub(pgp_ / "check.asc"), 0u);
  EXPECT_EQ(FileBytes(pgp_ / "check"), letter);
}

// An encryption that would reach fewer people than the user named is not
// made: a recipient without an address, or recipients beyond what Windows
// can put on PGP's command line, are named instead, each one whole.
TEST_F(RunPgpCommandTest, RecipientsThatCannotBePassedOnStopTheEncryption) {
  FakeClient::SetText(client_.to, "bob@example.org, John Q Public");
  FakeClient::SetText(client_.body, "For everybody named.");
  auto seen = Run(client_.body, {{kEncryptTitle, IDOK}});
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].text,
            "Quillnet cannot pass these recipients to PGP:\n  John Q Public\nEach recipient needs "
            "an address. Nothing was encrypted.");

  // 800 addresses of 45 characters pass 32,767 characters with their blanks.
  std::vector<std::string> addresses;
  std::string to;
  for (int i = 0; i < 800; ++i) {
    addresses.push_back("r" + std::to_string(i) + "@");
    addresses.back() += std::string(41 - addresses.back().size(), 'x') + ".org";
    to += (i ? ", " : "") + addresses.back();
  }
  FakeClient::SetText(client_.to, to);
  seen = Run(client_.body, {{kEncryptTitle, IDOK}, {kEncryptTitle, IDOK}});
  ASSERT_EQ(seen.size(), 2u);
  const std::string head =
      "The recipients do not fit on PGP's command line, which Windows limits to 32,767 "
      "characters:\n  ";
  const std::string& refusal = seen[1].text;
  ASSERT_EQ(refusal.rfind(head, 0), 0u) << refusal.substr(0, 200);
  // A message box shows no more than that either: the recipients it names
  // are whole, and it says how many more there are.
  const size_t more = refusal.find("\n  and ");
  ASSERT_NE(more, std::string::npos);
  const std::vector<std::string> named = SplitUserIds(refusal.substr(head.size(), more - head.size()));
  ASSERT_GT(named.size(), 600u);
  for (size_t i = 0; i < named.size(); ++i) ASSERT_EQ(named[i], addresses[i]);
  EXPECT_EQ(refusal.substr(more), "\n  and " + std::to_string(addresses.size() - named.size()) +
                                      " more, too many for this box\nNothing was passed to PGP.");
  EXPECT_EQ(FakeClient::Text(client_.body), "For everybody named.");
  EXPECT_TRUE(pgp_.Calls().empty());
}

// A message written to Cc recipients only is encrypted for them; only a
// message without any recipient is clearsigned.
TEST_F(RunPgpCommandTest, CcAloneIsEncryptedForAndNoRecipientClearsigns) {
  struct Row {
    const char* cc;
    const char* title;
    std::string options;
    const char* armour;
  } rows[] = {
      {"bob@example.org", kEncryptTitle, " -aetw " + std::string(extension.TempBaseName) + " bob@example.org",
       "-----BEGIN PGP MESSAGE-----\r\n"},
      {"", kClearsignTitle, " -ast +clearsig=on " + std::string(extension.TempBaseName),
       "-----BEGIN PGP SIGNED MESSAGE-----\r\n\r\nSigned words.\r\n-----BEGIN PGP SIGNATURE"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.title);
    pgp_.ClearLog();
    FakeClient::SetText(client_.to, "");
    FakeClient::SetText(client_.cc, row.cc);
    FakeClient::SetText(client_.body, "Signed words.");
    const auto seen = Run(client_.body, {{row.title, IDOK}});
    ASSERT_EQ(seen.size(), 1u);
    const auto calls = pgp_.Calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].commandLine, Program() + row.options);
    EXPECT_EQ(FakeClient::Text(client_.body).rfind(row.armour, 0), 0u) << FakeClient::Text(client_.body);
  }
}

TEST_F(RunPgpCommandTest, NothingToDoWhereTheWholeTextCannotBeEncrypted) {
  struct Row {
    const char* name;
    bool readOnlyBody;
  };
  for (const Row& row : {Row{"message window", false}, Row{"read-only body", true}}) {
    SCOPED_TRACE(row.name);
    FakeClient client(fake_client::CompositionLayout(0, row.readOnlyBody ? ES_READONLY : 0));
    client.wrapColumn = 1000;
    HWND window = row.readOnlyBody ? client.body : client.message;
    FakeClient::SetText(client.to, "bob@example.org");
    FakeClient::SetText(window, "Plain words, no armour.");
    SetFocus(window);
    DialogAnswerer answerer({{kFunctionsTitle, IDOK}});
    RunPgpCommand(extension, runState, client.main);
    EXPECT_EQ(answerer.Unexpected(), 0);
    const auto seen = answerer.Seen();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].text, kNothingToDo);
    EXPECT_EQ(FakeClient::Text(window), "Plain words, no armour.");
    EXPECT_EQ(extension.textHandle, nullptr) << "nothing to do releases the captured text";
  }
  EXPECT_TRUE(pgp_.Calls().empty());
}

TEST_F(RunPgpCommandTest, NoMessageWindowFindsNoText) {
  const auto seen = Run(client_.looseEdit, {{kFunctionsTitle, IDOK}});
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].text, " No text found  ");
}

// ---- keys ------------------------------------------------------------------

// A key block shown as one key may carry a second one: every key PGP added
// is named, with its fingerprint.
TEST_F(RunPgpCommandTest, PublicKeyInAMessageWindowIsAddedAndEveryKeyAddedIsNamed) {
  const char kHidden[] = "Bob <bob@example.com>";
  const std::string text = "My key:\r\n" + DaveKeyBlock(kHidden) + "\r\n-- \r\nDave";
  FakeClient::SetText(client_.message, text);
  std::string written;
  const auto seen = Run(client_.message, {{kAddKeyTitle, [&](HWND d) {
                                             written = FileBytes(extension.TempAscName);
                                             PressButton(d, IDOK);
                                           }},
                                          {kAddKeyTitle, IDOK}});
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[1].text.rfind("PGP added these keys to your keyring.", 0), 0u) << seen[1].text;
  for (const std::string& id : {std::string(kDave), std::string(kHidden)})
    EXPECT_NE(seen[1].text.find("\n    \"" + id + "\""), std::string::npos) << seen[1].text;
  EXPECT_EQ(written, text) << "the whole message goes to PGP";
  const auto calls = pgp_.Calls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].commandLine, Program() + std::string(" -ka ") + extension.TempAscName);
  EXPECT_TRUE(KeyringHasDave());
  EXPECT_EQ(FakeClient::Text(client_.message), text);
}

TEST_F(RunPgpCommandTest, QuotedKeyBlockIsWrittenWithoutItsQuoteMarks) {
  const std::string key = DaveKeyBlock();
  const std::string text = "Dave wrote:\r\n" + Quoted(key + "\r\nbye");
  FakeClient::SetText(client_.message, text);
  std::string written;
  Run(client_.message, {{kAddKeyTitle, [&](HWND d) {
                           written = FileBytes(extension.TempAscName);
                           PressButton(d, IDOK);
                         }},
                        {kAddKeyTitle, IDOK}});
  EXPECT_EQ(written, key);
  EXPECT_TRUE(KeyringHasDave());
}

TEST_F(RunPgpCommandTest, PublicKeyInACompositionIsEncrypted) {
  FakeClient::SetText(client_.to, "bob@example.org");
  FakeClient::SetText(client_.body, "Here is Dave's key:\r\n" + DaveKeyBlock());
  const auto seen = Run(client_.body, {{kEncryptTitle, IDCANCEL}});
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_TRUE(pgp_.Calls().empty());
}

class KeyInDecodedText : public RunPgpCommandTest, public ::testing::WithParamInterface<int> {};

TEST_P(KeyInDecodedText, KeyDialogFollowsAndOnlyOkAddsTheKey) {
  const int answer = GetParam();
  const std::string plain = "Dave's key:\r\n" + DaveKeyBlock() + "\r\n";
  FakeClient::SetText(client_.message, "Fwd:\r\n" + EncryptedForAlice(plain));
  std::string preview;
  const auto seen = Run(client_.message, {{kDecodeTitle, IDOK},
                                          {kAddKeyTitle, [&](HWND d) {
                                             preview = DialogItemText(d, IDC_PREVIEW);
                                             PressButton(d, answer);
                                           }},
                                          {kAddKeyTitle, IDOK}});
  // After OK the keys PGP added are named in a box of their own.
  ASSERT_EQ(seen.size(), answer == IDOK ? 3u : 2u);
  if (answer == IDOK) {
    EXPECT_NE(seen[2].text.find(kDave), std::string::npos) << seen[2].text;
  }
  EXPECT_EQ(preview.rfind("-----BEGIN PGP PUBLIC KEY BLOCK-----", 0), 0u) << preview;
  EXPECT_EQ(FakeClient::Text(client_.message), "Fwd:\r\n" + plain);
  const auto calls = pgp_.Calls();
  ASSERT_EQ(calls.size(), answer == IDOK ? 2u : 1u);
  EXPECT_EQ(KeyringHasDave(), answer == IDOK);
  if (answer == IDOK) {
    EXPECT_EQ(calls[1].commandLine, Program() + std::string(" -ka ") + extension.TempAscName);
  }
}

INSTANTIATE_TEST_SUITE_P(Answers, KeyInDecodedText, ::testing::Values(IDOK, IDCANCEL));

// ---- read-only views: window or clipboard ---------------------------------

struct CopyRow {
  const char* name;
  int copyToReadOnly;
  int answer;  // to the clipboard question; 0 when none is expected
  bool toClipboard;
};

void PrintTo(const CopyRow& row, std::ostream* os) { *os << row.name; }

class CopyToReadOnly : public RunPgpCommandTest, public ::testing::WithParamInterface<CopyRow> {};

TEST_P(CopyToReadOnly, ResultGoesWhereTheSettingOrTheUserSays) {
  const CopyRow& row = GetParam();
  extension.Settings.CopyToReadOnly = row.copyToReadOnly;
  EmptyTheClipboard();
  const std::string plain = "The decoded words.\r\n";
  const std::string text = "Received:\r\n" + EncryptedForAlice(plain) + "\r\nFooter";
  FakeClient::SetText(client_.message, text);
  std::vector<DialogAnswer> script{{kDecodeTitle, IDOK}};
  if (row.answer != 0) script.emplace_back(kDecodeTitle, row.answer);
  const auto seen = Run(client_.message, script);

  ASSERT_EQ(seen.size(), script.size());
  if (row.answer != 0) {
    EXPECT_EQ(seen[1].text.rfind("PGP succeeded.", 0), 0u) << seen[1].text;
  }
  if (row.toClipboard) {
    EXPECT_EQ(ClipboardData(CF_TEXT, ""), plain);
    EXPECT_EQ(FakeClient::Text(client_.message), text);
  } else {
    EXPECT_EQ(ClipboardData(CF_TEXT, ""), "");
    EXPECT_EQ(FakeClient::Text(client_.message), "Received:\r\n" + plain + "\r\nFooter");
  }
}

INSTANTIATE_TEST_SUITE_P(Rows, CopyToReadOnly,
                         ::testing::Values(CopyRow{"window", 1, 0, false},
                                           CopyRow{"askedYes", 0, IDYES, true},
                                           CopyRow{"askedNo", 0, IDNO, false},
                                           CopyRow{"clipboard", -1, 0, true}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- undo ------------------------------------------------------------------

TEST_F(RunPgpCommandTest, UndoSwapsTheTextsUntilTheUserTypes) {
  const std::string original = "Top\r\n" + EncryptedForAlice("secret\r\n") + "\r\nBottom";
  const std::string decoded = "Top\r\nsecret\r\n\r\nBottom";
  FakeClient::SetText(client_.body, original);
  Run(client_.body, {{kDecodeTitle, IDOK}});
  ASSERT_EQ(FakeClient::Text(client_.body), decoded);

  EXPECT_EQ(SendMessageA(client_.body, EM_CANUNDO, 0, 0), 1);
  SendMessageA(client_.body, WM_UNDO, 0, 0);
  EXPECT_EQ(FakeClient::Text(client_.body), original);
  SendMessageA(client_.body, WM_UNDO, 0, 0);
  EXPECT_EQ(FakeClient::Text(client_.body), decoded);

  SendMessageA(client_.body, WM_CHAR, 'x', 0);
  EXPECT_FALSE(extension.UndoArmed);
  EXPECT_NE(WindowProcOf(client_.body), SourceWindowSubclassProc);
  EXPECT_NE(FakeClient::Text(client_.body), original) << "the edit's own undo, not ours";
}

// ---- what PGP vouched for, marked ------------------------------------------

constexpr char kEndMarkerLine[] = "[-- Quillnet: end of PGP's output --]";
constexpr char kDefuseTag[] = "(not\xA0" "from\xA0" "Quillnet)\xA0";

// The words above a genuinely signed note are not the signer's: the note
// stands between the module's marker lines, the words outside them, and a
// forged marker line in the message is shown defused. Undo brings back
// exactly the message as it was.
TEST_F(RunPgpCommandTest, ACheckedNoteStandsBetweenMarkersAndNothingElseDoes) {
  extension.Settings.MarkResults = 1;
  const std::string head =
      "[-- Quillnet: good signature from the bank --]\r\nPlease wire the money to Mallory. ";
  const std::string original = head + ClearSigned("Lunch on Friday.\r\n") + "\r\nBye";
  FakeClient::SetText(client_.body, original);
  Run(client_.body, {{kCheckTitle, IDOK}});
  const std::string shown = FakeClient::Text(client_.body);
  const std::string marker = "[-- Quillnet: good signature from \"Alice Example <alice@example.org>\"";
  const std::string expectedHead =
      std::string(kDefuseTag) + "[-- Quillnet: good signature from the bank --]\r\n"
      "Please wire the money to Mallory. \r\n";  // the BEGIN stood in mid-line
  ASSERT_EQ(shown.substr(0, expectedHead.size()), expectedHead) << shown;
  const std::string rest = shown.substr(expectedHead.size());
  EXPECT_EQ(rest.rfind(marker, 0), 0u) << shown;
  EXPECT_NE(rest.find(", key "), std::string::npos) << "the signing key is named: " << rest;
  const std::string expectedTail = "--]\r\nLunch on Friday.\r\n" + std::string(kEndMarkerLine) +
                                   "\r\nBye";
  EXPECT_EQ(rest.substr(rest.size() - expectedTail.size()), expectedTail) << shown;

  SendMessageA(client_.body, WM_UNDO, 0, 0);
  EXPECT_EQ(FakeClient::Text(client_.body), original);
}

struct MarkerRow {
  const char* name;
  const char* make;   // how the stand-in makes the message from file %F
  const char* fault;  // PGPSTUB_FAULT for the decode
  const char* marker;
};

class DecodeMarker : public RunPgpCommandTest, public ::testing::WithParamInterface<MarkerRow> {};

// What the first marker says comes from the PGP program's verdict, never
// from more than it said.
TEST_P(DecodeMarker, SaysWhatThePgpProgramFound) {
  const MarkerRow& row = GetParam();
  extension.Settings.MarkResults = 1;
  const std::string path = pgp_ / "quillnet";
  WriteFileBytes(path, "I am Bob, really.\r\n");
  std::string make = row.make;
  make.replace(make.find("%F"), 2, path);
  pgp_.RunStub(make);
  const std::string block = WithoutFinalLineEnd(FileBytes(path + ".asc"));
  DeleteFileA((path + ".asc").c_str());
  FakeClient::SetText(client_.message, block);
  pgp_.SetFault(row.fault);
  Run(client_.message, {{kDecodeTitle, IDOK}});
  pgp_.SetFault(nullptr);
  EXPECT_EQ(FakeClient::Text(client_.message), std::string(row.marker) +
                                                   "\r\nI am Bob, really.\r\n" +
                                                   kEndMarkerLine);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, DecodeMarker,
    ::testing::Values(
        // Literal data in a message block: anybody can make one, no key needed.
        MarkerRow{"LiteralOnly", "-a %F", nullptr,
                  "[-- Quillnet: not encrypted and not signed --]"},
        MarkerRow{"EncryptedOnly", "-aet %F alice", nullptr, "[-- Quillnet: decrypted; not signed --]"},
        // A PGP that writes no verdict: only what its exit code proves.
        MarkerRow{"NoVerdictFile", "-aet %F alice", "noverdict",
                  "[-- Quillnet: PGP ended without an error; what it found (encryption, a signer) "
                  "is in PGP's own output --]"}),
    [](const auto& info) { return std::string(info.param.name); });

// Stand-ins for the enlargement of the block a result is rebuilt in.
int resizeCalls = 0;
HGLOBAL CountingResize(HGLOBAL block, SIZE_T size) {
  ++resizeCalls;
  return GlobalReAlloc(block, size, GMEM_MOVEABLE);
}
HGLOBAL FirstResizeFails(HGLOBAL block, SIZE_T size) {
  return ++resizeCalls == 1 ? nullptr : GlobalReAlloc(block, size, GMEM_MOVEABLE);
}
HGLOBAL ResizeThrows(HGLOBAL, SIZE_T) { throw std::bad_alloc(); }

const std::string kDecryptedMarker = "[-- Quillnet: decrypted; not signed --]";

// A marked result is rebuilt as the plain splice is: in PGP's output block,
// enlarged once, markers and quote marks put in on the way.
TEST_F(RunPgpCommandTest, AMarkedResultIsRebuiltInItsOwnBlock) {
  extension.Settings.MarkResults = 1;
  const std::string block = EncryptedForAlice("line one\r\nline two\r\n");
  FakeClient::SetText(client_.body, "You wrote:\r\n" + Quoted(block + "\r\nthanks"));
  resizeCalls = 0;
  Run(client_.body, {{kDecodeTitle, IDOK}}, CountingResize);
  EXPECT_EQ(resizeCalls, 1);
  EXPECT_EQ(FakeClient::Text(client_.body), "You wrote:\r\n>" + kDecryptedMarker +
                                                "\r\n>line one\r\n>line two\r\n>" +
                                                kEndMarkerLine + "\r\n>thanks");
}

struct QuoteFailureRow {
  const char* name;
  int answer;
  bool shownAlone;  // PGP's output, marked, stands alone in the window
};

class QuoteMarksFail : public RunPgpCommandTest,
                       public ::testing::WithParamInterface<QuoteFailureRow> {};

// A quoted block whose reply cannot be rebuilt asks before the window gets
// PGP's output alone, markers or not.
TEST_P(QuoteMarksFail, AskFirst) {
  extension.Settings.MarkResults = 1;
  const std::string original = "You wrote:\r\n" + Quoted(EncryptedForAlice("secret\r\n"));
  FakeClient::SetText(client_.body, original);
  resizeCalls = 0;
  const auto seen = Run(client_.body,
                        {{kDecodeTitle, IDOK}, {"Quillnet", GetParam().answer},
                         {kDecodeTitle, IDOK}},
                        FirstResizeFails);
  ASSERT_GE(seen.size(), 2u);
  EXPECT_EQ(seen[1].text.rfind("Couldn't insert '>' signs.", 0), 0u) << seen[1].text;
  if (GetParam().shownAlone) {
    EXPECT_EQ(FakeClient::Text(client_.body), kDecryptedMarker + "\r\nsecret\r\n" + kEndMarkerLine);
  } else {
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[2].text, seen[1].text) << "No ends the delivery with the same text";
    EXPECT_EQ(FakeClient::Text(client_.body), original);
  }
}

INSTANTIATE_TEST_SUITE_P(Answers, QuoteMarksFail,
                         ::testing::Values(QuoteFailureRow{"Yes", IDYES, true},
                                           QuoteFailureRow{"No", IDNO, false}),
                         [](const auto& info) { return std::string(info.param.name); });

// A command that fails by an exception half-way still wipes PGP's files
// (the decoded one among them), offers "Run PGP" again and says why.
TEST_F(RunPgpCommandTest, AnExceptionHalfWayLeavesNothingBehind) {
  extension.Settings.MarkResults = 1;
  const std::string original = EncryptedForAlice("secret\r\n");
  FakeClient::SetText(client_.message, original);
  const auto seen = Run(client_.message, {{kDecodeTitle, IDOK}, {kDecodeTitle, IDOK}}, ResizeThrows);
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[1].text, "Not enough memory");
  EXPECT_EQ(FakeClient::Text(client_.message), original);
  // TearDown: RunInProgress is 0 again and no temporary file is left.
}

// Another user of a shared temporary folder keeps a verdict file of their
// own where the module once named its verdict, held open so that it cannot
// be deleted. Nothing at a name known before the run is read: the run's own
// verdict file is new, and PGP (one that writes none) leaves it empty.
TEST_F(RunPgpCommandTest, AVerdictFilePlantedBeforeTheRunIsNeverRead) {
  extension.Settings.MarkResults = 1;
  const std::string planted = temp_ / "quillnet.vrd";
  WriteFileBytes(planted, "status=good\r\nencrypted=yes\r\nsigned=yes\r\n"
                          "signer=The Bank <bank@example.org>\r\nvalidity=full\r\n");
  {
    UniqueHandle held(CreateFileA(planted.c_str(), FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                  nullptr));
    ASSERT_TRUE(held);
    FakeClient::SetText(client_.message, EncryptedForAlice("Pay the bill.\r\n"));
    pgp_.SetFault("noverdict");
    Run(client_.message, {{kDecodeTitle, IDOK}});
    pgp_.SetFault(nullptr);
  }
  const std::string shown = FakeClient::Text(client_.message);
  EXPECT_EQ(shown.rfind("[-- Quillnet: PGP ended without an error;", 0), 0u) << shown;
  EXPECT_EQ(shown.find("Bank"), std::string::npos) << shown;
  DeleteFileA(planted.c_str());
}

TEST_F(RunPgpCommandTest, NextCommandTakesThePreviousUndoAway) {
  FakeClient::SetText(client_.body, "a\r\n" + EncryptedForAlice("one\r\n"));
  Run(client_.body, {{kDecodeTitle, IDOK}});
  ASSERT_EQ(WindowProcOf(client_.body), SourceWindowSubclassProc);
  // The decoded text holds no block and there is no recipient: a clearsigning
  // is offered, and cancelled.
  Run(client_.body, {{kClearsignTitle, IDCANCEL}});
  EXPECT_NE(WindowProcOf(client_.body), SourceWindowSubclassProc);
  EXPECT_FALSE(extension.UndoArmed);
}

// ---- converted attachments ---------------------------------------------------

TEST_F(RunPgpCommandTest, AttachedFileWinsOverABlockInTheText) {
  extension.Settings.ConvertAttach = 1;
  ScratchFolder files;
  const std::string path = files / "my report.asc";
  WriteFileBytes(path, EncryptedForAlice("Report body.\r\n") + "\r\n");
  const std::string head = ClearSigned("signed note") + "\r\n";
  FakeClient::SetText(client_.message, head + kPrefix + "\"" + path + "\"\r\nend");
  std::string preview;
  Run(client_.message, {{kDecodeTitle, [&](HWND d) {
                           preview = DialogItemText(d, IDC_PREVIEW);
                           PressButton(d, IDOK);
                         }}});
  EXPECT_EQ(preview, "This attached file will be passed to PGP:\n  " + path);
  EXPECT_EQ(FakeClient::Text(client_.message), head + "Report body.\r\n\r\nend");
}

TEST_F(RunPgpCommandTest, UnusableAttachmentLineFailsTheWholeCommand) {
  extension.Settings.ConvertAttach = 1;
  ScratchFolder files;
  const std::string missing = files / "missing.asc";
  const std::string longPath = files / std::string(140, 'n');
  struct Row {
    std::string path;
    std::string message;
  };
  // A path the sender wrote is opened only when it names a file on a drive
  // letter: nothing else is touched, not even to see whether it exists.
  const auto notLocal = [](const std::string& path) {
    return "Quillnet does not open this attachment, which is not a file on a local drive:\n  " +
           path + "\nNothing was passed to PGP.";
  };
  // Whatever stands behind a letter (here: nothing at all, as the system
  // says of a mapped drive that is not connected) is the user's own, so the
  // file is looked for there.
  std::string unused = "Q:\\";
  while (GetDriveTypeA(unused.c_str()) != DRIVE_NO_ROOT_DIR && unused[0] < 'Y') ++unused[0];
  const std::string offDrive = unused + "mail\\report.asc";
  const Row rows[] = {
      {missing, "File not found:\n  " + missing},
      {offDrive, "Path not found:\n  " + offDrive},
      {files / "COM\xB9.asc", notLocal(files / "COM\xB9.asc")},
      {longPath, "Unknown error 206\nFile: " + longPath.substr(0, kPathSize - 1)},
      {"\\\\attacker\\share\\x.asc", notLocal("\\\\attacker\\share\\x.asc")},
      {"\\\\.\\pipe\\client", notLocal("\\\\.\\pipe\\client")},
      {files / "nul.asc", notLocal(files / "nul.asc")},
      {"report.asc", notLocal("report.asc")},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.path);
    const std::string text = kPrefix + row.path + "\r\n" + EncryptedForAlice("x\r\n");
    FakeClient::SetText(client_.message, text);
    const auto seen = Run(client_.message, {{kFunctionsTitle, IDOK}});
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].text, row.message);
    EXPECT_EQ(FakeClient::Text(client_.message), text);
  }
  EXPECT_TRUE(pgp_.Calls().empty());
}

// ---- a second command while one runs ---------------------------------------

WNDPROC clientProcedure = nullptr;
int runCommandsSeen = 0;

LRESULT CALLBACK RunPgpFromMenu(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_COMMAND && LOWORD(wParam) == IDM_RUN_PGP) {
    ++runCommandsSeen;
    RunPgpCommand(extension, runState, window);
    return 0;
  }
  return CallWindowProcA(clientProcedure, window, message, wParam, lParam);
}

TEST_F(RunPgpCommandTest, RunPgpWhileTheDialogIsOpenDoesNothing) {
  clientProcedure = ReplaceWindowProc(client_.main, RunPgpFromMenu);
  runCommandsSeen = 0;
  FakeClient::SetText(client_.message, EncryptedForAlice("once\r\n"));
  bool returnedAtOnce = false;
  const auto seen = Run(client_.message, {{kDecodeTitle, [&](HWND d) {
                                             // Handled on the client's thread, inside the
                                             // dialog's loop. A second command would open
                                             // a dialog of its own and not return.
                                             DWORD_PTR result = 0;
                                             returnedAtOnce = SendMessageTimeoutA(
                                                 client_.main, WM_COMMAND, IDM_RUN_PGP, 0,
                                                 SMTO_NORMAL, 5000, &result) != 0;
                                             PressButton(d, IDCANCEL);
                                           }}});
  ReplaceWindowProc(client_.main, clientProcedure);
  EXPECT_TRUE(returnedAtOnce);
  EXPECT_EQ(runCommandsSeen, 1);
  EXPECT_EQ(seen.size(), 1u);
  EXPECT_TRUE(pgp_.Calls().empty());
}

// ---- failures: one box, the text kept ----------------------------------------

struct FailureRow {
  const char* name;
  const char* fault;      // PGPSTUB_FAULT
  bool stalePlainText;    // a file is already at PGP's output name
  bool wrongPassPhrase;
  std::string (*message)();
};

std::string PgpExitMessage() { return " PGP returned errorcode: 3"; }
std::string NoDataMessage() { return std::string("File has no or invalid data:\n  ") + extension.TempBaseName; }
std::string NotFoundMessage() { return std::string("File not found:\n  ") + extension.TempBaseName; }

void PrintTo(const FailureRow& row, std::ostream* os) { *os << row.name; }

class PgpFailure : public RunPgpCommandTest, public ::testing::WithParamInterface<FailureRow> {};

TEST_P(PgpFailure, IsShownOnceAndTheTextStays) {
  const FailureRow& row = GetParam();
  const std::string text = "Q:\r\n" + EncryptedForAlice("never shown\r\n") + "\r\nZ";
  FakeClient::SetText(client_.body, text);
  pgp_.SetFault(row.fault);
  EnvironmentOverride pass("PGPPASS", row.wrongPassPhrase ? "wrong" : kAlicePassPhrase);
  if (row.stalePlainText) WriteFileBytes(extension.TempBaseName, "stale text from before\r\n");

  const auto seen = Run(client_.body, {{kDecodeTitle, IDOK}, {kDecodeTitle, IDOK}});

  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[1].text, row.message());
  EXPECT_EQ(FakeClient::Text(client_.body), text);
  EXPECT_EQ(pgp_.Calls().size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, PgpFailure,
    ::testing::Values(FailureRow{"exitCode", "exit=3", false, false, PgpExitMessage},
                      FailureRow{"emptyOutput", "empty", false, false, NoDataMessage},
                      FailureRow{"noOutput", "nooutput", false, false, NotFoundMessage},
                      FailureRow{"staleOutput", "exit=0", true, true, NotFoundMessage}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(RunPgpCommandTest, PgpThatCannotBeStartedIsReported) {
  RunnerStateGuard::SetPgpPath(temp_ / "nowhere.exe");
  const std::string text = EncryptedForAlice("x\r\n");
  FakeClient::SetText(client_.body, text);
  const auto seen = Run(client_.body, {{kDecodeTitle, IDOK}, {kDecodeTitle, IDOK}});
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[1].text, "File not found:\n  " + temp_ / "nowhere.exe");
  EXPECT_EQ(FakeClient::Text(client_.body), text);
}

TEST_F(RunPgpCommandTest, SourceWindowGoneBeforeDelivery) {
  FakeClient::SetText(client_.body, EncryptedForAlice("late\r\n"));
  const auto seen = Run(client_.body, {{kDecodeTitle, [&](HWND d) {
                                          SendMessageA(client_.body, WM_CLOSE, 0, 0);
                                          PressButton(d, IDOK);
                                        }},
                                       {kDecodeTitle, IDOK}});
  ASSERT_FALSE(IsWindow(client_.body));
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[1].text, "Bad error: Cannot find window where text came from");
}

// ---- recipients PGP would read as options --------------------------------------

struct OptionRow {
  const char* name;
  const char* to;
  const char* encryptFor;
  const char* typedInDialog;  // null: OK as it stands
  const char* refused;
};

void PrintTo(const OptionRow& row, std::ostream* os) { *os << row.name; }

class OptionLikeRecipient : public RunPgpCommandTest,
                            public ::testing::WithParamInterface<OptionRow> {};

TEST_P(OptionLikeRecipient, IsRefusedBeforePgpRuns) {
  const OptionRow& row = GetParam();
  extension.Settings.EncryptFor = row.encryptFor;
  extension.Settings.EncryptForLength = row.encryptFor ? static_cast<int>(std::strlen(row.encryptFor)) : 0;
  FakeClient::SetText(client_.to, row.to);
  FakeClient::SetText(client_.body, "Body text.");
  std::vector<DialogAnswer> script;
  if (row.typedInDialog)
    script.emplace_back(kEncryptTitle, [&](HWND d) {
      SetWindowTextA(GetDlgItem(d, IDC_ENCRYPT_FOR), row.typedInDialog);
      PressButton(d, IDOK);
    });
  script.emplace_back("", IDOK);
  const auto seen = Run(client_.body, script);

  ASSERT_EQ(seen.size(), script.size());
  EXPECT_EQ(seen.back().text, std::string("PGP would take this recipient for an option:\n  ") +
                                  row.refused + "\nNothing was passed to PGP.");
  EXPECT_EQ(FakeClient::Text(client_.body), "Body text.");
  EXPECT_TRUE(pgp_.Calls().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Rows, OptionLikeRecipient,
    ::testing::Values(OptionRow{"toField", "+batchmode", nullptr, nullptr, "+batchmode"},
                      OptionRow{"encryptFor", "bob@example.org", "-kx", nullptr, "-kx"},
                      OptionRow{"typed", "bob@example.org", nullptr, "bob -o", "-o"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
