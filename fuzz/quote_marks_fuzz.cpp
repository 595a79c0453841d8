// Feeds arbitrary message text through the quote stripping and the
// converted-attachment line reader. The scan text is an exactly-sized
// buffer without a terminating NUL, as a block of captured text may be,
// so ASan reports any read past the length the driver passes.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "command/run_pgp_driver.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

void CheckStrip(const uint8_t* data, size_t size) {
  std::vector<char> text(data, data + size);
  text.push_back('\0');
  const size_t inputLength = std::strlen(text.data());
  size_t marks = 0;
  for (size_t i = 0; i < inputLength; ++i) {
    if (text[i] == '>' && (i == 0 || text[i - 1] == '\n')) ++marks;
  }
  const int kept = StripQuoteMarks(text.data(), '>');
  Check(kept >= 0 && static_cast<size_t>(kept) <= inputLength);
  Check(static_cast<size_t>(kept) == inputLength - marks);
  Check(std::strlen(text.data()) == static_cast<size_t>(kept));
}

// Walks every attachment line the way the driver does after a line whose
// file held no armour: the next search starts at the path run.
void CheckLines(const char* scan, int32_t scanLength, const char* prefix, int32_t prefixLength) {
  AttachmentLine line;
  int32_t from = 0;
  int32_t lines = 0;
  while (FindAttachmentLine(scan, scanLength, prefix, prefixLength, from, line)) {
    Check(line.blockStart >= from);
    Check(line.runStart == line.blockStart + prefixLength);
    Check(line.runStart < line.blockEnd && line.blockEnd <= scanLength);
    Check(std::memcmp(scan + line.blockStart, prefix, static_cast<size_t>(prefixLength)) == 0);
    const size_t pathLength = strnlen(line.path, kPathSize);
    Check(pathLength < static_cast<size_t>(kPathSize));
    Check(pathLength <= static_cast<size_t>(line.blockEnd - line.runStart));
    Check(!line.pathTooLong || pathLength == static_cast<size_t>(kPathSize - 1));
    for (size_t i = 0; i < pathLength; ++i) {
      const unsigned char c = static_cast<unsigned char>(line.path[i]);
      Check(c >= 32 && c != 127);
    }
    Check(line.quoted == (line.blockStart > 0 && scan[line.blockStart - 1] == '>'));
    from = line.runStart;
    Check(++lines <= scanLength);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CheckStrip(data, size);
  if (size == 0 || size > 1 << 20) return 0;

  // The first byte picks a short prefix from the input itself, so that
  // repeated and overlapping prefixes get tried; the standard one as well.
  const size_t prefixLength = std::min<size_t>(data[0] % 32, size - 1);
  std::vector<char> prefix(data + 1, data + 1 + prefixLength);
  std::vector<char> scan(data + 1 + prefixLength, data + size);
  CheckLines(scan.data(), static_cast<int32_t>(scan.size()), prefix.data(),
             static_cast<int32_t>(prefix.size()));

  static const char kStandard[] = "Attachment Converted: ";
  std::vector<char> whole(data, data + size);
  CheckLines(whole.data(), static_cast<int32_t>(whole.size()), kStandard,
             static_cast<int32_t>(sizeof(kStandard) - 1));
  return 0;
}
