// One owner per handle: small holders that release a handle once, on every
// way out of the scope that took it.
#pragma once

#include <windows.h>

template <typename Traits>
class Holder {
 public:
  using T = typename Traits::Type;

  Holder() = default;
  explicit Holder(T value) : value_(value) {}
  ~Holder() { reset(); }
  Holder(const Holder&) = delete;
  Holder& operator=(const Holder&) = delete;
  Holder(Holder&& other) noexcept : value_(other.release()) {}
  Holder& operator=(Holder&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }

  T get() const { return value_; }
  explicit operator bool() const { return value_ != Traits::Invalid(); }
  T release() {
    T v = value_;
    value_ = Traits::Invalid();
    return v;
  }
  void reset(T value = Traits::Invalid()) {
    if (value_ != Traits::Invalid()) Traits::Release(value_);
    value_ = value;
  }

 private:
  T value_ = Traits::Invalid();
};

// CreateFile and FindFirstFile report failure as INVALID_HANDLE_VALUE.
struct FileTraits {
  using Type = HANDLE;
  static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
  static void Release(HANDLE h) { CloseHandle(h); }
};
struct SearchTraits {
  using Type = HANDLE;
  static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
  static void Release(HANDLE h) { FindClose(h); }
};
struct FontTraits {
  using Type = HFONT;
  static HFONT Invalid() { return nullptr; }
  static void Release(HFONT f) { DeleteObject(f); }
};

// Process, thread and event handles report failure as null.
struct HandleTraits {
  using Type = HANDLE;
  static HANDLE Invalid() { return nullptr; }
  static void Release(HANDLE h) { CloseHandle(h); }
};
struct MemoryDcTraits {
  using Type = HDC;
  static HDC Invalid() { return nullptr; }
  static void Release(HDC dc) { DeleteDC(dc); }
};
struct BitmapTraits {
  using Type = HBITMAP;
  static HBITMAP Invalid() { return nullptr; }
  static void Release(HBITMAP b) { DeleteObject(b); }
};
struct WindowTraits {
  using Type = HWND;
  static HWND Invalid() { return nullptr; }
  static void Release(HWND w) { DestroyWindow(w); }
};

using FileHolder = Holder<FileTraits>;
using HandleHolder = Holder<HandleTraits>;
using MemoryDcHolder = Holder<MemoryDcTraits>;
using BitmapHolder = Holder<BitmapTraits>;
using WindowHolder = Holder<WindowTraits>;
using SearchHolder = Holder<SearchTraits>;
using FontHolder = Holder<FontTraits>;
