// Undoing what MIME did to a part's bytes: the transfer encodings (RFC 2045:
// base64, quoted-printable), RFC 2047's "Q" encoding of header words, and
// format=flowed text (RFC 3676). Every decoder reads only its input and
// writes at most twice as many bytes as it read (a bare LF becomes CR LF),
// so a hostile part cannot make them grow further. Pure; where the
// processor has them, vector instructions decode the long runs.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "core/cpu_vectors.h"

// The room DecodeBase64Into and DecodeQuotedPrintableInto need for `size`
// input characters: the decoded bytes and the few the vector paths write
// past them.
constexpr size_t kDecodeSlack = 32;
constexpr size_t Base64Room(size_t size) { return size / 4 * 3 + 3 + kDecodeSlack; }
constexpr size_t QuotedPrintableRoom(size_t size) { return 2 * size + kDecodeSlack; }

// Writes the bytes of base64 `in` to `out` (Base64Room(in.size()) bytes)
// and returns how many. Line breaks and blanks are skipped, '=' padding
// ends a group. `clean` becomes false when the text was broken (a
// character outside the alphabet, which is skipped, or a lone character at
// the end); what could be decoded is still written. `wideLanes` (only where
// HasAvx2()) decodes long runs 32 characters at a time; the result is the same.
size_t DecodeBase64Into(std::string_view in, char* out, bool& clean, bool wideLanes = HasAvx2());
// The same, appended to a string; returns `clean`.
bool DecodeBase64(std::string_view in, std::string& out);

// Writes the bytes of quoted-printable `in` to `out`
// (QuotedPrintableRoom(in.size()) bytes) and returns how many: "=XX" (either
// case) is the byte XX, '=' at the end of a line joins it to the next,
// blanks at the end of a line are dropped (a transport added them), a line
// break (LF, CR LF or a lone CR) is written as CR LF. `clean` becomes false
// when an '=' began neither, which is then kept as it is. `wideLanes` as for
// base64.
size_t DecodeQuotedPrintableInto(std::string_view in, char* out, bool& clean, bool wideLanes = HasAvx2());
// The same, appended to a string; returns `clean`.
bool DecodeQuotedPrintable(std::string_view in, std::string& out);

// Where the first CR, LF or NUL in `text` is (text.size(): none); the
// shown text is cut into lines there.
size_t FindLineMark(std::string_view text);

// How long the run of whole lines at the start of `text` is (a line starts
// there) in which every line ends in CR LF, holds no other CR, LF or NUL,
// and begins with none of '>', a byte up to 0x20 other than the CR of an
// empty line, 0x7F, 0xA0, 0xAD and `letter` in either case: lines the shown
// text takes as they are, none of which can pass for an attachment line
// whose prefix begins with `letter`.
size_t PlainLinesLength(std::string_view text, char letter);

// RFC 2047 "Q": quoted-printable without line breaks, '_' for a blank.
std::string DecodeQEncoding(std::string_view in);

// The lines of a format=flowed text (RFC 3676) with soft line breaks
// joined: space-stuffing removed, a line that ends in a blank continues on
// the next one of the same quote depth (with delsp=yes that blank goes),
// the signature separator "-- " stays a line of its own. Quoted lines are
// written as '>' per level and a blank, then the text. Line ends in and out
// may be LF or CR LF; out they are CR LF.
std::string JoinFlowedLines(std::string_view text, bool delSp);
