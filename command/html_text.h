// A readable text of an HTML part, for mail that comes as HTML only: what a
// mail reader that shows no HTML would show. Tags are dropped, block
// elements (paragraphs, headings, list items, table rows, <br>…) become line
// breaks, list items begin with "* ", runs of blanks become one blank
// outside <pre>, entities (named common ones, &#NNN; and &#xHH;) are
// decoded, and nothing of <script>, <style>, <title> or comments is shown.
// Pure; the HTML is already in the client's character set.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

// How a character that an entity names (a Unicode code point) is written in
// the client's character set; the host's conversion does that.
using CharacterWriter = std::function<std::string(uint32_t codePoint)>;

// The text, with CR LF line ends and at most two empty lines in a row.
std::string HtmlToText(std::string_view html, const CharacterWriter& writeCharacter);

// The UTF-8 bytes of a code point (U+FFFD for one that is not a character).
std::string Utf8Of(uint32_t codePoint);
