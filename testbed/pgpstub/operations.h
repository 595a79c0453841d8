// The stand-in's operations, written against a small host interface so that
// the same code runs in pgp.exe (files, environment and console of the real
// process) and in-process under test. Pure: no platform header.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/verdict.h"
#include "invocation.h"

namespace pgpstub {

// PGP 2's exit codes, which the module shows to the user and some of which
// (20, 31) make it forget a kept pass phrase.
enum ExitCode : uint32_t {
  kExitOk = 0,
  kExitBadFile = 1,        // unreadable input, no armour, damaged armour
  kExitNotFound = 2,       // input file does not exist
  kExitFileError = 3,      // output file cannot be written
  kExitBadArguments = 5,
  kExitNoMemory = 7,
  kExitNoKey = 11,         // a user id matches no public key
  kExitKeyAdd = 12,        // no usable key block, or the key list cannot grow
  kExitSignFailed = 20,    // no secret key, no or wrong pass phrase
  kExitBadSignature = 30,
  kExitDecryptFailed = 31, // no secret key for the message, no or wrong pass phrase
};

enum class ReadStatus { Ok, NotFound, Failed };

class Host {
 public:
  virtual ~Host() = default;
  virtual ReadStatus ReadWholeFile(const std::string& path, std::string& bytes) = 0;
  virtual bool WriteWholeFile(const std::string& path, std::string_view bytes) = 0;
  virtual bool AppendToFile(const std::string& path, std::string_view bytes) = 0;
  // Overwrites the file's contents, then deletes it.
  virtual bool WipeFile(const std::string& path) = 0;
  // Asked only when an operation needs it; nothing when none can be had.
  virtual std::optional<std::string> PassPhrase() = 0;
  virtual void Say(std::string_view line) = 0;       // progress, results
  virtual void Complain(std::string_view line) = 0;  // errors
};

// Carries out the invocation. With `verdict`, fills in what a decode or a
// check found (encrypted, signed, by whom, how good) and the keys a -ka
// added, for the verdict file the module may ask for.
uint32_t RunInvocation(const Invocation& invocation, const std::string& keyringPath, Host& host,
                       VerdictFile* verdict = nullptr);

}  // namespace pgpstub
