// gpg's machine-readable account of a run (--status-fd), and the verdicts
// PGP 2 would have given: an exit code and a few short console lines. gpg's
// human text is never read for a verdict. Pure.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "common/verdict.h"
#include "key_listing.h"

namespace pgp2gpg {

struct StatusLine {
  std::string keyword;
  std::vector<std::string> args;  // blank-separated words after the keyword
  std::string rest;               // everything after the keyword and its blank
};

// Only lines that begin with "[GNUPG:] " count; anything else is ignored.
std::vector<StatusLine> ParseStatus(std::string_view text);

struct Verdict {
  int exitCode = 0;
  std::vector<std::string> lines;  // for the console, already escaped
};

// What the caller knew before gpg ran, and how gpg's run ended.
struct GpgOutcome {
  std::vector<StatusLine> status;
  int exitCode = 0;            // gpg's own exit code
  bool statusComplete = true;  // false: more status than we keep
};

// A decode: a "BEGIN PGP MESSAGE" block (encrypted and/or signed) or, with
// expectSignature, a clear-signed text. Success needs a clean decryption
// where there was encryption, exactly one text, and, where there is a
// signature, exactly one verdict that is GOODSIG.
Verdict JudgeDecode(const GpgOutcome& outcome, bool expectSignature);

// Encryption for recipients, signed too with `sign`.
Verdict JudgeEncrypt(const GpgOutcome& outcome, bool sign);

// A signed message or a clear signature.
Verdict JudgeSign(const GpgOutcome& outcome);

// Adding keys to the keyring.
Verdict JudgeImport(const GpgOutcome& outcome);

// What the module's verdict file says of a decode or a check, as far as
// gpg's status tells it: whether the input was encrypted and signed, the
// signature's status (good, bad, unknown-key, none) and why a bad one is
// bad, the primary key's fingerprint, the signature's time (UTC) and gpg's
// validity of the key. The user id gpg names is only the key's name here
// (keyName); NameSigner decides from the key's listing who signed.
::VerdictFile DecodeVerdict(const GpgOutcome& outcome);

// The primary fingerprint of the key that made the one signature gpg could
// check (from VALIDSIG), to list that key exactly; "" when there is none.
std::string SigningKeyFingerprint(const GpgOutcome& outcome);

// The keys an import added or changed (IMPORT_OK with flags).
std::vector<ImportedKey> ImportedKeys(const GpgOutcome& outcome);

// A signature time as gpg reports it (seconds since 1970, or
// "YYYYMMDDTHHMMSS") in the form "YYYY-MM-DDTHH:MM:SSZ"; "" when unreadable.
std::string IsoTime(const std::string& gpgTime);

}  // namespace pgp2gpg
