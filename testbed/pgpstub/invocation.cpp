#include "invocation.h"

#include <algorithm>
#include <charconv>

#include "armor.h"

namespace pgpstub {
namespace {

constexpr std::string_view kOptionLetters = "kaestwxh";
constexpr uint32_t kLongestSleepMs = 600000;

bool Has(std::string_view letters, char letter) {
  return letters.find(letter) != std::string_view::npos;
}

Invocation Refuse(std::string message) {
  Invocation invocation;
  invocation.error = std::move(message);
  return invocation;
}

// Key management takes k with a (add) or with x (extract); nothing else.
Invocation ParseKeyOperation(std::string_view letters, const std::vector<std::string>& rest) {
  Invocation invocation;
  for (char letter : letters)
    if (letter != 'k' && letter != 'a' && letter != 'x')
      return Refuse(std::string("Option '") + letter + "' cannot be combined with -k.");
  if (Has(letters, 'x')) {
    if (rest.size() < 2) return Refuse("-kx needs a user ID and a key file name.");
    invocation.operation = Operation::ExtractKey;
    invocation.userIds.assign(rest.begin(), rest.end() - 1);
    invocation.file = rest.back();
    return invocation;
  }
  if (rest.size() != 1) return Refuse("-ka needs exactly one key file name.");
  invocation.operation = Operation::AddKey;
  invocation.file = rest.front();
  return invocation;
}

Invocation ParseMessageOperation(std::string_view letters, bool clearsig,
                                 const std::vector<std::string>& rest) {
  if (rest.empty()) return Refuse("No file name given.");
  Invocation invocation;
  invocation.file = rest.front();
  invocation.userIds.assign(rest.begin() + 1, rest.end());
  if (letters.empty()) {
    if (!invocation.userIds.empty()) return Refuse("Too many arguments for decoding.");
    invocation.operation = Operation::Decode;
    return invocation;
  }
  if (!Has(letters, 'a')) return Refuse("This PGP writes armoured output only: add -a.");
  invocation.encrypt = Has(letters, 'e');
  invocation.sign = Has(letters, 's');
  invocation.textMode = Has(letters, 't');
  invocation.wipe = Has(letters, 'w');
  if (!invocation.encrypt && !invocation.userIds.empty())
    return Refuse("User IDs are only taken with -e.");
  invocation.operation =
      invocation.sign && clearsig && !invocation.encrypt ? Operation::ClearSign : Operation::Armor;
  return invocation;
}

std::optional<uint32_t> ParseNumber(std::string_view text) {
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && LowerAscii(text[1]) == 'x') {
    base = 16;
    text.remove_prefix(2);
  }
  uint32_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

}  // namespace

std::vector<std::string> SplitCommandLine(std::string_view raw) {
  std::vector<std::string> words;
  std::string word;
  bool inWord = false, quoted = false;
  for (size_t i = 0; i < raw.size(); ++i) {
    const char c = raw[i];
    if (c == '\\') {
      // Backslashes count only in front of a quote: 2n of them give n and a
      // quote that delimits, 2n+1 give n and a literal quote.
      const size_t end = std::min(raw.find_first_not_of('\\', i), raw.size());
      const size_t run = end - i;
      const bool beforeQuote = end < raw.size() && raw[end] == '"';
      word.append(beforeQuote ? run / 2 : run, '\\');
      const bool literalQuote = beforeQuote && run % 2 == 1;
      if (literalQuote) word += '"';
      i = literalQuote ? end : end - 1;
      inWord = true;
    } else if (c == '"') {
      if (quoted && i + 1 < raw.size() && raw[i + 1] == '"') {
        word += '"';  // "" inside quotes: a literal quote
        ++i;
      } else {
        quoted = !quoted;
      }
      inWord = true;
    } else if ((c == ' ' || c == '\t') && !quoted) {
      if (inWord) words.push_back(std::move(word));
      word.clear();
      inWord = false;
    } else {
      word += c;
      inWord = true;
    }
  }
  if (inWord) words.push_back(std::move(word));
  return words;
}

Invocation ParseInvocation(std::string_view rawCommandLine) {
  const std::vector<std::string> words = SplitCommandLine(rawCommandLine);
  std::string letters;
  bool clearsig = false;
  size_t i = words.empty() ? 0 : 1;  // the program's own name
  for (; i < words.size(); ++i) {
    const std::string& word = words[i];
    if (word.size() > 1 && word[0] == '-') {
      for (char c : std::string_view(word).substr(1)) {
        const char letter = LowerAscii(c);
        if (!Has(kOptionLetters, letter)) return Refuse(std::string("Unknown option '") + c + "'.");
        letters += letter;
      }
    } else if (word.size() > 1 && word[0] == '+') {
      if (EqualsNoCase(word, "+clearsig=on"))
        clearsig = true;
      else if (EqualsNoCase(word, "+clearsig=off"))
        clearsig = false;
      else
        return Refuse("Unknown parameter '" + word + "'.");
    } else {
      break;
    }
  }
  const std::vector<std::string> rest(words.begin() + static_cast<std::ptrdiff_t>(i), words.end());
  if (Has(letters, 'h')) return Invocation{};
  if (Has(letters, 'k')) return ParseKeyOperation(letters, rest);
  if (Has(letters, 'x')) return Refuse("Option 'x' needs -k.");
  return ParseMessageOperation(letters, clearsig, rest);
}

std::optional<std::string> OutputFileOf(const Invocation& invocation) {
  if (!invocation.error.empty()) return std::nullopt;
  switch (invocation.operation) {
    case Operation::Decode:
      if (!EndsWithNoCase(invocation.file, ".asc")) return std::nullopt;
      return invocation.file.substr(0, invocation.file.size() - 4);
    case Operation::Armor:
    case Operation::ClearSign:
      return invocation.file + ".asc";
    case Operation::ExtractKey:
      return EndsWithNoCase(invocation.file, ".asc") ? invocation.file : invocation.file + ".asc";
    case Operation::Help:
    case Operation::AddKey:
      break;
  }
  return std::nullopt;
}

Faults ParseFaults(std::string_view list) {
  Faults faults;
  while (!list.empty()) {
    const size_t comma = list.find(',');
    const std::string_view item = TrimBlanks(list.substr(0, comma));
    list = comma == std::string_view::npos ? std::string_view() : list.substr(comma + 1);
    if (item.empty()) continue;
    const size_t equals = item.find('=');
    const std::string_view name = item.substr(0, equals);
    const std::string_view value =
        equals == std::string_view::npos ? std::string_view() : item.substr(equals + 1);
    const auto number = ParseNumber(value);
    if (EqualsNoCase(name, "exit") && number) {
      faults.exitCode = number;
    } else if (EqualsNoCase(name, "sleep") && number && *number <= kLongestSleepMs) {
      faults.sleepMs = *number;
    } else if (EqualsNoCase(item, "empty")) {
      faults.emptyOutput = true;
    } else if (EqualsNoCase(item, "nooutput")) {
      faults.noOutput = true;
    } else if (EqualsNoCase(item, "crash")) {
      faults.crash = true;
    } else if (EqualsNoCase(item, "noverdict")) {
      faults.noVerdict = true;
    } else {
      faults.error = "PGPSTUB_FAULT: cannot use '" + std::string(item) + "'.";
      return faults;
    }
  }
  return faults;
}

std::string FormatLogLine(std::string_view rawCommandLine, bool passPhraseSet,
                          std::string_view exitText) {
  std::string line("cmdline=");
  for (char c : rawCommandLine) line += c == '\t' || c == '\r' || c == '\n' ? ' ' : c;
  line.append("\tpgppass=").append(passPhraseSet ? "yes" : "no");
  line.append("\texit=").append(exitText).append("\n");
  return line;
}

}  // namespace pgpstub
