// gpg's arguments for one PGP 2 operation. Every run is non-interactive
// (--batch), never fetches a signer's key from the network (a signed mail
// must not make gpg tell its sender that it is being read), reports on
// standard output (--status-fd 1), writes to an output file we name
// (--output), gives each user id its own -r and puts the file after "--", so
// no user id or file name can become an option. Pure.
#pragma once

#include <string>
#include <vector>

#include "pgp_command.h"

namespace pgp2gpg {

struct GpgRunPlan {
  const PgpCommand* command = nullptr;
  std::string outputPath;     // where gpg writes; unused for AddKey
  bool passPhraseOnStdin = false;  // PGPPASS is piped to gpg's standard input
};

// The arguments after gpg's program name.
std::vector<std::string> BuildGpgArguments(const GpgRunPlan& plan);

// What gpg is given for a recipient. gpg matches a plain word anywhere in a
// user id, so "bob@example.com" would find "Jimbob <jimbob@example.com>";
// an address, bare or as "Name <address>", becomes "<address>", which
// matches only a user id with exactly that mailbox. Anything else (a name, a
// key id, gpg's own "=", "<", "@", "*" forms) is passed as it is.
std::string RecipientForGpg(const std::string& userId);

// The keyring's listing of these keys (their primary fingerprints), with
// every user id's own validity.
std::vector<std::string> KeyListingArguments(const std::vector<std::string>& fingerprints);

// The keys in a key file as gpg reads them, without adding any.
std::vector<std::string> ImportPreviewArguments(const std::string& file);

// Whether the operation may need a secret key's pass phrase; decode is asked
// with whether the input is encrypted (a clear-signed text needs none).
bool NeedsPassPhrase(const PgpCommand& command, bool encryptedInput);

}  // namespace pgp2gpg
