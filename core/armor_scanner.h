// Finding and classifying PGP ASCII armour in message text. Pure text logic:
// the Run-PGP driver hands in the captured window text, result delivery the
// text PGP wrote; locking their memory blocks is the Win32 glue's business.
//
// The strings are looked for anywhere in the text, not only at line starts,
// and compared byte-exactly. Nothing is decoded: dash-escaped lines and
// quoted-printable text stay as they are and no checksum is looked at.
#pragma once

#include <cstddef>
#include <string_view>
#include <cstdint>

#include "core/command_state.h"

inline constexpr char kBeginPrefix[] = "-----BEGIN PGP ";  // 15 characters
inline constexpr char kEndPrefix[] = "-----END PGP ";      // 13 characters
inline constexpr char kMessageWord[] = "MESSAGE-----";
inline constexpr char kPublicKeyWord[] = "PUBLIC KEY BLOCK-----";
inline constexpr char kSignatureWord[] = "SIGNATURE-----";
inline constexpr char kSignedMessageWord[] = "SIGNED MESSAGE-----";
// The begin line FindPublicKeyText looks for: kBeginPrefix + kPublicKeyWord.
inline constexpr char kPublicKeyLine[] = "-----BEGIN PGP PUBLIC KEY BLOCK-----";

// Where ScanArmor found its block, relative to the start of the text it was
// given (the driver's scan position). The driver copies it into RunState.
struct ArmorBlock {
  int32_t blockStart = 0;  // first dash of the first begin line
  int32_t blockEnd = 0;    // just past the kind word of the end line
  bool quoted = false;     // a '>' stands right before blockStart
};

// The kind word at `position`, the character right after a begin or end
// prefix. Reads no further than the first character that differs from the
// word being tried, so never past the text's terminating NUL.
ArmorKind ClassifyArmorWord(const char* position);
// The same for a text of which only `available` characters from `position`
// may be read; no terminating NUL is needed.
ArmorKind ClassifyArmorWord(const char* position, size_t available);

// The first complete armoured block of `text` and its kind. `block` is always
// rewritten. For Message, Signed and PublicKey it holds the block, and
// blockStart < blockEnd <= the text's length. For None only the fields the
// scan got to are set (blockEnd may then lie past the text: an unrecognised
// end word is measured as 21 characters) and quoted is always false.
// A public key block is reported only for a MessageWindow.
//
// NUL-terminated text; nothing past the NUL is read.
ArmorKind ScanArmor(const char* text, WindowKind windowKind, ArmorBlock& block);
// The first `length` characters of `text`; nothing at or past text + length
// is read, so the driver, which knows the remaining length, spares a second
// pass over a large text. For a NUL-terminated text pass at most its strlen.
// A block whose offsets do not fit 32 bits gives None.
ArmorKind ScanArmor(const char* text, size_t length, WindowKind windowKind,
                    ArmorBlock& block);

// Looks for kPublicKeyLine in `text`. When found, copies from its first dash
// at most `limit` characters (stopping at the text's NUL) into `output`, ends
// them with a NUL and zeroes the rest of output[0..limit]; `output` must hold
// limit + 1 characters. Otherwise only output[0] is set, to NUL. Returns
// whether the line was found. A null text gives false.
bool FindPublicKeyText(const char* text, char* output, size_t limit);
// The same for the first `length` characters of `text`.
bool FindPublicKeyText(const char* text, size_t length, char* output, size_t limit);

// The value of the "Charset:" header line of the armour in `block` (the
// header lines after any BEGIN line, up to the first empty line, looked at
// in each armour of the block: a clear-signed text keeps it with its
// signature), blanks trimmed; empty when there is none.
std::string_view ArmorCharset(std::string_view block);
