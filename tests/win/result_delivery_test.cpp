// Bringing PGP's output back, without PGP: each test sets up the state a
// Run-PGP command leaves before delivery (the captured text, where its block
// lies, the window it came from) and writes the output file itself.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "command/result_delivery_win.h"
#include "command/text_capture_win.h"
#include "common/handles_win.h"
#include "core/module_win.h"
#include "core/window_procedure_win.h"
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

void PutOnClipboard(UINT format, const std::string& text) {
  ASSERT_TRUE(OpenClipboard(nullptr));
  EmptyClipboard();
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, text.size() + 1);
  std::memcpy(GlobalLock(block), text.c_str(), text.size() + 1);
  GlobalUnlock(block);
  SetClipboardData(format, block);
  CloseClipboard();
}

std::string KeptText() {
  GlobalLockGuard kept(extension.textHandle);
  return kept.text() != nullptr ? std::string(kept.text(), extension.textLength) : "<none>";
}

// The captured text of a command: what came before the pass that found the
// block (skipped), then up to the block, the block, and what follows.
struct Captured {
  std::string skipped;
  std::string head;
  std::string block;
  std::string tail;
  std::string Whole() const { return skipped + head + block + tail; }
};

class ResultDeliveryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::memcpy(savedBase_, extension.TempBaseName, sizeof savedBase_);
    std::memcpy(savedAsc_, extension.TempAscName, sizeof savedAsc_);
    std::strcpy(extension.TempBaseName, (temp_ / "quillnet").c_str());
    std::strcpy(extension.TempAscName, (temp_ / "quillnet.asc").c_str());
    extension.Settings.AnsiOem = 0;
    extension.Settings.CopyToReadOnly = 1;
    // These cases are about the splice itself; the marked result has its own.
    extension.Settings.MarkResults = 0;
    FreeCapturedText(extension);
  }

  void TearDown() override {
    FreeCapturedText(extension);
    extension.sourceWindow = nullptr;
    extension.UndoArmed = FALSE;
    std::memcpy(extension.TempBaseName, savedBase_, sizeof savedBase_);
    std::memcpy(extension.TempAscName, savedAsc_, sizeof savedAsc_);
    extension.Settings = savedSettings_;
  }

  // The state delivery finds after a pass over `captured` in `window`.
  void Prepare(HWND window, PgpFunction function, const Captured& captured, bool quoted = false) {
    const std::string whole = captured.Whole();
    FakeClient::SetText(window, whole);
    FreeCapturedText(extension);
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, whole.size() + 1);
    std::memcpy(GlobalLock(block), whole.c_str(), whole.size() + 1);
    GlobalUnlock(block);
    extension.textHandle = block;
    extension.textLength = static_cast<LONG>(whole.size());
    runState.function = function;
    extension.sourceWindow = window;
    runState.windowKind = window == client_.message ? MessageWindow : CompositionWindow;
    runState.scanOffset = static_cast<LONG>(captured.skipped.size());
    runState.blockStart = static_cast<LONG>(captured.head.size());
    runState.blockEnd = static_cast<LONG>(captured.head.size() + captured.block.size());
    runState.quoted = quoted;
    runState.recipients.clear();
    extension.UndoArmed = FALSE;
  }

  std::vector<SeenDialog> Deliver(std::vector<DialogAnswer> script = {}) {
    DialogAnswerer answerer(std::move(script));
    {
      Watchdog watchdog("DeliverPgpResult");
      DeliverPgpResult(extension, runState, client_.main, "");
    }
    FakeClient::Pump();
    EXPECT_EQ(answerer.Unexpected(), 0);
    return answerer.Seen();
  }

  bool Subclassed(HWND window) const {
    return WindowProcIs(window, SourceWindowSubclassProc);
  }

  ScratchFolder temp_;
  FakeClient client_;

 private:
  SettingsRecord savedSettings_ = extension.Settings;
  char savedBase_[kPathSize];
  char savedAsc_[kPathSize];
};

// ---- where the output goes ---------------------------------------------------

struct PlaceRow {
  const char* name;
  PgpFunction function;
  bool readOnly;       // the message window, else the composition body
  int copyToReadOnly;
  int answer;          // to the clipboard question; 0 when none is asked
  Captured captured;
  bool quoted;
  const char* output;  // what PGP wrote
  const char* window;  // the window afterwards; null: unchanged
  const char* clipboard;  // CF_TEXT afterwards; null: untouched
};

void PrintTo(const PlaceRow& row, std::ostream* os) { *os << row.name; }

class OutputPlace : public ResultDeliveryTest, public ::testing::WithParamInterface<PlaceRow> {};

TEST_P(OutputPlace, FollowsFunctionWindowAndSetting) {
  const PlaceRow& row = GetParam();
  extension.Settings.CopyToReadOnly = row.copyToReadOnly;
  PutOnClipboard(CF_TEXT, "before");
  HWND window = row.readOnly ? client_.message : client_.body;
  Prepare(window, row.function, row.captured, row.quoted);
  const char* file = row.function == Encrypt ? extension.TempAscName : extension.TempBaseName;
  WriteFileBytes(file, row.output);
  std::vector<DialogAnswer> script;
  if (row.answer != 0) script.emplace_back(kDecodeTitle, row.answer);

  const auto seen = Deliver(script);

  ASSERT_EQ(seen.size(), script.size());
  EXPECT_EQ(FakeClient::Text(window), row.window ? row.window : row.captured.Whole());
  EXPECT_EQ(ClipboardData(CF_TEXT), row.clipboard ? row.clipboard : "before");
  EXPECT_EQ(KeptText(), row.captured.Whole()) << "the kept text is what undo brings back";
  EXPECT_EQ(Subclassed(window), !row.readOnly);
  EXPECT_EQ(extension.UndoArmed != 0, row.window != nullptr);
  EXPECT_FALSE(runState.quoted);
}

const Captured kMiddle{"", "Hello\r\n", "[block]", "\r\nBye\r\n"};

INSTANTIATE_TEST_SUITE_P(
    Rows, OutputPlace,
    ::testing::Values(
        PlaceRow{"decodeInBody", Decode, false, 1, 0, kMiddle, false, "one\r\ntwo",
                 "Hello\r\none\r\ntwo\r\nBye\r\n", nullptr},
        PlaceRow{"quotedReply", Decode, false, 1, 0,
                 Captured{"", "Re:\r\n>", "[b\r\n>lock]", "\r\n>end"}, true, "one\r\ntwo\r\n",
                 "Re:\r\n>one\r\n>two\r\n>\r\n>end", nullptr},
        PlaceRow{"checkAfterSkip", CheckSignature, false, 1, 0,
                 Captured{"[first]\r\n", "x ", "[second]", " y"}, false, "good",
                 "[first]\r\nx good y", nullptr},
        PlaceRow{"encryptReplacesAll", Encrypt, false, 1, 0, Captured{"", "", "", "my letter"},
                 false, "[armour]\r\n", "[armour]\r\n", nullptr},
        PlaceRow{"readOnlyWindow", Decode, true, 1, 0, kMiddle, false, "one",
                 "Hello\r\none\r\nBye\r\n", nullptr},
        PlaceRow{"readOnlyAskedYes", Decode, true, 0, IDYES, kMiddle, false, "one\r\n", nullptr,
                 "one\r\n"},
        PlaceRow{"readOnlyAskedNo", Decode, true, 0, IDNO, kMiddle, false, "one",
                 "Hello\r\none\r\nBye\r\n", nullptr},
        PlaceRow{"readOnlyClipboard", Decode, true, -1, 0, kMiddle, false, "one", nullptr, "one"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ResultDeliveryTest, ClipboardIsNotEmptiedFirst) {
  const UINT other = RegisterClipboardFormatA("QuillnetTestFormat");
  PutOnClipboard(other, "kept beside");
  extension.Settings.CopyToReadOnly = -1;
  Prepare(client_.message, Decode, kMiddle);
  WriteFileBytes(extension.TempBaseName, "decoded");
  Deliver();
  EXPECT_EQ(ClipboardData(CF_TEXT), "decoded");
  EXPECT_EQ(ClipboardData(other), "kept beside");
}

TEST_F(ResultDeliveryTest, UndoBringsBackExactlyTheCapturedText) {
  Prepare(client_.body, Decode, kMiddle);
  WriteFileBytes(extension.TempBaseName, "plain");
  Deliver();
  ASSERT_EQ(FakeClient::Text(client_.body), "Hello\r\nplain\r\nBye\r\n");
  ASSERT_TRUE(UndoPgpResult(extension, client_.main));
  EXPECT_EQ(FakeClient::Text(client_.body), kMiddle.Whole());
}

TEST_F(ResultDeliveryTest, OutputThatArrivesLateIsAwaited) {
  Prepare(client_.body, Decode, kMiddle);
  std::thread writer([] {
    Sleep(150);
    WriteFileBytes(extension.TempBaseName, "late");
  });
  Deliver();
  writer.join();
  EXPECT_EQ(FakeClient::Text(client_.body), "Hello\r\nlate\r\nBye\r\n");
}

// ---- failures: one box, the window keeps its text --------------------------------

struct FailureRow {
  const char* name;
  const char* output;  // null: no output file
  bool destroyWindow;
  bool holdClipboard;
  const char* message;  // "%s" stands for extension.TempBaseName
};

void PrintTo(const FailureRow& row, std::ostream* os) { *os << row.name; }

class DeliveryFailure : public ResultDeliveryTest,
                        public ::testing::WithParamInterface<FailureRow> {};

TEST_P(DeliveryFailure, IsShownOnceAndChangesNothing) {
  const FailureRow& row = GetParam();
  extension.Settings.CopyToReadOnly = row.holdClipboard ? -1 : 1;
  HWND window = row.holdClipboard ? client_.message : client_.body;
  Prepare(window, Decode, kMiddle);
  if (row.output) WriteFileBytes(extension.TempBaseName, row.output);
  if (row.destroyWindow) DestroyWindow(window);
  HANDLE opened = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HANDLE release = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  std::thread holder;
  if (row.holdClipboard) {
    holder = std::thread([&] {
      if (OpenClipboard(nullptr)) {
        SetEvent(opened);
        WaitForSingleObject(release, 20000);
        CloseClipboard();
      }
    });
    ASSERT_EQ(WaitForSingleObject(opened, 5000), WAIT_OBJECT_0);
  }

  const auto seen = Deliver({{kDecodeTitle, IDOK}});

  SetEvent(release);
  if (holder.joinable()) holder.join();
  CloseHandle(opened);
  CloseHandle(release);
  std::string expected = row.message;
  if (const size_t at = expected.find("%s"); at != std::string::npos)
    expected.replace(at, 2, extension.TempBaseName);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].text, expected);
  if (!row.destroyWindow) {
    EXPECT_EQ(FakeClient::Text(window), kMiddle.Whole());
  }
  EXPECT_FALSE(extension.UndoArmed);
  EXPECT_EQ(KeptText(), kMiddle.Whole());
}

INSTANTIATE_TEST_SUITE_P(
    Rows, DeliveryFailure,
    ::testing::Values(
        FailureRow{"noOutputFile", nullptr, false, false, "File not found:\n  %s"},
        FailureRow{"twoBytes", "\r\n", false, false, "File has no or invalid data:\n  %s"},
        FailureRow{"windowGone", "text", true, false,
                   "Bad error: Cannot find window where text came from"},
        FailureRow{"clipboardBusy", "text", false, true, " Couldn't open clipboard"}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- a public key in the decoded text --------------------------------------------

constexpr char kKeyText[] =
    "-----BEGIN PGP PUBLIC KEY BLOCK-----\r\n\r\nAAAA\r\n-----END PGP PUBLIC KEY BLOCK-----\r\n";

TEST_F(ResultDeliveryTest, KeyOfferAfterCancelLeavesTheOutputUnderTheArmouredName) {
  Prepare(client_.message, Decode, kMiddle);
  const std::string output = std::string("Key:\r\n") + kKeyText;
  WriteFileBytes(extension.TempBaseName, output);
  WriteFileBytes(extension.TempAscName, "the encrypted input");
  std::string preview;
  const auto seen = Deliver({{" PGP - Add key ", [&](HWND d) {
                                preview = WindowTextOf(GetDlgItem(d, IDC_PREVIEW));
                                PressButton(d, IDCANCEL);
                              }}});
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(preview, kKeyText);
  EXPECT_EQ(runState.function, AddKey);
  EXPECT_FALSE(FileExistsOnDisk(extension.TempBaseName));
  EXPECT_EQ(FileBytes(extension.TempAscName), output);
  EXPECT_EQ(FakeClient::Text(client_.message), "Hello\r\n" + output + "\r\nBye\r\n");
  DeleteFileA(extension.TempAscName);
}

TEST_F(ResultDeliveryTest, KeyOfferWhoseRenameFailsIsReported) {
  Prepare(client_.body, Decode, kMiddle);
  WriteFileBytes(extension.TempBaseName, kKeyText);
  CreateDirectoryA(extension.TempAscName, nullptr);  // nothing can take this name
  const auto seen = Deliver({{" PGP - Add key ", IDOK}});
  RemoveDirectoryA(extension.TempAscName);
  DeleteFileA(extension.TempBaseName);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].text, std::string("Rename ") + extension.TempBaseName + " to " + extension.TempAscName + " failed");
  EXPECT_EQ(FakeClient::Text(client_.body), std::string("Hello\r\n") + kKeyText + "\r\nBye\r\n")
      << "the decoded text stays in the window";
}

TEST_F(ResultDeliveryTest, KeyOnlyCountsInDecodedText) {
  Prepare(client_.body, CheckSignature, kMiddle);
  WriteFileBytes(extension.TempBaseName, kKeyText);
  EXPECT_TRUE(Deliver().empty());
  DeleteFileA(extension.TempBaseName);
}

}  // namespace
