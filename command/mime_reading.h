// Reading what PGP decoded when it is a MIME entity (the inside of a
// PGP/MIME message, RFC 3156) the way a mail reader shows it, so that the
// user sees the message and not its headers, boundaries and base64. Text
// parts are shown in the client's character set, other parts are saved as
// files and named on attachment lines, forwarded messages and protected
// headers are shown as such. Pure; the platform converts charsets and saves
// files through MimeHost (mime_host_win.h on Windows).
//
// Everything in the entity is the sender's: header values, boundaries,
// charsets, file names, sizes, nesting. Every loop is bounded by the input
// and by MimeLimits, and no text of the sender's can pass for one of the
// module's attachment lines (see ReadMimeEntity).
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "command/attachment_name.h"

// Whether PGP's decoded output is a MIME entity: it begins with a header
// block and that block names a Content-Type. The header block is
// - one or more field lines "Name: value", the name 1 to 76 printable
//   US-ASCII characters other than ':' and blanks (RFC 5322), each line
//   ending in LF or CR LF; a line that begins with a blank or a tab
//   continues the field before it (folding);
// - ended by the first empty line, which lies within the first 64 KiB;
// - with nothing in it that is not a field or folded line, and no more
//   than 512 fields;
// and one of its fields is Content-Type (any case) with a "type/subtype"
// value. So a text that begins "Note: see below", or "Subject: hi" with no
// Content-Type, is not one, and neither is a text with such a line followed
// by a line of prose before the empty line.
bool IsMimeEntity(std::string_view output);

struct MimeLimits {
  int maxDepth = 16;                // multipart and message/rfc822 nesting
  size_t maxParts = 256;            // parts read, attachments saved included
  size_t maxBytes = 32u << 20;      // characters of shown text (text.size())
};

// What the platform does for the reader (the Win32 host, or a test's own).
class MimeHost {
 public:
  virtual ~MimeHost() = default;
  // `bytes` in `charset` (as the entity names it, any case) in the client's
  // character set, nullopt when the platform does not know the charset;
  // `unmappable` += characters the client's set lacks (each shown as '?').
  virtual std::optional<std::string> ConvertCharset(std::string_view charset, std::string_view bytes,
                                                    size_t& unmappable) = 0;
  // Saves a part under a safe name (SafeAttachmentName's) in the attachment
  // folder, never overwriting; returns the line that names it
  // (AttachmentPrefix + the quoted full path), or nullopt with a short
  // reason in `why` when it could not be saved.
  virtual std::optional<std::string> SaveAttachment(const std::string& safeName, std::string_view data,
                                                    std::string& why) = 0;
};

struct MimeReading {
  std::string text;               // what a mail reader shows, CR LF line ends, client character set
  size_t attachmentsSaved = 0;
  size_t unmappable = 0;          // characters shown as '?'
  std::vector<std::string> unknownCharsets;  // as named (shown safely), each once, at most 8
  bool innerSignature = false;    // a multipart/signed part was shown; its signature was NOT checked
  bool incomplete = false;        // malformed or over a limit: shown as far as it could be read
};

// Reads `entity` (PGP's decoded output) as a mail reader shows it:
// - text/plain: transfer encoding undone (quoted-printable, base64, 7bit,
//   8bit, binary), converted from its charset through the host (no charset,
//   or US-ASCII with 8-bit bytes: UTF-8 when the bytes are valid UTF-8,
//   else as they are); a charset the host does not know keeps its bytes,
//   under a line that says so; format=flowed lines joined (with delsp).
// - multipart/alternative: its last text/plain alternative; else a
//   multipart one; else HTML.
// - text/html where it is what there is to show: a readable text of it,
//   and the HTML saved as an attachment.
// - message/rfc822 (not marked as an attachment): a line saying a forwarded
//   message follows, its From, To, Date and Subject, its parts read the same
//   way, and a line where it ends.
// - protected headers (protected-headers="v1" or hp= on the entity, or on
//   the signed part of a multipart/signed entity): its From, To, Date and
//   Subject at the top, once; a legacy-display part (text/rfc822-headers,
//   or a text/plain part marked protected-headers="v1" or
//   hp-legacy-display="1") is then not shown.
// - multipart/signed: its first part shown, the signature part saved,
//   innerSignature set (nobody checked that signature).
// - every other part, and every part with Content-Disposition: attachment:
//   saved through the host under SafeAttachmentName(filename or name
//   parameter, RFC 2231/2047 decoded, in the client's character set), and
//   shown as the line the host returned, on a line of its own; when it
//   could not be saved, a line names it with its type and size and the
//   host's reason.
// - other multiparts (mixed, related, digest, report, …): each part in turn.
// Every line of the text that the sender could have written and that would
// pass for an attachment line (LooksLikeAttachmentLine) gets
// the defuse tag (kDefuseTag) after its leading '>' and blanks, and so does
// an exact occurrence of the prefix inside a line; only the host's
// lines stand undefused. No line of the text
// passes for a marker line of the module's either: those are defused when
// the result is marked, as for every output of PGP.
// Malformed or hostile input (no end boundary, broken base64 or
// quoted-printable, a header over its bound, nesting, parts or text over
// `limits`) is shown as far as it could be read, `incomplete` set and the
// last line saying so; text.size() never exceeds limits.maxBytes.
// nullopt when `entity` is not a MIME entity (IsMimeEntity) or nothing at
// all could be shown: the caller then shows PGP's output as it is.
std::optional<MimeReading> ReadMimeEntity(std::string_view entity, std::string_view attachmentPrefix,
                                          MimeHost& host, const MimeLimits& limits = {});

// What InlineTextForClient did that the user is to be told.
struct InlineConversion {
  size_t unmappable = 0;       // characters the client's set lacks, shown as '?'
  std::string unknownCharset;  // the armour's charset, which the host does not know
};

// A decoded or checked text that is not MIME, in the client's character
// set: from the charset its armour names ("Charset:"), else from UTF-8 when
// it is valid UTF-8 with at least one multi-byte sequence. nullopt when it
// stays as it is (ASCII, bytes of no known form, a charset the host does not
// know; the last named in `conversion`).
std::optional<std::string> InlineTextForClient(std::string_view text, std::string_view armorCharset,
                                               MimeHost& host, InlineConversion& conversion);

// Whether a line of shown text (from its first character) would pass for
// an attachment line of `prefix`: after any '>' and spacing it begins with
// the prefix, compared without case and with the spacing of both left out.
// Spacing is what the eye does not tell from a blank in the client's
// character set: blanks, tabs and other control characters, the no-break
// space (0xA0) and the soft hyphen (0xAD). An empty prefix never matches.
bool LooksLikeAttachmentLine(std::string_view line, std::string_view prefix);
