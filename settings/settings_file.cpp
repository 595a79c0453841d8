#include "settings/settings_file.h"

#include <charconv>
#include <cstring>
#include <limits>
#include <string_view>

const IntegerSettingKey kIntegerSettingKeys[kIntegerSettingCount] = {
    {kSectionSettings, "UseToolBar", &SettingsValues::UseToolBar},
    {kSectionPgpFlags, "AlwaysSign", &SettingsValues::AlwaysSign},
    {kSectionSettings, "AnsiOem", &SettingsValues::AnsiOem},
    {kSectionSettings, "ConvertAttach", &SettingsValues::ConvertAttach},
    {kSectionSettings, "NickNames", &SettingsValues::NickNames},
    {kSectionSettings, "CopyToReadOnly", &SettingsValues::CopyToReadOnly},
    {kSectionSettings, "ButtonPos", &SettingsValues::ButtonPos},
    {kSectionPgpSettings, "KeepPassword", &SettingsValues::KeepPassword},
    {kSectionPgpSettings, "KeepOpen", &SettingsValues::KeepOpen},
    {kSectionSettings, "MarkResults", &SettingsValues::MarkResults},
    {kSectionSettings, "ReadMime", &SettingsValues::ReadMime},
};

const TextSettingKey kTextSettingKeys[kTextSettingCount] = {
    {kSectionPgpSettings, "ProgPGP", &SettingsValues::ProgPGP},
    {kSectionPgpSettings, "PGPtempdir", &SettingsValues::PGPtempdir},
    {kSectionPgpSettings, "EncryptFor", &SettingsValues::EncryptFor},
};

namespace {

// AppendLine for a line given in pieces, so the listing needs no scratch
// buffer whose own size would add a second, hidden bound.
size_t AppendPieces(char* buffer, size_t capacity, std::string_view a, std::string_view b = {},
                    std::string_view c = {}) {
  if (buffer == nullptr || capacity == 0) return 0;
  const size_t n = strnlen(buffer, capacity);
  if (n == capacity) return 0;
  const size_t room = capacity - n - 1;  // characters that may still follow
  const size_t m = a.size() + b.size() + c.size();
  if (m >= room) return 0;  // n + m + 1 must stay below capacity
  char* at = buffer + n;
  *at++ = '\n';
  for (std::string_view piece : {a, b, c}) {
    if (piece.empty()) continue;
    std::memcpy(at, piece.data(), piece.size());
    at += piece.size();
  }
  *at = '\0';
  return n + m + 1;
}

// The directory that ComputeSettingsPath takes from non-empty arguments,
// still with any double quotes in it.
std::string_view ArgumentDirectory(std::string_view text) {
  const size_t blank = text.find(' ');
  if (blank == std::string_view::npos) return text;
  const size_t quote = text.find('"');
  size_t firstEnd = blank;
  if (quote != std::string_view::npos && quote < blank) {
    // A quoted first argument runs to its closing quote, blanks included.
    const size_t closing = text.find('"', blank);
    firstEnd = closing == std::string_view::npos ? text.size() : closing + 1;
  }
  const size_t backslash = text.rfind('\\');
  if (backslash == std::string_view::npos || backslash < firstEnd) return text.substr(0, firstEnd);
  std::string_view rest = text.substr(firstEnd, backslash + 1 - firstEnd);
  while (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);
  return rest;
}

}  // namespace

size_t AppendLine(char* buffer, size_t capacity, const char* line) {
  if (line == nullptr) return 0;
  return AppendPieces(buffer, capacity, line);
}

size_t ModuleDirectoryLength(const char* modulePath) {
  if (modulePath == nullptr) return 0;
  std::string_view path(modulePath, strnlen(modulePath, kPathSize));
  const size_t backslash = path.rfind('\\');
  return backslash == std::string_view::npos ? 0 : backslash + 1;
}

bool PlaceInModuleDirectory(char (&path)[kPathSize], const char* modulePath, size_t directoryLength,
                            const char* fileName) {
  size_t d = modulePath == nullptr ? 0 : strnlen(modulePath, kPathSize);
  if (directoryLength < d) d = directoryLength;
  const size_t m = fileName == nullptr ? 0 : std::strlen(fileName);
  if (m >= kPathSize - d) {  // d + m characters must leave room for the terminator
    path[0] = '\0';
    return false;
  }
  if (d > 0) std::memmove(path, modulePath, d);  // may be the same buffer
  if (m > 0) std::memcpy(path + d, fileName, m);
  path[d + m] = '\0';
  return true;
}

size_t ComputeSettingsPath(char (&settingsPath)[kSettingsPathSize], const char* clientArguments,
                           const char* modulePath, size_t moduleDirectoryLength) {
  std::string_view directory;
  if (clientArguments != nullptr && clientArguments[0] != '\0') {
    directory = ArgumentDirectory(clientArguments);
  } else if (modulePath != nullptr) {
    size_t d = strnlen(modulePath, kPathSize);
    directory = std::string_view(modulePath, d < moduleDirectoryLength ? d : moduleDirectoryLength);
  }

  // Built aside, so the result is all or nothing and may alias the inputs.
  char built[kSettingsPathSize];
  size_t n = 0;
  const size_t limit = kSettingsPathSize - 1;
  bool fits = true;
  for (char c : directory) {
    if (c == '"') continue;
    if (n == limit) {
      fits = false;
      break;
    }
    built[n++] = c;
  }
  if (fits && n > 0) {
    std::string_view tail = kSettingsFileName;
    const bool needSeparator = built[n - 1] != '\\';
    if (n + needSeparator + tail.size() > limit) {
      fits = false;
    } else {
      if (needSeparator) built[n++] = '\\';
      std::memcpy(built + n, tail.data(), tail.size());
      n += tail.size();
    }
  }
  if (!fits) n = 0;
  built[n] = '\0';
  std::memcpy(settingsPath, built, n + 1);
  return n;
}

bool EncryptForNeedsQuotes(const char* encryptFor) {
  return encryptFor != nullptr && std::strchr(encryptFor, ' ') != nullptr;
}

int32_t EncryptForLength(const char* encryptFor) {
  if (encryptFor == nullptr) return 0;
  const size_t length = std::strlen(encryptFor) + (EncryptForNeedsQuotes(encryptFor) ? 2 : 0);
  constexpr size_t maxLength = std::numeric_limits<int32_t>::max();
  return static_cast<int32_t>(length < maxLength ? length : maxLength);
}

size_t QuoteEncryptFor(const char* encryptFor, char* out, size_t outSize) {
  if (encryptFor == nullptr || out == nullptr) return 0;
  const size_t length = static_cast<size_t>(EncryptForLength(encryptFor));
  if (length >= outSize) return 0;
  if (EncryptForNeedsQuotes(encryptFor)) {
    out[0] = '"';
    std::memcpy(out + 1, encryptFor, length - 2);
    out[length - 1] = '"';
  } else {
    std::memcpy(out, encryptFor, length);
  }
  out[length] = '\0';
  return length;
}

void AppendSettingsListing(char* buffer, size_t capacity, const SettingsValues& values) {
  AppendPieces(buffer, capacity, "---");
  for (const IntegerSettingKey& key : kIntegerSettingKeys) {
    char digits[16];
    const auto shown = static_cast<uint32_t>(values.*key.field);
    const auto end = std::to_chars(digits, digits + sizeof digits, shown).ptr;
    AppendPieces(buffer, capacity, key.key, " = ", std::string_view(digits, end - digits));
  }
  for (const TextSettingKey& key : kTextSettingKeys) {
    const char* text = values.*key.field;
    if (text == nullptr) continue;
    if (AppendPieces(buffer, capacity, key.key, " = ", text) == 0) {
      AppendPieces(buffer, capacity, ">>");
      return;
    }
  }
}

int32_t RaiseWaitEudoraInit(int32_t waitEudoraInit) {
  // The sum is taken in 64 bits: for |v| above about 1.4e9 it leaves the
  // 32-bit range, and the stored value must not wrap to the other sign.
  const int64_t raised = int64_t{waitEudoraInit} + (waitEudoraInit >> 1);
  constexpr int64_t lowest = std::numeric_limits<int32_t>::min();
  constexpr int64_t highest = std::numeric_limits<int32_t>::max();
  if (raised < lowest) return static_cast<int32_t>(lowest);
  if (raised > highest) return static_cast<int32_t>(highest);
  return static_cast<int32_t>(raised);
}

uint32_t WaitEudoraInitPause(int32_t waitEudoraInit) {
  return waitEudoraInit < 0 ? 0u : static_cast<uint32_t>(waitEudoraInit);
}
