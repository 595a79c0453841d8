#include "testbed/mailclient/tests/hook_probe.h"

// Shared by all processes: the test reads what the hook wrote in the client.
__attribute__((section(".shr"), shared)) HookProbe probe = {};

namespace {

void Record(HWND main) {
  GetClassNameA(main, probe.windowClass, sizeof probe.windowClass);
  auto instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(main, GWLP_HINSTANCE));
  LoadStringA(instance, 1410, probe.attachmentPrefix, sizeof probe.attachmentPrefix);
  HMENU bar = GetMenu(main);
  int count = GetMenuItemCount(bar);
  for (int i = 0; i < count && i < 16; ++i)
    probe.firstIds[i] = GetMenuItemID(GetSubMenu(bar, i), 0);
  probe.popups = count;
  // As the module does: the popup after File, walked from the end.
  HMENU edit = GetSubMenu(bar, 1);
  for (int i = GetMenuItemCount(edit) - 1; i >= 0; --i) {
    if (GetMenuItemID(edit, i) == 0xE12A) {
      probe.afterSelectAll[0] = GetMenuItemID(edit, i + 1);
      probe.afterSelectAll[1] = GetMenuItemID(edit, i + 2);
      break;
    }
  }
  probe.threadId = GetCurrentThreadId();
}

}  // namespace

extern "C" LRESULT CALLBACK ProbeHook(int code, WPARAM wParam, LPARAM lParam) {
  auto* msg = reinterpret_cast<const MSG*>(lParam);
  if (code == HC_ACTION && msg && msg->message == WM_NULL && msg->hwnd && !probe.sawNull) {
    Record(msg->hwnd);
    InterlockedExchange(&probe.sawNull, 1);
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

extern "C" HookProbe* Probe() { return &probe; }
