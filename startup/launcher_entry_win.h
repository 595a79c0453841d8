// The launcher's entry points into the module and the start of the mail
// client. StartExtension, StopExtension and ExtensionReady run in the
// launcher's process; the load notification counts every process that maps
// the module.
#pragma once

#include <windows.h>

#include <string>

#include "common/handles_win.h"
#include "settings/settings_file_win.h"

extern "C" {
// Exported as P01: starts or finds the mail client, hooks its UI thread and
// waits until the hook has made its first attempt to initialise. Returns
// the hook, or 0.
LONG_PTR WINAPI StartExtension(HINSTANCE launcherInstance, DWORD launcherThreadId,
                               LPCSTR commandLine);
// Exported as P02: removes the hook and waits until the client has let go
// of the module.
BOOL WINAPI StopExtension();
// Exported as P03: whether the module initialised itself inside the client.
LONG WINAPI ExtensionReady();
}

// What the launcher's side keeps between its calls within its process: the
// settings it reads, and the client's process, opened once in
// StartExtension so that its id cannot be reused while the launcher looks:
// the waits for the hook and for the unload stop when it has ended.
struct LauncherSide : LauncherSettings {
  UniqueHandle clientProcess;
  bool clientProcessGone = false;  // it had ended before it could be opened
};

// The launcher's side of this process, for the entry points the launcher
// calls without a context.
extern LauncherSide launcherSide;

// Result codes of StartClient: 0 found, 3 cancelled, 4 not started,
// otherwise the string id of the message (5, 46). `message` gets the files
// tried, one a line; with 4 the error that names them.
int StartClient(LauncherSide& launcher, const char* programName, std::string& message);

// True when the window exists and belongs to the client's process.
bool IsClientWindow(HWND window);
void BringClientToFront();

// How long the started client may take to become idle before "Time-out".
constexpr DWORD kClientIdleTimeout = 60000;

// After the started client went idle (and the WaitEudoraInit pause), its
// main window is looked for this often, this many times, while its process
// lives, before the user is asked: about 30 seconds.
constexpr DWORD kClientWindowPollMs = 100;
constexpr int kClientWindowPolls = 300;
