// How the stand-in client reads mail as it arrives today (RFC 5322 files
// with MIME bodies): what it shows of the headers, which parts are text for
// the window and which are files for the attachment folder. Written for the
// client alone, so that a fault in the module's own MIME reading cannot hide
// in the client's. Everything here is the sender's, so every loop and size
// is bounded. Pure: no platform header; the character-set conversion is
// handed in by the caller.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace mimemail {

// Bounds on what a sender can make the client do.
struct Limits {
  size_t messageBytes = 64u << 20;  // a larger message is not read
  size_t depth = 8;                 // nested multiparts deeper are saved whole
  size_t parts = 256;               // leaf parts shown or saved; the rest are left out
  size_t headerFields = 256;        // per entity
  size_t headerValueBytes = 8192;   // an unfolded field longer than this is cut
};

// Bytes in a charset (as the sender named it; empty for US-ASCII) turned
// into the client's character set. The caller knows the platform's tables.
using CharsetConverter = std::function<std::string(std::string_view bytes, std::string_view charset)>;

// One piece of the message window, in the message's order.
struct Piece {
  bool attachment = false;
  std::string text;   // text: in the client's character set; attachment: the file's bytes
  std::string name;   // attachment: the sender's file name, decoded, not yet made safe
  std::string type;   // attachment: its media type, lower case ("application/pdf")
};

struct ShownMail {
  // "From: ...", "To: ...", "Cc: ...", "Subject: ...", "Date: ..." as far
  // as present, decoded and converted, in that order.
  std::vector<std::pair<std::string, std::string>> headers;
  std::vector<Piece> pieces;
  bool partsLeftOut = false;  // the part limit was reached
};

ShownMail ReadMail(std::string_view message, const CharsetConverter& convert,
                   const Limits& limits = {});

// The decoded value of a header field of the message's top entity ("" when
// absent): for the mailbox list, which needs no body.
std::string DecodedHeader(std::string_view message, std::string_view name,
                          const CharsetConverter& convert, const Limits& limits = {});

// The window's text: the header lines, an empty line, then the pieces in
// their order, texts as they are and each attachment as the line that
// `attachmentLine` makes for it (the client saves the file there); every
// piece ends with a line end. NUL bytes of a text become blanks: the window
// would end the text at the first one.
std::string WindowText(const ShownMail& mail,
                       const std::function<std::string(const Piece&)>& attachmentLine);

// The Windows code page of a charset name (IANA names and common aliases,
// any case); 0 for a charset this client does not know.
unsigned CodePageOfCharset(std::string_view charset);

// --- the pieces, exposed for their own tests ---------------------------------

// Base64 as mail carries it: line ends and any other character outside the
// alphabet are skipped, decoding stops at padding; a damaged tail is dropped.
std::string DecodeBase64(std::string_view text);
// Quoted-printable: "=XX" decoded, soft line breaks ("=" at a line end)
// removed, a malformed "=" kept as it is, trailing blanks of a line dropped.
std::string DecodeQuotedPrintable(std::string_view text);
// RFC 2047 encoded words in an unstructured header value; the blanks between
// two adjacent encoded words are dropped. Control characters become blanks.
std::string DecodeHeaderWords(std::string_view value, const CharsetConverter& convert);

struct ContentField {
  std::string value;  // "multipart/mixed", "attachment": lower case, no blanks
  // Parameter names lower case; RFC 2231 continuations joined and decoded
  // (their charset converted), quoted strings unquoted.
  std::vector<std::pair<std::string, std::string>> parameters;
  std::string Parameter(std::string_view name) const;
};
ContentField ParseContentField(std::string_view value, const CharsetConverter& convert);

// The messages of an mbox file: each starts after a line "From " at the
// start of the file or after an empty line; at most `limit` are returned.
std::vector<std::string_view> SplitMbox(std::string_view file, size_t limit = 10000);

}  // namespace mimemail
