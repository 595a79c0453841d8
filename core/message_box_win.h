// The module's one way of showing a box. Outside a command the caption is
// "Quillnet"; a command passes its own (PgpCaption).
#pragma once

#include <windows.h>

#include <string>

#include "core/command_state.h"

inline int ShowMessageBox(HWND owner, const std::string& text, UINT type,
                          const char* caption = kQuillnetCaption) {
  return MessageBoxA(owner, text.c_str(), caption, type);
}
