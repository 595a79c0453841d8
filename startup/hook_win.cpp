#include "startup/hook_win.h"

#include <cstring>

#include "command/text_capture_win.h"
#include "core/command_state_win.h"
#include "core/module_win.h"
#include "core/shared_state_win.h"
#include "core/window_procedure_win.h"
#include "host/fonts_win.h"
#include "host/menus.h"
#include "host/menus_win.h"
#include "host/toolbar_button_win.h"
#include "resources/resource_ids.h"
#include "runner/pgp_runner_win.h"
#include "runner/temp_files_win.h"
#include "settings/settings_file_win.h"
#include "startup/launcher_entry_win.h"

LONG clientInitialised = 0;

namespace {

// A message box of one attempt runs a message loop on the client's thread;
// a second WM_NULL removed from the queue then must not start a nested one.
bool initialising = false;

void ShowInitMessage(const char* text) {
  MessageBoxA(GetFocus(), text, kQuillnetCaption, MB_ICONEXCLAMATION | MB_SYSTEMMODAL);
}

void ShowInitString(UINT id) {
  LoadModuleString(id, MessageText, kMessageTextSize);
  ShowInitMessage(MessageText);
}

// Lists the candidate and looks for it; PgpPath then holds the program's
// full path, found once here so that no later start searches for it. A
// candidate that does not fit PgpPath is skipped: a cut path would name
// another file.
bool TryPgpCandidate(const char* directory, size_t directoryLength, const char* name) {
  size_t nameLength = strlen(name);
  if (directoryLength + nameLength >= kPgpPathSize) return false;
  char candidate[kPgpPathSize];
  memcpy(candidate, directory, directoryLength);
  memcpy(candidate + directoryLength, name, nameLength + 1);
  AppendLine(MessageText, kMessageTextSize, candidate);
  char full[kPgpPathSize];
  if (!ResolvePgpProgram(candidate, full)) return false;
  memcpy(PgpPath, full, sizeof full);
  return true;
}

// A module that stayed loaded after leaving the client starts again as a
// freshly loaded one would: no exit under way, no button, no refusal of it.
void ForgetEarlierExtension() {
  ExtensionLeft = false;
  ExitPending = false;
  CloseAfterExit = 0;
  ForgetButton();
}

}  // namespace

bool FindPgp(size_t directoryLength) {
  char directory[kPgpPathSize];
  if (directoryLength >= sizeof directory) directoryLength = 0;
  memcpy(directory, PgpPath, directoryLength);
  directory[directoryLength] = '\0';

  if (Settings.ProgPGP) {
    if (!strchr(Settings.ProgPGP, ':') &&
        TryPgpCandidate(directory, directoryLength, Settings.ProgPGP))
      return true;
    return TryPgpCandidate("", 0, Settings.ProgPGP);
  }
  const bool pifFirst = Settings.KeepOpen < 0;
  if (pifFirst && TryPgpCandidate(directory, directoryLength, "pgp.pif")) return true;
  if (TryPgpCandidate(directory, directoryLength, "pgp.exe")) return true;
  if (pifFirst && TryPgpCandidate("", 0, "pgp.pif")) return true;
  return TryPgpCandidate("", 0, "pgp.exe");
}

bool InitInClient() {
  ForgetEarlierExtension();
  const bool fontsMade = CreateFonts();
  runState.textHandle = nullptr;
  MessageText[0] = '\0';
  TakeModulePath(moduleInstance);
  ComputeSettingsPath(sharedState.clientArguments);
  if (!fontsMade) {
    ShowInitString(IDS_INIT_FAILED);
    return false;
  }

  LoadSettings(sharedState.clientMainWindow);

  LoadModuleString(IDS_PGP_NOT_FOUND, MessageText, kMessageTextSize);
  char directory[kEnvironmentValueSize];
  size_t length = ReadEnvironmentValue("PGPPATH", directory);
  memcpy(PgpPath, directory, length + 1);
  if (length > 0 && PgpPath[length - 1] != '\\' && length + 1 < kPgpPathSize) {
    PgpPath[length++] = '\\';
    PgpPath[length] = '\0';
  }
  if (!FindPgp(length)) {
    ShowInitMessage(MessageText);
    return false;
  }

  if (!PrepareTempFiles()) return false;

  MainWindowProc = ReplaceWindowProc(sharedState.clientMainWindow, MainWindowSubclassProc);
  if (!MainWindowProc) {
    ShowInitString(IDS_EUDORA16);
    return false;
  }
  if (!SetupMenus()) {
    ReplaceWindowProc(sharedState.clientMainWindow, MainWindowProc);
    ShowInitString(IDS_INIT_FAILED);
    return false;
  }
  if (Settings.UseToolBar != 0 && !IsIconic(sharedState.clientMainWindow))
    PostMessageA(sharedState.clientMainWindow, WM_COMMAND, IDM_ADD_BUTTON, 0);
  return true;
}

extern "C" LRESULT CALLBACK GetMessageHook(int code, WPARAM removal, LPARAM message) {
  const MSG* msg = reinterpret_cast<const MSG*>(message);
  // A module that has left the client starts afresh there, as a freshly
  // loaded one would, when a later launcher hooks it in again.
  const bool running = clientInitialised && !ExtensionLeft;
  if (!running && !initialising && code == HC_ACTION && removal == PM_REMOVE &&
      msg->message == WM_NULL) {
    initialising = true;
    // The client has one window profile (HostClassNames), so there is no
    // table to choose once the initialisation has succeeded.
    if (InitInClient()) {
      clientInitialised = 1;
      InterlockedExchange(&sharedState.clientReady, 1);
      BringClientToFront();
    }
    initialising = false;
    InterlockedExchange(&sharedState.hookRan, 1);
  }
  // Every message goes on to the hooks installed before this one (input
  // methods, accessibility tools, other extensions): the module only looks.
  return CallNextHookEx(sharedState._hHook, code, removal, message);
}
