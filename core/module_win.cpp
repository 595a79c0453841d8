#include "core/module_win.h"

HINSTANCE moduleInstance = nullptr;

namespace {

// Longer than any text of the string table, so none is ever cut.
constexpr int kModuleStringSize = 1024;

}  // namespace

int LoadModuleString(UINT id, char* buffer, int size) {
  if (size <= 0) return 0;
  buffer[0] = '\0';
  int n = LoadStringA(moduleInstance, id, buffer, size);
  if (n <= 0) buffer[0] = '\0';
  return n > 0 ? n : 0;
}

std::string ModuleString(UINT id) {
  char text[kModuleStringSize];
  return std::string(text, static_cast<size_t>(LoadModuleString(id, text, sizeof text)));
}
