// The text side of the settings file "QLNET.INI": where its copies live,
// the values and their defaults, the listing shown while Caps Lock is held,
// and the bounded line appender the start-up uses for its lists of tried
// files. Pure; reading and writing the file is the Win32 glue's business.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/command_state.h"

constexpr char kSettingsFileName[] = "QLNET.INI";

// The three sections: "AlwaysSign" alone lives in "PGPflags", the PGP keys in
// "PGP settings" (with a blank), everything else in "Settings".
constexpr char kSectionSettings[] = "Settings";
constexpr char kSectionPgpFlags[] = "PGPflags";
constexpr char kSectionPgpSettings[] = "PGP settings";

// The two keys the launcher reads before it starts the mail client.
constexpr char kWaitEudoraInitKey[] = "WaitEudoraInit";
constexpr char kProgEudoraKey[] = "ProgEudora";
constexpr int32_t kDefaultWaitEudoraInit = 1000;
constexpr char kDefaultClientProgram[] = "EUDORA.EXE";

// SettingsPath: the third copy of the settings file, at most 127 characters.
constexpr int kSettingsPathSize = kPathSize;

// The values of the settings file, fields in record order (which is also the
// order of the listing). A text is null when it is not set, never empty.
// The Win32 Settings record keeps these plus the ownership of the texts.
struct SettingsValues {
  int32_t UseToolBar;
  int32_t AlwaysSign;
  int32_t AnsiOem;
  int32_t ConvertAttach;
  int32_t NickNames;
  int32_t CopyToReadOnly;
  int32_t ButtonPos;
  int32_t KeepPassword;
  int32_t KeepOpen;
  // Non-zero: the output of a check or a decode stands between two lines of
  // the module's own that say what PGP vouched for; 0: the plain splice.
  int32_t MarkResults;
  // Non-zero: a decoded MIME entity (the mail of today's programs) is shown
  // as a mail reader shows it, parts saved as attachments; 0: as PGP wrote it.
  int32_t ReadMime;
  const char* ProgPGP;
  const char* PGPtempdir;
  const char* EncryptFor;
};

// What is in force when no copy of the file sets a key.
constexpr SettingsValues kDefaultSettings{
    1, 0, 0, 0, 0, 1, 0, 0, -1, 1, 1, nullptr, nullptr, nullptr,
};

// One key of the file and the field it fills; the three section names are
// easy to mix up, so they travel with the key.
struct IntegerSettingKey {
  const char* section;
  const char* key;
  int32_t SettingsValues::*field;
};
struct TextSettingKey {
  const char* section;
  const char* key;
  const char* SettingsValues::*field;
};
constexpr int kIntegerSettingCount = 11;
constexpr int kTextSettingCount = 3;
// In record order.
extern const IntegerSettingKey kIntegerSettingKeys[kIntegerSettingCount];
extern const TextSettingKey kTextSettingKeys[kTextSettingCount];

// Appends a line feed and `line` to the text in `buffer` only when the whole
// still fits with its terminator (n + m + 1 < capacity). Returns the new
// length, or 0 when nothing was appended (also for a null line or a buffer
// that holds no terminator within `capacity`).
size_t AppendLine(char* buffer, size_t capacity, const char* line);

// Length of the directory part of a module path: up to and including the
// last backslash, 0 when there is none. Looks at most kPathSize characters,
// since the platform may fill the buffer without a terminator.
size_t ModuleDirectoryLength(const char* modulePath);

// `path` = the directory part of `modulePath` followed by `fileName`.
// `path` may be the module path's own buffer (the name then overwrites the
// module's file name). When the result would not fit 127 characters `path`
// becomes empty and false is returned, so no cut-off name is ever opened.
bool PlaceInModuleDirectory(char (&path)[kPathSize], const char* modulePath, size_t directoryLength,
                            const char* fileName);

// SettingsPath from the client's arguments: the first argument is taken as
// a directory, unless a later argument holds a path, whose directory wins;
// no arguments mean the module's directory. "QLNET.INI" is put after it.
// Double quotes are dropped from the directory: they only group words on a
// command line and can never be part of a file name. An empty directory,
// or a result longer than 127 characters, leaves SettingsPath empty (no
// third file) rather than naming a file that was never meant.
// Returns the length of SettingsPath.
size_t ComputeSettingsPath(char (&settingsPath)[kSettingsPathSize], const char* clientArguments,
                           const char* modulePath, size_t moduleDirectoryLength);

// A recipient with a blank must reach PGP as one argument, so it is wrapped
// in double quotes. EncryptForLength is the length after that wrapping (0
// for none).
bool EncryptForNeedsQuotes(const char* encryptFor);
int32_t EncryptForLength(const char* encryptFor);
// Writes the (possibly wrapped) text into `out` when EncryptForLength + 1
// bytes fit in `outSize`; returns the length written, else 0 and `out` is
// left alone. The caller sizes `out` from EncryptForLength.
size_t QuoteEncryptFor(const char* encryptFor, char* out, size_t outSize);

// The listing after the list of files read: "---", every integer as
// "%s = %u" (so -1 shows as 4294967295; a line that does not fit is skipped
// and the next still tried), then every set text as "%s = %s" until one does
// not fit, where ">>" marks the cut (if even that fits).
void AppendSettingsListing(char* buffer, size_t capacity, const SettingsValues& values);

// The value written back when the user asks to retry finding the mail
// client: v + v/2 rounded toward minus infinity (1000 -> 1500, 1001 -> 1501,
// 3 -> 4). A negative v grows more negative the same way (-3 -> -5), and
// the result saturates at the 32-bit limits instead of wrapping.
int32_t RaiseWaitEudoraInit(int32_t waitEudoraInit);

// Milliseconds to pause for a WaitEudoraInit value. A negative value means
// no pause: handed to the platform's sleep as it is, -1 would wait forever.
uint32_t WaitEudoraInitPause(int32_t waitEudoraInit);
