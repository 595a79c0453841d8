// The main of the Windows test executables that need nothing else at start:
// GoogleTest's, inside a job that ends what the tests leave running.
#include <windows.h>

#include <gtest/gtest.h>

#include "tests/support/process_job_win.h"

int main(int argc, char** argv) {
  EndChildrenWithThisProcess();
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
