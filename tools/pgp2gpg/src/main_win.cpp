// pgp2gpg on Windows. The words are read from the command line as the
// module wrote it: the program path may stand unquoted even with blanks in
// it, so it is cut off by our own file name before the rest is split.
#include <windows.h>

#include <exception>

#include "command_line.h"
#include "platform_win.h"

namespace {

std::string OwnFileName() {
  std::wstring path(32768, L'\0');
  const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
  path.resize(length);
  const size_t slash = path.find_last_of(L"\\/");
  return pgp2gpg::WideToUtf8(slash == std::wstring::npos ? path : path.substr(slash + 1));
}

}  // namespace

int main() {
  pgp2gpg::WinPlatform platform;
  try {
    const std::string line = pgp2gpg::WideToUtf8(GetCommandLineW());
    const std::vector<std::string> words =
        pgp2gpg::SplitArguments(pgp2gpg::SkipProgramName(line, OwnFileName()));
    return pgp2gpg::RunPgp2Gpg(words, platform);
  } catch (const std::exception& error) {
    platform.Say(std::string("pgp2gpg: ") + error.what());
    return 3;
  }
}
