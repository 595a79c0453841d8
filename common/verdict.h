// The verdict file: what the PGP program found, for the module to show
// beside PGP's output. The module names the file in QUILLNET_VERDICT; the
// PGP program (pgp2gpg, the stand-in) writes it, one "key=value" per line,
// CR LF:
//   status=good|bad|unknown-key|none   the signature, if any
//   encrypted=yes|no, signed=yes|no
//   signer=<user id>      a user id of the signing key whose own validity is
//                         full or ultimate; absent when no user id of the key is
//   key_name=<user id>    what the key calls itself (its primary user id), for
//                         a key none of whose user ids is valid: a name, not a
//                         verified identity
//   signer_address=<addr> one line per mail address of a valid user id of the
//                         signing key (lower case)
//   fingerprint=<hex>, signed_at=<YYYY-MM-DDTHH:MM:SSZ>
//   validity=<gpg's word: full, ultimate, marginal, undefined, never, ...>
//                         of the user id named by signer, else of the key
//   problem=<why a signature is bad: bad-signature, expired-key, ...>
//   key_added=<fingerprint> <user id>    one line per user id of a key a -ka
//                         added (only the fingerprint for a key without one)
//   key_updated=<fingerprint> <user id>  one line per user id a -ka added to
//                         a key already there (only the fingerprint when it
//                         added none)
// Several lines of one key stand together, in the order the key lists them.
// The module makes the file (empty, under a new name for every run) before
// the PGP program starts; a program that writes no verdict leaves it empty.
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
  std::string keyName;
  std::vector<std::string> signerAddresses;
  std::string fingerprint;
  std::string signedAt;
  std::string validity;
  std::string problem;
  // fingerprint, user id: one entry per line, as written
  std::vector<std::pair<std::string, std::string>> keysAdded;
  std::vector<std::pair<std::string, std::string>> keysUpdated;
};

std::string FormatVerdictFile(const VerdictFile& verdict);

// Reads what FormatVerdictFile writes; lines it does not know, and lines
// without '=', are skipped. Values are %XX-decoded.
VerdictFile ParseVerdictFile(std::string_view text);
