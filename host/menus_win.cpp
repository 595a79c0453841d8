#include "host/menus_win.h"

#include <new>
#include <string>
#include <vector>

#include "command/run_pgp_driver_win.h"
#include "command/text_capture_win.h"
#include "common/handles_win.h"
#include "core/module_win.h"
#include "core/shared_state_win.h"
#include "core/window_procedure_win.h"
#include "host/about_dialog_win.h"
#include "host/fonts_win.h"
#include "host/toolbar_button_win.h"
#include "resources/resource_ids.h"
#include "runner/temp_files_win.h"
#include "settings/settings_file_win.h"

namespace {

constexpr int kMenuTextSize = 256;
constexpr DWORD kUnhookPollMs = 100;

// ---- Setting the items up ------------------------------------------------

int ItemCount(HMENU menu) {
  const int count = GetMenuItemCount(menu);
  return count > 0 ? count : 0;
}

// The rows FindMenuPositions decides on. The texts are kept alive by
// `texts`, which the rows point into.
std::vector<MenuBarItem> ReadMenuBar(HMENU bar, std::vector<std::string>& texts) {
  const int count = ItemCount(bar);
  texts.assign(static_cast<size_t>(count), std::string());
  std::vector<MenuBarItem> rows(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    char text[kMenuTextSize];
    const int length = GetMenuStringA(bar, static_cast<UINT>(i), text, sizeof text, MF_BYPOSITION);
    HMENU popup = GetSubMenu(bar, i);
    texts[i].assign(text, length > 0 ? static_cast<size_t>(length) : 0);
    rows[i].firstItemId = popup != nullptr ? GetMenuItemID(popup, 0) : kNoMenuItemId;
    rows[i].text = texts[i];
  }
  return rows;
}

std::vector<uint32_t> ReadMenuIds(HMENU menu) {
  std::vector<uint32_t> ids(static_cast<size_t>(ItemCount(menu)));
  for (size_t i = 0; i < ids.size(); ++i) ids[i] = GetMenuItemID(menu, static_cast<int>(i));
  return ids;
}

void InsertExitItem(Extension& extension, HMENU bar, int position) {
  char text[kMenuTextSize];
  LoadModuleString(IDS_MENU_EXIT, text, sizeof text);
  HMENU file = extension.FileMenu = GetSubMenu(bar, position);
  // Some systems append an item whose reference is missing instead of
  // failing; the item belongs next to the client's Exit or nowhere.
  if (GetMenuState(file, kAppExitId, MF_BYCOMMAND) == static_cast<UINT>(-1)) return;
  InsertMenuA(file, kAppExitId, MF_BYCOMMAND | MF_STRING, IDM_EXIT_EXTENSION, text);
}

// A separator with an id of its own, so that it can be removed by command,
// then the item; the item only when the separator went in.
bool AppendItems(HMENU menu, UINT separatorId, UINT itemId, UINT textId) {
  char text[kMenuTextSize];
  LoadModuleString(textId, text, sizeof text);
  return AppendMenuA(menu, MF_SEPARATOR, separatorId, nullptr) &&
         AppendMenuA(menu, MF_STRING, itemId, text);
}

void RecordSelectAllNeighbours(Extension& extension, HMENU edit) {
  extension.SelectAllNext1 = 0;
  extension.SelectAllNext2 = 0;
  const std::vector<uint32_t> ids = ReadMenuIds(edit);
  const SelectAllNeighbours neighbours = FindSelectAllNeighbours(ids);
  extension.SelectAllNext1 = neighbours.SelectAllNext1;
  extension.SelectAllNext2 = neighbours.SelectAllNext2;
  // Only in memory: the user's file keeps asking for nicknames, for a
  // client that offers the command.
  if (NickNamesUnavailable(neighbours)) extension.Settings.NickNames = 0;
}

int SetupMenusOn(Extension& extension, HWND mainWindow) {
  HMENU bar = GetMenu(mainWindow);
  if (bar == nullptr) return 0;
  std::vector<std::string> texts;
  const std::vector<MenuBarItem> rows = ReadMenuBar(bar, texts);
  const MenuPositions at = FindMenuPositions(rows);

  InsertExitItem(extension, bar, at.file);
  extension.HelpMenu = GetSubMenu(bar, at.help);
  if (!AppendItems(extension.HelpMenu, IDM_HELP_SEPARATOR, IDM_ABOUT, IDS_MENU_ABOUT)) return 0;
  extension.MessageMenu = GetSubMenu(bar, at.message);
  const bool added =
      AppendItems(extension.MessageMenu, IDM_MESSAGE_SEPARATOR, IDM_RUN_PGP, IDS_MENU_RUN_PGP);
  RecordSelectAllNeighbours(extension, GetSubMenu(bar, at.edit));
  DrawMenuBar(mainWindow);
  return added ? 1 : 0;
}

// ---- Leaving -------------------------------------------------------------

void RemoveItems(const Extension& extension) {
  RemoveMenu(extension.FileMenu, IDM_EXIT_EXTENSION, MF_BYCOMMAND);
  RemoveMenu(extension.HelpMenu, IDM_HELP_SEPARATOR, MF_BYCOMMAND);
  RemoveMenu(extension.HelpMenu, IDM_ABOUT, MF_BYCOMMAND);
  RemoveMenu(extension.MessageMenu, IDM_MESSAGE_SEPARATOR, MF_BYCOMMAND);
  RemoveMenu(extension.MessageMenu, IDM_RUN_PGP, MF_BYCOMMAND);
  DrawMenuBar(sharedState.clientMainWindow);
}

void RestoreMainWindow(const Extension& extension, HWND mainWindow) {
  if (extension.MainWindowProc != nullptr && WindowProcIs(mainWindow, MainWindowSubclassProc)) {
    ReplaceWindowProc(mainWindow, extension.MainWindowProc);
  }
}

void WipeIfPresent(const char* path) {
  if (FileExists(path)) WipeFile(path);
}

bool Unhooked() { return *static_cast<volatile LONG*>(&sharedState.unhooked) != 0; }

// The launcher sets `unhooked` after removing its hook. A launcher that has
// ended without doing so never will, and waiting for it would freeze the
// client for good; once its process is gone the hook is gone with it. The
// process is opened once, so its id cannot be reused by another process
// while we look.
void WaitUntilUnhooked() {
  if (Unhooked()) return;
  UniqueHandle launcher(OpenProcess(SYNCHRONIZE, FALSE, sharedState.launcherProcessId));
  if (!launcher && GetLastError() == ERROR_INVALID_PARAMETER) return;  // no such process
  while (!Unhooked()) {
    if (launcher && WaitForSingleObject(launcher.get(), 0) == WAIT_OBJECT_0) return;
    Sleep(kUnhookPollMs);
  }
}

// ---- The main-window procedure ------------------------------------------

LRESULT PassOn(const Extension& extension, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (extension.MainWindowProc == nullptr) return DefWindowProcA(window, message, wParam, lParam);
  return CallWindowProcA(extension.MainWindowProc, window, message, wParam, lParam);
}

bool MayAddButton(const Extension& extension, HWND window) {
  return (extension.Settings.UseToolBar & 1) != 0 && extension.ToolBarWindow == nullptr &&
         extension.AddButtonLock == 0 && !IsIconic(window);
}

void AddButton(Extension& extension, HWND window) {
  if (!MayAddButton(extension, window)) return;
  ++extension.AddButtonLock;
  TryAddButton(extension, window);
  --extension.AddButtonLock;
}

bool AsksForButton(UINT message, WPARAM wParam) {
  return (message == WM_ACTIVATE && wParam != 0) || message == WM_ENTERMENULOOP;
}

// Eudora greys items it has no handler for whenever a menu opens, so the
// items are enabled again after every message. Run PGP stays grey while a
// command runs, so a second one cannot even be chosen.
void Tail(Extension& extension, HWND window, UINT message, WPARAM wParam) {
  if (extension.ToolBarWindow == nullptr && extension.Settings.UseToolBar != 0 &&
      extension.AddButtonLock == 0 && AsksForButton(message, wParam)) {
    PostMessageA(window, WM_COMMAND, IDM_ADD_BUTTON, 0);
  }
  const bool idle = extension.RunInProgress == 0;
  EnableMenuItem(extension.FileMenu, IDM_EXIT_EXTENSION, MF_BYCOMMAND | MF_ENABLED);
  EnableMenuItem(extension.HelpMenu, IDM_ABOUT, MF_BYCOMMAND | MF_ENABLED);
  EnableMenuItem(extension.MessageMenu, IDM_RUN_PGP, MF_BYCOMMAND | (idle ? MF_ENABLED : MF_GRAYED));
  if (extension.ExitPending && idle) {
    extension.ExitPending = false;
    PostMessageA(window, WM_COMMAND, IDM_EXIT_EXTENSION, 0);
  }
}

enum class Route { Consumed, PassedOn, ConsumedNoTail };

Route HandleCommand(Extension& extension, HWND window, WORD id) {
  switch (id) {
    case IDM_ABOUT:
      OpenAbout(window, extension);
      return Route::Consumed;
    case IDM_RUN_PGP:
      RunPgpCommand(extension, window);
      return Route::Consumed;
    case IDM_EXIT_EXTENSION:
      if (extension.RunInProgress > 0) {
        extension.ExitPending = true;
      } else {
        ExitExtension(extension, window);
      }
      return Route::ConsumedNoTail;
    case IDM_ADD_BUTTON:
      AddButton(extension, window);
      return Route::Consumed;
    default:
      break;
  }
  if (id == kUndoId && extension.UndoArmed) {
    UndoPgpResult(extension, window);
    return Route::Consumed;
  }
  return Route::PassedOn;
}

LRESULT Dispatch(Extension& extension, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (extension.ExtensionLeft) return PassOn(extension, window, message, wParam, lParam);
  LRESULT result = 0;
  switch (message) {
    case WM_DESTROY:
      ExitExtension(extension, window);
      result = PassOn(extension, window, message, wParam, lParam);
      break;
    case WM_CLOSE:
      extension.CloseAfterExit = 1;
      PostMessageA(sharedState.clientMainWindow, WM_COMMAND, IDM_EXIT_EXTENSION, 0);
      return 0;
    case WM_COMMAND:
      switch (HandleCommand(extension, window, LOWORD(wParam))) {
        case Route::ConsumedNoTail:
          return 0;
        case Route::Consumed:
          break;
        case Route::PassedOn:
          result = PassOn(extension, window, message, wParam, lParam);
          break;
      }
      break;
    default:
      result = PassOn(extension, window, message, wParam, lParam);
      break;
  }
  Tail(extension, window, message, wParam);
  return result;
}

}  // namespace

int SetupMenus(Extension& extension) {
  try {
    return SetupMenusOn(extension, sharedState.clientMainWindow);
  } catch (const std::bad_alloc&) {
    return 0;  // no memory for the menu rows: treated as items not added
  }
}

void ReleaseResources(Extension& extension) {
  DeleteFonts(extension);
  UnregisterButtonClass(extension);
  FreeCapturedText(extension);
  ReleaseSettingsTexts(extension.Settings);
}

void ExitExtension(Extension& extension, HWND mainWindow) {
  if (extension.ExtensionLeft) return;
  extension.ExtensionLeft = true;
  extension.ExitPending = false;
  SaveButtonPos(extension);
  RemoveButton(extension);
  // The kept text goes with the resources, so nothing is left to undo.
  EndUndo(extension);
  ReleaseResources(extension);
  RemoveItems(extension);
  PostThreadMessageA(sharedState.launcherThreadId, WM_QUIT, 0, 0);
  RestoreMainWindow(extension, mainWindow);
  WipeIfPresent(extension.TempAscName);
  WipeIfPresent(extension.TempBaseName);
  WaitUntilUnhooked();
  if (extension.CloseAfterExit == 1) PostMessageA(mainWindow, WM_CLOSE, 0, 0);
  // Nothing of the module is called in this process any more. Some systems
  // keep a hook's DLL loaded after the unhook; the launcher's wait for the
  // unload ends on this flag instead, and a later launcher's hook starts the
  // module afresh (ExtensionLeft).
  InterlockedExchange(&sharedState.clientLeft, 1);
}

extern "C" LRESULT CALLBACK MainWindowSubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  try {
    // Called without the extension only when it was never made.
    if (clientExtension == nullptr) return DefWindowProcA(window, message, wParam, lParam);
    return Dispatch(*clientExtension, window, message, wParam, lParam);
  } catch (...) {
    return 0;  // nothing may unwind into the client's message loop
  }
}
