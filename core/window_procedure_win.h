// Window procedures are pointers: on x86-64 they do not fit the LONG that
// SetWindowLongA takes, so every subclass in the module and its tests goes
// through these three calls, and none casts a procedure to a number.
#pragma once

#include <windows.h>

inline WNDPROC WindowProcOf(HWND window) {
  return reinterpret_cast<WNDPROC>(GetWindowLongPtrA(window, GWLP_WNDPROC));
}

inline bool WindowProcIs(HWND window, WNDPROC procedure) {
  return window != nullptr && WindowProcOf(window) == procedure;
}

// Installs `procedure` and gives back the one it replaced (null when the
// window refused, or had none).
inline WNDPROC ReplaceWindowProc(HWND window, WNDPROC procedure) {
  return reinterpret_cast<WNDPROC>(
      SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(procedure)));
}
