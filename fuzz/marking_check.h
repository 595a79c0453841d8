// The invariant of a marked result, checked by the fuzzers that build one:
// exactly two lines pass for markers (the module's own, first and end), the
// lines between them are PGP's output and nothing else, and the text before
// and after them is the message's, whole. Defuse tags and quote marks the
// composition added are taken out before comparing.
#pragma once

#include <algorithm>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "command/result_marking.h"

namespace marking_check {

inline void Require(bool condition) {
  if (!condition) std::abort();
}

// Lines with their line feed (the last one may lack it).
inline std::vector<std::string_view> Lines(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    const size_t length = end == std::string_view::npos ? text.size() : end + 1;
    lines.push_back(text.substr(0, length));
    text.remove_prefix(length);
  }
  return lines;
}

// A line as it came in: every defuse tag in front of a look-alike removed,
// and, for a line the composition quoted, its first quote mark.
inline std::string Original(std::string_view line, char stripQuote) {
  std::string text(line);
  if (stripQuote != '\0' && !text.empty() && text.front() == stripQuote) text.erase(0, 1);
  for (size_t at = text.find(kDefuseTag); at != std::string::npos; at = text.find(kDefuseTag, at)) {
    const size_t next = at + kDefuseTag.size();
    if (FindLookAlikeMarker(text, next) == next)
      text.erase(at, kDefuseTag.size());
    else
      at = next;
  }
  return text;
}

inline bool IsLineBreak(std::string_view added, char quote) {
  return added == "\r\n" || (quote != '\0' && added == std::string("\r\n") + quote);
}

inline void CheckMarked(std::string_view head, std::string_view output, std::string_view tail,
                        char quote, std::string_view firstMarker, std::string_view result) {
  const std::vector<std::string_view> lines = Lines(result);
  std::vector<size_t> markers;
  for (size_t i = 0; i < lines.size(); ++i)
    if (LooksLikeMarker(lines[i])) markers.push_back(i);
  Require(markers.size() == 2);
  const auto markerText = [&](size_t i) {
    std::string_view line = lines[i];
    if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    return line.substr(line.find_first_not_of("> \t"));
  };
  Require(markerText(markers[0]) == firstMarker);
  Require(markerText(markers[1]) == kEndMarker);

  // A piece that holds the tag itself cannot be told from a defused one;
  // for those only the markers are checked.
  for (std::string_view piece : {head, output, tail})
    if (piece.find(kDefuseTag) != std::string_view::npos) return;

  // Between the markers: the output, its lines quoted, perhaps one break added.
  std::string between;
  for (size_t i = markers[0] + 1; i < markers[1]; ++i) between += Original(lines[i], quote);
  Require(between == output || between == std::string(output) + "\r\n");

  // Before the first marker: the head, perhaps with a break added after it.
  std::string before;
  for (size_t i = 0; i < markers[0]; ++i) before += Original(lines[i], '\0');
  const std::string_view firstLine = lines[markers[0]];
  before += std::string(firstLine.substr(0, firstLine.find(kMarkerStart)));
  Require(before.compare(0, head.size(), head) == 0);
  Require(before.size() == head.size() ||
          IsLineBreak(std::string_view(before).substr(head.size()), quote));

  // After the end marker: the tail, perhaps with a break added before it.
  const std::string_view endLine = lines[markers[1]];
  std::string after(endLine.substr(endLine.find(kEndMarker) + kEndMarker.size()));
  for (size_t i = markers[1] + 1; i < lines.size(); ++i) after += Original(lines[i], '\0');
  const size_t added = after.size() - std::min(after.size(), tail.size());
  Require(after.compare(added, std::string::npos, tail) == 0);
  Require(added == 0 || IsLineBreak(std::string_view(after).substr(0, added), quote));
}

}  // namespace marking_check
