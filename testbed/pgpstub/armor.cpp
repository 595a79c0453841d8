#include "armor.h"

#include "common/base64.h"

namespace pgpstub {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr std::string_view kBeginPrefix = "-----BEGIN PGP ";
constexpr std::string_view kEndPrefix = "-----END PGP ";
constexpr std::string_view kDashes = "-----";
constexpr size_t kArmorLineLength = 64;

uint32_t Byte(char c) { return static_cast<unsigned char>(c); }

std::string CrcText(uint32_t crc) {
  const char bytes[3] = {static_cast<char>(crc >> 16), static_cast<char>(crc >> 8),
                         static_cast<char>(crc)};
  return EncodeBase64(std::string_view(bytes, 3));
}

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

}  // namespace

std::string EncodeBase64(std::string_view bytes) {
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    const uint32_t v = Byte(bytes[i]) << 16 | Byte(bytes[i + 1]) << 8 | Byte(bytes[i + 2]);
    for (int shift = 18; shift >= 0; shift -= 6) out += kAlphabet[(v >> shift) & 63];
  }
  const size_t rest = bytes.size() - i;
  if (rest > 0) {
    uint32_t v = Byte(bytes[i]) << 16;
    if (rest == 2) v |= Byte(bytes[i + 1]) << 8;
    out += kAlphabet[(v >> 18) & 63];
    out += kAlphabet[(v >> 12) & 63];
    out += rest == 2 ? kAlphabet[(v >> 6) & 63] : '=';
    out += '=';
  }
  return out;
}

std::optional<std::string> DecodeBase64(std::string_view text) {
  if (text.size() % 4 != 0) return std::nullopt;
  std::string out;
  out.reserve(text.size() / 4 * 3);
  for (size_t i = 0; i < text.size(); i += 4) {
    const bool last = i + 4 == text.size();
    int pad = 0;
    if (last && text[i + 3] == '=') pad = text[i + 2] == '=' ? 2 : 1;
    uint32_t v = 0;
    for (size_t k = 0; k < 4; ++k) {
      int value = 0;
      if (k < 4 - static_cast<size_t>(pad)) {
        value = Base64Value(text[i + k]);
        if (value < 0) return std::nullopt;
      }
      v = v << 6 | static_cast<uint32_t>(value);
    }
    out += static_cast<char>(v >> 16);
    if (pad < 2) out += static_cast<char>(v >> 8);
    if (pad < 1) out += static_cast<char>(v);
  }
  return out;
}

uint32_t Crc24(std::string_view bytes) {
  uint32_t crc = 0xB704CE;
  for (char c : bytes) {
    crc ^= Byte(c) << 16;
    for (int bit = 0; bit < 8; ++bit) {
      crc <<= 1;
      if (crc & 0x1000000) crc ^= 0x1864CFB;
    }
  }
  return crc & 0xFFFFFF;
}

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  return true;
}

bool ContainsNoCase(std::string_view haystack, std::string_view needle) {
  if (needle.size() > haystack.size()) return false;
  for (size_t i = 0; i + needle.size() <= haystack.size(); ++i)
    if (EqualsNoCase(haystack.substr(i, needle.size()), needle)) return true;
  return false;
}

bool EndsWithNoCase(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() &&
         EqualsNoCase(text.substr(text.size() - suffix.size()), suffix);
}

std::string_view TrimBlanks(std::string_view text) {
  constexpr std::string_view kBlanks = " \t\r";
  const size_t first = text.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

std::vector<Line> SplitLines(std::string_view text) {
  std::vector<Line> lines;
  size_t pos = 0;
  while (pos < text.size()) {
    const size_t lf = text.find('\n', pos);
    if (lf == std::string_view::npos) {
      lines.push_back({text.substr(pos), pos, text.size()});
      break;
    }
    size_t end = lf;
    if (end > pos && text[end - 1] == '\r') --end;
    lines.push_back({text.substr(pos, end - pos), pos, lf + 1});
    pos = lf + 1;
  }
  return lines;
}

std::optional<std::string_view> BeginLineKind(std::string_view line) {
  if (!StartsWith(line, kBeginPrefix)) return std::nullopt;
  const std::string_view trimmed = TrimBlanks(line);
  const std::string_view rest = trimmed.substr(kBeginPrefix.size());
  if (rest.size() <= kDashes.size() || rest.substr(rest.size() - kDashes.size()) != kDashes)
    return std::nullopt;
  return rest.substr(0, rest.size() - kDashes.size());
}

std::optional<size_t> FindBeginLine(const std::vector<Line>& lines, size_t from,
                                    std::string_view kind) {
  for (size_t i = from; i < lines.size(); ++i) {
    const auto found = BeginLineKind(lines[i].text);
    if (found && (kind.empty() || *found == kind)) return i;
  }
  return std::nullopt;
}

std::string WrapArmor(std::string_view kind, std::string_view payload) {
  std::string out;
  out.append(kBeginPrefix).append(kind).append(kDashes).append("\r\n");
  out.append("Version: 2.6.3i (stand-in for tests)\r\n\r\n");
  const std::string body = EncodeBase64(payload);
  for (size_t i = 0; i < body.size(); i += kArmorLineLength)
    out.append(body, i, kArmorLineLength).append("\r\n");
  out.append("=").append(CrcText(Crc24(payload))).append("\r\n");
  out.append(kEndPrefix).append(kind).append(kDashes).append("\r\n");
  return out;
}

std::optional<std::string> UnwrapArmor(const std::vector<Line>& lines, size_t beginIndex,
                                       std::string_view kind) {
  size_t i = beginIndex + 1;
  // Header lines ("Version: ...") carry a colon, which base64 never does.
  while (i < lines.size()) {
    const std::string_view text = TrimBlanks(lines[i].text);
    if (text.empty()) {
      ++i;
      break;
    }
    if (text.find(':') == std::string_view::npos) break;
    ++i;
  }
  std::string body;
  std::optional<std::string> crcText;
  for (; i < lines.size(); ++i) {
    const std::string_view text = TrimBlanks(lines[i].text);
    if (StartsWith(text, kEndPrefix)) {
      const std::string expected = std::string(kEndPrefix).append(kind).append(kDashes);
      if (text != expected || !crcText) return std::nullopt;
      const auto payload = DecodeBase64(body);
      const auto crc = DecodeBase64(*crcText);
      if (!payload || !crc || crc->size() != 3) return std::nullopt;
      const uint32_t stated = Byte((*crc)[0]) << 16 | Byte((*crc)[1]) << 8 | Byte((*crc)[2]);
      if (stated != Crc24(*payload)) return std::nullopt;
      return payload;
    }
    if (crcText) return std::nullopt;  // nothing but the END line may follow the CRC
    if (!text.empty() && text[0] == '=')
      crcText = std::string(text.substr(1));
    else
      body.append(text);
  }
  return std::nullopt;
}

}  // namespace pgpstub
