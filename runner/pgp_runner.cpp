#include "runner/pgp_runner.h"

#include <cstring>

#include "core/text_chars.h"
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

constexpr char kPassName[] = "PGPPASS";
constexpr char kVerdictName[] = "QUILLNET_VERDICT";

// The name ends at the first '=' after the first character: the entries
// that hold the current directory of each drive ("=C:=C:\\...") start with one.
size_t NameLength(const char* entry) {
  const char* equals = entry[0] != '\0' ? std::strchr(entry + 1, '=') : nullptr;
  return equals ? static_cast<size_t>(equals - entry) : std::strlen(entry);
}

// Windows orders the block by name, comparing upper case, a shorter name
// before any longer one it begins.
int CompareNames(const char* a, size_t aLength, const char* b, size_t bLength) {
  const size_t common = aLength < bLength ? aLength : bLength;
  for (size_t i = 0; i < common; ++i) {
    const auto ca = static_cast<unsigned char>(UpperAscii(a[i]));
    const auto cb = static_cast<unsigned char>(UpperAscii(b[i]));
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  return aLength < bLength ? -1 : aLength > bLength ? 1 : 0;
}

bool HasName(const char* entry, const char* name) {
  return CompareNames(entry, NameLength(entry), name, std::strlen(name)) == 0;
}

bool Dropped(const char* entry, const PgpEnvironment& extra) {
  if (HasName(entry, kVerdictName)) return true;
  return HasName(entry, kPassName) && (extra.passPhrase != nullptr || !extra.keepClientPassPhrase);
}

// Inserts name=value as one entry behind the last entry whose name does not
// sort after it, so equal names keep their order. The block is built in
// place, so a pass phrase never sits in a second buffer.
void InsertEntry(char* block, size_t& used, const char* name, const char* value) {
  const size_t nameLength = std::strlen(name);
  const size_t valueLength = std::strlen(value);
  size_t at = 0;
  while (at < used) {
    const char* entry = block + at;
    if (CompareNames(entry, NameLength(entry), name, nameLength) > 0) break;
    at += std::strlen(entry) + 1;
  }
  const size_t length = nameLength + 1 + valueLength + 1;
  std::memmove(block + at + length, block + at, used - at);
  std::memcpy(block + at, name, nameLength);
  block[at + nameLength] = '=';
  std::memcpy(block + at + nameLength + 1, value, valueLength);
  block[at + length - 1] = '\0';
  used += length;
}

// An entry of `current` copied whole: its name may hold '=' signs of its
// own (the drive entries), so it is not split.
void InsertWhole(char* block, size_t& used, const char* entry) {
  const size_t nameLength = NameLength(entry);
  const size_t length = std::strlen(entry) + 1;
  size_t at = 0;
  while (at < used) {
    const char* other = block + at;
    if (CompareNames(other, NameLength(other), entry, nameLength) > 0) break;
    at += std::strlen(other) + 1;
  }
  std::memmove(block + at + length, block + at, used - at);
  std::memcpy(block + at, entry, length);
  used += length;
}

}  // namespace

size_t ComposePgpEnvironment(const char* current, const PgpEnvironment& extra, char* block,
                             size_t size) {
  size_t needed = 1;  // the block's final terminator
  for (const char* entry = current; entry != nullptr && *entry != '\0';
       entry += std::strlen(entry) + 1)
    if (!Dropped(entry, extra)) needed += std::strlen(entry) + 1;
  if (extra.passPhrase != nullptr)
    needed += sizeof kPassName + std::strlen(extra.passPhrase) + 1;
  if (extra.verdictPath != nullptr)
    needed += sizeof kVerdictName + std::strlen(extra.verdictPath) + 1;
  if (block == nullptr || size < needed) return needed;

  size_t used = 0;
  for (const char* entry = current; entry != nullptr && *entry != '\0';
       entry += std::strlen(entry) + 1)
    if (!Dropped(entry, extra)) InsertWhole(block, used, entry);
  if (extra.passPhrase != nullptr) InsertEntry(block, used, kPassName, extra.passPhrase);
  if (extra.verdictPath != nullptr) InsertEntry(block, used, kVerdictName, extra.verdictPath);
  block[used++] = '\0';
  return used;
}

std::string BuildPgpOptions(uint16_t flags, const char* fileName, const char* userId) {
  std::string options;
  for (const OptionLetter& option : kLetters) {
    if (flags & option.mask) options += option.letter;
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
    options += ' ';
    if (entry.word != nullptr) options += entry.word;
  }
  return options;
}

bool ComposePgpCommandLine(const char* pgpPath, const std::string& options,
                           std::string& commandLine) {
  if (!pgpPath) pgpPath = "";
  commandLine.clear();
  const size_t pathLength = std::strlen(pgpPath);
  if (pathLength + 3 + options.size() > kCommandLineMax) return false;
  commandLine.reserve(pathLength + 3 + options.size());
  commandLine += '"';
  commandLine.append(pgpPath, pathLength);
  commandLine += "\" ";
  commandLine += options;
  return true;
}

bool PgpCommandLineFits(const char* pgpPath, uint16_t flags, const char* fileName,
                        const char* userId) {
  std::string commandLine;
  return ComposePgpCommandLine(pgpPath, BuildPgpOptions(flags, fileName, userId), commandLine);
}

bool IsExecutableName(const char* path) {
  if (path == nullptr) return false;
  const size_t n = std::strlen(path);
  if (n < 4 || path[n - 4] != '.') return false;
  char extension[4];
  for (int i = 0; i < 3; ++i) {
    const char c = path[n - 3 + i];
    extension[i] = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  }
  extension[3] = '\0';
  return std::strcmp(extension, "exe") == 0 || std::strcmp(extension, "com") == 0;
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
