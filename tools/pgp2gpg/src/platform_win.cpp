#include "platform_win.h"

#include <windows.h>

#include <cstdio>
#include <random>
#include <vector>
#include <thread>

#include "common/handles_win.h"
#include "command_line.h"
#include "gpg_locate.h"

namespace pgp2gpg {
namespace {

// A pipe whose child end is inheritable and whose own end is not, so that
// gpg holds no copy of our end and sees the end of its input.
struct Pipe {
  UniqueHandle read, write;
};

bool MakePipe(Pipe& pipe, bool childReads) {
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  HANDLE read = nullptr, write = nullptr;
  if (!CreatePipe(&read, &write, &inherit, 0)) return false;
  pipe.read.reset(read);
  pipe.write.reset(write);
  return SetHandleInformation(childReads ? write : read, HANDLE_FLAG_INHERIT, 0) != 0;
}

std::string SystemMessage(DWORD code) {
  wchar_t* text = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string message = length ? WideToUtf8(std::wstring_view(text, length)) : "";
  if (text != nullptr) LocalFree(text);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' ')) {
    message.pop_back();
  }
  return message.empty() ? "error " + std::to_string(code) : message;
}

std::optional<std::string> EnvironmentValue(const wchar_t* name) {
  const DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
  if (size == 0) return std::nullopt;
  std::wstring value(size, L'\0');
  const DWORD length = GetEnvironmentVariableW(name, value.data(), size);
  value.resize(length < size ? length : 0);
  return WideToUtf8(value);
}

bool WriteAll(HANDLE handle, const char* data, size_t size) {
  while (size > 0) {
    DWORD written = 0;
    const DWORD chunk = size > 65536 ? 65536 : static_cast<DWORD>(size);
    if (!WriteFile(handle, data, chunk, &written, nullptr) || written == 0) return false;
    data += written;
    size -= written;
  }
  return true;
}

// Reads the status pipe on this thread and gpg's messages on another, so
// that neither pipe can fill up and stall gpg while we wait on the other.
void Collect(UniqueHandle& status, UniqueHandle& messages, GpgRun& run) {
  std::string errorText;
  std::thread reader([&messages, &errorText] {
    char buffer[4096];
    DWORD got = 0;
    while (::ReadFile(messages.get(), buffer, sizeof buffer, &got, nullptr) && got > 0) {
      errorText.append(buffer, got);
      if (errorText.size() > kErrorTextLimit) errorText.erase(0, errorText.size() - kErrorTextLimit);
    }
  });
  char buffer[65536];
  DWORD got = 0;
  while (::ReadFile(status.get(), buffer, sizeof buffer, &got, nullptr) && got > 0) {
    const size_t room = run.status.size() < kStatusLimit ? kStatusLimit - run.status.size() : 0;
    if (got > room) run.statusComplete = false;
    run.status.append(buffer, got < room ? got : room);
  }
  reader.join();
  run.errorText = std::move(errorText);
}

// Security for the files that hold a decrypted text or a verdict: a DACL
// with one entry, full access for the user this program runs as, and none
// inherited from the folder (a shared temporary folder may let others read
// what is made in it). Points into itself, so it stays where it was made.
class OwnerOnly {
 public:
  OwnerOnly() { ok_ = Build(); }
  OwnerOnly(const OwnerOnly&) = delete;
  OwnerOnly& operator=(const OwnerOnly&) = delete;
  // nullptr when the descriptor could not be made: then no file is made.
  SECURITY_ATTRIBUTES* get() { return ok_ ? &attributes_ : nullptr; }

 private:
  bool Build() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
    const UniqueHandle tokenHolder(token);
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    if (size == 0) return false;
    user_.assign(size, 0);
    if (!GetTokenInformation(token, TokenUser, user_.data(), size, &size)) return false;
    const PSID sid = reinterpret_cast<TOKEN_USER*>(user_.data())->User.Sid;
    if (!IsValidSid(sid)) return false;
    acl_.assign(sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) + GetLengthSid(sid), 0);
    ACL* acl = reinterpret_cast<ACL*>(acl_.data());
    if (!InitializeAcl(acl, static_cast<DWORD>(acl_.size()), ACL_REVISION) ||
        !AddAccessAllowedAce(acl, ACL_REVISION, FILE_ALL_ACCESS, sid) ||
        !InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION) ||
        !SetSecurityDescriptorDacl(&descriptor_, TRUE, acl, FALSE) ||
        !SetSecurityDescriptorControl(&descriptor_, SE_DACL_PROTECTED, SE_DACL_PROTECTED)) {
      return false;
    }
    attributes_ = {sizeof attributes_, &descriptor_, FALSE};
    return true;
  }

  std::vector<unsigned char> user_;  // TOKEN_USER, which holds the SID
  std::vector<unsigned char> acl_;
  SECURITY_DESCRIPTOR descriptor_ = {};
  SECURITY_ATTRIBUTES attributes_ = {};
  bool ok_ = false;
};

}  // namespace

std::wstring Utf8ToWide(std::string_view text) {
  if (text.empty()) return {};
  const int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(size), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), size);
  return wide;
}

std::string WideToUtf8(std::wstring_view text) {
  if (text.empty()) return {};
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr,
                                       0, nullptr, nullptr);
  std::string narrow(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), narrow.data(), size,
                      nullptr, nullptr);
  return narrow;
}

void WinPlatform::Say(const std::string& line) {
  HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
  if (error == nullptr || error == INVALID_HANDLE_VALUE) return;
  DWORD mode = 0;
  if (GetConsoleMode(error, &mode)) {
    const std::wstring wide = Utf8ToWide(line + "\r\n");
    DWORD written = 0;
    WriteConsoleW(error, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
  } else {
    const std::string out = line + "\r\n";
    WriteAll(error, out.data(), out.size());
  }
}

bool WinPlatform::TakePassPhrase(SecretText& passPhrase) {
  const DWORD size = GetEnvironmentVariableW(L"PGPPASS", nullptr, 0);
  if (size == 0) return false;
  std::wstring value(size, L'\0');
  const DWORD length = GetEnvironmentVariableW(L"PGPPASS", value.data(), size);
  // The module sets it in the ANSI code page; gpg wants the UTF-8 that its
  // own pinentry would have given for the same characters.
  passPhrase.text() = WideToUtf8(std::wstring_view(value.data(), length < size ? length : 0));
  SecureZeroMemory(value.data(), value.size() * sizeof(wchar_t));
  SetEnvironmentVariableW(L"PGPPASS", nullptr);
  return !passPhrase.text().empty();
}

std::vector<std::string> WinPlatform::GpgCandidates() {
  return pgp2gpg::GpgCandidates(
      [](const char* name) { return EnvironmentValue(Utf8ToWide(name).c_str()); },
      PathStyle::Windows);
}

bool WinPlatform::IsProgramFile(const std::string& path) {
  const DWORD attributes = GetFileAttributesW(Utf8ToWide(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

GpgRun WinPlatform::RunGpg(const std::string& program, const std::vector<std::string>& arguments,
                           const SecretText* passPhrase) {
  GpgRun run;
  Pipe input, status, messages;
  UniqueHandle nullInput;
  if (passPhrase != nullptr) {
    if (!MakePipe(input, true)) run.startError = "pgp2gpg: cannot make a pipe for gpg";
  } else {
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    nullInput.reset(CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                OPEN_EXISTING, 0, nullptr));
  }
  if (!MakePipe(status, false) || !MakePipe(messages, false)) {
    run.startError = "pgp2gpg: cannot make a pipe for gpg";
  }
  if (!run.startError.empty()) return run;

  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = passPhrase != nullptr ? input.read.get() : nullInput ? nullInput.get() : nullptr;
  startup.hStdOutput = status.write.get();
  startup.hStdError = messages.write.get();
  std::wstring commandLine = Utf8ToWide(JoinCommandLine(program, arguments));
  PROCESS_INFORMATION process = {};
  // The application name is given in full, so Windows never searches the
  // current directory for a program called gpg.
  if (!CreateProcessW(Utf8ToWide(program).c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0,
                      nullptr, nullptr, &startup, &process)) {
    run.startError = "pgp2gpg: cannot run gpg (" + program + "): " + SystemMessage(GetLastError());
    return run;
  }
  run.started = true;
  UniqueHandle processHandle(process.hProcess);
  CloseHandle(process.hThread);
  input.read.reset();
  nullInput.reset();
  status.write.reset();
  messages.write.reset();
  if (passPhrase != nullptr) {
    WriteAll(input.write.get(), passPhrase->text().data(), passPhrase->text().size());
    WriteAll(input.write.get(), "\n", 1);
    input.write.reset();
  }
  Collect(status.read, messages.read, run);
  WaitForSingleObject(processHandle.get(), INFINITE);
  DWORD exitCode = 255;
  GetExitCodeProcess(processHandle.get(), &exitCode);
  run.exitCode = static_cast<int>(exitCode);
  return run;
}

bool WinPlatform::FileExists(const std::string& path) {
  return GetFileAttributesW(Utf8ToWide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool WinPlatform::ReadFile(const std::string& path,
                           const std::function<bool(std::string_view)>& sink) {
  UniqueHandle file(CreateFileW(Utf8ToWide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                          OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file) return false;
  char buffer[65536];
  for (;;) {
    DWORD got = 0;
    if (!::ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr)) return false;
    if (got == 0 || !sink(std::string_view(buffer, got))) return true;
  }
}

bool WinPlatform::CreateNewFile(const std::string& path) {
  OwnerOnly security;
  if (security.get() == nullptr) return false;
  UniqueHandle file(CreateFileW(Utf8ToWide(path).c_str(), GENERIC_WRITE, 0, security.get(),
                                CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
  return static_cast<bool>(file);
}

bool WinPlatform::MoveReplacing(const std::string& from, const std::string& to) {
  return MoveFileExW(Utf8ToWide(from).c_str(), Utf8ToWide(to).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

bool WinPlatform::WipeFile(const std::string& path) {
  const std::wstring wide = Utf8ToWide(path);
  {
    // A link is removed, never the file it points to overwritten; a file
    // that has other names too (a hard link) is someone else's as well, and
    // only this name goes.
    UniqueHandle file(CreateFileW(wide.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                            FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    BY_HANDLE_FILE_INFORMATION info;
    if (file && GetFileInformationByHandle(file.get(), &info) && info.nNumberOfLinks == 1 &&
        (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) == 0) {
      static const char zeros[65536] = {};
      unsigned long long left = (static_cast<unsigned long long>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
      while (left > 0) {
        const size_t chunk = left < sizeof zeros ? static_cast<size_t>(left) : sizeof zeros;
        if (!WriteAll(file.get(), zeros, chunk)) break;
        left -= chunk;
      }
      FlushFileBuffers(file.get());
    }
  }
  DeleteFileW(wide.c_str());
  return GetFileAttributesW(wide.c_str()) == INVALID_FILE_ATTRIBUTES;
}

std::string WinPlatform::VerdictPath() {
  return EnvironmentValue(L"QUILLNET_VERDICT").value_or("");
}

bool WinPlatform::WriteNewFile(const std::string& path, const std::string& text) {
  const std::wstring wide = Utf8ToWide(path);
  if (!DeleteFileW(wide.c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND) return false;
  OwnerOnly security;
  if (security.get() == nullptr) return false;
  UniqueHandle file(CreateFileW(wide.c_str(), GENERIC_WRITE, 0, security.get(), CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  return file && WriteAll(file.get(), text.data(), text.size());
}

std::string WinPlatform::RandomTag() {
  std::random_device device;
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%08x",
                static_cast<unsigned>(device() ^ (GetCurrentProcessId() << 16) ^ GetTickCount()));
  return buffer;
}

}  // namespace pgp2gpg
