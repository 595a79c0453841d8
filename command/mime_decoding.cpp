#include "command/mime_decoding.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

#include "core/cpu_vectors.h"
#include "core/text_chars.h"

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

constexpr std::array<int8_t, 256> MakeHexTable() {
  std::array<int8_t, 256> table{};
  for (auto& value : table) value = -1;
  for (int i = 0; i < 10; ++i) table['0' + i] = static_cast<int8_t>(i);
  for (int i = 0; i < 6; ++i) table['A' + i] = table['a' + i] = static_cast<int8_t>(10 + i);
  return table;
}
constexpr std::array<int8_t, 256> kHex = MakeHexTable();

int HexValue(char c) { return kHex[static_cast<unsigned char>(c)]; }

// Quoted-printable's white space at a line end: only the blank and the tab.
bool IsSpaceOrTab(char c) { return c == ' ' || c == '\t'; }

// A hard line break written as CR LF, the blanks before it dropped (a
// transport added them) unless an escape wrote them.
inline void WriteHardLineBreak(char*& w, char*& kept) {
  while (w > kept && IsSpaceOrTab(w[-1])) --w;
  *w++ = '\r';
  *w++ = '\n';
  kept = w;
}

#if QL_X86_VECTORS
// Base64 in 32-character blocks (Mula and Lemire, "Faster Base64 Encoding
// and Decoding Using AVX2 Instructions"): characters become values through
// two nibble tables that also flag anything outside the alphabet, then four
// values become three bytes. Writes the 24 bytes of the block at `w` (and 8
// of scratch after them) and returns a bit for each character outside the
// alphabet; the bytes of a group with such a character are not to be used.
__attribute__((target("avx2"))) inline uint32_t DecodeBase64Block(const unsigned char* p, char* w) {
  const __m256i lutLo = _mm256_setr_epi8(0x15, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x13,
                                         0x1A, 0x1B, 0x1B, 0x1B, 0x1A, 0x15, 0x11, 0x11, 0x11, 0x11, 0x11,
                                         0x11, 0x11, 0x11, 0x11, 0x13, 0x1A, 0x1B, 0x1B, 0x1B, 0x1A);
  const __m256i lutHi = _mm256_setr_epi8(0x10, 0x10, 0x01, 0x02, 0x04, 0x08, 0x04, 0x08, 0x10, 0x10, 0x10,
                                         0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x01, 0x02, 0x04, 0x08,
                                         0x04, 0x08, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10);
  const __m256i lutRoll = _mm256_setr_epi8(0, 16, 19, 4, -65, -65, -71, -71, 0, 0, 0, 0, 0, 0, 0, 0, 0, 16,
                                           19, 4, -65, -65, -71, -71, 0, 0, 0, 0, 0, 0, 0, 0);
  const __m256i nibble = _mm256_set1_epi8(0x0F);
  const __m256i pack = _mm256_setr_epi8(2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1, 2, 1, 0, 6,
                                        5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1);
  const __m256i in = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
  const __m256i hiNibbles = _mm256_and_si256(_mm256_srli_epi32(in, 4), nibble);
  const __m256i lo = _mm256_shuffle_epi8(lutLo, _mm256_and_si256(in, nibble));
  const __m256i hi = _mm256_shuffle_epi8(lutHi, hiNibbles);
  const __m256i roll = _mm256_shuffle_epi8(
      lutRoll, _mm256_add_epi8(_mm256_cmpeq_epi8(in, _mm256_set1_epi8(0x2F)), hiNibbles));
  const __m256i values = _mm256_add_epi8(in, roll);
  const __m256i pairs = _mm256_maddubs_epi16(values, _mm256_set1_epi32(0x01400140));
  const __m256i groups = _mm256_madd_epi16(pairs, _mm256_set1_epi32(0x00011000));
  const __m256i bytes = _mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(groups, pack),
                                                    _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 7, 7));
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(w), bytes);
  return static_cast<uint32_t>(
      _mm256_movemask_epi8(_mm256_cmpgt_epi8(_mm256_and_si256(lo, hi), _mm256_setzero_si256())));
}

// Lines as long as the one before them (`length` characters, whole groups)
// and each ended by the same line break, as wrapped base64 comes: where
// the next line starts is known before this one is decoded, so the lines
// do not wait on each other. Stops before the first line that is not so.
// Returns how many characters were taken and advances `w` past the bytes.
__attribute__((target("avx2"))) size_t DecodeBase64Lines(const unsigned char* p, size_t n, size_t length,
                                                          size_t lineBreak, char*& out) {
  char* w = out;  // kept here, not behind a reference the stores might alias
  const size_t whole = length / 32;
  const size_t rest = length % 32;
  // The short end of a line is decoded as a whole block, read past the line.
  const size_t need = std::max(whole * 32 + (rest != 0 ? 32 : 0), length + lineBreak);
  size_t taken = 0;
  while (n - taken >= need) {
    const unsigned char* line = p + taken;
    uint32_t outside = 0;
    for (size_t k = 0; k < whole; ++k) outside |= DecodeBase64Block(line + 32 * k, w + 24 * k);
    if (rest != 0) outside |= DecodeBase64Block(line + 32 * whole, w + 24 * whole) & ((1u << rest) - 1);
    const bool ended =
        lineBreak == 1 ? line[length] == '\n' : line[length] == '\r' && line[length + 1] == '\n';
    if (outside != 0 || !ended) break;
    w += length / 4 * 3;
    taken += length + lineBreak;
  }
  out = w;
  return taken;
}

// Base64 in whole 32-character blocks. A block is taken up to its first
// character outside the alphabet, in whole groups of four; a line break
// between groups is skipped, and the lines after it are taken as long as
// they are as long as the one it ended; anything else, or a group cut by a
// line break, ends the blocks and is left to the table path. Returns how
// many characters were taken and advances `w` past the bytes written (3
// per 4 characters; scratch up to 8 bytes past them).
__attribute__((target("avx2"))) size_t DecodeBase64Blocks(const unsigned char* p, size_t n, char*& out) {
  char* w = out;  // kept here, not behind a reference the stores might alias
  size_t taken = 0;
  size_t lineStart = 0;
  while (n - taken >= 32) {
    const uint32_t outside = DecodeBase64Block(p + taken, w);
    const size_t first = outside ? static_cast<size_t>(__builtin_ctz(outside)) : 32;
    const size_t valid = first & ~size_t{3};
    w += valid / 4 * 3;
    taken += valid;
    if (first == 32) continue;
    if (valid < first) break;  // a group cut by something else: the table path takes it
    // The line break of wrapped base64, between two groups, is skipped here,
    // so that a whole part is one call.
    const unsigned char* at = p + taken;
    const size_t lineBreak = at[0] == '\n' ? 1 : at[0] == '\r' && at[1] == '\n' ? 2 : 0;
    if (lineBreak == 0) break;
    const size_t length = taken - lineStart;
    taken += lineBreak;
    if (length > 0 && length % 4 == 0) taken += DecodeBase64Lines(p + taken, n - taken, length, lineBreak, w);
    lineStart = taken;
  }
  out = w;
  return taken;
}

#endif

// Copies the next 16 characters to `w` (the room has the slack for it) and
// says where the first '=', CR or LF is among them (16: none).
#if QL_X86_VECTORS && defined(__SSE2__)
size_t CopyToQuotedPrintableMark(const char* p, char* w) {
  const __m128i in = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(w), in);
  const __m128i marks = _mm_or_si128(_mm_cmpeq_epi8(in, _mm_set1_epi8('=')),
                                     _mm_or_si128(_mm_cmpeq_epi8(in, _mm_set1_epi8('\r')),
                                                  _mm_cmpeq_epi8(in, _mm_set1_epi8('\n'))));
  const auto mask = static_cast<uint32_t>(_mm_movemask_epi8(marks));
  return mask ? static_cast<size_t>(__builtin_ctz(mask)) : 16;
}
#else
size_t CopyToQuotedPrintableMark(const char* p, char* w) {
  std::memcpy(w, p, 16);
  for (size_t i = 0; i < 16; ++i)
    if (p[i] == '=' || p[i] == '\r' || p[i] == '\n') return i;
  return 16;
}
#endif

#if QL_X86_VECTORS
// For each set of 8 bytes to leave out (a bit each), the places of those
// kept, in order, for a shuffle (0x80: none), and how many there are.
struct KeptBytes {
  std::array<std::array<uint8_t, 8>, 256> order{};
  std::array<uint8_t, 256> count{};
};

constexpr KeptBytes MakeKeptBytes() {
  KeptBytes kept;
  for (int drop = 0; drop < 256; ++drop) {
    uint8_t n = 0;
    for (uint8_t i = 0; i < 8; ++i)
      if (!(drop >> i & 1)) kept.order[drop][n++] = i;
    kept.count[drop] = n;
    while (n < 8) kept.order[drop][n++] = 0x80;
  }
  return kept;
}
constexpr KeptBytes kKeptBytes = MakeKeptBytes();

// The value of each hexadecimal digit (either case) in `c`; `valid` marks
// the bytes that are one.
__attribute__((target("avx2"))) inline __m256i HexDigitValues(__m256i c, __m256i& valid) {
  const __m256i digit = _mm256_sub_epi8(c, _mm256_set1_epi8('0'));
  const __m256i letter = _mm256_sub_epi8(_mm256_or_si256(c, _mm256_set1_epi8(0x20)), _mm256_set1_epi8('a'));
  const __m256i isDigit = _mm256_cmpeq_epi8(_mm256_min_epu8(digit, _mm256_set1_epi8(9)), digit);
  const __m256i isLetter = _mm256_cmpeq_epi8(_mm256_min_epu8(letter, _mm256_set1_epi8(5)), letter);
  valid = _mm256_or_si256(isDigit, isLetter);
  return _mm256_blendv_epi8(_mm256_add_epi8(letter, _mm256_set1_epi8(10)), digit, isDigit);
}

// The bytes of `in` that are `c`, a bit each.
__attribute__((target("avx2"))) inline uint32_t ByteMask(__m256i in, char c) {
  return static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(in, _mm256_set1_epi8(c))));
}

// The CRs of 32 characters at `p` that a LF follows (the 33rd character
// included), from their CR and LF bits.
inline uint32_t CrLfPairs(uint32_t cr, uint32_t lf, const char* p) {
  return cr & (lf >> 1 | uint32_t{p[32] == '\n'} << 31);
}

// 32 characters of quoted-printable: each "=XX" made its byte in place of
// the '=', and a bit for each '=' that begins one, for each CR and LF, for
// each CR LF pair (the LF may be the 33rd character), and for each of those
// and each '=' that begins none (where the block needs more than the
// escapes undone). Reads 34 characters.
struct QuotedBlock {
  __m256i bytes;
  uint32_t escapes;
  uint32_t breaks;
  uint32_t pairs;
  uint32_t stops;
};

__attribute__((target("avx2"))) inline QuotedBlock ReadQuotedBlock(const char* p) {
  const __m256i in = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
  __m256i highValid, lowValid;
  const __m256i high = HexDigitValues(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 1)), highValid);
  const __m256i low = HexDigitValues(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 2)), lowValid);
  const __m256i equals = _mm256_cmpeq_epi8(in, _mm256_set1_epi8('='));
  const __m256i escapes = _mm256_and_si256(equals, _mm256_and_si256(highValid, lowValid));
  const uint32_t cr = ByteMask(in, '\r');
  const uint32_t lf = ByteMask(in, '\n');
  const __m256i highBits = _mm256_and_si256(_mm256_slli_epi16(high, 4), _mm256_set1_epi8(-16));
  QuotedBlock block;
  block.bytes = _mm256_blendv_epi8(in, _mm256_or_si256(highBits, low), escapes);
  block.escapes = static_cast<uint32_t>(_mm256_movemask_epi8(escapes));
  block.breaks = cr | lf;
  block.pairs = CrLfPairs(cr, lf, p);
  const auto unknown = static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_andnot_si256(escapes, equals)));
  block.stops = block.breaks | unknown;
  return block;
}

// Writes the bytes of `block` not in `drop` at `w`, 8 at a time through a
// shuffle (each store writes 8 bytes; the room has the slack for it), and
// moves `kept` past the last escape written.
__attribute__((target("avx2"))) inline void WriteKept(const QuotedBlock& block, uint32_t drop, char*& w,
                                                      char*& kept) {
  const __m128i halves[2] = {_mm256_castsi256_si128(block.bytes), _mm256_extracti128_si256(block.bytes, 1)};
  const uint32_t escapes = block.escapes & ~drop;
  if (escapes) {
    const int last = 31 - __builtin_clz(escapes);
    const auto upToLast = static_cast<uint32_t>((uint64_t{2} << last) - 1);
    kept = w + __builtin_popcount(~drop & upToLast);
  }
  for (int group = 0; group < 4; ++group) {
    const uint32_t mask = drop >> (8 * group) & 0xFF;
    __m128i order = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(kKeptBytes.order[mask].data()));
    if (group & 1) order = _mm_add_epi8(order, _mm_set1_epi8(8));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(w), _mm_shuffle_epi8(halves[group >> 1], order));
    w += kKeptBytes.count[mask];
  }
}

// A block with a stop in it, up to and with its first line break: the text
// before it, and the break made CR LF (blanks before it dropped, as added on
// the way) or, after an '=', taken out. Returns how many characters that is,
// or 0 (with the text before the stop written) when an '=' that begins
// nothing stands elsewhere, or there is no line break: those are left to
// the caller. Where the line ends depends on the line breaks alone, so the
// next block need not wait on the escapes of this one.
__attribute__((target("avx2"))) inline size_t EndQuotedLine(const QuotedBlock& block, uint32_t drop, char*& w,
                                                            char*& kept) {
  const uint32_t unknown = block.stops & ~block.breaks;
  const int lineEnd = block.breaks ? __builtin_ctz(block.breaks) : 32;
  const uint32_t beforeEnd = lineEnd < 32 ? (uint32_t{1} << lineEnd) - 1 : ~uint32_t{0};
  const bool soft = lineEnd > 0 && (unknown >> (lineEnd - 1) & 1);
  const uint32_t text = soft ? beforeEnd >> 1 : beforeEnd;
  if (lineEnd == 32 || (unknown & text) != 0) {
    const int stop = __builtin_ctz(block.stops);
    WriteKept(block, drop | ~((uint32_t{1} << stop) - 1), w, kept);
    return 0;
  }
  WriteKept(block, drop | ~text, w, kept);
  if (!soft) WriteHardLineBreak(w, kept);
  kept = w;
  return static_cast<size_t>(lineEnd) + 1 + (block.pairs >> lineEnd & 1);
}

// A block with no '=' before its first line break, or none at all if it
// has none, as most blocks of text are: written as it is, without the
// escape path. Returns how many characters were taken, 0 when the block
// is not one of these.
__attribute__((target("avx2"))) inline size_t CopyPlainBlock(const char* p, char*& w, char*& kept) {
  const __m256i in = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
  const uint32_t equals = ByteMask(in, '=');
  const uint32_t cr = ByteMask(in, '\r');
  const uint32_t lf = ByteMask(in, '\n');
  const uint32_t breaks = cr | lf;
  const int lineEnd = breaks ? __builtin_ctz(breaks) : 32;
  const uint32_t beforeEnd = lineEnd < 32 ? (uint32_t{1} << lineEnd) - 1 : ~uint32_t{0};
  if (equals & beforeEnd) return 0;
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(w), in);
  w += lineEnd;
  if (lineEnd == 32) return 32;
  WriteHardLineBreak(w, kept);
  return static_cast<size_t>(lineEnd) + 1 + (CrLfPairs(cr, lf, p) >> lineEnd & 1);
}

// Quoted-printable 32 characters at a time: text and "=XX" escapes written
// in one go, hard and soft line breaks taken too, so that only where a line
// ends does the next block wait on this one. Stops at an '=' that begins
// nothing and where fewer than 34 characters are left; the caller reads on
// from there.
__attribute__((target("avx2"))) const char* DecodeQuotedPrintableBlocks(const char* p, const char* end,
                                                                        char*& out, char*& keptOut) {
  char* w = out;  // kept here, not behind a reference the stores might alias
  char* kept = keptOut;
  uint32_t digits = 0;  // the digits of an escape that began in the block before
  while (end - p >= 34) {
    if (digits == 0) {
      if (const size_t plain = CopyPlainBlock(p, w, kept)) {
        p += plain;
        continue;
      }
    }
    const QuotedBlock block = ReadQuotedBlock(p);
    const uint32_t drop = block.escapes << 1 | block.escapes << 2 | digits;
    if (block.stops == 0) {
      WriteKept(block, drop, w, kept);
      digits = static_cast<uint32_t>((uint64_t{block.escapes} << 1 | uint64_t{block.escapes} << 2) >> 32);
      p += 32;
      continue;
    }
    // An escape before a stop ends before it: its digits are no stop.
    digits = 0;
    const size_t line = EndQuotedLine(block, drop, w, kept);
    if (line == 0) {
      p += __builtin_ctz(block.stops);
      break;
    }
    p += line;
  }
  out = w;
  keptOut = kept;
  return p + (digits & 1) + (digits >> 1 & 1);
}
#endif

// Escapes one after the other, as UTF-8 text has them ("=C3=BC"); stops at
// anything else, an '=' that is no escape included.
const char* DecodeEscapes(const char* p, const char* end, char*& w) {
  while (end - p >= 3 && p[0] == '=') {
    const int high = HexValue(p[1]);
    const int low = HexValue(p[2]);
    if ((high | low) < 0) break;
    *w++ = static_cast<char>(high << 4 | low);
    p += 3;
  }
  return p;
}

}  // namespace

size_t DecodeBase64Into(std::string_view in, char* out, bool& clean, bool wideLanes) {
  char* w = out;
  const auto* p = reinterpret_cast<const unsigned char*>(in.data());
  const auto* const end = p + in.size();
  uint32_t bits = 0;
  int count = 0;
#if QL_X86_VECTORS
  const bool avx2 = wideLanes;
#else
  (void)wideLanes;
#endif
  while (p < end) {
#if QL_X86_VECTORS
    if (count == 0 && end - p >= 32 && avx2) p += DecodeBase64Blocks(p, static_cast<size_t>(end - p), w);
#endif
    // Whole groups of four between the line breaks.
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
  return static_cast<size_t>(w - out);
}

bool DecodeBase64(std::string_view in, std::string& out) {
  const size_t start = out.size();
  out.resize(start + Base64Room(in.size()));
  bool clean = true;
  out.resize(start + DecodeBase64Into(in, out.data() + start, clean));
  return clean;
}

size_t DecodeQuotedPrintableInto(std::string_view in, char* out, bool& clean, bool wideLanes) {
  char* w = out;
  char* kept = w;  // blanks before this came from "=20" and the like, and stay
  const char* p = in.data();
  const char* const end = p + in.size();
#if QL_X86_VECTORS
  const bool avx2 = wideLanes;
#else
  (void)wideLanes;
#endif
  while (p < end) {
#if QL_X86_VECTORS
    if (avx2 && end - p >= 34) {
      p = DecodeQuotedPrintableBlocks(p, end, w, kept);
      if (p == end) break;
    }
#endif
    if (end - p >= 16) {
      const size_t plain = CopyToQuotedPrintableMark(p, w);
      p += plain;
      w += plain;
      if (plain == 16) continue;
    } else if (*p != '=' && *p != '\r' && *p != '\n') {
      *w++ = *p++;
      continue;
    }
    if (*p == '\r' || *p == '\n') {
      p += *p == '\r' && p + 1 < end && p[1] == '\n' ? 2 : 1;
      WriteHardLineBreak(w, kept);
      continue;
    }
    // '=': bytes, a soft line break (blanks may stand before its line end), or text.
    const char* const escapes = p;
    p = DecodeEscapes(p, end, w);
    kept = w;
    if (p != escapes) continue;
    const char* after = p + 1;
    while (after < end && IsSpaceOrTab(*after)) ++after;
    if (after == end || *after == '\r' || *after == '\n') {
      p = after == end ? end : after + (*after == '\r' && after + 1 < end && after[1] == '\n' ? 2 : 1);
      continue;
    }
    *w++ = '=';
    clean = false;
    ++p;
    kept = w;
  }
  while (w > kept && IsSpaceOrTab(w[-1])) --w;
  return static_cast<size_t>(w - out);
}

bool DecodeQuotedPrintable(std::string_view in, std::string& out) {
  const size_t start = out.size();
  out.resize(start + QuotedPrintableRoom(in.size()));
  bool clean = true;
  out.resize(start + DecodeQuotedPrintableInto(in, out.data() + start, clean));
  return clean;
}

size_t FindLineMark(std::string_view text) {
  size_t i = 0;
#if QL_X86_VECTORS && defined(__SSE2__)
  for (; i + 16 <= text.size(); i += 16) {
    const __m128i in = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + i));
    const __m128i marks = _mm_or_si128(_mm_cmpeq_epi8(in, _mm_setzero_si128()),
                                       _mm_or_si128(_mm_cmpeq_epi8(in, _mm_set1_epi8('\r')),
                                                    _mm_cmpeq_epi8(in, _mm_set1_epi8('\n'))));
    const auto mask = static_cast<uint32_t>(_mm_movemask_epi8(marks));
    if (mask) return i + static_cast<size_t>(__builtin_ctz(mask));
  }
#endif
  for (; i < text.size(); ++i)
    if (text[i] == '\r' || text[i] == '\n' || text[i] == '\0') return i;
  return text.size();
}

namespace {

// Where a line of the shown text could begin an attachment line look-alike
// (LooksLikeAttachmentLine skips '>' and spacing, then wants the prefix);
// the CR of an empty line begins none.
bool MayBeginLookAlike(char c, char letter) {
  return (IsSpacing(c) && c != '\r') || c == '>' || LowerAscii(c) == LowerAscii(letter);
}

// The lines a vector path left, byte by byte: `lineStart` says a line
// begins at `i`, `afterCr` that the byte before was a CR; `end` is where the
// run found so far ends.
size_t PlainLinesFrom(std::string_view text, size_t i, size_t end, bool lineStart, bool afterCr,
                      char letter) {
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if ((c == '\n') != afterCr || c == '\0' || (lineStart && MayBeginLookAlike(c, letter)))
      return lineStart ? i : end;
    if (lineStart) end = i;
    lineStart = c == '\n';
    afterCr = c == '\r';
  }
  return lineStart ? text.size() : end;
}

#if QL_X86_VECTORS && defined(__SSE2__)
// The bytes of 32 characters that are `c`, a bit each.
uint32_t Matches(__m128i low, __m128i high, char c) {
  const __m128i wanted = _mm_set1_epi8(c);
  return static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(low, wanted))) |
         static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(high, wanted))) << 16;
}
#endif

}  // namespace

size_t PlainLinesLength(std::string_view text, char letter) {
  size_t i = 0;
  size_t end = 0;
  uint32_t lineStart = 1;  // from the byte before: a line begins here, the byte was a CR
  uint32_t afterCr = 0;
#if QL_X86_VECTORS && defined(__SSE2__)
  for (; i + 32 <= text.size(); i += 32) {
    const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + i));
    const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + i + 16));
    const uint32_t cr = Matches(low, high, '\r');
    const uint32_t lf = Matches(low, high, '\n');
    const uint32_t starts = lf << 1 | lineStart;
    uint32_t bad = ((cr << 1 | afterCr) ^ lf) | Matches(low, high, '\0');
    // A line begins here about every 70 characters: its first one is looked at alone.
    for (uint32_t each = starts; each != 0; each &= each - 1) {
      const int at = __builtin_ctz(each);
      if (MayBeginLookAlike(text[i + static_cast<size_t>(at)], letter)) bad |= uint32_t{1} << at;
    }
    if (bad) {
      const uint64_t startsUpTo = starts & ((uint64_t{2} << __builtin_ctz(bad)) - 1);
      return startsUpTo ? i + static_cast<size_t>(63 - __builtin_clzll(startsUpTo)) : end;
    }
    if (starts) end = i + static_cast<size_t>(31 - __builtin_clz(starts));
    lineStart = lf >> 31;
    afterCr = cr >> 31;
  }
#endif
  return PlainLinesFrom(text, i, end, lineStart != 0, afterCr != 0, letter);
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
