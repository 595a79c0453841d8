#include "command/mime_headers.h"

#include <algorithm>
#include <cstring>

#include "command/mime_decoding.h"
#include "core/text_chars.h"
#include "core/text_lines.h"

namespace {

// RFC 2231 continuations and parameters of one value that are read; real
// mail needs a handful.
constexpr size_t kContinuationsMax = 100;
constexpr size_t kParametersMax = 128;
// An encoded word is at most 75 characters (RFC 2047); some mailers write
// longer ones, none this long.
constexpr size_t kEncodedWordMax = 1024;
constexpr size_t kCommentDepthMax = 32;

std::string Lower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = LowerAscii(c);
  return lower;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  return true;
}

// A header's white space: the blank and the tab, and the line ends of folded lines.
bool IsHeaderSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsHeaderSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsHeaderSpace(text.back())) text.remove_suffix(1);
  return text;
}

bool IsContinuation(std::string_view line) {
  return !line.empty() && (line[0] == ' ' || line[0] == '\t');
}

// The field a line starts, or nullopt when it is not a field line.
std::optional<HeaderField> FieldLine(std::string_view line) {
  const size_t colon = line.find(':');
  if (colon == std::string_view::npos || !IsFieldName(line.substr(0, colon))) return std::nullopt;
  return HeaderField{line.substr(0, colon), std::string(line.substr(colon + 1))};
}

void TrimValues(HeaderBlock& header) {
  for (HeaderField& field : header.fields) field.value = std::string(Trim(field.value));
}

// Where the body begins after a header too long to read: after the next
// empty line, or nowhere.
size_t BodyAfterEmptyLine(std::string_view entity, size_t from) {
  for (size_t pos = from; pos < entity.size();) {
    const TextLine line = LineAt(entity, pos);
    if (line.text.empty() && line.ended) return line.next;
    pos = line.next;
  }
  return entity.size();
}

// Skips blanks and (nested) comments from `pos`.
size_t SkipBlanksAndComments(std::string_view text, size_t pos) {
  while (pos < text.size()) {
    if (IsHeaderSpace(text[pos])) {
      ++pos;
    } else if (text[pos] == '(') {
      size_t depth = 0;
      for (; pos < text.size(); ++pos) {
        if (text[pos] == '\\') ++pos;
        else if (text[pos] == '(' && depth < kCommentDepthMax) ++depth;
        else if (text[pos] == ')' && --depth == 0) break;
      }
      ++pos;
    } else {
      break;
    }
  }
  return std::min(pos, text.size());
}

// A token up to a delimiter of the structured value.
std::string_view TokenAt(std::string_view text, size_t& pos, std::string_view stops) {
  const size_t start = pos;
  while (pos < text.size() && !IsHeaderSpace(text[pos]) && stops.find(text[pos]) == std::string_view::npos)
    ++pos;
  return text.substr(start, pos - start);
}

// A parameter's value: a quoted string (backslash escapes) or, leniently,
// everything up to the next ';' with a trailing comment taken off (some
// mailers write file names with blanks unquoted).
std::string ValueAt(std::string_view text, size_t& pos) {
  std::string value;
  if (pos < text.size() && text[pos] == '"') {
    for (++pos; pos < text.size() && text[pos] != '"'; ++pos) {
      if (text[pos] == '\\' && pos + 1 < text.size()) ++pos;
      value += text[pos];
    }
    if (pos < text.size()) ++pos;
    return value;
  }
  const size_t end = std::min(text.find(';', pos), text.size());
  std::string_view raw = Trim(text.substr(pos, end - pos));
  pos = end;
  const size_t comment = raw.find(" (");
  if (!raw.empty() && raw.back() == ')' && comment != std::string_view::npos)
    raw = Trim(raw.substr(0, comment));
  return std::string(raw);
}

std::string PercentDecoded(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  const auto hex = [](char c) {
    return c >= '0' && c <= '9' ? c - '0'
           : c >= 'A' && c <= 'F' ? c - 'A' + 10
           : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                  : -1;
  };
  for (size_t i = 0; i < text.size(); ++i) {
    const int high = text[i] == '%' && i + 2 < text.size() ? hex(text[i + 1]) : -1;
    const int low = high >= 0 ? hex(text[i + 2]) : -1;
    if (low >= 0) {
      out += static_cast<char>(high << 4 | low);
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

// A parameter as written, before RFC 2231 pieces are put together.
struct RawParameter {
  std::string base;       // the name without "*N*"
  int section = -1;       // N of "name*N", -1 for none
  bool extended = false;  // a trailing '*': charset'language'%XX
  std::string value;
};

RawParameter Classify(std::string_view name, std::string value) {
  RawParameter raw;
  raw.value = std::move(value);
  std::string_view base = name;
  if (!base.empty() && base.back() == '*') {
    raw.extended = true;
    base.remove_suffix(1);
  }
  const size_t star = base.find('*');
  if (star != std::string_view::npos) {
    const std::string_view digits = base.substr(star + 1);
    const bool number = !digits.empty() && digits.size() <= 3 &&
                        digits.find_first_not_of("0123456789") == std::string_view::npos;
    raw.section = number ? std::stoi(std::string(digits)) : static_cast<int>(kContinuationsMax);
    base = base.substr(0, star);
  }
  raw.base = Lower(base);
  return raw;
}

// "charset'language'value" of the first extended section.
void TakeCharset(std::string_view text, Parameter& parameter) {
  const size_t first = text.find('\'');
  const size_t second = first == std::string_view::npos ? first : text.find('\'', first + 1);
  if (second == std::string_view::npos) {
    parameter.value += PercentDecoded(text);
    return;
  }
  parameter.charset = std::string(text.substr(0, first));
  parameter.value += PercentDecoded(text.substr(second + 1));
}

// RFC 2231: "name*" and "name*0", "name*1"… in order (sections may come in
// any order; a missing one ends the value) win over a plain "name".
Parameter Assemble(const std::string& base, const std::vector<RawParameter>& raws) {
  Parameter parameter{base, {}, {}};
  const RawParameter* plain = nullptr;
  std::vector<const RawParameter*> sections(kContinuationsMax, nullptr);
  const RawParameter* single = nullptr;
  for (const RawParameter& raw : raws) {
    if (raw.base != base) continue;
    if (raw.section < 0 && !raw.extended && !plain) plain = &raw;
    if (raw.section < 0 && raw.extended && !single) single = &raw;
    if (raw.section >= 0 && static_cast<size_t>(raw.section) < kContinuationsMax &&
        !sections[static_cast<size_t>(raw.section)])
      sections[static_cast<size_t>(raw.section)] = &raw;
  }
  if (single) {
    TakeCharset(single->value, parameter);
  } else if (sections[0]) {
    for (size_t i = 0; i < kContinuationsMax && sections[i]; ++i) {
      const RawParameter& section = *sections[i];
      if (i == 0 && section.extended) TakeCharset(section.value, parameter);
      else parameter.value += section.extended ? PercentDecoded(section.value) : section.value;
    }
  } else if (plain) {
    parameter.value = plain->value;
  }
  return parameter;
}

// An RFC 2047 encoded word at `pos` ("=?charset?Q?text?="): its charset
// (without an RFC 2231 language) and bytes, and where it ends.
struct EncodedWord {
  std::string charset;
  std::string bytes;
  size_t end;
};

std::optional<EncodedWord> EncodedWordAt(std::string_view text, size_t pos) {
  const std::string_view rest = text.substr(pos, kEncodedWordMax);
  if (rest.substr(0, 2) != "=?") return std::nullopt;
  const size_t charsetEnd = rest.find('?', 2);
  if (charsetEnd == std::string_view::npos || charsetEnd == 2 || charsetEnd + 2 >= rest.size() ||
      rest[charsetEnd + 2] != '?')
    return std::nullopt;
  const char encoding = LowerAscii(rest[charsetEnd + 1]);
  if (encoding != 'b' && encoding != 'q') return std::nullopt;
  const size_t textEnd = rest.find("?=", charsetEnd + 3);
  if (textEnd == std::string_view::npos) return std::nullopt;
  std::string_view charset = rest.substr(2, charsetEnd - 2);
  if (charset.find_first_of(" \t") != std::string_view::npos) return std::nullopt;
  charset = charset.substr(0, charset.find('*'));
  const std::string_view encoded = rest.substr(charsetEnd + 3, textEnd - charsetEnd - 3);
  EncodedWord word{std::string(charset), {}, pos + textEnd + 2};
  if (encoding == 'b') DecodeBase64(encoded, word.bytes);
  else word.bytes = DecodeQEncoding(encoded);
  return word;
}

}  // namespace

bool IsFieldName(std::string_view name) {
  if (name.empty() || name.size() > 76) return false;
  return std::all_of(name.begin(), name.end(), [](char c) {
    const auto u = static_cast<unsigned char>(c);
    return u > 32 && u < 127 && c != ':';
  });
}

std::optional<HeaderBlock> ReadStrictHeaderBlock(std::string_view entity) {
  HeaderBlock header;
  for (size_t pos = 0; pos < entity.size() && pos <= kHeaderBlockMax;) {
    const TextLine line = LineAt(entity, pos);
    if (!line.ended || line.next > kHeaderBlockMax + 1) return std::nullopt;
    if (line.text.empty()) {
      if (header.fields.empty()) return std::nullopt;
      header.bodyStart = line.next;
      TrimValues(header);
      return header;
    }
    if (IsContinuation(line.text)) {
      if (header.fields.empty()) return std::nullopt;
      header.fields.back().value.append(line.text);
    } else {
      std::optional<HeaderField> field = FieldLine(line.text);
      if (!field || header.fields.size() >= kHeaderFieldsMax) return std::nullopt;
      header.fields.push_back(std::move(*field));
    }
    pos = line.next;
  }
  return std::nullopt;
}

HeaderBlock ReadHeaderBlock(std::string_view entity) {
  HeaderBlock header;
  size_t pos = 0;
  bool inField = false;  // the last line was a field that a folded line may continue
  while (pos < entity.size()) {
    if (pos > kHeaderBlockMax) {
      header.complete = false;
      header.bodyStart = BodyAfterEmptyLine(entity, pos);
      TrimValues(header);
      return header;
    }
    const TextLine line = LineAt(entity, pos);
    if (line.text.empty()) {
      pos = line.next;
      break;
    }
    if (IsContinuation(line.text) && inField) {
      header.fields.back().value.append(line.text);
    } else if (std::optional<HeaderField> field = FieldLine(line.text)) {
      inField = header.fields.size() < kHeaderFieldsMax;
      if (inField) header.fields.push_back(std::move(*field));
      else header.complete = false;
    } else if (IsContinuation(line.text)) {
      // A folded line whose field was not kept.
    } else {
      break;  // the body begins without an empty line
    }
    pos = line.next;
  }
  header.bodyStart = std::min(pos, entity.size());
  TrimValues(header);
  return header;
}

std::optional<std::string_view> FieldValue(const HeaderBlock& header, std::string_view name) {
  for (const HeaderField& field : header.fields)
    if (EqualsIgnoringCase(field.name, name)) return std::string_view(field.value);
  return std::nullopt;
}

StructuredValue ParseStructuredValue(std::string_view value) {
  StructuredValue result;
  size_t pos = SkipBlanksAndComments(value, 0);
  result.type = Lower(TokenAt(value, pos, "/;("));
  pos = SkipBlanksAndComments(value, pos);
  if (pos < value.size() && value[pos] == '/') {
    pos = SkipBlanksAndComments(value, pos + 1);
    result.subtype = Lower(TokenAt(value, pos, ";("));
  }
  std::vector<RawParameter> raws;
  std::vector<std::string> order;
  while (pos < value.size() && raws.size() < kParametersMax) {
    const size_t semicolon = value.find(';', pos);
    if (semicolon == std::string_view::npos) break;
    pos = SkipBlanksAndComments(value, semicolon + 1);
    const std::string_view name = TokenAt(value, pos, "=;(");
    pos = SkipBlanksAndComments(value, pos);
    if (name.empty() || pos >= value.size() || value[pos] != '=') continue;
    pos = SkipBlanksAndComments(value, pos + 1);
    RawParameter raw = Classify(name, ValueAt(value, pos));
    if (std::find(order.begin(), order.end(), raw.base) == order.end()) order.push_back(raw.base);
    raws.push_back(std::move(raw));
  }
  for (const std::string& base : order) result.parameters.push_back(Assemble(base, raws));
  return result;
}

const Parameter* FindParameter(const StructuredValue& value, std::string_view name) {
  for (const Parameter& parameter : value.parameters)
    if (parameter.name == name) return &parameter;
  return nullptr;
}

std::vector<TextPiece> DecodeEncodedWords(std::string_view value) {
  std::vector<TextPiece> pieces;
  bool lastEncoded = false;
  const auto addPlain = [&](std::string_view text) {
    if (text.empty()) return;
    if (pieces.empty() || lastEncoded) pieces.push_back({});
    pieces.back().bytes.append(text);
    lastEncoded = false;
  };
  size_t pos = 0;
  for (size_t at = value.find("=?"); at != std::string_view::npos; at = value.find("=?", at + 2)) {
    if (at < pos) continue;
    std::optional<EncodedWord> word = EncodedWordAt(value, at);
    if (!word) continue;
    const std::string_view between = value.substr(pos, at - pos);
    // Blanks between two encoded words are not part of the text.
    if (!(lastEncoded && Trim(between).empty())) addPlain(between);
    if (lastEncoded && EqualsIgnoringCase(pieces.back().charset, word->charset)) {
      pieces.back().bytes.append(word->bytes);
    } else {
      pieces.push_back({std::move(word->charset), std::move(word->bytes)});
    }
    lastEncoded = true;
    pos = word->end;
    at = pos - 2;
  }
  addPlain(value.substr(pos));
  return pieces;
}
