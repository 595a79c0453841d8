// The verdict file: what the PGP program found, for the module to show
// beside PGP's output. The module names the file in QUILLNET_VERDICT; the
// PGP program (pgp2gpg, the stand-in) writes it, one "key=value" per line,
// CR LF:
//   status=good|bad|unknown-key|none   the signature, if any
//   encrypted=yes|no, signed=yes|no
//   signer=<user id>, fingerprint=<hex>, signed_at=<YYYY-MM-DDTHH:MM:SSZ>
//   validity=<gpg's word: full, ultimate, marginal, undefined, never, ...>
//   problem=<why a signature is bad: bad-signature, expired-key, ...>
//   key_added=<fingerprint> <user id>   one line per key a -ka added
// Values are UTF-8; a control character or '%' in a value is written as
// %XX, so no value can add a line of its own. Unknown keys are ignored, so
// the format can grow. Pure: no platform header.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

struct VerdictFile {
  std::string status = "none";
  bool encrypted = false;
  bool signedMessage = false;
  std::string signer;
  std::string fingerprint;
  std::string signedAt;
  std::string validity;
  std::string problem;
  std::vector<std::pair<std::string, std::string>> keysAdded;  // fingerprint, user id
};

std::string FormatVerdictFile(const VerdictFile& verdict);

// Reads what FormatVerdictFile writes; lines it does not know, and lines
// without '=', are skipped. Values are %XX-decoded.
VerdictFile ParseVerdictFile(std::string_view text);
