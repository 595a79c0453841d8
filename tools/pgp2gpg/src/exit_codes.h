// PGP 2.x's exit codes, the only verdict the module reads from its PGP
// program besides the output file. gpg's own codes (0, 1, 2) say far less,
// so every code here is decided from gpg's status lines instead.
#pragma once

namespace pgp2gpg {

constexpr int kExitOk = 0;
constexpr int kExitBadInput = 1;         // no usable armour in the input
constexpr int kExitFileNotFound = 2;     // input file, or gpg itself
constexpr int kExitFileError = 3;        // an output file cannot be made
constexpr int kExitBadArguments = 5;
constexpr int kExitNoKey = 11;           // a recipient has no usable key
constexpr int kExitKeyAddError = 12;
constexpr int kExitSignError = 20;       // signing failed, bad pass phrase
constexpr int kExitEncryptError = 22;    // encryption failed otherwise
constexpr int kExitSignatureBad = 30;    // bad or unverifiable signature
constexpr int kExitDecryptError = 31;    // bad pass phrase, no secret key

}  // namespace pgp2gpg
