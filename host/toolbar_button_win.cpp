#include "host/toolbar_button_win.h"

#include <windowsx.h>

#include <cstdio>
#include <cstring>

#include "core/command_state_win.h"
#include "core/module_win.h"
#include "core/shared_state_win.h"
#include "core/window_procedure_win.h"
#include "host/gdi_holders_win.h"
#include "host/menus.h"
#include "resources/resource_ids.h"
#include "settings/settings_file_win.h"

HWND ToolBarWindow = nullptr;
WNDPROC ToolBarProc = nullptr;
LONG ButtonPressed = 0;
UINT AddButtonLock = 0;
DWORD RetryNotBefore = 0;

namespace {

HWND ButtonOf(HWND toolBar) { return GetDlgItem(toolBar, IDC_PGP_BUTTON); }

// InvalidateRect with a null window would repaint every window on the
// desktop, so a missing window is simply left alone.
void Repaint(HWND window) {
  if (window != nullptr) InvalidateRect(window, nullptr, TRUE);
}

POINT PointerOf(LPARAM lParam) { return {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)}; }

bool InsideClient(HWND window, POINT point) {
  RECT client;
  return GetClientRect(window, &client) && PtInRect(&client, point);
}

bool RegisterButtonClass() {
  WNDCLASSA buttonClass{};
  buttonClass.style = CS_BYTEALIGNCLIENT | CS_BYTEALIGNWINDOW;
  buttonClass.lpfnWndProc = ButtonWindowProc;
  buttonClass.hInstance = moduleInstance;
  buttonClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  buttonClass.lpszClassName = kButtonClassName;
  return RegisterClassA(&buttonClass) != 0;
}

void ShowButtonMessage(HWND mainWindow, const char* text, UINT type) {
  MessageBoxA(mainWindow, text, kQuillnetCaption, type);
}

void PaintButton(HWND button) {
  PaintScope paint(button);
  if (paint.dc() == nullptr) return;
  UniqueGdiObject face(LoadBitmapA(moduleInstance, MAKEINTRESOURCEA(IDB_BUTTON_FACE)));
  if (!face) return;
  DrawBitmapFrame(static_cast<HBITMAP>(face.get()), paint.dc(), 0, 0, ButtonPressed);
}

void PressButton(HWND button) {
  if (runState.RunInProgress > 0) return;  // a click now would only be refused
  SetCapture(button);
  ButtonPressed = 1;
  Repaint(button);
}

// Dragging off the button keeps the press while the pointer stays over the
// toolbar; leaving the toolbar cancels it. Either way the bar repaints, and
// its repaint (through ToolBarSubclassProc) redraws the button.
void DragButton(HWND button, POINT pointer) {
  HWND toolBar = GetParent(button);
  POINT onScreen = pointer;
  ClientToScreen(button, &onScreen);
  RECT bar{};
  if (toolBar == nullptr || !GetWindowRect(toolBar, &bar) || !PtInRect(&bar, onScreen)) {
    ButtonPressed = 0;
    ReleaseCapture();
  }
  Repaint(toolBar);
}

void ReleaseButton(HWND button, POINT pointer) {
  ReleaseCapture();
  Repaint(button);
  if (InsideClient(button, pointer)) {
    PostMessageA(sharedState.clientMainWindow, WM_COMMAND, IDM_RUN_PGP, 0);
  }
  ButtonPressed = 0;
}

void ReplaceButton(HWND toolBar) {
  Repaint(toolBar);
  RECT client;
  if (!GetClientRect(toolBar, &client)) return;
  const ButtonPlace place = ButtonPlaceAfterSize(client.right, client.bottom, Settings.ButtonPos);
  HWND button = ButtonOf(toolBar);
  if (button != nullptr) {
    SetWindowPos(button, nullptr, place.x, place.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  }
}

}  // namespace

bool RetryWaitRunning(DWORD now, DWORD notBefore) {
  return notBefore != 0 && static_cast<LONG>(now - notBefore) < 0;
}

int TryAddButton(HWND mainWindow) {
  if (RetryWaitRunning(GetTickCount(), RetryNotBefore)) return 0;
  ToolBarWindow = FindToolBar(mainWindow);
  if (ToolBarWindow != nullptr) {
    if (CreateButton(mainWindow)) return 1;
    ToolBarWindow = nullptr;
    return 0;
  }
  LoadModuleString(IDS_NO_TOOLBAR, MessageText, sizeof MessageText);
  if (MessageBoxA(mainWindow, MessageText, kQuillnetCaption, MB_RETRYCANCEL) == IDCANCEL) {
    ++AddButtonLock;
  }
  RetryNotBefore = GetTickCount() + kRetryDelay;
  return 0;
}

HWND FindToolBar(HWND mainWindow) {
  POINT clientTop{0, 0};
  if (mainWindow == nullptr || !ClientToScreen(mainWindow, &clientTop)) return nullptr;
  for (HWND child = GetWindow(mainWindow, GW_CHILD); child != nullptr;
       child = GetWindow(child, GW_HWNDNEXT)) {
    RECT bounds;
    char className[64];
    if (!GetWindowRect(child, &bounds)) continue;
    if (GetClassNameA(child, className, sizeof className) <= 0) continue;
    if (std::strcmp(className, kToolBarClassName) != 0) continue;
    if (bounds.top == clientTop.y && bounds.left != bounds.right && bounds.top != bounds.bottom) {
      return child;
    }
  }
  return nullptr;
}

int CreateButton(HWND mainWindow) {
  if (!RegisterButtonClass()) return 0;
  RECT client{};
  GetClientRect(ToolBarWindow, &client);
  const ButtonPlace place = ButtonPlaceAtCreation(client.right, client.bottom, Settings.ButtonPos);
  HWND button = CreateWindowExA(0, kButtonClassName, nullptr, WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS,
                                place.x, place.y, kButtonSize, kButtonSize, ToolBarWindow, nullptr,
                                moduleInstance, nullptr);
  if (button == nullptr) {
    const DWORD error = GetLastError();
    std::snprintf(MessageText, sizeof MessageText, "CreateWindow failed\nError: %lu",
                  static_cast<unsigned long>(error));
    ShowButtonMessage(mainWindow, MessageText, MB_OK);
    UnregisterClassA(kButtonClassName, moduleInstance);
    return 0;
  }
  SetWindowLongPtrA(button, GWLP_ID, IDC_PGP_BUTTON);
  ToolBarProc = ReplaceWindowProc(ToolBarWindow, ToolBarSubclassProc);
  if (ToolBarProc == nullptr) {
    // The button still works as a button; it just is not kept in place.
    ShowButtonMessage(mainWindow, "Subclass AfxControlBar failed", MB_OK);
  } else {
    Repaint(ToolBarWindow);
  }
  return 1;
}

void RemoveButton() {
  if (ToolBarWindow == nullptr) return;
  if (HWND button = ButtonOf(ToolBarWindow)) DestroyWindow(button);
  // Someone who subclassed the bar after us would lose their procedure if
  // ours were put back over it, so the bar is only touched while ToolBarSubclassProc is
  // still the procedure in place.
  if (ToolBarProc != nullptr && WindowProcIs(ToolBarWindow, ToolBarSubclassProc)) {
    ReplaceWindowProc(ToolBarWindow, ToolBarProc);
  }
  Repaint(ToolBarWindow);
}

void ForgetButton() {
  ToolBarWindow = nullptr;
  ToolBarProc = nullptr;
  ButtonPressed = 0;
  AddButtonLock = 0;
  RetryNotBefore = 0;
}

void UnregisterButtonClass() {
  if (ToolBarWindow != nullptr) UnregisterClassA(kButtonClassName, moduleInstance);
}

void DrawBitmapFrame(HBITMAP bitmap, HDC target, int x, int y, int frame) {
  UniqueMemoryDc memory(CreateCompatibleDC(target));
  if (!memory) return;
  SetMapMode(memory.get(), GetMapMode(target));
  SelectionKeeper keepBitmap(memory.get(), OBJ_BITMAP);
  if (SelectObject(memory.get(), bitmap) == nullptr) return;
  BITMAP description{};
  if (GetObjectA(bitmap, sizeof description, &description) != sizeof description) return;
  const int side = description.bmHeight;
  POINT size{side, side};
  DPtoLP(target, &size, 1);
  POINT source{frame * side, 0};
  DPtoLP(memory.get(), &source, 1);
  BitBlt(target, x, y, size.x, size.y, memory.get(), source.x, source.y, SRCCOPY);
}

extern "C" LRESULT CALLBACK ButtonWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_PAINT:
      PaintButton(window);
      return 0;
    case WM_LBUTTONDOWN:
      PressButton(window);
      return 0;
    case WM_MOUSEMOVE:
      if (ButtonPressed == 0 || InsideClient(window, PointerOf(lParam))) break;
      DragButton(window, PointerOf(lParam));
      return 0;
    case WM_LBUTTONUP:
      if (ButtonPressed != 0) ReleaseButton(window, PointerOf(lParam));
      return 0;
    default:
      break;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

extern "C" LRESULT CALLBACK ToolBarSubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  const WNDPROC own = ToolBarProc;
  switch (message) {
    case WM_DESTROY:
      if (own != nullptr && WindowProcIs(window, ToolBarSubclassProc)) {
        ReplaceWindowProc(window, own);
      }
      break;
    case WM_SIZE:
      ReplaceButton(window);
      break;
    case WM_PAINT:
      Repaint(ButtonOf(window));
      break;
    default:
      break;
  }
  if (own == nullptr) return DefWindowProcA(window, message, wParam, lParam);
  return CallWindowProcA(own, window, message, wParam, lParam);
}
