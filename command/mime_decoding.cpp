#include "command/mime_decoding.h"

#include <array>
#include <cstdint>
#include <cstring>

namespace {

constexpr uint8_t kSkip = 0x40;     // line breaks and blanks between groups
constexpr uint8_t kPadding = 0x41;  // '='
constexpr uint8_t kInvalid = 0x80;

constexpr std::array<uint8_t, 256> MakeBase64Table() {
  std::array<uint8_t, 256> table{};
  for (auto& value : table) value = kInvalid;
  const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  for (uint8_t i = 0; i < 64; ++i) table[static_cast<uint8_t>(alphabet[i])] = i;
  for (char c : {' ', '\t', '\r', '\n', '\f', '\v'}) table[static_cast<uint8_t>(c)] = kSkip;
  table['='] = kPadding;
  return table;
}
constexpr std::array<uint8_t, 256> kBase64 = MakeBase64Table();

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Decodes one line of quoted-printable text (no line break in it) into `w`;
// returns the end of what was written. `soft` says whether it ended in '='.
char* DecodeQuotedLine(std::string_view line, char* w, bool& soft, bool& clean) {
  soft = false;
  size_t i = 0;
  while (i < line.size()) {
    const void* found = std::memchr(line.data() + i, '=', line.size() - i);
    const size_t equals = found ? static_cast<size_t>(static_cast<const char*>(found) - line.data())
                                : line.size();
    std::memcpy(w, line.data() + i, equals - i);
    w += equals - i;
    if (equals == line.size()) break;
    if (equals + 1 == line.size()) {
      soft = true;
      break;
    }
    const int high = HexValue(line[equals + 1]);
    const int low = equals + 2 < line.size() ? HexValue(line[equals + 2]) : -1;
    if (high >= 0 && low >= 0) {
      *w++ = static_cast<char>(high << 4 | low);
      i = equals + 3;
    } else {
      *w++ = '=';
      clean = false;
      i = equals + 1;
    }
  }
  return w;
}

}  // namespace

bool DecodeBase64(std::string_view in, std::string& out) {
  const size_t start = out.size();
  out.resize(start + in.size() / 4 * 3 + 3);
  char* w = out.data() + start;
  const auto* p = reinterpret_cast<const unsigned char*>(in.data());
  const auto* const end = p + in.size();
  uint32_t bits = 0;
  int count = 0;
  bool clean = true;
  while (p < end) {
    // Whole groups of four between the line breaks, the common case.
    while (count == 0 && end - p >= 4) {
      const uint32_t a = kBase64[p[0]], b = kBase64[p[1]], c = kBase64[p[2]], d = kBase64[p[3]];
      if ((a | b | c | d) & 0xC0) break;
      const uint32_t group = a << 18 | b << 12 | c << 6 | d;
      w[0] = static_cast<char>(group >> 16);
      w[1] = static_cast<char>(group >> 8);
      w[2] = static_cast<char>(group);
      w += 3;
      p += 4;
    }
    if (p == end) break;
    const uint8_t value = kBase64[*p++];
    if (value < 64) {
      bits = bits << 6 | value;
      if (++count == 4) {
        *w++ = static_cast<char>(bits >> 16);
        *w++ = static_cast<char>(bits >> 8);
        *w++ = static_cast<char>(bits);
        bits = 0;
        count = 0;
      }
    } else if (value == kPadding) {
      if (count == 1) clean = false;
      if (count >= 2) *w++ = static_cast<char>(bits >> (count == 2 ? 4 : 10));
      if (count == 3) *w++ = static_cast<char>(bits >> 2);
      bits = 0;
      count = 0;
    } else if (value == kInvalid) {
      clean = false;
    }
  }
  // Missing padding is common and harmless; a lone character is not.
  if (count == 1) clean = false;
  if (count >= 2) *w++ = static_cast<char>(bits >> (count == 2 ? 4 : 10));
  if (count == 3) *w++ = static_cast<char>(bits >> 2);
  out.resize(static_cast<size_t>(w - out.data()));
  return clean;
}

bool DecodeQuotedPrintable(std::string_view in, std::string& out) {
  const size_t start = out.size();
  // A hard break may grow from LF to CR LF, one byte per line at most.
  out.resize(start + in.size() + in.size() / 2 + 2);
  char* w = out.data() + start;
  bool clean = true;
  size_t pos = 0;
  while (pos < in.size()) {
    const void* found = std::memchr(in.data() + pos, '\n', in.size() - pos);
    const size_t lineEnd = found ? static_cast<size_t>(static_cast<const char*>(found) - in.data())
                                 : in.size();
    size_t end = lineEnd;
    while (end > pos && (IsBlank(in[end - 1]) || in[end - 1] == '\r')) --end;
    bool soft = false;
    w = DecodeQuotedLine(in.substr(pos, end - pos), w, soft, clean);
    if (found && !soft) {
      *w++ = '\r';
      *w++ = '\n';
    }
    pos = lineEnd + 1;
  }
  out.resize(static_cast<size_t>(w - out.data()));
  return clean;
}

std::string DecodeQEncoding(std::string_view in) {
  std::string out;
  out.reserve(in.size());
  for (size_t i = 0; i < in.size(); ++i) {
    const int high = in[i] == '=' && i + 2 < in.size() ? HexValue(in[i + 1]) : -1;
    const int low = high >= 0 ? HexValue(in[i + 2]) : -1;
    if (low >= 0) {
      out += static_cast<char>(high << 4 | low);
      i += 2;
    } else {
      out += in[i] == '_' ? ' ' : in[i];
    }
  }
  return out;
}

std::string JoinFlowedLines(std::string_view text, bool delSp) {
  std::string out;
  out.reserve(text.size() + text.size() / 8 + 2);
  bool open = false;  // a paragraph continues on the next line
  size_t openDepth = 0;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t lineEnd = text.find('\n', pos);
    const bool hasBreak = lineEnd != std::string_view::npos;
    if (!hasBreak) lineEnd = text.size();
    std::string_view line = text.substr(pos, lineEnd - pos);
    pos = lineEnd + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);

    const size_t depth = std::min(line.find_first_not_of('>'), line.size());
    std::string_view content = line.substr(depth);
    if (!content.empty() && content.front() == ' ') content.remove_prefix(1);
    const bool signature = content == "-- ";
    const bool flowed = !signature && !content.empty() && content.back() == ' ';

    if (open && depth != openDepth) out += "\r\n";
    if (!open || depth != openDepth) {
      out.append(depth, '>');
      if (depth > 0) out += ' ';
      openDepth = depth;
    }
    if (flowed && delSp) content.remove_suffix(1);
    out.append(content);
    open = flowed;
    if (!flowed && hasBreak) out += "\r\n";
  }
  if (open && !text.empty() && text.back() == '\n') out += "\r\n";
  return out;
}
