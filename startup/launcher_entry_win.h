// The launcher's entry points into the module and the start of the mail
// client. P01, P02 and P03 run in the launcher's process; the load
// notification counts every process that maps the module.
#pragma once

#include <windows.h>

extern "C" {
// Starts or finds the mail client, hooks its UI thread and waits until the
// hook has made its first attempt to initialise. Returns the hook, or 0.
LONG_PTR WINAPI P01(HINSTANCE launcherInstance, DWORD launcherThreadId, LPCSTR commandLine);
// Removes the hook and waits until the client has let go of the module.
BOOL WINAPI P02();
// Whether the module initialised itself inside the client.
LONG WINAPI P03();
}

// Result codes of StartClient: 0 found, 3 cancelled, 4 not started (text in
// MessageText), otherwise the string id of the message (5, 46).
int StartClient(const char* programName);

// True when the window exists and belongs to the client's process.
bool IsClientWindow(HWND window);
void BringClientToFront();

// How long the started client may take to become idle before "Time-out".
constexpr DWORD kClientIdleTimeout = 60000;
