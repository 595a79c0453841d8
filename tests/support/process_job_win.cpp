#include "tests/support/process_job_win.h"

#include <windows.h>

bool EndChildrenWithThisProcess() {
  // The handle stays open for the life of the process on purpose: closing
  // the last one ends every process in the job, this one included.
  static HANDLE job = nullptr;
  if (job != nullptr) return true;
  HANDLE created = CreateJobObjectA(nullptr, nullptr);
  if (created == nullptr) return false;
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
  // Breakaway stays allowed: a suite that keeps its own job for the
  // processes of one test (the end-to-end suite) can still make one.
  limits.BasicLimitInformation.LimitFlags =
      JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE | JOB_OBJECT_LIMIT_BREAKAWAY_OK;
  if (!SetInformationJobObject(created, JobObjectExtendedLimitInformation, &limits, sizeof limits) ||
      !AssignProcessToJobObject(created, GetCurrentProcess())) {
    CloseHandle(created);
    return false;
  }
  job = created;
  return true;
}
