// The text side of the two temporary files: their names, the question
// before leftovers are overwritten, the layout of the wipe and the wording of
// file errors. Pure; opening, writing and deleting the files is Win32 glue.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>

#include "core/command_state.h"

// The module's own error code for a file that exists but holds no usable
// data. It travels like a system error code, so it must not collide with one
// that FormatFileError words differently.
constexpr uint32_t ERROR_FILE_NO_DATA = 0xF002;
// The module's own error code for a temporary file name that is a link (a
// reparse point, or one of several names of a file): writing or wiping
// through it would change the file it leads to, so it is refused.
constexpr uint32_t ERROR_FILE_IS_LINK = 0xF003;
// The module's own error code for a name that opened something other than a
// file on a disk (a pipe, a console, a serial port): it is not read.
constexpr uint32_t ERROR_NOT_A_DISK_FILE = 0xF004;

// Fills a string-table template into out (outSize bytes, NUL included).
// Only "%s" (next text), "%u" and "%lu" (next number, unsigned decimal) and
// "%%" are understood; any other '%' is copied as it is, and a missing
// argument gives nothing. Templates come from our own string table, but the
// texts filled in (paths, user input) never act as a format. The result is
// cut to fit and always NUL-terminated; returns its length.
size_t FillTemplate(char* out, size_t outSize, const char* templateText,
                    std::initializer_list<const char*> texts,
                    std::initializer_list<uint32_t> numbers);
// The same, uncut: for a message that names what it names whole, however
// long (every recipient of a refused encryption).
std::string FillTemplate(const char* templateText, std::initializer_list<const char*> texts,
                         std::initializer_list<uint32_t> numbers);

// String id whose text words the error code: file or path not found, no
// memory, no data, a link; anything else is an unknown error with its number.
int FileErrorStringId(uint32_t code);

// The text of FormatFileError: the template of FileErrorStringId(code) as
// loaded from the string table, filled with the code and path (null counts
// as empty). Cut to the 256-character buffer however long the path is (the
// launcher passes a whole list of tried paths). The template may live in the
// buffer itself, so the caller can load the string straight into its
// destination. Returns the length.
size_t FormatFileErrorText(const char* templateText, uint32_t code, const char* path,
                           char (&buffer)[kMessageTextSize]);
// The same, uncut: the message of a command names the file whole.
std::string FormatFileErrorText(const char* templateText, uint32_t code, const char* path);

// The names of the two files. directory gets a backslash unless it already
// ends in one, then "quillnet" (baseName) and "quillnet.asc" (ascName).
// Returns false, with both names empty, when the directory is empty or a
// name would not fit its 127 characters: a cut name would point PGP at a
// file the module never wipes.
bool ComposeTempNames(const char* directory, char (&baseName)[kPathSize],
                      char (&ascName)[kPathSize]);

// The verdict file of one PGP run, beside the other two: the base name, a
// dash, `random` as 16 hexadecimal digits and ".vrd" (quillnet-<hex>.vrd).
// A new random value for every run makes a name nobody can prepare a file
// at. 21 characters longer than the base name, so it always fits MAX_PATH.
constexpr size_t kVerdictNameExtra = 21;
std::string VerdictFileName(const char* baseName, uint64_t random);

// The question before leftovers are overwritten: intro (the "will overwrite"
// line), then the armoured name when that file exists, then a line feed and
// the base name when that one exists. Never cut: the user is asked about
// every file by its whole name, whatever folder start-up accepted.
std::string ComposeOverwriteQuestion(const char* intro, bool ascExists, const char* ascName,
                                     bool baseExists, const char* baseName);

// GetEnvironmentVariableA into the 128-character area reports the value's
// length when it fits, or the size it needs when it does not. A value that
// does not fit counts as not set: a cut directory or pass phrase would be
// silently wrong. Returns the usable length, 0 for "not set".
constexpr uint32_t kEnvironmentValueSize = 128;
uint32_t UsableEnvironmentLength(uint32_t reported);

// Wiping overwrites a file with a fixed pattern (byte i has the value i):
// first the leading (size mod 256) bytes of the pattern, then whole patterns,
// so that exactly the file's size is written with few, equal writes.
constexpr size_t kWipePatternSize = 256;
const std::array<uint8_t, kWipePatternSize>& WipePattern();

struct WipePlan {
  uint32_t firstBytes;     // written first, from the start of the pattern
  uint32_t wholePatterns;  // then this many whole patterns
};
WipePlan PlanWipe(uint32_t fileSize);
