// Texts in fixed buffers: copies and composed messages are cut to their
// buffer, never written past it.
#pragma once

#include <cstddef>
#include <cstdint>

// Copies a terminated text, cut to fit `size` with its terminator.
void CopyBounded(char* to, size_t size, const char* text);

// Appends into a fixed buffer and remembers whether anything was cut, so a
// text composed with it stays bounded by construction.
class BoundedText {
 public:
  BoundedText(char* out, size_t size) : out_(out), size_(size) {
    if (size_ > 0) out_[0] = '\0';
  }

  void Append(const char* text, size_t n);
  void Append(const char* text);
  void Append(char c) { Append(&c, 1); }
  void AppendNumber(uint32_t value);

  size_t length() const { return length_; }
  bool cut() const { return cut_; }

 private:
  char* out_;
  size_t size_;
  size_t length_ = 0;
  bool cut_ = false;
};

