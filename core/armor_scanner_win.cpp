#include "core/armor_scanner_win.h"

#include "common/handles_win.h"
#include "core/armor_scanner.h"

bool FindPublicKeyBlock(HGLOBAL text, char* output, size_t limit) {
  GlobalLockGuard locked(text);
  if (locked.get() == nullptr) {
    output[0] = '\0';
    return false;
  }
  // The block may be larger than asked for; the text ends at its NUL, which
  // every reader of the module puts after the text.
  return FindPublicKeyText(locked.text(), output, limit);
}
