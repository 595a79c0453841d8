#include "command/run_pgp_driver.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>

#include "command/attachment_name.h"
#include "core/text_chars.h"
#include "runner/pgp_runner.h"
#include "runner/temp_files.h"

namespace {

// The quoted form exists for paths with blanks; anything after the closing
// quote (trailing blanks before the line end, say) is not part of the name.
void TakePath(std::string_view run, AttachmentLine& line) {
  std::string_view path = run;
  if (!path.empty() && path.front() == '"') {
    path.remove_prefix(1);
    path = path.substr(0, path.find('"'));
  }
  const size_t kept = std::min(path.size(), static_cast<size_t>(kPathSize - 1));
  std::memcpy(line.path, path.data(), kept);
  line.path[kept] = '\0';
  line.pathTooLong = path.size() > kept;
}

constexpr uint16_t kEncryptionBits = PGPREQ_FILE | PGPREQ_USERID | PGPREQ_WIPE | PGPREQ_ENCRYPT;
constexpr uint16_t kClearsignFlags = PGPREQ_FILE | PGPREQ_PASSPHRASE | PGPREQ_TEXT | PGPREQ_ARMOR |
                                     PGPREQ_SIGN | PGPREQ_CLEARSIG;

}  // namespace

int StripQuoteMarks(char* text, char mark) {
  if (text == nullptr) return 0;
  size_t kept = 0;
  bool lineStart = true;
  for (size_t i = 0; text[i] != '\0'; ++i) {
    const char c = text[i];
    if (lineStart && c == mark) {
      lineStart = false;
      continue;
    }
    text[kept++] = c;
    lineStart = c == '\n';
  }
  text[kept] = '\0';
  return static_cast<int>(kept);
}

bool FindAttachmentLine(const char* scan, int32_t scanLength, const char* prefix,
                        int32_t prefixLength, int32_t from, AttachmentLine& line) {
  if (scan == nullptr || prefix == nullptr || prefixLength <= 0 || scanLength <= 0) return false;
  const std::string_view text(scan, static_cast<size_t>(scanLength));
  const std::string_view wanted(prefix, static_cast<size_t>(prefixLength));
  size_t position = static_cast<size_t>(std::clamp(from, 0, scanLength));
  for (;;) {
    const size_t found = text.find(wanted, position);
    if (found == std::string_view::npos) return false;
    const size_t runStart = found + wanted.size();
    size_t runEnd = runStart;
    while (runEnd < text.size() && !IsControl(text[runEnd])) ++runEnd;
    if (runEnd > runStart) {
      line.blockStart = static_cast<int32_t>(found);
      line.blockEnd = static_cast<int32_t>(runEnd);
      line.runStart = static_cast<int32_t>(runStart);
      line.quoted = found > 0 && text[found - 1] == '>';
      TakePath(text.substr(runStart, runEnd - runStart), line);
      return true;
    }
    position = runStart;
  }
}

bool IsDriveLetterPath(const char* path) {
  if (path == nullptr) return false;
  const std::string_view text(path);
  const bool drive = text.size() >= 4 && ((text[0] >= 'A' && text[0] <= 'Z') ||
                                          (text[0] >= 'a' && text[0] <= 'z')) &&
                     text[1] == ':' && (text[2] == '\\' || text[2] == '/');
  if (!drive || text.find(':', 2) != std::string_view::npos) return false;
  for (size_t start = 3; start < text.size();) {
    size_t end = text.find_first_of("\\/", start);
    if (end == std::string_view::npos) end = text.size();
    if (IsDeviceName(text.substr(start, end - start))) return false;
    start = end + 1;
  }
  return true;
}

PgpRequestChoice RequestForFunction(PgpFunction function, bool alwaysSign) {
  switch (function) {
    case Decode:
      return {PGPREQ_FILE | PGPREQ_PASSPHRASE, PgpFileChoice::TempAscName};
    case CheckSignature:
      return {PGPREQ_FILE, PgpFileChoice::TempAscName};
    case Encrypt: {
      uint16_t flags = PGPREQ_FILE | PGPREQ_USERID | PGPREQ_WIPE | PGPREQ_TEXT | PGPREQ_ARMOR |
                       PGPREQ_ENCRYPT;
      if (alwaysSign) flags |= PGPREQ_SIGN | PGPREQ_PASSPHRASE;
      return {flags, PgpFileChoice::TempBaseName};
    }
    case AddKey:
      return {PGPREQ_FILE | PGPREQ_KEYADD | PGPREQ_ARMOR, PgpFileChoice::TempAscName};
    case NoFunction:
      break;
  }
  return {0, PgpFileChoice::TempAscName};
}

uint16_t FlagsAfterDialog(uint16_t flags, const char* recipients) {
  const bool empty = recipients == nullptr || recipients[0] == '\0';
  if ((flags & kEncryptionBits) == kEncryptionBits && empty) return kClearsignFlags;
  return flags;
}

void AppendEncryptFor(std::string& recipients, const char* encryptFor) {
  if (encryptFor == nullptr || encryptFor[0] == '\0' || recipients.empty()) return;
  recipients += ' ';
  recipients += encryptFor;
}

std::vector<std::string> SplitUserIds(const std::string& recipients) {
  std::vector<std::string> userIds;
  std::string word;
  bool quoted = false;
  for (char c : recipients) {
    if (c == '"') quoted = !quoted;
    if (!quoted && IsBlank(c)) {
      if (!word.empty()) userIds.push_back(std::move(word));
      word.clear();
      continue;
    }
    word += c;
  }
  if (!word.empty()) userIds.push_back(std::move(word));
  return userIds;
}

std::string NameRecipients(const char* pattern, const std::vector<std::string>& names,
                           const char* separator, const char* more) {
  const std::string gap = separator != nullptr ? separator : "";
  std::string list;
  for (const std::string& name : names) list += (list.empty() ? "" : gap) + name;
  std::string message = FillTemplate(pattern, {list.c_str()}, {});
  if (message.size() <= kMessageBoxTextMax) return message;
  // Room for the names beside the rest of the message and the widest count.
  const size_t frame = message.size() - list.size();
  const size_t countText = FillTemplate(more, {}, {UINT32_MAX}).size();
  const size_t room = kMessageBoxTextMax > frame + countText ? kMessageBoxTextMax - frame - countText : 0;
  std::string shown;
  size_t named = 0;
  for (const std::string& name : names) {
    const size_t grown = shown.size() + (named > 0 ? gap.size() : 0) + name.size();
    if (grown > room) break;
    shown += (named > 0 ? gap : "") + name;
    ++named;
  }
  shown += FillTemplate(more, {}, {static_cast<uint32_t>(names.size() - named)});
  return FillTemplate(pattern, {shown.c_str()}, {});
}

bool FindOptionLikeUserId(const char* recipients, UserIdSpan& found) {
  if (recipients == nullptr) return false;
  size_t i = 0;
  while (recipients[i] != '\0') {
    while (recipients[i] != '\0' && IsBlank(recipients[i])) ++i;
    const size_t start = i;
    while (recipients[i] != '\0' && !IsBlank(recipients[i])) ++i;
    size_t first = start;
    while (first < i && recipients[first] == '"') ++first;
    if (first < i && (recipients[first] == '-' || recipients[first] == '+')) {
      found.start = static_cast<int32_t>(start);
      found.length = static_cast<int32_t>(i - start);
      return true;
    }
  }
  return false;
}
