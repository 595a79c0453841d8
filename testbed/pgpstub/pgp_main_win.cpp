// pgp.exe, the stand-in for the command-line PGP program: the process side.
// Everything PGP-like happens in the portable operations; this file gives
// them the real command line, files, environment and console, writes the
// call log, and applies the faults a test asked for through PGPSTUB_FAULT.
#include <windows.h>

#include <cstdio>
#include <new>
#include <string>

#include "common/handles_win.h"
#include "invocation.h"
#include "operations.h"

namespace {

using pgpstub::ReadStatus;

// Files larger than this are no input a mail message could produce; refusing
// them keeps the stand-in's memory bounded.
constexpr LONGLONG kLargestInput = 64LL * 1024 * 1024;

std::string EnvironmentValue(const char* name) {
  char small[256];
  const DWORD needed = GetEnvironmentVariableA(name, small, sizeof small);
  if (needed == 0) return {};
  if (needed < sizeof small) return std::string(small, needed);
  std::string value(needed, '\0');
  const DWORD got = GetEnvironmentVariableA(name, value.data(), needed);
  value.resize(got < needed ? got : 0);
  return value;
}

bool WriteAll(HANDLE file, std::string_view bytes) {
  while (!bytes.empty()) {
    DWORD written = 0;
    const DWORD chunk = static_cast<DWORD>(bytes.size() > 0x100000 ? 0x100000 : bytes.size());
    if (!WriteFile(file, bytes.data(), chunk, &written, nullptr) || written == 0) return false;
    bytes.remove_prefix(written);
  }
  return true;
}

std::string DirectoryOfProgram() {
  char path[MAX_PATH];
  const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string dir(path, length < MAX_PATH ? length : 0);
  const size_t slash = dir.find_last_of("\\/");
  return slash == std::string::npos ? std::string() : dir.substr(0, slash);
}

// PGP looks for its key rings in PGPPATH, and beside itself when unset.
std::string KeyringPath() {
  std::string dir = EnvironmentValue("PGPPATH");
  if (dir.empty()) dir = DirectoryOfProgram();
  if (!dir.empty() && dir.back() != '\\' && dir.back() != '/') dir += '\\';
  return dir + "keyring.txt";
}

class ProcessHost final : public pgpstub::Host {
 public:
  ReadStatus ReadWholeFile(const std::string& path, std::string& bytes) override {
    UniqueHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) {
      const DWORD error = GetLastError();
      return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? ReadStatus::NotFound
                                                                             : ReadStatus::Failed;
    }
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size) || size.QuadPart > kLargestInput) return ReadStatus::Failed;
    bytes.assign(static_cast<size_t>(size.QuadPart), '\0');
    size_t done = 0;
    while (done < bytes.size()) {
      DWORD got = 0;
      if (!ReadFile(file.get(), bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &got,
                    nullptr) ||
          got == 0)
        return ReadStatus::Failed;
      done += got;
    }
    return ReadStatus::Ok;
  }

  bool WriteWholeFile(const std::string& path, std::string_view bytes) override {
    UniqueHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    return file.valid() && WriteAll(file.get(), bytes);
  }

  bool AppendToFile(const std::string& path, std::string_view bytes) override {
    UniqueHandle file(CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    return file.valid() && WriteAll(file.get(), bytes);
  }

  bool WipeFile(const std::string& path) override {
    {
      UniqueHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
      if (!file.valid()) return false;
      LARGE_INTEGER size{};
      if (!GetFileSizeEx(file.get(), &size)) return false;
      const std::string zeros(4096, '\0');
      for (LONGLONG left = size.QuadPart; left > 0; left -= static_cast<LONGLONG>(zeros.size())) {
        const size_t chunk = left < 4096 ? static_cast<size_t>(left) : zeros.size();
        if (!WriteAll(file.get(), std::string_view(zeros.data(), chunk))) return false;
      }
      FlushFileBuffers(file.get());
    }
    return DeleteFileA(path.c_str()) != 0;
  }

  std::optional<std::string> PassPhrase() override {
    std::string phrase = EnvironmentValue("PGPPASS");
    if (!phrase.empty()) return phrase;
    return PromptOnConsole();
  }

  void Say(std::string_view line) override { Print(stdout, line); }
  void Complain(std::string_view line) override { Print(stderr, line); }

 private:
  static void Print(FILE* stream, std::string_view line) {
    std::fwrite(line.data(), 1, line.size(), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
  }

  // PGP asks in its console when the environment holds no pass phrase. Only
  // when standard input really is a console: with input redirected (a test,
  // a batch run) there is nobody to answer and the read would never end.
  static std::optional<std::string> PromptOnConsole() {
    DWORD mode = 0;
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    if (input == nullptr || input == INVALID_HANDLE_VALUE || !GetConsoleMode(input, &mode))
      return std::nullopt;
    UniqueHandle console(CreateFileA("CONIN$", GENERIC_READ | GENERIC_WRITE,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                   nullptr));
    if (!console.valid() || !GetConsoleMode(console.get(), &mode)) return std::nullopt;
    std::fputs("Enter pass phrase: ", stdout);
    std::fflush(stdout);
    SetConsoleMode(console.get(),
                   (mode | ENABLE_LINE_INPUT | ENABLE_PROCESSED_INPUT) & ~ENABLE_ECHO_INPUT);
    char buffer[256];
    DWORD got = 0;
    const BOOL read = ReadConsoleA(console.get(), buffer, sizeof buffer - 1, &got, nullptr);
    SetConsoleMode(console.get(), mode);
    std::fputc('\n', stdout);
    std::fflush(stdout);
    if (!read) return std::nullopt;
    std::string phrase(buffer, got);
    while (!phrase.empty() && (phrase.back() == '\n' || phrase.back() == '\r')) phrase.pop_back();
    if (phrase.empty()) return std::nullopt;
    return phrase;
  }
};

uint32_t RunGuarded(const pgpstub::Invocation& invocation, pgpstub::Host& host,
                    VerdictFile& verdict) {
  try {
    return pgpstub::RunInvocation(invocation, KeyringPath(), host, &verdict);
  } catch (const std::bad_alloc&) {
    host.Complain("Out of memory.");
    return pgpstub::kExitNoMemory;
  } catch (...) {
    host.Complain("Internal error.");
    return pgpstub::kExitBadFile;
  }
}

// The output-file faults act on the file the operation would have written,
// whatever became of the operation, so the caller sees success with a bad
// result: exactly the case it must catch.
void ApplyOutputFaults(const pgpstub::Faults& faults, const pgpstub::Invocation& invocation,
                       ProcessHost& host, uint32_t& code) {
  if (!faults.emptyOutput && !faults.noOutput) return;
  if (const auto output = pgpstub::OutputFileOf(invocation)) {
    if (faults.noOutput)
      DeleteFileA(output->c_str());
    else
      host.WriteWholeFile(*output, {});
  }
  code = pgpstub::kExitOk;
}

// The verdict file the module names in QUILLNET_VERDICT, for a decode, a
// check or a key addition. The module has made it, empty and under a new
// name, before it started PGP; the stand-in writes into that very file, so a
// name that is anything else (missing, a folder, a device, a link) makes the
// run fail rather than leave the module to read what someone put there.
bool WantsVerdict(const pgpstub::Invocation& invocation, const pgpstub::Faults& faults) {
  return !faults.noVerdict && invocation.error.empty() &&
         (invocation.operation == pgpstub::Operation::Decode ||
          invocation.operation == pgpstub::Operation::AddKey) &&
         !EnvironmentValue("QUILLNET_VERDICT").empty();
}

// Opened before the operation runs, so that a verdict that could not be
// written stops the run before it writes anything. Shared for reading and
// writing: the module that made the file may still hold it open.
UniqueHandle OpenVerdictFile(const std::string& path) {
  UniqueHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  BY_HANDLE_FILE_INFORMATION info{};
  if (!file.valid() || GetFileType(file.get()) != FILE_TYPE_DISK ||
      !GetFileInformationByHandle(file.get(), &info) ||
      (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0 ||
      info.nNumberOfLinks != 1)
    return UniqueHandle();
  return file;
}

// Replaces the file's contents. The time of a signature is
// PGPSTUB_SIGNED_AT's: the stand-in's records carry none.
bool WriteVerdict(HANDLE file, VerdictFile verdict) {
  if (verdict.signedMessage) verdict.signedAt = EnvironmentValue("PGPSTUB_SIGNED_AT");
  return SetFilePointer(file, 0, nullptr, FILE_BEGIN) != INVALID_SET_FILE_POINTER &&
         SetEndOfFile(file) && WriteAll(file, FormatVerdictFile(verdict));
}

// A decode, a check or a key addition whose verdict cannot reach the module
// ends with 3 and leaves no output behind.
uint32_t RunWithVerdict(const pgpstub::Invocation& invocation, ProcessHost& host) {
  const std::string path = EnvironmentValue("QUILLNET_VERDICT");
  UniqueHandle file = OpenVerdictFile(path);
  if (!file.valid()) {
    host.Complain("Cannot write the verdict file '" + path + "'.");
    return pgpstub::kExitFileError;
  }
  VerdictFile verdict;
  const uint32_t code = RunGuarded(invocation, host, verdict);
  if (WriteVerdict(file.get(), verdict)) return code;
  host.Complain("Cannot write the verdict file '" + path + "'.");
  if (const auto output = pgpstub::OutputFileOf(invocation); output && code == pgpstub::kExitOk)
    DeleteFileA(output->c_str());
  return pgpstub::kExitFileError;
}

void AppendLogLine(const char* rawCommandLine, bool passPhraseSet, const std::string& exitText) {
  const std::string logPath = EnvironmentValue("PGPSTUB_LOG");
  if (logPath.empty()) return;
  ProcessHost().AppendToFile(logPath,
                             pgpstub::FormatLogLine(rawCommandLine, passPhraseSet, exitText));
}

// A real access violation, as a crashing PGP would cause. No fault box: a
// box nobody answers would turn the crash into a hang.
[[noreturn]] void Crash() {
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
  volatile int* nowhere = nullptr;
  *nowhere = 1;
  ExitProcess(pgpstub::kExitBadFile);  // not reached
}

}  // namespace

int main() {
  const char* raw = GetCommandLineA();
  uint32_t code = pgpstub::kExitBadFile;
  pgpstub::Faults faults;
  bool passPhraseSet = false;
  try {
    passPhraseSet = !EnvironmentValue("PGPPASS").empty();
    faults = pgpstub::ParseFaults(EnvironmentValue("PGPSTUB_FAULT"));
    ProcessHost host;
    host.Say("Pretty Good Privacy(tm) 2.6.3i - stand-in for tests");
    if (!faults.error.empty()) {
      host.Complain(faults.error);
      code = pgpstub::kExitBadArguments;
    } else {
      const pgpstub::Invocation invocation = pgpstub::ParseInvocation(raw);
      if (WantsVerdict(invocation, faults)) {
        code = RunWithVerdict(invocation, host);
      } else {
        VerdictFile unused;
        code = RunGuarded(invocation, host, unused);
      }
      ApplyOutputFaults(faults, invocation, host, code);
      if (faults.exitCode) code = *faults.exitCode;
    }
    if (faults.sleepMs) Sleep(faults.sleepMs);
    AppendLogLine(raw, passPhraseSet, faults.crash ? "crash" : std::to_string(code));
  } catch (...) {
    code = pgpstub::kExitNoMemory;
  }
  std::fflush(nullptr);
  if (faults.crash) Crash();
  ExitProcess(code);
}
