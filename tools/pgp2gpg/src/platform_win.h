// The system side on Windows: gpg.exe found by path and started with
// CreateProcessW and three pipes, files through the wide-character API
// (names travel as UTF-8 inside the program).
#pragma once

#include <string>
#include <string_view>

#include "pgp2gpg.h"

namespace pgp2gpg {

std::wstring Utf8ToWide(std::string_view text);
std::string WideToUtf8(std::wstring_view text);

class WinPlatform final : public Platform {
 public:
  void Say(const std::string& line) override;
  bool TakePassPhrase(SecretText& passPhrase) override;
  std::vector<std::string> GpgCandidates() override;
  bool IsProgramFile(const std::string& path) override;
  GpgRun RunGpg(const std::string& program, const std::vector<std::string>& arguments,
                const SecretText* passPhrase) override;
  bool FileExists(const std::string& path) override;
  bool ReadFile(const std::string& path,
                const std::function<bool(std::string_view)>& sink) override;
  bool CreateNewFile(const std::string& path) override;
  bool MoveReplacing(const std::string& from, const std::string& to) override;
  bool WipeFile(const std::string& path) override;
  std::string VerdictPath() override;
  bool WriteNewFile(const std::string& path, const std::string& text) override;
  std::string RandomTag() override;
};

}  // namespace pgp2gpg
