// A stand-in for gpg.exe: records its arguments as CommandLineToArgvW
// splits them, what arrived on standard input and whether PGPPASS was in
// its environment, then plays back the status lines, messages and exit code
// that the test put into its environment, and writes the --output file.
//   FAKEGPG_LOG     file the record is appended to (UTF-8 lines)
//   FAKEGPG_STATUS  status lines without "[GNUPG:] ", separated by '|'
//   FAKEGPG_STDERR  text for standard error
//   FAKEGPG_EXIT    exit code (decimal, default 0)
//   FAKEGPG_OUTPUT  what goes into the --output file (default "fake output")
#include <windows.h>
#include <shellapi.h>

#include <string>

namespace {

std::string Narrow(const std::wstring& text) {
  if (text.empty()) return {};
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr,
                                       0, nullptr, nullptr);
  std::string out(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size, nullptr,
                      nullptr);
  return out;
}

bool Variable(const wchar_t* name, std::wstring& value) {
  const DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
  if (size == 0) return false;
  value.assign(size, L'\0');
  value.resize(GetEnvironmentVariableW(name, value.data(), size));
  return true;
}

void WriteAll(HANDLE handle, const std::string& text) {
  DWORD written = 0;
  if (!text.empty()) WriteFile(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

std::string ReadStandardInput() {
  std::string input;
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(GetStdHandle(STD_INPUT_HANDLE), buffer, sizeof buffer, &got, nullptr) && got > 0) {
    input.append(buffer, got);
  }
  return input;
}

}  // namespace

int main() {
  int count = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &count);
  std::string record;
  std::wstring output;
  for (int i = 1; i < count; ++i) {
    record += "arg=" + Narrow(argv[i]) + "\n";
    if (std::wstring(argv[i]) == L"--output" && i + 1 < count) output = argv[i + 1];
  }
  std::wstring value;
  record += "stdin=" + ReadStandardInput() + "\n";
  record += std::string("pgppass=") + (Variable(L"PGPPASS", value) ? "yes" : "no") + "\nend\n";
  if (Variable(L"FAKEGPG_LOG", value)) {
    HANDLE log = CreateFileW(value.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    WriteAll(log, record);
    CloseHandle(log);
  }
  if (!output.empty()) {
    std::wstring content = L"fake output";
    Variable(L"FAKEGPG_OUTPUT", content);
    HANDLE file = CreateFileW(output.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    WriteAll(file, Narrow(content));
    CloseHandle(file);
  }
  if (Variable(L"FAKEGPG_STATUS", value)) {
    std::string status;
    for (const std::string& all = Narrow(value); const char c : all) {
      if (status.empty() || status.back() == '\n') status += "[GNUPG:] ";
      status += c == '|' ? '\n' : c;
    }
    WriteAll(GetStdHandle(STD_OUTPUT_HANDLE), status + "\n");
  }
  if (Variable(L"FAKEGPG_STDERR", value)) WriteAll(GetStdHandle(STD_ERROR_HANDLE), Narrow(value));
  LocalFree(argv);
  return Variable(L"FAKEGPG_EXIT", value) ? _wtoi(value.c_str()) : 0;
}
