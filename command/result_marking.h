// The lines the module writes around PGP's output of a check or a decode,
// so that what the user sees as verified is exactly what PGP vouched for:
// the first says what PGP found (who signed, when, with which key, how far
// that key is vouched for; decrypted or not), the last ends the part PGP
// vouched for. Text of the message outside the PGP block stays outside, on
// lines of its own. Pure; reading the verdict file and the window text is
// the Win32 glue's business.
//
// No text the sender controls can make a line that passes for a marker: a
// line of the message or of PGP's output whose text (after any '>' quote
// marks and blanks) begins with "[-- Quillnet" is shown defused, with
// "(not from Quillnet) " written before it.
#pragma once

#include <string>
#include <string_view>

#include "common/verdict.h"
#include "core/command_state.h"

constexpr std::string_view kMarkerStart = "[-- Quillnet";
constexpr std::string_view kDefuseTag = "(not from Quillnet) ";
constexpr std::string_view kEndMarker = "[-- Quillnet: end of PGP's output --]";

// The first marker for `function` (a check or a decode). `verdict` is what
// the PGP program wrote in the verdict file, null when it wrote none (a
// real PGP 2): the marker then states only what PGP's exit code proves.
// The signer's user id is shown on one line, control characters as '?',
// at most 80 characters of it.
std::string FirstMarker(PgpFunction function, const VerdictFile* verdict);

// Whether a line (from its first character) would pass for a marker: after
// any '>' and blanks it begins with "[-- Quillnet".
bool LooksLikeMarker(std::string_view line);

// The delivered text: `head`, the first marker, PGP's `output`, the end
// marker and `tail`, each marker on a line of its own (a line break is put
// where the head does not end one, or the tail does not begin with one).
// With `quote` ('>', or '\0' for none) every line of the output gets the
// quote mark after its line feed, and so do the markers and the breaks put
// in, as in a reply; the head ends in that mark when the block was quoted.
// Lines that look like markers are defused.
std::string ComposeMarkedText(std::string_view head, std::string_view output,
                              std::string_view tail, char quote, std::string_view firstMarker);
