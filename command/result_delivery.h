// The text side of bringing PGP's output back: which file holds it, whether
// what was read counts as output, and the splice that puts it in place of
// the PGP block inside the message. Pure; the Win32 SpliceResult is
//   plan = PlanSplice(...)          (output block locked, read only)
//   GlobalReAlloc(plan.BlockSize()) (nothing changed if that fails)
//   RebuildSplice(locked block, plan, head, tail, quote).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "core/command_state.h"

// PGP's output file: the armoured name after Encrypt (also when it became a
// clearsigning), the base name after decoding or checking.
const char* ResultFile(PgpFunction function, const char* tempBaseName,
                       const char* tempAscName);

// The outcome of reading ResultFile: the read's own error code, else
// ERROR_FILE_NO_DATA for 2 bytes or less (PGP wrote nothing usable), else 0.
uint32_t ResultReadCode(uint32_t readCode, size_t length);

// What of the captured text stays around the output. Decode and
// CheckSignature keep the text before the block (head: its first
// scanOffset + blockStart characters) and after it (tail: from
// scanOffset + blockEnd); any other function keeps nothing. Offsets are
// clamped into the text, and the tail never starts before the head ends,
// so a stale or corrupt offset cannot read outside the captured text.
struct KeptParts {
  size_t headLength;
  size_t tailStart;
  size_t tailLength;
};
KeptParts SpliceKeptParts(PgpFunction function, int64_t textLength, int64_t scanOffset,
                          int64_t blockStart, int64_t blockEnd);

// The largest text a rebuilt block holds (without its terminator).
constexpr size_t kSpliceLimit = 0x7FFFFFFE;

struct SplicePlan {
  size_t headLength;
  size_t sourceLength;     // characters of PGP's output that are kept
  size_t convertedLength;  // those characters with the quote characters added
  size_t tailLength;
  bool cut;                // part of PGP's output did not fit
  size_t BlockSize() const { return headLength + convertedLength + tailLength + 1; }
};

// Lengths of the rebuilt text for the NUL-terminated output. quote is '>'
// to quote every line after the first, or '\0' for none. The output is cut
// where head + converted output + tail would pass limit, and a line feed is
// never kept without its quote, so the rebuilt text stays within limit
// whenever head and tail alone do.
SplicePlan PlanSplice(size_t headLength, size_t tailLength, const char* output, char quote,
                      size_t limit = kSpliceLimit);

// Rebuilds block, which starts with PGP's output and is already plan.
// BlockSize() bytes long, into head + converted output + tail + NUL. The
// tail goes to its final place first and the output is moved from its end
// backwards, so the text is rebuilt in its own block without a second
// buffer however large it is. head and tail must not lie inside block.
void RebuildSplice(char* block, const SplicePlan& plan, const char* head, const char* tail,
                   char quote);

// The quoting under both: moves block's first n characters to end right
// before dstEnd, with `quote` after every line feed, from the last one
// backwards (dstEnd - block is n plus the line feeds, or more). 32-character
// lanes when wideLanes (only where HasAvx2()), else 16; the rebuilds take
// the widest the processor has. Returns where the moved text begins.
char* QuoteLinesBackwards(char* block, size_t n, char* dstEnd, char quote, bool wideLanes);

// The marked splice: the same one enlargement and rebuild from the end, with
// the module's two marker lines around PGP's output and the defuse tag
// before every look-alike of a marker (in head, output and tail) and before
// every occurrence of the client's attachment prefix in the output.
//   plan = PlanMarkedSplice(...)          (output block locked, read only)
//   GlobalReAlloc(plan.BlockSize())      (nothing changed if that fails)
//   RebuildMarkedSplice(locked block, plan, head, tail, quote, marker)
struct MarkedSplicePlan {
  size_t headLength = 0;
  size_t outputLength = 0;
  size_t tailLength = 0;
  bool breakAfterHead = false;   // the head does not end where a line begins
  bool breakBeforeEnd = false;   // nor does the output
  bool breakBeforeTail = false;  // the tail does not begin with a line break
  // Offsets, each in its own piece, of the characters that get the tag
  // before them; ascending. Few in any real text.
  std::vector<uint32_t> headTags, outputTags, tailTags;
  size_t outputLineFeeds = 0;  // with a quote: one quote mark after each
  uint64_t shownLength = 0;    // the rebuilt text, without its terminator
  bool fits = true;            // false: more than the limit; nothing may be rebuilt
  size_t BlockSize() const { return static_cast<size_t>(shownLength) + 1; }
};

// `output` is PGP's output as it stands at the start of the block; `quote`
// is '>' for a quoted block or '\0'; an empty `attachmentPrefix` defuses no
// attachment lines (a text whose attachment lines the module wrote itself).
MarkedSplicePlan PlanMarkedSplice(std::string_view head, std::string_view output,
                                  std::string_view tail, char quote, std::string_view firstMarker,
                                  std::string_view attachmentPrefix, size_t limit = kSpliceLimit);

// Rebuilds `block`, which starts with the output and is plan.BlockSize()
// bytes long: the tail and the end marker go to their final places first,
// the output moves from its end backwards (tags and quote marks put in on
// the way), the first marker and the head come last. head and tail must not
// lie inside block.
void RebuildMarkedSplice(char* block, const MarkedSplicePlan& plan, std::string_view head,
                         std::string_view tail, char quote, std::string_view firstMarker);
