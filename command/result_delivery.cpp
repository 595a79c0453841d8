#include "command/result_delivery.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "command/result_marking.h"
#include "core/cpu_vectors.h"
#include "runner/temp_files.h"

namespace {

size_t CountLineFeeds(const char* text, size_t n) {
  size_t count = 0;
  const char* end = text + n;
  for (const char* p = text; p != end;) {
    p = static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(end - p)));
    if (!p) break;
    ++count;
    ++p;
  }
  return count;
}

size_t Clamp(int64_t value, size_t low, size_t high) {
  if (value < static_cast<int64_t>(low)) return low;
  if (static_cast<uint64_t>(value) > high) return high;
  return static_cast<size_t>(value);
}

// The offsets are 32-bit in practice; saturating keeps absurd ones absurd
// instead of letting them wrap into the text.
int64_t SaturatingSum(int64_t a, int64_t b) {
  if (b > 0 && a > INT64_MAX - b) return INT64_MAX;
  if (b < 0 && a < INT64_MIN - b) return INT64_MIN;
  return a + b;
}

// Quoting walks the whole output backwards in chunks of 16 characters (32
// where the processor has the lanes), so that the plain chunks (most of a
// text) are one load and one store. GCC and Clang vector types keep this one
// portable piece of code: SSE2 or AVX2 natively, plain words on the i686
// target. (GCC takes no vector size from a template argument: the types
// come in.)
using Chunk = uint8_t __attribute__((vector_size(16)));
using ChunkHalves = uint64_t __attribute__((vector_size(16)));
using WideChunk = uint8_t __attribute__((vector_size(32)));
using WideChunkWords = uint64_t __attribute__((vector_size(32)));
constexpr uint64_t kHighBits = 0x8080808080808080ull;

inline void CopyByteQuoted(const char*& src, char*& dst, char quote) {
  char c = *--src;
  if (c == '\n') *--dst = quote;
  *--dst = c;
}

// The lanes of one width: the vector types, and the bits of a comparison's
// lanes (a single bit tells a single line feed). The narrow lanes work from
// 64-bit words, word j's lanes on bit 7 - j of each byte, which every target
// has; the wide ones ask the processor for one bit per lane.
struct NarrowLanes {
  using Lanes = Chunk;
  static uint64_t Bits(Lanes compared) {
    const auto words = reinterpret_cast<ChunkHalves>(compared);
    return (words[0] & kHighBits) | ((words[1] & kHighBits) >> 1);
  }
  static unsigned LaneOf(unsigned bit) { return (7 - (bit & 7)) * 8 + (bit >> 3); }
};

#if QL_X86_VECTORS
struct WideLanes {
  using Lanes = WideChunk;
  __attribute__((target("avx2"))) static uint64_t Bits(const Lanes& compared) {
    return static_cast<uint32_t>(_mm256_movemask_epi8(reinterpret_cast<__m256i>(compared)));
  }
  static unsigned LaneOf(unsigned bit) { return bit; }
};
#endif

// Copies the first n characters of block to end before dstEnd, a quote
// after every line feed, from the last character backwards. The
// destination of a character lies above it by `shift`, the head plus the
// line feeds before it, so it never lies below the source; every chunk is
// loaded before the stores that may cover it. A chunk with one line feed is
// written as one blended chunk and one byte at fixed stride, which keeps
// the line feeds' unpredictable positions out of the loop's control flow.
// Returns where the copy begins.
template <typename Width>
__attribute__((always_inline)) inline char* QuoteBackwardsWith(char* block, size_t n,
                                                               char* dstEnd, char quote) {
  using Lanes = typename Width::Lanes;
  constexpr size_t kWidth = sizeof(Lanes);
  const char* src = block + n;
  char* dst = dstEnd;
  while (static_cast<size_t>(src - block) % kWidth != 0) CopyByteQuoted(src, dst, quote);

  const Lanes lineFeeds = Lanes{} + static_cast<uint8_t>('\n');
  const Lanes quotes = Lanes{} + static_cast<uint8_t>(quote);
  Lanes lane;
  for (size_t i = 0; i < kWidth; ++i) lane[i] = static_cast<uint8_t>(i);
  size_t shift = static_cast<size_t>(dst - src);
  for (size_t offset = static_cast<size_t>(src - block); offset > 0;) {
    // Most of a text is plain: two chunks at a time halve the loop's work.
    if (offset >= 2 * kWidth) {
      Lanes upper, lower;
      std::memcpy(&upper, block + offset - kWidth, kWidth);
      std::memcpy(&lower, block + offset - 2 * kWidth, kWidth);
      if (Width::Bits(reinterpret_cast<Lanes>((upper == lineFeeds) | (lower == lineFeeds))) == 0) {
        std::memcpy(block + offset - kWidth + shift, &upper, kWidth);
        std::memcpy(block + offset - 2 * kWidth + shift, &lower, kWidth);
        offset -= 2 * kWidth;
        continue;
      }
    }
    offset -= kWidth;
    char* chunk = block + offset;
    Lanes here;
    std::memcpy(&here, chunk, kWidth);
    const uint64_t marks = Width::Bits(reinterpret_cast<Lanes>(here == lineFeeds));
    if (marks == 0) {
      std::memcpy(chunk + shift, &here, kWidth);
      continue;
    }
    if ((marks & (marks - 1)) != 0) {  // blank lines and the like
      const char* from = chunk + kWidth;
      char* to = chunk + kWidth + shift;
      while (from > chunk) CopyByteQuoted(from, to, quote);
      shift = static_cast<size_t>(to - chunk);
      continue;
    }
    // Lanes below the line feed take the character one further up, the
    // lane of the line feed takes the quote, the lanes above stay; stored
    // one place up, with the chunk's first character put below it.
    const auto at = static_cast<uint8_t>(Width::LaneOf(static_cast<unsigned>(std::countr_zero(marks))));
    Lanes above;
    std::memcpy(&above, chunk + 1, kWidth);
    const Lanes position = Lanes{} + at;
    const Lanes below = reinterpret_cast<Lanes>(lane < position);
    const Lanes atLineFeed = reinterpret_cast<Lanes>(lane == position);
    const Lanes blended = (above & below) | (quotes & atLineFeed) | (here & ~(below | atLineFeed));
    const char first = chunk[0];
    std::memcpy(chunk + shift, &blended, kWidth);
    --shift;
    chunk[shift] = first;
  }
  return block + shift;
}

#if QL_X86_VECTORS
__attribute__((target("avx2"))) char* QuoteBackwardsAvx2(char* block, size_t n, char* dstEnd,
                                                         char quote) {
  return QuoteBackwardsWith<WideLanes>(block, n, dstEnd, quote);
}
#endif

char* QuoteBackwards(char* block, size_t n, char* dstEnd, char quote) {
  return QuoteLinesBackwards(block, n, dstEnd, quote, HasAvx2());
}

// ---- the marked splice ------------------------------------------------------

constexpr std::string_view kTag = kDefuseTag;

size_t LineBreakLength(char quote) { return quote != '\0' ? 3 : 2; }

char* PutLineBreak(char* at, char quote) {
  *at++ = '\r';
  *at++ = '\n';
  if (quote != '\0') *at++ = quote;
  return at;
}

// Whether text ends where a line begins: nothing, a line feed, or the quote
// mark that opens a quoted line.
bool EndsAtLineStart(std::string_view text, char quote) {
  if (text.empty() || text.back() == '\n') return true;
  if (quote == '\0' || text.back() != quote) return false;
  return text.size() == 1 || text[text.size() - 2] == '\n';
}

void AddLookAlikes(std::string_view text, std::vector<uint32_t>& tags) {
  for (size_t at = FindLookAlikeMarker(text); at != std::string_view::npos;
       at = FindLookAlikeMarker(text, at + 1))
    tags.push_back(static_cast<uint32_t>(at));
}

// Whether the character at `at` gets the tag: a look-alike of a marker, or
// the client's attachment prefix (the module follows one anywhere in a line,
// so a sender's would pass for the client's own).
bool NeedsTag(std::string_view text, size_t at, std::string_view prefix) {
  if (text[at] == '[' && IsLookAlikeAt(text, at)) return true;
  return !prefix.empty() && text.substr(at, prefix.size()) == prefix;
}

// The blocks of one pass over PGP's output, kWidth * 4 characters at a
// time: its line feeds (when they are to be quoted) counted in byte lanes,
// and the places that get the tag. Almost no part of a text holds a '[' or
// the prefix's first character, so the loop stays near memory speed however
// long the output. Returns where the whole blocks end.
template <typename Lanes, typename Words>
__attribute__((always_inline)) inline size_t ScanBlocks(std::string_view output,
                                                        std::string_view prefix,
                                                        bool countLineFeeds, size_t& lineFeeds,
                                                        std::vector<uint32_t>& tags) {
  constexpr size_t kWidth = sizeof(Lanes);
  constexpr size_t kBlock = 4 * kWidth;
  constexpr int kBlocksPerRound = 63;  // a lane counts at most 4 a block: 252 fits a byte
  const Lanes lineFeed = Lanes{} + static_cast<uint8_t>('\n');
  const Lanes bracket = Lanes{} + static_cast<uint8_t>('[');
  const uint8_t firstOfPrefix = static_cast<uint8_t>(prefix.empty() ? '[' : prefix[0]);
  const Lanes first = Lanes{} + firstOfPrefix;
  const char* text = output.data();
  const size_t n = output.size();
  size_t i = 0;
  while (i + kBlock <= n) {
    // A round of blocks makes no call, so that the counts stay in a
    // register; a block with a candidate ends the round and is looked at
    // after it.
    Lanes counts{};
    bool candidate = false;
    for (int round = 0; round < kBlocksPerRound && i + kBlock <= n; ++round) {
      Lanes c[4];
      std::memcpy(c, text + i, kBlock);
      if (countLineFeeds) {
        // A lane that matches compares as all ones: subtracting adds one.
        for (const Lanes& chunk : c) counts -= reinterpret_cast<Lanes>(chunk == lineFeed);
      }
      Lanes special{};
      for (const Lanes& chunk : c)
        special |= reinterpret_cast<Lanes>((chunk == bracket) | (chunk == first));
      const Words words = reinterpret_cast<Words>(special);
      uint64_t any = 0;
      for (size_t w = 0; w < kWidth / 8; ++w) any |= words[w];
      if (any != 0) {
        candidate = true;
        break;
      }
      i += kBlock;
    }
    // Summed from a copy: indexing the vector itself keeps it in memory.
    uint8_t perLane[kWidth];
    std::memcpy(perLane, &counts, kWidth);
    for (uint8_t count : perLane) lineFeeds += count;
    if (!candidate) continue;
    for (size_t at = i; at < i + kBlock; ++at)
      if (NeedsTag(output, at, prefix)) tags.push_back(static_cast<uint32_t>(at));
    i += kBlock;
  }
  return i;
}

#if QL_X86_VECTORS
// Twice the width where the processor has it: the scan then costs about
// half of what moving the same bytes does.
__attribute__((target("avx2"))) size_t ScanBlocksAvx2(std::string_view output,
                                                     std::string_view prefix, bool countLineFeeds,
                                                     size_t& lineFeeds, std::vector<uint32_t>& tags) {
  return ScanBlocks<WideChunk, WideChunkWords>(output, prefix, countLineFeeds, lineFeeds, tags);
}
#endif

void ScanOutput(std::string_view output, std::string_view prefix, bool countLineFeeds,
                size_t& lineFeeds, std::vector<uint32_t>& tags) {
#if QL_X86_VECTORS
  size_t i = HasAvx2()
                 ? ScanBlocksAvx2(output, prefix, countLineFeeds, lineFeeds, tags)
                 : ScanBlocks<Chunk, ChunkHalves>(output, prefix, countLineFeeds, lineFeeds, tags);
#else
  size_t i = ScanBlocks<Chunk, ChunkHalves>(output, prefix, countLineFeeds, lineFeeds, tags);
#endif
  for (; i < output.size(); ++i) {
    if (countLineFeeds && output[i] == '\n') ++lineFeeds;
    if (NeedsTag(output, i, prefix)) tags.push_back(static_cast<uint32_t>(i));
  }
}

// Copies text forward with the tag before each listed offset; returns the end.
char* CopyTagged(char* to, std::string_view text, const std::vector<uint32_t>& tags) {
  size_t from = 0;
  for (uint32_t at : tags) {
    std::memcpy(to, text.data() + from, at - from);
    to += at - from;
    std::memcpy(to, kTag.data(), kTag.size());
    to += kTag.size();
    from = at;
  }
  std::memcpy(to, text.data() + from, text.size() - from);
  return to + (text.size() - from);
}

// Moves `block`'s first `n` characters to end at dstEnd, from the last one
// backwards, with the tags and (quoted) a quote mark after each line feed.
// A character's destination never lies below it, and a tag lands only where
// the characters it passes have been moved already. Returns the start.
char* MoveOutputBackwards(char* block, size_t n, char* dstEnd, const std::vector<uint32_t>& tags,
                          char quote) {
  size_t end = n;
  for (size_t k = tags.size() + 1; k-- > 0;) {
    const size_t start = k == 0 ? 0 : tags[k - 1];
    if (quote != '\0') {
      dstEnd = QuoteBackwards(block + start, end - start, dstEnd, quote);
    } else {
      dstEnd -= end - start;
      std::memmove(dstEnd, block + start, end - start);
    }
    if (k > 0) {
      dstEnd -= kTag.size();
      std::memcpy(dstEnd, kTag.data(), kTag.size());
    }
    end = start;
  }
  return dstEnd;
}

}  // namespace

char* QuoteLinesBackwards(char* block, size_t n, char* dstEnd, char quote, bool wideLanes) {
#if QL_X86_VECTORS
  if (wideLanes) return QuoteBackwardsAvx2(block, n, dstEnd, quote);
#endif
  (void)wideLanes;
  return QuoteBackwardsWith<NarrowLanes>(block, n, dstEnd, quote);
}

const char* ResultFile(PgpFunction function, const char* tempBaseName,
                       const char* tempAscName) {
  return function == Encrypt ? tempAscName : tempBaseName;
}

uint32_t ResultReadCode(uint32_t readCode, size_t length) {
  if (readCode != 0) return readCode;
  return length <= 2 ? ERROR_FILE_NO_DATA : 0;
}

KeptParts SpliceKeptParts(PgpFunction function, int64_t textLength, int64_t scanOffset,
                          int64_t blockStart, int64_t blockEnd) {
  if (function != Decode && function != CheckSignature) return {0, 0, 0};
  size_t length = Clamp(textLength, 0, kSpliceLimit);
  size_t headLength = Clamp(SaturatingSum(scanOffset, blockStart), 0, length);
  size_t tailStart = Clamp(SaturatingSum(scanOffset, blockEnd), headLength, length);
  return {headLength, tailStart, length - tailStart};
}

SplicePlan PlanSplice(size_t headLength, size_t tailLength, const char* output, char quote,
                      size_t limit) {
  SplicePlan plan{headLength, 0, 0, tailLength, false};
  size_t kept = headLength < limit ? headLength : limit;
  size_t room = tailLength < limit - kept ? limit - kept - tailLength : 0;
  if (!output) return plan;

  size_t n = strnlen(output, room);
  if (quote == '\0') {
    plan.sourceLength = plan.convertedLength = n;
    plan.cut = output[n] != '\0';
    return plan;
  }

  size_t lineFeeds = CountLineFeeds(output, n);
  if (output[n] == '\0' && n + lineFeeds <= room) {
    plan.sourceLength = n;
    plan.convertedLength = n + lineFeeds;
    return plan;
  }
  // Only a text of nearly the limit gets here: take characters while they
  // fit, a line feed together with its quote.
  size_t count = 0;
  size_t i = 0;
  for (; output[i] != '\0'; ++i) {
    size_t need = output[i] == '\n' ? 2 : 1;
    if (count + need > room) break;
    count += need;
  }
  plan.sourceLength = i;
  plan.convertedLength = count;
  plan.cut = output[i] != '\0';
  return plan;
}

void RebuildSplice(char* block, const SplicePlan& plan, const char* head, const char* tail,
                   char quote) {
  if (!block) return;
  char* outputStart = block + plan.headLength;
  char* outputEnd = outputStart + plan.convertedLength;
  if (plan.tailLength > 0) std::memcpy(outputEnd, tail, plan.tailLength);
  outputEnd[plan.tailLength] = '\0';
  if (quote == '\0') {
    std::memmove(outputStart, block, plan.sourceLength);
  } else {
    QuoteBackwards(block, plan.sourceLength, outputEnd, quote);
  }
  if (plan.headLength > 0) std::memcpy(block, head, plan.headLength);
}

MarkedSplicePlan PlanMarkedSplice(std::string_view head, std::string_view output,
                                  std::string_view tail, char quote, std::string_view firstMarker,
                                  std::string_view attachmentPrefix, size_t limit) {
  MarkedSplicePlan plan;
  plan.headLength = head.size();
  plan.outputLength = output.size();
  plan.tailLength = tail.size();
  const uint64_t pieces = uint64_t{head.size()} + output.size() + tail.size();
  if (pieces > limit || output.size() > UINT32_MAX || head.size() > UINT32_MAX ||
      tail.size() > UINT32_MAX) {
    plan.fits = false;
    return plan;
  }
  plan.breakAfterHead = !EndsAtLineStart(head, quote);
  plan.breakBeforeEnd = !output.empty() && output.back() != '\n';
  plan.breakBeforeTail = !tail.empty() && tail.substr(0, 2) != "\r\n" && tail.front() != '\n';
  AddLookAlikes(head, plan.headTags);
  ScanOutput(output, attachmentPrefix, quote != '\0', plan.outputLineFeeds, plan.outputTags);
  AddLookAlikes(tail, plan.tailTags);

  const uint64_t lineBreak = LineBreakLength(quote);
  const uint64_t tags = plan.headTags.size() + plan.outputTags.size() + plan.tailTags.size();
  plan.shownLength = pieces + tags * kTag.size() + plan.outputLineFeeds + firstMarker.size() +
                     kEndMarker.size() + lineBreak * (1 + plan.breakAfterHead +
                                                      plan.breakBeforeEnd + plan.breakBeforeTail);
  plan.fits = plan.shownLength <= limit;
  return plan;
}

void RebuildMarkedSplice(char* block, const MarkedSplicePlan& plan, std::string_view head,
                         std::string_view tail, char quote, std::string_view firstMarker) {
  if (block == nullptr || !plan.fits) return;
  char* end = block + plan.shownLength;
  *end = '\0';
  char* at = end - (tail.size() + plan.tailTags.size() * kTag.size());
  CopyTagged(at, tail, plan.tailTags);
  if (plan.breakBeforeTail) PutLineBreak(at -= LineBreakLength(quote), quote);
  at -= kEndMarker.size();
  std::memcpy(at, kEndMarker.data(), kEndMarker.size());
  if (plan.breakBeforeEnd) PutLineBreak(at -= LineBreakLength(quote), quote);
  MoveOutputBackwards(block, plan.outputLength, at, plan.outputTags, quote);

  char* front = CopyTagged(block, head, plan.headTags);
  if (plan.breakAfterHead) front = PutLineBreak(front, quote);
  std::memcpy(front, firstMarker.data(), firstMarker.size());
  PutLineBreak(front + firstMarker.size(), quote);
}
