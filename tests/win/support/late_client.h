// A stand-in mail client of the launcher tests' own, run by the test
// executable itself when started with "--late-client=<ms>": it goes idle at
// once (a message loop behind a hidden window) and shows the client's main
// window, class "EudoraMainWindow", only <ms> milliseconds later, as a busy
// machine does; "--late-client=exit" ends without ever showing one.
#pragma once

#include <windows.h>

#include <cstdlib>
#include <cstring>

namespace late_client {

constexpr char kOption[] = "--late-client=";
constexpr UINT_PTR kShowTimer = 1;

inline LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_TIMER && wParam == kShowTimer) {
    KillTimer(window, kShowTimer);
    CreateWindowExA(0, "EudoraMainWindow", "Late client", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100,
                    nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    return 0;
  }
  if (message == WM_DESTROY) {
    char name[32] = "";
    GetClassNameA(window, name, sizeof name);
    if (std::strcmp(name, "EudoraMainWindow") == 0) PostQuitMessage(0);
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

// The option's value when the command line holds it, else null.
inline const char* Requested(int argc, char** argv) {
  for (int i = 1; i < argc; ++i)
    if (std::strncmp(argv[i], kOption, sizeof kOption - 1) == 0) return argv[i] + sizeof kOption - 1;
  return nullptr;
}

inline int Run(const char* value) {
  const HINSTANCE instance = GetModuleHandleA(nullptr);
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = Procedure;
  windowClass.hInstance = instance;
  windowClass.lpszClassName = "EudoraMainWindow";
  RegisterClassA(&windowClass);
  windowClass.lpszClassName = "LateClientHidden";
  RegisterClassA(&windowClass);
  HWND hidden = CreateWindowExA(0, "LateClientHidden", "", WS_OVERLAPPED, 0, 0, 10, 10, nullptr,
                                nullptr, instance, nullptr);
  const bool exitAtOnce = std::strcmp(value, "exit") == 0;
  SetTimer(hidden, kShowTimer, exitAtOnce ? 200 : static_cast<UINT>(std::atoi(value)), nullptr);
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    if (exitAtOnce && message.message == WM_TIMER) return 0;
    DispatchMessageA(&message);
  }
  return 0;
}

}  // namespace late_client
