#include "pgp_command.h"

#include <algorithm>
#include <cctype>

namespace pgp2gpg {
namespace {

struct Letters {
  bool k = false, a = false, e = false, s = false, t = false, w = false, h = false;
};

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

bool EndsWithAsc(const std::string& name) {
  return name.size() > 4 && Lower(name.substr(name.size() - 4)) == ".asc";
}

// An option word is "-" or "+" followed by something; a lone "-" is not one
// (PGP read it as standard input, which we refuse separately).
bool IsOptionWord(const std::string& word) {
  return word.size() > 1 && (word[0] == '-' || word[0] == '+');
}

std::string ReadLetters(const std::string& word, Letters& letters) {
  for (size_t i = 1; i < word.size(); ++i) {
    switch (std::tolower(static_cast<unsigned char>(word[i]))) {
      case 'k': letters.k = true; break;
      case 'a': letters.a = true; break;
      case 'e': letters.e = true; break;
      case 's': letters.s = true; break;
      case 't': letters.t = true; break;
      case 'w': letters.w = true; break;
      case 'h': letters.h = true; break;
      default: return "unknown option letter in '" + word + "'";
    }
  }
  return {};
}

// Returns an error text, empty when the word was understood. The words PGP 2
// users habitually add (+batchmode, +force) are accepted: this program is
// always non-interactive and always overwrites its own output.
std::string ReadPlusWord(const std::string& word, bool& clearsig) {
  const std::string lower = Lower(word);
  if (lower == "+clearsig=on") {
    clearsig = true;
  } else if (lower == "+clearsig=off") {
    clearsig = false;
  } else if (lower != "+batchmode" && lower != "+batchmode=on" && lower != "+force" &&
             lower != "+force=on") {
    return "unknown option '" + word + "'";
  }
  return {};
}

void ChooseOperation(const Letters& l, bool clearsig, PgpCommand& command) {
  command.armor = l.a;
  command.sign = l.s;
  command.textMode = l.t;
  command.wipe = l.w;
  if (l.h) {
    command.operation = Operation::Help;
  } else if (l.k) {
    if (l.e || l.s || l.t || l.w || clearsig) command.error = "-k takes only the letter a";
    command.operation = Operation::AddKey;
  } else if (l.e) {
    command.operation = Operation::Encrypt;
  } else if (l.s) {
    command.operation = clearsig ? Operation::ClearSign : Operation::Sign;
    if (clearsig) command.armor = true;  // a clear signature is always text
  } else if (l.a || l.t || l.w) {
    command.error = "nothing to do: give e, s or k";
  } else {
    command.operation = Operation::Decode;
  }
}

}  // namespace

// Returns how many words after `first` belong to the file name.
size_t WordsJoinedIntoFile(const std::vector<std::string>& words, size_t first,
                           const FileExistsFn& fileExists) {
  if (!fileExists || fileExists(words[first])) return 0;
  std::string joined = words[first];
  for (size_t k = first + 1; k < words.size(); ++k) {
    joined += ' ' + words[k];
    if (fileExists(joined)) return k - first;
  }
  return 0;
}

PgpCommand ParsePgpCommand(const std::vector<std::string>& words, const FileExistsFn& fileExists) {
  PgpCommand command;
  Letters letters;
  bool clearsig = false;
  size_t i = 0;
  for (; i < words.size() && IsOptionWord(words[i]); ++i) {
    const std::string& word = words[i];
    command.error = word[0] == '-' ? ReadLetters(word, letters) : ReadPlusWord(word, clearsig);
    if (!command.error.empty()) return command;
  }
  ChooseOperation(letters, clearsig, command);
  if (!command.error.empty() || command.operation == Operation::Help) return command;
  if (i == words.size()) {
    command.error = "no file given";
    return command;
  }
  const size_t extra = WordsJoinedIntoFile(words, i, fileExists);
  command.file = words[i];
  for (size_t k = 1; k <= extra; ++k) command.file += ' ' + words[i + k];
  i += extra;
  if (command.file == "-" || command.file.empty()) {
    command.error = "standard input is not supported: name a file";
    return command;
  }
  command.userIds.assign(words.begin() + static_cast<std::ptrdiff_t>(i) + 1, words.end());
  if (!command.userIds.empty() && command.operation != Operation::Encrypt) {
    command.error = "user ids are taken only when encrypting";
  }
  return command;
}

std::optional<std::string> OutputFileOf(const PgpCommand& command) {
  switch (command.operation) {
    case Operation::Decode:
      if (!EndsWithAsc(command.file)) return std::nullopt;
      return command.file.substr(0, command.file.size() - 4);
    case Operation::Encrypt:
    case Operation::Sign:
    case Operation::ClearSign:
      return command.file + (command.armor ? ".asc" : ".pgp");
    case Operation::Help:
    case Operation::AddKey:
      break;
  }
  return std::nullopt;
}

const char* UsageText() {
  return "usage: pgp2gpg [-letters] [+clearsig=on] file [userid ...]\n"
         "  pgp2gpg file.asc                 decrypt, or check a clear signature, to file\n"
         "  pgp2gpg -ka file.asc             add the keys in the file to your keyring\n"
         "  pgp2gpg -aetw file u1 u2 ...     encrypt for u1 u2 ... to file.asc, wipe file\n"
         "  pgp2gpg -aestw file u1 ...       the same, signed\n"
         "  pgp2gpg -ast +clearsig=on file   clear-sign file to file.asc\n"
         "The pass phrase is taken from PGPPASS when it is set.";
}

}  // namespace pgp2gpg
