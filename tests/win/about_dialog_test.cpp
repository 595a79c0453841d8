// The About box as the user meets it: how it ends, where it opens and where
// its painted lines land; and the two fonts it paints with.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <string>

#include "core/module_win.h"
#include "core/shared_state_win.h"
#include "host/about_dialog_win.h"
#include "host/fonts_win.h"
#include "resources/resource_ids.h"
#include "tests/win/support/dialog_answerer.h"
#include "tests/win/support/screen_capture.h"
#include "tests/win/support/test_state.h"

namespace {

class AboutTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(CreateFonts(extension));
    WNDCLASSA existing;
    if (!GetClassInfoA(GetModuleHandleA(nullptr), "ql_about_owner", &existing)) {
      WNDCLASSA wc{};
      wc.lpfnWndProc = DefWindowProcA;
      wc.hInstance = GetModuleHandleA(nullptr);
      wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
      wc.lpszClassName = "ql_about_owner";
      RegisterClassA(&wc);
    }
  }
  void TearDown() override {
    if (main != nullptr) DestroyWindow(main);
    sharedState.clientMainWindow = nullptr;
    DeleteFonts(extension);
  }

  void MakeMain(int x, int y, int w, int h) {
    main = CreateWindowExA(0, "ql_about_owner", "Client", WS_OVERLAPPEDWINDOW, x, y, w, h,
                           nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    sharedState.clientMainWindow = main;
  }

  // Opens the box the way the main-window procedure does; `action` runs
  // on a watcher thread once it shows and must end it.
  INT_PTR Open(std::function<void(HWND)> action) {
    DialogAnswerer answerer({{"About Quillnet", std::move(action)}});
    const INT_PTR result =
        DialogBoxParamA(moduleInstance, MAKEINTRESOURCEA(IDD_ABOUT), main, AboutDialogProc,
                        reinterpret_cast<LPARAM>(static_cast<Fonts*>(&extension)));
    seen = answerer.Seen().size();
    return result;
  }

  HWND main = nullptr;
  size_t seen = 0;
};

// ---- Ending it -------------------------------------------------------------

struct EndRow {
  const char* name;
  std::function<void(HWND)> end;
  INT_PTR result;
};

class EndTest : public AboutTest, public testing::WithParamInterface<EndRow> {};

TEST_P(EndTest, EndsWithItsAnswer) {
  MakeMain(100, 100, 640, 480);
  EXPECT_EQ(Open(GetParam().end), GetParam().result);
  EXPECT_EQ(seen, 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Ways, EndTest,
    testing::Values(EndRow{"Ok", [](HWND d) { PressButton(d, IDOK); }, IDOK},
                    EndRow{"Escape",
                           [](HWND d) {
                             PostMessageA(GetDlgItem(d, IDOK), WM_KEYDOWN, VK_ESCAPE, 0);
                           },
                           IDCANCEL},
                    EndRow{"CloseBox",
                           [](HWND d) { PostMessageA(d, WM_SYSCOMMAND, SC_CLOSE, 0); }, IDCANCEL}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(AboutTest, CommandsOtherThanAClickLeaveItOpen) {
  MakeMain(100, 100, 640, 480);
  std::atomic<bool> stayedOpen{false};
  const INT_PTR result = Open([&](HWND d) {
    PostMessageA(d, WM_COMMAND, MAKEWPARAM(IDOK, 1), 0);      // a notification, not a click
    PostMessageA(d, WM_COMMAND, MAKEWPARAM(IDCANCEL, 5), 0);
    PostMessageA(d, WM_COMMAND, MAKEWPARAM(IDC_ABOUT_ICON, 0), 0);
    Sleep(300);
    stayedOpen = IsWindow(d) && IsWindowVisible(d);
    PressButton(d, IDOK);
  });
  EXPECT_TRUE(stayedOpen);
  EXPECT_EQ(result, IDOK);
}

struct AnswerRow {
  UINT message;
  WPARAM wParam;
  INT_PTR handled;
};

class AnswerTest : public testing::TestWithParam<AnswerRow> {};

TEST_P(AnswerTest, HandledMessagesSaySo) {
  // A command that ends nothing and messages the box leaves to the system.
  EXPECT_EQ(AboutDialogProc(nullptr, GetParam().message, GetParam().wParam, 0), GetParam().handled);
}

INSTANTIATE_TEST_SUITE_P(Messages, AnswerTest,
                         testing::Values(AnswerRow{WM_COMMAND, MAKEWPARAM(IDC_ABOUT_ICON, 0), TRUE},
                                         AnswerRow{WM_COMMAND, MAKEWPARAM(IDOK, 1), TRUE},
                                         AnswerRow{WM_MOUSEMOVE, 0, FALSE},
                                         AnswerRow{WM_ERASEBKGND, 0, FALSE},
                                         AnswerRow{WM_USER, 0, FALSE}));

// ---- Where it opens ------------------------------------------------------

class CentreTest : public AboutTest, public testing::WithParamInterface<RECT> {};

TEST_P(CentreTest, CentredOverTheMainWindowWhereverThatIs) {
  const RECT& at = GetParam();
  MakeMain(at.left, at.top, at.right, at.bottom);
  RECT box{};
  Open([&](HWND d) {
    GetWindowRect(d, &box);
    PressButton(d, IDOK);
  });
  RECT owner{};
  GetWindowRect(main, &owner);
  // Rounding of odd differences may put it half a pixel off.
  EXPECT_NEAR((box.left + box.right) / 2.0, (owner.left + owner.right) / 2.0, 1.0);
  EXPECT_NEAR((box.top + box.bottom) / 2.0, (owner.top + owner.bottom) / 2.0, 1.0);
}

INSTANTIATE_TEST_SUITE_P(Places, CentreTest,
                         testing::Values(RECT{100, 100, 640, 480},     // on the screen
                                         RECT{-300, -200, 800, 600},   // off top and left
                                         RECT{1000, 800, 700, 500}));  // off right and bottom

// ---- What it paints ------------------------------------------------------

// Whether any pixel in the band [x0, x1) x [y0, y1) differs from the
// dialog's face colour, i.e. carries ink.
bool Inked(const Image& image, int x0, int x1, int y0, int y1) {
  const COLORREF face = GetSysColor(COLOR_BTNFACE);
  const uint32_t background =
      (GetRValue(face) << 16) | (GetGValue(face) << 8) | static_cast<uint32_t>(GetBValue(face));
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x)
      if (image.At(x, y) != background) return true;
  return false;
}

void ExpectLinesInPlace(const Image& client) {
  ASSERT_GT(client.height, 120);
  const int bottom = client.height;
  const int right = client.width;
  EXPECT_TRUE(Inked(client, 90, right, 2, 14));  // version
  EXPECT_TRUE(Inked(client, 90, right, 17, 29));  // two lines of our own
  EXPECT_TRUE(Inked(client, 90, right, 32, 44));
  EXPECT_TRUE(Inked(client, 90, right, 55, 67));  // strings 30 and 31
  EXPECT_TRUE(Inked(client, 90, right, 70, 82));
  EXPECT_FALSE(Inked(client, 90, right, 84, bottom - 30));  // nothing in between
  EXPECT_TRUE(Inked(client, 90, 150, bottom - 28, bottom - 20));  // small print
  EXPECT_TRUE(Inked(client, 1, 60, bottom - 14, bottom - 6));  // from the left edge
  EXPECT_FALSE(Inked(client, 60, 88, 0, 50));  // between the icon and the texts
}

TEST_F(AboutTest, LinesLandAtTheirPlacesAndFollowTheBottom) {
  MakeMain(100, 100, 640, 480);
  Image opened;
  Image taller;
  Open([&](HWND d) {
    SetWindowPos(d, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    RedrawWindow(d, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    Sleep(200);
    opened = CaptureClient(d);
    SaveBmp(CaptureWindow(d), ScreenshotPath("about_dialog"));
    RECT r{};
    GetWindowRect(d, &r);
    SetWindowPos(d, nullptr, 0, 0, r.right - r.left, r.bottom - r.top + 40,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    RedrawWindow(d, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    Sleep(200);
    taller = CaptureClient(d);
    PressButton(d, IDOK);
  });
  ExpectLinesInPlace(opened);
  ExpectLinesInPlace(taller);
  ASSERT_EQ(taller.height, opened.height + 40);
}

// ---- The fonts -------------------------------------------------------------

struct FontRow {
  HFONT* font;
  LONG height;
  LONG width;
  LONG weight;
  const char* face;
};

class FontTest : public testing::TestWithParam<FontRow> {};

TEST_P(FontTest, MadeAsTheDialogsExpect) {
  ASSERT_TRUE(CreateFonts(extension));
  LOGFONTA font{};
  ASSERT_EQ(GetObjectA(*GetParam().font, sizeof font, &font), static_cast<int>(sizeof font));
  EXPECT_EQ(font.lfHeight, GetParam().height);
  EXPECT_EQ(font.lfWidth, GetParam().width);
  EXPECT_EQ(font.lfWeight, GetParam().weight);
  EXPECT_EQ(font.lfPitchAndFamily, FF_MODERN | DEFAULT_PITCH);
  EXPECT_EQ(font.lfCharSet, 0);
  EXPECT_EQ(font.lfItalic | font.lfUnderline | font.lfStrikeOut, 0);
  EXPECT_STREQ(font.lfFaceName, GetParam().face);
  DeleteFonts(extension);
}

INSTANTIATE_TEST_SUITE_P(Fonts, FontTest,
                         testing::Values(FontRow{&extension.TextFont, 12, 7, 500, "helvetica"},
                                         FontRow{&extension.SmallFont, 6, 4, 300, "courier"}));

TEST(Fonts, AnotherAttemptReplacesTheFontsAndDeletingForgetsThem) {
  ASSERT_TRUE(CreateFonts(extension));
  HFONT first[2] = {extension.TextFont, extension.SmallFont};
  ASSERT_TRUE(CreateFonts(extension));
  for (HFONT old : first) EXPECT_EQ(GetObjectType(old), 0u);  // not left behind
  DeleteFonts(extension);
  EXPECT_EQ(extension.TextFont, nullptr);
  EXPECT_EQ(extension.SmallFont, nullptr);
  DeleteFonts(extension);  // nothing left to delete twice
}

}  // namespace
