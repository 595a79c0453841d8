// The text side of bringing PGP's output back: which file holds it, whether
// what was read counts as output, and the splice that puts it in place of
// the PGP block inside the message. Pure; the Win32 SpliceResult is
//   plan = PlanSplice(...)          (output block locked, read only)
//   GlobalReAlloc(plan.BlockSize()) (nothing changed if that fails)
//   RebuildSplice(locked block, plan, head, tail, quote).
#pragma once

#include <cstddef>
#include <cstdint>

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
