// gpg's key listing (--with-colons): the user ids a key holds and how far
// gpg holds each of them valid. A key's validity is that of its best user
// id, so it says nothing about the others: whoever controls a certified key
// can add any name to it. Only a user id that is valid itself may be named
// as the signer. User ids are the sender's text and are taken from this
// listing (which quotes every control character), never from a status line
// that passes them on unquoted. Pure.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/verdict.h"

namespace pgp2gpg {

struct ListedUserId {
  std::string text;      // UTF-8, byte for byte as the key holds it
  std::string validity;  // gpg's letter: f, u, m, q, -, n, r, e, ...
  std::string hash;      // gpg's hash of the user id, to tell two apart
};

struct ListedKey {
  std::string fingerprint;  // of the primary key
  std::string validity;
  std::vector<ListedUserId> userIds;  // as gpg lists them: the primary first
};

// Every key of a listing (or of an import preview), in order. A last line
// without its line end is a listing cut at its bound and is left out, so
// that no user id is taken for a shorter one.
std::vector<ListedKey> ParseKeyListing(std::string_view colons);

// The key whose primary fingerprint is exactly `fingerprint` (letter case
// aside); nullptr when the listing holds none.
const ListedKey* FindKey(const std::vector<ListedKey>& keys, std::string_view fingerprint);

// Field 10 undone: gpg writes a control character, ':' and '\' as \xNN.
std::string UnquoteColonField(std::string_view field);

// The mailbox of a user id, "Name <local@domain>" or a bare
// "local@domain", as it is written; nullopt when it holds none.
std::optional<std::string> MailboxOf(std::string_view userId);

// gpg's word for a validity letter, as the verdict file writes it.
std::string ValidityWord(std::string_view letter);

// Decides who signed, from the signing key's listing: `verdict` comes from
// DecodeVerdict, with the user id gpg named in keyName. A user id whose own
// validity is full or ultimate becomes the signer (the one gpg named when it
// is valid) with its validity, and every valid user id gives its mail
// address; with none valid, keyName is what the key calls itself and the
// validity stays the key's. Without a listing (nullptr) nobody is named as
// the signer.
void NameSigner(const ListedKey* signingKey, VerdictFile& verdict);

// A key that an import added or changed: IMPORT_OK's fingerprint and flags.
struct ImportedKey {
  std::string fingerprint;
  unsigned flags = 0;  // 1 new key, 2 new user ids, 4 new signatures, 8 new subkeys
};

// What the import's verdict says, from the keyring's listing of these keys
// before and after: every user id of a new key (key_added), and the user
// ids an update added to a key already there (key_updated; the fingerprint
// alone when it added none).
VerdictFile ImportVerdict(const std::vector<ImportedKey>& imported,
                          const std::vector<ListedKey>& before,
                          const std::vector<ListedKey>& after);

}  // namespace pgp2gpg
