#include "gpg_status.h"

#include <cstdlib>

#include "console_text.h"
#include "exit_codes.h"

namespace pgp2gpg {
namespace {

constexpr std::string_view kPrefix = "[GNUPG:] ";

// libgpg-error codes, in the low 16 bits of the numbers gpg reports.
constexpr unsigned kErrBadPassphrase = 11;
constexpr unsigned kErrCanceled = 99;
constexpr unsigned kErrNoPinentry = 85;
constexpr unsigned kErrNoPassphrase = 177;
constexpr unsigned kErrNoPubkey = 9;

unsigned ErrorCodeOf(const std::string& word) {
  return static_cast<unsigned>(std::strtoul(word.c_str(), nullptr, 10) & 0xFFFF);
}

// Everything the verdicts look at, gathered in one pass.
struct Facts {
  bool encrypted = false;
  bool decryptionOkay = false;
  bool decryptionFailed = false;
  bool withoutIntegrity = false;  // neither an MDC nor AEAD protects the text
  bool failure = false;           // gpg gave up on the whole operation
  bool badPassphrase = false;
  bool noPassphrase = false;
  bool noData = false;
  bool sigCreated = false;
  bool endEncryption = false;
  bool trustWarning = false;
  bool noRecipient = false;
  bool noSigner = false;
  int plaintexts = 0;
  size_t encTo = 0;
  size_t noSecretKey = 0;
  std::string validSigFingerprint;
  std::vector<const StatusLine*> signatures;
  std::vector<const StatusLine*> badRecipients;
  std::vector<const StatusLine*> badSigners;
  const StatusLine* importResult = nullptr;
  std::vector<const StatusLine*> imported;
};

void NoteErrorCode(const StatusLine& line, Facts& facts) {
  if (line.args.size() < 2) return;
  const unsigned code = ErrorCodeOf(line.args[1]);
  if (code == kErrBadPassphrase) facts.badPassphrase = true;
  if (code == kErrNoPassphrase || code == kErrCanceled || code == kErrNoPinentry) {
    facts.noPassphrase = true;
  }
}

void NoteLine(const StatusLine& line, Facts& facts) {
  const std::string& k = line.keyword;
  if (k == "ENC_TO") {
    facts.encrypted = true;
    ++facts.encTo;
  } else if (k == "BEGIN_DECRYPTION") {
    facts.encrypted = true;
  } else if (k == "DECRYPTION_OKAY") {
    facts.encrypted = facts.decryptionOkay = true;
  } else if (k == "DECRYPTION_FAILED" || k == "BADMDC") {
    facts.encrypted = facts.decryptionFailed = true;
  } else if (k == "DECRYPTION_INFO") {
    // DECRYPTION_INFO <mdc_method> <sym_algo> [<aead_algo>]
    facts.encrypted = true;
    const bool noMdc = line.args.empty() || line.args[0] == "0";
    const bool noAead = line.args.size() < 3 || line.args[2] == "0";
    if (noMdc && noAead) facts.withoutIntegrity = true;
  } else if (k == "NO_SECKEY") {
    ++facts.noSecretKey;
  } else if (k == "BAD_PASSPHRASE") {
    facts.badPassphrase = true;
  } else if (k == "MISSING_PASSPHRASE") {
    facts.noPassphrase = true;
  } else if (k == "ERROR" || k == "FAILURE") {
    if (k == "FAILURE") facts.failure = true;
    NoteErrorCode(line, facts);
  } else if (k == "NODATA" || k == "BADARMOR" || k == "UNEXPECTED") {
    facts.noData = true;
  } else if (k == "PLAINTEXT") {
    ++facts.plaintexts;
  } else if (k == "GOODSIG" || k == "BADSIG" || k == "ERRSIG" || k == "EXPSIG" ||
             k == "EXPKEYSIG" || k == "REVKEYSIG") {
    facts.signatures.push_back(&line);
  } else if (k == "VALIDSIG" && !line.args.empty()) {
    facts.validSigFingerprint = line.args[0];
  } else if (k == "TRUST_UNDEFINED" || k == "TRUST_NEVER") {
    facts.trustWarning = true;
  } else if (k == "SIG_CREATED") {
    facts.sigCreated = true;
  } else if (k == "END_ENCRYPTION") {
    facts.endEncryption = true;
  } else if (k == "INV_RECP") {
    facts.badRecipients.push_back(&line);
  } else if (k == "INV_SGNR") {
    facts.badSigners.push_back(&line);
  } else if (k == "NO_RECP") {
    facts.noRecipient = true;
  } else if (k == "NO_SGNR") {
    facts.noSigner = true;
  } else if (k == "IMPORT_RES") {
    facts.importResult = &line;
  } else if (k == "IMPORTED") {
    facts.imported.push_back(&line);
  }
}

Facts Gather(const std::vector<StatusLine>& status) {
  Facts facts;
  for (const StatusLine& line : status) NoteLine(line, facts);
  return facts;
}

// The user id of a *SIG line: everything after the key id, %XX-escaped.
std::string SignerOf(const StatusLine& line) {
  const size_t blank = line.rest.find(' ');
  if (blank == std::string::npos) return {};
  return EscapeForConsole(PercentDecode(line.rest.substr(blank + 1)));
}

std::string Quoted(const std::string& escaped) { return "\"" + escaped + "\""; }

std::string DescribeSignature(const StatusLine& line) {
  const std::string& k = line.keyword;
  if (k == "GOODSIG") return "Good signature from user " + Quoted(SignerOf(line)) + ".";
  if (k == "BADSIG") return "Bad signature from user " + Quoted(SignerOf(line)) + ".";
  if (k == "EXPSIG") return "Expired signature from user " + Quoted(SignerOf(line)) + ".";
  if (k == "EXPKEYSIG") {
    return "Signature from user " + Quoted(SignerOf(line)) + " made by an expired key.";
  }
  if (k == "REVKEYSIG") {
    return "Signature from user " + Quoted(SignerOf(line)) + " made by a revoked key.";
  }
  const std::string keyId = line.args.empty() ? "?" : EscapeForConsole(line.args[0]);
  if (line.args.size() >= 6 && ErrorCodeOf(line.args[5]) == kErrNoPubkey) {
    return "Key matching expected Key ID " + keyId +
           " not found in your keyring: can't check signature integrity.";
  }
  return "Can't check signature integrity of the signature by key ID " + keyId + ".";
}

Verdict Fail(int exitCode, std::string line) { return Verdict{exitCode, {std::move(line)}}; }

Verdict JudgeDecryption(const Facts& facts) {
  if (facts.badPassphrase) return Fail(kExitDecryptError, "Error: Bad pass phrase.");
  if (facts.noPassphrase) return Fail(kExitDecryptError, "Error: No pass phrase was given.");
  if (facts.encTo > 0 && facts.noSecretKey >= facts.encTo) {
    return Fail(kExitDecryptError, "You do not have the secret key needed to decrypt this file.");
  }
  return Fail(kExitDecryptError, "Decryption failed.");
}

bool IsUnknownKey(const StatusLine& signature) {
  return signature.keyword == "ERRSIG" && signature.args.size() >= 6 &&
         ErrorCodeOf(signature.args[5]) == kErrNoPubkey;
}

// A message for the user from someone whose key they lack: what it says is
// theirs to read, and the signature is reported as not checked, never as
// good.
bool SignedByUnknownKey(const Facts& facts) {
  return facts.encrypted && facts.signatures.size() == 1 && IsUnknownKey(*facts.signatures.front());
}

Verdict JudgeSignatures(const Facts& facts) {
  if (facts.signatures.size() > 1) {
    Verdict verdict{kExitSignatureBad,
                    {"This file holds " + std::to_string(facts.signatures.size()) +
                     " signatures; one signed text is expected, so none is accepted:"}};
    for (const StatusLine* line : facts.signatures) {
      verdict.lines.push_back("  " + DescribeSignature(*line));
    }
    return verdict;
  }
  const StatusLine& line = *facts.signatures.front();
  if (line.keyword != "GOODSIG") {
    Verdict verdict{kExitSignatureBad, {}};
    if (line.keyword == "BADSIG") {
      verdict.lines.push_back("WARNING: Bad signature, doesn't match file contents!");
    }
    verdict.lines.push_back(DescribeSignature(line));
    return verdict;
  }
  Verdict verdict{kExitOk, {DescribeSignature(line)}};
  if (!facts.validSigFingerprint.empty()) {
    verdict.lines.push_back("Signature made with key " +
                            EscapeForConsole(facts.validSigFingerprint) + ".");
  }
  if (facts.trustWarning) {
    verdict.lines.push_back(
        "WARNING: this key is not certified as belonging to the user named above.");
  }
  return verdict;
}

int DecodeFailureCode(const Facts& facts, bool expectSignature) {
  if (facts.encrypted) return kExitDecryptError;
  if (expectSignature || !facts.signatures.empty()) return kExitSignatureBad;
  return kExitBadInput;
}

std::string GpgExitLine(int exitCode) {
  return "gpg reported an error (exit code " + std::to_string(exitCode) + ").";
}

const char* RecipientReason(unsigned reason) {
  switch (reason) {
    case 1: return "no key found";
    case 2: return "more than one key matches";
    case 3: return "the key cannot be used for this";
    case 4: return "the key is revoked";
    case 5: return "the key has expired";
    case 9: return "no secret key";
    case 10: return "the key is not certified as belonging to this user";
    case 13: return "the key is disabled";
    case 14: return "not a usable user id";
    default: return "no usable key";
  }
}

std::string RequestedIdOf(const StatusLine& line) {
  const size_t blank = line.rest.find(' ');
  return blank == std::string::npos ? std::string() : EscapeForConsole(line.rest.substr(blank + 1));
}

unsigned ReasonOf(const StatusLine& line) {
  return line.args.empty() ? 0 : ErrorCodeOf(line.args[0]);
}

// Problems with the signing key or its pass phrase; a verdict with exit code
// 0 means there were none.
Verdict JudgeSigner(const Facts& facts) {
  Verdict verdict{kExitOk, {}};
  for (const StatusLine* line : facts.badSigners) {
    verdict.exitCode = kExitSignError;
    verdict.lines.push_back("Cannot sign with the secret key '" + RequestedIdOf(*line) + "': " +
                            RecipientReason(ReasonOf(*line)) + ".");
  }
  if (verdict.exitCode != kExitOk) return verdict;
  if (facts.noSigner) return Fail(kExitSignError, "No secret key to sign with.");
  if (facts.badPassphrase) return Fail(kExitSignError, "Error: Bad pass phrase.");
  if (facts.noPassphrase) return Fail(kExitSignError, "Error: No pass phrase was given.");
  return verdict;
}

unsigned long ImportField(const StatusLine& line, size_t index) {
  return index < line.args.size() ? std::strtoul(line.args[index].c_str(), nullptr, 10) : 0;
}

}  // namespace

std::vector<StatusLine> ParseStatus(std::string_view text) {
  std::vector<StatusLine> lines;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.substr(0, kPrefix.size()) != kPrefix) continue;
    line.remove_prefix(kPrefix.size());
    StatusLine parsed;
    const size_t blank = line.find(' ');
    parsed.keyword = std::string(line.substr(0, blank));
    if (blank != std::string_view::npos) parsed.rest = std::string(line.substr(blank + 1));
    std::string_view words = parsed.rest;
    while (!words.empty()) {
      const size_t next = words.find(' ');
      if (next != 0) parsed.args.emplace_back(words.substr(0, next));
      words = next == std::string_view::npos ? std::string_view() : words.substr(next + 1);
    }
    lines.push_back(std::move(parsed));
  }
  return lines;
}

Verdict JudgeDecode(const GpgOutcome& outcome, bool expectSignature) {
  const Facts facts = Gather(outcome.status);
  if (!outcome.statusComplete) {
    return Fail(DecodeFailureCode(facts, expectSignature), "gpg said too much to be judged.");
  }
  // Without an MDC or AEAD anybody can change an encrypted text unnoticed;
  // gpg.conf's ignore-mdc-error lets gpg hand it out all the same.
  if (facts.encrypted && facts.withoutIntegrity) {
    return Fail(kExitDecryptError,
                "The message is not integrity protected, so it may have been changed on its "
                "way; it is not decrypted.");
  }
  if (facts.encrypted && (!facts.decryptionOkay || facts.decryptionFailed)) {
    return JudgeDecryption(facts);
  }
  const bool unknownSigner = SignedByUnknownKey(facts);
  Verdict verdict{kExitOk, {}};
  if (unknownSigner) {
    verdict.lines = {DescribeSignature(*facts.signatures.front()),
                     "The message was decrypted; its signature was not checked."};
  } else if (!facts.signatures.empty()) {
    verdict = JudgeSignatures(facts);
    if (verdict.exitCode != kExitOk) return verdict;
  } else if (expectSignature) {
    return Fail(kExitSignatureBad, "No signature found in the signed text.");
  }
  if (facts.plaintexts != 1) {
    const char* line = facts.plaintexts > 1 ? "The message holds more than one text."
                       : facts.noData       ? "No PGP data found in the file."
                                            : "No text found in the message.";
    return Fail(DecodeFailureCode(facts, expectSignature), line);
  }
  // gpg ends with an error for a signature it could not check; that one is
  // accounted for, anything else that went wrong is not.
  const bool onlyTheSignatureUnchecked = unknownSigner && !facts.failure;
  if (outcome.exitCode != 0 && !onlyTheSignatureUnchecked) {
    return Fail(DecodeFailureCode(facts, expectSignature), GpgExitLine(outcome.exitCode));
  }
  if (!facts.encrypted && facts.signatures.empty()) {
    verdict.lines.push_back("Note: this message was neither encrypted nor signed.");
  }
  return verdict;
}

Verdict JudgeEncrypt(const GpgOutcome& outcome, bool sign) {
  const Facts facts = Gather(outcome.status);
  Verdict verdict{kExitOk, {}};
  for (const StatusLine* line : facts.badRecipients) {
    verdict.exitCode = kExitNoKey;
    verdict.lines.push_back("Cannot find a usable public key for user ID '" +
                            RequestedIdOf(*line) + "': " + RecipientReason(ReasonOf(*line)) + ".");
  }
  if (verdict.exitCode != kExitOk) return verdict;
  if (facts.noRecipient) return Fail(kExitNoKey, "No usable public key for any recipient.");
  if (sign) {
    verdict = JudgeSigner(facts);
    if (verdict.exitCode != kExitOk) return verdict;
  }
  const bool signedOk = !sign || facts.sigCreated;
  if (outcome.statusComplete && outcome.exitCode == 0 && facts.endEncryption && signedOk) {
    return verdict;
  }
  if (!signedOk) return Fail(kExitSignError, "Signing failed.");
  return Fail(kExitEncryptError, outcome.exitCode != 0 ? GpgExitLine(outcome.exitCode)
                                                       : "Encryption failed.");
}

Verdict JudgeSign(const GpgOutcome& outcome) {
  const Facts facts = Gather(outcome.status);
  Verdict verdict = JudgeSigner(facts);
  if (verdict.exitCode != kExitOk) return verdict;
  if (outcome.statusComplete && outcome.exitCode == 0 && facts.sigCreated) return verdict;
  return Fail(kExitSignError, outcome.exitCode != 0 ? "Signing failed: " + GpgExitLine(outcome.exitCode)
                                                    : "Signing failed.");
}

Verdict JudgeImport(const GpgOutcome& outcome) {
  const Facts facts = Gather(outcome.status);
  if (facts.importResult == nullptr || ImportField(*facts.importResult, 0) == 0) {
    return Fail(kExitKeyAddError, "No keys found in the file.");
  }
  const StatusLine& result = *facts.importResult;
  const unsigned long count = ImportField(result, 0);
  const unsigned long notImported = ImportField(result, 13);
  Verdict verdict{kExitOk, {}};
  for (const StatusLine* line : facts.imported) {
    verdict.lines.push_back("Key added: " + Quoted(RequestedIdOf(*line)));
  }
  verdict.lines.push_back("Keys added: " + std::to_string(ImportField(result, 2)) +
                          ", unchanged: " + std::to_string(ImportField(result, 4)) + ".");
  if (outcome.exitCode != 0 || notImported > 0 || !outcome.statusComplete) {
    verdict.exitCode = kExitKeyAddError;
    verdict.lines.push_back(notImported > 0 ? "Keyring add error: " + std::to_string(notImported) +
                                                  " of " + std::to_string(count) +
                                                  " keys could not be added."
                                            : "Keyring add error: " + GpgExitLine(outcome.exitCode));
  }
  return verdict;
}

namespace {

// The user id after the key id of a *SIG line, as gpg gives it (UTF-8),
// %XX escapes undone.
std::string RawUserIdOf(const StatusLine& line) {
  const size_t blank = line.rest.find(' ');
  return blank == std::string::npos ? std::string() : PercentDecode(line.rest.substr(blank + 1));
}

std::string ValidityOf(const std::string& keyword) {
  if (keyword == "TRUST_UNDEFINED") return "undefined";
  if (keyword == "TRUST_NEVER") return "never";
  if (keyword == "TRUST_MARGINAL") return "marginal";
  if (keyword == "TRUST_FULLY") return "full";
  if (keyword == "TRUST_ULTIMATE") return "ultimate";
  return {};
}

std::string ProblemOf(const std::string& keyword) {
  if (keyword == "BADSIG") return "bad-signature";
  if (keyword == "EXPSIG") return "expired-signature";
  if (keyword == "EXPKEYSIG") return "expired-key";
  if (keyword == "REVKEYSIG") return "revoked-key";
  return "cannot-check";
}

// Days since 1970-01-01 to a civil date (Howard Hinnant's algorithm).
void CivilFromDays(long long days, long long& year, unsigned& month, unsigned& day) {
  days += 719468;
  const long long era = (days >= 0 ? days : days - 146096) / 146097;
  const unsigned dayOfEra = static_cast<unsigned>(days - era * 146097);
  const unsigned yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const unsigned monthIndex = (5 * dayOfYear + 2) / 153;
  day = dayOfYear - (153 * monthIndex + 2) / 5 + 1;
  month = monthIndex < 10 ? monthIndex + 3 : monthIndex - 9;
  year = static_cast<long long>(yearOfEra) + era * 400 + (month <= 2 ? 1 : 0);
}

std::string Digits(long long value, int width) {
  std::string text = std::to_string(value);
  return text.size() < static_cast<size_t>(width) ? std::string(width - text.size(), '0') + text
                                                  : text;
}

bool AllDigits(const std::string& text) {
  return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
}

}  // namespace

std::string IsoTime(const std::string& gpgTime) {
  if (gpgTime.size() == 15 && gpgTime[8] == 'T' && AllDigits(gpgTime.substr(0, 8)) &&
      AllDigits(gpgTime.substr(9))) {
    return gpgTime.substr(0, 4) + "-" + gpgTime.substr(4, 2) + "-" + gpgTime.substr(6, 2) + "T" +
           gpgTime.substr(9, 2) + ":" + gpgTime.substr(11, 2) + ":" + gpgTime.substr(13, 2) + "Z";
  }
  if (!AllDigits(gpgTime) || gpgTime.size() > 12) return {};
  const long long seconds = std::stoll(gpgTime);
  long long year = 0;
  unsigned month = 0, day = 0;
  CivilFromDays(seconds / 86400, year, month, day);
  const long long inDay = seconds % 86400;
  return Digits(year, 4) + "-" + Digits(month, 2) + "-" + Digits(day, 2) + "T" +
         Digits(inDay / 3600, 2) + ":" + Digits(inDay / 60 % 60, 2) + ":" + Digits(inDay % 60, 2) +
         "Z";
}

::VerdictFile DecodeVerdict(const GpgOutcome& outcome) {
  const Facts facts = Gather(outcome.status);
  ::VerdictFile verdict;
  verdict.encrypted = facts.encrypted;
  verdict.signedMessage = !facts.signatures.empty();
  if (facts.signatures.size() > 1) {
    verdict.status = "bad";
    verdict.problem = "several-signatures";
    return verdict;
  }
  if (facts.signatures.empty()) return verdict;
  const StatusLine& signature = *facts.signatures.front();
  const std::string& k = signature.keyword;
  if (k == "GOODSIG") {
    verdict.status = "good";
  } else if (k == "ERRSIG" && signature.args.size() >= 6 &&
             ErrorCodeOf(signature.args[5]) == kErrNoPubkey) {
    verdict.status = "unknown-key";
  } else {
    verdict.status = "bad";
    verdict.problem = ProblemOf(k);
  }
  if (k == "ERRSIG") {
    // ERRSIG <keyid> <pkalgo> <hashalgo> <class> <time> <rc> [<fingerprint>]
    const bool haveFingerprint = signature.args.size() >= 7 && signature.args[6] != "-";
    verdict.fingerprint = haveFingerprint ? signature.args[6]
                          : !signature.args.empty() ? signature.args[0]
                                                     : std::string();
    if (signature.args.size() >= 5) verdict.signedAt = IsoTime(signature.args[4]);
    return verdict;
  }
  // Only a name so far: NameSigner decides whether it is the signer's.
  verdict.keyName = RawUserIdOf(signature);
  for (const StatusLine& line : outcome.status) {
    if (line.keyword == "VALIDSIG" && !line.args.empty()) {
      // VALIDSIG <fpr> <date> <time> <expire> <ver> <reserved> <algo> <hash> <class> <primary>
      verdict.fingerprint = line.args.size() >= 10 ? line.args[9] : line.args[0];
      if (line.args.size() >= 3) verdict.signedAt = IsoTime(line.args[2]);
    } else if (verdict.validity.empty()) {
      verdict.validity = ValidityOf(line.keyword);
    }
  }
  if (verdict.fingerprint.empty() && !signature.args.empty()) verdict.fingerprint = signature.args[0];
  return verdict;
}

std::string SigningKeyFingerprint(const GpgOutcome& outcome) {
  const Facts facts = Gather(outcome.status);
  if (facts.signatures.size() != 1 || facts.signatures.front()->keyword == "BADSIG" ||
      facts.signatures.front()->keyword == "ERRSIG") {
    return {};
  }
  for (const StatusLine& line : outcome.status) {
    if (line.keyword != "VALIDSIG" || line.args.empty()) continue;
    // VALIDSIG <fpr> ... <primary-key-fpr> (the 10th word)
    const std::string& fingerprint = line.args.size() >= 10 ? line.args[9] : line.args[0];
    const bool hex = fingerprint.find_first_not_of("0123456789ABCDEFabcdef") == std::string::npos;
    const bool fits = fingerprint.size() >= 32 && fingerprint.size() <= 64;
    return hex && fits ? fingerprint : std::string();
  }
  return {};
}

std::vector<ImportedKey> ImportedKeys(const GpgOutcome& outcome) {
  std::vector<ImportedKey> keys;
  for (const StatusLine& line : outcome.status) {
    // IMPORT_OK <flags> <fingerprint>; flags 0: nothing changed.
    if (line.keyword != "IMPORT_OK" || line.args.size() < 2) continue;
    const unsigned flags = static_cast<unsigned>(std::strtoul(line.args[0].c_str(), nullptr, 10));
    if (flags != 0) keys.push_back(ImportedKey{line.args[1], flags});
  }
  return keys;
}

}  // namespace pgp2gpg
