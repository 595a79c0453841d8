#include "settings/settings_file_win.h"

#include <cstring>
#include <new>
#include <string>

#include "core/bounded_text.h"
#include "core/module_win.h"
#include "resources/resource_ids.h"

namespace {

// The mail client's own wording of a converted-attachment line lives in its
// string table under this id.
constexpr UINT kClientAttachmentPrefixId = 1410;
constexpr size_t kTextSettingSize = 256;
// A longer value could never reach PGP's command line anyway.
constexpr size_t kTextSettingMax = kCommandLineMax;

// A recipient with a blank reaches PGP as one argument only when quoted.
// When the quoted copy cannot be made the unquoted text stays, and the
// length is always that of the text actually held.
void QuoteEncryptForSetting(SettingsRecord& settings) {
  if (settings.EncryptFor == nullptr) {
    settings.EncryptForLength = 0;
    return;
  }
  if (EncryptForNeedsQuotes(settings.EncryptFor)) {
    const size_t size = static_cast<size_t>(EncryptForLength(settings.EncryptFor)) + 1;
    char* quoted = new (std::nothrow) char[size];
    if (quoted != nullptr && QuoteEncryptFor(settings.EncryptFor, quoted, size) != 0) {
      ReleaseSettingText(settings.EncryptFor);
      settings.EncryptFor = quoted;
    } else {
      delete[] quoted;
    }
  }
  settings.EncryptForLength = static_cast<int32_t>(std::strlen(settings.EncryptFor));
}

// The client words its attachment lines itself when it has the string;
// otherwise ours matches the client's usual wording.
void LoadAttachmentPrefix(ClientSettings& settings, HWND clientMainWindow) {
  char (&prefix)[kAttachmentPrefixSize] = settings.AttachmentPrefix;
  auto client = reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(clientMainWindow, GWLP_HINSTANCE));
  int n = LoadStringA(client, kClientAttachmentPrefixId, prefix, kAttachmentPrefixSize);
  if (n <= 0) n = LoadModuleString(IDS_ATTACHMENT_PREFIX, prefix, kAttachmentPrefixSize);
  settings.AttachmentPrefixLength = n > 0 ? n : 0;
  if (settings.AttachmentPrefixLength == 0) prefix[0] = '\0';
}

void ReadAndList(const char* fileName, SettingsRecord& settings, char (&listing)[kMessageTextSize]) {
  AppendLine(listing, kMessageTextSize, fileName);
  ReadSettingsFile(fileName, settings);
}

}  // namespace

bool TakeModulePath(ModulePath& module, HMODULE handle) {
  const DWORD n = GetModuleFileNameA(handle, module.modulePath, kPathSize);
  if (n == 0 || n >= static_cast<DWORD>(kPathSize)) {
    module.modulePath[0] = '\0';
    module.moduleDirectoryLength = 0;
    return false;
  }
  module.modulePath[n] = '\0';
  module.moduleDirectoryLength = ModuleDirectoryLength(module.modulePath);
  return true;
}

bool PlaceNextToModule(const ModulePath& module, char (&path)[kPathSize], const char* fileName) {
  if (module.modulePath[0] == '\0') {
    path[0] = '\0';
    return false;
  }
  return PlaceInModuleDirectory(path, module.modulePath, module.moduleDirectoryLength, fileName);
}

size_t ComputeSettingsPath(ClientSettings& settings, const char* clientArguments) {
  return ComputeSettingsPath(settings.SettingsPath, clientArguments, settings.module.modulePath,
                             settings.module.moduleDirectoryLength);
}

const char* CopySettingText(const char* text) {
  const size_t n = text == nullptr ? 0 : std::strlen(text);
  if (n == 0) return nullptr;
  char* copy = new (std::nothrow) char[n + 1];
  if (copy != nullptr) std::memcpy(copy, text, n + 1);
  return copy;
}

void ReleaseSettingText(const char*& text) {
  delete[] text;
  text = nullptr;
}

void ReleaseSettingsTexts(SettingsRecord& settings) {
  for (const TextSettingKey& key : kTextSettingKeys) ReleaseSettingText(settings.*key.field);
  settings.EncryptForLength = 0;
}

// A text is read whole, however long: a cut EncryptFor would drop a
// recipient, or cut one in half, without a word, and a cut path would name
// another file or folder. What is too long for its use is refused there.
const char* ReadStringSetting(const char* section, const char* key, const char* current,
                              const char* fileName) {
  std::string buffer(kTextSettingSize, '\0');
  for (;;) {
    const DWORD n = GetPrivateProfileStringA(section, key, current != nullptr ? current : "",
                                             buffer.data(), static_cast<DWORD>(buffer.size()),
                                             fileName);
    // A value that filled the buffer may have been cut: read it again, larger.
    if (n + 1 < buffer.size() || buffer.size() > kTextSettingMax) {
      buffer.resize(n < buffer.size() ? n : 0);
      break;
    }
    buffer.resize(buffer.size() * 2);
  }
  ReleaseSettingText(current);
  return CopySettingText(buffer.c_str());
}

void ReadSettingsFile(const char* fileName, SettingsRecord& settings) {
  for (const IntegerSettingKey& key : kIntegerSettingKeys) {
    int32_t& field = settings.*key.field;
    field = static_cast<int32_t>(GetPrivateProfileIntA(key.section, key.key, field, fileName));
  }
  for (const TextSettingKey& key : kTextSettingKeys) {
    const char*& field = settings.*key.field;
    field = ReadStringSetting(key.section, key.key, field, fileName);
  }
}

std::string LoadSettings(ClientSettings& settings, HWND clientMainWindow) {
  // A second attempt after a failed one starts again from the defaults; the
  // texts of the first attempt are released, not forgotten.
  SettingsRecord& values = settings.Settings;
  ReleaseSettingsTexts(values);
  values = SettingsRecord{kDefaultSettings, 0};
  settings.AttachmentPrefix[0] = '\0';
  settings.AttachmentPrefixLength = 0;

  // The bare name makes the profile functions use the Windows directory.
  char listing[kMessageTextSize];
  CopyBounded(listing, kMessageTextSize, kSettingsFileName);
  ReadSettingsFile(kSettingsFileName, values);
  char besideModule[kPathSize];
  if (PlaceNextToModule(settings.module, besideModule, kSettingsFileName))
    ReadAndList(besideModule, values, listing);
  if (settings.SettingsPath[0] != '\0') ReadAndList(settings.SettingsPath, values, listing);

  QuoteEncryptForSetting(values);
  if (values.ConvertAttach != 0) LoadAttachmentPrefix(settings, clientMainWindow);

  settings.SettingsAtStart = values;
  for (const TextSettingKey& key : kTextSettingKeys) settings.SettingsAtStart.*key.field = nullptr;
  return listing;
}

void SaveButtonPos(const ClientSettings& settings) {
  if (settings.Settings.ButtonPos == settings.SettingsAtStart.ButtonPos ||
      settings.SettingsPath[0] == '\0')
    return;
  WriteIntSetting(kSectionSettings, "ButtonPos", settings.Settings.ButtonPos, settings.SettingsPath);
}

void WriteIntSetting(const char* section, const char* key, int32_t value, const char* fileName) {
  char digits[16];
  wsprintfA(digits, "%i", static_cast<int>(value));
  WritePrivateProfileStringA(section, key, digits, fileName);
}

void ReadLauncherSettings(LauncherSettings& launcher, const char* fileName,
                          char (&program)[kPathSize]) {
  launcher.WaitEudoraInit = static_cast<int32_t>(GetPrivateProfileIntA(
      kSectionSettings, kWaitEudoraInitKey, launcher.WaitEudoraInit, fileName));
  // The default must not be the buffer being written: the profile function
  // may fill the output before it has finished reading the default.
  char current[kPathSize];
  CopyBounded(current, sizeof current, program);
  GetPrivateProfileStringA(kSectionSettings, kProgEudoraKey, current, program, kPathSize,
                           fileName);
}

void ReadLauncherSettingsFiles(LauncherSettings& launcher) {
  launcher.ProgEudora[0] = '\0';
  ReadLauncherSettings(launcher, kSettingsFileName, launcher.ProgEudora);
  char besideModule[kPathSize];
  if (PlaceNextToModule(launcher.module, besideModule, kSettingsFileName))
    ReadLauncherSettings(launcher, besideModule, launcher.ProgEudora);
  if (launcher.ProgEudora[0] == '\0')
    CopyBounded(launcher.ProgEudora, kPathSize, kDefaultClientProgram);
}

void WriteRaisedWaitEudoraInit(const LauncherSettings& launcher) {
  char besideModule[kPathSize];
  if (!PlaceNextToModule(launcher.module, besideModule, kSettingsFileName)) return;
  WriteIntSetting(kSectionSettings, kWaitEudoraInitKey, RaiseWaitEudoraInit(launcher.WaitEudoraInit),
                  besideModule);
}
