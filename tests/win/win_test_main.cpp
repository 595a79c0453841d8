// Entry point of the Windows test executable: the module's code is linked in
// statically, so the executable's own instance holds the module's resources.
#include <windows.h>

#include <gtest/gtest.h>

#include "core/module_win.h"
#include "tests/support/process_job_win.h"
#include "tests/win/support/late_client.h"

int main(int argc, char** argv) {
  if (const char* late = late_client::Requested(argc, argv)) return late_client::Run(late);
  moduleInstance = GetModuleHandleA(nullptr);
  EndChildrenWithThisProcess();
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
