// The program: a PGP 2.x command line carried out by gpg. Everything that
// touches the system (processes, files, the environment, the console) goes
// through Platform, so the same steps run on Windows and on Linux and can be
// tried against a platform of the tests' own. Pure: no platform header.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace pgp2gpg {

// A pass phrase that is overwritten when it is no longer needed.
class SecretText {
 public:
  SecretText() = default;
  SecretText(const SecretText&) = delete;
  SecretText& operator=(const SecretText&) = delete;
  ~SecretText() { Clear(); }
  void Clear();
  std::string& text() { return text_; }
  const std::string& text() const { return text_; }

 private:
  std::string text_;
};

struct GpgRun {
  bool started = false;
  std::string startError;  // why gpg could not be started (for the console)
  int exitCode = 0;
  std::string status;           // what gpg wrote to --status-fd
  bool statusComplete = true;   // false: status was cut at its bound
  std::string errorText;        // the tail of gpg's own messages (stderr)
};

constexpr size_t kStatusLimit = 4 << 20;     // far more than any real run writes
constexpr size_t kErrorTextLimit = 16 << 10;  // the tail is what explains a failure
constexpr size_t kKeyFileLimit = 16 << 20;

class Platform {
 public:
  virtual ~Platform() = default;
  // One console line (already made safe to show).
  virtual void Say(const std::string& line) = 0;
  // Reads "PGPPASS" and removes it from this process's environment, so that
  // no child inherits it; false when it is unset or empty.
  virtual bool TakePassPhrase(SecretText& passPhrase) = 0;
  virtual std::vector<std::string> GpgCandidates() = 0;
  virtual bool IsProgramFile(const std::string& path) = 0;
  // Starts gpg, feeds `passPhrase` (when given) and a line end to its
  // standard input, collects standard output as status (a key listing
  // comes back there too) and standard error, and waits for it.
  virtual GpgRun RunGpg(const std::string& program, const std::vector<std::string>& arguments,
                        const SecretText* passPhrase) = 0;
  virtual bool FileExists(const std::string& path) = 0;
  // Hands the file to `sink` chunk by chunk until the end or until the sink
  // returns false; false when the file cannot be read.
  virtual bool ReadFile(const std::string& path,
                        const std::function<bool(std::string_view)>& sink) = 0;
  // Makes a new empty file that only this user can read; false when the name
  // is taken or the file cannot be made.
  virtual bool CreateNewFile(const std::string& path) = 0;
  // Moves `from` to `to`, replacing what is there.
  virtual bool MoveReplacing(const std::string& from, const std::string& to) = 0;
  // Overwrites the file with zeros, then deletes it; a link, or a file that
  // has other names too, is only removed. True when no file of that name is
  // left (also when there was none).
  virtual bool WipeFile(const std::string& path) = 0;
  // A few random characters that may stand in a file name.
  virtual std::string RandomTag() = 0;
  // The verdict file the module named in QUILLNET_VERDICT; "" when none.
  virtual std::string VerdictPath() = 0;
  // Writes `text` as a new file at `path` that only this user can read;
  // whatever had that name (a file, a link) is removed first, never written
  // through. False when the name cannot be freed or the file not written.
  virtual bool WriteNewFile(const std::string& path, const std::string& text) = 0;
};

// The words after the program name; returns PGP 2's exit code.
int RunPgp2Gpg(const std::vector<std::string>& words, Platform& platform);

}  // namespace pgp2gpg
