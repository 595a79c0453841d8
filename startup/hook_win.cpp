#include "startup/hook_win.h"

#include <cstring>

#include "core/bounded_text.h"
#include "core/message_box_win.h"
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

namespace {

// The extension of this process; it stays for the life of the module, so a
// pass phrase kept before an exit is still there when a later launcher
// starts the module again.
Extension extensionInThisProcess;

constexpr UINT kStartUpFailure = MB_ICONEXCLAMATION | MB_SYSTEMMODAL;

// Lists the candidate and looks for it; PgpPath then holds the program's
// full path, found once here so that no later start searches for it. A
// candidate that does not fit PgpPath is skipped: a cut path would name
// another file.
bool TryPgpCandidate(PgpSetup& setup, const char* directory, size_t directoryLength,
                     const char* name, char (&tried)[kMessageTextSize]) {
  size_t nameLength = strlen(name);
  if (directoryLength + nameLength >= kPgpPathSize) return false;
  char candidate[kPgpPathSize];
  memcpy(candidate, directory, directoryLength);
  memcpy(candidate + directoryLength, name, nameLength + 1);
  AppendLine(tried, kMessageTextSize, candidate);
  char full[kPgpPathSize];
  if (!ResolvePgpProgram(candidate, full)) return false;
  memcpy(setup.PgpPath, full, sizeof full);
  return true;
}

// A module that stayed loaded after leaving the client starts again as a
// freshly loaded one would: no exit under way, no button, no refusal of it.
void ForgetEarlierExtension(Extension& extension) {
  extension.ExtensionLeft = false;
  extension.ExitPending = false;
  extension.CloseAfterExit = 0;
  ForgetButton(extension);
}

// PgpPath gets the PGPPATH directory, with a backslash after it; returns
// its length.
size_t TakePgpPathDirectory(PgpSetup& setup) {
  char directory[kEnvironmentValueSize];
  size_t length = ReadEnvironmentValue("PGPPATH", directory);
  memcpy(setup.PgpPath, directory, length + 1);
  if (length > 0 && setup.PgpPath[length - 1] != '\\' && length + 1 < kPgpPathSize) {
    setup.PgpPath[length++] = '\\';
    setup.PgpPath[length] = '\0';
  }
  return length;
}

}  // namespace

bool FindPgp(PgpSetup& setup, const SettingsRecord& settings, size_t directoryLength,
             char (&tried)[kMessageTextSize]) {
  char directory[kPgpPathSize];
  if (directoryLength >= sizeof directory) directoryLength = 0;
  memcpy(directory, setup.PgpPath, directoryLength);
  directory[directoryLength] = '\0';
  const auto tryIn = [&](const char* folder, size_t length, const char* name) {
    return TryPgpCandidate(setup, folder, length, name, tried);
  };

  if (settings.ProgPGP) {
    if (!strchr(settings.ProgPGP, ':') && tryIn(directory, directoryLength, settings.ProgPGP))
      return true;
    return tryIn("", 0, settings.ProgPGP);
  }
  const bool pifFirst = settings.KeepOpen < 0;
  if (pifFirst && tryIn(directory, directoryLength, "pgp.pif")) return true;
  if (tryIn(directory, directoryLength, "pgp.exe")) return true;
  if (pifFirst && tryIn("", 0, "pgp.pif")) return true;
  return tryIn("", 0, "pgp.exe");
}

void LoadAndListSettings(ClientSettings& settings, HWND clientMainWindow) {
  char listing[kMessageTextSize];
  CopyBounded(listing, sizeof listing, LoadSettings(settings, clientMainWindow).c_str());
  if ((GetAsyncKeyState(VK_CAPITAL) & 0x8000) == 0) return;
  AppendSettingsListing(listing, sizeof listing, settings.Settings);
  ShowMessageBox(clientMainWindow, listing, MB_OK);
}

bool PrepareTempFiles(PgpSetup& setup, SettingsRecord& settings) {
  if (Failure failure = ChooseTempFiles(setup, settings)) {
    ShowMessageBox(nullptr, *failure, kStartUpFailure);
    return false;
  }
  const Leftovers leftovers = FindLeftovers(setup);
  if (!leftovers.any()) return true;
  if (ShowMessageBox(GetFocus(), LeftoversQuestion(setup, leftovers), MB_OKCANCEL | MB_ICONQUESTION) !=
      IDOK) {
    // Without names nothing later can wipe the files the user kept.
    ForgetTempNames(setup);
    return false;
  }
  WipeLeftovers(setup, leftovers);
  return true;
}

bool InitInClient(Extension& extension) {
  ForgetEarlierExtension(extension);
  const bool fontsMade = CreateFonts(extension);
  extension.textHandle = nullptr;
  TakeModulePath(extension.module, moduleInstance);
  ComputeSettingsPath(extension, sharedState.clientArguments);
  if (!fontsMade) {
    ShowMessageBox(GetFocus(), ModuleString(IDS_INIT_FAILED), kStartUpFailure);
    return false;
  }

  LoadAndListSettings(extension, sharedState.clientMainWindow);

  char tried[kMessageTextSize];
  LoadModuleString(IDS_PGP_NOT_FOUND, tried, kMessageTextSize);
  if (!FindPgp(extension, extension.Settings, TakePgpPathDirectory(extension), tried)) {
    ShowMessageBox(GetFocus(), tried, kStartUpFailure);
    return false;
  }

  if (!PrepareTempFiles(extension, extension.Settings)) return false;

  HWND main = sharedState.clientMainWindow;
  extension.MainWindowProc = ReplaceWindowProc(main, MainWindowSubclassProc);
  if (!extension.MainWindowProc) {
    ShowMessageBox(GetFocus(), ModuleString(IDS_EUDORA16), kStartUpFailure);
    return false;
  }
  if (!SetupMenus(extension)) {
    ReplaceWindowProc(main, extension.MainWindowProc);
    ShowMessageBox(GetFocus(), ModuleString(IDS_INIT_FAILED), kStartUpFailure);
    return false;
  }
  if (extension.Settings.UseToolBar != 0 && !IsIconic(main))
    PostMessageA(main, WM_COMMAND, IDM_ADD_BUTTON, 0);
  return true;
}

extern "C" LRESULT CALLBACK GetMessageHook(int code, WPARAM removal, LPARAM message) {
  if (clientExtension == nullptr) clientExtension = &extensionInThisProcess;
  Extension& extension = *clientExtension;
  const MSG* msg = reinterpret_cast<const MSG*>(message);
  // A module that has left the client starts afresh there, as a freshly
  // loaded one would, when a later launcher hooks it in again.
  const bool running = extension.clientInitialised && !extension.ExtensionLeft;
  if (!running && !extension.initialising && code == HC_ACTION && removal == PM_REMOVE &&
      msg->message == WM_NULL) {
    extension.initialising = true;
    // The client has one window profile (HostClassNames), so there is no
    // table to choose once the initialisation has succeeded.
    if (InitInClient(extension)) {
      extension.clientInitialised = 1;
      InterlockedExchange(&sharedState.clientReady, 1);
      BringClientToFront();
    }
    extension.initialising = false;
    InterlockedExchange(&sharedState.hookRan, 1);
  }
  // Every message goes on to the hooks installed before this one (input
  // methods, accessibility tools, other extensions): the module only looks.
  return CallNextHookEx(sharedState._hHook, code, removal, message);
}
