// The handle holders: one released on the way out of a failed call must
// leave that call's error for the caller to read, even when its own release
// fails and sets an error of its own.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>

#include "common/handles_win.h"

namespace {

TEST(UniqueResource, ReleasingKeepsTheCallersLastError) {
  UniqueHandle live(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  ASSERT_TRUE(live);
  // Not a handle of this process: closing it fails with an error of its own.
  UniqueHandle stale(reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0xBAD0)));
  SetLastError(ERROR_FILE_NOT_FOUND);
  live.reset();
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  SetLastError(ERROR_PATH_NOT_FOUND);
  stale.reset();
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
}

}  // namespace
