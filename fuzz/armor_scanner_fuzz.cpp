// Feeds arbitrary bytes to the armour scanner in exactly-sized heap blocks
// (with and without a terminating NUL, so AddressSanitizer catches any read
// past the text) and compares every answer with a plain reference built on
// std::string_view::find, which cannot share a fault with the fast search.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string_view>

#include "command/result_marking.h"
#include "core/armor_scanner.h"
#include "fuzz/marking_check.h"
#include "tests/native/support/string_table.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

std::unique_ptr<char[]> ExactCopy(const uint8_t* data, size_t size, bool withNul) {
  std::unique_ptr<char[]> copy(new char[size + (withNul ? 1 : 0)]);
  if (size > 0) std::memcpy(copy.get(), data, size);
  if (withNul) copy[size] = '\0';
  return copy;
}

ArmorKind ReferenceWord(std::string_view rest) {
  if (rest.starts_with(kMessageWord)) return Message;
  if (rest.starts_with(kPublicKeyWord)) return PublicKey;
  if (rest.starts_with(kSignatureWord) || rest.starts_with(kSignedMessageWord)) return Signed;
  return None;
}

ArmorKind ReferenceScan(std::string_view text, WindowKind window, ArmorBlock& block) {
  constexpr std::string_view begin = kBeginPrefix, end = kEndPrefix;
  block = ArmorBlock{};
  size_t first = text.find(begin);
  if (first == text.npos) return None;
  block.blockStart = static_cast<int32_t>(first);
  size_t last = first;
  ArmorKind kind = ReferenceWord(text.substr(first + begin.size()));
  if (kind == Signed) {
    last = text.find(begin, first + begin.size());
    if (last == text.npos) return None;
    kind = ReferenceWord(text.substr(last + begin.size()));
  }
  size_t endLine = text.find(end, last + begin.size());
  if (endLine == text.npos) return None;
  ArmorKind endKind = ReferenceWord(text.substr(endLine + end.size()));
  size_t measured = endKind == Message ? 12 : endKind == Signed ? 14 : 21;
  block.blockEnd = static_cast<int32_t>(endLine + end.size() + measured);
  if (endKind != kind) return None;
  if (kind == PublicKey && window != MessageWindow) return None;
  if (kind == None) return None;
  block.quoted = first > 0 && text[first - 1] == '>';
  return kind;
}

void CheckScan(const char* raw, size_t size, const char* terminated) {
  const std::string_view text(raw, size);
  for (WindowKind window : {NoWindow, MessageWindow, CompositionWindow}) {
    ArmorBlock block, expected, fromNul;
    const ArmorKind kind = ScanArmor(raw, size, window, block);
    Check(kind == ReferenceScan(text, window, expected));
    Check(block.blockStart == expected.blockStart && block.blockEnd == expected.blockEnd &&
          block.quoted == expected.quoted);
    if (kind != None) {
      // A reported block lies wholly inside the text the driver will splice.
      Check(0 <= block.blockStart && block.blockStart < block.blockEnd);
      Check(static_cast<size_t>(block.blockEnd) <= size);
      Check(text.substr(block.blockStart).starts_with(kBeginPrefix));
      Check(kind != PublicKey || window == MessageWindow);
      // Delivered as PGP's output (here: the block itself, quote marks and
      // all), the block stands between the markers and the text around it
      // outside them, whatever either holds.
      if (kind == Message || kind == Signed) {
        const char quote = block.quoted ? '>' : '\0';
        const std::string_view head = text.substr(0, static_cast<size_t>(block.blockStart));
        const std::string_view inside =
            text.substr(static_cast<size_t>(block.blockStart),
                        static_cast<size_t>(block.blockEnd - block.blockStart));
        const std::string_view tail = text.substr(static_cast<size_t>(block.blockEnd));
        const std::string marker = FirstMarker(FunctionFromArmor(kind), nullptr, string_table::Markers());
        marking_check::CheckMarked(head, inside, tail, quote, marker,
                                   ComposeMarkedText(head, inside, tail, quote, marker));
      }
    } else {
      Check(!block.quoted);
    }
    // The NUL-terminated form sees the text up to its first NUL.
    const size_t untilNul = strnlen(raw, size);
    ArmorBlock cut;
    Check(ScanArmor(terminated, window, fromNul) == ScanArmor(raw, untilNul, window, cut));
    Check(fromNul.blockStart == cut.blockStart && fromNul.blockEnd == cut.blockEnd &&
          fromNul.quoted == cut.quoted);
  }
  Check(ClassifyArmorWord(terminated) == ClassifyArmorWord(raw, size));
  Check(ClassifyArmorWord(raw, size) == ReferenceWord(text));
}

void CheckPublicKey(const char* raw, size_t size, const char* terminated, size_t limit) {
  const std::string_view text(raw, size);
  std::unique_ptr<char[]> output(new char[limit + 1]);
  std::memset(output.get(), 0x5A, limit + 1);
  const size_t at = text.find(kPublicKeyLine);
  const bool found = FindPublicKeyText(raw, size, output.get(), limit);
  Check(found == (at != text.npos));
  Check(output[0] == '\0' || found);
  if (found) {
    std::string_view copied = text.substr(at, limit);
    copied = copied.substr(0, copied.find('\0'));
    Check(std::memcmp(output.get(), copied.data(), copied.size()) == 0);
    for (size_t i = copied.size(); i <= limit; ++i) Check(output[i] == '\0');
  }
  std::unique_ptr<char[]> fromNul(new char[limit + 1]);
  std::memset(fromNul.get(), 0x5A, limit + 1);
  const bool foundBeforeNul = FindPublicKeyText(terminated, fromNul.get(), limit);
  Check(foundBeforeNul == (text.substr(0, strnlen(raw, size)).find(kPublicKeyLine) != text.npos));
  if (foundBeforeNul) Check(std::memcmp(fromNul.get(), output.get(), limit + 1) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const auto raw = ExactCopy(data, size, false);
  const auto terminated = ExactCopy(data, size, true);
  CheckScan(raw.get(), size, terminated.get());
  CheckPublicKey(raw.get(), size, terminated.get(), kMessageTextSize - 1);
  CheckPublicKey(raw.get(), size, terminated.get(), size > 0 ? data[0] % 64 : 0);
  return 0;
}
