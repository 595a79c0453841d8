// The stand-in's key list, "keyring.txt": one key a line, "pub <user id>"
// or "sec <user id> <pass phrase>" (the pass phrase is the last word, so the
// user id may hold blanks and "<...>"). "unverified <user id>" marks a pub
// key as not certified (one added with -ka): its signatures are good but
// their signer is not vouched for. Blank lines, lines starting with '#' and
// lines of any other form are ignored. Pure: no platform header.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace pgpstub {

struct Key {
  bool secret = false;
  std::string userId;
  std::string passPhrase;  // secret keys only
  bool unverified = false;
};

std::vector<Key> ParseKeyring(std::string_view text);

// PGP selects a key by any part of its user id, ignoring case; the first key
// in the list that matches wins. An empty pattern selects nothing.
const Key* FindPublicKey(const std::vector<Key>& keys, std::string_view pattern);
const Key* FirstSecretKey(const std::vector<Key>& keys);
// The secret keys belonging to the full user id a message names.
std::vector<const Key*> SecretKeysOf(const std::vector<Key>& keys, std::string_view userId);
bool HasPublicKey(const std::vector<Key>& keys, std::string_view userId);

// The public key with exactly this user id, or null.
const Key* PublicKeyOf(const std::vector<Key>& keys, std::string_view userId);

// The stand-in's fingerprint of a key: 40 hex digits derived from its user
// id, the same on every run.
std::string Fingerprint(std::string_view userId);
// The key id a signature names, as OpenPGP's: the last 16 hex digits of the
// fingerprint. All that is known of a signer whose key is not in the list.
std::string KeyId(std::string_view userId);

// The mail address of a user id ("Name <a@b>" or a bare "a@b"), lower case;
// empty when it holds none.
std::string MailAddressOf(std::string_view userId);

// The text to append to the key list `existing` so that it gains a "pub"
// line and an "unverified" line for each id; starts with a line end when
// `existing` lacks a final one.
std::string KeyringAppendText(std::string_view existing, const std::vector<std::string>& userIds);

}  // namespace pgpstub
