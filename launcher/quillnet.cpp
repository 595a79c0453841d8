// quillnet.exe: loads qlnet.dll from its own folder and lets the module run
// the mail client through it. The module does all the work; the launcher only
// keeps a message loop alive on the thread whose id it hands over, because
// the module inside the client ends the run by posting WM_QUIT to it.
#include <windows.h>

#include <cstring>

#include "core/command_state.h"

namespace {

// The module's entry points, exported under these fixed names.
constexpr char kStartExtension[] = "P01";
constexpr char kStopExtension[] = "P02";
constexpr char kExtensionReady[] = "P03";

using StartFn = LONG_PTR(WINAPI*)(HINSTANCE, DWORD, const char*);
using ReadyFn = LONG(WINAPI*)();
using StopFn = BOOL(WINAPI*)();

// GetProcAddress gives a generic pointer; going through void* says that
// the real type is known from the export's contract.
template <typename Fn>
Fn Proc(HMODULE module, const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// System DLLs come from the system folder only, never from the current
// directory, so a planted DLL beside a mail file cannot be loaded.
void LoadSystemDllsSafely() {
  SetDllDirectoryA("");
  using SetDefaultDirs = BOOL(WINAPI*)(DWORD);
  auto setDefault = Proc<SetDefaultDirs>(GetModuleHandleA("kernel32.dll"), "SetDefaultDllDirectories");
  if (setDefault) setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32 | LOAD_LIBRARY_SEARCH_APPLICATION_DIR);
}

// The module's full path: our own folder followed by qlnet.dll.
bool ModulePath(char (&path)[MAX_PATH]) {
  DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return false;
  char* slash = strrchr(path, '\\');
  size_t dir = slash ? static_cast<size_t>(slash - path) + 1 : 0;
  const char name[] = "qlnet.dll";
  if (dir + sizeof name > MAX_PATH) return false;
  memcpy(path + dir, name, sizeof name);
  return true;
}

void Complain(const char* what, const char* path) {
  char text[MAX_PATH + 128];
  wsprintfA(text, "%s\n  %s\nError %lu", what, path, GetLastError());
  MessageBoxA(nullptr, text, kQuillnetCaption, MB_OK | MB_ICONEXCLAMATION);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  LoadSystemDllsSafely();
  char path[MAX_PATH];
  if (!ModulePath(path)) {
    MessageBoxA(nullptr, "The launcher's own path is too long.", kQuillnetCaption, MB_OK | MB_ICONEXCLAMATION);
    return 1;
  }
  HMODULE module = LoadLibraryExA(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (!module) {
    Complain("Quillnet could not load its module:", path);
    return 1;
  }
  auto start = Proc<StartFn>(module, kStartExtension);
  auto ready = Proc<ReadyFn>(module, kExtensionReady);
  auto stop = Proc<StopFn>(module, kStopExtension);
  if (!start || !ready || !stop) {
    Complain("The module lacks its entry points:", path);
    FreeLibrary(module);
    return 1;
  }
  // The module reads our path from the instance we pass: QLNET.INI and
  // EUDORA.EXE are looked for beside the launcher, and the path's length is
  // how the module skips our name in an unquoted command line.
  MSG msg;
  PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);  // make sure this thread has a queue
  if (start(instance, GetCurrentThreadId(), GetCommandLineA()) != 0) {
    if (ready() == 1) {
      while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
      }
    }
    stop();
  }
  FreeLibrary(module);
  return 0;
}
