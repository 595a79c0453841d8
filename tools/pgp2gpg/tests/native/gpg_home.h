// A throwaway GnuPG home for tests and the benchmark: a short path under
// /tmp (gpg-agent's socket path must stay short), an agent that keeps no
// pass phrase between runs (so a wrong one is always noticed) and asks
// through a scripted pinentry, keys made on the spot with fast curves. The
// agent is stopped and the folder removed at the end.
#pragma once

#include <string>
#include <vector>

namespace pgp2gpg::testing_support {

struct ProcessResult {
  int exitCode = -1;
  std::string output;  // standard output and error together
};

// Runs argv[0] (found on PATH when it has no slash) with exactly the given
// environment ("NAME=value" entries), in `directory` when not empty, with
// `input` on standard input.
ProcessResult RunProcess(const std::vector<std::string>& argv,
                         const std::vector<std::string>& environment,
                         const std::string& directory = "", const std::string& input = "");

class GpgHome {
 public:
  GpgHome();
  ~GpgHome();
  GpgHome(const GpgHome&) = delete;
  GpgHome& operator=(const GpgHome&) = delete;

  const std::string& dir() const { return dir_; }
  // PATH, the sanitizer options and GNUPGHOME, plus `extra`.
  std::vector<std::string> Environment(const std::vector<std::string>& extra = {}) const;
  ProcessResult Gpg(const std::vector<std::string>& arguments, const std::string& input = "") const;
  // A signing primary key (ed25519) with an encryption subkey (cv25519);
  // returns the primary key's fingerprint.
  std::string AddUser(const std::string& userId, const std::string& passPhrase) const;
  // What the scripted pinentry answers, and how often it was asked.
  void SetPinentryAnswer(const std::string& passPhrase) const;
  int PinentryQuestions() const;

 private:
  std::string dir_;
};

std::string ReadWholeFile(const std::string& path);
void WriteWholeFile(const std::string& path, const std::string& content);
bool PathExists(const std::string& path);

}  // namespace pgp2gpg::testing_support
