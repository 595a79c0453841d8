// ScanArmor against glibc's memmem for the begin prefix over the same text:
// the scan must stay within 1.5 times memmem on large window texts, with no
// armour at all (one full pass) and with an encrypted block at the very end.
// The text looks like mail: quoted lines, hyphens, "-- " signatures and
// "-----Original Message-----" separators, which give a dash-led search
// plenty of false starts.
#include <benchmark/benchmark.h>

#include <cstring>
#include <map>
#include <random>
#include <string>
#include <utility>

#include "core/armor_scanner.h"

namespace {

constexpr char kArmourAtEnd[] =
    "-----BEGIN PGP MESSAGE-----\nVersion: 2.6.3i\n\n"
    "hQEMA1x2y3z4AQf/Zm9vYmFyYmF6cXV4cXV1eHF1dXhxdXV4cXV1eHF1dXhxdXV4\n"
    "=AbCd\n-----END PGP MESSAGE-----\n";

std::string MailText(size_t size, bool armourAtEnd) {
  static const char* const kWords[] = {
      "the",  "message", "e-mail", "re:",   "thanks", "PGP",   "key",   "meeting",
      "of",   "well-known", "and", "Bob",   "-- ",    "please", "to",   "x-ray"};
  std::mt19937 random(42);
  std::string text;
  text.reserve(size);
  const size_t body = armourAtEnd ? size - (sizeof(kArmourAtEnd) - 1) : size;
  size_t column = 0;
  while (text.size() < body) {
    if (column == 0) {
      const unsigned roll = random() % 40;
      if (roll == 0) text += "-----Original Message-----\n";
      if (roll < 8) text += "> ";
    }
    text += kWords[random() % std::size(kWords)];
    text += ' ';
    column += 8;
    if (column > 64) {
      text += '\n';
      column = 0;
    }
  }
  text.resize(body);
  if (armourAtEnd) text += kArmourAtEnd;
  return text;
}

const std::string& CachedText(size_t size, bool armourAtEnd) {
  static std::map<std::pair<size_t, bool>, std::string> texts;
  auto [it, added] = texts.try_emplace({size, armourAtEnd});
  if (added) it->second = MailText(size, armourAtEnd);
  return it->second;
}

void BM_ScanArmor(benchmark::State& state) {
  const std::string& text = CachedText(state.range(0), state.range(1) != 0);
  for (auto _ : state) {
    ArmorBlock block;
    benchmark::DoNotOptimize(ScanArmor(text.data(), text.size(), MessageWindow, block));
    benchmark::DoNotOptimize(block);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
}

void BM_Memmem(benchmark::State& state) {
  const std::string& text = CachedText(state.range(0), state.range(1) != 0);
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        memmem(text.data(), text.size(), kBeginPrefix, sizeof(kBeginPrefix) - 1));
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
}

// The form the driver would use without knowing the length: strlen first.
void BM_ScanArmorNulTerminated(benchmark::State& state) {
  const std::string& text = CachedText(state.range(0), state.range(1) != 0);
  for (auto _ : state) {
    ArmorBlock block;
    benchmark::DoNotOptimize(ScanArmor(text.c_str(), MessageWindow, block));
    benchmark::DoNotOptimize(block);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
}

void Sizes(benchmark::internal::Benchmark* bench) {
  bench->ArgNames({"bytes", "armourAtEnd"});
  for (int64_t size : {int64_t(1) << 20, int64_t(64) << 20}) {
    for (int64_t armour : {0, 1}) bench->Args({size, armour});
  }
}

BENCHMARK(BM_Memmem)->Apply(Sizes);
BENCHMARK(BM_ScanArmor)->Apply(Sizes);
BENCHMARK(BM_ScanArmorNulTerminated)->Apply(Sizes);

}  // namespace

BENCHMARK_MAIN();
