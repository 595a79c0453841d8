// The two temporary files PGP works on: choosing their directory, asking
// before leftovers of an earlier run are overwritten, writing and reading a
// file with the optional ANSI/OEM conversion, wiping, and the wording of
// file errors.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "core/command_state.h"
#include "core/failure.h"
#include "runner/pgp_setup_win.h"
#include "runner/temp_files.h"
#include "settings/settings_file_win.h"

// The verdict file of one PGP run, whose name reaches PGP in
// QUILLNET_VERDICT. A file at a name known in advance could be anybody's
// (another user of a shared temporary folder, a leftover): so every run gets
// a new name nobody can guess, made empty by the module alone before PGP
// starts. Still empty after the run, it says PGP wrote no verdict (a PGP 2
// knows nothing of it). Wiped and deleted when the holder goes, on every
// way out of a command.
class TempVerdictFile {
 public:
  TempVerdictFile() = default;
  ~TempVerdictFile() { Wipe(); }
  TempVerdictFile(const TempVerdictFile&) = delete;
  TempVerdictFile& operator=(const TempVerdictFile&) = delete;

  // Wipes the file made before, if any, and makes a new one beside the
  // temporary base name. Returns 0, or the system's error code; name() is
  // then the name that could not be made, for the message.
  DWORD Make(const char* baseName);
  // Wipes and deletes the file this holder made (never one it found).
  void Wipe();

  const char* name() const { return name_.c_str(); }
  bool made() const { return made_; }

 private:
  std::string name_;
  bool made_ = false;
};

// Chooses the directory (PGPtempdir once, else TEMP, else TMP; nothing else:
// the message then says what to set) and builds the two names. The message
// when the directory is unusable; the names are then empty.
Failure ChooseTempFiles(PgpSetup& setup, SettingsRecord& settings);

// Empties both names, so that nothing later writes or wipes a file there.
void ForgetTempNames(PgpSetup& setup);

// Which of the two files an earlier run left behind.
struct Leftovers {
  bool asc = false;
  bool base = false;
  bool any() const { return asc || base; }
};
Leftovers FindLeftovers(const PgpSetup& setup);
// The question before they are overwritten, naming each whole.
std::string LeftoversQuestion(const PgpSetup& setup, Leftovers leftovers);
void WipeLeftovers(const PgpSetup& setup, Leftovers leftovers);

// The value of an environment variable; 0 when it is not set, empty, or
// too long for the 128-character area (a cut value would be silently wrong).
uint32_t ReadEnvironmentValue(const char* name, char (&buffer)[kEnvironmentValueSize]);

// Writes exactly `length` bytes of `text` to `path`, a file made afresh (a
// stale one is wiped first), converted to the OEM character set when
// `convert` is set. False, with the reason in GetLastError, also when fewer
// bytes reached the file than asked, and when the name is a link
// (ERROR_FILE_IS_LINK): nothing is written through it. A name that cannot
// be opened at all gives the system's own error for it.
bool WriteTextFile(const char* text, DWORD length, const char* path, bool convert);

// Reads the whole file (a file on a disk: anything else the name opens is
// refused with ERROR_NOT_A_DISK_FILE) into a new movable block with a terminator after the
// text, converted from the OEM character set when `convert` is set. Returns 0
// and the block and its length, or a non-zero error code with `*text` null
// and `*length` untouched.
DWORD ReadTextFile(HGLOBAL* text, const char* path, DWORD* length, bool convert);

// Overwrites an open file from its start with the wipe pattern, exactly its
// size in bytes, and flushes it to the disk. False at the first failure.
bool OverwriteWithPattern(HANDLE file);

// Whether a file of that name exists (OpenFile's test, which also searches
// the usual places for a bare name). An empty name never exists.
bool FileExists(const char* path);

// Overwrites and deletes the file; a link is deleted without touching the
// file it leads to. Silent: a missing file is the usual case.
void WipeFile(const char* path);

// The message for a file error code, naming the path whole (null counts as
// empty).
std::string FormatFileError(DWORD code, const char* path);
