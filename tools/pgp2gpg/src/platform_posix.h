// The system side on Linux and other POSIX systems: gpg started with
// posix_spawn and three pipes, files through plain system calls.
#pragma once

#include "pgp2gpg.h"

namespace pgp2gpg {

class PosixPlatform final : public Platform {
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
