// The hourglass while the client's thread is busy for the user (PGP running
// without a window of its own, a large text being put back): the client
// handles no messages then, so nothing else would show that it has not hung.
#pragma once

#include <windows.h>

class WaitCursor {
 public:
  WaitCursor() : previous_(SetCursor(LoadCursorA(nullptr, IDC_WAIT))) {}
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;
  ~WaitCursor() { SetCursor(previous_); }

 private:
  HCURSOR previous_;
};
