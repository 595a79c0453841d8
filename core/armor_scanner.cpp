#include "core/armor_scanner.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <optional>

#include "core/text_lines.h"

namespace {

// A search for one fixed string, fast enough for a whole mailbox-sized window
// text and available in both toolchains (MinGW has no memmem). It is a
// Horspool search keyed on the last two characters of the window instead of
// one: in mail text the pattern's last character (a blank or a dash) is so
// common that a one-character table would stop almost everywhere. Each step
// advances at least one position and a candidate costs at most one compare
// of the pattern's length, so the work stays linear in the text.
template <size_t Length>
class FixedPattern {
  static_assert(Length >= 2 && Length <= 255, "pair places are stored in bytes");

 public:
  consteval explicit FixedPattern(const char (&pattern)[Length + 1]) {
    for (size_t i = 0; i < Length; ++i) pattern_[i] = pattern[i];
    // The rightmost place of each character pair in the pattern (0: nowhere)
    // decides how far the window may move when that pair ends it, so that no
    // occurrence is skipped, overlapping ones included.
    for (size_t i = 1; i < kLast; ++i) {
      pairAt_[Hash(pattern_[i - 1], pattern_[i])] = static_cast<uint8_t>(i);
    }
    const uint8_t lastPair = Hash(pattern_[kLast - 1], pattern_[kLast]);
    afterMismatch_ = kLast - pairAt_[lastPair];
    pairAt_[lastPair] = static_cast<uint8_t>(kLast);
  }

  // Start of the first occurrence in text[0, length), or nullptr.
  const char* FindIn(const char* text, size_t length) const {
    if (text == nullptr || length < Length) return nullptr;
    const auto* bytes = reinterpret_cast<const unsigned char*>(text);
    size_t end = kLast;  // index of the last character of the current window
    for (;;) {
      // Most windows end in a pair the pattern lacks. Moving by the constant
      // full length there, rather than by a value loaded from the table,
      // keeps the next load independent of this one so the processor can run
      // ahead; that is what keeps pace with the C library's memmem.
      size_t at;
      while ((at = pairAt_[Hash(bytes[end - 1], bytes[end])]) == 0) {
        end += kLast;
        if (end >= length) return nullptr;
      }
      if (at == kLast) {
        const char* start = text + (end - kLast);
        if (std::memcmp(start, pattern_.data(), Length) == 0) return start;
        end += afterMismatch_;
      } else {
        end += kLast - at;
      }
      if (end >= length) return nullptr;
    }
  }

 private:
  static constexpr size_t kLast = Length - 1;

  static constexpr uint8_t Hash(unsigned char before, unsigned char last) {
    return static_cast<uint8_t>(last - (before << 3));
  }

  std::array<char, Length> pattern_{};
  std::array<uint8_t, 256> pairAt_{};
  size_t afterMismatch_ = 0;
};

template <size_t Size>
consteval size_t LengthOf(const char (&)[Size]) { return Size - 1; }

constexpr FixedPattern<LengthOf(kBeginPrefix)> kBeginSearch{kBeginPrefix};
constexpr FixedPattern<LengthOf(kEndPrefix)> kEndSearch{kEndPrefix};
constexpr FixedPattern<LengthOf(kPublicKeyLine)> kPublicKeySearch{kPublicKeyLine};
constexpr size_t kBeginLength = LengthOf(kBeginPrefix);
constexpr size_t kEndLength = LengthOf(kEndPrefix);

struct KindWord {
  const char* text;
  size_t length;
  ArmorKind kind;
};

// In the order they are tried; no two can match at the same place, the order
// only decides which compare runs first.
constexpr KindWord kKindWords[] = {
    {kMessageWord, LengthOf(kMessageWord), Message},
    {kPublicKeyWord, LengthOf(kPublicKeyWord), PublicKey},
    {kSignatureWord, LengthOf(kSignatureWord), Signed},
    {kSignedMessageWord, LengthOf(kSignedMessageWord), Signed},
};

// The end line is measured by its kind alone: a signed end line always as
// "SIGNATURE-----", an unrecognised one as long as the longest word.
size_t MeasuredWordLength(ArmorKind endKind) {
  switch (endKind) {
    case Message: return LengthOf(kMessageWord);
    case Signed: return LengthOf(kSignatureWord);
    case None:
    case PublicKey: break;
  }
  return LengthOf(kPublicKeyWord);
}

// Character by character, so a NUL in the text ends the compare before any
// read past it (a word contains no NUL).
bool StartsWith(const char* position, const KindWord& word) {
  for (size_t i = 0; i < word.length; ++i) {
    if (position[i] != word.text[i]) return false;
  }
  return true;
}

bool FitsOffset(size_t offset) {
  return offset <= static_cast<size_t>(std::numeric_limits<int32_t>::max());
}

// Public keys are only offered when reading a received message; in a
// message being written a key block is text to be encrypted like any other.
ArmorKind ReportedKind(ArmorKind kind, WindowKind windowKind) {
  if (kind == Message || kind == Signed) return kind;
  return windowKind == MessageWindow ? kind : None;
}

}  // namespace

ArmorKind ClassifyArmorWord(const char* position) {
  if (position == nullptr) return None;
  for (const KindWord& word : kKindWords) {
    if (StartsWith(position, word)) return word.kind;
  }
  return None;
}

ArmorKind ClassifyArmorWord(const char* position, size_t available) {
  if (position == nullptr) return None;
  for (const KindWord& word : kKindWords) {
    if (available >= word.length && std::memcmp(position, word.text, word.length) == 0) {
      return word.kind;
    }
  }
  return None;
}

ArmorKind ScanArmor(const char* text, WindowKind windowKind, ArmorBlock& block) {
  return ScanArmor(text, text ? std::strlen(text) : 0, windowKind, block);
}

ArmorKind ScanArmor(const char* text, size_t length, WindowKind windowKind,
                    ArmorBlock& block) {
  block = ArmorBlock{};
  if (text == nullptr) return None;
  const char* const textEnd = text + length;
  const auto remaining = [textEnd](const char* from) { return static_cast<size_t>(textEnd - from); };

  const char* firstBegin = kBeginSearch.FindIn(text, length);
  if (firstBegin == nullptr || !FitsOffset(static_cast<size_t>(firstBegin - text))) return None;
  block.blockStart = static_cast<int32_t>(firstBegin - text);

  // A clear-signed message opens with BEGIN SIGNED MESSAGE and a detached
  // signature with BEGIN SIGNATURE; either way the block's kind is decided by
  // the begin line that follows.
  const char* lastBegin = firstBegin;
  ArmorKind kind = ClassifyArmorWord(firstBegin + kBeginLength, remaining(firstBegin + kBeginLength));
  if (kind == Signed) {
    const char* from = firstBegin + kBeginLength;
    lastBegin = kBeginSearch.FindIn(from, remaining(from));
    if (lastBegin == nullptr) return None;
    kind = ClassifyArmorWord(lastBegin + kBeginLength, remaining(lastBegin + kBeginLength));
  }

  const char* from = lastBegin + kBeginLength;
  const char* endLine = kEndSearch.FindIn(from, remaining(from));
  if (endLine == nullptr) return None;
  const char* endWord = endLine + kEndLength;
  const ArmorKind endKind = ClassifyArmorWord(endWord, remaining(endWord));
  const size_t blockEnd = static_cast<size_t>(endWord - text) + MeasuredWordLength(endKind);
  if (!FitsOffset(blockEnd)) return None;
  block.blockEnd = static_cast<int32_t>(blockEnd);
  if (endKind != kind) return None;

  const ArmorKind reported = ReportedKind(kind, windowKind);
  block.quoted = reported != None && firstBegin > text && firstBegin[-1] == '>';
  return reported;
}

bool FindPublicKeyText(const char* text, char* output, size_t limit) {
  return FindPublicKeyText(text, text ? std::strlen(text) : 0, output, limit);
}

bool FindPublicKeyText(const char* text, size_t length, char* output, size_t limit) {
  output[0] = '\0';
  const char* line = kPublicKeySearch.FindIn(text, length);
  if (line == nullptr) return false;
  size_t count = std::min(limit, static_cast<size_t>(text + length - line));
  if (const void* nul = std::memchr(line, '\0', count)) {
    count = static_cast<size_t>(static_cast<const char*>(nul) - line);
  }
  std::memcpy(output, line, count);
  std::memset(output + count, 0, limit + 1 - count);
  return true;
}

namespace {

// The value of a "Charset:" armour header line, blanks trimmed; nothing for
// any other line.
std::optional<std::string_view> CharsetValue(std::string_view text) {
  constexpr std::string_view kKey = "charset:";
  if (text.size() < kKey.size()) return std::nullopt;
  for (size_t i = 0; i < kKey.size(); ++i)
    if ((text[i] | 0x20) != kKey[i] && text[i] != kKey[i]) return std::nullopt;
  text.remove_prefix(kKey.size());
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return std::string_view();
  text.remove_prefix(first);
  return text.substr(0, text.find_last_not_of(" \t") + 1);
}

}  // namespace

std::string_view ArmorCharset(std::string_view block) {
  constexpr size_t kHeaderLinesMax = 64;  // an armour header is a few lines
  for (size_t begin = block.find(kBeginPrefix); begin != std::string_view::npos;
       begin = block.find(kBeginPrefix, begin + 1)) {
    const size_t beginLineEnd = block.find('\n', begin);
    if (beginLineEnd == std::string_view::npos) continue;
    TextLine line{{}, beginLineEnd + 1, true};
    for (size_t n = 0; line.ended && n < kHeaderLinesMax; ++n) {
      line = LineAt(block, line.next);
      if (line.text.empty()) break;
      if (const std::optional<std::string_view> value = CharsetValue(line.text)) return *value;
    }
  }
  return {};
}
