#include "testbed/mailclient/mime_mail.h"

#include <algorithm>
#include <array>
#include <map>
#include <optional>

namespace mimemail {
namespace {

constexpr std::string_view kBlanks = " \t";
constexpr size_t kMaxParameters = 64;
constexpr size_t kMaxSections = 64;  // RFC 2231 continuations of one parameter

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::string LowerText(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = Lower(c);
  return out;
}

std::string_view Trim(std::string_view text, std::string_view blanks = " \t\r\n") {
  const size_t first = text.find_first_not_of(blanks);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// One line of a text: its content without the line end, and where the next
// line starts.
struct Line {
  std::string_view text;
  size_t start = 0;
  size_t next = 0;
};

Line LineAt(std::string_view text, size_t start) {
  const size_t lf = text.find('\n', start);
  const size_t end = lf == std::string_view::npos ? text.size() : lf;
  std::string_view content = text.substr(start, end - start);
  if (!content.empty() && content.back() == '\r') content.remove_suffix(1);
  return {content, start, lf == std::string_view::npos ? text.size() : lf + 1};
}

// The offset where the line end before `lineStart` begins: the CR LF (or LF)
// in front of a boundary belongs to the boundary, not to the part.
size_t BeforeLineEnd(std::string_view text, size_t from, size_t lineStart) {
  size_t end = lineStart;
  if (end > from && text[end - 1] == '\n') --end;
  if (end > from && text[end - 1] == '\r') --end;
  return end;
}

bool IsFieldName(std::string_view name) {
  return !name.empty() && std::all_of(name.begin(), name.end(), [](char c) {
    const auto u = static_cast<unsigned char>(c);
    return u > 32 && u < 127 && c != ':';
  });
}

bool HasHighBytes(std::string_view text) {
  return std::any_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
}

// UTF-8 by its structure, so that a raw 8-bit header (RFC 6532) reads right.
bool IsUtf8(std::string_view text) {
  for (size_t i = 0; i < text.size();) {
    const auto u = static_cast<unsigned char>(text[i]);
    const size_t length = u < 0x80 ? 1 : (u >> 5) == 6 ? 2 : (u >> 4) == 14 ? 3 : (u >> 3) == 30 ? 4 : 0;
    if (length == 0 || i + length > text.size()) return false;
    for (size_t k = 1; k < length; ++k)
      if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
    i += length;
  }
  return true;
}

// Text of a header that came without a charset: 8-bit UTF-8 is converted,
// anything else stays as the sender's bytes.
std::string RawText(std::string_view bytes, const CharsetConverter& convert) {
  if (HasHighBytes(bytes) && IsUtf8(bytes)) return convert(bytes, "utf-8");
  return std::string(bytes);
}

std::string WithoutControls(std::string text) {
  for (char& c : text)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
  return text;
}

// --- entities -------------------------------------------------------------------

struct Entity {
  std::vector<std::pair<std::string, std::string>> fields;  // name lower case, value unfolded
  std::string_view body;

  std::string Field(std::string_view name) const {
    for (const auto& [n, v] : fields)
      if (n == name) return v;
    return {};
  }
};

void AddToField(std::string& value, std::string_view more, const Limits& limits) {
  if (value.size() >= limits.headerValueBytes) return;
  value.append(more.substr(0, limits.headerValueBytes - value.size()));
}

// Header fields up to the first empty line (or the first line that is no
// field at all, which then starts the body); folded lines are joined.
Entity SplitEntity(std::string_view raw, const Limits& limits) {
  Entity entity;
  size_t at = 0;
  bool dropping = false;  // a field beyond the limit: its continuations go too
  // An mbox-style "From sender date" line may open a saved message.
  if (raw.starts_with("From ")) at = LineAt(raw, 0).next;
  while (at < raw.size()) {
    const Line line = LineAt(raw, at);
    if (line.text.empty()) {
      entity.body = raw.substr(line.next);
      return entity;
    }
    const bool folded = kBlanks.find(line.text.front()) != std::string_view::npos;
    const size_t colon = line.text.find(':');
    if (folded && (dropping || !entity.fields.empty())) {
      if (!dropping) AddToField(entity.fields.back().second, line.text, limits);
    } else if (!folded && colon != std::string_view::npos && IsFieldName(line.text.substr(0, colon))) {
      dropping = entity.fields.size() >= limits.headerFields;
      if (!dropping) {
        entity.fields.emplace_back(LowerText(line.text.substr(0, colon)), std::string());
        AddToField(entity.fields.back().second, Trim(line.text.substr(colon + 1), kBlanks), limits);
      }
    } else {
      break;  // no field: the body starts here
    }
    at = line.next;
  }
  entity.body = raw.substr(std::min(at, raw.size()));
  return entity;
}

// The parts between the delimiter lines "--boundary"; the closing one ends
// with "--". Without a closing line the last part runs to the end.
std::vector<std::string_view> SplitMultipart(std::string_view body, std::string_view boundary,
                                             size_t limit) {
  std::vector<std::string_view> parts;
  const std::string delimiter = "--" + std::string(boundary);
  std::optional<size_t> partStart;
  for (size_t at = 0; at < body.size() && parts.size() < limit;) {
    const Line line = LineAt(body, at);
    at = line.next;
    if (!line.text.starts_with(delimiter)) continue;
    std::string_view rest = line.text.substr(delimiter.size());
    const bool closing = rest.starts_with("--");
    if (closing) rest.remove_prefix(2);
    if (!Trim(rest, kBlanks).empty()) continue;  // a longer boundary that starts the same
    if (partStart) {
      const size_t end = BeforeLineEnd(body, *partStart, line.start);
      parts.push_back(body.substr(*partStart, end - *partStart));
    }
    if (closing) return parts;
    partStart = line.next;
  }
  if (partStart && *partStart < body.size() && parts.size() < limit) parts.push_back(body.substr(*partStart));
  return parts;
}

// --- header values -------------------------------------------------------------

std::string DecodeQ(std::string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '_') {
      out += ' ';
    } else if (text[i] == '=' && i + 2 < text.size() && HexDigit(text[i + 1]) >= 0 &&
               HexDigit(text[i + 2]) >= 0) {
      out += static_cast<char>(HexDigit(text[i + 1]) * 16 + HexDigit(text[i + 2]));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

struct EncodedWord {
  std::string charset;
  std::string bytes;
  size_t length = 0;  // of the whole "=?...?=" text
};

// "=?charset?B|Q?text?=" at the start of `text` (blanks are not allowed in
// a word); a language ("charset*lang") is dropped.
std::optional<EncodedWord> ReadEncodedWord(std::string_view text) {
  if (!text.starts_with("=?")) return std::nullopt;
  const size_t q1 = text.find('?', 2);
  if (q1 == std::string_view::npos || q1 + 3 > text.size() || text[q1 + 2] != '?') return std::nullopt;
  const size_t end = text.find("?=", q1 + 3);
  if (end == std::string_view::npos) return std::nullopt;
  const std::string_view word = text.substr(0, end + 2);
  if (word.find_first_of(" \t\r\n") != std::string_view::npos) return std::nullopt;
  const std::string_view encoded = text.substr(q1 + 3, end - q1 - 3);
  EncodedWord result;
  std::string_view charset = text.substr(2, q1 - 2);
  result.charset = LowerText(charset.substr(0, charset.find('*')));
  switch (Lower(text[q1 + 1])) {
    case 'b': result.bytes = DecodeBase64(encoded); break;
    case 'q': result.bytes = DecodeQ(encoded); break;
    default: return std::nullopt;
  }
  result.length = word.size();
  return result;
}

// --- parameters (RFC 2045, RFC 2231) ----------------------------------------------

// Splits "a; b=\"x;y\"; c" at the semicolons outside quoted strings.
std::vector<std::string_view> SplitParameters(std::string_view value) {
  std::vector<std::string_view> items;
  size_t start = 0;
  bool quoted = false;
  for (size_t i = 0; i < value.size() && items.size() <= kMaxParameters; ++i) {
    if (quoted && value[i] == '\\') {
      ++i;
    } else if (value[i] == '"') {
      quoted = !quoted;
    } else if (value[i] == ';' && !quoted) {
      items.push_back(value.substr(start, i - start));
      start = i + 1;
    }
  }
  if (items.size() <= kMaxParameters) items.push_back(value.substr(std::min(start, value.size())));
  return items;
}

// Only \\ and \" are taken as escapes, as mail programs write them: the
// Windows paths some put into file names keep their backslashes, so that
// their folder parts can be seen and cut off.
std::string Unquoted(std::string_view value) {
  value = Trim(value);
  if (value.size() < 2 || value.front() != '"') return std::string(value);
  std::string out;
  for (size_t i = 1; i < value.size() && value[i] != '"'; ++i) {
    if (value[i] == '\\' && i + 1 < value.size() && (value[i + 1] == '"' || value[i + 1] == '\\')) ++i;
    out += value[i];
  }
  return out;
}

std::string PercentDecoded(std::string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && HexDigit(text[i + 1]) >= 0 && HexDigit(text[i + 2]) >= 0) {
      out += static_cast<char>(HexDigit(text[i + 1]) * 16 + HexDigit(text[i + 2]));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

// The pieces of one RFC 2231 parameter: "name*" or "name*N" or "name*N*".
struct Sections {
  std::map<size_t, std::pair<bool, std::string>> byIndex;  // encoded?, raw value
};

void AddParameter(std::string_view name, std::string value, std::map<std::string, Sections>& extended,
                  std::vector<std::pair<std::string, std::string>>& plain) {
  const size_t star = name.find('*');
  if (star == std::string_view::npos) {
    plain.emplace_back(std::string(name), std::move(value));
    return;
  }
  std::string_view rest = name.substr(star + 1);
  const bool encoded = rest.ends_with('*') || rest.empty();
  if (rest.ends_with('*')) rest.remove_suffix(1);
  size_t index = 0;
  for (char c : rest) {
    if (c < '0' || c > '9' || index >= kMaxSections) return;
    index = index * 10 + static_cast<size_t>(c - '0');
  }
  if (index >= kMaxSections) return;
  Sections& sections = extended[std::string(name.substr(0, star))];
  sections.byIndex.emplace(index, std::make_pair(encoded, std::move(value)));
}

std::string JoinSections(const Sections& sections, const CharsetConverter& convert) {
  std::string bytes, charset;
  for (size_t index = 0; index < kMaxSections; ++index) {
    const auto found = sections.byIndex.find(index);
    if (found == sections.byIndex.end()) break;
    const auto& [encoded, value] = found->second;
    std::string_view text = value;
    if (encoded && index == 0) {  // charset'language'text
      const size_t first = text.find('\'');
      const size_t second = first == std::string_view::npos ? first : text.find('\'', first + 1);
      if (second != std::string_view::npos) {
        charset = LowerText(text.substr(0, first));
        text = text.substr(second + 1);
      }
    }
    bytes += encoded ? PercentDecoded(text) : std::string(text);
  }
  return charset.empty() ? RawText(bytes, convert) : convert(bytes, charset);
}

// --- the body --------------------------------------------------------------------

std::string DecodedBody(std::string_view body, std::string_view encoding) {
  if (encoding == "base64") return DecodeBase64(body);
  if (encoding == "quoted-printable") return DecodeQuotedPrintable(body);
  return std::string(body);
}

bool IsIdentityEncoding(std::string_view encoding) {
  return encoding.empty() || encoding == "7bit" || encoding == "8bit" || encoding == "binary";
}

class Reader {
 public:
  Reader(const CharsetConverter& convert, const Limits& limits, ShownMail& out)
      : convert_(convert), limits_(limits), out_(out) {}

  void Read(std::string_view raw, size_t depth, std::string_view defaultType) {
    const Entity entity = SplitEntity(raw, limits_);
    ContentField type = ParseContentField(entity.Field("content-type"), convert_);
    if (type.value.find('/') == std::string::npos) type = ContentField{std::string(defaultType), {}};
    const std::string encoding = LowerText(Trim(entity.Field("content-transfer-encoding")));
    const std::string boundary = type.Parameter("boundary");
    if (type.value.starts_with("multipart/") && !boundary.empty() && IsIdentityEncoding(encoding) &&
        depth < limits_.depth) {
      ReadMultipart(entity.body, type.value, boundary, depth);
      return;
    }
    ReadLeaf(entity, type, encoding);
  }

 private:
  void ReadMultipart(std::string_view body, std::string_view type, std::string_view boundary, size_t depth) {
    const std::vector<std::string_view> parts = SplitMultipart(body, boundary, limits_.parts + 1);
    const std::string_view childDefault = type == "multipart/digest" ? "message/rfc822" : "text/plain";
    if (type == "multipart/alternative" && !parts.empty()) {
      Read(parts[PreferredAlternative(parts)], depth + 1, childDefault);
      return;
    }
    for (std::string_view part : parts) Read(part, depth + 1, childDefault);
  }

  // The plain-text alternative, else the first one.
  size_t PreferredAlternative(const std::vector<std::string_view>& parts) const {
    for (size_t i = 0; i < parts.size(); ++i) {
      const Entity entity = SplitEntity(parts[i], limits_);
      const std::string field = entity.Field("content-type");
      if (field.empty() || ParseContentField(field, convert_).value == "text/plain") return i;
    }
    return 0;
  }

  void ReadLeaf(const Entity& entity, const ContentField& type, const std::string& encoding) {
    if (++leaves_ > limits_.parts) {
      out_.partsLeftOut = true;
      return;
    }
    const ContentField disposition = ParseContentField(entity.Field("content-disposition"), convert_);
    const bool known = IsIdentityEncoding(encoding) || encoding == "base64" || encoding == "quoted-printable";
    std::string bytes = DecodedBody(entity.body, encoding);
    Piece piece;
    if (type.value == "text/plain" && disposition.value != "attachment" && known) {
      piece.text = convert_(bytes, type.Parameter("charset"));
    } else {
      piece.attachment = true;
      piece.text = std::move(bytes);
      piece.type = known ? type.value : "application/octet-stream";
      piece.name = disposition.Parameter("filename");
      if (piece.name.empty()) piece.name = type.Parameter("name");
      // Many programs put RFC 2047 words into file names, against the rules.
      piece.name = DecodeHeaderWords(piece.name, convert_);
    }
    out_.pieces.push_back(std::move(piece));
  }

  const CharsetConverter& convert_;
  const Limits& limits_;
  ShownMail& out_;
  size_t leaves_ = 0;
};

struct CharsetRow {
  std::string_view name;
  unsigned codePage;
};

constexpr CharsetRow kCharsets[] = {
    {"us-ascii", 20127},     {"ascii", 20127},        {"utf-8", 65001},        {"utf8", 65001},
    {"iso-8859-1", 28591},   {"latin1", 28591},       {"iso-8859-2", 28592},   {"iso-8859-3", 28593},
    {"iso-8859-4", 28594},   {"iso-8859-5", 28595},   {"iso-8859-6", 28596},   {"iso-8859-7", 28597},
    {"iso-8859-8", 28598},   {"iso-8859-9", 28599},   {"iso-8859-13", 28603},  {"iso-8859-15", 28605},
    {"windows-1250", 1250},  {"windows-1251", 1251},  {"windows-1252", 1252},  {"windows-1253", 1253},
    {"windows-1254", 1254},  {"windows-1255", 1255},  {"windows-1256", 1256},  {"windows-1257", 1257},
    {"windows-1258", 1258},  {"cp1252", 1252},        {"koi8-r", 20866},       {"koi8-u", 21866},
    {"ibm437", 437},         {"cp437", 437},          {"ibm850", 850},         {"cp850", 850},
    {"shift_jis", 932},      {"iso-2022-jp", 50220},  {"euc-jp", 20932},       {"gb2312", 936},
    {"gbk", 936},            {"big5", 950},           {"euc-kr", 949},         {"ks_c_5601-1987", 949},
    {"utf-7", 65000},
};

constexpr std::array<std::pair<std::string_view, std::string_view>, 5> kShownHeaders = {{
    {"from", "From"}, {"to", "To"}, {"cc", "Cc"}, {"subject", "Subject"}, {"date", "Date"}}};

}  // namespace

std::string ContentField::Parameter(std::string_view name) const {
  for (const auto& [n, v] : parameters)
    if (n == name) return v;
  return {};
}

std::string DecodeBase64(std::string_view text) {
  std::string out;
  out.reserve(text.size() / 4 * 3);
  uint32_t bits = 0;
  int count = 0;
  for (char c : text) {
    int value;
    if (c >= 'A' && c <= 'Z') value = c - 'A';
    else if (c >= 'a' && c <= 'z') value = c - 'a' + 26;
    else if (c >= '0' && c <= '9') value = c - '0' + 52;
    else if (c == '+') value = 62;
    else if (c == '/') value = 63;
    else if (c == '=') break;
    else continue;
    bits = (bits << 6) | static_cast<uint32_t>(value);
    if (++count == 4) {
      out += static_cast<char>(bits >> 16);
      out += static_cast<char>(bits >> 8);
      out += static_cast<char>(bits);
      bits = 0;
      count = 0;
    }
  }
  if (count == 2) out += static_cast<char>(bits >> 4);
  if (count == 3) {
    out += static_cast<char>(bits >> 10);
    out += static_cast<char>(bits >> 2);
  }
  return out;
}

std::string DecodeQuotedPrintable(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t at = 0; at < text.size();) {
    const Line line = LineAt(text, at);
    std::string_view content = line.text;
    while (!content.empty() && kBlanks.find(content.back()) != std::string_view::npos)
      content.remove_suffix(1);
    const bool soft = content.ends_with('=');
    if (soft) content.remove_suffix(1);
    for (size_t i = 0; i < content.size(); ++i) {
      if (content[i] == '=' && i + 2 < content.size() && HexDigit(content[i + 1]) >= 0 &&
          HexDigit(content[i + 2]) >= 0) {
        out += static_cast<char>(HexDigit(content[i + 1]) * 16 + HexDigit(content[i + 2]));
        i += 2;
      } else {
        out += content[i];
      }
    }
    const size_t contentEnd = line.start + line.text.size();
    if (!soft) out.append(text.substr(contentEnd, line.next - contentEnd));
    at = line.next;
  }
  return out;
}

std::string DecodeHeaderWords(std::string_view value, const CharsetConverter& convert) {
  std::string out, pendingBytes, pendingCharset;
  auto flush = [&] {
    if (!pendingBytes.empty()) out += convert(pendingBytes, pendingCharset);
    pendingBytes.clear();
  };
  size_t plainStart = 0;
  bool afterWord = false;
  for (size_t i = 0; i < value.size();) {
    const auto word = value[i] == '=' ? ReadEncodedWord(value.substr(i)) : std::nullopt;
    if (!word) {
      ++i;
      continue;
    }
    const std::string_view between = value.substr(plainStart, i - plainStart);
    if (!(afterWord && Trim(between).empty())) {
      flush();
      out += RawText(between, convert);
    }
    // Adjacent words of one charset are joined before conversion: a sender
    // may split one character over two words.
    if (word->charset != pendingCharset) flush();
    pendingCharset = word->charset;
    pendingBytes += word->bytes;
    i += word->length;
    plainStart = i;
    afterWord = true;
  }
  flush();
  out += RawText(value.substr(std::min(plainStart, value.size())), convert);
  return WithoutControls(std::move(out));
}

ContentField ParseContentField(std::string_view value, const CharsetConverter& convert) {
  ContentField field;
  const std::vector<std::string_view> items = SplitParameters(value);
  if (items.empty()) return field;
  std::string_view head = Trim(items.front());
  field.value = LowerText(head.substr(0, head.find_first_of(" \t(")));
  std::map<std::string, Sections> extended;
  std::vector<std::pair<std::string, std::string>> plain;
  for (size_t i = 1; i < items.size(); ++i) {
    const size_t equals = items[i].find('=');
    if (equals == std::string_view::npos) continue;
    const std::string name = LowerText(Trim(items[i].substr(0, equals)));
    if (!name.empty()) AddParameter(name, Unquoted(items[i].substr(equals + 1)), extended, plain);
  }
  for (const auto& [name, sections] : extended)
    field.parameters.emplace_back(name, JoinSections(sections, convert));
  for (auto& [name, text] : plain)
    if (field.Parameter(name).empty()) field.parameters.emplace_back(name, RawText(text, convert));
  return field;
}

std::vector<std::string_view> SplitMbox(std::string_view file, size_t limit) {
  std::vector<std::string_view> messages;
  size_t start = 0;  // text before the first "From " line counts when it is not blank
  bool afterEmpty = true;
  for (size_t at = 0; at < file.size() && messages.size() < limit;) {
    const Line line = LineAt(file, at);
    if (afterEmpty && line.text.starts_with("From ")) {
      const std::string_view before = file.substr(start, BeforeLineEnd(file, start, line.start) - start);
      if (!Trim(before).empty()) messages.push_back(before);
      start = line.next;
    }
    afterEmpty = line.text.empty();
    at = line.next;
  }
  if (start < file.size() && messages.size() < limit && !Trim(file.substr(start)).empty())
    messages.push_back(file.substr(start));
  return messages;
}

std::string WindowText(const ShownMail& mail,
                       const std::function<std::string(const Piece&)>& attachmentLine) {
  std::string out;
  for (const auto& [label, value] : mail.headers) out += label + ": " + value + "\r\n";
  out += "\r\n";
  for (const Piece& piece : mail.pieces) {
    if (!out.ends_with('\n')) out += "\r\n";
    if (piece.attachment) {
      out += attachmentLine(piece) + "\r\n";
    } else {
      std::string text = piece.text;
      std::replace(text.begin(), text.end(), '\0', ' ');
      out += text;
    }
  }
  if (mail.partsLeftOut) {
    if (!out.ends_with('\n')) out += "\r\n";
    out += "[The message has more parts than are shown.]\r\n";
  }
  return out;
}

unsigned CodePageOfCharset(std::string_view charset) {
  const std::string name = LowerText(Trim(charset));
  for (const CharsetRow& row : kCharsets)
    if (row.name == name) return row.codePage;
  return 0;
}

ShownMail ReadMail(std::string_view message, const CharsetConverter& convert, const Limits& limits) {
  ShownMail mail;
  message = message.substr(0, limits.messageBytes);
  const Entity top = SplitEntity(message, limits);
  for (const auto& [field, label] : kShownHeaders) {
    const std::string value = top.Field(field);
    if (!value.empty()) mail.headers.emplace_back(label, DecodeHeaderWords(value, convert));
  }
  Reader(convert, limits, mail).Read(message, 0, "text/plain");
  return mail;
}

std::string DecodedHeader(std::string_view message, std::string_view name,
                          const CharsetConverter& convert, const Limits& limits) {
  const Entity top = SplitEntity(message.substr(0, limits.messageBytes), limits);
  return DecodeHeaderWords(top.Field(LowerText(name)), convert);
}

}  // namespace mimemail
