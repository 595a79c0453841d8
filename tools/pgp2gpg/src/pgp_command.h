// What a PGP 2.x command line asks for, read the way PGP 2 read its words:
// option words first, then the file, then user ids. A user id may look like
// an option ("-o x", "+batchmode"); once the file has been seen it is still
// only a user id. Pure: no platform header.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace pgp2gpg {

enum class Operation {
  Help,       // -h
  Decode,     // no letters: decrypt a message or check a clear signature
  Encrypt,    // -e…, with s also signed
  Sign,       // -s… without encryption: a signed message
  ClearSign,  // -s… +clearsig=on
  AddKey,     // -ka keyfile
};

struct PgpCommand {
  Operation operation = Operation::Help;
  bool armor = false;     // a
  bool sign = false;      // s
  bool textMode = false;  // t
  bool wipe = false;      // w
  std::string file;
  std::vector<std::string> userIds;
  std::string error;  // set: the words are unusable (PGP's exit code 5)
};

using FileExistsFn = std::function<bool(const std::string& path)>;

// The words after the program name. The module writes the file name
// unquoted, so a name with blanks arrives as several words; when
// `fileExists` is given and the first word names no file, the shortest run
// of words that, joined by single blanks, names an existing file is taken
// as the file instead.
PgpCommand ParsePgpCommand(const std::vector<std::string>& words,
                           const FileExistsFn& fileExists = nullptr);

// The file an operation writes, named as PGP names it: the input without
// ".asc" (any case) after decoding, none when the name lacks it; the input
// with ".asc" (armoured) or ".pgp" added otherwise; none for AddKey.
std::optional<std::string> OutputFileOf(const PgpCommand& command);

// One-line usage text for -h and for bad arguments.
const char* UsageText();

}  // namespace pgp2gpg
