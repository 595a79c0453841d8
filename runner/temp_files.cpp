#include "runner/temp_files.h"

#include <cstring>

#include "resources/resource_ids.h"

namespace {

// Appends into a fixed buffer and remembers whether anything was cut, so
// every composer below stays bounded by construction.
class BoundedText {
 public:
  BoundedText(char* out, size_t size) : out_(out), size_(size) {
    if (size_ > 0) out_[0] = '\0';
  }

  void Append(const char* text, size_t n) {
    if (size_ == 0) {
      cut_ = cut_ || n > 0;
      return;
    }
    size_t room = size_ - 1 - length_;
    if (n > room) {
      n = room;
      cut_ = true;
    }
    if (n > 0) std::memcpy(out_ + length_, text, n);
    length_ += n;
    out_[length_] = '\0';
  }
  void Append(const char* text) {
    if (text) Append(text, std::strlen(text));
  }
  void Append(char c) { Append(&c, 1); }

  void AppendNumber(uint32_t value) {
    char digits[10];
    size_t n = 0;
    do {
      digits[n++] = static_cast<char>('0' + value % 10);
      value /= 10;
    } while (value != 0);
    while (n > 0) Append(digits[--n]);
  }

  size_t length() const { return length_; }
  bool cut() const { return cut_; }

 private:
  char* out_;
  size_t size_;
  size_t length_ = 0;
  bool cut_ = false;
};

// Length of the conversion at text (just past a '%'), 0 if not ours.
size_t SpecifierLength(const char* text) {
  if (text[0] == 's' || text[0] == 'u' || text[0] == '%') return 1;
  if (text[0] == 'l' && text[1] == 'u') return 2;
  return 0;
}

}  // namespace

size_t FillTemplate(char* out, size_t outSize, const char* templateText,
                    std::initializer_list<const char*> texts,
                    std::initializer_list<uint32_t> numbers) {
  BoundedText result(out, outSize);
  if (!templateText) return 0;
  const char* const* nextText = texts.begin();
  const uint32_t* nextNumber = numbers.begin();
  for (const char* p = templateText; *p != '\0';) {
    size_t specifier = p[0] == '%' ? SpecifierLength(p + 1) : 0;
    if (specifier == 0) {
      result.Append(*p++);
      continue;
    }
    char kind = p[specifier];  // 's', 'u' or '%'
    if (kind == '%') {
      result.Append('%');
    } else if (kind == 's') {
      if (nextText != texts.end()) result.Append(*nextText++);
    } else if (nextNumber != numbers.end()) {
      result.AppendNumber(*nextNumber++);
    }
    p += 1 + specifier;
  }
  return result.length();
}

int FileErrorStringId(uint32_t code) {
  switch (code) {
    case 2: return IDS_FILE_NOT_FOUND;
    case 3: return IDS_PATH_NOT_FOUND;
    case 8:
    case 14: return IDS_NOT_ENOUGH_MEMORY;
    case ERROR_FILE_NO_DATA: return IDS_FILE_NO_DATA;
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

bool ComposeOverwriteQuestion(const char* intro, bool ascExists, const char* ascName,
                              bool baseExists, const char* baseName,
                              char (&text)[kMessageTextSize]) {
  BoundedText question(text, sizeof text);
  question.Append(intro);
  if (ascExists) question.Append(ascName);
  if (baseExists) {
    question.Append('\n');
    question.Append(baseName);
  }
  return !question.cut();
}

uint32_t UsableEnvironmentLength(uint32_t reported) {
  return reported < kEnvironmentValueSize ? reported : 0;
}

const std::array<uint8_t, kWipePatternSize>& WipePattern() {
  static const std::array<uint8_t, kWipePatternSize> pattern = [] {
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
