// The way in for the module: a WH_GETMESSAGE hook on the client's thread,
// run when the thread takes a posted WM_NULL. From inside, the hook sees the
// main window's class, loads string 1410 through the window's instance and
// walks the menu bar with the same calls the module makes.
#include <gtest/gtest.h>

#include "testbed/mailclient/tests/client_session.h"
#include "testbed/mailclient/tests/hook_probe.h"

namespace {

TEST(ClientHook, AHookOnTheClientsThreadSeesThePostedNullAndTheClientFromInside) {
  ClientSession session;
  UniqueLibrary dll(LoadLibraryA((uidrive::ExecutableDirectory() + "hook_probe.dll").c_str()));
  ASSERT_TRUE(dll);
  auto hookProc = reinterpret_cast<HOOKPROC>(reinterpret_cast<void*>(GetProcAddress(dll.get(), "ProbeHook")));
  auto probeOf = reinterpret_cast<HookProbe* (*)()>(reinterpret_cast<void*>(GetProcAddress(dll.get(), "Probe")));
  ASSERT_TRUE(hookProc && probeOf);
  HookProbe* probe = probeOf();
  ASSERT_EQ(probe->sawNull, 0);

  DWORD clientThread = GetWindowThreadProcessId(session.main(), nullptr);
  UniqueHook hook(SetWindowsHookExA(WH_GETMESSAGE, hookProc, dll.get(), clientThread));
  ASSERT_TRUE(hook);
  ASSERT_TRUE(PostMessageA(session.main(), WM_NULL, 0, 0));
  ASSERT_TRUE(WaitFor([&] { return probe->sawNull != 0; }, 10000)) << "the hook never ran";

  EXPECT_EQ(probe->threadId, clientThread);
  EXPECT_STREQ(probe->windowClass, "EudoraMainWindow");
  EXPECT_STREQ(probe->attachmentPrefix, "Attachment Converted: ");
  ASSERT_EQ(probe->popups, 9);
  EXPECT_EQ(probe->firstIds[0] & 0xE10F, 0xE100u);
  EXPECT_EQ(probe->firstIds[3], 0x801Du);
  EXPECT_EQ(probe->firstIds[8], 0xE142u);
  EXPECT_EQ(probe->afterSelectAll[0], static_cast<UINT>(ID_EDIT_WRAP_SELECTION));
  EXPECT_EQ(probe->afterSelectAll[1], static_cast<UINT>(ID_EDIT_FINISH_NICKNAME));
  EXPECT_TRUE(session.Responsive());
}

}  // namespace
