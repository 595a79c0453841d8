// One owner for each handle, so that every way out of a function releases it
// exactly once: one small template and a trait per kind of handle, shared by
// the module, the stand-ins, the tests and pgp2gpg. Deliberately tiny; the
// model is WIL's unique_any, without the dependency.
#pragma once

#include <windows.h>

#include <utility>

// Owns a value that needs one release call. Traits give the empty value, the
// test for a live value and the release.
template <typename Traits>
class UniqueResource {
 public:
  using Value = typename Traits::Value;

  UniqueResource() = default;
  explicit UniqueResource(Value value) : value_(value) {}
  ~UniqueResource() { reset(); }
  UniqueResource(UniqueResource&& other) noexcept : value_(other.release()) {}
  UniqueResource& operator=(UniqueResource&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  UniqueResource(const UniqueResource&) = delete;
  UniqueResource& operator=(const UniqueResource&) = delete;

  Value get() const { return value_; }
  bool valid() const { return Traits::IsValid(value_); }
  explicit operator bool() const { return valid(); }

  // Gives the value up without releasing it (ownership passes to the caller).
  Value release() { return std::exchange(value_, Traits::Empty()); }
  // Keeps the caller's GetLastError: a holder released on the way out of a
  // failed call must not replace the error that call left.
  void reset(Value value = Traits::Empty()) {
    Value old = std::exchange(value_, value);
    if (!Traits::IsValid(old)) return;
    const DWORD error = GetLastError();
    Traits::Release(old);
    SetLastError(error);
  }

 private:
  Value value_ = Traits::Empty();
};

// The traits of a handle that is null when there is none.
template <typename T, auto ReleaseFunction>
struct NullableTraits {
  using Value = T;
  static Value Empty() { return nullptr; }
  static bool IsValid(Value v) { return v != nullptr; }
  static void Release(Value v) { ReleaseFunction(v); }
};

// CreateFile reports failure as INVALID_HANDLE_VALUE, most other calls as
// null; neither is ever closed.
struct KernelHandleTraits {
  using Value = HANDLE;
  static Value Empty() { return nullptr; }
  static bool IsValid(Value h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static void Release(Value h) { CloseHandle(h); }
};

// FindFirstFile reports failure as INVALID_HANDLE_VALUE.
struct FindFileTraits {
  using Value = HANDLE;
  static Value Empty() { return INVALID_HANDLE_VALUE; }
  static bool IsValid(Value h) { return h != INVALID_HANDLE_VALUE && h != nullptr; }
  static void Release(Value h) { FindClose(h); }
};

using UniqueHandle = UniqueResource<KernelHandleTraits>;
using UniqueFindFile = UniqueResource<FindFileTraits>;
using UniqueGlobal = UniqueResource<NullableTraits<HGLOBAL, GlobalFree>>;
using UniqueGdiObject = UniqueResource<NullableTraits<HGDIOBJ, DeleteObject>>;
using UniqueFont = UniqueResource<NullableTraits<HFONT, DeleteObject>>;
using UniqueBitmap = UniqueResource<NullableTraits<HBITMAP, DeleteObject>>;
using UniqueMemoryDc = UniqueResource<NullableTraits<HDC, DeleteDC>>;
using UniqueWindow = UniqueResource<NullableTraits<HWND, DestroyWindow>>;
using UniqueLibrary = UniqueResource<NullableTraits<HMODULE, FreeLibrary>>;
using UniqueHook = UniqueResource<NullableTraits<HHOOK, UnhookWindowsHookEx>>;

// Keeps a movable block locked for one scope. get() is null when the lock
// failed; only a successful lock is undone.
class GlobalLockGuard {
 public:
  explicit GlobalLockGuard(HGLOBAL memory)
      : memory_(memory), pointer_(memory ? GlobalLock(memory) : nullptr) {}
  ~GlobalLockGuard() {
    if (pointer_ != nullptr) GlobalUnlock(memory_);
  }
  GlobalLockGuard(const GlobalLockGuard&) = delete;
  GlobalLockGuard& operator=(const GlobalLockGuard&) = delete;

  void* get() const { return pointer_; }
  char* text() const { return static_cast<char*>(pointer_); }

 private:
  HGLOBAL memory_;
  void* pointer_;
};
