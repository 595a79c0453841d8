#include "pgp2gpg.h"

#include <optional>

#include "armor_survey.h"
#include "common/verdict.h"
#include "console_text.h"
#include "exit_codes.h"
#include "gpg_args.h"
#include "gpg_status.h"
#include "key_file.h"
#include "key_listing.h"
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
// Keys one -ka takes when the module wants to know what it added: each is
// listed before and after, and a mail carries a key or a few.
constexpr size_t kKeysPerFileLimit = 256;

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
  Verdict JudgeDecodeRun(const GpgOutcome& outcome, bool expectSignature);
  std::vector<ListedKey> ListKeys(const std::vector<std::string>& fingerprints);
  std::optional<std::vector<std::string>> KeysInFile();
  int Import(const std::string& verdictPath);
  VerdictFile ImportVerdictOf(const GpgOutcome& outcome, const std::vector<ListedKey>& before);
  bool WriteVerdictFile(const std::string& text);
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
// checked is what gpg vouched for; it is written whatever the outcome. A
// run whose verdict cannot be written fails: the module would otherwise
// take whatever stands at that name for gpg's word. The file is made anew
// (WriteNewFile), never written through a link someone put there.
bool Session::WriteVerdictFile(const std::string& text) {
  const std::string path = platform_.VerdictPath();
  if (path.empty() || platform_.WriteNewFile(path, text)) return true;
  platform_.Say("Cannot write the verdict file " + Shown(path) + ".");
  return false;
}

// Lists keys by exact primary fingerprint. gpg ends with an error when one
// of them is not in the keyring, and lists the others all the same.
std::vector<ListedKey> Session::ListKeys(const std::vector<std::string>& fingerprints) {
  if (fingerprints.empty()) return {};
  const GpgRun run = platform_.RunGpg(gpg_, KeyListingArguments(fingerprints), nullptr);
  return run.started ? ParseKeyListing(run.status) : std::vector<ListedKey>{};
}

// The signature's verdict, and the verdict file with the signer named from
// the signing key's own listing: gpg's status names the primary user id
// and the whole key's validity, which a key's holder can make anybody's.
Verdict Session::JudgeDecodeRun(const GpgOutcome& outcome, bool expectSignature) {
  Verdict verdict = JudgeDecode(outcome, expectSignature);
  VerdictFile found = DecodeVerdict(outcome);
  const std::string namedByGpg = found.keyName;
  const std::string fingerprint = SigningKeyFingerprint(outcome);
  const std::vector<ListedKey> listing =
      fingerprint.empty() ? std::vector<ListedKey>{} : ListKeys({fingerprint});
  NameSigner(FindKey(listing, fingerprint), found);
  if (verdict.exitCode == kExitOk && found.status == "good" && !found.signer.empty() &&
      found.signer != namedByGpg) {
    verdict.lines.push_back("WARNING: the user id named above is not certified; this key is "
                            "certified as \"" + EscapeForConsole(found.signer) + "\".");
  }
  if (!WriteVerdictFile(FormatVerdictFile(found))) return Verdict{kExitFileError, {}};
  return verdict;
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
  // Before gpg sees the pass phrase: a verdict that could not be written
  // would make the whole run useless.
  if (!WriteVerdictFile("")) {
    platform_.WipeFile(*output);
    return kExitFileError;
  }
  const bool expectSignature = survey.kind() == BlockKind::SignedMessage;
  const int code = RunToOutput(*output, !expectSignature, [&](const GpgOutcome& outcome) {
    return JudgeDecodeRun(outcome, expectSignature);
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
  // Nothing is added when the module could not learn what was.
  if (!WriteVerdictFile("")) return kExitFileError;
  return Import(platform_.VerdictPath());
}

// The primary fingerprints of the keys in the file as gpg reads it;
// nullopt when gpg cannot say, or when there are more than are listed.
std::optional<std::vector<std::string>> Session::KeysInFile() {
  const GpgRun run = platform_.RunGpg(gpg_, ImportPreviewArguments(command_.file), nullptr);
  if (!run.started || !run.statusComplete) return std::nullopt;
  std::vector<std::string> fingerprints;
  for (const ListedKey& key : ParseKeyListing(run.status)) {
    if (!key.fingerprint.empty()) fingerprints.push_back(key.fingerprint);
  }
  if (fingerprints.size() > kKeysPerFileLimit) return std::nullopt;
  return fingerprints;
}

// A key already in the keyring may come back with user ids added to it; the
// listings before and after the import tell exactly which. They are needed
// only for the verdict file.
int Session::Import(const std::string& verdictPath) {
  std::vector<ListedKey> before;
  if (!verdictPath.empty()) {
    const std::optional<std::vector<std::string>> inFile = KeysInFile();
    if (!inFile) {
      platform_.Say("gpg cannot list the keys in " + Shown(command_.file) +
                    ", or there are more than " + std::to_string(kKeysPerFileLimit) +
                    "; nothing was added.");
      return kExitKeyAddError;
    }
    before = ListKeys(*inFile);
  }
  const GpgRun run = platform_.RunGpg(gpg_, BuildGpgArguments(GpgRunPlan{&command_, {}, false}), nullptr);
  if (!run.started) {
    platform_.Say(run.startError);
    return kExitFileNotFound;
  }
  const GpgOutcome outcome{ParseStatus(run.status), run.exitCode, run.statusComplete};
  const Verdict verdict = JudgeImport(outcome);
  Report(verdict, run);
  if (verdictPath.empty()) return verdict.exitCode;
  const VerdictFile found = ImportVerdictOf(outcome, before);
  return WriteVerdictFile(FormatVerdictFile(found)) ? verdict.exitCode : kExitFileError;
}

// The keys the import changed, with their user ids as the keyring now
// lists them.
VerdictFile Session::ImportVerdictOf(const GpgOutcome& outcome,
                                     const std::vector<ListedKey>& before) {
  std::vector<ImportedKey> imported = ImportedKeys(outcome);
  // gpg changes no more keys than its preview found in the file; the bound
  // only keeps a confused gpg from making the listing's command line long.
  if (imported.size() > kKeysPerFileLimit) imported.resize(kKeysPerFileLimit);
  std::vector<std::string> fingerprints;
  for (const ImportedKey& key : imported) fingerprints.push_back(key.fingerprint);
  return ImportVerdict(imported, before, ListKeys(fingerprints));
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
