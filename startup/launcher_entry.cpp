#include "startup/launcher_entry.h"

#include <cstring>

#include "core/text_chars.h"

namespace {

// Copies as much of `text` as still fits, always leaving room for the
// terminator; the caller terminates once at the end.
size_t PutCut(char* out, size_t capacity, size_t at, const char* text) {
  while (*text != '\0' && at + 1 < capacity) out[at++] = *text++;
  return at;
}

}  // namespace

namespace {

bool IsWordEnd(char c) { return c == '\0' || c == ' ' || c == '\t'; }

// The length of `path` when `text` begins with it (letters in either case)
// as a whole word, else 0.
size_t LeadingPathLength(const char* text, const char* path) {
  if (path == nullptr || path[0] == '\0') return 0;
  size_t i = 0;
  for (; path[i] != '\0'; ++i)
    if (text[i] == '\0' || UpperAscii(text[i]) != UpperAscii(path[i])) return 0;
  return IsWordEnd(text[i]) ? i : 0;
}

}  // namespace

const char* FindClientArguments(const char* commandLine, const char* launcherPath) {
  if (commandLine == nullptr) return "";
  const char* start;
  if (commandLine[0] == '"') {
    const char* closing = std::strchr(commandLine + 1, '"');
    start = closing != nullptr ? closing + 1 : commandLine + 1;
  } else if (size_t length = LeadingPathLength(commandLine, launcherPath); length > 0) {
    start = commandLine + length;
  } else {
    start = commandLine;
    while (!IsWordEnd(*start)) ++start;
  }
  while (*start == ' ') ++start;
  return start;
}

size_t TakeClientArguments(char (&clientArguments)[kClientArgumentsSize], const char* commandLine,
                           const char* launcherPath) {
  size_t n = PutCut(clientArguments, kClientArgumentsSize, 0,
                    FindClientArguments(commandLine, launcherPath));
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
