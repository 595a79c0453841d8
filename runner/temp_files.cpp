#include "runner/temp_files.h"

#include <cstring>

#include "core/bounded_text.h"
#include "resources/resource_ids.h"

namespace {

// Length of the conversion at text (just past a '%'), 0 if not ours.
size_t SpecifierLength(const char* text) {
  if (text[0] == 's' || text[0] == 'u' || text[0] == '%') return 1;
  if (text[0] == 'l' && text[1] == 'u') return 2;
  return 0;
}

}  // namespace

std::string FillTemplate(const char* templateText, std::initializer_list<const char*> texts,
                         std::initializer_list<uint32_t> numbers) {
  std::string result;
  if (!templateText) return result;
  const char* const* nextText = texts.begin();
  const uint32_t* nextNumber = numbers.begin();
  for (const char* p = templateText; *p != '\0';) {
    size_t specifier = p[0] == '%' ? SpecifierLength(p + 1) : 0;
    if (specifier == 0) {
      result += *p++;
      continue;
    }
    char kind = p[specifier];  // 's', 'u' or '%'
    if (kind == '%') {
      result += '%';
    } else if (kind == 's') {
      if (nextText != texts.end() && *nextText != nullptr) result += *nextText;
      if (nextText != texts.end()) ++nextText;
    } else if (nextNumber != numbers.end()) {
      result += std::to_string(*nextNumber++);
    }
    p += 1 + specifier;
  }
  return result;
}

size_t FillTemplate(char* out, size_t outSize, const char* templateText,
                    std::initializer_list<const char*> texts,
                    std::initializer_list<uint32_t> numbers) {
  BoundedText result(out, outSize);
  const std::string filled = FillTemplate(templateText, texts, numbers);
  result.Append(filled.data(), filled.size());
  return result.length();
}

int FileErrorStringId(uint32_t code) {
  switch (code) {
    case 2: return IDS_FILE_NOT_FOUND;
    case 3: return IDS_PATH_NOT_FOUND;
    case 8:
    case 14: return IDS_NOT_ENOUGH_MEMORY;
    case ERROR_FILE_NO_DATA: return IDS_FILE_NO_DATA;
    case ERROR_FILE_IS_LINK: return IDS_FILE_IS_LINK;
    case ERROR_NOT_A_DISK_FILE: return IDS_NOT_A_DISK_FILE;
    default: return IDS_UNKNOWN_ERROR;
  }
}

size_t FormatFileErrorText(const char* templateText, uint32_t code, const char* path,
                           char (&buffer)[kMessageTextSize]) {
  char working[kMessageTextSize];
  size_t n = FillTemplate(working, sizeof working, templateText, {path ? path : ""}, {code});
  std::memcpy(buffer, working, n + 1);
  return n;
}

std::string FormatFileErrorText(const char* templateText, uint32_t code, const char* path) {
  return FillTemplate(templateText, {path ? path : ""}, {code});
}

bool ComposeTempNames(const char* directory, char (&baseName)[kPathSize],
                      char (&ascName)[kPathSize]) {
  baseName[0] = ascName[0] = '\0';
  size_t n = directory ? std::strlen(directory) : 0;
  if (n == 0) return false;

  BoundedText base(baseName, sizeof baseName);
  base.Append(directory, n);
  if (directory[n - 1] != '\\') base.Append('\\');
  base.Append("quillnet");
  BoundedText asc(ascName, sizeof ascName);
  asc.Append(baseName, base.length());
  asc.Append(".asc");
  if (base.cut() || asc.cut()) {
    baseName[0] = ascName[0] = '\0';
    return false;
  }
  return true;
}

std::string VerdictFileName(const char* baseName, uint64_t random) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string name = baseName != nullptr ? baseName : "";
  name += '-';
  for (int shift = 60; shift >= 0; shift -= 4) name += kDigits[(random >> shift) & 0xF];
  name += ".vrd";
  return name;
}

std::string ComposeOverwriteQuestion(const char* intro, bool ascExists, const char* ascName,
                                     bool baseExists, const char* baseName) {
  std::string question = intro != nullptr ? intro : "";
  if (ascExists && ascName != nullptr) question += ascName;
  if (baseExists) {
    question += '\n';
    if (baseName != nullptr) question += baseName;
  }
  return question;
}

uint32_t UsableEnvironmentLength(uint32_t reported) {
  return reported < kEnvironmentValueSize ? reported : 0;
}

const std::array<uint8_t, kWipePatternSize>& WipePattern() {
  static constexpr std::array<uint8_t, kWipePatternSize> pattern = [] {
    std::array<uint8_t, kWipePatternSize> bytes{};
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i);
    return bytes;
  }();
  return pattern;
}

WipePlan PlanWipe(uint32_t fileSize) {
  return {static_cast<uint32_t>(fileSize % kWipePatternSize),
          static_cast<uint32_t>(fileSize / kWipePatternSize)};
}
