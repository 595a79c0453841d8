#include "operations.h"

#include <algorithm>
#include <vector>

#include "keyring.h"
#include "payloads.h"

namespace pgpstub {
namespace {

struct Run {
  const Invocation& invocation;
  const std::string& keyringPath;
  Host& host;
  VerdictFile& verdict;
};

std::string Quoted(std::string_view text) { return "'" + std::string(text) + "'"; }

std::vector<Key> LoadKeys(const Run& run) {
  std::string text;
  if (run.host.ReadWholeFile(run.keyringPath, text) != ReadStatus::Ok) return {};
  return ParseKeyring(text);
}

uint32_t ReadInput(const Run& run, std::string& bytes) {
  switch (run.host.ReadWholeFile(run.invocation.file, bytes)) {
    case ReadStatus::Ok:
      return kExitOk;
    case ReadStatus::NotFound:
      run.host.Complain("File " + Quoted(run.invocation.file) + " does not exist.");
      return kExitNotFound;
    case ReadStatus::Failed:
      break;
  }
  run.host.Complain("Cannot read file " + Quoted(run.invocation.file) + ".");
  return kExitBadFile;
}

uint32_t WriteOutput(const Run& run, const std::string& path, std::string_view bytes) {
  if (run.host.WriteWholeFile(path, bytes)) return kExitOk;
  run.host.Complain("Cannot create output file " + Quoted(path) + ".");
  return kExitFileError;
}

// The signer is the first secret key, as PGP's default user; its pass phrase
// must be given. Leaves `signer` empty on failure.
uint32_t UnlockSigningKey(const Run& run, const std::vector<Key>& keys, std::string& signer) {
  const Key* key = FirstSecretKey(keys);
  if (!key) {
    run.host.Complain("Signature error: no secret key in key ring " + Quoted(run.keyringPath) + ".");
    return kExitSignFailed;
  }
  run.host.Say("You need a pass phrase to unlock your secret key for user \"" + key->userId + "\".");
  const auto phrase = run.host.PassPhrase();
  if (!phrase || *phrase != key->passPhrase) {
    run.host.Complain(phrase ? "Error:  Bad pass phrase." : "Error:  No pass phrase given.");
    run.host.Complain("Signature error");
    return kExitSignFailed;
  }
  run.host.Say("Pass phrase is good.");
  signer = key->userId;
  return kExitOk;
}

// Mirrors PGP's -w: the plaintext must not survive a successful encryption.
// A failed wipe is reported but does not undo the result, which is good.
void WipeInputIfAsked(const Run& run) {
  if (!run.invocation.wipe) return;
  if (run.host.WipeFile(run.invocation.file))
    run.host.Say("File " + Quoted(run.invocation.file) + " has been wiped and deleted.");
  else
    run.host.Complain("Could not wipe file " + Quoted(run.invocation.file) + ".");
}

uint32_t RunArmor(const Run& run) {
  std::string data;
  if (const uint32_t code = ReadInput(run, data)) return code;
  const std::vector<Key> keys = LoadKeys(run);
  Message message;
  message.textMode = run.invocation.textMode;
  if (run.invocation.encrypt && run.invocation.userIds.empty()) {
    run.host.Complain("A user ID is required to select the recipient's public key.");
    return kExitNoKey;
  }
  for (const std::string& pattern : run.invocation.userIds) {
    const Key* key = FindPublicKey(keys, pattern);
    if (!key) {
      run.host.Complain("Key matching userid " + Quoted(pattern) + " not found in key ring " +
                        Quoted(run.keyringPath) + ".");
      return kExitNoKey;
    }
    if (std::find(message.recipients.begin(), message.recipients.end(), key->userId) ==
        message.recipients.end())
      message.recipients.push_back(key->userId);
  }
  if (run.invocation.sign)
    if (const uint32_t code = UnlockSigningKey(run, keys, message.signer)) return code;
  for (const std::string& recipient : message.recipients)
    run.host.Say("Recipient's public key: \"" + recipient + "\".");
  message.data = std::move(data);
  const std::string output = *OutputFileOf(run.invocation);
  if (const uint32_t code = WriteOutput(run, output, MakeMessageArmor(std::move(message))))
    return code;
  run.host.Say("Transport armor file: " + output);
  WipeInputIfAsked(run);
  return kExitOk;
}

uint32_t RunClearSign(const Run& run) {
  std::string text;
  if (const uint32_t code = ReadInput(run, text)) return code;
  std::string signer;
  if (const uint32_t code = UnlockSigningKey(run, LoadKeys(run), signer)) return code;
  const std::string output = *OutputFileOf(run.invocation);
  if (const uint32_t code = WriteOutput(run, output, ClearSign(text, signer))) return code;
  run.host.Say("Clear signature file: " + output);
  WipeInputIfAsked(run);
  return kExitOk;
}

// Decoding needs a secret key of one of the recipients and its pass phrase.
uint32_t UnlockMessage(const Run& run, const Message& message) {
  const std::vector<Key> keys = LoadKeys(run);
  std::vector<const Key*> candidates;
  for (const std::string& recipient : message.recipients)
    for (const Key* key : SecretKeysOf(keys, recipient)) candidates.push_back(key);
  if (candidates.empty()) {
    run.host.Complain("You do not have the secret key needed to decrypt this file.");
    return kExitDecryptFailed;
  }
  run.host.Say("This message can only be read by: \"" + candidates.front()->userId + "\".");
  const auto phrase = run.host.PassPhrase();
  const bool good = phrase && std::any_of(candidates.begin(), candidates.end(), [&](const Key* key) {
                      return key->passPhrase == *phrase;
                    });
  if (!good) {
    run.host.Complain(phrase ? "Error:  Bad pass phrase." : "Error:  No pass phrase given.");
    return kExitDecryptFailed;
  }
  run.host.Say("Pass phrase is good.  Just a moment......");
  return kExitOk;
}

// What a signature by `signer` is worth. Only a key in the list tells who
// signed; only one nobody marked unverified names its user id as the signer
// (with its address); of an unverified one the verdict says only what the
// key calls itself; of a key not in the list only its key id is known.
void NoteSignature(const Run& run, const std::string& signer, bool holds) {
  VerdictFile& verdict = run.verdict;
  verdict.signedMessage = true;
  const std::vector<Key> keys = LoadKeys(run);
  const Key* key = PublicKeyOf(keys, signer);
  verdict.status = !holds ? "bad" : key == nullptr ? "unknown-key" : "good";
  if (!holds) verdict.problem = "bad-signature";
  if (key == nullptr) {
    verdict.fingerprint = KeyId(signer);
    return;
  }
  verdict.fingerprint = Fingerprint(signer);
  if (key->unverified) {
    verdict.keyName = signer;
    verdict.validity = "undefined";
    return;
  }
  verdict.signer = signer;
  verdict.validity = "full";
  if (std::string address = MailAddressOf(signer); !address.empty())
    verdict.signerAddresses.push_back(std::move(address));
}

// What PGP says after a signature that held: good, or not checkable for
// want of the key.
void SaySignature(const Run& run, const std::string& signer) {
  if (run.verdict.status != "unknown-key") {
    run.host.Say("Good signature from user \"" + signer + "\".");
    return;
  }
  run.host.Say("Key matching expected Key ID " + KeyId(signer) + " not found in key ring " +
               Quoted(run.keyringPath) + ".");
  run.host.Say("WARNING: Can't find the right public key-- can't check signature integrity.");
}

uint32_t BadSignature(const Run& run, std::string_view signer) {
  run.host.Complain("WARNING: Bad signature, doesn't match file contents!");
  run.host.Complain("Bad signature from user \"" + std::string(signer) + "\".");
  return kExitBadSignature;
}

uint32_t DecodeMessage(const Run& run, const std::vector<Line>& lines, size_t begin,
                       const std::string& output) {
  const auto payload = UnwrapArmor(lines, begin, "MESSAGE");
  const auto message = payload ? ParseMessagePayload(*payload) : std::nullopt;
  if (!message) {
    run.host.Complain("ERROR: Bad ASCII armor in file " + Quoted(run.invocation.file) + ".");
    return kExitBadFile;
  }
  run.verdict.encrypted = !message->recipients.empty();
  if (!message->recipients.empty())
    if (const uint32_t code = UnlockMessage(run, *message)) return code;
  if (!message->signer.empty()) NoteSignature(run, message->signer, SignatureHolds(*message));
  if (!SignatureHolds(*message)) return BadSignature(run, message->signer);
  if (const uint32_t code = WriteOutput(run, output, message->data)) return code;
  if (!message->signer.empty()) SaySignature(run, message->signer);
  run.host.Say("Plaintext filename: " + output);
  return kExitOk;
}

uint32_t CheckSigned(const Run& run, std::string_view file, const std::vector<Line>& lines,
                     size_t begin, const std::string& output) {
  const ClearCheck check = CheckClearSigned(file, lines, begin);
  if (check.status == CheckStatus::Malformed) {
    run.host.Complain("ERROR: Bad clear-signed text in file " + Quoted(run.invocation.file) + ".");
    return kExitBadFile;
  }
  NoteSignature(run, check.signer, check.status == CheckStatus::Good);
  if (check.status == CheckStatus::Bad) return BadSignature(run, check.signer);
  if (const uint32_t code = WriteOutput(run, output, check.text)) return code;
  SaySignature(run, check.signer);
  run.host.Say("Plaintext filename: " + output);
  return kExitOk;
}

uint32_t RunDecode(const Run& run) {
  std::string file;
  if (const uint32_t code = ReadInput(run, file)) return code;
  const auto output = OutputFileOf(run.invocation);
  if (!output) {
    run.host.Complain("Input file " + Quoted(run.invocation.file) +
                      " does not end in .asc, so there is no name for the output.");
    return kExitBadFile;
  }
  const std::vector<Line> lines = SplitLines(file);
  const auto begin = FindBeginLine(lines, 0, "");
  const auto kind = begin ? BeginLineKind(lines[*begin].text) : std::nullopt;
  if (kind == "MESSAGE") return DecodeMessage(run, lines, *begin, *output);
  if (kind == "SIGNED MESSAGE") return CheckSigned(run, file, lines, *begin, *output);
  if (kind == "PUBLIC KEY BLOCK") {
    run.host.Complain("File " + Quoted(run.invocation.file) + " holds keys: add them with -ka.");
    return kExitBadFile;
  }
  run.host.Complain("ERROR: No PGP armour found in file " + Quoted(run.invocation.file) + ".");
  return kExitBadFile;
}

uint32_t RunAddKey(const Run& run) {
  std::string file;
  if (const uint32_t code = ReadInput(run, file)) return code;
  const auto ids = ParseKeyBlock(file);
  if (!ids || ids->empty()) {
    run.host.Complain("No usable public key block found in file " + Quoted(run.invocation.file) + ".");
    run.host.Complain("Keyring add error.");
    return kExitKeyAdd;
  }
  std::string existing;
  if (run.host.ReadWholeFile(run.keyringPath, existing) == ReadStatus::Failed) {
    run.host.Complain("Cannot read key ring " + Quoted(run.keyringPath) + ".");
    return kExitKeyAdd;
  }
  const std::vector<Key> keys = ParseKeyring(existing);
  std::vector<std::string> added;
  for (const std::string& id : *ids)
    if (!HasPublicKey(keys, id) && std::find(added.begin(), added.end(), id) == added.end())
      added.push_back(id);
  run.host.Say("Looking for new keys...");
  if (added.empty()) {
    run.host.Say("No new keys or signatures in keyfile.");
    return kExitOk;
  }
  if (!run.host.AppendToFile(run.keyringPath, KeyringAppendText(existing, added))) {
    run.host.Complain("Cannot add to key ring " + Quoted(run.keyringPath) + ".");
    return kExitKeyAdd;
  }
  for (const std::string& id : added) {
    run.host.Say("pub  " + id);
    run.verdict.keysAdded.emplace_back(Fingerprint(id), id);
  }
  run.host.Say("Keys added to key ring " + Quoted(run.keyringPath) + ": " +
               std::to_string(added.size()) + ".");
  return kExitOk;
}

uint32_t RunExtractKey(const Run& run) {
  const std::vector<Key> keys = LoadKeys(run);
  std::vector<std::string> ids;
  for (const std::string& pattern : run.invocation.userIds) {
    const Key* key = FindPublicKey(keys, pattern);
    if (!key) {
      run.host.Complain("Key not found in key ring " + Quoted(run.keyringPath) + ": " +
                        Quoted(pattern) + ".");
      return kExitNoKey;
    }
    if (std::find(ids.begin(), ids.end(), key->userId) == ids.end()) ids.push_back(key->userId);
  }
  const std::string output = *OutputFileOf(run.invocation);
  if (const uint32_t code = WriteOutput(run, output, MakeKeyBlock(ids))) return code;
  run.host.Say("Key extracted to file " + Quoted(output) + ".");
  return kExitOk;
}

constexpr std::string_view kUsage[] = {
    "Usage summary:",
    "  Decode or check:        pgp file.asc",
    "  Encrypt for users:      pgp -aetw file userid ...   (add s to sign)",
    "  Clear-sign a text:      pgp -ast +clearsig=on file",
    "  Add keys from a file:   pgp -ka keyfile.asc",
    "  Extract keys to a file: pgp -kx userid ... keyfile",
};

}  // namespace

uint32_t RunInvocation(const Invocation& invocation, const std::string& keyringPath, Host& host,
                       VerdictFile* verdict) {
  VerdictFile unused;
  const Run run{invocation, keyringPath, host, verdict != nullptr ? *verdict : unused};
  if (!invocation.error.empty()) {
    host.Complain(invocation.error);
    host.Complain("For a usage summary, type:  pgp -h");
    return kExitBadArguments;
  }
  switch (invocation.operation) {
    case Operation::Help:
      for (std::string_view line : kUsage) host.Say(line);
      return kExitOk;
    case Operation::Decode:
      return RunDecode(run);
    case Operation::Armor:
      return RunArmor(run);
    case Operation::ClearSign:
      return RunClearSign(run);
    case Operation::AddKey:
      return RunAddKey(run);
    case Operation::ExtractKey:
      return RunExtractKey(run);
  }
  return kExitBadArguments;
}

}  // namespace pgpstub
