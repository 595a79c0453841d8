// pgp2gpg on Linux: the words come as argv.
#include <csignal>

#include "platform_posix.h"

int main(int argc, char** argv) {
  // A gpg that ends before reading its pass phrase must not end us with it.
  std::signal(SIGPIPE, SIG_IGN);
  std::vector<std::string> words(argv + (argc > 0 ? 1 : 0), argv + argc);
  pgp2gpg::PosixPlatform platform;
  try {
    return pgp2gpg::RunPgp2Gpg(words, platform);
  } catch (const std::exception& error) {
    platform.Say(std::string("pgp2gpg: ") + error.what());
    return 3;
  }
}
