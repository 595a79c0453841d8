// The button on toolbars made in this process: where it lands and moves to,
// which bar is taken, what a press, a drag and a release post, what it
// paints, and the question when no bar is there.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/module_win.h"
#include "core/shared_state_win.h"
#include "core/window_procedure_win.h"
#include "host/menus.h"
#include "host/toolbar_button_win.h"
#include "resources/resource_ids.h"
#include "settings/settings_file_win.h"
#include "tests/win/support/dialog_answerer.h"
#include "tests/win/support/screen_capture.h"
#include "tests/win/support/test_state.h"

namespace {

constexpr char kOtherBarClass[] = "AfxControlBarX";  // the right name is matched whole
constexpr UINT kProbe = WM_USER + 9;
constexpr LRESULT kProbeAnswer = 777;

// The toolbar's own procedure: records what ToolBarSubclassProc passes on.
std::vector<UINT> barSaw;
bool ownProcBackAtDestroy = false;
LRESULT CALLBACK BarProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  barSaw.push_back(message);
  if (message == kProbe) return kProbeAnswer;
  if (message == WM_DESTROY)
    ownProcBackAtDestroy = WindowProcIs(window, BarProc);
  return DefWindowProcA(window, message, wParam, lParam);
}

void Register(const char* name, WNDPROC proc) {
  WNDCLASSA existing;
  if (GetClassInfoA(GetModuleHandleA(nullptr), name, &existing)) return;
  WNDCLASSA wc{};
  wc.lpfnWndProc = proc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = name;
  RegisterClassA(&wc);
}

int PostedRunPgp(HWND main) {
  int n = 0;
  MSG msg;
  while (PeekMessageA(&msg, main, WM_COMMAND, WM_COMMAND, PM_REMOVE))
    n += LOWORD(msg.wParam) == IDM_RUN_PGP;
  return n;
}

std::string LoadText(UINT id) {
  char text[512];
  const int n = LoadStringA(moduleInstance, id, text, sizeof text);
  return std::string(text, n > 0 ? n : 0);
}

class ToolbarTest : public testing::Test {
 protected:
  void SetUp() override {
    Register("ql_toolbar_host", DefWindowProcA);
    Register(kToolBarClassName, DefWindowProcA);
    Register(kOtherBarClass, DefWindowProcA);
    Reset();
    main = CreateWindowExA(0, "ql_toolbar_host", "Client", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN,
                           50, 50, 900, 520, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    sharedState.clientMainWindow = main;
  }
  void TearDown() override {
    DestroyWindow(main);
    UnregisterClassA(kButtonClassName, moduleInstance);
    SettlePaint();
    sharedState.clientMainWindow = nullptr;
    Reset();
  }
  static void Reset() {
    extension.ToolBarWindow = nullptr;
    extension.ToolBarProc = nullptr;
    extension.ButtonPressed = 0;
    extension.AddButtonLock = 0;
    extension.RetryNotBefore = 0;
    ResetTestState(runState, extension);
    extension.Settings.ButtonPos = 0;
    extension.Settings.UseToolBar = 1;
    barSaw.clear();
  }

  HWND AddBar(int x, int y, int w, int h, HWND parent = nullptr,
              const char* cls = kToolBarClassName) {
    return CreateWindowExA(0, cls, "", WS_CHILD | WS_VISIBLE, x, y, w, h,
                           parent != nullptr ? parent : main, nullptr, GetModuleHandleA(nullptr),
                           nullptr);
  }

  // Subclasses the bar with the recording procedure before the module does.
  void Record(HWND bar) {
    ReplaceWindowProc(bar, BarProc);
  }

  HWND Button() const { return GetDlgItem(extension.ToolBarWindow, IDC_PGP_BUTTON); }

  POINT ButtonPlace() const {
    RECT r{};
    GetWindowRect(Button(), &r);
    MapWindowPoints(nullptr, extension.ToolBarWindow, reinterpret_cast<POINT*>(&r), 2);
    return {r.left, r.top};
  }

  HWND main = nullptr;
};

// ---- Placement -------------------------------------------------------------

struct PlaceRow {
  const char* name;
  SIZE bar;
  int32_t buttonPos;
  POINT created;
  SIZE resized;
  POINT moved;
  int32_t buttonPosAfter;
};

class PlacementTest : public ToolbarTest, public testing::WithParamInterface<PlaceRow> {};

TEST_P(PlacementTest, CreatedThenMovedWithTheBar) {
  const PlaceRow& row = GetParam();
  extension.Settings.ButtonPos = row.buttonPos;
  AddBar(0, 0, row.bar.cx, row.bar.cy);
  ASSERT_EQ(TryAddButton(extension, main), 1);
  ASSERT_NE(Button(), nullptr);
  EXPECT_EQ(ButtonPlace().x, row.created.x);
  EXPECT_EQ(ButtonPlace().y, row.created.y);

  SetWindowPos(extension.ToolBarWindow, nullptr, 0, 0, row.resized.cx, row.resized.cy,
               SWP_NOMOVE | SWP_NOZORDER);
  EXPECT_EQ(ButtonPlace().x, row.moved.x);
  EXPECT_EQ(ButtonPlace().y, row.moved.y);
  EXPECT_EQ(extension.Settings.ButtonPos, row.buttonPosAfter);
}

INSTANTIATE_TEST_SUITE_P(
    Bars, PlacementTest,
    testing::Values(
        PlaceRow{"Horizontal", {600, 30}, 0, {572, 2}, {800, 30}, {770, 2}, 0},
        PlaceRow{"Vertical", {30, 400}, 0, {2, 372}, {30, 500}, {2, 470}, 0},
        PlaceRow{"SquareCountsAsVertical", {30, 30}, 0, {2, 2}, {300, 300}, {2, 0}, 0},
        PlaceRow{"ButtonPosKept", {600, 30}, 100, {100, 2}, {800, 30}, {100, 2}, 100},
        PlaceRow{"ButtonPosBeyondTheBarGivenUp", {600, 30}, 700, {700, 2}, {640, 70}, {570, 2}, 0},
        PlaceRow{"ThinnerThanTheButton", {600, 24}, 0, {575, -1}, {700, 24}, {676, 2}, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ToolbarTest, ButtonIsAChildOfTheBarWithTheModulesClass) {
  HWND bar = AddBar(0, 0, 600, 30);
  ASSERT_EQ(TryAddButton(extension, main), 1);
  EXPECT_EQ(extension.ToolBarWindow, bar);
  HWND button = Button();
  ASSERT_NE(button, nullptr);
  RECT r{};
  GetWindowRect(button, &r);
  EXPECT_EQ(r.right - r.left, kButtonSize);
  EXPECT_EQ(r.bottom - r.top, kButtonSize);
  const LONG style = GetWindowLongA(button, GWL_STYLE);
  EXPECT_EQ(style & (WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS),
            WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS);
  EXPECT_EQ(GetWindowLongA(button, GWL_EXSTYLE) & ~WS_EX_NOPARENTNOTIFY, 0);
  EXPECT_EQ(GetWindowTextLengthA(button), 0);

  WNDCLASSA cls{};
  ASSERT_TRUE(GetClassInfoA(moduleInstance, kButtonClassName, &cls));
  EXPECT_EQ(cls.style, static_cast<UINT>(CS_BYTEALIGNCLIENT | CS_BYTEALIGNWINDOW));
  EXPECT_EQ(cls.lpfnWndProc, ButtonWindowProc);
  EXPECT_EQ(cls.hCursor, LoadCursorA(nullptr, IDC_ARROW));
  EXPECT_EQ(cls.hbrBackground, nullptr);
  EXPECT_EQ(cls.hIcon, nullptr);
  EXPECT_EQ(WindowProcOf(bar), ToolBarSubclassProc);
}

// ---- Which bar -------------------------------------------------------------

struct BarLayout {
  const char* cls;
  RECT place;  // left, top, width, height
  bool nested = false;  // inside a container at the top of the client area
};

struct FindRow {
  const char* name;
  std::vector<BarLayout> bars;
  int expected;  // index into bars, -1 for none
};

class FindToolBarTest : public ToolbarTest, public testing::WithParamInterface<FindRow> {};

TEST_P(FindToolBarTest, OnlyADirectChildAtTheTopWithASize) {
  std::vector<HWND> made;
  for (const BarLayout& b : GetParam().bars) {
    HWND parent = b.nested ? AddBar(0, 0, 700, 40, main, "Static") : main;
    made.push_back(AddBar(b.place.left, b.place.top, b.place.right, b.place.bottom, parent, b.cls));
  }
  const int expected = GetParam().expected;
  EXPECT_EQ(FindToolBar(main), expected < 0 ? nullptr : made[expected]);
}

INSTANTIATE_TEST_SUITE_P(
    Bars, FindToolBarTest,
    testing::Values(
        FindRow{"AtTheTop", {{kToolBarClassName, {0, 0, 600, 30}}}, 0},
        FindRow{"DockedAtTheBottom", {{kToolBarClassName, {0, 400, 600, 30}}}, -1},
        FindRow{"BottomThenTop",
                {{kToolBarClassName, {0, 400, 600, 30}}, {kToolBarClassName, {0, 0, 600, 30}}}, 1},
        FindRow{"ZeroWidthSkipped",
                {{kToolBarClassName, {0, 0, 0, 30}}, {kToolBarClassName, {0, 0, 600, 30}}}, 1},
        FindRow{"ZeroHeightSkipped",
                {{kToolBarClassName, {0, 0, 600, 0}}, {kToolBarClassName, {0, 0, 600, 30}}}, 1},
        FindRow{"LongerClassName", {{kOtherBarClass, {0, 0, 600, 30}}}, -1},
        FindRow{"NotADirectChild", {{kToolBarClassName, {0, 0, 600, 30}, true}}, -1}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- Attempts and the retry question ---------------------------------------

TEST_F(ToolbarTest, RetryWaitsOneSecondWithoutAskingAgain) {
  DialogAnswerer answerer({{kQuillnetCaption, IDRETRY}});
  const DWORD before = GetTickCount();
  EXPECT_EQ(TryAddButton(extension, main), 0);
  const DWORD after = GetTickCount();
  ASSERT_EQ(answerer.Seen().size(), 1u);
  EXPECT_EQ(answerer.Seen()[0].text, LoadText(IDS_NO_TOOLBAR));
  EXPECT_GE(extension.RetryNotBefore, before + kRetryDelay);
  EXPECT_LE(extension.RetryNotBefore, after + kRetryDelay);
  EXPECT_EQ(extension.AddButtonLock, 0u);

  AddBar(0, 0, 600, 30);
  EXPECT_EQ(TryAddButton(extension, main), 0);  // within the second: not even looked for
  EXPECT_EQ(extension.ToolBarWindow, nullptr);
  EXPECT_EQ(answerer.Seen().size(), 1u);

  extension.RetryNotBefore = GetTickCount() - 1;  // the second has passed
  EXPECT_EQ(TryAddButton(extension, main), 1);
}

struct TickRow {
  DWORD now;
  DWORD notBefore;
  bool waiting;
};

class RetryClockTest : public testing::TestWithParam<TickRow> {};

TEST_P(RetryClockTest, WaitEndsOnTimeAcrossTheWrap) {
  EXPECT_EQ(RetryWaitRunning(GetParam().now, GetParam().notBefore), GetParam().waiting);
}

INSTANTIATE_TEST_SUITE_P(Ticks, RetryClockTest,
                         testing::Values(TickRow{5, 0, false},  // nothing pending
                                         TickRow{100, 1100, true}, TickRow{1099, 1100, true},
                                         TickRow{1100, 1100, false}, TickRow{5000, 1100, false},
                                         // set just before the wrap, looked at across it
                                         TickRow{0xFFFFFE00, 0xFFFFFF00, true},
                                         TickRow{0x00000010, 0xFFFFFF00, false},
                                         // the deadline itself wrapped
                                         TickRow{0xFFFFFF00, 0x000002E8, true},
                                         TickRow{0x00000300, 0x000002E8, false}));

// The platform refuses to make the button.
HHOOK refuseHook = nullptr;
LRESULT CALLBACK RefuseButton(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HCBT_CREATEWND) {
    char cls[32] = "";
    GetClassNameA(reinterpret_cast<HWND>(wParam), cls, sizeof cls);
    if (lstrcmpA(cls, kButtonClassName) == 0) return 1;
  }
  return CallNextHookEx(refuseHook, code, wParam, lParam);
}

TEST_F(ToolbarTest, CreationRefusedIsReportedAndTheClassGivenBack) {
  HWND bar = AddBar(0, 0, 600, 30);
  const WNDPROC barProc = WindowProcOf(bar);
  refuseHook = SetWindowsHookExA(WH_CBT, RefuseButton, nullptr, GetCurrentThreadId());
  DialogAnswerer answerer({{kQuillnetCaption, IDOK}});
  EXPECT_EQ(TryAddButton(extension, main), 0);
  UnhookWindowsHookEx(refuseHook);
  ASSERT_EQ(answerer.Seen().size(), 1u);
  EXPECT_EQ(answerer.Seen()[0].text.rfind("CreateWindow failed\nError: ", 0), 0u);
  EXPECT_EQ(extension.ToolBarWindow, nullptr);
  WNDCLASSA cls;
  EXPECT_FALSE(GetClassInfoA(moduleInstance, kButtonClassName, &cls));
  EXPECT_EQ(WindowProcOf(bar), barProc);
}

TEST_F(ToolbarTest, ClassThatCannotBeRegisteredFailsQuietly) {
  Register(kButtonClassName, DefWindowProcA);  // already taken
  AddBar(0, 0, 600, 30);
  DialogAnswerer answerer(std::vector<DialogAnswer>{});
  EXPECT_EQ(TryAddButton(extension, main), 0);
  EXPECT_EQ(extension.ToolBarWindow, nullptr);
  EXPECT_TRUE(answerer.Seen().empty());
}

// ---- The toolbar's procedure -----------------------------------------------

TEST_F(ToolbarTest, BarPassesEverythingOnAndRepaintsTheButtonAfterItself) {
  HWND bar = AddBar(0, 0, 600, 30);
  Record(bar);
  ASSERT_EQ(TryAddButton(extension, main), 1);
  EXPECT_EQ(SendMessageA(bar, kProbe, 0, 0), kProbeAnswer);
  ShowWindow(main, SW_SHOWNOACTIVATE);
  SettlePaint();
  RECT dirty{};
  ASSERT_FALSE(GetUpdateRect(Button(), &dirty, FALSE));
  barSaw.clear();
  SendMessageA(bar, WM_PAINT, 0, 0);
  EXPECT_TRUE(GetUpdateRect(Button(), &dirty, FALSE));
  EXPECT_EQ(barSaw, std::vector<UINT>{WM_PAINT});
}

TEST_F(ToolbarTest, DestroyedBarGetsItsOwnProcedureBack) {
  HWND bar = AddBar(0, 0, 600, 30);
  Record(bar);
  ASSERT_EQ(TryAddButton(extension, main), 1);
  ownProcBackAtDestroy = false;
  DestroyWindow(bar);
  EXPECT_TRUE(ownProcBackAtDestroy);
}

// ---- Press, drag, release --------------------------------------------------

struct Step {
  UINT message;
  POINT at;  // in the button's client coordinates
  LONG pressedAfter;
};

constexpr POINT kOnButton{5, 5};
constexpr POINT kBesideOnBar{-40, 5};
constexpr POINT kOffTheBar{5, 60};

struct MouseRow {
  const char* name;
  std::vector<Step> steps;
  int posted;
};

class MouseTest : public ToolbarTest, public testing::WithParamInterface<MouseRow> {};

TEST_P(MouseTest, OnlyAReleaseOnTheButtonAfterAPressRunsPgp) {
  AddBar(0, 0, 600, 30);
  ASSERT_EQ(TryAddButton(extension, main), 1);
  HWND button = Button();
  for (const Step& s : GetParam().steps) {
    SendMessageA(button, s.message, s.message == WM_LBUTTONDOWN ? MK_LBUTTON : 0,
                 MAKELPARAM(s.at.x, s.at.y));
    EXPECT_EQ(extension.ButtonPressed, s.pressedAfter) << "after message " << s.message;
    EXPECT_EQ(GetCapture() == button, s.pressedAfter == 1) << "after message " << s.message;
  }
  EXPECT_EQ(PostedRunPgp(main), GetParam().posted);
}

INSTANTIATE_TEST_SUITE_P(
    Gestures, MouseTest,
    testing::Values(
        MouseRow{"Click", {{WM_LBUTTONDOWN, kOnButton, 1}, {WM_LBUTTONUP, kOnButton, 0}}, 1},
        MouseRow{"DragOffAndBackOnTheBar",
                 {{WM_LBUTTONDOWN, kOnButton, 1},
                  {WM_MOUSEMOVE, kBesideOnBar, 1},
                  {WM_MOUSEMOVE, kOnButton, 1},
                  {WM_LBUTTONUP, kOnButton, 0}},
                 1},
        MouseRow{"ReleasedBesideTheButton",
                 {{WM_LBUTTONDOWN, kOnButton, 1},
                  {WM_MOUSEMOVE, kBesideOnBar, 1},
                  {WM_LBUTTONUP, kBesideOnBar, 0}},
                 0},
        MouseRow{"LeavingTheBarCancels",
                 {{WM_LBUTTONDOWN, kOnButton, 1},
                  {WM_MOUSEMOVE, kOffTheBar, 0},
                  {WM_MOUSEMOVE, kOnButton, 0},
                  {WM_LBUTTONUP, kOnButton, 0}},
                 0},
        MouseRow{"ReleaseWithoutPress", {{WM_LBUTTONUP, kOnButton, 0}}, 0},
        MouseRow{"MoveWithoutPress", {{WM_MOUSEMOVE, kOffTheBar, 0}}, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ToolbarTest, PressDuringARunIsIgnored) {
  AddBar(0, 0, 600, 30);
  ASSERT_EQ(TryAddButton(extension, main), 1);
  extension.RunInProgress = 1;
  SendMessageA(Button(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
  EXPECT_EQ(extension.ButtonPressed, 0);
  EXPECT_NE(GetCapture(), Button());
  SendMessageA(Button(), WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
  EXPECT_EQ(PostedRunPgp(main), 0);
}

// ---- Painting --------------------------------------------------------------

Image Frame(int frame, int x = 0, int y = 0, int width = kButtonSize, int height = kButtonSize) {
  DibCanvas canvas(width, height);
  HBITMAP face = LoadBitmapA(moduleInstance, MAKEINTRESOURCEA(IDB_BUTTON_FACE));
  DrawBitmapFrame(face, canvas.dc(), x, y, frame);
  DeleteObject(face);
  return canvas.Read();
}

struct FrameRow {
  int frame;
  int x;
  int y;
};

class DrawFrameTest : public testing::TestWithParam<FrameRow> {};

TEST_P(DrawFrameTest, CopiesOneSquareFrameAndLeavesTheBitmapFree) {
  const FrameRow& row = GetParam();
  HBITMAP face = LoadBitmapA(moduleInstance, MAKEINTRESOURCEA(IDB_BUTTON_FACE));
  ASSERT_NE(face, nullptr);
  DibCanvas strip(2 * kButtonSize, kButtonSize);
  HDC source = CreateCompatibleDC(nullptr);
  HGDIOBJ previous = SelectObject(source, face);
  BitBlt(strip.dc(), 0, 0, 2 * kButtonSize, kButtonSize, source, 0, 0, SRCCOPY);
  SelectObject(source, previous);
  DeleteDC(source);
  const Image whole = strip.Read();

  DibCanvas target(40, 34);
  DrawBitmapFrame(face, target.dc(), row.x, row.y, row.frame);
  const Image drawn = target.Read();
  for (int y = 0; y < drawn.height; ++y) {
    for (int x = 0; x < drawn.width; ++x) {
      const int fx = x - row.x;
      const int fy = y - row.y;
      const bool inside = fx >= 0 && fy >= 0 && fx < kButtonSize && fy < kButtonSize;
      const uint32_t expected = inside ? whole.At(row.frame * kButtonSize + fx, fy) : 0x00FFFFFF;
      ASSERT_EQ(drawn.At(x, y), expected) << "at " << x << "," << y;
    }
  }
  EXPECT_TRUE(DeleteObject(face));  // selected nowhere any more
}

INSTANTIATE_TEST_SUITE_P(Frames, DrawFrameTest,
                         testing::Values(FrameRow{0, 0, 0}, FrameRow{1, 0, 0}, FrameRow{0, 7, 3},
                                         FrameRow{1, 11, 6}));

TEST(ButtonFace, FramesDiffer) { EXPECT_NE(Frame(0), Frame(1)); }

TEST_F(ToolbarTest, ButtonShowsTheFrameOfItsStateOnScreen) {
  HWND bar = AddBar(0, 0, 600, 30);
  ASSERT_EQ(TryAddButton(extension, main), 1);
  ShowWindow(main, SW_SHOWNOACTIVATE);
  SetWindowPos(main, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  SettlePaint();
  EXPECT_EQ(CaptureClient(Button()), Frame(0));
  SaveBmp(CaptureClient(bar), ScreenshotPath("toolbar_button_released"));

  SendMessageA(Button(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
  SettlePaint();
  EXPECT_EQ(CaptureClient(Button()), Frame(1));
  SaveBmp(CaptureClient(bar), ScreenshotPath("toolbar_button_pressed"));

  SendMessageA(Button(), WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
  SettlePaint();
  EXPECT_EQ(CaptureClient(Button()), Frame(0));
}

}  // namespace
