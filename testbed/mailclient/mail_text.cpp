#include "testbed/mailclient/mail_text.h"

#include <algorithm>
#include <cctype>

namespace mailtext {
namespace {

constexpr std::string_view kBlanks = " \t";
constexpr std::string_view kSpace = " \t\r\n";

bool SameLetters(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

bool StartsWithLetters(std::string_view text, std::string_view head) {
  return text.size() >= head.size() && SameLetters(text.substr(0, head.size()), head);
}

std::string_view Trim(std::string_view text, std::string_view blanks = kSpace) {
  size_t first = text.find_first_not_of(blanks);
  if (first == std::string_view::npos) return {};
  size_t last = text.find_last_not_of(blanks);
  return text.substr(first, last - first + 1);
}

// Calls `line` for each line with its end (empty for the last line when the
// text does not end with a line end).
template <typename F>
void ForEachLine(std::string_view text, F line) {
  size_t i = 0;
  while (i < text.size()) {
    size_t eol = text.find_first_of("\r\n", i);
    if (eol == std::string_view::npos) {
      line(text.substr(i), std::string_view{});
      return;
    }
    size_t endLength = (text[eol] == '\r' && eol + 1 < text.size() && text[eol + 1] == '\n') ? 2 : 1;
    line(text.substr(i, eol - i), text.substr(eol, endLength));
    i = eol + endLength;
  }
}

void AppendWrapped(std::string& out, std::string_view line, size_t width) {
  while (line.size() > width) {
    size_t firstText = line.find_first_not_of(kBlanks);
    if (firstText == std::string_view::npos) break;
    size_t cut = std::string_view::npos;
    for (size_t p = width; p > firstText; --p) {
      if (kBlanks.find(line[p]) != std::string_view::npos) {
        cut = p;
        break;
      }
    }
    // A first word longer than the line: break after it rather than in it.
    if (cut == std::string_view::npos) cut = line.find_first_of(kBlanks, firstText);
    if (cut == std::string_view::npos) break;
    size_t headEnd = line.find_last_not_of(kBlanks, cut) + 1;
    size_t restStart = line.find_first_not_of(kBlanks, cut);
    out.append(line.substr(0, headEnd));
    if (restStart == std::string_view::npos) return;  // only blanks were left
    out.append("\r\n");
    line = line.substr(restStart);
  }
  out.append(line);
}

std::vector<std::string_view> SplitEntries(std::string_view list) {
  std::vector<std::string_view> entries;
  size_t i = 0;
  while (i <= list.size()) {
    size_t comma = list.find(',', i);
    if (comma == std::string_view::npos) comma = list.size();
    std::string_view entry = Trim(list.substr(i, comma - i));
    if (!entry.empty()) entries.push_back(entry);
    i = comma + 1;
  }
  return entries;
}

const Nickname* FindNickname(std::string_view name, const std::vector<Nickname>& table) {
  for (const Nickname& n : table)
    if (SameLetters(n.name, name)) return &n;
  return nullptr;
}

void ExpandInto(const Nickname& nick, const std::vector<Nickname>& table,
                std::vector<std::string_view>& visiting, std::vector<std::string>& out) {
  visiting.push_back(nick.name);
  for (std::string_view entry : SplitEntries(nick.addresses)) {
    const Nickname* inner = FindNickname(entry, table);
    bool loop = inner && std::any_of(visiting.begin(), visiting.end(),
                                     [&](std::string_view v) { return SameLetters(v, inner->name); });
    if (inner && !loop)
      ExpandInto(*inner, table, visiting, out);
    else
      out.emplace_back(entry);
  }
  visiting.pop_back();
}

bool IsHeaderLine(std::string_view line) {
  size_t colon = line.find(':');
  return colon != std::string_view::npos && colon > 0 &&
         line.substr(0, colon).find_first_of(kSpace) == std::string_view::npos;
}

bool IsAbsolutePath(std::string_view path) {
  return (path.size() >= 2 && path[1] == ':') || path.starts_with('\\') || path.starts_with('/');
}

}  // namespace

std::string ToCrlf(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 32);
  ForEachLine(text, [&](std::string_view line, std::string_view end) {
    out.append(line);
    if (!end.empty()) out.append("\r\n");
  });
  return out;
}

std::string WrapLines(std::string_view text, size_t width) {
  std::string out;
  out.reserve(text.size() + text.size() / 64);
  ForEachLine(text, [&](std::string_view line, std::string_view end) {
    AppendWrapped(out, line, width);
    out.append(end);
  });
  return out;
}

std::vector<Nickname> ParseNicknames(std::string_view file) {
  std::vector<Nickname> table;
  ForEachLine(file, [&](std::string_view line, std::string_view) {
    line = Trim(line);
    if (!StartsWithLetters(line, "alias") || line.size() < 6 ||
        kBlanks.find(line[5]) == std::string_view::npos)
      return;
    std::string_view rest = Trim(line.substr(5));
    std::string_view name;
    if (rest.starts_with('"')) {
      size_t close = rest.find('"', 1);
      if (close == std::string_view::npos) return;
      name = rest.substr(1, close - 1);
      rest = rest.substr(close + 1);
    } else {
      size_t blank = rest.find_first_of(kBlanks);
      name = rest.substr(0, blank);
      rest = blank == std::string_view::npos ? std::string_view{} : rest.substr(blank);
    }
    if (name.empty()) return;
    table.push_back({std::string(name), std::string(Trim(rest))});
  });
  return table;
}

std::optional<std::string> ExpandNickname(std::string_view name,
                                          const std::vector<Nickname>& table) {
  const Nickname* nick = FindNickname(Trim(name), table);
  if (!nick) return std::nullopt;
  std::vector<std::string_view> visiting;
  std::vector<std::string> entries;
  ExpandInto(*nick, table, visiting, entries);
  std::string joined;
  for (const std::string& e : entries) {
    if (!joined.empty()) joined.append(", ");
    joined.append(e);
  }
  return joined;
}

std::optional<std::string> FinishNickname(std::string_view selected,
                                          const std::vector<Nickname>& table) {
  std::string_view core = Trim(selected);
  if (core.empty()) return std::nullopt;
  std::optional<std::string> addresses = ExpandNickname(core, table);
  if (!addresses) return std::nullopt;
  size_t lead = selected.find_first_not_of(kSpace);
  size_t tail = selected.find_last_not_of(kSpace) + 1;
  return std::string(selected.substr(0, lead)) + *addresses + std::string(selected.substr(tail));
}

std::string HeaderValue(std::string_view message, std::string_view name) {
  std::string value;
  bool done = false;
  ForEachLine(message, [&](std::string_view line, std::string_view) {
    if (done) return;
    if (line.empty() || !IsHeaderLine(line)) {
      done = true;
      return;
    }
    size_t colon = line.find(':');
    if (SameLetters(line.substr(0, colon), name)) {
      value = std::string(Trim(line.substr(colon + 1)));
      done = true;
    }
  });
  return value;
}

std::string DisplayName(std::string_view address) {
  std::string_view name = Trim(address);
  size_t open = name.find('<');
  if (open == 0) {
    size_t close = name.find('>');
    name = Trim(name.substr(1, close == std::string_view::npos ? close : close - 1));
  } else if (open != std::string_view::npos) {
    name = Trim(name.substr(0, open));
  }
  if (name.size() >= 2 && name.front() == '"' && name.back() == '"')
    name = name.substr(1, name.size() - 2);
  return std::string(name);
}

std::string_view BodyOf(std::string_view message) {
  size_t i = 0;
  while (i < message.size()) {
    size_t eol = message.find('\n', i);
    std::string_view line = message.substr(i, eol == std::string_view::npos ? eol : eol - i);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (eol == std::string_view::npos) return message;  // headers only, or no headers
    if (line.empty()) return i == 0 ? message : message.substr(eol + 1);
    if (!IsHeaderLine(line)) return message;
    i = eol + 1;
  }
  return message;
}

std::string QuoteLines(std::string_view text, std::string_view mark) {
  std::string out;
  out.reserve(text.size() + text.size() / 16);
  ForEachLine(text, [&](std::string_view line, std::string_view end) {
    out.append(mark);
    out.append(line);
    out.append(end);
  });
  return out;
}

std::string ReplySubject(std::string_view subject) {
  subject = Trim(subject);
  if (StartsWithLetters(subject, "re:")) return std::string(subject);
  return "Re: " + std::string(subject);
}

std::string ResolveAttachmentLines(std::string_view text, std::string_view prefix,
                                   std::string_view folder) {
  if (prefix.empty()) return std::string(text);
  std::string out;
  out.reserve(text.size());
  ForEachLine(text, [&](std::string_view line, std::string_view end) {
    if (line.starts_with(prefix)) {
      std::string_view path = line.substr(prefix.size());
      if (!path.empty() && !IsAbsolutePath(path)) {
        out.append(prefix);
        out.append(folder);
        if (!folder.empty() && !folder.ends_with('\\')) out.push_back('\\');
        out.append(path);
        out.append(end);
        return;
      }
    }
    out.append(line);
    out.append(end);
  });
  return out;
}

std::string FirstArgument(std::string_view arguments) {
  size_t start = arguments.find_first_not_of(kBlanks);
  if (start == std::string_view::npos) return {};
  arguments = arguments.substr(start);
  if (arguments.starts_with('"')) {
    size_t close = arguments.find('"', 1);
    return std::string(arguments.substr(1, close == std::string_view::npos ? close : close - 1));
  }
  return std::string(arguments.substr(0, arguments.find_first_of(kBlanks)));
}

}  // namespace mailtext
