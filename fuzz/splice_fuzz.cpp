// Splices arbitrary output into arbitrary captured text with arbitrary
// (also negative and past-the-end) block offsets and small limits, in a
// block of exactly the planned size so ASan sees any stray byte, and
// compares the in-place rebuild with a plain std::string construction.
//
// Input: byte 0 picks quote and function, bytes 1-6 the three offsets as
// signed 16-bit numbers, byte 7 the limit, then the captured text up to the
// first NUL and PGP's output after it.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "command/result_delivery.h"
#include "command/result_marking.h"
#include "fuzz/marking_check.h"
#include "tests/native/support/string_table.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

int16_t Offset(const uint8_t* p) { return static_cast<int16_t>(p[0] | p[1] << 8); }

struct Expected {
  std::string text;
  bool cut;
};

// What the splice must produce, built the obvious way.
Expected Reference(const std::string& text, PgpFunction function, int64_t scanOffset,
                   int64_t blockStart, int64_t blockEnd, const std::string& output, char quote,
                   size_t limit) {
  std::string head, tail;
  if (function == Decode || function == CheckSignature) {
    int64_t length = static_cast<int64_t>(text.size());
    int64_t headEnd = std::clamp<int64_t>(scanOffset + blockStart, 0, length);
    int64_t tailStart = std::clamp<int64_t>(scanOffset + blockEnd, headEnd, length);
    head = text.substr(0, static_cast<size_t>(headEnd));
    tail = text.substr(static_cast<size_t>(tailStart));
  }
  size_t used = head.size() + tail.size();
  size_t room = used < limit ? limit - used : 0;
  std::string converted;
  size_t i = 0;
  for (; i < output.size(); ++i) {
    std::string piece(1, output[i]);
    if (quote && output[i] == '\n') piece += quote;
    if (converted.size() + piece.size() > room) break;
    converted += piece;
  }
  return {head + converted + tail, i < output.size()};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 8) return 0;
  const char quote = (data[0] & 1) ? '>' : '\0';
  const auto function = static_cast<PgpFunction>((data[0] >> 1) % 5);
  const int64_t scanOffset = Offset(data + 1);
  const int64_t blockStart = Offset(data + 3);
  const int64_t blockEnd = Offset(data + 5);
  const size_t limit = (data[7] & 0x80) ? (data[7] & 0x7F) * 4u : kSpliceLimit;

  const char* rest = reinterpret_cast<const char*>(data + 8);
  const size_t restSize = size - 8;
  const size_t textSize = strnlen(rest, restSize);
  const std::string text(rest, textSize);
  // PGP's output is read as a C string, so it ends at its first NUL too.
  const std::string output =
      textSize < restSize ? std::string(rest + textSize + 1, strnlen(rest + textSize + 1,
                                                                      restSize - textSize - 1))
                          : std::string();

  // The captured text gets a block of its own with nothing after it.
  auto captured = std::make_unique<char[]>(text.size() + 1);
  std::memcpy(captured.get(), text.c_str(), text.size() + 1);
  KeptParts parts = SpliceKeptParts(function, static_cast<int64_t>(text.size()), scanOffset,
                                    blockStart, blockEnd);
  if (function == Decode || function == CheckSignature) {
    Check(parts.headLength <= parts.tailStart);
    Check(parts.tailStart + parts.tailLength == text.size());
  } else {
    Check(parts.headLength == 0 && parts.tailLength == 0);
  }

  SplicePlan plan =
      PlanSplice(parts.headLength, parts.tailLength, output.c_str(), quote, limit);
  const size_t blockSize = plan.BlockSize();
  std::unique_ptr<char[]> block(new char[blockSize]);
  std::memset(block.get(), 'G', blockSize);  // enlarged memory is not zeroed
  std::memcpy(block.get(), output.c_str(), std::min(output.size() + 1, blockSize));
  RebuildSplice(block.get(), plan, captured.get(), captured.get() + parts.tailStart, quote);

  Expected expected = Reference(text, function, scanOffset, blockStart, blockEnd, output, quote,
                                limit);
  Check(block[blockSize - 1] == '\0');
  Check(std::string(block.get(), blockSize - 1) == expected.text);
  Check(plan.cut == expected.cut);

  // The marked delivery of a check or a decode: whatever the message and
  // PGP's output hold, only the module's two lines pass for markers, and
  // nothing of the message lands between them.
  if (function == Decode || function == CheckSignature) {
    const std::string_view head(captured.get(), parts.headLength);
    const std::string_view tail(captured.get() + parts.tailStart, parts.tailLength);
    // The signer's user id is the sender's text too.
    VerdictFile verdict;
    verdict.signedMessage = true;
    verdict.status = "good";
    verdict.validity = "full";
    verdict.signer = text.substr(0, 100);
    const std::string marker = FirstMarker(function, (data[0] & 0x40) ? &verdict : nullptr, string_table::Markers());
    // Rebuilt in a block of exactly the planned size, as in the client.
    const MarkedSplicePlan markedPlan = PlanMarkedSplice(head, output, tail, quote, marker, {});
    Check(markedPlan.fits);
    std::unique_ptr<char[]> markedBlock(new char[markedPlan.BlockSize()]);
    std::memset(markedBlock.get(), 'G', markedPlan.BlockSize());
    std::memcpy(markedBlock.get(), output.data(), output.size());
    RebuildMarkedSplice(markedBlock.get(), markedPlan, head, tail, quote, marker);
    Check(markedBlock[markedPlan.BlockSize() - 1] == '\0');
    const std::string marked(markedBlock.get(), markedPlan.BlockSize() - 1);
    Check(marked == ComposeMarkedText(head, output, tail, quote, marker));
    marking_check::CheckMarked(head, output, tail, quote, marker, marked);
  }
  return 0;
}
