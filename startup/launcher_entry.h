// The text work of the launcher entry: where the launcher's own arguments
// start in its command line, and the command line the mail client is started
// with. Pure, so that the Win32 entry point only gathers its inputs and the
// bounds are proven natively.
#pragma once

#include <cstddef>

#include "core/command_state.h"


// Size of the buffer the client's command line is built in.
constexpr int kClientCommandLineSize = 256;

// Start of the arguments inside `commandLine` (a pointer into it, or to its
// terminator). A quoted program name ends at the next double quote (or, with
// none, the arguments start at the second character). An unquoted command
// line that begins with `launcherPath` (compared without regard to case, and
// followed by a blank, a tab or the end) skips that path; any other unquoted
// command line skips its first word, up to the first blank or tab, since the
// launcher may have been started under a shorter name than its file path
// ("quillnet D:\Mail" from a console or a shortcut). Leading blanks are
// skipped. A null command line gives "".
const char* FindClientArguments(const char* commandLine, const char* launcherPath);

// FindClientArguments, copied into `clientArguments` and cut to 255
// characters. Returns the length copied.
size_t TakeClientArguments(char (&clientArguments)[kClientArgumentsSize], const char* commandLine,
                           const char* launcherPath);

// The client's command line: the program path (in double quotes when it
// holds a blank, so the client does not split it) followed by a blank and the
// arguments; no trailing blank when there are none. Cut to 255 characters.
// Returns the length written.
size_t BuildClientCommandLine(char (&commandLine)[kClientCommandLineSize], const char* programPath,
                              const char* clientArguments);
