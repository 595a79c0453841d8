// PGP's command line as the module builds it from a request's option bits,
// and the rules that decide when the console waits for the user and when a
// kept pass phrase is forgotten. Pure; the process handling is Win32 glue.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "core/command_state.h"

// Option bits of a PgpRequest's flags.
constexpr uint16_t PGPREQ_ENCRYPT = 0x0001;     // letter e
constexpr uint16_t PGPREQ_CLEARSIG = 0x0002;    // word "+clearsig=on"
constexpr uint16_t PGPREQ_SIGN = 0x0004;        // letter s
constexpr uint16_t PGPREQ_ARMOR = 0x0010;       // letter a
constexpr uint16_t PGPREQ_TEXT = 0x0020;        // letter t
constexpr uint16_t PGPREQ_WIPE = 0x0040;        // letter w
constexpr uint16_t PGPREQ_KEYADD = 0x0100;      // letter k
constexpr uint16_t PGPREQ_PASSPHRASE = 0x2000;  // the run needs the pass phrase
constexpr uint16_t PGPREQ_USERID = 0x4000;      // word: the user ids
constexpr uint16_t PGPREQ_FILE = 0x8000;        // word: the file name

// Letters in the order of "-kaestw", then a blank and each word whose bit is
// set: "+clearsig=on", fileName, userId (null counts as empty). Every word
// is kept whole: a command line too long for Windows is refused as a whole
// (ComposePgpCommandLine), never started with a word left out.
std::string BuildPgpOptions(uint16_t flags, const char* fileName, const char* userId);

// The command line: PgpPath in double quotes (a path with a blank stays one
// word), a blank and the option text. False, with `commandLine` empty, when
// it would pass the kCommandLineMax characters Windows starts a program
// with: PGP must then not be started with a wrong command.
bool ComposePgpCommandLine(const char* pgpPath, const std::string& options,
                           std::string& commandLine);

// Whether the command line of a request fits. The driver asks before PGP
// runs, so that recipients a longer one would need are refused by name.
bool PgpCommandLineFits(const char* pgpPath, uint16_t flags, const char* fileName,
                        const char* userId);

// Whether the system starts the program file itself (.exe, .com), so that
// its full path can be given as the application name; a program-information
// file (.pif) is started through its command line.
bool IsExecutableName(const char* path);

// What PGP's environment gets besides the client's own entries.
struct PgpEnvironment {
  // "PGPPASS=" this value; null gives no PGPPASS of the module's.
  const char* passPhrase = nullptr;
  // With no passPhrase: whether a PGPPASS the client has of its own (set by
  // the user) stays. It is dropped otherwise: only runs that need the pass
  // phrase get it.
  bool keepClientPassPhrase = false;
  // "QUILLNET_VERDICT=" this path; null gives none.
  const char* verdictPath = nullptr;
};

// PGP's environment block: the entries of `current` (a block as
// GetEnvironmentStringsA gives it) without PGPPASS (unless kept, see above)
// and without QUILLNET_VERDICT, plus the entries `extra` asks for, ordered
// by name without regard to case as CreateProcessA expects. Writes into
// `block` when it holds `size` bytes and returns the bytes of the whole
// block (both terminators included); with a null `block` or one too small,
// writes nothing and returns what it needs.
size_t ComposePgpEnvironment(const char* current, const PgpEnvironment& extra, char* block,
                             size_t size);

// KeepOpen >= 0 gives PGP a console of the module's own (a fresh one that
// can outlive PGP); negative leaves consoles to the system.
bool UsesOwnConsole(int32_t keepOpen);

// Whether that console waits for a key or click after PGP has ended:
// always with KeepOpen 0; with KeepOpen positive only when PGP failed or the
// run neither encrypted nor signed (its messages are the result the user
// wants to read); never with KeepOpen negative.
bool ConsoleWaitsForUser(int32_t keepOpen, uint32_t exitCode, uint16_t flags);

// Whether the pass phrase is asked for before the run (it is then kept in
// "PGPPASS" for later runs).
bool AsksPassPhrase(int32_t keepPassword, uint16_t flags);

// Whether "PGPPASS" is removed after the run: PGP's exit codes 20 and 31
// (all 32 bits compared) say the kept pass phrase was wrong.
bool ForgetsPassPhrase(int32_t keepPassword, uint32_t exitCode);

// PGP's exit code counts by its low 16 bits only (0x10000 is success).
bool PgpSucceeded(uint32_t exitCode);

// The exit-code box text: the "PGP returned errorcode" template filled with the low 16
// bits of exitCode, into 128 characters. Returns the length.
constexpr int kExitCodeTextSize = 128;
int FormatPgpExitCode(const char* templateText, uint32_t exitCode,
                      char (&text)[kExitCodeTextSize]);
