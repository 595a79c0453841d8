// The launcher's entry points into the module and the start of the mail
// client. StartExtension, StopExtension and ExtensionReady run in the
// launcher's process; the load notification counts every process that maps
// the module.
#pragma once

#include <windows.h>

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

// Result codes of StartClient: 0 found, 3 cancelled, 4 not started (text in
// MessageText), otherwise the string id of the message (5, 46).
int StartClient(const char* programName);

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
