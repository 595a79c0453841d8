// Reading and writing the settings file "QLNET.INI" through the platform's
// private-profile functions: the three copies read in turn inside the mail
// client, the two keys the launcher reads before it starts the client, and
// the two values ever written back. Nothing here shows anything: the listing
// of what was read goes back to the start-up, which decides.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "core/command_state.h"
#include "settings/settings_file.h"

// The values in force plus the length of EncryptFor after quoting. The three
// texts are heap copies owned by the record (see CopySettingText); a text that
// is not set is null, never empty.
struct SettingsRecord : SettingsValues {
  int32_t EncryptForLength;
};

// The file of the module (in the launcher's process: the module whose
// handle the launcher passes) and the length of its directory part.
struct ModulePath {
  char modulePath[kPathSize] = {};
  size_t moduleDirectoryLength = 0;
};

// The text that starts a converted-attachment line, at most 31 characters.
constexpr int kAttachmentPrefixSize = 32;

// What the module knows of its settings inside the client, from the
// initialisation until it leaves: the extension owns it.
struct ClientSettings {
  SettingsRecord Settings{kDefaultSettings, 0};
  // Taken at the end of LoadSettings, only to tell whether ButtonPos changed.
  // Its texts are always null: the copy shares no text with Settings, so
  // nothing can reach a released text through it.
  SettingsRecord SettingsAtStart{kDefaultSettings, 0};
  ModulePath module;
  char SettingsPath[kSettingsPathSize] = {};
  char AttachmentPrefix[kAttachmentPrefixSize] = {};
  int AttachmentPrefixLength = 0;
};

// What the launcher's side keeps between its calls within its process.
struct LauncherSettings {
  ModulePath module;
  int32_t WaitEudoraInit = kDefaultWaitEudoraInit;
  char ProgEudora[kPathSize] = {};
};

// Fills `module` from the module's file. A path that fills all 128
// characters may have been cut, so its directory could be a different one:
// it leaves both empty and returns false, and no file is then looked for
// next to the module.
bool TakeModulePath(ModulePath& module, HMODULE handle);

// `path` = the module's directory followed by `fileName`. False, with `path`
// empty, when there is no usable module path or the name would not fit.
bool PlaceNextToModule(const ModulePath& module, char (&path)[kPathSize], const char* fileName);

// SettingsPath from the client's arguments and the module path. Returns its length.
size_t ComputeSettingsPath(ClientSettings& settings, const char* clientArguments);

// Heap copy of a setting's text, null for a null or empty text or when the
// copy cannot be allocated (the setting then behaves as not set).
const char* CopySettingText(const char* text);
// Releases a text made by CopySettingText and leaves the field null.
void ReleaseSettingText(const char*& text);
// Releases the three texts of the record (when the module leaves the client).
void ReleaseSettingsTexts(SettingsRecord& settings);

// Reads the key with the current text as default, however long its value,
// releases the current text and returns the new one (null when empty).
const char* ReadStringSetting(const char* section, const char* key, const char* current,
                              const char* fileName);

// Reads the twelve keys of one copy; a key the copy lacks keeps its value.
void ReadSettingsFile(const char* fileName, SettingsRecord& settings);

// Fills Settings, AttachmentPrefix and SettingsAtStart from the three copies
// (Windows directory, module directory, SettingsPath). Returns the copies
// read, one a line, at most 255 characters: the start of the listing the
// start-up shows while Caps Lock is held down.
std::string LoadSettings(ClientSettings& settings, HWND clientMainWindow);

// Writes ButtonPos into SettingsPath when it differs from SettingsAtStart.
// Without a SettingsPath nothing is written: an empty file name would make
// the profile functions pick a file of their own.
void SaveButtonPos(const ClientSettings& settings);

// Writes `value` as signed decimal text. The outcome is ignored by callers.
void WriteIntSetting(const char* section, const char* key, int32_t value, const char* fileName);

// Reads "WaitEudoraInit" (default: the current WaitEudoraInit) and
// "ProgEudora" (default: the program buffer's content) from one copy.
void ReadLauncherSettings(LauncherSettings& launcher, const char* fileName,
                          char (&program)[kPathSize]);

// The launcher side before it starts the client: ProgEudora and
// WaitEudoraInit from the Windows-directory copy, then the module-directory
// copy; an empty program name becomes "EUDORA.EXE".
void ReadLauncherSettingsFiles(LauncherSettings& launcher);

// On Retry: writes the raised WaitEudoraInit to the module-directory copy.
// The value in memory stays; the new one takes effect at the next start.
void WriteRaisedWaitEudoraInit(const LauncherSettings& launcher);
