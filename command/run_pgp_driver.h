// The text decisions of one Run-PGP command: removing '>' quoting from a
// block taken out of a reply, reading a converted-attachment line, the
// option bits and temporary file of each function, the switch from an
// encryption without recipients to a clearsigning, adding the EncryptFor
// default recipient, and refusing a recipient that PGP would read as one of
// its options. Pure; the driver's window, file and dialog calls are in
// run_pgp_driver_win.cpp.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/command_state.h"

// Copies the NUL-terminated text onto itself, dropping `mark` where it
// stands at the very start or directly after a line feed; one mark per
// line, so ">>" keeps its second '>'. NUL-terminates the result and returns
// the number of characters kept. A null text gives 0.
int StripQuoteMarks(char* text, char mark);

// A converted-attachment line found by FindAttachmentLine. Offsets are
// relative to the start of the scan text.
struct AttachmentLine {
  int32_t blockStart = 0;  // first character of the prefix
  int32_t blockEnd = 0;    // just past the path run
  int32_t runStart = 0;    // first character of the path run; the next search starts here
  bool quoted = false;     // a '>' stands right before the prefix
  bool pathTooLong = false;  // the path did not fit; `path` holds its first kPathSize-1 characters
  char path[kPathSize] = {};  // double quotes removed; may be empty
};

// Looks in the first `scanLength` characters of `scan`, from offset `from`
// on, for the first occurrence of the prefix that is followed by a non-empty
// path run. The run ends at the first control character (codes 0-31 and
// 127); characters above 127 belong to it. A run that begins with '"' gives
// the text after that quote up to the next '"' (or the run's end); a run of
// one '"' gives the empty path. Returns false when there is no such line;
// `line` is then not to be used. An empty prefix is never found, so a missing
// AttachmentPrefix cannot match every position.
bool FindAttachmentLine(const char* scan, int32_t scanLength, const char* prefix,
                        int32_t prefixLength, int32_t from, AttachmentLine& line);

// Whether an attachment path taken from a message may be opened: only a
// full path on a drive letter ("X:\\..."), whatever the drive (the user's
// disks, removable media, a network share the user mapped to that letter),
// never a path that names a server ("\\\\server\\share"), a device or a path
// of the system's own namespace ("\\\\.\\", "\\\\?\\"), a name the system takes
// for a device ("con", "nul", "com1", "com\xB9" with a superscript digit, ...
// in any folder, with any extension), a stream ("file:stream") or a
// relative path. The sender writes these lines, so the file is theirs to
// name; a drive letter is the user's own.
bool IsDriveLetterPath(const char* path);

// Which temporary file a request names: TempAscName holds armoured input
// (decode, check, add key), TempBaseName the plain text to encrypt or sign.
enum class PgpFileChoice { TempAscName, TempBaseName };

struct PgpRequestChoice {
  uint16_t flags = 0;
  PgpFileChoice file = PgpFileChoice::TempAscName;
};

// The option bits and the file of a request for `function`, assigned whole.
// NoFunction gives flags 0.
PgpRequestChoice RequestForFunction(PgpFunction function, bool alwaysSign);

// After the confirmation dialog: an encryption (a request with the file, the
// user ids, wiping and encrypting all set) whose recipients are empty
// becomes a clearsigning of the same file.
// Any other flags are returned unchanged. A null recipients counts as empty.
uint16_t FlagsAfterDialog(uint16_t flags, const char* recipients);

// Appends a blank and `encryptFor` when it is set and non-empty and the
// recipients are not empty: the sender's own copy goes with every message
// encrypted for others, and a clearsigning stays one.
void AppendEncryptFor(std::string& recipients, const char* encryptFor);

// The user ids of a recipients text as PGP's command line gives them: split
// at blanks, except inside double quotes ("\"John Doe\"" stays one).
std::vector<std::string> SplitUserIds(const std::string& recipients);

// A refusal that names recipients, each whole: `pattern` (one "%s") filled
// with `names` joined by `separator`. A message box shows at most
// kMessageBoxTextMax characters, so when all of them would not fit, as many
// as fit are named, followed by `more` (one "%u") filled with the number of
// those left unnamed.
std::string NameRecipients(const char* pattern, const std::vector<std::string>& names,
                           const char* separator, const char* more);

// Where a user id lies in the recipients text.
struct UserIdSpan {
  int32_t start = 0;
  int32_t length = 0;
};

// Finds the first user id in the blank-separated recipients that PGP would
// take as an option: its first character after any leading double quotes is
// '-' or '+'. Words are split at every blank, inside quotes too, because the
// program's own argument splitting cannot be relied on; a quoted name such as
// "\"John Doe\"" passes. Returns false when there is none.
bool FindOptionLikeUserId(const char* recipients, UserIdSpan& found);
