#include "runner/pgp_runner.h"

#include <cstring>

#include "runner/temp_files.h"

namespace {

struct OptionLetter {
  char letter;
  uint16_t mask;
};

// "-" stands for any of the six letter bits, so it leads whenever one follows.
constexpr OptionLetter kLetters[] = {
    {'-', 0x0175},        {'k', PGPREQ_KEYADD}, {'a', PGPREQ_ARMOR}, {'e', PGPREQ_ENCRYPT},
    {'s', PGPREQ_SIGN}, {'t', PGPREQ_TEXT},   {'w', PGPREQ_WIPE},
};

}  // namespace

int BuildPgpOptions(uint16_t flags, const char* fileName, const char* userId,
                    char (&options)[kOptionTextSize]) {
  size_t length = 0;
  for (const OptionLetter& option : kLetters) {
    if (flags & option.mask) options[length++] = option.letter;
  }

  const struct {
    const char* word;
    uint16_t bit;
  } words[] = {
      {"+clearsig=on", PGPREQ_CLEARSIG},
      {fileName, PGPREQ_FILE},
      {userId, PGPREQ_USERID},
  };
  for (const auto& entry : words) {
    if (!(flags & entry.bit)) continue;
    // A text already at the limit has no room even for the blank.
    if (length + 1 > kOptionTextMax) break;
    options[length++] = ' ';
    const char* word = entry.word ? entry.word : "";
    size_t wordLength = strnlen(word, kOptionTextMax + 1);
    if (length + wordLength > kOptionTextMax) break;
    std::memcpy(options + length, word, wordLength);
    length += wordLength;
  }
  options[length] = '\0';
  return static_cast<int>(length);
}

bool ComposePgpCommandLine(const char* pgpPath, const char* options,
                           char (&commandLine)[kMessageTextSize]) {
  if (!pgpPath) pgpPath = "";
  if (!options) options = "";
  size_t pathLength = std::strlen(pgpPath);
  size_t optionsLength = std::strlen(options);
  if (pathLength + 1 + optionsLength >= sizeof commandLine) {
    commandLine[0] = '\0';
    return false;
  }
  std::memcpy(commandLine, pgpPath, pathLength);
  commandLine[pathLength] = ' ';
  std::memcpy(commandLine + pathLength + 1, options, optionsLength + 1);
  return true;
}

bool UsesOwnConsole(int32_t keepOpen) { return keepOpen >= 0; }

bool ConsoleWaitsForUser(int32_t keepOpen, uint32_t exitCode, uint16_t flags) {
  if (keepOpen < 0) return false;
  if (keepOpen == 0) return true;
  return !PgpSucceeded(exitCode) || (flags & (PGPREQ_ENCRYPT | PGPREQ_SIGN)) == 0;
}

bool AsksPassPhrase(int32_t keepPassword, uint16_t flags) {
  return keepPassword != 0 && (flags & PGPREQ_PASSPHRASE) != 0;
}

bool ForgetsPassPhrase(int32_t keepPassword, uint32_t exitCode) {
  return keepPassword != 0 && (exitCode == 20 || exitCode == 31);
}

bool PgpSucceeded(uint32_t exitCode) { return (exitCode & 0xFFFF) == 0; }

int FormatPgpExitCode(const char* templateText, uint32_t exitCode,
                      char (&text)[kExitCodeTextSize]) {
  return static_cast<int>(FillTemplate(text, sizeof text, templateText, {}, {exitCode & 0xFFFF}));
}
