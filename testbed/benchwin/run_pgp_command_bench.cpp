// What one decode command costs the module itself, for messages of 64 KiB to
// 16 MiB with the armoured block in the middle. The command's steps are made
// with the module's own calls, in its order, each on the clock by itself:
// capture of the window text, the scan, writing PGP's input, reading PGP's
// output (with the key check), the splice, setting the window text, and the
// wipe of both files. PGP's own run is left out: its output file is written
// between the steps, off the clock. Setting the text is the edit control's
// work and the wipe runs after the command's result is in place, so both are
// shown beside the module's figure rather than in it. The same run times
// four plain copies of the message's bytes, once between warm buffers and
// once each into a new movable block, which is what every text the module
// hands on has to be.
//
// Goals: 16 MiB at most 4.5 times the 4 MiB figure (linear growth), and the
// 4 MiB figure under 5 times the four copies.
//
// Run: wine run_pgp_command_bench.exe [repetitions]
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "command/result_delivery_win.h"
#include "command/text_capture_win.h"
#include "core/armor_scanner.h"
#include "core/armor_scanner_win.h"
#include "core/module_win.h"
#include "runner/temp_files_win.h"
#include "settings/settings_file_win.h"
#include "tests/win/support/fake_client.h"
#include "tests/win/support/test_state.h"

namespace {

double Now() {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER t;
  QueryPerformanceCounter(&t);
  return static_cast<double>(t.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

// Mail-like lines: the head and tail of the message and PGP's output.
std::string PlainLines(size_t size, const char* line) {
  std::string text;
  text.reserve(size);
  while (text.size() < size) text.append(line).append("\r\n");
  text.resize(size);
  return text;
}

// An armoured block of about `size` characters: 64-character lines.
std::string ArmouredBlock(size_t size) {
  std::string block = "-----BEGIN PGP MESSAGE-----\r\nVersion: 2.6.3i\r\n\r\n";
  static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  unsigned seed = 12345;
  while (block.size() + 66 < size) {
    for (int i = 0; i < 64; ++i) {
      seed = seed * 1103515245u + 12345u;
      block += kAlphabet[(seed >> 16) & 63];
    }
    block += "\r\n";
  }
  return block + "=abcd\r\n-----END PGP MESSAGE-----";
}

bool WriteBytes(const char* path, const std::string& bytes) {
  HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const bool ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                  written == bytes.size();
  CloseHandle(file);
  return ok;
}

struct Phases {
  double capture = 0;  // CaptureMessageText: the block, GetWindowTextA into it
  double scan = 0;     // ScanArmor over the captured text
  double write = 0;    // WriteTextFile of the block (PGP's input)
  double read = 0;     // ReadTextFile of PGP's output and the key check
  double splice = 0;   // SpliceResult: one enlargement, the rebuild in place
  double setText = 0;  // ReplaceSourceText: SetWindowTextA, the edit control's work
  double wipe = 0;     // WipeFile of both names
  double copies = 0;   // four plain copies of the message's bytes, warm buffers
  double freshCopies = 0;  // the same, each into a new movable block
  double Module() const { return capture + scan + write + read + splice; }
};

// The message: a quarter of plain text, half an armoured block, a quarter of
// plain text. PGP's output is three quarters of the block, as decoding
// base64 gives.
struct Sample {
  std::string message;
  std::string output;
  std::string expected;
};

Sample MakeSample(size_t size) {
  Sample s;
  const std::string head = PlainLines(size / 4, "Plain words before the block, as a reply has them.");
  const std::string block = ArmouredBlock(size / 2);
  const std::string tail = PlainLines(size - head.size() - block.size(), "Words after the block.");
  s.message = head + block + tail;
  s.output = PlainLines(block.size() * 3 / 4, "The decoded text of the message, line by line.");
  s.expected = head + s.output + tail;
  return s;
}

volatile char copySink;

// One decode command, step by step as the driver and the delivery make it
// (the calls are the module's own), each step on the clock by itself.
bool OneCommand(fake_client::FakeClient& client, const Sample& sample, Phases& p) {
  HWND window = client.message;
  SetWindowTextA(window, sample.message.c_str());
  FreeCapturedText(extension);
  extension.sourceWindow = nullptr;
  runState.function = NoFunction;

  double t0 = Now();
  if (CaptureMessageText(extension, runState, window)) return false;
  double t1 = Now();
  ArmorBlock block;
  const char* text = CapturedText(extension);
  runState.function = FunctionFromArmor(
      ScanArmor(text, static_cast<size_t>(extension.textLength), runState.windowKind, block));
  double t2 = Now();
  runState.scanOffset = 0;
  runState.blockStart = block.blockStart;
  runState.blockEnd = block.blockEnd;
  runState.quoted = block.quoted;
  if (runState.function != Decode) return false;
  if (!WriteTextFile(text + block.blockStart, static_cast<DWORD>(block.blockEnd - block.blockStart),
                     extension.TempAscName, extension.Settings.AnsiOem != 0))
    return false;
  double t3 = Now();

  if (!WriteBytes(extension.TempBaseName, sample.output)) return false;  // PGP's part, off the clock

  double t4 = Now();
  HGLOBAL output = nullptr;
  DWORD length = 0;
  if (ReadTextFile(&output, extension.TempBaseName, &length, extension.Settings.AnsiOem != 0) != 0) return false;
  char keyStart[kMessageTextSize];
  FindPublicKeyBlock(output, keyStart, kMessageTextSize - 1);
  double t5 = Now();
  const bool spliced = SpliceResult(extension, runState, output, '\0');
  double t6 = Now();
  const bool replaced = !ReplaceSourceText(extension, output);
  double t7 = Now();
  if (!replaced) GlobalFree(output);
  WipeFile(extension.TempBaseName);
  WipeFile(extension.TempAscName);
  double t8 = Now();
  UnlockCapturedText(extension);
  if (!spliced || !replaced) return false;

  p.capture = t1 - t0;
  p.scan = t2 - t1;
  p.write = t3 - t2;
  p.read = t5 - t4;
  p.splice = t6 - t5;
  p.setText = t7 - t6;
  p.wipe = t8 - t7;

  const int shown = GetWindowTextLengthA(window);
  std::string readBack(static_cast<size_t>(shown) + 1, '\0');
  GetWindowTextA(window, readBack.data(), shown + 1);
  readBack.resize(static_cast<size_t>(shown > 0 ? shown : 0));
  if (readBack != sample.expected) return false;

  std::vector<char> a(sample.message.begin(), sample.message.end());
  std::vector<char> b(a.size());
  double c0 = Now();
  for (int i = 0; i < 2; ++i) {
    std::memcpy(b.data(), a.data(), a.size());
    a[i] ^= 1;  // the copies cannot be merged or dropped
    std::memcpy(a.data(), b.data(), b.size());
  }
  double c1 = Now();
  copySink = a[a.size() / 2] ^ b[b.size() / 3];
  p.copies = c1 - c0;

  // Every text the module passes on is a new movable block (the window or
  // the clipboard takes it over), and new memory costs its first touch.
  double f0 = Now();
  for (int i = 0; i < 4; ++i) {
    HGLOBAL fresh = GlobalAlloc(GMEM_MOVEABLE, a.size());
    char* target = fresh ? static_cast<char*>(GlobalLock(fresh)) : nullptr;
    if (target == nullptr) return false;
    std::memcpy(target, a.data(), a.size());
    copySink = target[a.size() / 2];
    GlobalUnlock(fresh);
    GlobalFree(fresh);
  }
  double f1 = Now();
  p.freshCopies = f1 - f0;
  return true;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  moduleInstance = GetModuleHandleA(nullptr);
  const int repetitions = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  char directory[MAX_PATH];
  GetTempPathA(sizeof directory, directory);
  std::snprintf(extension.TempBaseName, sizeof extension.TempBaseName, "%squillnet-bench", directory);
  std::snprintf(extension.TempAscName, sizeof extension.TempAscName, "%squillnet-bench.asc", directory);
  extension.Settings.CopyToReadOnly = 1;
  extension.Settings.AnsiOem = 0;

  fake_client::FakeClient client;
  const size_t sizes[] = {64u << 10, 1u << 20, 4u << 20, 16u << 20};
  std::printf("median of %d commands, milliseconds; module = capture+scan+write+read+splice\n",
              repetitions);
  std::printf("%7s %8s %8s %8s %8s %8s %9s | %9s %7s | %9s %7s | %9s %9s\n", "size", "capture",
              "scan", "write", "read", "splice", "module", "4 copies", "ratio", "4 fresh", "ratio",
              "set text", "wipe");
  double module4 = 0, module16 = 0, copies4 = 0, fresh4 = 0;
  for (size_t size : sizes) {
    const Sample sample = MakeSample(size);
    std::vector<Phases> runs;
    for (int r = 0; r < repetitions; ++r) {
      Phases p;
      if (!OneCommand(client, sample, p)) {
        std::printf("size %zu: the command did not deliver the expected text\n", size);
        return 1;
      }
      runs.push_back(p);
    }
    auto median = [&](auto pick) {
      std::vector<double> v;
      for (const Phases& p : runs) v.push_back(pick(p));
      return Median(v);
    };
    const double module = median([](const Phases& p) { return p.Module(); });
    const double copies = median([](const Phases& p) { return p.copies; });
    const double fresh = median([](const Phases& p) { return p.freshCopies; });
    std::printf("%6zuK %8.2f %8.2f %8.2f %8.2f %8.2f %9.2f | %9.2f %7.1f | %9.2f %7.2f | %9.1f %9.2f\n",
                size >> 10, median([](const Phases& p) { return p.capture; }),
                median([](const Phases& p) { return p.scan; }),
                median([](const Phases& p) { return p.write; }),
                median([](const Phases& p) { return p.read; }),
                median([](const Phases& p) { return p.splice; }), module, copies, module / copies,
                fresh, module / fresh, median([](const Phases& p) { return p.setText; }),
                median([](const Phases& p) { return p.wipe; }));
    if (size == (4u << 20)) {
      module4 = module;
      copies4 = copies;
      fresh4 = fresh;
    }
    if (size == (16u << 20)) module16 = module;
  }
  std::printf("growth 16 MiB / 4 MiB: %.2f (goal <= 4.5)\n", module16 / module4);
  std::printf("4 MiB / four copies: %.2f warm, %.2f into new blocks (goal < 5)\n",
              module4 / copies4, module4 / fresh4);
  FreeCapturedText(extension);
  return 0;
}
