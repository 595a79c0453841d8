// Reading the header of a MIME entity: field lines (RFC 5322, folded lines
// unfolded), parameters of Content-Type and Content-Disposition (RFC 2045,
// with RFC 2231's charsets and continuations), and RFC 2047's encoded words.
// Everything here is the sender's: every loop is bounded by its input and by
// the limits below. Pure; charsets are converted by the caller.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The longest header block read, and the most fields kept from it.
constexpr size_t kHeaderBlockMax = 64 * 1024;
constexpr size_t kHeaderFieldsMax = 512;

struct HeaderField {
  std::string_view name;  // as written
  std::string value;      // unfolded, blanks around it removed
};

struct HeaderBlock {
  std::vector<HeaderField> fields;
  size_t bodyStart = 0;  // offset of the body in the entity
  bool complete = true;  // false: cut at a bound, or no empty line ended it
};

// Whether `name` is a field name: 1 to 76 printable US-ASCII characters,
// none of them ':' or a blank.
bool IsFieldName(std::string_view name);

// The strict reading, for telling a MIME entity from text: the entity must
// begin with field lines (a folded line continues the one before it), end
// them with an empty line within kHeaderBlockMax bytes, and hold nothing
// else before that line. nullopt when it does not.
std::optional<HeaderBlock> ReadStrictHeaderBlock(std::string_view entity);

// The lenient reading of a part's header: a line that is no field line
// ends the header and begins the body (the way mail readers take a part
// without its empty line); at most kHeaderBlockMax bytes and
// kHeaderFieldsMax fields are read.
HeaderBlock ReadHeaderBlock(std::string_view entity);

// The value of the first field named `name` (any case); nullopt when none.
std::optional<std::string_view> FieldValue(const HeaderBlock& header, std::string_view name);

// One parameter of a structured field. For RFC 2231 values (`name*=`,
// `name*0*=`…) `value` holds the percent-decoded bytes of all continuations
// in order and `charset` the charset named in the first one.
struct Parameter {
  std::string name;  // lower case, without the RFC 2231 marks
  std::string value;
  std::string charset;  // empty: none named
};

// "type/subtype; params" (Content-Type) or "token; params"
// (Content-Disposition). `type` and `subtype` are lower case; subtype is
// empty for a value without '/'. Comments in parentheses are skipped.
struct StructuredValue {
  std::string type;
  std::string subtype;
  std::vector<Parameter> parameters;
};

StructuredValue ParseStructuredValue(std::string_view value);

// The first parameter named `name` (lower case); nullptr when none.
const Parameter* FindParameter(const StructuredValue& value, std::string_view name);

// A header value cut into plain text and RFC 2047 encoded words, decoded:
// each piece says the charset its bytes are in (empty for the plain text,
// which is taken as it is). Blanks between two encoded words are dropped,
// and neighbouring words in the same charset are one piece, so a character
// split across words comes out whole.
struct TextPiece {
  std::string charset;
  std::string bytes;
};
std::vector<TextPiece> DecodeEncodedWords(std::string_view value);
