#include "host/toolbar_button_win.h"

#include <windowsx.h>

#include <cstdio>
#include <cstring>

#include "core/message_box_win.h"
#include "core/module_win.h"
#include "core/shared_state_win.h"
#include "core/window_procedure_win.h"
#include "host/gdi_holders_win.h"
#include "host/menus.h"
#include "resources/resource_ids.h"

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

Extension* ExtensionOf(HWND button) {
  return reinterpret_cast<Extension*>(GetWindowLongPtrA(button, GWLP_USERDATA));
}

void PaintButton(HWND button, const ToolbarButton& state) {
  PaintScope paint(button);
  if (paint.dc() == nullptr) return;
  UniqueGdiObject face(LoadBitmapA(moduleInstance, MAKEINTRESOURCEA(IDB_BUTTON_FACE)));
  if (!face) return;
  DrawBitmapFrame(static_cast<HBITMAP>(face.get()), paint.dc(), 0, 0, state.ButtonPressed);
}

void PressButton(HWND button, Extension& extension) {
  if (extension.RunInProgress > 0) return;  // a click now would only be refused
  SetCapture(button);
  extension.ButtonPressed = 1;
  Repaint(button);
}

// Dragging off the button keeps the press while the pointer stays over the
// toolbar; leaving the toolbar cancels it. Either way the bar repaints, and
// its repaint (through ToolBarSubclassProc) redraws the button.
void DragButton(HWND button, ToolbarButton& state, POINT pointer) {
  HWND toolBar = GetParent(button);
  POINT onScreen = pointer;
  ClientToScreen(button, &onScreen);
  RECT bar{};
  if (toolBar == nullptr || !GetWindowRect(toolBar, &bar) || !PtInRect(&bar, onScreen)) {
    state.ButtonPressed = 0;
    ReleaseCapture();
  }
  Repaint(toolBar);
}

void ReleaseButton(HWND button, ToolbarButton& state, POINT pointer) {
  ReleaseCapture();
  Repaint(button);
  if (InsideClient(button, pointer)) {
    PostMessageA(sharedState.clientMainWindow, WM_COMMAND, IDM_RUN_PGP, 0);
  }
  state.ButtonPressed = 0;
}

void ReplaceButton(HWND toolBar, SettingsRecord& settings) {
  Repaint(toolBar);
  RECT client;
  if (!GetClientRect(toolBar, &client)) return;
  const ButtonPlace place = ButtonPlaceAfterSize(client.right, client.bottom, settings.ButtonPos);
  HWND button = ButtonOf(toolBar);
  if (button != nullptr) {
    SetWindowPos(button, nullptr, place.x, place.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  }
}

}  // namespace

bool RetryWaitRunning(DWORD now, DWORD notBefore) {
  return notBefore != 0 && static_cast<LONG>(now - notBefore) < 0;
}

int TryAddButton(Extension& extension, HWND mainWindow) {
  if (RetryWaitRunning(GetTickCount(), extension.RetryNotBefore)) return 0;
  extension.ToolBarWindow = FindToolBar(mainWindow);
  if (extension.ToolBarWindow != nullptr) {
    if (CreateButton(extension, mainWindow)) return 1;
    extension.ToolBarWindow = nullptr;
    return 0;
  }
  if (ShowMessageBox(mainWindow, ModuleString(IDS_NO_TOOLBAR), MB_RETRYCANCEL) == IDCANCEL) {
    ++extension.AddButtonLock;
  }
  extension.RetryNotBefore = GetTickCount() + kRetryDelay;
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

int CreateButton(Extension& extension, HWND mainWindow) {
  if (!RegisterButtonClass()) return 0;
  HWND toolBar = extension.ToolBarWindow;
  RECT client{};
  GetClientRect(toolBar, &client);
  const ButtonPlace place =
      ButtonPlaceAtCreation(client.right, client.bottom, extension.Settings.ButtonPos);
  HWND button = CreateWindowExA(0, kButtonClassName, nullptr, WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS,
                                place.x, place.y, kButtonSize, kButtonSize, toolBar, nullptr,
                                moduleInstance, &extension);
  if (button == nullptr) {
    const DWORD error = GetLastError();
    char text[kMessageTextSize];
    std::snprintf(text, sizeof text, "CreateWindow failed\nError: %lu",
                  static_cast<unsigned long>(error));
    ShowMessageBox(mainWindow, text, MB_OK);
    UnregisterClassA(kButtonClassName, moduleInstance);
    return 0;
  }
  SetWindowLongPtrA(button, GWLP_ID, IDC_PGP_BUTTON);
  extension.ToolBarProc = ReplaceWindowProc(toolBar, ToolBarSubclassProc);
  if (extension.ToolBarProc == nullptr) {
    // The button still works as a button; it just is not kept in place.
    ShowMessageBox(mainWindow, "Subclass AfxControlBar failed", MB_OK);
  } else {
    Repaint(toolBar);
  }
  return 1;
}

void RemoveButton(const ToolbarButton& state) {
  HWND toolBar = state.ToolBarWindow;
  if (toolBar == nullptr) return;
  if (HWND button = ButtonOf(toolBar)) DestroyWindow(button);
  // Someone who subclassed the bar after us would lose their procedure if
  // ours were put back over it, so the bar is only touched while ToolBarSubclassProc is
  // still the procedure in place.
  if (state.ToolBarProc != nullptr && WindowProcIs(toolBar, ToolBarSubclassProc)) {
    ReplaceWindowProc(toolBar, state.ToolBarProc);
  }
  Repaint(toolBar);
}

void ForgetButton(ToolbarButton& state) { state = ToolbarButton{}; }

void UnregisterButtonClass(const ToolbarButton& state) {
  if (state.ToolBarWindow != nullptr) UnregisterClassA(kButtonClassName, moduleInstance);
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
  if (message == WM_NCCREATE) {
    const auto* creation = reinterpret_cast<const CREATESTRUCTA*>(lParam);
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(creation->lpCreateParams));
  }
  Extension* extension = ExtensionOf(window);
  if (extension == nullptr) return DefWindowProcA(window, message, wParam, lParam);
  switch (message) {
    case WM_PAINT:
      PaintButton(window, *extension);
      return 0;
    case WM_LBUTTONDOWN:
      PressButton(window, *extension);
      return 0;
    case WM_MOUSEMOVE:
      if (extension->ButtonPressed == 0 || InsideClient(window, PointerOf(lParam))) break;
      DragButton(window, *extension, PointerOf(lParam));
      return 0;
    case WM_LBUTTONUP:
      if (extension->ButtonPressed != 0) ReleaseButton(window, *extension, PointerOf(lParam));
      return 0;
    default:
      break;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

extern "C" LRESULT CALLBACK ToolBarSubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  Extension* extension = clientExtension;
  const WNDPROC own = extension != nullptr ? extension->ToolBarProc : nullptr;
  switch (message) {
    case WM_DESTROY:
      if (own != nullptr && WindowProcIs(window, ToolBarSubclassProc)) {
        ReplaceWindowProc(window, own);
      }
      break;
    case WM_SIZE:
      if (extension != nullptr) ReplaceButton(window, extension->Settings);
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
