// Reading a decoded PGP/MIME message of 16 MiB (a quoted-printable UTF-8
// text, a quarter of it, and three base64 attachments) against a memmove
// of the same bytes. The host converts nothing and saves nothing, so what
// is timed is the reading alone: boundaries, transfer decodings, the shown
// text and its checks. Goal: at most 3x memmove. Run once, it prints the
// ratio.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "command/mime_reading.h"

namespace {

constexpr size_t kEntitySize = 16u << 20;
const std::string kBoundary = "------------bench0123456789";

std::string QuotedPrintable(const std::string& text) {
  static const char* hex = "0123456789ABCDEF";
  std::string out;
  size_t column = 0;
  const auto put = [&](const std::string& piece) {
    if (column + piece.size() > 75) {
      out += "=\r\n";
      column = 0;
    }
    out += piece;
    column += piece.size();
  };
  for (char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '\n') {
      out += "\r\n";
      column = 0;
    } else if (u >= 0x80 || c == '=') {
      put({'=', hex[u >> 4], hex[u & 15]});
    } else {
      put(std::string(1, c));
    }
  }
  return out;
}

std::string Base64Lines(size_t bytes, uint32_t seed) {
  static const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  size_t column = 0;
  for (size_t i = 0; i < bytes; i += 3) {
    seed = seed * 1664525u + 1013904223u;
    for (int k = 0; k < 4; ++k) out += alphabet[(seed >> (6 * k + 2)) & 63];
    column += 4;
    if (column == 76) {
      out += "\r\n";
      column = 0;
    }
  }
  return out;
}

std::string Entity() {
  std::string text;
  const std::string line = "Gr\xC3\xBC\xC3\x9F" "e aus K\xC3\xB6ln: the quick brown fox jumps over the lazy dog.\n";
  while (text.size() < kEntitySize / 5) text += line;
  std::string entity = "Content-Type: multipart/mixed; boundary=\"" + kBoundary + "\"\r\n\r\n";
  entity += "--" + kBoundary + "\r\nContent-Type: text/plain; charset=UTF-8\r\n"
            "Content-Transfer-Encoding: quoted-printable\r\n\r\n" + QuotedPrintable(text) + "\r\n";
  for (int i = 0; i < 3; ++i) {
    const size_t left = kEntitySize > entity.size() + 4096 ? kEntitySize - entity.size() - 4096 : 0;
    entity += "--" + kBoundary + "\r\nContent-Type: application/pdf\r\n"
              "Content-Disposition: attachment; filename=\"report-" + std::to_string(i) + ".pdf\"\r\n"
              "Content-Transfer-Encoding: base64\r\n\r\n" + Base64Lines(left / (3 - i) * 3 / 4, 7u + i) + "\r\n";
  }
  entity += "--" + kBoundary + "--\r\n";
  return entity;
}

// A client whose character set is UTF-8 and a folder that takes anything:
// the host's own cost is the platform's, not the reading's.
class NullHost : public MimeHost {
 public:
  std::optional<std::string> ConvertCharset(std::string_view, std::string_view bytes, size_t&) override {
    return std::string(bytes);
  }
  std::optional<std::string> SaveAttachment(const std::string& safeName, std::string_view data,
                                            std::string&) override {
    benchmark::DoNotOptimize(data.data());
    saved += data.size();
    return "Attachment Converted: \"C:\\Mail\\attach\\" + safeName + "\"";
  }
  size_t saved = 0;
};

struct Fixture {
  std::string entity = Entity();
  std::vector<char> block = std::vector<char>(entity.size() + 64);
};

Fixture& Shared() {
  static Fixture fixture;
  return fixture;
}

void Move() {
  Fixture& f = Shared();
  std::memmove(f.block.data() + 16, f.entity.data(), f.entity.size());
  benchmark::DoNotOptimize(f.block.data());
  benchmark::ClobberMemory();
}

void Read() {
  NullHost host;
  std::optional<MimeReading> reading = ReadMimeEntity(Shared().entity, "Attachment Converted: ", host);
  benchmark::DoNotOptimize(reading);
  if (!reading || reading->attachmentsSaved != 3 || reading->incomplete) std::abort();
}

void BM_Memmove(benchmark::State& state) {
  for (auto _ : state) Move();
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * Shared().entity.size()));
}

void BM_MimeReading(benchmark::State& state) {
  for (auto _ : state) Read();
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * Shared().entity.size()));
}

BENCHMARK(BM_Memmove)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MimeReading)->Unit(benchmark::kMillisecond);

// Median processor time of repeated single runs; processor time keeps other
// load on the machine out of the ratio.
template <typename Body>
double MedianMilliseconds(Body body) {
  std::vector<double> times;
  for (int i = 0; i < 21; ++i) {
    const std::clock_t start = std::clock();
    body();
    times.push_back(1000.0 * static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC);
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

void PrintRatio() {
  const double move = MedianMilliseconds(Move);
  const double read = MedianMilliseconds(Read);
  std::printf("memmove %.3f ms, reading %.3f ms of %.1f MiB\n", move, read,
              static_cast<double>(Shared().entity.size()) / (1u << 20));
  std::printf("mime reading: %.2fx memmove (goal 3x)\n", read / move);
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  PrintRatio();
  return 0;
}
