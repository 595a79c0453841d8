#include "command_line.h"

#include <cctype>

namespace pgp2gpg {
namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t'; }

bool EndsWithIgnoringCase(std::string_view text, std::string_view tail) {
  if (tail.empty() || tail.size() > text.size()) return false;
  const std::string_view end = text.substr(text.size() - tail.size());
  for (size_t i = 0; i < tail.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(end[i])) !=
        std::tolower(static_cast<unsigned char>(tail[i]))) {
      return false;
    }
  }
  return true;
}

// Whether `prefix` names this program: its file name at the end, after a
// path separator or alone.
bool NamesProgram(std::string_view prefix, std::string_view fileName) {
  if (!EndsWithIgnoringCase(prefix, fileName)) return false;
  if (prefix.size() == fileName.size()) return true;
  const char before = prefix[prefix.size() - fileName.size() - 1];
  return before == '\\' || before == '/' || before == ':';
}

}  // namespace

std::string QuoteArgument(std::string_view argument) {
  if (!argument.empty() && argument.find_first_of(" \t\n\v\"") == std::string_view::npos) {
    return std::string(argument);
  }
  std::string out = "\"";
  size_t backslashes = 0;
  for (char c : argument) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    // Backslashes count as escapes only in front of a quote.
    out.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
    backslashes = 0;
    out += c;
  }
  out.append(backslashes * 2, '\\');
  out += '"';
  return out;
}

std::string JoinCommandLine(std::string_view program, const std::vector<std::string>& arguments) {
  std::string line = "\"" + std::string(program) + "\"";
  for (const std::string& argument : arguments) {
    line += ' ';
    line += QuoteArgument(argument);
  }
  return line;
}

std::vector<std::string> SplitArguments(std::string_view line) {
  std::vector<std::string> words;
  size_t i = 0;
  while (i < line.size() && IsSpace(line[i])) ++i;
  if (i == line.size()) return words;
  words.emplace_back();
  int quotes = 0;  // 1 while inside quotes; counts a run of quotes as Windows does
  size_t backslashes = 0;
  while (i < line.size()) {
    const char c = line[i];
    if (IsSpace(c) && quotes == 0) {
      while (i < line.size() && IsSpace(line[i])) ++i;
      if (i < line.size()) words.emplace_back();
      backslashes = 0;
    } else if (c == '\\') {
      words.back() += c;
      ++backslashes;
      ++i;
    } else if (c == '"') {
      std::string& word = words.back();
      if (backslashes % 2 == 0) {
        word.resize(word.size() - backslashes / 2);
        ++quotes;
      } else {
        word.resize(word.size() - backslashes / 2 - 1);
        word += '"';
      }
      ++i;
      backslashes = 0;
      // A run of quotes: every third one is a literal quote.
      while (i < line.size() && line[i] == '"') {
        if (++quotes == 3) {
          word += '"';
          quotes = 0;
        }
        ++i;
      }
      if (quotes == 2) quotes = 0;
    } else {
      words.back() += c;
      backslashes = 0;
      ++i;
    }
  }
  return words;
}

std::string_view SkipProgramName(std::string_view line, std::string_view ownFileName) {
  if (!line.empty() && line[0] == '"') {
    const size_t close = line.find('"', 1);
    return close == std::string_view::npos ? std::string_view() : line.substr(close + 1);
  }
  std::string_view bareName = ownFileName;
  if (EndsWithIgnoringCase(bareName, ".exe")) bareName.remove_suffix(4);
  size_t firstBlank = std::string_view::npos;
  for (size_t i = 0; i <= line.size(); ++i) {
    if (i < line.size() && !IsSpace(line[i])) continue;
    if (firstBlank == std::string_view::npos) firstBlank = i;
    const std::string_view prefix = line.substr(0, i);
    if (NamesProgram(prefix, ownFileName) || NamesProgram(prefix, bareName)) {
      return line.substr(i);
    }
  }
  return firstBlank == std::string_view::npos ? std::string_view() : line.substr(firstBlank);
}

}  // namespace pgp2gpg
