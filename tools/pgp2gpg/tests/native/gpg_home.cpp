#include "gpg_home.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace pgp2gpg::testing_support {

std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteWholeFile(const std::string& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
}

bool PathExists(const std::string& path) {
  struct stat info;
  return lstat(path.c_str(), &info) == 0;
}

ProcessResult RunProcess(const std::vector<std::string>& argv,
                         const std::vector<std::string>& environment, const std::string& directory,
                         const std::string& input) {
  int output[2], stdinPipe[2];
  if (pipe(output) != 0 || pipe(stdinPipe) != 0) throw std::runtime_error("pipe");
  std::vector<char*> args, env;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  for (const std::string& e : environment) env.push_back(const_cast<char*>(e.c_str()));
  env.push_back(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(stdinPipe[0], 0);
    dup2(output[1], 1);
    dup2(output[1], 2);
    close(output[0]), close(output[1]), close(stdinPipe[0]), close(stdinPipe[1]);
    if (!directory.empty() && chdir(directory.c_str()) != 0) _exit(126);
    if (argv[0].find('/') == std::string::npos) {
      // Search PATH the way a shell would, with the child's own PATH.
      for (const std::string& e : environment) {
        if (e.rfind("PATH=", 0) == 0) setenv("PATH", e.c_str() + 5, 1);
      }
      execvpe(args[0], args.data(), env.data());
    } else {
      execve(args[0], args.data(), env.data());
    }
    _exit(127);
  }
  close(output[1]);
  close(stdinPipe[0]);
  if (!input.empty() && write(stdinPipe[1], input.data(), input.size()) < 0) {
  }
  close(stdinPipe[1]);
  ProcessResult result;
  char buffer[4096];
  ssize_t got;
  while ((got = read(output[0], buffer, sizeof buffer)) > 0) result.output.append(buffer, static_cast<size_t>(got));
  close(output[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return result;
}

namespace {

// Speaks just enough of the Assuan pinentry protocol for gpg-agent: the
// answer comes from a file so a test can change it, and every question is
// counted in a log.
const char* const kPinentryScript = R"SH(#!/bin/sh
here=$(dirname "$0")
echo "OK pinentry for tests"
while read -r command rest; do
  case "$command" in
    GETPIN) echo "asked" >> "$here/pinentry.log"
            printf 'D %s\n' "$(cat "$here/pinentry.answer")"; echo OK;;
    BYE) echo OK; exit 0;;
    *) echo OK;;
  esac
done
)SH";

}  // namespace

GpgHome::GpgHome() {
  char name[] = "/tmp/p2g-XXXXXX";
  if (mkdtemp(name) == nullptr) throw std::runtime_error("mkdtemp");
  dir_ = name;
  chmod(dir_.c_str(), 0700);
  WriteWholeFile(dir_ + "/pinentry.sh", kPinentryScript);
  chmod((dir_ + "/pinentry.sh").c_str(), 0700);
  WriteWholeFile(dir_ + "/pinentry.answer", "");
  WriteWholeFile(dir_ + "/gpg-agent.conf", "default-cache-ttl 0\nmax-cache-ttl 0\n"
                                           "allow-loopback-pinentry\npinentry-program " +
                                               dir_ + "/pinentry.sh\n");
}

GpgHome::~GpgHome() {
  RunProcess({"gpgconf", "--kill", "gpg-agent"}, Environment());
  std::error_code ignored;
  std::filesystem::remove_all(dir_, ignored);
}

std::vector<std::string> GpgHome::Environment(const std::vector<std::string>& extra) const {
  std::vector<std::string> environment = {"GNUPGHOME=" + dir_, "LC_ALL=C"};
  for (const char* name : {"PATH", "ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"}) {
    if (const char* value = std::getenv(name)) environment.push_back(std::string(name) + "=" + value);
  }
  environment.insert(environment.end(), extra.begin(), extra.end());
  return environment;
}

ProcessResult GpgHome::Gpg(const std::vector<std::string>& arguments, const std::string& input) const {
  std::vector<std::string> argv = {"gpg", "--batch"};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  return RunProcess(argv, Environment(), "", input);
}

std::string GpgHome::AddUser(const std::string& userId, const std::string& passPhrase) const {
  const std::vector<std::string> loopback = {"--pinentry-mode", "loopback", "--passphrase", passPhrase};
  std::vector<std::string> make = loopback;
  make.insert(make.end(), {"--quick-gen-key", userId, "ed25519", "sign", "never"});
  if (Gpg(make).exitCode != 0) throw std::runtime_error("key generation failed");
  const ProcessResult listing = Gpg({"--with-colons", "--list-keys", "=" + userId});
  const size_t fpr = listing.output.find("\nfpr:");
  if (fpr == std::string::npos) throw std::runtime_error("no fingerprint");
  const size_t start = listing.output.find_first_not_of(':', fpr + 5);
  const std::string fingerprint = listing.output.substr(start, listing.output.find(':', start) - start);
  std::vector<std::string> add = loopback;
  add.insert(add.end(), {"--quick-add-key", fingerprint, "cv25519", "encr", "never"});
  if (Gpg(add).exitCode != 0) throw std::runtime_error("subkey generation failed");
  return fingerprint;
}

void GpgHome::SetPinentryAnswer(const std::string& passPhrase) const {
  WriteWholeFile(dir_ + "/pinentry.answer", passPhrase);
}

int GpgHome::PinentryQuestions() const {
  const std::string log = ReadWholeFile(dir_ + "/pinentry.log");
  int count = 0;
  for (size_t at = log.find("asked"); at != std::string::npos; at = log.find("asked", at + 1)) ++count;
  return count;
}

}  // namespace pgp2gpg::testing_support
