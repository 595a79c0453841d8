#include "startup/launcher_entry_win.h"

#include <cstring>

#include "common/handles_win.h"
#include "core/bounded_text.h"
#include "core/message_box_win.h"
#include "core/module_win.h"
#include "core/shared_state_win.h"
#include "resources/resource_ids.h"
#include "runner/temp_files_win.h"
#include "settings/settings_file_win.h"
#include "startup/hook_win.h"
#include "startup/launcher_entry.h"

LauncherSide launcherSide;

namespace {

constexpr char kClientClass[] = "EudoraMainWindow";

void OpenClientProcess(LauncherSide& launcher, DWORD processId) {
  launcher.clientProcess.reset(OpenProcess(SYNCHRONIZE, FALSE, processId));
  launcher.clientProcessGone = !launcher.clientProcess && GetLastError() == ERROR_INVALID_PARAMETER;
}

bool ClientHasEnded(const LauncherSide& launcher) {
  if (launcher.clientProcessGone) return true;
  return launcher.clientProcess &&
         WaitForSingleObject(launcher.clientProcess.get(), 0) == WAIT_OBJECT_0;
}

void ForgetFinishedRun() {
  sharedState._hHook = nullptr;
  sharedState.hookRan = 0;
  sharedState.unhooked = 0;
  sharedState.clientReady = 0;
  sharedState.clientLeft = 0;
  sharedState.launcherProcessId = 0;
}

// Another launcher is active: bring its client forward, or offer to end a
// launcher that has lost its client.
LONG_PTR RefuseSecondLauncher() {
  if (sharedState.clientMainWindow) {
    BringClientToFront();
    return 0;
  }
  const std::string text = ModuleString(IDS_ALREADY_RUNNING);
  if (sharedState.launcherProcessId != 0) {
    UniqueHandle other(OpenProcess(PROCESS_TERMINATE | STANDARD_RIGHTS_REQUIRED, FALSE,
                                   sharedState.launcherProcessId));
    if (other) {
      if (ShowMessageBox(GetFocus(), text, MB_YESNO | MB_ICONQUESTION) == IDYES)
        TerminateProcess(other.get(), 1);
      return 0;
    }
  }
  sharedState.launcherProcessId = GetCurrentProcessId();
  ShowMessageBox(nullptr, text, MB_OK);
  return 0;
}

// The launcher's own file path, which an unquoted command line may begin
// with. The module path is taken too (settings and the client are looked for
// beside the launcher); the full query also serves a path too long for it.
void TakeLauncherPath(LauncherSide& launcher, HINSTANCE launcherInstance, char (&path)[MAX_PATH]) {
  TakeModulePath(launcher.module, launcherInstance);
  const DWORD n = GetModuleFileNameA(launcherInstance, path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) path[0] = '\0';
}

// The hook's first attempt runs on the client's thread; the client may
// die or lose its window before it gets there, and then nobody would ever
// set hookRan.
bool WaitForHook(const LauncherSide& launcher) {
  while (!sharedState.hookRan) {
    if (ClientHasEnded(launcher) || !IsWindow(sharedState.clientMainWindow)) return false;
    Sleep(100);
  }
  return true;
}

// A client shows its main window some time after it went idle, seconds
// later on a busy machine. The launcher keeps looking, bounded, while the
// client's process lives, rather than telling the user there is no client
// while its window is about to stand on the screen.
void WaitForClientWindow(HANDLE client) {
  for (int poll = 0; FindWindowA(kClientClass, nullptr) == nullptr; ++poll) {
    if (poll >= kClientWindowPolls || WaitForSingleObject(client, kClientWindowPollMs) != WAIT_TIMEOUT)
      return;
  }
}

bool CreateClientProcess(const char* program, PROCESS_INFORMATION& process) {
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  GetStartupInfoA(&startup);
  // A launcher started by a program rather than a shell may have no show
  // state of its own; passing its empty one on would start the client hidden.
  if (!(startup.dwFlags & STARTF_USESHOWWINDOW)) startup.wShowWindow = SW_SHOWNORMAL;
  startup.dwFlags |= STARTF_USESHOWWINDOW | STARTF_FORCEONFEEDBACK;
  char commandLine[kClientCommandLineSize];
  BuildClientCommandLine(commandLine, program, sharedState.clientArguments);
  return CreateProcessA(program, commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process) != FALSE;
}

}  // namespace

bool IsClientWindow(HWND window) {
  if (!IsWindow(window)) return false;
  DWORD windowProcess = 0, clientProcess = 0;
  if (GetWindowThreadProcessId(window, &windowProcess) == 0) return false;
  if (GetWindowThreadProcessId(sharedState.clientMainWindow, &clientProcess) == 0) return false;
  return windowProcess == clientProcess;
}

void BringClientToFront() {
  HWND window = GetForegroundWindow();
  if (!IsClientWindow(window)) window = sharedState.previousForeground;
  if (!IsClientWindow(window)) window = sharedState.clientMainWindow;
  SetForegroundWindow(window);
}

int StartClient(LauncherSide& launcher, const char* programName, std::string& message) {
  char tried[kMessageTextSize] = {};
  PROCESS_INFORMATION process{};
  bool started = false;
  if (!strchr(programName, ':')) {
    char path[kPathSize];
    if (PlaceNextToModule(launcher.module, path, programName)) {
      AppendLine(tried, kMessageTextSize, path);
      started = CreateClientProcess(path, process);
    }
  }
  if (!started) {
    AppendLine(tried, kMessageTextSize, programName);
    started = CreateClientProcess(programName, process);
    if (!started) {
      const DWORD error = GetLastError();
      // The launcher's box names the files tried as far as 255 characters go.
      char text[kMessageTextSize];
      CopyBounded(text, sizeof text, FormatFileError(error, tried).c_str());
      message = text;
      return 4;
    }
  }
  message = tried;
  const bool hadThread = process.hThread != nullptr;
  if (hadThread) CloseHandle(process.hThread);
  UniqueHandle child(process.hProcess);
  const DWORD idle = WaitForInputIdle(child.get(), kClientIdleTimeout);
  Sleep(WaitEudoraInitPause(launcher.WaitEudoraInit));
  // A client that never became idle, or has no thread to hook, is not
  // waited for further: its own message follows at once.
  if (idle != WAIT_TIMEOUT && hadThread) WaitForClientWindow(child.get());
  child.reset();
  const std::string question = ModuleString(IDS_NO_VALID_EUDORA);
  for (;;) {
    sharedState.clientMainWindow = FindWindowA(kClientClass, nullptr);
    if (sharedState.clientMainWindow) return 0;
    if (idle == WAIT_TIMEOUT) return IDS_TIME_OUT;
    if (!hadThread) return IDS_EUDORA16;
    if (ShowMessageBox(nullptr, question, MB_RETRYCANCEL | MB_TASKMODAL) == IDCANCEL)
      return IDS_NO_VALID_EUDORA;
    WriteRaisedWaitEudoraInit(launcher);
  }
}

extern "C" LONG_PTR WINAPI StartExtension(HINSTANCE launcherInstance, DWORD launcherThreadId,
                               LPCSTR commandLine) {
  LauncherSide& launcher = launcherSide;
  sharedState.previousForeground = GetForegroundWindow();
  char launcherPath[MAX_PATH];
  TakeLauncherPath(launcher, launcherInstance, launcherPath);
  TakeClientArguments(sharedState.clientArguments, commandLine ? commandLine : "", launcherPath);
  sharedState.clientMainWindow = FindWindowA(kClientClass, nullptr);

  // The module may stay mapped in a client it has left (some systems keep a
  // hook's DLL loaded); that client is ready for a new run, not a second one.
  if (sharedState.clientLeft)
    ForgetFinishedRun();
  else if (sharedState.attachCount > 1)
    return RefuseSecondLauncher();

  sharedState.launcherProcessId = GetCurrentProcessId();
  sharedState.launcherThreadId = launcherThreadId;

  int result = 0;
  std::string message;
  if (!IsWindow(sharedState.clientMainWindow)) {
    ReadLauncherSettingsFiles(launcher);
    result = StartClient(launcher, launcher.ProgEudora, message);
  }
  if (IsWindow(sharedState.clientMainWindow)) BringClientToFront();

  DWORD clientThread = 0;
  if (result == 0) {
    DWORD clientProcessId = 0;
    clientThread = GetWindowThreadProcessId(sharedState.clientMainWindow, &clientProcessId);
    if (clientThread == 0) result = IDS_EUDORA16;
    else OpenClientProcess(launcher, clientProcessId);
  }
  if (result != 0) {
    if (result != 4) message = ModuleString(result);
    if (result != IDS_NO_VALID_EUDORA) ShowMessageBox(nullptr, message, MB_OK);
    return 0;
  }

  sharedState._hHook = SetWindowsHookExA(WH_GETMESSAGE, GetMessageHook, moduleInstance, clientThread);
  if (!sharedState._hHook) return 0;
  PostMessageA(sharedState.clientMainWindow, WM_NULL, 0, 0);
  if (!WaitForHook(launcher)) {
    UnhookWindowsHookEx(sharedState._hHook);
    sharedState._hHook = nullptr;
    ShowMessageBox(nullptr, ModuleString(IDS_CLIENT_GONE), MB_OK | MB_ICONEXCLAMATION);
    return 0;
  }
  return reinterpret_cast<LONG_PTR>(sharedState._hHook);
}

extern "C" BOOL WINAPI StopExtension() {
  BOOL unhookedOk = UnhookWindowsHookEx(sharedState._hHook);
  InterlockedExchange(&sharedState.unhooked, 1);
  // A module that could not start stays loaded in the client without
  // running there; it has left the client as much as one that exited, so a
  // later launcher may start it again once the user has mended the cause.
  if (!sharedState.clientReady) InterlockedExchange(&sharedState.clientLeft, 1);
  if (!unhookedOk) {
    char text[64];
    wsprintfA(text, "Error unhooking: _hHook = %lX", HandleToULong(sharedState._hHook));
    ShowMessageBox(nullptr, text, MB_OK);
  }
  // The client lets go of the module by unloading it; a client that was
  // killed never says so, some systems keep a hook's DLL loaded after the
  // unhook, and a client where the module never started has nothing of it
  // running. Each of these ends the wait too.
  while (sharedState.attachCount > 1 && sharedState.clientReady && !sharedState.clientLeft &&
         !ClientHasEnded(launcherSide))
    Sleep(100);
  return unhookedOk;
}

extern "C" LONG WINAPI ExtensionReady() { return sharedState.clientReady; }

// The load and unload notification: counts the processes that map the module.
BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    InterlockedIncrement(&sharedState.attachCount);
    moduleInstance = instance;
  } else if (reason == DLL_PROCESS_DETACH) {
    InterlockedDecrement(&sharedState.attachCount);
  }
  return TRUE;
}
