// The toolbar: an "AfxControlBar" docked at the top of the main window's
// client area, as the module expects to find it. Its buttons are drawn by
// the bar itself and never take the focus, so a click does not move the
// focus out of the message the command is meant for. The right end stays
// free for the module's own button.
#include "testbed/mailclient/client.h"

namespace {

struct ToolButton {
  const char* text;
  WORD command;
};

constexpr ToolButton kButtons[] = {
    {"New", ID_FILE_NEW_MESSAGE},
    {"Reply", ID_MESSAGE_REPLY},
    {"Send", ID_MESSAGE_SEND},
    {"Check Mail", ID_FILE_CHECK_MAIL},
};
constexpr int kButtonCount = static_cast<int>(sizeof kButtons / sizeof kButtons[0]);
constexpr int kButtonWidth = 72, kButtonHeight = 24, kFirstX = 6, kGap = 4;

struct PressState {
  int button = -1;     // the button the press started on
  bool inside = false; // the pointer is still over it
} press;

RECT ButtonRect(int i) {
  int left = kFirstX + i * (kButtonWidth + kGap);
  int top = (kToolBarHeight - kButtonHeight) / 2;
  return RECT{left, top, left + kButtonWidth, top + kButtonHeight};
}

int HitTest(POINT p) {
  for (int i = 0; i < kButtonCount; ++i) {
    RECT r = ButtonRect(i);
    if (PtInRect(&r, p)) return i;
  }
  return -1;
}

POINT PointOf(LPARAM lParam) {
  return POINT{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
}

void InvalidateButton(HWND bar, int i) {
  if (i < 0) return;
  RECT r = ButtonRect(i);
  InvalidateRect(bar, &r, TRUE);
}

void Paint(HWND bar) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(bar, &ps);
  if (!dc) return;
  RECT all;
  GetClientRect(bar, &all);
  DrawEdge(dc, &all, EDGE_ETCHED, BF_BOTTOM);
  HGDIOBJ oldFont = SelectObject(dc, client.uiFont);
  SetBkMode(dc, TRANSPARENT);
  for (int i = 0; i < kButtonCount; ++i) {
    RECT r = ButtonRect(i);
    bool down = press.button == i && press.inside;
    DrawFrameControl(dc, &r, DFC_BUTTON, DFCS_BUTTONPUSH | (down ? DFCS_PUSHED : 0));
    if (down) OffsetRect(&r, 1, 1);
    DrawTextA(dc, kButtons[i].text, -1, &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  }
  SelectObject(dc, oldFont);
  EndPaint(bar, &ps);
}

LRESULT CALLBACK ToolBarProc(HWND bar, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_PAINT: Paint(bar); return 0;
    case WM_LBUTTONDOWN: {
      int i = HitTest(PointOf(lParam));
      if (i >= 0) {
        press = {i, true};
        SetCapture(bar);
        InvalidateButton(bar, i);
      }
      return 0;
    }
    case WM_MOUSEMOVE:
      if (press.button >= 0) {
        RECT r = ButtonRect(press.button);
        POINT p = PointOf(lParam);
        bool inside = PtInRect(&r, p) != FALSE;
        if (inside != press.inside) {
          press.inside = inside;
          InvalidateButton(bar, press.button);
        }
      }
      return 0;
    case WM_LBUTTONUP:
      if (press.button >= 0) {
        int i = press.button;
        bool fire = press.inside;
        press = {};
        ReleaseCapture();
        InvalidateButton(bar, i);
        if (fire) SendMessageA(GetParent(bar), WM_COMMAND, MAKEWPARAM(kButtons[i].command, 0), 0);
      }
      return 0;
    case WM_CAPTURECHANGED:
      if (press.button >= 0 && reinterpret_cast<HWND>(lParam) != bar) {
        InvalidateButton(bar, press.button);
        press = {};
      }
      return 0;
  }
  return DefWindowProcA(bar, message, wParam, lParam);
}

}  // namespace

bool RegisterToolBarClass(HINSTANCE instance) {
  WNDCLASSA bar{};
  bar.style = CS_HREDRAW | CS_VREDRAW;
  bar.lpfnWndProc = ToolBarProc;
  bar.hInstance = instance;
  bar.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
  bar.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  bar.lpszClassName = kToolBarClass;
  return RegisterClassA(&bar) != 0;
}

HWND CreateToolBar(HWND parent) {
  return CreateWindowExA(0, kToolBarClass, "Standard", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN,
                         0, 0, 0, kToolBarHeight, parent, reinterpret_cast<HMENU>(IDC_TOOLBAR),
                         client.instance, nullptr);
}
