// What the module keeps for running PGP from the initialisation until it
// leaves the client: the program found, the two temporary names and the
// kept pass phrase. The extension owns it; the runner and the temporary
// files get it as a parameter.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstring>

#include "core/command_state.h"
#include "runner/temp_files.h"

constexpr int kPgpPathSize = 132;
constexpr int kPassPhraseSize = 64;

// The pass phrase lives here, not in the client's environment: every program
// the client starts would inherit it from there, and any code in the client
// could read it. Only PGP gets it, in a block made for its start.
class KeptPassPhrase {
 public:
  KeptPassPhrase() = default;
  ~KeptPassPhrase() { Clear(); }
  KeptPassPhrase(const KeptPassPhrase&) = delete;
  KeptPassPhrase& operator=(const KeptPassPhrase&) = delete;

  bool present() const { return value_[0] != '\0'; }
  const char* value() const { return value_; }

  template <size_t N>
  void Keep(const char (&text)[N]) {
    static_assert(N <= sizeof value_, "a kept value is never cut");
    Clear();
    std::memcpy(value_, text, strnlen(text, N - 1));
  }
  void Clear() { SecureZeroMemory(value_, sizeof value_); }

 private:
  // Large enough for a value taken over from the environment, which may be
  // longer than anything the dialog accepts.
  char value_[kEnvironmentValueSize] = {};
};

struct PgpSetup {
  // The PGP program's full path (at most 131 characters), the first word of
  // every command line. Found when the module starts.
  char PgpPath[kPgpPathSize] = {};
  // The directory followed by "quillnet", and the same followed by ".asc".
  // Built when the module starts; empty until that succeeds.
  char TempBaseName[kPathSize] = {};
  char TempAscName[kPathSize] = {};
  KeptPassPhrase keptPassPhrase;
};
