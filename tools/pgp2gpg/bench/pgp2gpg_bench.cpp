// Times a decode and an encryption of a 1 MiB message through pgp2gpg
// against the same operation with gpg called directly, in one run, in a
// GnuPG home of its own. Runs alternate between the two so that a slow
// moment of the machine hits both; the median of each is compared.
// Target: pgp2gpg at most 10% slower.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "gpg_home.h"

using pgp2gpg::testing_support::GpgHome;
using pgp2gpg::testing_support::ProcessResult;
using pgp2gpg::testing_support::RunProcess;
using pgp2gpg::testing_support::WriteWholeFile;

namespace {

constexpr int kRounds = 7;
const std::string kBobPass = "bob pass";

std::string MessageText() {
  std::string text;
  unsigned state = 12345;
  while (text.size() < (1u << 20)) {
    std::string line;
    for (int i = 0; i < 72; ++i) {
      state = state * 1103515245u + 12345u;
      line += static_cast<char>(' ' + (state >> 16) % 95);
    }
    text += line + "\n";
  }
  text.resize(1u << 20);
  return text;
}

double Seconds(const GpgHome& home, const std::vector<std::string>& argv,
               const std::vector<std::string>& extra, const std::string& directory,
               const std::string& input) {
  const auto start = std::chrono::steady_clock::now();
  const ProcessResult result = RunProcess(argv, home.Environment(extra), directory, input);
  const auto end = std::chrono::steady_clock::now();
  if (result.exitCode != 0) {
    std::fprintf(stderr, "failed (%d): %s\n%s\n", result.exitCode, argv[0].c_str(), result.output.c_str());
    std::exit(1);
  }
  return std::chrono::duration<double>(end - start).count();
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

struct Pair {
  const char* name;
  std::vector<double> direct, wrapped;
};

void Report(const Pair& pair, bool& met) {
  const double direct = Median(pair.direct), wrapped = Median(pair.wrapped);
  const double ratio = wrapped / direct;
  met = met && ratio <= 1.10;
  std::printf("%-8s gpg %8.1f ms   pgp2gpg %8.1f ms   ratio %.3f\n", pair.name, direct * 1000,
              wrapped * 1000, ratio);
}

}  // namespace

int main() {
  GpgHome home;
  home.AddUser("Alice <alice@example.org>", "alice pass");
  home.AddUser("Bob <bob@example.org>", kBobPass);
  const std::string dir = home.dir();
  const std::string text = MessageText();
  const std::string plain = dir + "/plain";
  WriteWholeFile(plain, text);
  // Each encryption through pgp2gpg renews plain.asc, the message decoded
  // below; the decode writes plain again (the same text).

  Pair encrypt{"encrypt", {}, {}}, decode{"decode", {}, {}};
  for (int round = 0; round < kRounds; ++round) {
    encrypt.direct.push_back(Seconds(home,
                                     {"gpg", "--batch", "--yes", "--output", dir + "/direct.asc", "--armor",
                                      "--textmode", "--encrypt", "-r", "bob", "--", plain},
                                     {}, dir, ""));
    encrypt.wrapped.push_back(Seconds(home, {PGP2GPG_EXE, "-aet", plain, "bob"}, {}, dir, ""));
    decode.direct.push_back(Seconds(home,
                                    {"gpg", "--batch", "--pinentry-mode", "loopback", "--passphrase-fd",
                                     "0", "--yes", "--output", dir + "/direct.txt", "--decrypt", "--",
                                     dir + "/plain.asc"},
                                    {}, dir, kBobPass + "\n"));
    decode.wrapped.push_back(
        Seconds(home, {PGP2GPG_EXE, dir + "/plain.asc"}, {"PGPPASS=" + kBobPass}, dir, ""));
  }
  std::printf("1 MiB message, median of %d runs each\n", kRounds);
  bool met = true;
  Report(encrypt, met);
  Report(decode, met);
  std::printf("target (pgp2gpg at most 10%% slower): %s\n", met ? "met" : "NOT met");
  return 0;
}
