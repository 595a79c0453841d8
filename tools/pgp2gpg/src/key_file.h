// A look inside a key file before gpg imports it. gpg imports whatever
// packets an armour holds, secret keys included, and opens compressed
// packets on the way; a key sent in a mail must only ever add public keys,
// so every armoured block is decoded and its packets are checked against
// the kinds a public key is made of. Pure.
#pragma once

#include <string_view>

namespace pgp2gpg {

enum class KeyFileCheck {
  PublicKeysOnly,  // at least one public key and nothing but public-key packets
  NoArmour,        // no "-----BEGIN PGP " block at all
  NoKeys,          // blocks, but no public key in them
  OtherPackets,    // a secret key, compressed data, a message, …
  Damaged,         // bad radix-64 or packet lengths that do not fit
};

struct KeyFileReport {
  KeyFileCheck check = KeyFileCheck::NoArmour;
  int keys = 0;         // public primary keys seen
  int offendingTag = 0; // for OtherPackets: the first packet tag not allowed
};

KeyFileReport CheckKeyFile(std::string_view text);

}  // namespace pgp2gpg
