// Capture, replacement and undo against a small mail client made in this
// process: the module must find the right window, hold the client's
// commands to what the client offers, and never lose a text on the way.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "command/text_capture_win.h"
#include "core/module_win.h"
#include "core/shared_state_win.h"
#include "core/window_procedure_win.h"
#include "host/menus.h"
#include "settings/settings_file_win.h"
#include "tests/win/support/dialog_answerer.h"
#include "tests/win/support/fake_client.h"
#include "tests/win/support/test_state.h"

namespace {

using fake_client::Child;
using fake_client::FakeClient;

constexpr char kNoTextFound[] = " No text found  ";
constexpr char kNoSourceWindow[] = "Bad error: Cannot find window where text came from";
constexpr char kNoWindowText[] = "Couldn't change window text";

std::string BlockText(HGLOBAL block) {
  const char* text = static_cast<const char*>(GlobalLock(block));
  std::string copy = text != nullptr ? text : "<unlockable>";
  if (text != nullptr) GlobalUnlock(block);
  return copy;
}

HGLOBAL NewBlock(const std::string& text) {
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, text.size() + 1);
  std::memcpy(GlobalLock(block), text.c_str(), text.size() + 1);
  GlobalUnlock(block);
  return block;
}

class CaptureTest : public testing::Test {
 protected:
  void SetUp() override {
    ResetRunState();
    extension.SelectAllNext1 = 0;
    extension.SelectAllNext2 = 0;
    extension.Settings.NickNames = 0;
  }
  void TearDown() override {
    if (extension.sourceWindow != nullptr && IsWindow(extension.sourceWindow)) EndUndo(extension);
    ResetRunState();
    extension.SelectAllNext1 = 0;
    extension.SelectAllNext2 = 0;
    extension.Settings.NickNames = 0;
  }
  static void ResetRunState() {
    UnlockCapturedText(extension);
    FreeCapturedText(extension);
    ResetTestState(runState, extension);
    captureMessage.clear();
  }
  // Puts SourceWindowSubclassProc on the source window the way result delivery does.
  static void InstallUndo(HWND window) { InstallUndoSubclass(extension, window); }

  // The capture as a command makes it: the window read, or null with the
  // reason in captureMessage.
  static HWND CaptureFrom(HWND focus) {
    const Failure failure = CaptureMessageText(extension, runState, focus);
    captureMessage = failure.value_or(std::string());
    return failure ? nullptr : extension.sourceWindow;
  }
  // The replacement as result delivery makes it; the reason in `message`.
  static bool Replace(HGLOBAL block, char* message) {
    const Failure failure = ReplaceSourceText(extension, block);
    if (failure) std::strcpy(message, failure->c_str());
    return !failure;
  }

  static inline std::string captureMessage;

  FakeClient client;
};

// ---- Which window is read ------------------------------------------------

TEST_F(CaptureTest, MessageWindowGivesItsWholeTextLockedForTheCommand) {
  const std::string text = "-----BEGIN PGP MESSAGE-----\r\nabc\r\n-----END PGP MESSAGE-----\r\n";
  FakeClient::SetText(client.message, text);
  EXPECT_EQ(CaptureFrom(client.message), client.message);
  EXPECT_EQ(runState.windowKind, MessageWindow);
  EXPECT_EQ(extension.sourceWindow, client.message);
  EXPECT_EQ(runState.recipients, "");
  EXPECT_EQ(extension.textLength, static_cast<LONG>(text.size()));
  ASSERT_NE(CapturedText(extension), nullptr);
  EXPECT_EQ(std::string(CapturedText(extension)), text);
  // The block outlives the command as the kept text.
  UnlockCapturedText(extension);
  EXPECT_EQ(CapturedText(extension), nullptr);
  EXPECT_EQ(GlobalFlags(extension.textHandle) & GMEM_LOCKCOUNT, 0u);
  EXPECT_EQ(BlockText(extension.textHandle), text);
}

TEST_F(CaptureTest, FocusInAnyFieldOfACompositionCapturesTheBody) {
  FakeClient::SetText(client.body, "the body of the letter");
  FakeClient::SetText(client.to, "x@example.org");
  for (HWND focus : {client.to, client.cc, client.body}) {
    SCOPED_TRACE(GetDlgCtrlID(focus));
    EXPECT_EQ(CaptureFrom(focus), client.body);
    EXPECT_EQ(runState.windowKind, CompositionWindow);
    EXPECT_EQ(extension.sourceWindow, client.body);
    EXPECT_EQ(GetFocus(), client.body);
    ASSERT_NE(CapturedText(extension), nullptr);
    EXPECT_STREQ(CapturedText(extension), "the body of the letter");
    EXPECT_EQ(runState.recipients, "x@example.org");
  }
}

struct FailureRow {
  const char* name;
  HWND FakeClient::*window;  // null member: no window at all
  const char* text;
};

class CaptureFailureTest : public CaptureTest, public testing::WithParamInterface<FailureRow> {};

TEST_P(CaptureFailureTest, SaysNoTextFound) {
  const FailureRow& row = GetParam();
  HWND window = row.window != nullptr ? client.*row.window : nullptr;
  if (window != nullptr) FakeClient::SetText(window, row.text);
  EXPECT_EQ(CaptureFrom(window), nullptr);
  EXPECT_EQ(captureMessage, kNoTextFound);
  EXPECT_EQ(extension.textHandle, nullptr);
  EXPECT_EQ(CapturedText(extension), nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, CaptureFailureTest,
    testing::Values(FailureRow{"OneCharacterMessage", &FakeClient::message, "x"},
                    FailureRow{"EmptyMessage", &FakeClient::message, ""},
                    FailureRow{"OneCharacterBody", &FakeClient::body, "y"},
                    FailureRow{"EditOutsideAnyView", &FakeClient::looseEdit, "plenty of text"},
                    FailureRow{"TheViewItself", &FakeClient::view, "plenty of text"},
                    FailureRow{"NoFocus", nullptr, ""}),
    [](const auto& info) { return std::string(info.param.name); });

// A form of the composition class whose children do not follow the layout
// is no composition; its fields are then not message windows either, and
// the client must not have been asked to expand anything in them.
struct LayoutRow {
  const char* name;
  std::vector<Child> layout;
};

class BrokenLayoutTest : public CaptureTest, public testing::WithParamInterface<LayoutRow> {};

TEST_P(BrokenLayoutTest, IsNeitherKindOfWindow) {
  extension.SelectAllNext1 = fake_client::kWrapSelectionId;
  extension.SelectAllNext2 = fake_client::kFinishNicknameId;
  HWND form = client.AddForm(GetParam().layout, 0, 0);
  HWND field = GetDlgItem(form, 11);
  ASSERT_NE(field, nullptr);
  FakeClient::SetText(field, "alice, bob");
  EXPECT_EQ(CaptureFrom(field), nullptr);
  EXPECT_EQ(captureMessage, kNoTextFound);
  EXPECT_EQ(runState.recipients, "");
  EXPECT_TRUE(client.nicknameCalls.empty());
  EXPECT_EQ(client.selectAllCount, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, BrokenLayoutTest,
    testing::Values(
        LayoutRow{"SecondChildNotEdit",
                  {{"Static", "To:", 10}, {"Static", "x", 12}, {"Edit", "", 11}, {"Static", "", 13}}},
        LayoutRow{"FirstChildNotStatic",
                  {{"Edit", "", 10}, {"Edit", "", 11}, {"Edit", "", 12}, {"Static", "", 13}}},
        LayoutRow{"SecondChildIsButton",
                  {{"Static", "To:", 10}, {"Button", "To", 12}, {"Edit", "", 11}, {"Static", "", 13}}}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- Recipients from To and Cc ---------------------------------------------

struct RecipientRow {
  const char* name;
  std::string to;
  std::string cc;
  bool nicknameCommand;  // whether the client's menu offers one
  std::string expected;
  size_t nicknameCalls;
  std::string leftOut = "";  // who could not be passed on, as the user is told
};

class RecipientTest : public CaptureTest, public testing::WithParamInterface<RecipientRow> {};

TEST_P(RecipientTest, ComeFromToAndCc) {
  const RecipientRow& row = GetParam();
  if (row.nicknameCommand) extension.SelectAllNext2 = fake_client::kFinishNicknameId;
  FakeClient::SetText(client.to, row.to);
  FakeClient::SetText(client.cc, row.cc);
  FakeClient::SetText(client.body, "body text");
  ASSERT_EQ(CaptureFrom(client.body), client.body);
  EXPECT_EQ(runState.recipients, row.expected);
  EXPECT_EQ(client.nicknameCalls.size(), row.nicknameCalls);
  EXPECT_EQ(runState.recipientsLeftOut.text, row.leftOut);
}

// Addresses of the given lengths ("u3xxxx@example.org"), separated by ", "
// as a user types them.
std::string AddressList(const std::vector<int>& lengths) {
  std::string list;
  for (size_t i = 0; i < lengths.size(); ++i) {
    std::string user = "u" + std::to_string(i);
    user.resize(static_cast<size_t>(lengths[i]) - 12, 'x');
    list += (i ? ", " : "") + user + "@example.org";
  }
  return list;
}

// What the list reduces to: the addresses separated by one blank.
std::string Reduced(const std::vector<int>& lengths) {
  std::string list = AddressList(lengths);
  for (size_t at = list.find(", "); at != std::string::npos; at = list.find(", ", at)) {
    list.erase(at, 1);
  }
  return list;
}

// Lists longer than any fixed buffer: the field is read whole (twenty
// addresses of 16 pass the 255 characters a field was once read with) and
// the Cc list is taken beside any To list.
const std::vector<int> kLongCc{16, 16, 16, 16, 16, 23};
const std::vector<int> kLongTo(20, 16);

INSTANTIATE_TEST_SUITE_P(
    Rows, RecipientTest,
    testing::Values(
        RecipientRow{"OneNameAndAngleAddress", "Alice Liddell <a@b>", "", true, "a@b", 0},
        RecipientRow{"TwoEntriesOneCommandEach", "a@b, c@d", "", true, "a@b c@d", 2},
        RecipientRow{"NicknamesExpandedByTheClient", "alice, bob", "", true,
                     "alice@example.org bob@example.net", 2},
        RecipientRow{"NoNicknameCommandNoExpansion", "alice, bob", "", false, "alice bob", 0},
        // A name without an address would reach PGP as three user ids.
        RecipientRow{"NameWithoutAddressIsLeftOutAndNamed", "  John Q Public  ", "", false, "", 0,
                     "John Q Public"},
        RecipientRow{"OneWordWithoutAddressIsAUserId", "  alice  ", "", false, "alice", 0},
        RecipientRow{"CcFollowsTo", "a@b", "c@d", true, "a@b c@d", 2},
        RecipientRow{"CcNicknameListExpands", "Name <a@b>", "team", true,
                     "a@b carol@example.com dave@example.com", 2},
        // A message written to Cc recipients only is encrypted for them.
        RecipientRow{"EmptyToTakesTheCcList", "", "c@d", true, "c@d", 1},
        RecipientRow{"CommaOnlyToTakesTheCcList", ",", "c@d", true, "c@d", 3},
        RecipientRow{"LongCcListIsTakenWhole", "a@b", AddressList(kLongCc), false,
                     "a@b " + Reduced(kLongCc), 0},
        RecipientRow{"LongToIsTakenWhole", AddressList(kLongTo), "", false, Reduced(kLongTo), 0},
        RecipientRow{"LongAddressIsTakenWhole", std::string(300, 'z') + "@x", "", false,
                     std::string(300, 'z') + "@x", 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(CaptureTest, NicknameCommandSelectsEachEntryAndHoldsShiftWhenAsked) {
  extension.SelectAllNext2 = fake_client::kFinishNicknameId;
  FakeClient::SetText(client.to, "a@b, c@d");
  FakeClient::SetText(client.body, "body text");
  for (int nickNames : {0, 1}) {
    SCOPED_TRACE(nickNames);
    extension.Settings.NickNames = nickNames;
    client.nicknameCalls.clear();
    ASSERT_NE(CaptureFrom(client.body), nullptr);
    ASSERT_EQ(client.nicknameCalls.size(), 2u);
    EXPECT_EQ(client.nicknameCalls[0].field, client.to);
    EXPECT_EQ(client.nicknameCalls[0].start, 0);
    EXPECT_EQ(client.nicknameCalls[0].end, 3);
    EXPECT_EQ(client.nicknameCalls[1].start, 4);
    EXPECT_EQ(client.nicknameCalls[1].end, 8);
    for (const auto& call : client.nicknameCalls) EXPECT_EQ(call.shiftDown, nickNames != 0);
    // The Shift key is let go again afterwards.
    EXPECT_EQ(GetKeyState(VK_SHIFT) & 0x8000, 0);
  }
}

TEST_F(CaptureTest, NoCommandIdMeansNoNicknameCommand) {
  extension.SelectAllNext2 = kNoMenuItemId;
  FakeClient::SetText(client.to, "alice, bob");
  FakeClient::SetText(client.body, "body text");
  ASSERT_NE(CaptureFrom(client.body), nullptr);
  EXPECT_TRUE(client.nicknameCalls.empty());
  EXPECT_EQ(runState.recipients, "alice bob");
}

TEST_F(CaptureTest, ReadOnlyFieldIsNotExpanded) {
  FakeClient readOnlyClient(fake_client::CompositionLayout(ES_READONLY));
  extension.SelectAllNext2 = fake_client::kFinishNicknameId;
  FakeClient::SetText(readOnlyClient.to, "alice, Bob <b@x>");
  FakeClient::SetText(readOnlyClient.body, "body text");
  ASSERT_NE(CaptureFrom(readOnlyClient.body), nullptr);
  EXPECT_TRUE(readOnlyClient.nicknameCalls.empty());
  EXPECT_EQ(runState.recipients, "alice b@x");
}

// ---- Preparing the body ----------------------------------------------------

TEST_F(CaptureTest, EditableBodyIsWrappedByTheClientAndTheClipboardEmptied) {
  extension.SelectAllNext1 = fake_client::kWrapSelectionId;
  client.wrapColumn = 12;
  FakeClient::SetText(client.body, "one two three four five");
  ASSERT_TRUE(OpenClipboard(client.main));
  EmptyClipboard();
  HGLOBAL clip = NewBlock("left on the clipboard");
  SetClipboardData(CF_TEXT, clip);
  CloseClipboard();

  ASSERT_EQ(CaptureFrom(client.to), client.body);
  EXPECT_EQ(client.selectAllCount, 1);
  EXPECT_EQ(client.wrapCount, 1);
  EXPECT_STREQ(CapturedText(extension), "one two\r\nthree four\r\nfive");
  EXPECT_FALSE(IsClipboardFormatAvailable(CF_TEXT));
}

TEST_F(CaptureTest, ReadOnlyBodyAndMessageWindowAreLeftAsTheyAre) {
  extension.SelectAllNext1 = fake_client::kWrapSelectionId;
  client.wrapColumn = 12;
  FakeClient readOnlyBody(fake_client::CompositionLayout(0, ES_READONLY));
  FakeClient::SetText(readOnlyBody.body, "one two three four five");
  ASSERT_EQ(CaptureFrom(readOnlyBody.body), readOnlyBody.body);
  EXPECT_STREQ(CapturedText(extension), "one two three four five");
  EXPECT_EQ(readOnlyBody.selectAllCount + readOnlyBody.wrapCount, 0);

  FakeClient::SetText(client.message, "one two three four five");
  ASSERT_EQ(CaptureFrom(client.message), client.message);
  EXPECT_STREQ(CapturedText(extension), "one two three four five");
  EXPECT_EQ(client.selectAllCount + client.wrapCount, 0);
}

TEST_F(CaptureTest, NoWrapCommandMeansTheBodyIsLeftAlone) {
  extension.SelectAllNext1 = kNoMenuItemId;
  client.wrapColumn = 12;
  FakeClient::SetText(client.body, "one two three four five");
  ASSERT_EQ(CaptureFrom(client.body), client.body);
  EXPECT_EQ(client.selectAllCount, 0);
  EXPECT_STREQ(CapturedText(extension), "one two three four five");
}

// ---- Putting a result in and taking it back ----------------------------------

TEST_F(CaptureTest, ReplaceSourceTextNotifiesTheClientAndArmsUndo) {
  FakeClient::SetText(client.message, "-----BEGIN PGP MESSAGE-----");
  ASSERT_NE(CaptureFrom(client.message), nullptr);
  FakeClient::Pump();
  const size_t updatesBefore = client.editUpdates.size();
  char message[kMessageTextSize] = "";
  HGLOBAL result = NewBlock("the decoded text");
  ASSERT_TRUE(Replace(result, message));
  EXPECT_EQ(FakeClient::Text(client.message), "the decoded text");
  EXPECT_EQ(extension.UndoArmed, 1);
  EXPECT_EQ(GlobalFlags(result), static_cast<UINT>(GMEM_INVALID_HANDLE));
  // The notice is posted, so the client sees it from its message loop.
  EXPECT_EQ(client.editUpdates.size(), updatesBefore);
  FakeClient::Pump();
  ASSERT_EQ(client.editUpdates.size(), updatesBefore + 1);
  EXPECT_EQ(client.editUpdates.back().parent, client.view);
  EXPECT_EQ(client.editUpdates.back().id, fake_client::kMessageId);
  EXPECT_EQ(client.editUpdates.back().control, client.message);
}

struct ReplaceFailureRow {
  const char* name;
  bool destroyWindow;
  bool sourceIsContainer;
  bool unlockableBlock;
  const char* expected;
};

class ReplaceFailureTest : public CaptureTest,
                           public testing::WithParamInterface<ReplaceFailureRow> {};

TEST_P(ReplaceFailureTest, KeepsTheBlockAndTheWindow) {
  const ReplaceFailureRow& row = GetParam();
  FakeClient::SetText(client.message, "as it was");
  extension.sourceWindow = row.sourceIsContainer ? client.view : client.message;
  if (row.destroyWindow) DestroyWindow(client.message);
  HGLOBAL block = row.unlockableBlock ? GlobalAlloc(GMEM_MOVEABLE, 0) : NewBlock("new text");
  ASSERT_NE(block, nullptr);
  char message[kMessageTextSize] = "";
  EXPECT_FALSE(Replace(block, message));
  EXPECT_STREQ(message, row.expected);
  EXPECT_EQ(extension.UndoArmed, 0);
  EXPECT_NE(GlobalFlags(block), static_cast<UINT>(GMEM_INVALID_HANDLE));
  if (!row.unlockableBlock) {
    EXPECT_EQ(BlockText(block), "new text");
  }
  if (!row.destroyWindow) {
    EXPECT_EQ(FakeClient::Text(client.message), "as it was");
  }
  GlobalFree(block);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ReplaceFailureTest,
    testing::Values(ReplaceFailureRow{"WindowGone", true, false, false, kNoSourceWindow},
                    ReplaceFailureRow{"NotATextField", false, true, false, kNoSourceWindow},
                    ReplaceFailureRow{"BlockCannotBeLocked", false, false, true, kNoWindowText}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(CaptureTest, ReplacingTheLockedKeptTextDropsTheCommandsLock) {
  FakeClient::SetText(client.body, "the original");
  ASSERT_NE(CaptureFrom(client.body), nullptr);
  ASSERT_NE(CapturedText(extension), nullptr);
  char message[kMessageTextSize] = "";
  ASSERT_TRUE(Replace(extension.textHandle, message));
  EXPECT_EQ(CapturedText(extension), nullptr);
  extension.textHandle = nullptr;  // freed with the replacement
  UnlockCapturedText(extension);            // must be harmless now
  EXPECT_EQ(FakeClient::Text(client.body), "the original");
}

TEST_F(CaptureTest, UndoSwapsBackAndForthThroughTheClientsUndo) {
  FakeClient::SetText(client.body, "the encrypted original");
  ASSERT_NE(CaptureFrom(client.body), nullptr);
  UnlockCapturedText(extension);
  char message[kMessageTextSize] = "";
  ASSERT_TRUE(Replace(NewBlock("the result"), message));
  InstallUndo(client.body);
  SetFocus(client.body);

  EXPECT_EQ(SendMessageA(client.body, EM_CANUNDO, 0, 0), 1);
  const char* expected[] = {"the encrypted original", "the result", "the encrypted original"};
  const char* kept[] = {"the result", "the encrypted original", "the result"};
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    SendMessageA(client.main, WM_COMMAND, kUndoId, 0);
    EXPECT_EQ(FakeClient::Text(client.body), expected[i]);
    EXPECT_EQ(BlockText(extension.textHandle), kept[i]);
    EXPECT_EQ(extension.textLength, static_cast<LONG>(std::strlen(kept[i])));
    EXPECT_EQ(extension.UndoArmed, 1);
    EXPECT_EQ(WindowProcOf(client.body), SourceWindowSubclassProc);
  }
  EXPECT_EQ(client.undoCount, 3);
}

struct EndingRow {
  const char* name;
  UINT message;
  WPARAM wParam;
};

class UndoEndingTest : public CaptureTest, public testing::WithParamInterface<EndingRow> {};

// Editing ends the undo: the subclass goes, the edit itself handles the
// message, and the client's Undo is the edit's own again.
TEST_P(UndoEndingTest, EditingHandsTheWindowBack) {
  FakeClient::SetText(client.body, "before");
  const WNDPROC original = WindowProcOf(client.body);
  ASSERT_NE(CaptureFrom(client.body), nullptr);
  UnlockCapturedText(extension);
  char message[kMessageTextSize] = "";
  ASSERT_TRUE(Replace(NewBlock("after"), message));
  InstallUndo(client.body);
  SendMessageA(client.body, EM_SETSEL, 5, 5);

  SendMessageA(client.body, GetParam().message, GetParam().wParam, 0);
  EXPECT_EQ(extension.UndoArmed, 0);
  EXPECT_EQ(extension.sourceWindow, nullptr);
  EXPECT_EQ(WindowProcOf(client.body), original);
  const std::string edited = FakeClient::Text(client.body);
  if (GetParam().message == WM_CHAR) {
    EXPECT_EQ(edited, "afterx");
  }

  SendMessageA(client.body, WM_UNDO, 0, 0);
  EXPECT_EQ(BlockText(extension.textHandle), "before");  // the kept text is untouched
  if (GetParam().message == WM_CHAR) {
    EXPECT_EQ(FakeClient::Text(client.body), "after");
  }
}

INSTANTIATE_TEST_SUITE_P(Rows, UndoEndingTest,
                         testing::Values(EndingRow{"Typing", WM_CHAR, 'x'},
                                         EndingRow{"Pasting", WM_PASTE, 0},
                                         EndingRow{"Clearing", WM_CLEAR, 0}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(CaptureTest, DisarmedSubclassGoesOnTheNextMessageAndPassesItOn) {
  FakeClient::SetText(client.body, "twelve chars");
  const WNDPROC original = WindowProcOf(client.body);
  extension.sourceWindow = client.body;
  InstallUndo(client.body);
  ASSERT_EQ(extension.UndoArmed, 0);
  EXPECT_EQ(SendMessageA(client.body, WM_GETTEXTLENGTH, 0, 0), 12);
  EXPECT_EQ(WindowProcOf(client.body), original);
  EXPECT_EQ(extension.sourceWindow, nullptr);
  // The edit answers for itself: nothing typed, nothing to undo.
  EXPECT_EQ(SendMessageA(client.body, EM_CANUNDO, 0, 0), 0);
}

TEST_F(CaptureTest, DestroyingTheArmedWindowEndsTheUndo) {
  FakeClient::SetText(client.body, "before");
  ASSERT_NE(CaptureFrom(client.body), nullptr);
  UnlockCapturedText(extension);
  char message[kMessageTextSize] = "";
  ASSERT_TRUE(Replace(NewBlock("after"), message));
  InstallUndo(client.body);
  DestroyWindow(client.body);
  EXPECT_EQ(extension.UndoArmed, 0);
  EXPECT_EQ(extension.sourceWindow, nullptr);
  EXPECT_EQ(BlockText(extension.textHandle), "before");
}

TEST_F(CaptureTest, FailedUndoSaysWhyInAnUndoBoxAndKeepsTheText) {
  FakeClient::SetText(client.message, "-----BEGIN PGP MESSAGE-----");
  ASSERT_NE(CaptureFrom(client.message), nullptr);
  UnlockCapturedText(extension);
  HGLOBAL kept = extension.textHandle;
  DestroyWindow(client.message);
  DialogAnswerer answerer({{"UNDO", IDOK}});
  EXPECT_FALSE(UndoPgpResult(extension, client.main));
  const auto seen = answerer.Seen();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].text, kNoSourceWindow);
  EXPECT_EQ(answerer.Unexpected(), 0);
  EXPECT_EQ(extension.textHandle, kept);
  EXPECT_EQ(BlockText(kept), "-----BEGIN PGP MESSAGE-----");
}

}  // namespace
