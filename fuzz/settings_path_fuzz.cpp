// The launcher's command line and the module path come from outside; the
// path of the third settings file is derived from them into a fixed field.
// Input: the command line, a NUL byte, then the module path (the platform
// may hand over a full 128-byte buffer without a terminator).
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string_view>

#include "settings/settings_file.h"
#include "startup/launcher_entry.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

void CheckSettingsPath(const char (&settingsPath)[kSettingsPathSize], size_t length) {
  const void* terminator = std::memchr(settingsPath, '\0', sizeof settingsPath);
  Check(terminator != nullptr);
  Check(std::strlen(settingsPath) == length);
  if (length == 0) return;
  std::string_view path(settingsPath, length);
  std::string_view name = kSettingsFileName;
  Check(path.size() > name.size() && path.substr(path.size() - name.size()) == name);
  Check(path[path.size() - name.size() - 1] == '\\');
  Check(path.find('"') == std::string_view::npos);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const char* bytes = reinterpret_cast<const char*>(data);
  const void* split = std::memchr(bytes, '\0', size);
  const size_t lineLength = split ? static_cast<const char*>(split) - bytes : size;

  // Exactly as long as the text, so a read past its end is caught.
  auto commandLine = std::make_unique<char[]>(lineLength + 1);
  std::memcpy(commandLine.get(), bytes, lineLength);
  commandLine[lineLength] = '\0';

  char modulePath[kPathSize];
  std::memset(modulePath, 0, sizeof modulePath);
  if (split != nullptr) {
    size_t pathLength = size - lineLength - 1;
    if (pathLength > sizeof modulePath) pathLength = sizeof modulePath;
    std::memcpy(modulePath, bytes + lineLength + 1, pathLength);
  }
  modulePath[sizeof modulePath - 1] = '\0';  // the module's own path buffer always ends
  const size_t modulePathLength = strnlen(modulePath, sizeof modulePath);
  const size_t directoryLength = ModuleDirectoryLength(modulePath);
  Check(directoryLength <= modulePathLength);

  const char* found = FindClientArguments(commandLine.get(), modulePath);
  Check(found >= commandLine.get() && found <= commandLine.get() + lineLength);
  Check(*found != ' ');

  char clientArguments[kClientArgumentsSize];
  const size_t argumentsLength = TakeClientArguments(clientArguments, commandLine.get(), modulePath);
  Check(argumentsLength < sizeof clientArguments && std::strlen(clientArguments) == argumentsLength);

  char settingsPath[kSettingsPathSize];
  CheckSettingsPath(settingsPath, ComputeSettingsPath(settingsPath, clientArguments, modulePath,
                                                      directoryLength));
  // Callers other than the launcher may hand over arguments of any length.
  CheckSettingsPath(settingsPath, ComputeSettingsPath(settingsPath, commandLine.get(), modulePath,
                                                      directoryLength));

  // Without arguments the third file is the module directory's own copy.
  if (directoryLength > 0 && std::memchr(modulePath, '"', directoryLength) == nullptr &&
      directoryLength + std::strlen(kSettingsFileName) < kSettingsPathSize) {
    char expected[kPathSize];
    Check(PlaceInModuleDirectory(expected, modulePath, directoryLength, kSettingsFileName));
    char again[kSettingsPathSize];
    ComputeSettingsPath(again, "", modulePath, directoryLength);
    Check(std::strcmp(again, expected) == 0);
  }

  char programPath[kPathSize + 1];
  std::memcpy(programPath, modulePath, modulePathLength);
  programPath[modulePathLength] = '\0';
  char clientCommandLine[kClientCommandLineSize];
  const size_t commandLength = BuildClientCommandLine(clientCommandLine, programPath, clientArguments);
  Check(commandLength < sizeof clientCommandLine && std::strlen(clientCommandLine) == commandLength);
  return 0;
}
