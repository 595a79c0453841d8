#include "command/charset_names.h"

#include <cstring>

#include <string>
#include <utility>

namespace {

// No real charset name is longer; anything longer is not worth matching.
constexpr size_t kNameMax = 64;

// Letters and digits only, lower case.
std::string LooseKey(std::string_view name) {
  std::string key;
  for (char c : name) {
    if (c >= 'A' && c <= 'Z') key += static_cast<char>(c - 'A' + 'a');
    else if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) key += c;
  }
  return key;
}

// ISO 8859 numbers Windows has a code page for. ISO 8859-11 is Thai, which
// Windows-874 contains.
std::optional<uint32_t> Iso8859CodePage(unsigned part, std::string_view variant) {
  if (variant == "i" && part == 8) return 38598;  // logical-order Hebrew
  if (variant == "i" && part == 6) return 28596;
  if (!variant.empty() && variant != "e") return std::nullopt;
  if (part >= 1 && part <= 9) return 28590 + part;
  if (part == 11) return 874;
  if (part == 13) return 28603;
  if (part == 15) return 28605;
  return std::nullopt;
}

// "iso-8859-2", "ISO_8859-2:1987", "iso8859-8-i", "iso 8859 15": the part
// number read by itself, so ":1987" cannot run into it.
std::optional<uint32_t> FromIso8859Name(std::string_view name) {
  std::string lower;
  for (char c : name) lower += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  std::string_view rest(lower);
  const auto skipSeparator = [&rest] {
    if (!rest.empty() && (rest[0] == '-' || rest[0] == '_' || rest[0] == ' ')) rest.remove_prefix(1);
  };
  if (rest.substr(0, 3) != "iso") return std::nullopt;
  rest.remove_prefix(3);
  skipSeparator();
  if (rest.substr(0, 4) != "8859") return std::nullopt;
  rest.remove_prefix(4);
  skipSeparator();
  unsigned part = 0;
  size_t digits = 0;
  while (digits < rest.size() && digits < 2 && rest[digits] >= '0' && rest[digits] <= '9')
    part = part * 10 + static_cast<unsigned>(rest[digits++] - '0');
  if (digits == 0) return std::nullopt;
  rest.remove_prefix(digits);
  if (!rest.empty() && rest[0] >= '0' && rest[0] <= '9') return std::nullopt;
  if (!rest.empty() && rest[0] == ':') return Iso8859CodePage(part, "");  // ":1987", the year
  skipSeparator();
  return Iso8859CodePage(part, rest);
}

// Windows' own names: "windows-1252", "cp1252", "x-cp1250", "ibm850".
std::optional<uint32_t> FromNumberedName(std::string_view key) {
  for (std::string_view prefix : {"windows", "xcp", "cp", "ibm", "ms"}) {
    if (key.substr(0, prefix.size()) != prefix) continue;
    const std::string_view digits = key.substr(prefix.size());
    if (digits.empty() || digits.size() > 4 ||
        digits.find_first_not_of("0123456789") != std::string_view::npos)
      return std::nullopt;
    const uint32_t number = static_cast<uint32_t>(std::stoul(std::string(digits)));
    const bool windows = number >= 1250 && number <= 1258;
    const bool dos = number == 437 || number == 737 || number == 775 || number == 850 ||
                     number == 852 || number == 855 || number == 857 ||
                     (number >= 860 && number <= 866) || number == 869;
    const bool asian = number == 874 || number == 932 || number == 936 || number == 949 ||
                       number == 950;
    if (windows || dos || asian) return number;
    return std::nullopt;
  }
  return std::nullopt;
}

constexpr std::pair<std::string_view, uint32_t> kAliases[] = {
    {"utf8", kCodePageUtf8},
    {"unicode11utf8", kCodePageUtf8},
    {"utf7", 65000},
    {"unicode11utf7", 65000},
    {"csunicode11utf7", 65000},
    {"utf16", kCodePageUtf16Be},
    {"utf16be", kCodePageUtf16Be},
    {"unicodefffe", kCodePageUtf16Be},
    {"utf16le", kCodePageUtf16Le},
    {"ucs2", kCodePageUtf16Le},
    {"usascii", 20127},
    {"ascii", 20127},
    {"us", 20127},
    {"ansix341968", 20127},
    {"ansix341986", 20127},
    {"iso646us", 20127},
    {"iso646irv1991", 20127},
    {"csascii", 20127},
    {"cp367", 20127},
    {"ibm367", 20127},
    {"latin1", 28591},
    {"l1", 28591},
    {"cp819", 28591},
    {"ibm819", 28591},
    {"isoir100", 28591},
    {"csisolatin1", 28591},
    {"latin2", 28592},
    {"l2", 28592},
    {"csisolatin2", 28592},
    {"latin3", 28593},
    {"latin4", 28594},
    {"cyrillic", 28595},
    {"arabic", 28596},
    {"greek", 28597},
    {"greek8", 28597},
    {"hebrew", 28598},
    {"latin5", 28599},
    {"l5", 28599},
    {"latin7", 28603},
    {"latin9", 28605},
    {"latin0", 28605},
    {"koi8r", 20866},
    {"cskoi8r", 20866},
    {"koi8", 20866},
    {"koi8u", 21866},
    {"koi8ru", 21866},
    {"tis620", 874},
    {"windows874", 874},
    {"shiftjis", 932},
    {"sjis", 932},
    {"xsjis", 932},
    {"mskanji", 932},
    {"csshiftjis", 932},
    {"windows31j", 932},
    {"eucjp", 20932},
    {"xeucjp", 20932},
    {"cseucpkdfmtjapanese", 20932},
    {"iso2022jp", 50220},
    {"csiso2022jp", 50220},
    {"gb2312", 936},
    {"gbk", 936},
    {"xgbk", 936},
    {"euccn", 936},
    {"xeuccn", 936},
    {"csgb2312", 936},
    {"chinese", 936},
    {"gb18030", 54936},
    {"hzgb2312", 52936},
    {"big5", 950},
    {"csbig5", 950},
    {"xxbig5", 950},
    {"big5hkscs", 950},
    {"euckr", 949},
    {"cseuckr", 949},
    {"ksc5601", 949},
    {"ksc56011987", 949},
    {"ksc56011989", 949},
    {"windows949", 949},
    {"iso2022kr", 50225},
    {"csiso2022kr", 50225},
    {"macintosh", 10000},
    {"mac", 10000},
    {"xmacroman", 10000},
    {"csmacintosh", 10000},
    {"xmaccyrillic", 10007},
    {"xmacce", 10029},
};

}  // namespace

std::optional<uint32_t> CodePageOfCharset(std::string_view charset) {
  if (charset.empty() || charset.size() > kNameMax) return std::nullopt;
  if (const auto iso = FromIso8859Name(charset)) return iso;
  const std::string key = LooseKey(charset);
  for (const auto& [alias, codePage] : kAliases)
    if (key == alias) return codePage;
  return FromNumberedName(key);
}

bool IsAscii(std::string_view bytes) {
  size_t i = 0;
  uint64_t seen = 0;
  for (; i + 8 <= bytes.size(); i += 8) {
    uint64_t word;
    std::memcpy(&word, bytes.data() + i, 8);
    seen |= word;
    // A long text with 8-bit bytes mostly shows one early.
    if (i % 256 == 248 && (seen & 0x8080808080808080ull) != 0) return false;
  }
  for (; i < bytes.size(); ++i) seen |= static_cast<unsigned char>(bytes[i]);
  return (seen & 0x8080808080808080ull) == 0;
}

bool IsUtf8(std::string_view bytes) {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const auto* const end = p + bytes.size();
  while (p < end) {
    if (*p < 0x80) {
      ++p;
      continue;
    }
    size_t length;
    uint32_t min;
    if ((*p & 0xE0) == 0xC0) length = 2, min = 0x80;
    else if ((*p & 0xF0) == 0xE0) length = 3, min = 0x800;
    else if ((*p & 0xF8) == 0xF0) length = 4, min = 0x10000;
    else return false;
    if (static_cast<size_t>(end - p) < length) return false;
    uint32_t value = *p & (0x7F >> length);
    for (size_t i = 1; i < length; ++i) {
      if ((p[i] & 0xC0) != 0x80) return false;
      value = value << 6 | (p[i] & 0x3F);
    }
    if (value < min || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return false;
    p += length;
  }
  return true;
}
