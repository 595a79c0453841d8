// The confirmation dialog as the user meets it: opened over the mail
// client's main window, read and answered from the answerer's thread the
// way a user would, and photographed for a look by eye.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "command/confirm_dialog_win.h"
#include "core/module_win.h"
#include "resources/resource_ids.h"
#include "runner/pgp_runner_win.h"
#include "tests/win/support/dialog_answerer.h"
#include "tests/win/support/fake_client.h"
#include "tests/win/support/test_state.h"

namespace {

using fake_client::FakeClient;

constexpr char kDecodeText[] =
    "Quillnet found an encrypted text in the message window. It will be passed to PGP for "
    "decoding.\nTip: Choose 'Message|Reply' first, and then 'Run PGP...' Then you'll get the "
    "decoded text in your edit window.";
constexpr char kDecodeTextInReply[] =
    "Quillnet found an encrypted text in the message window. It will be passed to PGP for "
    "decoding.";
constexpr char kCheckText[] =
    "Quillnet found a signature in the message window. PGP will check if it is valid.";
constexpr char kClearsignText[] =
    "Quillnet couldn't find an encrypted or clearsigned text. Because you did not type a "
    "recipient name (someone to encrypt for) it will tell PGP to clearsign your message.";
constexpr char kAddKeyText[] =
    "Quillnet found (at least) one public key. If you choose <OK>, PGP will add it to your "
    "public keyring.";
constexpr char kEncryptText[] =
    "Quillnet couldn't find an encrypted or clearsigned text so it will tell PGP to encrypt your "
    "message for the user in the editfield below.";

// What the user sees, read while the dialog is open.
struct DialogView {
  std::string title;
  std::string preview;
  std::string explanation;
  std::string field;
  bool fieldShown = false;
  bool fieldEnabled = false;
  bool labelShown = false;
  bool skipShown = false;
  bool skipEnabled = false;
  RECT frame{};
  RECT label{};
};

bool Shown(HWND control) { return (GetWindowLongA(control, GWL_STYLE) & WS_VISIBLE) != 0; }

DialogView Look(HWND dialog) {
  DialogView v;
  v.title = WindowTextOf(dialog);
  v.preview = WindowTextOf(GetDlgItem(dialog, IDC_PREVIEW));
  v.explanation = WindowTextOf(GetDlgItem(dialog, IDC_EXPLANATION));
  HWND field = GetDlgItem(dialog, IDC_ENCRYPT_FOR);
  v.field = WindowTextOf(field);
  v.fieldShown = Shown(field);
  v.fieldEnabled = IsWindowEnabled(field) != FALSE;
  v.labelShown = Shown(GetDlgItem(dialog, IDC_ENCRYPT_FOR_LABEL));
  HWND skip = GetDlgItem(dialog, IDC_SKIP);
  v.skipShown = Shown(skip);
  v.skipEnabled = IsWindowEnabled(skip) != FALSE;
  GetWindowRect(dialog, &v.frame);
  GetWindowRect(GetDlgItem(dialog, IDC_ENCRYPT_FOR_LABEL), &v.label);
  return v;
}

// A 24-bit BMP of the window, in the folder "screenshots" next to the test
// executable, for a look by eye.
void SaveScreenshot(HWND window, const char* name) {
  char path[MAX_PATH];
  const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string dir(path, n);
  dir = dir.substr(0, dir.find_last_of('\\')) + "\\screenshots";
  CreateDirectoryA(dir.c_str(), nullptr);
  RECT r;
  GetWindowRect(window, &r);
  const int w = r.right - r.left;
  const int h = r.bottom - r.top;
  BITMAPINFO info{};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), w, h, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(memory, bitmap);
  // From the screen, not PrintWindow: Wine's WM_PRINT leaves out the frame
  // and the controls, so only the screen shows what the user sees.
  BitBlt(memory, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
  GdiFlush();
  const DWORD stride = (static_cast<DWORD>(w) * 3 + 3) & ~3u;
  BITMAPFILEHEADER file{0x4D42, 0, 0, 0, sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER)};
  file.bfSize = file.bfOffBits + stride * static_cast<DWORD>(h);
  if (FILE* out = std::fopen((dir + "\\" + name).c_str(), "wb")) {
    std::fwrite(&file, sizeof file, 1, out);
    std::fwrite(&info.bmiHeader, sizeof info.bmiHeader, 1, out);
    std::fwrite(bits, stride, static_cast<size_t>(h), out);
    std::fclose(out);
  }
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
}

class ConfirmDialogTest : public testing::Test {
 protected:
  void SetUp() override {
    ResetTestState(runState, extension);
    fieldWasEmpty = false;
  }
  void TearDown() override { ResetTestState(runState, extension); }

  // Opens the dialog for `function` with `preview` as its preview and runs
  // `user` against it on the answerer's thread; returns the dialog's answer.
  // fieldWasEmpty goes in and comes back as the dialog left it.
  int Open(PgpFunction function, uint16_t flags, const char* preview,
           const std::function<void(HWND)>& user) {
    runState.function = function;
    PgpRequest request{flags, client.main, 0, "quillnet.asc", runState.recipients.c_str()};
    Confirmation confirmation{runState, &request, preview};
    confirmation.fieldWasEmpty = fieldWasEmpty;
    DialogAnswerer answerer({{"", user}});
    const INT_PTR answer =
        DialogBoxParamA(moduleInstance, MAKEINTRESOURCEA(IDD_CONFIRM), client.main, ConfirmDialogProc,
                        reinterpret_cast<LPARAM>(&confirmation));
    fieldWasEmpty = confirmation.fieldWasEmpty;
    EXPECT_EQ(answerer.Unexpected(), 0);
    EXPECT_EQ(answerer.Seen().size(), 1u);
    return static_cast<int>(answer);
  }

  FakeClient client;
  bool fieldWasEmpty = false;
};

// ---- What each operation shows ---------------------------------------------

struct TipRow {
  const char* name;
  BOOL quoted;
  const char* explanation;
};

class DecodeTipTest : public ConfirmDialogTest, public testing::WithParamInterface<TipRow> {};

TEST_P(DecodeTipTest, ReplyTipOnlyOutsideAReply) {
  runState.quoted = GetParam().quoted;
  DialogView v;
  const int answer = Open(Decode, 0xA000, "-----BEGIN PGP MESSAGE-----", [&](HWND d) {
    v = Look(d);
    PressButton(d, IDCANCEL);
  });
  EXPECT_EQ(answer, IDCANCEL);
  EXPECT_EQ(v.title, " PGP - Decode ");
  EXPECT_EQ(v.preview, "-----BEGIN PGP MESSAGE-----");
  EXPECT_EQ(v.explanation, GetParam().explanation);
  EXPECT_FALSE(v.fieldShown);
  EXPECT_TRUE(v.skipShown);
}

INSTANTIATE_TEST_SUITE_P(Rows, DecodeTipTest,
                         testing::Values(TipRow{"Received", FALSE, kDecodeText},
                                         TipRow{"Reply", TRUE, kDecodeTextInReply}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ConfirmDialogTest, CheckSignatureHasNoEncryptForAndOffersSkip) {
  DialogView v;
  const int answer = Open(CheckSignature, 0x8000, "-----BEGIN PGP SIGNED MESSAGE-----",
                          [&](HWND d) {
                            v = Look(d);
                            PressButton(d, IDC_SKIP);
                          });
  EXPECT_EQ(answer, IDC_SKIP);
  EXPECT_EQ(v.title, " PGP - Check signature ");
  EXPECT_EQ(v.explanation, kCheckText);
  EXPECT_FALSE(v.fieldShown);
  EXPECT_FALSE(v.fieldEnabled);
  EXPECT_FALSE(v.labelShown);
  EXPECT_TRUE(v.skipShown);
  EXPECT_TRUE(v.skipEnabled);
  // The dialog now ends at the bottom of the hidden label, above the field.
  EXPECT_EQ(v.frame.bottom, v.label.bottom);
  EXPECT_GT(v.frame.bottom, v.frame.top);
}

TEST_F(ConfirmDialogTest, KeyOfferShowsTheKeyBlockAndOffersSkip) {
  runState.quoted = TRUE;  // the reply tip cut is for decoding only
  DialogView v;
  const int answer = Open(AddKey, 0x8110, "-----BEGIN PGP PUBLIC KEY BLOCK-----", [&](HWND d) {
    v = Look(d);
    PressButton(d, IDOK);
  });
  EXPECT_EQ(answer, IDOK);
  EXPECT_EQ(v.title, " PGP - Add key ");
  EXPECT_EQ(v.preview, "-----BEGIN PGP PUBLIC KEY BLOCK-----");
  EXPECT_EQ(v.explanation, kAddKeyText);
  EXPECT_TRUE(v.skipShown);
  EXPECT_FALSE(v.fieldShown);
}

TEST_F(ConfirmDialogTest, EncryptionFollowsTheFieldBetweenEncryptAndClearsign) {
  runState.recipients = "a@example.org b@example.org";
  std::vector<DialogView> views;
  int encryptHeight = 0;
  const int answer = Open(Encrypt, 0xC071, "Dear Bob,", [&](HWND d) {
    views.push_back(Look(d));
    HWND field = GetDlgItem(d, IDC_ENCRYPT_FOR);
    SetWindowTextA(field, "");
    views.push_back(Look(d));
    SetWindowTextA(field, "c");
    views.push_back(Look(d));
    SetWindowTextA(field, "c@example.org");
    views.push_back(Look(d));
    encryptHeight = views[0].frame.bottom - views[0].frame.top;
    PressButton(d, IDOK);
  });
  EXPECT_EQ(answer, IDOK);
  ASSERT_EQ(views.size(), 4u);
  EXPECT_EQ(views[0].title, " PGP - Encrypt ");
  EXPECT_EQ(views[0].field, "a@example.org b@example.org");
  EXPECT_EQ(views[0].explanation, kEncryptText);
  EXPECT_EQ(views[0].preview, "Dear Bob,");
  EXPECT_TRUE(views[0].fieldShown);
  EXPECT_TRUE(views[0].labelShown);
  EXPECT_FALSE(views[0].skipShown);
  EXPECT_FALSE(views[0].skipEnabled);
  EXPECT_EQ(views[1].title, " PGP - Clearsign ");
  EXPECT_EQ(views[1].explanation, kClearsignText);
  EXPECT_EQ(views[2].title, " PGP - Encrypt ");
  EXPECT_EQ(views[2].explanation, kEncryptText);
  EXPECT_EQ(views[3].title, " PGP - Encrypt ");
  // OK takes the edited list.
  EXPECT_EQ(runState.recipients, "c@example.org");
  EXPECT_FALSE(fieldWasEmpty);
  EXPECT_GT(encryptHeight, views[0].label.bottom - views[0].frame.top);
}

TEST_F(ConfirmDialogTest, EncryptionWithoutRecipientsOpensAsClearsign) {
  fieldWasEmpty = false;  // left over from an earlier dialog
  DialogView opened;
  DialogView typed;
  const int answer = Open(Encrypt, 0xC071, "Dear Bob,", [&](HWND d) {
    opened = Look(d);
    SetWindowTextA(GetDlgItem(d, IDC_ENCRYPT_FOR), "bob");
    typed = Look(d);
    PressButton(d, IDOK);
  });
  EXPECT_EQ(answer, IDOK);
  EXPECT_EQ(opened.title, " PGP - Clearsign ");
  EXPECT_EQ(opened.explanation, kClearsignText);
  EXPECT_EQ(opened.field, "");
  EXPECT_EQ(typed.title, " PGP - Encrypt ");
  EXPECT_EQ(typed.explanation, kEncryptText);
  EXPECT_EQ(runState.recipients, "bob");
}

// The field hands back all it holds: only PGP's command line bounds the
// recipients, and the driver refuses a list too long for it by name.
TEST_F(ConfirmDialogTest, RecipientsComeBackWhole) {
  std::string typed;
  for (int i = 0; i < 300; ++i) typed += (i ? " k" : "k") + std::to_string(i) + "@example.org";
  const int answer = Open(Encrypt, 0xC071, "text", [&](HWND d) {
    SetWindowTextA(GetDlgItem(d, IDC_ENCRYPT_FOR), typed.c_str());
    PressButton(d, IDOK);
  });
  EXPECT_EQ(answer, IDOK);
  EXPECT_EQ(runState.recipients, typed);
}

// Skip moves on to the next block; a run that encrypts or signs covers the
// whole text, so it has none to move on to.
struct SkipRow {
  const char* name;
  uint16_t flags;
  bool offered;
};

class SkipOfferTest : public ConfirmDialogTest, public testing::WithParamInterface<SkipRow> {};

TEST_P(SkipOfferTest, DependsOnEncryptAndSignBits) {
  DialogView v;
  Open(Decode, GetParam().flags, "x", [&](HWND d) {
    v = Look(d);
    PressButton(d, IDCANCEL);
  });
  EXPECT_EQ(v.skipShown, GetParam().offered);
  EXPECT_EQ(v.skipEnabled, GetParam().offered);
}

INSTANTIATE_TEST_SUITE_P(Rows, SkipOfferTest,
                         testing::Values(SkipRow{"Decode", 0xA000, true},
                                         SkipRow{"AddKey", 0x8110, true},
                                         SkipRow{"Encrypt", 0xC071, false},
                                         SkipRow{"EncryptAndSign", 0xE075, false},
                                         SkipRow{"Clearsign", 0xA036, false},
                                         SkipRow{"SignOnly", 0x0004, false}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- How it ends -------------------------------------------------------------

struct NoticeRow {
  const char* name;
  int button;
  int notification;
};

class NoticeTest : public ConfirmDialogTest, public testing::WithParamInterface<NoticeRow> {};

TEST_P(NoticeTest, OnlyAClickEndsTheDialog) {
  bool stillOpen = false;
  const int answer = Open(Decode, 0xA000, "x", [&](HWND d) {
    const NoticeRow& row = GetParam();
    SendMessageA(d, WM_COMMAND, MAKEWPARAM(row.button, row.notification),
                 reinterpret_cast<LPARAM>(GetDlgItem(d, row.button)));
    stillOpen = IsWindow(d) && IsWindowVisible(d);
    PressButton(d, IDC_SKIP);
  });
  EXPECT_TRUE(stillOpen);
  EXPECT_EQ(answer, IDC_SKIP);
}

INSTANTIATE_TEST_SUITE_P(Rows, NoticeTest,
                         testing::Values(NoticeRow{"OkDoubleClick", IDOK, BN_DOUBLECLICKED},
                                         NoticeRow{"CancelDoubleClick", IDCANCEL, BN_DOUBLECLICKED},
                                         NoticeRow{"SkipFocus", IDC_SKIP, BN_SETFOCUS}),
                         [](const auto& info) { return std::string(info.param.name); });

struct CloseRow {
  const char* name;
  std::function<void(HWND)> close;
};

class CloseTest : public ConfirmDialogTest, public testing::WithParamInterface<CloseRow> {};

TEST_P(CloseTest, CountsAsCancel) {
  const int answer = Open(CheckSignature, 0x8000, "x", GetParam().close);
  EXPECT_EQ(answer, IDCANCEL);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, CloseTest,
    testing::Values(CloseRow{"SystemMenuClose",
                             [](HWND d) { PostMessageA(d, WM_SYSCOMMAND, SC_CLOSE, 0); }},
                    CloseRow{"EscapeKey",
                             [](HWND d) {
                               PostMessageA(GetDlgItem(d, IDOK), WM_KEYDOWN, VK_ESCAPE, 0x00010001);
                             }}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- Where it opens ------------------------------------------------------------

// The dialog is centred at its full height; without the Encrypt-for field
// it then loses its bottom part and keeps its top-left corner.
TEST_F(ConfirmDialogTest, OpensCentredOverTheMainWindow) {
  RECT full{};
  RECT shortened{};
  Open(Encrypt, 0xC071, "x", [&](HWND d) {
    GetWindowRect(d, &full);
    PressButton(d, IDCANCEL);
  });
  Open(Decode, 0xA000, "x", [&](HWND d) {
    GetWindowRect(d, &shortened);
    PressButton(d, IDCANCEL);
  });
  RECT main;
  GetWindowRect(client.main, &main);
  const LONG width = full.right - full.left;
  const LONG height = full.bottom - full.top;
  EXPECT_EQ(full.left, (main.left + main.right - width) >> 1);
  EXPECT_EQ(full.top, (main.top + main.bottom - height) >> 1);
  EXPECT_EQ(shortened.left, full.left);
  EXPECT_EQ(shortened.top, full.top);
  EXPECT_EQ(shortened.right, full.right);
  EXPECT_LT(shortened.bottom, full.bottom);
}

struct CentreRow {
  const char* name;
  RECT over;
  SIZE window;
  POINT expected;
};

class CenterWindowTest : public testing::TestWithParam<CentreRow> {};

HWND Popup(const RECT& r) {
  return CreateWindowExA(WS_EX_TOOLWINDOW, "Static", "", WS_POPUP, r.left, r.top,
                         r.right - r.left, r.bottom - r.top, nullptr, nullptr,
                         GetModuleHandleA(nullptr), nullptr);
}

TEST_P(CenterWindowTest, PutsTheCentreOverTheOther) {
  const CentreRow& row = GetParam();
  HWND over = Popup(row.over);
  HWND window = Popup({300, 300, 300 + row.window.cx, 300 + row.window.cy});
  RECT placed;
  GetWindowRect(over, &placed);
  ASSERT_EQ(placed.left, row.over.left);  // the platform kept the position asked for
  CenterWindow(window, over);
  RECT r;
  GetWindowRect(window, &r);
  EXPECT_EQ(r.left, row.expected.x);
  EXPECT_EQ(r.top, row.expected.y);
  EXPECT_EQ(r.right - r.left, row.window.cx);
  EXPECT_EQ(r.bottom - r.top, row.window.cy);
  DestroyWindow(window);
  DestroyWindow(over);
}

// Odd sums round toward minus infinity, larger windows stick out on both
// sides and nothing is clipped to the screen.
INSTANTIATE_TEST_SUITE_P(
    Rows, CenterWindowTest,
    testing::Values(CentreRow{"EvenSums", {100, 100, 500, 400}, {200, 100}, {200, 200}},
                    CentreRow{"OddSumsPositive", {101, 100, 502, 401}, {200, 100}, {201, 200}},
                    CentreRow{"OddSumsNegative", {-101, -51, 0, 50}, {100, 60}, {-101, -31}},
                    CentreRow{"LargerThanTheOther", {100, 100, 200, 200}, {300, 300}, {0, 0}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CenterWindowWithoutOther, LeavesTheWindowWhereItIs) {
  HWND window = Popup({300, 310, 400, 400});
  CenterWindow(window, nullptr);
  RECT r;
  GetWindowRect(window, &r);
  EXPECT_EQ(r.left, 300);
  EXPECT_EQ(r.top, 310);
  DestroyWindow(window);
}

// ---- A look by eye ---------------------------------------------------------------

TEST_F(ConfirmDialogTest, ScreenshotsForEncryptAndDecode) {
  runState.recipients = "alice@example.org bob@example.net";
  Open(Encrypt, 0xC071, "Dear Bob,\r\nthe meeting is on Tuesday.", [&](HWND d) {
    Sleep(300);
    SaveScreenshot(d, "confirm_encrypt.bmp");
    PressButton(d, IDCANCEL);
  });
  runState.recipients.clear();
  Open(Decode, 0xA000,
       "-----BEGIN PGP MESSAGE-----\r\nVersion: 2.6.3i\r\n\r\nhIwDn1s7b0a2f8EBBAC3\r\n",
       [&](HWND d) {
         Sleep(300);
         SaveScreenshot(d, "confirm_decode.bmp");
         PressButton(d, IDCANCEL);
       });
}

}  // namespace
