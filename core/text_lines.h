// Walking a text line by line, the one way every reader of the module does
// it: a line ends at a line feed, and a carriage return before it is not
// part of the line.
#pragma once

#include <cstddef>
#include <string_view>

struct TextLine {
  std::string_view text;  // without its line end
  size_t next;            // where the following line begins (the text's size after the last)
  bool ended;             // false for a last line without a line feed
};

constexpr TextLine LineAt(std::string_view text, size_t pos) {
  const size_t end = text.find('\n', pos);
  const bool ended = end != std::string_view::npos;
  std::string_view line = text.substr(pos, (ended ? end : text.size()) - pos);
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return {line, ended ? end + 1 : text.size(), ended};
}
