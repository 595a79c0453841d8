#include "platform_posix.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <optional>
#include <random>

#include "gpg_locate.h"

extern char** environ;

namespace pgp2gpg {
namespace {

// A file descriptor with one owner.
class Fd {
 public:
  Fd() = default;
  explicit Fd(int fd) : fd_(fd) {}
  Fd(Fd&& other) noexcept : fd_(other.release()) {}
  Fd& operator=(Fd&& other) noexcept {
    reset(other.release());
    return *this;
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  ~Fd() { reset(); }
  int get() const { return fd_; }
  int release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }
  void reset(int fd = -1) {
    if (fd_ >= 0) close(fd_);
    fd_ = fd;
  }

 private:
  int fd_ = -1;
};

struct Pipe {
  Fd read, write;
};

bool MakePipe(Pipe& pipe) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return false;
  pipe.read.reset(fds[0]);
  pipe.write.reset(fds[1]);
  return true;
}

// posix_spawn's file actions with one owner.
class SpawnActions {
 public:
  SpawnActions() { posix_spawn_file_actions_init(&actions_); }
  ~SpawnActions() { posix_spawn_file_actions_destroy(&actions_); }
  SpawnActions(const SpawnActions&) = delete;
  SpawnActions& operator=(const SpawnActions&) = delete;
  posix_spawn_file_actions_t* get() { return &actions_; }

 private:
  posix_spawn_file_actions_t actions_;
};

bool WriteAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    const ssize_t written = write(fd, data, size);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    data += written;
    size -= static_cast<size_t>(written);
  }
  return true;
}

// Keeps the first `limit` bytes; the rest only marks the text as cut.
void AppendBounded(std::string& text, const char* data, size_t size, size_t limit, bool& complete) {
  const size_t room = text.size() < limit ? limit - text.size() : 0;
  if (size > room) complete = false;
  text.append(data, size < room ? size : room);
}

// Keeps the last `limit` bytes.
void AppendTail(std::string& text, const char* data, size_t size, size_t limit) {
  text.append(data, size);
  if (text.size() > limit) text.erase(0, text.size() - limit);
}

// Reads gpg's status and messages together, so that neither pipe can fill
// up and stall gpg while we wait on the other.
void Collect(Fd& status, Fd& messages, GpgRun& run) {
  char buffer[65536];
  while (status.get() >= 0 || messages.get() >= 0) {
    pollfd fds[2] = {{status.get(), POLLIN, 0}, {messages.get(), POLLIN, 0}};
    if (poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      const ssize_t got = read(fds[i].fd, buffer, sizeof buffer);
      if (got < 0 && errno == EINTR) continue;
      Fd& fd = i == 0 ? status : messages;
      if (got <= 0) {
        fd.reset();
      } else if (i == 0) {
        AppendBounded(run.status, buffer, static_cast<size_t>(got), kStatusLimit, run.statusComplete);
      } else {
        AppendTail(run.errorText, buffer, static_cast<size_t>(got), kErrorTextLimit);
      }
    }
  }
}

int ExitCodeOf(int waitStatus) {
  if (WIFEXITED(waitStatus)) return WEXITSTATUS(waitStatus);
  if (WIFSIGNALED(waitStatus)) return 128 + WTERMSIG(waitStatus);
  return 255;
}

}  // namespace

void PosixPlatform::Say(const std::string& line) {
  const std::string out = line + "\n";
  WriteAll(STDERR_FILENO, out.data(), out.size());
}

bool PosixPlatform::TakePassPhrase(SecretText& passPhrase) {
  char* value = std::getenv("PGPPASS");
  if (value == nullptr) return false;
  passPhrase.text() = value;
  // Overwrite the environment's copy before dropping it: the memory stays
  // in this process and would otherwise keep the pass phrase.
  volatile char* bytes = value;
  for (size_t i = 0; bytes[i] != '\0'; ++i) bytes[i] = 'x';
  unsetenv("PGPPASS");
  if (passPhrase.text().empty()) return false;
  return true;
}

std::vector<std::string> PosixPlatform::GpgCandidates() {
  return pgp2gpg::GpgCandidates(
      [](const char* name) -> std::optional<std::string> {
        const char* value = std::getenv(name);
        if (value == nullptr) return std::nullopt;
        return std::string(value);
      },
      PathStyle::Posix);
}

bool PosixPlatform::IsProgramFile(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && access(path.c_str(), X_OK) == 0;
}

GpgRun PosixPlatform::RunGpg(const std::string& program, const std::vector<std::string>& arguments,
                             const SecretText* passPhrase) {
  GpgRun run;
  Pipe input, status, messages;
  if ((passPhrase != nullptr && !MakePipe(input)) || !MakePipe(status) || !MakePipe(messages)) {
    run.startError = "pgp2gpg: cannot make pipes for gpg: " + std::string(std::strerror(errno));
    return run;
  }
  SpawnActions actions;
  if (passPhrase != nullptr) {
    posix_spawn_file_actions_adddup2(actions.get(), input.read.get(), STDIN_FILENO);
  } else {
    posix_spawn_file_actions_addopen(actions.get(), STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  }
  posix_spawn_file_actions_adddup2(actions.get(), status.write.get(), STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(actions.get(), messages.write.get(), STDERR_FILENO);

  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);

  pid_t pid = 0;
  const int spawnError = posix_spawn(&pid, program.c_str(), actions.get(), nullptr, argv.data(), environ);
  if (spawnError != 0) {
    run.startError = "pgp2gpg: cannot run gpg (" + program + "): " + std::strerror(spawnError);
    return run;
  }
  run.started = true;
  input.read.reset();
  status.write.reset();
  messages.write.reset();
  if (passPhrase != nullptr) {
    // Short enough for the pipe's buffer; a gpg that never reads it does not
    // block us, and one that has gone gives EPIPE (SIGPIPE is ignored).
    WriteAll(input.write.get(), passPhrase->text().data(), passPhrase->text().size());
    WriteAll(input.write.get(), "\n", 1);
    input.write.reset();
  }
  Collect(status.read, messages.read, run);
  int waitStatus = 0;
  while (waitpid(pid, &waitStatus, 0) < 0 && errno == EINTR) {
  }
  run.exitCode = ExitCodeOf(waitStatus);
  return run;
}

bool PosixPlatform::FileExists(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0;
}

bool PosixPlatform::ReadFile(const std::string& path,
                             const std::function<bool(std::string_view)>& sink) {
  Fd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) return false;
  char buffer[65536];
  for (;;) {
    const ssize_t got = read(fd.get(), buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return false;
    if (got == 0 || !sink(std::string_view(buffer, static_cast<size_t>(got)))) return true;
  }
}

bool PosixPlatform::CreateNewFile(const std::string& path) {
  Fd fd(open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600));
  return fd.get() >= 0;
}

bool PosixPlatform::MoveReplacing(const std::string& from, const std::string& to) {
  return rename(from.c_str(), to.c_str()) == 0;
}

bool PosixPlatform::WipeFile(const std::string& path) {
  // O_NOFOLLOW: a symbolic link is removed, never the file it points to
  // overwritten. A file with a second name (a hard link) is someone else's
  // too: that name is only removed.
  Fd fd(open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW));
  struct stat info;
  if (fd.get() >= 0 && fstat(fd.get(), &info) == 0 && S_ISREG(info.st_mode) &&
      info.st_nlink == 1) {
    static const char zeros[65536] = {};
    off_t left = info.st_size;
    while (left > 0) {
      const size_t chunk = left < static_cast<off_t>(sizeof zeros) ? static_cast<size_t>(left) : sizeof zeros;
      if (!WriteAll(fd.get(), zeros, chunk)) break;
      left -= static_cast<off_t>(chunk);
    }
    fsync(fd.get());
  }
  fd.reset();
  if (unlink(path.c_str()) != 0 && errno != ENOENT) return false;
  struct stat after;
  return lstat(path.c_str(), &after) != 0;
}

std::string PosixPlatform::VerdictPath() {
  const char* value = std::getenv("QUILLNET_VERDICT");
  return value != nullptr ? value : "";
}

bool PosixPlatform::WriteNewFile(const std::string& path, const std::string& text) {
  if (unlink(path.c_str()) != 0 && errno != ENOENT) return false;
  Fd fd(open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600));
  return fd.get() >= 0 && WriteAll(fd.get(), text.data(), text.size());
}

std::string PosixPlatform::RandomTag() {
  std::random_device device;
  const unsigned value = device();
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%08x", value);
  return buffer;
}

}  // namespace pgp2gpg
