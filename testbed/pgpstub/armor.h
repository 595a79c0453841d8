// The transport layer of the stand-in: base64 with PGP's CRC-24 check line,
// line splitting that keeps each line's own ending, and the armour lines
// ("-----BEGIN PGP <kind>-----" … "-----END PGP <kind>-----") by which the
// mail-client module recognises PGP's texts. Pure: no platform header.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pgpstub {

std::string EncodeBase64(std::string_view bytes);
// nullopt for a length that is not a multiple of 4, a character outside the
// alphabet, or padding anywhere but at the end.
std::optional<std::string> DecodeBase64(std::string_view text);
uint32_t Crc24(std::string_view bytes);

// ASCII-only case folding: user ids may hold OEM/ANSI bytes above 0x7F, which
// must compare exactly rather than by whatever locale the process has.
char LowerAscii(char c);
bool EqualsNoCase(std::string_view a, std::string_view b);
bool ContainsNoCase(std::string_view haystack, std::string_view needle);
bool EndsWithNoCase(std::string_view text, std::string_view suffix);
std::string_view TrimBlanks(std::string_view text);  // blanks, tabs, CR

// One line of a text. `text` excludes its ending (LF or CR LF); `start` is
// its offset and `next` the offset just past its ending.
struct Line {
  std::string_view text;
  size_t start = 0;
  size_t next = 0;
};
std::vector<Line> SplitLines(std::string_view text);

// The kind named by an armour BEGIN line ("MESSAGE", "SIGNED MESSAGE", ...),
// or nothing when the line is not one. Trailing blanks are tolerated because
// mail transports add them.
std::optional<std::string_view> BeginLineKind(std::string_view line);

// Index of the first BEGIN line at or after `from`; of the given kind, or of
// any kind when `kind` is empty.
std::optional<size_t> FindBeginLine(const std::vector<Line>& lines, size_t from,
                                    std::string_view kind);

// A complete armoured block with CR LF line ends (PGP's own on this
// platform): BEGIN line, a Version header, a blank line, the payload in
// base64 lines of 64 characters, "=" and the CRC-24, the END line.
std::string WrapArmor(std::string_view kind, std::string_view payload);

// The payload of the block whose BEGIN line is lines[beginIndex]: header
// lines are skipped, the base64 lines decoded, the CRC line checked and the
// matching END line required. nullopt for any damage.
std::optional<std::string> UnwrapArmor(const std::vector<Line>& lines, size_t beginIndex,
                                       std::string_view kind);

}  // namespace pgpstub
