// The clipboard as text. Another program may hold the clipboard open for a
// moment, so opening it is retried until the timeout.
#include <cstring>

#include "testbed/uidrive/uidrive.h"

namespace uidrive {
namespace {

// Open for as long as the holder lives.
class OpenClipboardScope {
 public:
  OpenClipboardScope(HWND owner, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    while (!(open_ = OpenClipboard(owner) != FALSE)) {
      if (GetTickCount() - start >= timeoutMs)
        throw Failure("the clipboard stayed in use for " + std::to_string(timeoutMs) + " ms");
      Sleep(20);
    }
  }
  ~OpenClipboardScope() {
    if (open_) CloseClipboard();
  }
  OpenClipboardScope(const OpenClipboardScope&) = delete;
  OpenClipboardScope& operator=(const OpenClipboardScope&) = delete;

 private:
  bool open_ = false;
};

class GlobalLockScope {
 public:
  explicit GlobalLockScope(HGLOBAL memory) : memory_(memory), data_(GlobalLock(memory)) {}
  ~GlobalLockScope() {
    if (data_) GlobalUnlock(memory_);
  }
  GlobalLockScope(const GlobalLockScope&) = delete;
  GlobalLockScope& operator=(const GlobalLockScope&) = delete;
  char* data() const { return static_cast<char*>(data_); }

 private:
  HGLOBAL memory_;
  void* data_;
};

}  // namespace

std::optional<std::string> ClipboardText(DWORD timeoutMs) {
  OpenClipboardScope open(nullptr, timeoutMs);
  HANDLE data = GetClipboardData(CF_TEXT);
  if (!data) return std::nullopt;
  GlobalLockScope lock(data);
  if (!lock.data()) return std::nullopt;
  // The block may be larger than the text; the text ends at its NUL.
  size_t size = GlobalSize(data);
  return std::string(lock.data(), strnlen(lock.data(), size));
}

void SetClipboardText(const std::string& text, DWORD timeoutMs) {
  // With no owner window, EmptyClipboard leaves an owner of none and
  // SetClipboardData refuses; a window of our own owns the data.
  UniqueWindow owner(CreateWindowExA(0, "Static", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                     GetModuleHandleA(nullptr), nullptr));
  UniqueGlobal block(GlobalAlloc(GMEM_MOVEABLE, text.size() + 1));
  if (!owner || !block) throw Failure("no memory for the clipboard text");
  {
    GlobalLockScope lock(block.get());
    if (!lock.data()) throw Failure("cannot lock the clipboard text");
    memcpy(lock.data(), text.c_str(), text.size() + 1);
  }
  OpenClipboardScope open(owner.get(), timeoutMs);
  if (!EmptyClipboard()) throw Failure("cannot empty the clipboard");
  if (!SetClipboardData(CF_TEXT, block.get())) throw Failure("the clipboard refused the text");
  block.release();  // the clipboard owns it now
}

}  // namespace uidrive
