// Reads what the clipboard holds in one format, for tests that check what
// delivery put there (or left alone).
#pragma once

#include <windows.h>

#include <string>

// The text in `format`, or `absent` when the clipboard has none in it.
inline std::string ClipboardData(UINT format, const char* absent = "<none>") {
  if (!OpenClipboard(nullptr)) return "<clipboard not open>";
  std::string text = absent;
  if (HANDLE data = GetClipboardData(format)) {
    if (const char* p = static_cast<const char*>(GlobalLock(data))) {
      text = p;
      GlobalUnlock(data);
    }
  }
  CloseClipboard();
  return text;
}
