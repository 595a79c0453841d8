// One owner for each kernel handle and memory block, so that every way out of
// a function releases it exactly once. Deliberately tiny: a handle holder,
// a global-memory holder and a lock guard are all the module needs.
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
  void reset(Value value = Traits::Empty()) {
    Value old = std::exchange(value_, value);
    if (Traits::IsValid(old)) Traits::Release(old);
  }

 private:
  Value value_ = Traits::Empty();
};

// CreateFileA reports failure as INVALID_HANDLE_VALUE, most other calls as
// null; neither is ever closed.
struct KernelHandleTraits {
  using Value = HANDLE;
  static Value Empty() { return nullptr; }
  static bool IsValid(Value h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static void Release(Value h) { CloseHandle(h); }
};
using UniqueHandle = UniqueResource<KernelHandleTraits>;

struct GlobalMemoryTraits {
  using Value = HGLOBAL;
  static Value Empty() { return nullptr; }
  static bool IsValid(Value h) { return h != nullptr; }
  static void Release(Value h) { GlobalFree(h); }
};
using UniqueGlobal = UniqueResource<GlobalMemoryTraits>;

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
