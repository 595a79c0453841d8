// Starting and ending the programs a test or the demo drives.
#include "testbed/uidrive/uidrive.h"

#include <thread>

namespace uidrive {
namespace {

std::string LastError() { return std::to_string(GetLastError()); }

// Reads a pipe to its end on a thread of its own, so that a child filling
// one pipe never blocks on it while we read the other.
class PipeReader {
 public:
  explicit PipeReader(HANDLE pipe) : pipe_(pipe), thread_([this] { Read(); }) {}
  ~PipeReader() {
    if (thread_.joinable()) thread_.join();
  }
  PipeReader(const PipeReader&) = delete;
  PipeReader& operator=(const PipeReader&) = delete;
  std::string Take() {
    thread_.join();
    return std::move(text_);
  }

 private:
  void Read() {
    char buffer[4096];
    DWORD n = 0;
    while (ReadFile(pipe_.get(), buffer, sizeof buffer, &n, nullptr) && n > 0) text_.append(buffer, n);
  }
  UniqueHandle pipe_;
  std::string text_;
  std::thread thread_;
};

}  // namespace

Process Process::Start(const std::string& commandLine, const std::string& directory) {
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  std::string line = commandLine;  // CreateProcessA may write into it
  if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      directory.empty() ? nullptr : directory.c_str(), &startup, &info))
    throw Failure("cannot start " + commandLine + " (error " + LastError() + ")");
  CloseHandle(info.hThread);
  Process p;
  p.process_.reset(info.hProcess);
  p.id_ = info.dwProcessId;
  return p;
}

Process::~Process() { Terminate(); }

bool Process::WaitForIdle(DWORD timeoutMs) const {
  return process_ && WaitForInputIdle(process_.get(), timeoutMs) == 0;
}

std::optional<DWORD> Process::WaitForExit(DWORD timeoutMs) const {
  DWORD code = 0;
  if (!process_ || WaitForSingleObject(process_.get(), timeoutMs) != WAIT_OBJECT_0 ||
      !GetExitCodeProcess(process_.get(), &code))
    return std::nullopt;
  return code;
}

void Process::Terminate() {
  if (!process_) return;
  if (WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT) {
    TerminateProcess(process_.get(), 1);
    WaitForSingleObject(process_.get(), 5000);
  }
  process_.reset();
}

RunResult RunCaptured(const std::string& commandLine, DWORD timeoutMs) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE pipe[4] = {};
  if (!CreatePipe(&pipe[0], &pipe[1], &inherit, 0)) throw Failure("cannot create a pipe");
  UniqueHandle outRead(pipe[0]), outWrite(pipe[1]);
  if (!CreatePipe(&pipe[2], &pipe[3], &inherit, 0)) throw Failure("cannot create a pipe");
  UniqueHandle errRead(pipe[2]), errWrite(pipe[3]);
  SetHandleInformation(outRead.get(), HANDLE_FLAG_INHERIT, 0);
  SetHandleInformation(errRead.get(), HANDLE_FLAG_INHERIT, 0);

  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = outWrite.get();
  startup.hStdError = errWrite.get();
  PROCESS_INFORMATION info{};
  std::string line = commandLine;
  if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                      nullptr, &startup, &info))
    throw Failure("cannot start " + commandLine + " (error " + LastError() + ")");
  CloseHandle(info.hThread);
  UniqueHandle process(info.hProcess);
  // Only the child holds the write ends now: the readers see the end of its
  // output when it ends.
  outWrite.reset();
  errWrite.reset();
  PipeReader out(outRead.release());
  PipeReader err(errRead.release());
  RunResult result;
  if (WaitForSingleObject(process.get(), timeoutMs) != WAIT_OBJECT_0) {
    TerminateProcess(process.get(), 1);
    WaitForSingleObject(process.get(), 5000);
    throw Failure(commandLine + " did not end within " + std::to_string(timeoutMs) + " ms");
  }
  GetExitCodeProcess(process.get(), &result.exitCode);
  result.out = out.Take();
  result.err = err.Take();
  return result;
}

std::string ExecutableDirectory() {
  char path[MAX_PATH];
  DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
  std::string text(path, n < sizeof path ? n : 0);
  return text.substr(0, text.find_last_of("\\/") + 1);
}

}  // namespace uidrive
