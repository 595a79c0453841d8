#include "pgp2gpg.h"

#include <optional>

#include "armor_survey.h"
#include "common/verdict.h"
#include "console_text.h"
#include "exit_codes.h"
#include "gpg_args.h"
#include "gpg_status.h"
#include "key_file.h"
#include "pgp_command.h"

namespace pgp2gpg {

void SecretText::Clear() {
  volatile char* bytes = text_.data();
  for (size_t i = 0; i < text_.size(); ++i) bytes[i] = 0;
  text_.clear();
}

namespace {

constexpr int kTempNameAttempts = 8;
constexpr size_t kErrorLinesShown = 12;

std::string Shown(const std::string& name) { return "'" + EscapeForConsole(name) + "'"; }

void SayLines(Platform& platform, const std::string& text) {
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    platform.Say(line);
    start = end + 1;
  }
}

// gpg's own words help only when something went wrong; then its last lines
// are shown, escaped like every other outside text.
void SayGpgMessages(Platform& platform, const std::string& errorText) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < errorText.size()) {
    size_t end = errorText.find('\n', start);
    if (end == std::string::npos) end = errorText.size();
    std::string line = errorText.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) lines.push_back(EscapeForConsole(line));
    start = end + 1;
  }
  if (lines.empty()) return;
  platform.Say("gpg said:");
  const size_t first = lines.size() > kErrorLinesShown ? lines.size() - kErrorLinesShown : 0;
  for (size_t i = first; i < lines.size(); ++i) platform.Say("  " + lines[i]);
}

class Session {
 public:
  Session(const PgpCommand& command, Platform& platform, const SecretText* passPhrase)
      : command_(command), platform_(platform), passPhrase_(passPhrase) {}

  int Run();

 private:
  int Decode();
  int Encrypt();
  int Sign();
  int AddKey();
  bool LocateGpg();
  int RunToOutput(const std::string& output, bool needsPassPhrase,
                  const std::function<Verdict(const GpgOutcome&)>& judge);
  void WriteVerdictFile(const VerdictFile& verdict);
  std::optional<std::string> MakeTempOutput(const std::string& output);
  void Report(const Verdict& verdict, const GpgRun& run);

  const PgpCommand& command_;
  Platform& platform_;
  const SecretText* passPhrase_;
  std::string gpg_;
};

int Session::Run() {
  if (!platform_.FileExists(command_.file)) {
    platform_.Say("File " + Shown(command_.file) + " does not exist.");
    return kExitFileNotFound;
  }
  switch (command_.operation) {
    case Operation::Decode: return Decode();
    case Operation::Encrypt: return Encrypt();
    case Operation::Sign:
    case Operation::ClearSign: return Sign();
    case Operation::AddKey: return AddKey();
    case Operation::Help: break;
  }
  return kExitOk;
}

bool Session::LocateGpg() {
  const std::vector<std::string> candidates = platform_.GpgCandidates();
  for (const std::string& candidate : candidates) {
    if (platform_.IsProgramFile(candidate)) {
      gpg_ = candidate;
      return true;
    }
  }
  platform_.Say("pgp2gpg: gpg not found. Looked for:");
  for (const std::string& candidate : candidates) platform_.Say("  " + EscapeForConsole(candidate));
  if (candidates.empty()) {
    platform_.Say("  (nowhere: QUILLNET_GPG is not set and PATH names no full path)");
  }
  return false;
}

std::optional<std::string> Session::MakeTempOutput(const std::string& output) {
  for (int attempt = 0; attempt < kTempNameAttempts; ++attempt) {
    std::string name = output + ".p2g" + platform_.RandomTag();
    if (platform_.CreateNewFile(name)) return name;
  }
  return std::nullopt;
}

// The module names a file for what gpg found, so that what it shows as
// checked is what gpg vouched for; it is written whatever the outcome.
void Session::WriteVerdictFile(const VerdictFile& verdict) {
  const std::string path = platform_.VerdictPath();
  if (path.empty()) return;
  if (!platform_.WriteNewFile(path, FormatVerdictFile(verdict)))
    platform_.Say("Cannot write the verdict file " + Shown(path) + ".");
}

void Session::Report(const Verdict& verdict, const GpgRun& run) {
  for (const std::string& line : verdict.lines) platform_.Say(line);
  if (verdict.exitCode != kExitOk) SayGpgMessages(platform_, run.errorText);
}

// gpg writes into a fresh file of our own; only a good verdict turns it into
// the output, so a failed run (a bad signature, a half-written decryption)
// never leaves a file the module could take for the result. A stale output
// from an earlier run is wiped first, whatever follows.
int Session::RunToOutput(const std::string& output, bool needsPassPhrase,
                         const std::function<Verdict(const GpgOutcome&)>& judge) {
  platform_.WipeFile(output);
  if (!LocateGpg()) return kExitFileNotFound;
  const std::optional<std::string> temp = MakeTempOutput(output);
  if (!temp) {
    platform_.Say("Cannot create a file beside " + Shown(output) + ".");
    return kExitFileError;
  }
  const bool pipePassPhrase = needsPassPhrase && passPhrase_ != nullptr;
  const GpgRunPlan plan{&command_, *temp, pipePassPhrase};
  const GpgRun run =
      platform_.RunGpg(gpg_, BuildGpgArguments(plan), pipePassPhrase ? passPhrase_ : nullptr);
  if (!run.started) {
    platform_.WipeFile(*temp);
    platform_.Say(run.startError);
    return kExitFileNotFound;
  }
  const Verdict verdict = judge(GpgOutcome{ParseStatus(run.status), run.exitCode, run.statusComplete});
  if (verdict.exitCode != kExitOk) {
    platform_.WipeFile(*temp);
    platform_.WipeFile(output);
    Report(verdict, run);
    return verdict.exitCode;
  }
  if (!platform_.MoveReplacing(*temp, output)) {
    platform_.WipeFile(*temp);
    platform_.Say("Cannot write the output file " + Shown(output) + ".");
    return kExitFileError;
  }
  Report(verdict, run);
  return kExitOk;
}

int Session::Decode() {
  const std::optional<std::string> output = OutputFileOf(command_);
  if (!output) {
    platform_.Say("The name " + Shown(command_.file) +
                  " does not end in .asc, so it gives no output name.");
    return kExitBadInput;
  }
  ArmorSurvey survey;
  if (!platform_.ReadFile(command_.file, [&](std::string_view chunk) {
        survey.Feed(chunk);
        return true;
      })) {
    platform_.Say("Cannot read " + Shown(command_.file) + ".");
    return kExitFileNotFound;
  }
  survey.Finish();
  if (survey.kind() == BlockKind::None) {
    platform_.Say(survey.sawKeyBlock()
                      ? "The file holds a key, not a message: add it with -ka."
                      : "No PGP message or signed message found in " + Shown(command_.file) + ".");
    platform_.WipeFile(*output);
    return kExitBadInput;
  }
  if (survey.textBefore() || survey.textAfter()) {
    platform_.Say("Note: the file holds text outside the PGP block; it was not checked and is "
                  "not part of the output.");
  }
  const bool expectSignature = survey.kind() == BlockKind::SignedMessage;
  const int code = RunToOutput(*output, !expectSignature, [&](const GpgOutcome& outcome) {
    WriteVerdictFile(DecodeVerdict(outcome));
    return JudgeDecode(outcome, expectSignature);
  });
  if (code == kExitOk) platform_.Say("Plaintext filename: " + EscapeForConsole(*output));
  return code;
}

int Session::Encrypt() {
  if (command_.userIds.empty()) {
    platform_.Say("No recipients: name at least one user id after the file.");
    return kExitNoKey;
  }
  const std::string output = *OutputFileOf(command_);
  const int code = RunToOutput(output, command_.sign, [&](const GpgOutcome& outcome) {
    return JudgeEncrypt(outcome, command_.sign);
  });
  if (code != kExitOk) return code;
  platform_.Say((command_.armor ? "Transport armor file: " : "Ciphertext file: ") +
                EscapeForConsole(output));
  if (command_.wipe) {
    if (!platform_.WipeFile(command_.file)) {
      platform_.Say("Cannot wipe " + Shown(command_.file) + ".");
      return kExitFileError;
    }
    platform_.Say("File " + Shown(command_.file) + " wiped and deleted.");
  }
  return kExitOk;
}

int Session::Sign() {
  const std::string output = *OutputFileOf(command_);
  const int code = RunToOutput(output, true, JudgeSign);
  if (code == kExitOk) {
    platform_.Say((command_.operation == Operation::ClearSign ? "Clear signature file: "
                                                              : "Signature file: ") +
                  EscapeForConsole(output));
  }
  return code;
}

int Session::AddKey() {
  std::string text;
  bool tooLarge = false;
  if (!platform_.ReadFile(command_.file, [&](std::string_view chunk) {
        tooLarge = text.size() + chunk.size() > kKeyFileLimit;
        if (!tooLarge) text.append(chunk);
        return !tooLarge;
      })) {
    platform_.Say("Cannot read " + Shown(command_.file) + ".");
    return kExitFileNotFound;
  }
  const KeyFileReport report = tooLarge ? KeyFileReport{KeyFileCheck::Damaged} : CheckKeyFile(text);
  switch (report.check) {
    case KeyFileCheck::PublicKeysOnly: break;
    case KeyFileCheck::NoArmour:
    case KeyFileCheck::NoKeys:
      platform_.Say("No keys found in " + Shown(command_.file) + ".");
      return kExitKeyAddError;
    case KeyFileCheck::OtherPackets:
      platform_.Say("The key file holds more than public keys (packet type " +
                    std::to_string(report.offendingTag) + "); nothing was added.");
      return kExitKeyAddError;
    case KeyFileCheck::Damaged:
      platform_.Say("The key block in " + Shown(command_.file) + " is damaged; nothing was added.");
      return kExitKeyAddError;
  }
  if (!LocateGpg()) return kExitFileNotFound;
  const GpgRun run = platform_.RunGpg(gpg_, BuildGpgArguments(GpgRunPlan{&command_, {}, false}), nullptr);
  if (!run.started) {
    platform_.Say(run.startError);
    return kExitFileNotFound;
  }
  const GpgOutcome outcome{ParseStatus(run.status), run.exitCode, run.statusComplete};
  WriteVerdictFile(ImportVerdict(outcome));
  const Verdict verdict = JudgeImport(outcome);
  Report(verdict, run);
  return verdict.exitCode;
}

}  // namespace

int RunPgp2Gpg(const std::vector<std::string>& words, Platform& platform) {
  SecretText passPhrase;
  const bool havePassPhrase = platform.TakePassPhrase(passPhrase);
  const PgpCommand command = ParsePgpCommand(
      words, [&platform](const std::string& path) { return platform.FileExists(path); });
  if (!command.error.empty()) {
    platform.Say("pgp2gpg: " + EscapeForConsole(command.error) + ".");
    SayLines(platform, UsageText());
    return kExitBadArguments;
  }
  if (command.operation == Operation::Help) {
    SayLines(platform, UsageText());
    return kExitOk;
  }
  Session session(command, platform, havePassPhrase ? &passPhrase : nullptr);
  return session.Run();
}

}  // namespace pgp2gpg
