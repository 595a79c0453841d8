// The lines the module writes around PGP's output of a check or a decode,
// so that what the user sees as verified is exactly what PGP vouched for:
// the first says what PGP found (who signed, when, with which key, how far
// that key is vouched for; decrypted or not), the last ends the part PGP
// vouched for. Text of the message outside the PGP block stays outside, on
// lines of its own. Pure; reading the verdict file and the window text is
// the Win32 glue's business.
//
// No text the sender controls can make a line that passes for a marker.
// What passes is judged on the text as a reader sees it: case, no-break and
// doubled blanks, soft hyphens, dashes of other widths, invisible control
// characters and the letters that look like 'i' (I, l, 1, |, !) do not make
// a difference, and "[-- Quillnet" counts wherever it stands in a line. Every
// such place in the message or in PGP's output gets the defuse tag written
// right before it, joined to it by no-break spaces so that no wrapping of
// the line can part them.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "common/verdict.h"
#include "core/command_state.h"

constexpr std::string_view kMarkerStart = "[-- Quillnet";
// "(not from Quillnet) " with no-break spaces (0xA0 in the Windows
// character sets), so that the window's word wrapping keeps it in front of
// what it tags.
constexpr std::string_view kDefuseTag = "(not\xA0" "from\xA0" "Quillnet)\xA0";
constexpr std::string_view kEndMarker = "[-- Quillnet: end of PGP's output --]";

// The wording of the first marker and of the keys-added list: the module's
// string table, which the Win32 glue loads (native tests read the same
// table from its source). A "%s" takes a text, a "%u" a number.
struct MarkerTexts {
  std::string decrypted, notEncrypted, plain, notSigned, noSignature;
  std::string goodFrom, goodUnverified, validityUnknown, keyCallsItself;
  std::string unknownKey, unknownKeyNamed, bad, badProblem, unnamedSigner;
  std::string made, key, fromUnverified;
  std::string innerSignature, unknownCharset, unmappableOne, unmappable, damaged;
  std::string noVerdictCheck, noVerdict;
  std::string moreKeyOne, moreKeys, keyYouHad, noNewUserId, noUserId, moreUserIds, noFingerprint;
};
// The texts by their string ids, through `load`.
MarkerTexts LoadMarkerTexts(const std::function<std::string(int id)>& load);

// What else the first marker says about the text below it.
struct MarkerNotes {
  std::string_view fromAddress;  // the message's From: address; empty when it shows none
  size_t unmappable = 0;         // characters the Windows character set lacks, shown as '?'
  std::string_view unknownCharset;  // a charset shown as its bytes; empty when none
  bool innerSignature = false;   // a signed part inside the decoded mail, not checked
  bool incomplete = false;       // a MIME entity shown only as far as it could be read
};

// The first marker for `function` (a check or a decode). `verdict` is what
// the PGP program wrote in the verdict file, null when it wrote none (a
// real PGP 2): the marker then states only what PGP's exit code proves.
// User ids are shown by ShownUserId.
std::string FirstMarker(PgpFunction function, const VerdictFile* verdict, const MarkerTexts& texts,
                        const MarkerNotes& notes = {});

// A user id as the module shows it inside its own lines: in double quotes,
// on one line (control characters as '?'), brackets as parentheses so it
// can neither open nor close a marker, blank runs as one blank, and cut in
// its middle, where a long forged id hides its difference least, with
// "..." in place of what was left out.
std::string ShownUserId(std::string_view userId);

// The position of the first place at or after `from` where the text, as a
// reader sees it, says "[-- Quillnet" (its '['), or npos. A match never
// runs across a line feed.
size_t FindLookAlikeMarker(std::string_view text, size_t from = 0);

// The address of the From: line in the header lines at the top of the
// message text (up to its first empty line), the part in angle brackets when
// there is one; empty when the text shows no From: line with an address.
std::string_view FromAddressOf(std::string_view messageText);

// The list of the keys-added box: every key, its fingerprint first (in
// groups of four), then its user ids as ShownUserId shows them; a key that
// was there before is said to have gained them. Past `maxLines` lines the
// list ends with how many keys it leaves out, which PGP's own output names.
std::string KeysAddedList(const VerdictFile& verdict, const MarkerTexts& texts,
                          size_t maxLines = 24);

// Whether the '[' at `at` begins such a place.
bool IsLookAlikeAt(std::string_view text, size_t at);

// Whether the look-alike at `at` carries the defuse tag right before it.
bool IsDefused(std::string_view text, size_t at);

// Whether a line would pass for a marker: it holds a look-alike without the
// defuse tag in front of it.
bool LooksLikeMarker(std::string_view line);

// The delivered text: `head`, the first marker, PGP's `output`, the end
// marker and `tail`, each marker on a line of its own (a line break is put
// where the head does not end one, or the tail does not begin with one).
// With `quote` ('>', or '\0' for none) every line of the output gets the
// quote mark after its line feed, and so do the markers and the breaks put
// in, as in a reply; the head ends in that mark when the block was quoted.
// Look-alikes are defused; so are occurrences of `attachmentPrefix` (when
// not empty) in the output, which would otherwise pass for the client's own
// attachment lines. The same text as the in-place splice builds.
std::string ComposeMarkedText(std::string_view head, std::string_view output,
                              std::string_view tail, char quote, std::string_view firstMarker,
                              std::string_view attachmentPrefix = {});
