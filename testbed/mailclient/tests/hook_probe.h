// A message hook that looks at the client from inside, the way the module
// does once the system has loaded it into the client's process: what it
// records there lies in a section shared by every process that loads it.
#pragma once

#include <windows.h>

struct HookProbe {
  LONG sawNull;             // the hook saw the posted WM_NULL for the main window
  char windowClass[32];     // the class of that window
  char attachmentPrefix[32];  // string 1410, loaded through the window's instance
  UINT firstIds[16];        // the id of the first item of each popup of the menu bar
  int popups;
  UINT afterSelectAll[2];   // the two ids after Select All in the popup after File
  DWORD threadId;           // the thread the hook ran on
};

extern "C" {
__declspec(dllexport) LRESULT CALLBACK ProbeHook(int code, WPARAM wParam, LPARAM lParam);
__declspec(dllexport) HookProbe* Probe();
}
