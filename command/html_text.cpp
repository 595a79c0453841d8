#include "command/html_text.h"
#include "core/text_chars.h"

#include <algorithm>
#include <optional>
#include <utility>

namespace {

// The longest tag name, entity name and numeric reference looked at.
constexpr size_t kNameMax = 32;


bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsHtmlBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f'; }

bool StartsWithIgnoringCase(std::string_view text, std::string_view start) {
  if (text.size() < start.size()) return false;
  for (size_t i = 0; i < start.size(); ++i)
    if (LowerAscii(text[i]) != start[i]) return false;
  return true;
}

constexpr std::pair<std::string_view, uint32_t> kEntities[] = {
    {"amp", '&'},       {"lt", '<'},        {"gt", '>'},         {"quot", '"'},
    {"apos", '\''},     {"nbsp", ' '},      {"ensp", ' '},       {"emsp", ' '},
    {"thinsp", ' '},    {"shy", 0},         {"zwnj", 0},         {"zwj", 0},
    {"copy", 0xA9},     {"reg", 0xAE},      {"trade", 0x2122},   {"hellip", 0x2026},
    {"mdash", 0x2014},  {"ndash", 0x2013},  {"lsquo", 0x2018},   {"rsquo", 0x2019},
    {"sbquo", 0x201A},  {"ldquo", 0x201C},  {"rdquo", 0x201D},   {"bdquo", 0x201E},
    {"laquo", 0xAB},    {"raquo", 0xBB},    {"bull", 0x2022},    {"middot", 0xB7},
    {"euro", 0x20AC},   {"pound", 0xA3},    {"yen", 0xA5},       {"cent", 0xA2},
    {"sect", 0xA7},     {"para", 0xB6},     {"deg", 0xB0},       {"plusmn", 0xB1},
    {"times", 0xD7},    {"divide", 0xF7},   {"frac12", 0xBD},    {"frac14", 0xBC},
    {"frac34", 0xBE},   {"iexcl", 0xA1},    {"iquest", 0xBF},    {"szlig", 0xDF},
    {"auml", 0xE4},     {"ouml", 0xF6},     {"uuml", 0xFC},      {"Auml", 0xC4},
    {"Ouml", 0xD6},     {"Uuml", 0xDC},     {"aacute", 0xE1},    {"eacute", 0xE9},
    {"iacute", 0xED},   {"oacute", 0xF3},   {"uacute", 0xFA},    {"Eacute", 0xC9},
    {"agrave", 0xE0},   {"egrave", 0xE8},   {"ograve", 0xF2},    {"acirc", 0xE2},
    {"ecirc", 0xEA},    {"ocirc", 0xF4},    {"ccedil", 0xE7},    {"Ccedil", 0xC7},
    {"ntilde", 0xF1},   {"aring", 0xE5},    {"Aring", 0xC5},     {"oslash", 0xF8},
    {"Oslash", 0xD8},   {"aelig", 0xE6},    {"AElig", 0xC6},
};

// Elements whose content is never shown.
constexpr std::string_view kHiddenElements[] = {"script", "style", "title", "template", "noscript"};
// Elements that stand apart with an empty line, and those on lines of their own.
constexpr std::string_view kParagraphElements[] = {"p",  "h1", "h2",         "h3",    "h4", "h5",
                                                   "h6", "ul", "ol",         "dl",    "pre",
                                                   "hr", "table", "blockquote"};
constexpr std::string_view kLineElements[] = {
    "br",      "div",    "li",     "tr",     "dt",         "dd",      "section", "article",
    "header",  "footer", "nav",    "aside",  "main",       "figure",  "figcaption",
    "address", "form",   "fieldset", "center", "caption",  "body",    "html"};

template <size_t N>
bool IsOneOf(std::string_view name, const std::string_view (&names)[N]) {
  for (std::string_view candidate : names)
    if (name == candidate) return true;
  return false;
}

// Builds the text: runs of blanks become one, line breaks that elements
// ask for are written once, before the next visible character, and never
// at the very start.
class TextBuilder {
 public:
  void Character(std::string_view bytes, bool preformatted) {
    if (bytes.empty()) return;
    FlushBreaks();
    if (pendingBlank_ && !AtLineStart() && !preformatted) out_ += ' ';
    pendingBlank_ = false;
    out_.append(bytes);
    trailingBreaks_ = 0;
  }
  void Blank() { pendingBlank_ = true; }
  // <br> or a line feed in <pre>: one more line break, up to two empty lines.
  void HardBreak() {
    FlushBreaks();
    pendingBlank_ = false;
    if (out_.empty() || trailingBreaks_ >= 3) return;
    out_ += "\r\n";
    ++trailingBreaks_;
  }
  // Ends the line (1) or the paragraph (2) unless that is done already.
  void Break(int lines) { wantedBreaks_ = std::max(wantedBreaks_, lines); }
  // Between table cells on one line.
  void Separator() {
    if (wantedBreaks_ > 0 || AtLineStart()) return;
    out_ += '\t';
    pendingBlank_ = false;
  }
  std::string Take() {
    if (!AtLineStart()) out_ += "\r\n";
    return std::move(out_);
  }

 private:
  bool AtLineStart() const { return out_.empty() || out_.back() == '\n'; }
  void FlushBreaks() {
    if (!out_.empty()) {
      for (int i = trailingBreaks_; i < wantedBreaks_; ++i) out_ += "\r\n";
      if (wantedBreaks_ > 0) pendingBlank_ = false;
      trailingBreaks_ = std::max(trailingBreaks_, wantedBreaks_);
    }
    wantedBreaks_ = 0;
  }

  std::string out_;
  bool pendingBlank_ = false;
  int wantedBreaks_ = 0;
  int trailingBreaks_ = 0;  // line breaks at the end of out_
};

// The code point of an entity at `pos` ('&'), and where it ends; nullopt
// when it is no entity (the '&' is then text).
std::optional<std::pair<uint32_t, size_t>> EntityAt(std::string_view html, size_t pos) {
  const std::string_view rest = html.substr(pos + 1, kNameMax + 2);
  if (!rest.empty() && rest[0] == '#') {
    const bool hex = rest.size() > 1 && (rest[1] == 'x' || rest[1] == 'X');
    size_t i = hex ? 2 : 1;
    uint32_t value = 0;
    const size_t digitsStart = i;
    for (; i < rest.size() && i - digitsStart < 8; ++i) {
      const char c = rest[i];
      const int digit = IsDigit(c) ? c - '0'
                        : hex && c >= 'a' && c <= 'f' ? c - 'a' + 10
                        : hex && c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                      : -1;
      if (digit < 0) break;
      value = value * (hex ? 16 : 10) + static_cast<uint32_t>(digit);
    }
    if (i == digitsStart) return std::nullopt;
    const bool semicolon = i < rest.size() && rest[i] == ';';
    if (value == 0 || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) value = 0xFFFD;
    return std::make_pair(value, pos + 1 + i + (semicolon ? 1 : 0));
  }
  size_t i = 0;
  while (i < rest.size() && (IsLetter(rest[i]) || IsDigit(rest[i]))) ++i;
  const std::string_view name = rest.substr(0, i);
  const bool semicolon = i < rest.size() && rest[i] == ';';
  // The old entities work without ';' too.
  const bool bare = name == "amp" || name == "lt" || name == "gt" || name == "quot" || name == "nbsp";
  if (!semicolon && !bare) return std::nullopt;
  for (const auto& [entity, codePoint] : kEntities)
    if (name == entity) return std::make_pair(codePoint, pos + 1 + i + (semicolon ? 1 : 0));
  return std::nullopt;
}

// Where a tag that begins at `pos` ends (just past its '>'); quoted
// attribute values may hold '>'.
size_t TagEnd(std::string_view html, size_t pos) {
  char quote = 0;
  for (size_t i = pos + 1; i < html.size(); ++i) {
    const char c = html[i];
    if (quote) {
      if (c == quote) quote = 0;
    } else if (c == '"' || c == '\'') {
      // Only a quote that opens an attribute value ("=" before it) counts.
      size_t before = i;
      while (before > pos && IsHtmlBlank(html[before - 1])) --before;
      if (before > pos && html[before - 1] == '=') quote = c;
    } else if (c == '>') {
      return i + 1;
    }
  }
  return html.size();
}

// After a hidden element's start tag: just past its end tag, or the end.
size_t SkipHidden(std::string_view html, size_t pos, std::string_view name) {
  for (size_t at = html.find("</", pos); at != std::string_view::npos; at = html.find("</", at + 2)) {
    if (StartsWithIgnoringCase(html.substr(at + 2), name)) return TagEnd(html, at);
  }
  return html.size();
}

void WriteCodePoint(TextBuilder& text, uint32_t codePoint, bool preformatted,
                    const CharacterWriter& writeCharacter) {
  if (codePoint == 0) return;
  if (codePoint == '\n' && preformatted) return text.HardBreak();
  if (codePoint < 0x80 && IsHtmlBlank(static_cast<char>(codePoint)))
    return preformatted ? text.Character(" ", true) : text.Blank();
  if (codePoint < 0x20 || codePoint == 0x7F) return;
  if (codePoint < 0x80) return text.Character(std::string(1, static_cast<char>(codePoint)), preformatted);
  text.Character(writeCharacter(codePoint), preformatted);
}

}  // namespace

std::string Utf8Of(uint32_t codePoint) {
  if (codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF)) codePoint = 0xFFFD;
  std::string out;
  if (codePoint < 0x80) {
    out += static_cast<char>(codePoint);
  } else if (codePoint < 0x800) {
    out += static_cast<char>(0xC0 | codePoint >> 6);
    out += static_cast<char>(0x80 | (codePoint & 0x3F));
  } else if (codePoint < 0x10000) {
    out += static_cast<char>(0xE0 | codePoint >> 12);
    out += static_cast<char>(0x80 | (codePoint >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (codePoint & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | codePoint >> 18);
    out += static_cast<char>(0x80 | (codePoint >> 12 & 0x3F));
    out += static_cast<char>(0x80 | (codePoint >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (codePoint & 0x3F));
  }
  return out;
}

std::string HtmlToText(std::string_view html, const CharacterWriter& writeCharacter) {
  TextBuilder text;
  int preformatted = 0;
  size_t pos = 0;
  while (pos < html.size()) {
    const char c = html[pos];
    if (c == '<' && html.substr(pos, 4) == "<!--") {
      const size_t end = html.find("-->", pos + 4);
      pos = end == std::string_view::npos ? html.size() : end + 3;
      continue;
    }
    const char next = pos + 1 < html.size() ? html[pos + 1] : '\0';
    if (c == '<' && (IsLetter(next) || next == '/' || next == '!' || next == '?')) {
      const size_t end = TagEnd(html, pos);
      const bool closing = next == '/';
      std::string name;
      for (size_t i = pos + (closing ? 2 : 1);
           i < end && name.size() < kNameMax && (IsLetter(html[i]) || IsDigit(html[i])); ++i)
        name += LowerAscii(html[i]);
      pos = end;
      if (!closing && IsOneOf(name, kHiddenElements)) {
        pos = SkipHidden(html, pos, name);
      } else if (name == "br") {
        text.HardBreak();
      } else if (name == "td" || name == "th") {
        if (!closing) text.Separator();
      } else if (IsOneOf(name, kParagraphElements)) {
        text.Break(2);
        if (name == "pre") preformatted = std::max(0, preformatted + (closing ? -1 : 1));
      } else if (IsOneOf(name, kLineElements)) {
        text.Break(1);
        if (name == "li" && !closing) text.Character("* ", true);
      }
      continue;
    }
    if (c == '&') {
      if (const auto entity = EntityAt(html, pos)) {
        WriteCodePoint(text, entity->first, preformatted > 0, writeCharacter);
        pos = entity->second;
        continue;
      }
    }
    if (preformatted > 0 && c == '\n') {
      text.HardBreak();
    } else if (preformatted > 0 && c == '\r') {
    } else if (IsHtmlBlank(c)) {
      preformatted > 0 ? text.Character(std::string_view(&c, 1), true) : text.Blank();
    } else {
      text.Character(std::string_view(&c, 1), preformatted > 0);
    }
    ++pos;
  }
  return text.Take();
}
