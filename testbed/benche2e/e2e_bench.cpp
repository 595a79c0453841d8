// quillnet_e2e_bench.exe: times the whole product under Wine, as a user
// waits for it. Not a test: run it by hand and read the figures.
//
//   1. From starting quillnet.exe to "R&un PGP..." in the client's menu:
//      with the client already running; with the client started by the
//      launcher and the default pause after the client became idle
//      (WaitEudoraInit 1000 ms); and with WaitEudoraInit=0.
//   2. From the Run PGP command to the decoded text in the window for a
//      message of 1 MiB: until the confirmation dialog shows, and from its
//      OK to the new text.
//
//   quillnet_e2e_bench.exe [runs]     (default 7; one more run warms up)
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "tests/e2e/support/system.h"

namespace {

using e2e::Workspace;
using e2e::WorkspaceOptions;

double Now() {
  static const double frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return static_cast<double>(f.QuadPart);
  }();
  LARGE_INTEGER t;
  QueryPerformanceCounter(&t);
  return static_cast<double>(t.QuadPart) * 1000.0 / frequency;
}

struct Summary {
  double median, low, high;
};

Summary Summarise(std::vector<double> ms) {
  std::sort(ms.begin(), ms.end());
  const size_t n = ms.size();
  const double median = n % 2 ? ms[n / 2] : (ms[n / 2 - 1] + ms[n / 2]) / 2;
  return {median, ms.front(), ms.back()};
}

void Report(const char* what, const std::vector<double>& ms) {
  const Summary s = Summarise(ms);
  std::printf("%-58s median %8.1f ms   min %8.1f   max %8.1f   (n=%zu)\n", what, s.median, s.low,
              s.high, ms.size());
  std::fflush(stdout);
}

bool HasRunItem(HWND main) {
  const auto items = e2e::ReadModuleItems(main, 5000);
  return items && items->runItem;
}

// Polls tightly: the figure is only as fine as the polling.
bool Poll(const std::function<bool()>& condition, DWORD timeoutMs) {
  const double end = Now() + timeoutMs;
  while (Now() < end) {
    if (condition()) return true;
    Sleep(1);
  }
  return false;
}

HWND FindClientWindow() { return FindWindowA("EudoraMainWindow", nullptr); }

// ---- start ---------------------------------------------------------------------

enum class Start { ClientRunning, LauncherStartsClient };

double TimeOneStart(Start how, const std::optional<std::string>& settings) {
  WorkspaceOptions options;
  options.settings = settings;
  Workspace workspace(options);
  e2e::ProcessGroup group;
  e2e::Quillnet quillnet(workspace, group);
  if (how == Start::ClientRunning) {
    quillnet.StartClientAlone();
    Sleep(300);  // let it settle: the figure is the module's start, not the client's
  }
  const double start = Now();
  quillnet.StartLauncher();
  HWND main = nullptr;
  if (!Poll([&] { return (main = FindClientWindow()) != nullptr; }, 60000))
    throw uidrive::Failure("no client window");
  if (!Poll([&] { return HasRunItem(main); }, 60000)) throw uidrive::Failure("no Run PGP item");
  return Now() - start;
}

std::vector<double> TimeStarts(Start how, const std::optional<std::string>& settings, int runs) {
  std::vector<double> ms;
  for (int i = 0; i <= runs; ++i) {
    const double t = TimeOneStart(how, settings);
    if (i > 0) ms.push_back(t);  // the first run warms the caches up
  }
  return ms;
}

// ---- decoding a large message --------------------------------------------------

// About 1 MiB of plain text in lines of 70 characters.
std::string PlainMegabyte() {
  std::string text;
  text.reserve(1 << 20);
  for (int line = 0; text.size() < (1u << 20); ++line) {
    char row[80];
    std::snprintf(row, sizeof row, "%06d the quick brown fox jumps over the lazy dog, line of the report\r\n",
                  line);
    text += row;
  }
  return text;
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// The PGP stand-in encrypts the text for Sam, as a sender would have.
std::string EncryptForSam(const Workspace& workspace, const std::string& plain) {
  const std::string file = workspace.root() + "\\big.txt";
  std::ofstream(file, std::ios::binary) << plain;
  const uidrive::RunResult run = uidrive::RunCaptured(
      "\"" + workspace.pgpDirectory() + "\\pgp.exe\" -eat \"" + file + "\" sam@example.org", 120000);
  if (run.exitCode != 0) throw uidrive::Failure("pgp.exe -eat failed: " + run.err);
  return ReadAll(file + ".asc");
}

LRESULT TextLength(HWND edit) {
  DWORD_PTR n = 0;
  if (!SendMessageTimeoutA(edit, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, 100, &n)) return -1;
  return static_cast<LRESULT>(n);
}

struct DecodeTimes {
  double toDialog;
  double okToText;
};

DecodeTimes TimeOneDecode(const e2e::Quillnet& quillnet, const std::string& message,
                          size_t plainSize) {
  const auto opened = quillnet.mail().OpenText(message, "Big report");
  quillnet.mail().FocusField("view", opened.window);
  const LRESULT before = TextLength(opened.edit);

  const double start = Now();
  uidrive::PostCommand(quillnet.main(), e2e::kIdmRunPgp);
  HWND dialog = nullptr;
  uidrive::WindowQuery query;
  query.className = uidrive::TextMatch::Exact("#32770");
  query.title = uidrive::TextMatch::Prefix(" PGP - ");
  query.processId = quillnet.client().id();
  query.visibleOnly = true;
  if (!Poll([&] {
        const auto found = uidrive::FindWindows(query);
        return !found.empty() && (dialog = found.front()) != nullptr;
      }, 60000))
    throw uidrive::Failure("no confirmation dialog");
  const double shown = Now();
  PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
  const double ok = Now();
  if (!Poll([&] {
        const LRESULT n = TextLength(opened.edit);
        return n > 0 && n != before;
      }, 120000))
    throw uidrive::Failure("the decoded text never came");
  const double done = Now();

  const auto text = e2e::TextOf(quillnet.mail(), opened.window, "", 30000);
  if (!text || text->size() < plainSize || e2e::Contains(*text, "-----BEGIN PGP MESSAGE"))
    throw uidrive::Failure("the window does not hold the decoded text");
  quillnet.mail().Call({"close", {}});
  return {shown - start, done - ok};
}

void TimeDecodes(int runs) {
  Workspace workspace;
  e2e::ProcessGroup group;
  e2e::Quillnet quillnet(workspace, group);
  const std::string plain = PlainMegabyte();
  const std::string armour = EncryptForSam(workspace, plain);
  const std::string message =
      "From: Alice Example <alice@example.org>\r\nTo: Sam Sample <sam@example.org>\r\n"
      "Subject: The big report\r\n\r\nSam, the report:\r\n\r\n" + armour + "\r\nAlice\r\n";
  std::printf("message: %zu bytes of armour for %zu bytes of text\n", armour.size(), plain.size());

  // PGP's own share: the stand-in alone on the same armour, its start included.
  std::vector<double> pgpAlone;
  const std::string asc = workspace.root() + "\\big.txt.asc";
  for (int i = 0; i <= runs; ++i) {
    const double start = Now();
    const uidrive::RunResult run = uidrive::RunCaptured(
        "\"" + workspace.pgpDirectory() + "\\pgp.exe\"  \"" + asc + "\"", 120000);
    if (run.exitCode != 0) throw uidrive::Failure("pgp.exe could not decode: " + run.err);
    if (i > 0) pgpAlone.push_back(Now() - start);
  }
  Report("1 MiB decode: pgp.exe alone on the same armour", pgpAlone);

  quillnet.Start();
  std::vector<double> toDialog, okToText, total;
  for (int i = 0; i <= runs; ++i) {
    const DecodeTimes t = TimeOneDecode(quillnet, message, plain.size());
    if (i == 0) continue;
    toDialog.push_back(t.toDialog);
    okToText.push_back(t.okToText);
    total.push_back(t.toDialog + t.okToText);
  }
  Report("1 MiB decode: Run PGP -> confirmation dialog shown", toDialog);
  Report("1 MiB decode: OK -> decoded text in the window", okToText);
  Report("1 MiB decode: both (the user's own pause left out)", total);
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
  try {
    Report("start, client already running -> Run PGP item",
           TimeStarts(Start::ClientRunning, std::nullopt, runs));
    Report("start, launcher starts client, WaitEudoraInit 1000 (default)",
           TimeStarts(Start::LauncherStartsClient, std::nullopt, runs));
    Report("start, launcher starts client, WaitEudoraInit=0",
           TimeStarts(Start::LauncherStartsClient, "[Settings]\r\nWaitEudoraInit=0\r\n", runs));
    TimeDecodes(runs);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "benchmark failed: %s\n", e.what());
    return 1;
  }
  return 0;
}
