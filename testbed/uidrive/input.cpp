// Mouse input and the keyboard focus in another process's windows.
#include <algorithm>

#include "testbed/uidrive/uidrive.h"

namespace uidrive {
namespace {

std::string HandleText(HWND window) {
  return automation::FormatHandle(reinterpret_cast<std::uintptr_t>(window));
}

void Post(HWND window, UINT message, WPARAM wParam, POINT p) {
  if (!PostMessageA(window, message, wParam, MAKELPARAM(p.x, p.y)))
    throw Failure("cannot post mouse input to window " + HandleText(window));
}

// mouse_event wants absolute positions on a 0..65535 scale of the screen.
void MoveCursor(POINT screen) {
  int width = std::max(2, GetSystemMetrics(SM_CXSCREEN));
  int height = std::max(2, GetSystemMetrics(SM_CYSCREEN));
  SetCursorPos(screen.x, screen.y);
  mouse_event(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE, MulDiv(screen.x, 65535, width - 1),
              MulDiv(screen.y, 65535, height - 1), 0, 0);
}

POINT ToScreen(HWND window, POINT p) {
  ClientToScreen(window, &p);
  return p;
}

POINT Between(POINT a, POINT b, int step, int steps) {
  return POINT{a.x + MulDiv(b.x - a.x, step, steps), a.y + MulDiv(b.y - a.y, step, steps)};
}

void CheckWindow(HWND window) {
  if (!IsWindow(window)) throw Failure("not a window: " + HandleText(window));
}

// Real input reaches the window only after the system has processed it.
void Settle() { Sleep(30); }

}  // namespace

void Click(HWND window, POINT at, MouseMode mode) {
  CheckWindow(window);
  if (mode == MouseMode::Messages) {
    Post(window, WM_MOUSEMOVE, 0, at);
    Post(window, WM_LBUTTONDOWN, MK_LBUTTON, at);
    Post(window, WM_LBUTTONUP, 0, at);
    return;
  }
  MoveCursor(ToScreen(window, at));
  Settle();
  mouse_event(MOUSEEVENTF_LEFTDOWN, 0, 0, 0, 0);
  Settle();
  mouse_event(MOUSEEVENTF_LEFTUP, 0, 0, 0, 0);
  Settle();
}

void Drag(HWND window, POINT from, POINT to, MouseMode mode, int steps) {
  CheckWindow(window);
  steps = std::clamp(steps, 1, 1000);
  if (mode == MouseMode::Messages) {
    Post(window, WM_MOUSEMOVE, 0, from);
    Post(window, WM_LBUTTONDOWN, MK_LBUTTON, from);
    for (int i = 1; i <= steps; ++i) Post(window, WM_MOUSEMOVE, MK_LBUTTON, Between(from, to, i, steps));
    Post(window, WM_LBUTTONUP, 0, to);
    return;
  }
  MoveCursor(ToScreen(window, from));
  Settle();
  mouse_event(MOUSEEVENTF_LEFTDOWN, 0, 0, 0, 0);
  Settle();
  for (int i = 1; i <= steps; ++i) {
    MoveCursor(ToScreen(window, Between(from, to, i, steps)));
    Settle();
  }
  mouse_event(MOUSEEVENTF_LEFTUP, 0, 0, 0, 0);
  Settle();
}

void Focus(HWND window) {
  CheckWindow(window);
  DWORD target = GetWindowThreadProcessId(window, nullptr);
  DWORD self = GetCurrentThreadId();
  // Sharing the input state makes the other thread's focus ours to set.
  bool attached = target != self && AttachThreadInput(self, target, TRUE);
  HWND top = GetAncestor(window, GA_ROOT);
  if (top) SetForegroundWindow(top);
  SetFocus(window);
  HWND now = GetFocus();
  if (attached) AttachThreadInput(self, target, FALSE);
  if (now != window)
    throw Failure("the focus did not go to window " + HandleText(window) + " (it is on " +
                  HandleText(now) + ")");
}

}  // namespace uidrive
