#include "command/text_capture.h"

#include <cstring>

int TrimBlanks(char* text) {
  if (text == nullptr) return 0;
  const char* first = text;
  while (*first != '\0' && IsBlank(*first)) ++first;
  size_t length = std::strlen(first);
  while (length > 0 && IsBlank(first[length - 1])) --length;
  std::memmove(text, first, length);
  text[length] = '\0';
  return static_cast<int>(length);
}

// Every blank ends an address, not only the space and carriage return: a tab
// left inside would split the address into two user ids on PGP's command
// line, the second one being the display name.
int ExtractAddress(char* entry, char* output) {
  char* at = std::strchr(entry, '@');
  if (at == nullptr) {
    const int length = TrimBlanks(entry);
    std::memmove(output, entry, static_cast<size_t>(length));
    output[length] = '\0';
    return length;
  }
  const char* end = at;
  while (*end != '\0' && *end != '>' && !IsBlank(*end)) ++end;
  const char* begin = at;
  while (begin > entry && begin[-1] != '<' && !IsBlank(begin[-1])) --begin;
  const size_t length = static_cast<size_t>(end - begin);
  std::memmove(output, begin, length);
  output[length] = '\0';
  return static_cast<int>(length);
}

int ExtractAngleAddress(char* text) {
  const char* at = std::strchr(text, '@');
  const char* open = std::strchr(text, '<');
  const char* close = std::strchr(text, '>');
  if (at == nullptr || open == nullptr || close == nullptr) return 0;
  if (!(open < at && at < close)) return 0;
  const size_t length = static_cast<size_t>(close - open - 1);
  std::memmove(text, open + 1, length);
  text[length] = '\0';
  return static_cast<int>(length);
}

// The output never overtakes the input: each address is a part of its entry,
// and the blank before it takes the place of the separator before the entry.
// Empty entries are skipped so that "a@b,,c@d" or a trailing comma gives no
// doubled or trailing blank, which PGP could take as an empty user id.
namespace {

// A name without an address that PGP would split into several user ids.
bool IsNameWithoutAddress(const char* entry) {
  if (std::strchr(entry, '@') != nullptr) return false;
  const char* first = entry;
  while (*first != '\0' && IsBlank(*first)) ++first;
  const char* last = first + std::strlen(first);
  while (last > first && IsBlank(last[-1])) --last;
  for (const char* p = first; p < last; ++p)
    if (IsBlank(*p)) return true;
  return false;
}

}  // namespace

int ReduceAddressList(char* text, LeftOutRecipients* leftOut) {
  int out = 0;
  int pos = 0;
  bool any = false;
  for (;;) {
    const int start = pos;
    while (text[pos] != '\0' && text[pos] != ',' && text[pos] != '\n') ++pos;
    const bool last = text[pos] == '\0';
    text[pos] = '\0';
    const int at = any ? out + 1 : out;
    if (IsNameWithoutAddress(text + start)) {
      // Named before anything is written over it; the output may start here.
      if (leftOut != nullptr) AddLeftOut(*leftOut, text + start, std::strlen(text + start));
      if (last) break;
      ++pos;
      continue;
    }
    const int length = ExtractAddress(text + start, text + at);
    if (length > 0) {
      if (any) text[out] = ' ';
      out = at + length;
      any = true;
    }
    if (last) break;
    ++pos;
  }
  text[out] = '\0';
  return out;
}

bool FindFieldEntry(const char* text, int index, FieldEntry& entry) {
  if (text == nullptr || index < 0) return false;
  const int length = static_cast<int>(std::strlen(text));
  if (length == 0) return false;
  int start = 0;
  for (int i = 0; i < index; ++i) {
    while (start < length && text[start] != ',' && text[start] != '\r') ++start;
    if (start >= length) return false;
    ++start;
  }
  int end = start;
  while (end < length && text[end] != ',' && text[end] != '\r') ++end;
  if (start < end && text[start] == '\n') ++start;
  entry.start = start;
  entry.end = end;
  return true;
}

int AngleAddressOfToText(std::string& to) {
  if (to.find_first_of(",\n") != std::string::npos) return 0;
  const int length = ExtractAngleAddress(to.data());
  if (length > 0) to.resize(static_cast<size_t>(length));
  return length;
}

void AppendCcRecipients(std::string& recipients, const std::string& cc) {
  if (cc.empty()) return;
  if (!recipients.empty()) recipients += ' ';
  recipients += cc;
}
