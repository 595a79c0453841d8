#include "command/mime_reading.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <vector>

#include "command/charset_names.h"
#include "command/html_text.h"
#include "command/mime_decoding.h"
#include "command/mime_headers.h"
#include "command/result_marking.h"
#include "core/text_chars.h"
#include "core/text_lines.h"

namespace {

constexpr std::string_view kDefuse = kDefuseTag;
// Room kept at the end of the text for the defusing of its last line and
// the line that says the message was not read in full.
constexpr size_t kNoteReserve = 1024;
// An attachment line is the prefix (at most 31 characters), the quotes and
// a path Windows takes; a part is saved only while this much room is left,
// so that its line can be shown.
constexpr size_t kHostLineRoom = 512;
// A boundary is at most 70 characters (RFC 2046); more is not a boundary.
constexpr size_t kBoundaryMax = 200;
// Header values shown (a Subject, a From) and names in notes.
constexpr size_t kShownValueMax = 998;
constexpr size_t kShownNameMax = 200;
constexpr size_t kUnknownCharsetsMax = 8;
constexpr size_t kCharsetNameMax = 40;
// A legacy-display part repeats a few header lines; no more than this is looked at.
constexpr size_t kLegacyDisplayMax = 8 * 1024;


std::string Lower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = LowerAscii(c);
  return lower;
}

// Letters and digits only, lower case: "UTF-8" and "utf8" alike.
std::string LooseName(std::string_view name) {
  std::string key;
  for (char c : name.substr(0, 64)) {
    const char lower = LowerAscii(c);
    if ((lower >= 'a' && lower <= 'z') || (lower >= '0' && lower <= '9')) key += lower;
  }
  return key;
}

// Charsets in which a text of ASCII bytes is not the same ASCII text.
bool MayHideTextInAscii(std::string_view looseName) {
  for (std::string_view mark : {"utf7", "utf16", "utf32", "ucs", "unicode", "2022", "hz"})
    if (looseName.find(mark) != std::string_view::npos) return true;
  return false;
}

// The text the sender wrote in a note of ours: one line, control characters
// as blanks, bounded.
std::string OneLine(std::string_view text, size_t max) {
  std::string line;
  for (char c : text.substr(0, max)) line += IsControl(c) ? ' ' : c;
  if (text.size() > max) line += "...";
  return line;
}

// The text of the module's notes: one line in brackets.
std::string Note(std::string_view text) { return "[" + std::string(text) + "]"; }

// --- the shown text ---------------------------------------------------------

// Collects the text the user sees: line ends made CR LF, NUL (which would
// end the text in the client's window) shown as '?', bounded, and every line
// that did not come from the host checked, when it ends, for a look-alike
// attachment line.
class ShownText {
 public:
  ShownText(std::string_view prefix, size_t maxBytes) : prefix_(prefix), maxBytes_(maxBytes) {
    const size_t reserve = std::min(kNoteReserve, maxBytes / 2);
    textLimit_ = reserve < 32 ? 0 : maxBytes - reserve;
  }

  // Text of the sender's, or built from it.
  void Append(std::string_view text) {
    if (text.size() > 4096 && !full_)
      out_.reserve(std::min(textLimit_ + kNoteReserve, out_.size() + text.size() + text.size() / 16));
    size_t pos = 0;
    if (skipLineFeed_ && !text.empty() && text[0] == '\n') pos = 1;
    skipLineFeed_ = false;
    while (pos < text.size() && !full_) {
      pos = AppendPlainLines(text, pos);
      if (pos == text.size()) break;
      const size_t mark = pos + FindLineMark(text.substr(pos));
      AppendPiece(text.substr(pos, mark - pos));
      if (mark == text.size()) break;
      pos = mark + 1;
      if (text[mark] == '\0') {
        AppendPiece("?");
        continue;
      }
      if (text[mark] == '\r' && pos < text.size() && text[pos] == '\n') ++pos;
      if (text[mark] == '\r' && pos == text.size()) skipLineFeed_ = true;
      EndLine();
    }
  }
  void AppendLine(std::string_view line) {
    StartLine();
    Append(line);
    StartLine();
  }
  // One of the host's attachment lines, as it is; false when it does not fit.
  bool AppendHostLine(std::string_view line) {
    StartLine();
    if (full_ || out_.size() + line.size() + 2 > textLimit_) return false;
    out_.append(line);
    out_.append("\r\n");
    lineStart_ = out_.size();
    return true;
  }
  void StartLine() {
    if (out_.size() > lineStart_) EndLine();
  }
  // An empty line before what follows, unless at the very start.
  void StartParagraph() {
    StartLine();
    if (out_.empty() || full_ || EndsWithEmptyLine()) return;
    if (out_.size() + 2 > textLimit_) {
      full_ = true;
      return;
    }
    out_.append("\r\n");
    lineStart_ = out_.size();
  }
  size_t Room() const { return full_ || out_.size() >= textLimit_ ? 0 : textLimit_ - out_.size(); }
  bool full() const { return full_; }
  bool empty() const { return out_.empty(); }

  std::string Finish(std::string_view lastLine) {
    StartLine();
    if (!lastLine.empty() && out_.size() + lastLine.size() + 2 <= maxBytes_) {
      out_.append(lastLine);
      out_.append("\r\n");
    }
    return std::move(out_);
  }

 private:
  bool EndsWithEmptyLine() const {
    return out_.size() >= 4 && out_.compare(out_.size() - 4, 4, "\r\n\r\n") == 0;
  }

  // The whole lines at `pos` that end in CR LF, fit, and need nothing done
  // to them, copied at once: line by line each would be copied as it is and
  // get its CR LF back, and a long text is mostly such lines. Returns where
  // the first line that is not one starts.
  size_t AppendPlainLines(std::string_view text, size_t pos) {
    if (out_.size() != lineStart_ || out_.size() > textLimit_) return pos;
    const std::string_view rest = text.substr(pos);
    size_t run = PlainLinesLength(rest, PrefixLetter());
    // A line fits when its text does; its CR LF has the room kept.
    const size_t room = textLimit_ - out_.size();
    if (run > room + 2) run = LinesUpTo(rest, room + 2);
    // An exact prefix inside a line is defused: that line goes line by line.
    const size_t inside = prefix_.empty() ? std::string_view::npos : rest.substr(0, run).find(prefix_, 1);
    if (inside != std::string_view::npos) run = LinesUpTo(rest, inside);
    out_.append(rest.substr(0, run));
    lineStart_ = out_.size();
    // As line by line: a text that ends in a line break lets the next one
    // begin with the LF of a CR LF cut between the two.
    if (run > 0 && run == rest.size()) skipLineFeed_ = true;
    return pos + run;
  }

  // The first character of the prefix that LooksLikeAttachmentLine
  // compares ('>' when there is none: a line beginning so is checked anyway).
  char PrefixLetter() const {
    for (char c : prefix_)
      if (!IsSpacing(c)) return c;
    return '>';
  }

  // The whole lines of `text` that end at or before `at`.
  static size_t LinesUpTo(std::string_view text, size_t at) {
    const size_t lastBreak = at == 0 ? std::string_view::npos : text.rfind('\n', at - 1);
    return lastBreak == std::string_view::npos ? 0 : lastBreak + 1;
  }

  // A piece of a line (no line break or NUL in it).
  void AppendPiece(std::string_view piece) {
    if (out_.size() + piece.size() > textLimit_) {
      piece = piece.substr(0, textLimit_ > out_.size() ? textLimit_ - out_.size() : 0);
      full_ = true;
    }
    out_.append(piece);
  }

  // Ends the line that began at lineStart_, defusing it when it would pass
  // for an attachment line.
  void EndLine() {
    DefuseInsideLine();
    const std::string_view line = std::string_view(out_).substr(lineStart_);
    if (LooksLikeAttachmentLine(line, prefix_)) {
      size_t lead = 0;
      while (lead < line.size() && (line[lead] == '>' || IsSpacing(line[lead]))) ++lead;
      out_.insert(lineStart_ + lead, kDefuse);
    }
    out_.append("\r\n");
    lineStart_ = out_.size();
  }

  // The module follows an attachment prefix wherever it stands in a line:
  // one inside the line, written exactly, is defused too. Where the tags
  // would take the text past its bound, the line ends before the first.
  void DefuseInsideLine() {
    if (prefix_.empty()) return;
    std::vector<size_t> found;
    for (size_t at = out_.find(prefix_, lineStart_ + 1); at != std::string::npos;
         at = out_.find(prefix_, at + prefix_.size()))
      found.push_back(at);
    if (found.empty()) return;
    if (out_.size() + found.size() * kDefuse.size() > textLimit_) {
      out_.resize(found.front());
      full_ = true;
      return;
    }
    std::string line = out_.substr(lineStart_);
    out_.resize(lineStart_);
    size_t from = 0;
    for (size_t at : found) {
      out_.append(line, from, at - lineStart_ - from);
      out_.append(kDefuse);
      from = at - lineStart_;
    }
    out_.append(line, from);
  }

  std::string_view prefix_;
  size_t maxBytes_;
  size_t textLimit_;
  std::string out_;
  size_t lineStart_ = 0;
  bool full_ = false;
  bool skipLineFeed_ = false;  // the last piece ended in CR; an LF next belongs to it
};

// --- the parts -------------------------------------------------------------

// What the header of a part says about it.
struct PartInfo {
  std::string type;     // "text", lower case
  std::string subtype;  // "plain"
  StructuredValue contentType;
  bool attachment = false;  // Content-Disposition: attachment
  StructuredValue disposition;
  std::string encoding;  // Content-Transfer-Encoding, lower case
  std::string MediaType() const { return type + "/" + subtype; }
};

PartInfo DescribePart(const HeaderBlock& header, bool digest) {
  PartInfo part;
  if (const auto value = FieldValue(header, "Content-Type")) part.contentType = ParseStructuredValue(*value);
  // No type, or one without a subtype: RFC 2045's default (RFC 2046's in a digest).
  if (part.contentType.type.empty() || part.contentType.subtype.empty()) {
    part.contentType.type = digest ? "message" : "text";
    part.contentType.subtype = digest ? "rfc822" : "plain";
  }
  part.type = part.contentType.type;
  part.subtype = part.contentType.subtype;
  if (const auto value = FieldValue(header, "Content-Disposition")) {
    part.disposition = ParseStructuredValue(*value);
    part.attachment = part.disposition.type == "attachment";
  }
  if (const auto value = FieldValue(header, "Content-Transfer-Encoding")) {
    part.encoding = Lower(*value);
    part.encoding = part.encoding.substr(0, part.encoding.find_first_of(" \t;("));
  }
  return part;
}

bool IsKnownEncoding(std::string_view encoding) {
  return encoding.empty() || encoding == "7bit" || encoding == "8bit" || encoding == "binary" ||
         encoding == "base64" || encoding == "quoted-printable";
}

// A part's bytes with its transfer encoding undone, in a buffer that is
// left uninitialised (it is written before it is read) and reused from
// part to part.
struct Decoded {
  std::unique_ptr<char[]> buffer;
  size_t capacity = 0;
  std::string_view bytes;
  bool clean = true;

  char* Room(size_t size) {
    if (size > capacity) {
      buffer.reset(new char[size]);
      capacity = size;
    }
    return buffer.get();
  }
};

void DecodeInto(std::string_view encoding, std::string_view body, Decoded& decoded) {
  decoded.clean = true;
  if (encoding == "base64") {
    char* out = decoded.Room(Base64Room(body.size()));
    decoded.bytes = std::string_view(out, DecodeBase64Into(body, out, decoded.clean));
  } else if (encoding == "quoted-printable") {
    char* out = decoded.Room(QuotedPrintableRoom(body.size()));
    decoded.bytes = std::string_view(out, DecodeQuotedPrintableInto(body, out, decoded.clean));
  } else {
    decoded.bytes = body;
  }
}

// The parts of a multipart body, between its delimiter lines ("--" and the
// boundary, blanks after it allowed, "--" after the last).
struct Multipart {
  std::vector<std::string_view> parts;
  bool opened = false;  // a first delimiter was found
  bool closed = false;  // the close delimiter was found
  bool cut = false;     // more parts than were taken
};

// The delimiter line at or after `from`: where it starts, where the next
// line starts, and whether it is the close delimiter.
struct Delimiter {
  size_t start;
  size_t next;
  bool close;
};

std::optional<Delimiter> FindDelimiter(std::string_view body, std::string_view dashBoundary, size_t from) {
  for (size_t at = body.find(dashBoundary, from); at != std::string_view::npos;
       at = body.find(dashBoundary, at + 1)) {
    if (at > 0 && body[at - 1] != '\n') continue;
    size_t pos = at + dashBoundary.size();
    const bool close = body.substr(pos, 2) == "--";
    if (close) pos += 2;
    while (pos < body.size() && (body[pos] == ' ' || body[pos] == '\t')) ++pos;
    if (pos < body.size() && body[pos] == '\r') ++pos;
    if (pos < body.size() && body[pos] != '\n') continue;
    return Delimiter{at, std::min(pos + 1, body.size()), close};
  }
  return std::nullopt;
}

Multipart SplitMultipart(std::string_view body, std::string_view boundary, size_t maxParts) {
  Multipart result;
  const std::string dashBoundary = "--" + std::string(boundary);
  std::optional<Delimiter> delimiter = FindDelimiter(body, dashBoundary, 0);
  result.opened = delimiter.has_value();
  while (delimiter && !delimiter->close) {
    if (result.parts.size() >= maxParts) {
      result.cut = true;
      return result;
    }
    const size_t start = delimiter->next;
    delimiter = FindDelimiter(body, dashBoundary, start);
    // The line break before a delimiter belongs to it.
    size_t end = delimiter ? delimiter->start : body.size();
    if (delimiter && end > start && body[end - 1] == '\n') --end;
    if (delimiter && end > start && body[end - 1] == '\r') --end;
    result.parts.push_back(body.substr(start, end - start));
  }
  result.closed = delimiter.has_value();
  return result;
}

// --- the reader --------------------------------------------------------------

class Reader {
 public:
  Reader(std::string_view prefix, MimeHost& host, const MimeLimits& limits)
      : host_(host), limits_(limits), shown_(prefix, limits.maxBytes) {}

  void ReadRoot(std::string_view entity) {
    const HeaderBlock header = ReadHeaderBlock(entity);
    ShowProtectedHeaders(entity, header);
    ReadEntity(entity, header, 0, false);
  }

  std::optional<MimeReading> Finish() {
    shown_.StartLine();
    if (shown_.empty()) return std::nullopt;
    if (shown_.full()) Incomplete("longer than " + std::to_string(limits_.maxBytes) + " characters");
    std::string last;
    if (reading_.incomplete) {
      last = Note("Quillnet could not read all of this message (" + reason_ +
                  "); it is shown as far as it could be read.");
    }
    reading_.text = shown_.Finish(last);
    return std::move(reading_);
  }

 private:
  void Incomplete(std::string_view reason) {
    if (!reading_.incomplete) reason_ = std::string(reason);
    reading_.incomplete = true;
  }

  // Counts a part against the limit; false when it is over.
  bool TakePart() {
    if (parts_ >= limits_.maxParts) {
      Incomplete("more than " + std::to_string(limits_.maxParts) + " parts");
      return false;
    }
    ++parts_;
    return true;
  }

  void ReadEntity(std::string_view entity, const HeaderBlock& header, int depth, bool digest) {
    if (!TakePart()) return;
    if (!header.complete) Incomplete("a header too long to read");
    const std::string_view body = entity.substr(header.bodyStart);
    const PartInfo part = DescribePart(header, digest);
    if (depth > limits_.maxDepth) {
      Incomplete("parts nested too deep");
      return ShowText(body, "", false, false);
    }
    if (part.type == "multipart") return ReadMultipart(part, body, depth);
    if (part.attachment || !IsKnownEncoding(part.encoding)) return Save(part, body);
    if (part.type == "message" && (part.subtype == "rfc822" || part.subtype == "global"))
      return ShowForwarded(part, body, depth);
    if (part.type == "text" && (part.subtype == "plain" || part.subtype == "rfc822-headers"))
      return ShowTextPart(part, body, depth);
    if (part.type == "text" && part.subtype == "html") return ShowHtml(part, body);
    Save(part, body);
  }

  void ReadPart(std::string_view entity, int depth, bool digest) {
    ReadEntity(entity, ReadHeaderBlock(entity), depth, digest);
  }

  void ReadMultipart(const PartInfo& part, std::string_view body, int depth) {
    const Parameter* boundary = FindParameter(part.contentType, "boundary");
    if (!boundary || boundary->value.empty() || boundary->value.size() > kBoundaryMax) {
      Incomplete("a multipart without a boundary");
      return ShowText(body, "", false, false);
    }
    const size_t left = limits_.maxParts > parts_ ? limits_.maxParts - parts_ : 0;
    const Multipart multipart = SplitMultipart(body, boundary->value, left + 1);
    if (!multipart.opened) {
      Incomplete("no part boundary");
      return ShowText(body, "", false, false);
    }
    if (!multipart.closed) Incomplete("no end boundary");
    if (part.subtype == "alternative") return ReadAlternative(multipart.parts, depth);
    if (part.subtype == "signed") return ReadSigned(multipart.parts, depth);
    for (std::string_view child : multipart.parts) {
      if (shown_.full()) break;
      ReadPart(child, depth + 1, part.subtype == "digest");
    }
    if (multipart.cut) Incomplete("more than " + std::to_string(limits_.maxParts) + " parts");
  }

  // The plain text a mail reader without HTML prefers: the last text/plain
  // alternative, else the last multipart one, else the last HTML one, else
  // the last.
  void ReadAlternative(const std::vector<std::string_view>& alternatives, int depth) {
    if (alternatives.empty()) return;
    size_t best = alternatives.size() - 1;
    int bestScore = -1;
    for (size_t i = 0; i < alternatives.size(); ++i) {
      const PartInfo part = DescribePart(ReadHeaderBlock(alternatives[i]), false);
      const int score = part.attachment                                      ? 0
                        : part.type == "text" && part.subtype == "plain"     ? 3
                        : part.type == "multipart"                           ? 2
                        : part.type == "text" && part.subtype == "html"      ? 1
                                                                             : 0;
      if (score >= bestScore) best = i, bestScore = score;
    }
    ReadPart(alternatives[best], depth + 1, false);
  }

  // Nobody checked this signature: its content is shown, the signature kept.
  void ReadSigned(const std::vector<std::string_view>& parts, int depth) {
    reading_.innerSignature = true;
    for (size_t i = 0; i < parts.size(); ++i) {
      if (i == 0) {
        ReadPart(parts[0], depth + 1, false);
      } else {
        if (!TakePart()) return;
        const HeaderBlock header = ReadHeaderBlock(parts[i]);
        Save(DescribePart(header, false), parts[i].substr(header.bodyStart));
      }
    }
  }

  // --- text ---------------------------------------------------------------

  void ShowTextPart(const PartInfo& part, std::string_view body, int depth) {
    // The text is shown before another part is decoded: the scratch serves.
    Decoded& decoded = scratch_;
    DecodeInto(part.encoding, body, decoded);
    if (!decoded.clean) Incomplete("a text part with broken " + part.encoding);
    const Parameter* charset = FindParameter(part.contentType, "charset");
    const Parameter* format = FindParameter(part.contentType, "format");
    const Parameter* delSp = FindParameter(part.contentType, "delsp");
    const bool flowed = format && Lower(format->value) == "flowed";
    const Parameter* legacyDisplay = FindParameter(part.contentType, "hp-legacy-display");
    const bool legacy = part.subtype == "rfc822-headers" ||
                        FindParameter(part.contentType, "protected-headers") ||
                        (legacyDisplay && legacyDisplay->value == "1");
    std::string_view bytes = decoded.bytes;
    // Shown at the top already: the header lines a legacy-display part (or
    // the start of one) repeats for readers that know nothing of them.
    if (protectedShown_ && depth > 0 && legacy) {
      bytes.remove_prefix(LegacyDisplayLength(bytes));
      if (bytes.empty()) return;
    }
    ShowText(bytes, charset ? charset->value : "", flowed,
             flowed && delSp && Lower(delSp->value) == "yes");
  }

  // How much of a legacy-display part is header lines: all of it, or the
  // block of them up to and with the empty line after it; 0 when it does
  // not begin with one.
  static size_t LegacyDisplayLength(std::string_view text) {
    if (text.size() > kLegacyDisplayMax) text = text.substr(0, kLegacyDisplayMax);
    size_t fields = 0;
    for (size_t pos = 0; pos < text.size();) {
      const TextLine next = LineAt(text, pos);
      const size_t end = next.next;
      std::string_view line = next.text;
      while (!line.empty() && line.back() == '\r') line.remove_suffix(1);
      if (line.empty()) return fields > 0 ? end : 0;
      const size_t colon = line.find(':');
      const bool folded = line[0] == ' ' || line[0] == '\t';
      if (!folded && (colon == std::string_view::npos || !IsFieldName(line.substr(0, colon)))) return 0;
      fields += folded ? 0 : 1;
      pos = end;
    }
    return fields > 0 && text.size() < kLegacyDisplayMax ? text.size() : 0;
  }

  void ShowText(std::string_view bytes, std::string_view charset, bool flowed, bool delSp) {
    shown_.StartParagraph();
    std::string text = ToClient(charset, bytes, true);
    if (flowed) text = JoinFlowedLines(text, delSp);
    shown_.Append(text);
    shown_.StartLine();
  }

  void ShowHtml(const PartInfo& part, std::string_view body) {
    Decoded decoded;
    DecodeInto(part.encoding, body, decoded);
    if (!decoded.clean) Incomplete("an HTML part with broken " + part.encoding);
    const Parameter* charset = FindParameter(part.contentType, "charset");
    shown_.StartParagraph();
    const std::string html = ToClient(charset ? charset->value : "", decoded.bytes, true);
    const std::string text = HtmlToText(html, [this](uint32_t codePoint) { return Character(codePoint); });
    shown_.Append(text);
    shown_.StartLine();
    SaveBytes(part, decoded.bytes);
  }

  // A character an HTML entity names, in the client's character set; each
  // one the set lacks counts every time it is shown.
  std::string Character(uint32_t codePoint) {
    auto known = characters_.find(codePoint);
    if (known == characters_.end()) {
      size_t unmappable = 0;
      std::optional<std::string> converted = host_.ConvertCharset("utf-8", Utf8Of(codePoint), unmappable);
      known = characters_.emplace(codePoint, converted ? std::make_pair(*converted, unmappable)
                                                       : std::make_pair(std::string("?"), size_t{1}))
                  .first;
    }
    reading_.unmappable += known->second.second;
    return known->second.first;
  }

  // --- forwarded mail ----------------------------------------------------------

  void ShowForwarded(const PartInfo& part, std::string_view body, int depth) {
    owned_.emplace_back();
    Decoded& decoded = owned_.back();
    DecodeInto(part.encoding, body, decoded);
    if (!decoded.clean) Incomplete("a forwarded message with broken " + part.encoding);
    const HeaderBlock header = ReadHeaderBlock(decoded.bytes);
    shown_.StartParagraph();
    shown_.AppendLine("---------- Forwarded message ----------");
    ShowHeaderFields(header);
    ReadEntity(decoded.bytes, header, depth + 1, false);
    shown_.StartLine();
    shown_.AppendLine("---------- End of forwarded message ----------");
  }

  void ShowHeaderFields(const HeaderBlock& header) {
    for (std::string_view name : {"From", "To", "Cc", "Date", "Subject"}) {
      if (const auto value = FieldValue(header, name))
        shown_.AppendLine(std::string(name) + ": " + HeaderText(*value));
    }
  }

  // Protected headers (draft-autocrypt-lamps-protected-headers, RFC 9788):
  // the real Subject and its company travel inside the encryption, on the
  // entity or on the part a multipart/signed entity signs.
  void ShowProtectedHeaders(std::string_view entity, const HeaderBlock& header) {
    HeaderBlock inner;
    const HeaderBlock* carrier = &header;
    PartInfo part = DescribePart(header, false);
    if (part.type == "multipart" && part.subtype == "signed") {
      const Parameter* boundary = FindParameter(part.contentType, "boundary");
      if (!boundary || boundary->value.empty() || boundary->value.size() > kBoundaryMax) return;
      const Multipart signedParts = SplitMultipart(entity.substr(header.bodyStart), boundary->value, 1);
      if (signedParts.parts.empty()) return;
      inner = ReadHeaderBlock(signedParts.parts[0]);
      carrier = &inner;
      part = DescribePart(inner, false);
    }
    if (!FindParameter(part.contentType, "protected-headers") && !FindParameter(part.contentType, "hp"))
      return;
    shown_.StartLine();
    const bool any = std::any_of(carrier->fields.begin(), carrier->fields.end(), [](const HeaderField& f) {
      for (std::string_view name : {"from", "to", "cc", "date", "subject"})
        if (Lower(f.name) == name) return true;
      return false;
    });
    if (!any) return;
    ShowHeaderFields(*carrier);
    protectedShown_ = true;
  }

  // A header value as shown: encoded words decoded, in the client's
  // character set, on one line, bounded.
  std::string HeaderText(std::string_view value) {
    std::string text;
    for (const TextPiece& piece : DecodeEncodedWords(value.substr(0, kHeaderBlockMax)))
      text += ToClient(piece.charset, piece.bytes);
    return OneLine(text, kShownValueMax);
  }

  // --- attachments ---------------------------------------------------------------

  void Save(const PartInfo& part, std::string_view body) {
    DecodeInto(part.encoding, body, scratch_);
    if (!scratch_.clean) Incomplete("an attachment with broken " + part.encoding);
    SaveBytes(part, scratch_.bytes);
  }

  void SaveBytes(const PartInfo& part, std::string_view data) {
    const std::string name = SafeAttachmentName(SenderFileName(part), part.MediaType());
    if (shown_.Room() < kHostLineRoom) {
      Incomplete("the text grew too long to show every attachment");
      return;
    }
    std::string why;
    if (std::optional<std::string> line = host_.SaveAttachment(name, data, why)) {
      ++reading_.attachmentsSaved;
      if (!shown_.AppendHostLine(*line)) Incomplete("the text grew too long to show every attachment");
      return;
    }
    shown_.AppendLine(Note("Attachment not saved: \"" + name + "\" (" +
                           OneLine(part.MediaType(), kShownNameMax) + ", " +
                           std::to_string(data.size()) + " bytes): " + OneLine(why, kShownNameMax)));
  }

  // The sender's name for a part: Content-Disposition's filename, else
  // Content-Type's name; RFC 2231 or RFC 2047 decoded.
  std::string SenderFileName(const PartInfo& part) {
    const Parameter* name = FindParameter(part.disposition, "filename");
    if (!name || name->value.empty()) name = FindParameter(part.contentType, "name");
    if (!name) return {};
    if (!name->charset.empty()) return ToClient(name->charset, name->value);
    std::string text;
    for (const TextPiece& piece : DecodeEncodedWords(name->value)) text += ToClient(piece.charset, piece.bytes);
    return text;
  }

  // --- charsets ----------------------------------------------------------------

  // `bytes` in `charset` in the client's character set. Without a charset
  // (or with US-ASCII, which 8-bit bytes belie) valid UTF-8 is taken as
  // UTF-8, anything else as it is. A charset the host does not know keeps
  // the bytes and is named in unknownCharsets; before a text part
  // (`textPart`) a line says so too.
  std::string ToClient(std::string_view charset, std::string_view bytes, bool textPart = false) {
    const std::string loose = LooseName(charset);
    if (IsAscii(bytes) && !MayHideTextInAscii(loose)) return std::string(bytes);
    if (loose.empty() || loose == "usascii" || loose == "ascii") {
      if (IsUtf8(bytes)) {
        if (auto converted = host_.ConvertCharset("utf-8", bytes, reading_.unmappable))
          return std::move(*converted);
      }
      return std::string(bytes);
    }
    if (auto converted = host_.ConvertCharset(charset, bytes, reading_.unmappable))
      return std::move(*converted);
    NoteUnknownCharset(charset, textPart);
    return std::string(bytes);
  }

  void NoteUnknownCharset(std::string_view charset, bool textPart) {
    std::string name;
    for (char c : charset.substr(0, kCharsetNameMax))
      name += c > 0x20 && c < 0x7F && c != '"' ? c : '?';
    if (textPart) {
      shown_.AppendLine(Note("The text below is in the character set \"" + name +
                             "\", which could not be converted; it is shown as it came."));
    }
    for (const std::string& known : reading_.unknownCharsets)
      if (Lower(known) == Lower(name)) return;
    if (reading_.unknownCharsets.size() < kUnknownCharsetsMax) reading_.unknownCharsets.push_back(name);
  }

  MimeHost& host_;
  const MimeLimits& limits_;
  ShownText shown_;
  MimeReading reading_;
  std::string reason_;
  size_t parts_ = 0;
  bool protectedShown_ = false;
  Decoded scratch_;             // a text's or an attachment's bytes, reused from part to part
  std::deque<Decoded> owned_;   // forwarded messages, read while their bytes live here
  std::map<uint32_t, std::pair<std::string, size_t>> characters_;  // shown as, unmappable
};

}  // namespace

bool IsMimeEntity(std::string_view output) {
  const std::optional<HeaderBlock> header = ReadStrictHeaderBlock(output);
  if (!header) return false;
  const std::optional<std::string_view> type = FieldValue(*header, "Content-Type");
  if (!type) return false;
  const StructuredValue value = ParseStructuredValue(*type);
  return !value.type.empty() && !value.subtype.empty();
}

std::optional<MimeReading> ReadMimeEntity(std::string_view entity, std::string_view attachmentPrefix,
                                          MimeHost& host, const MimeLimits& limits) {
  if (!IsMimeEntity(entity)) return std::nullopt;
  Reader reader(attachmentPrefix, host, limits);
  reader.ReadRoot(entity);
  return reader.Finish();
}

bool LooksLikeAttachmentLine(std::string_view line, std::string_view prefix) {
  size_t i = 0;
  while (i < line.size() && (line[i] == '>' || IsSpacing(line[i]))) ++i;
  bool any = false;
  for (char wanted : prefix) {
    if (IsSpacing(wanted)) continue;
    while (i < line.size() && IsSpacing(line[i])) ++i;
    if (i == line.size() || LowerAscii(line[i]) != LowerAscii(wanted)) return false;
    ++i;
    any = true;
  }
  return any;
}

std::optional<std::string> InlineTextForClient(std::string_view text, std::string_view armorCharset,
                                               MimeHost& host, InlineConversion& conversion) {
  if (!armorCharset.empty()) {
    if (IsAscii(text)) return std::nullopt;
    std::optional<std::string> converted = host.ConvertCharset(armorCharset, text, conversion.unmappable);
    if (!converted) conversion.unknownCharset = std::string(armorCharset.substr(0, 40));
    return converted;
  }
  // Only a text that cannot be anything else: plain ASCII needs nothing, and
  // bytes that are not UTF-8 are the client's own character set already.
  if (IsAscii(text) || !IsUtf8(text)) return std::nullopt;
  return host.ConvertCharset("utf-8", text, conversion.unmappable);
}
