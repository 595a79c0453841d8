// One run of the product for one test: the folder, the job that holds every
// process, and the launcher with its client. Members end in reverse order:
// the processes first, then the environment and the folder.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/e2e/support/system.h"

namespace e2e {

// Settings that only make the start quicker: the launcher's pause after the
// client became idle is not what these tests look at.
inline std::string QuickStartSettings(const std::string& more = "") {
  return "[Settings]\r\nWaitEudoraInit=0\r\n" + more;
}

struct Session {
  explicit Session(WorkspaceOptions options = QuickOptions())
      : workspace(options), quillnet(workspace, group) {}

  static WorkspaceOptions QuickOptions() {
    WorkspaceOptions options;
    options.settings = QuickStartSettings();
    return options;
  }

  Workspace workspace;
  ProcessGroup group;
  Quillnet quillnet;
};

// No client of an earlier test may be left: windows are found by class.
inline void ExpectNoClientRunning() {
  uidrive::WindowQuery query;
  query.className = uidrive::TextMatch::Exact("EudoraMainWindow");
  ASSERT_TRUE(WaitUntil([&] { return uidrive::FindWindows(query).empty(); }, 10000))
      << "a mail client of an earlier test still runs";
}

inline std::vector<HWND> ClientWindows() {
  uidrive::WindowQuery query;
  query.className = uidrive::TextMatch::Exact("EudoraMainWindow");
  return uidrive::FindWindows(query);
}

}  // namespace e2e
