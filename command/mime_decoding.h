// Undoing what MIME did to a part's bytes: the transfer encodings (RFC 2045:
// base64, quoted-printable), RFC 2047's "Q" encoding of header words, and
// format=flowed text (RFC 3676). Every decoder reads only its input and
// writes at most as many bytes as it read, so a hostile part cannot make
// them grow. Pure.
#pragma once

#include <string>
#include <string_view>

// Appends the bytes of base64 `in` to `out`. Line breaks and blanks are
// skipped, '=' padding ends a group. Returns false when the text was
// broken (a character outside the alphabet, which is skipped, or a lone
// character at the end): what could be decoded is still appended.
bool DecodeBase64(std::string_view in, std::string& out);

// Appends the bytes of quoted-printable `in` to `out`: "=XX" (either case)
// is the byte XX, '=' at the end of a line joins it to the next, blanks at
// the end of a line are dropped (a transport added them), a hard line break
// is written as CR LF. Returns false when an '=' began neither, which is
// then kept as it is.
bool DecodeQuotedPrintable(std::string_view in, std::string& out);

// RFC 2047 "Q": quoted-printable without line breaks, '_' for a blank.
std::string DecodeQEncoding(std::string_view in);

// The lines of a format=flowed text (RFC 3676) with soft line breaks
// joined: space-stuffing removed, a line that ends in a blank continues on
// the next one of the same quote depth (with delsp=yes that blank goes),
// the signature separator "-- " stays a line of its own. Quoted lines are
// written as '>' per level and a blank, then the text. Line ends in and out
// may be LF or CR LF; out they are CR LF.
std::string JoinFlowedLines(std::string_view text, bool delSp);
