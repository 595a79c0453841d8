// EUDORA.EXE, the stand-in mail client: the windows, menus, commands and
// resources that the module relies on, with just enough of a mail client
// around them for a person (and the demo) to use it.
#include <windows.h>

#include "testbed/mailclient/client.h"
#include "testbed/mailclient/mail_text.h"

namespace {

std::string MailFolderFrom(const char* arguments) {
  std::string folder = mailtext::FirstArgument(arguments ? arguments : "");
  if (folder.empty()) {
    char exe[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, exe, sizeof exe);
    std::string path(exe, n < sizeof exe ? n : 0);
    folder = path.substr(0, path.find_last_of("\\/") + 1) + "mail";
  }
  char full[MAX_PATH];
  DWORD n = GetFullPathNameA(folder.c_str(), sizeof full, full, nullptr);
  if (n > 0 && n < sizeof full) folder.assign(full, n);
  while (folder.size() > 3 && (folder.back() == '\\' || folder.back() == '/')) folder.pop_back();
  return folder;
}

// Tab moves between the header fields of a composition as in a dialog; in
// the body it stays a character, and Shift+Tab leaves the body upwards.
bool HandleFormTab(const MSG& msg) {
  if (msg.message != WM_KEYDOWN || msg.wParam != VK_TAB) return false;
  Frame* frame = FrameOf(msg.hwnd);
  if (!frame || frame->kind != FrameKind::Composition || GetParent(msg.hwnd) != frame->form)
    return false;
  bool backwards = GetKeyState(VK_SHIFT) < 0;
  if (msg.hwnd == frame->body && !backwards) return false;
  HWND next = GetNextDlgTabItem(frame->form, msg.hwnd, backwards);
  if (next) SetFocus(next);
  return true;
}

// Enter in the mailbox list opens the selected message, as a double-click does.
bool HandleListEnter(const MSG& msg) {
  if (msg.message != WM_KEYDOWN || msg.wParam != VK_RETURN || msg.hwnd != client.mailboxList)
    return false;
  PostMessageA(client.main, WM_COMMAND, ID_FILE_OPEN_MESSAGE, 0);
  return true;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR arguments, int show) {
  client.instance = instance;
  client.mailFolder = MailFolderFrom(arguments);
  if (!RegisterClientClasses(instance) || !CreateMainWindow(show)) return 1;
  client.accelerators = LoadAcceleratorsA(instance, MAKEINTRESOURCEA(IDR_MAINFRAME));

  MSG msg{};
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    if (client.mdiClient && TranslateMDISysAccel(client.mdiClient, &msg)) continue;
    if (client.main && client.accelerators &&
        TranslateAcceleratorA(client.main, client.accelerators, &msg))
      continue;
    if (HandleFormTab(msg) || HandleListEnter(msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  client.textFont.reset();
  return static_cast<int>(msg.wParam);
}
