#include "startup/launcher_entry.h"

#include <cstring>

namespace {

// Copies as much of `text` as still fits, always leaving room for the
// terminator; the caller terminates once at the end.
size_t PutCut(char* out, size_t capacity, size_t at, const char* text) {
  while (*text != '\0' && at + 1 < capacity) out[at++] = *text++;
  return at;
}

}  // namespace

const char* FindClientArguments(const char* commandLine, size_t modulePathLength) {
  if (commandLine == nullptr) return "";
  const char* start;
  if (commandLine[0] == '"') {
    const char* closing = std::strchr(commandLine + 1, '"');
    start = closing != nullptr ? closing + 1 : commandLine + 1;
  } else {
    // strnlen never looks past the terminator, so a short command line is
    // measured without reading beyond it.
    size_t length = strnlen(commandLine, modulePathLength);
    start = commandLine + length;
  }
  while (*start == ' ') ++start;
  return start;
}

size_t TakeClientArguments(char (&clientArguments)[kClientArgumentsSize], const char* commandLine,
                           size_t modulePathLength) {
  size_t n = PutCut(clientArguments, kClientArgumentsSize, 0,
                    FindClientArguments(commandLine, modulePathLength));
  clientArguments[n] = '\0';
  return n;
}

size_t BuildClientCommandLine(char (&commandLine)[kClientCommandLineSize], const char* programPath,
                              const char* clientArguments) {
  if (programPath == nullptr) programPath = "";
  const bool quoted = std::strchr(programPath, ' ') != nullptr;
  size_t n = 0;
  if (quoted) n = PutCut(commandLine, kClientCommandLineSize, n, "\"");
  n = PutCut(commandLine, kClientCommandLineSize, n, programPath);
  if (quoted) n = PutCut(commandLine, kClientCommandLineSize, n, "\"");
  if (clientArguments != nullptr && clientArguments[0] != '\0') {
    n = PutCut(commandLine, kClientCommandLineSize, n, " ");
    n = PutCut(commandLine, kClientCommandLineSize, n, clientArguments);
  }
  commandLine[n] = '\0';
  return n;
}
