#include "core/bounded_text.h"

#include <cstring>

void CopyBounded(char* to, size_t size, const char* text) {
  size_t n = std::strlen(text);
  if (n > size - 1) n = size - 1;
  std::memcpy(to, text, n);
  to[n] = '\0';
}

void BoundedText::Append(const char* text, size_t n) {
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

void BoundedText::Append(const char* text) {
  if (text) Append(text, std::strlen(text));
}

void BoundedText::AppendNumber(uint32_t value) {
  char digits[10];
  size_t n = 0;
  do {
    digits[n++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  while (n > 0) Append(digits[--n]);
}
