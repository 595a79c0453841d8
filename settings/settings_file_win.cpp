#include "settings/settings_file_win.h"

#include <cstring>
#include <new>
#include <string>

#include "core/bounded_text.h"
#include "core/command_state_win.h"
#include "resources/resource_ids.h"

SettingsRecord Settings{kDefaultSettings, 0};
SettingsRecord SettingsAtStart{kDefaultSettings, 0};

char modulePath[kPathSize];
size_t moduleDirectoryLength = 0;

char SettingsPath[kSettingsPathSize];

char AttachmentPrefix[kAttachmentPrefixSize];
int AttachmentPrefixLength = 0;

int32_t WaitEudoraInit = kDefaultWaitEudoraInit;
char ProgEudora[kPathSize];

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
void QuoteEncryptForSetting() {
  if (Settings.EncryptFor == nullptr) {
    Settings.EncryptForLength = 0;
    return;
  }
  if (EncryptForNeedsQuotes(Settings.EncryptFor)) {
    const size_t size = static_cast<size_t>(EncryptForLength(Settings.EncryptFor)) + 1;
    char* quoted = new (std::nothrow) char[size];
    if (quoted != nullptr && QuoteEncryptFor(Settings.EncryptFor, quoted, size) != 0) {
      ReleaseSettingText(Settings.EncryptFor);
      Settings.EncryptFor = quoted;
    } else {
      delete[] quoted;
    }
  }
  Settings.EncryptForLength = static_cast<int32_t>(std::strlen(Settings.EncryptFor));
}

// The client words its attachment lines itself when it has the string;
// otherwise ours matches the client's usual wording.
void LoadAttachmentPrefix(HWND clientMainWindow) {
  auto client = reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(clientMainWindow, GWLP_HINSTANCE));
  int n = LoadStringA(client, kClientAttachmentPrefixId, AttachmentPrefix, kAttachmentPrefixSize);
  if (n <= 0) n = LoadModuleString(IDS_ATTACHMENT_PREFIX, AttachmentPrefix, kAttachmentPrefixSize);
  AttachmentPrefixLength = n > 0 ? n : 0;
  if (AttachmentPrefixLength == 0) AttachmentPrefix[0] = '\0';
}

void ReadAndList(const char* fileName) {
  AppendLine(MessageText, kMessageTextSize, fileName);
  ReadSettingsFile(fileName, Settings);
}

}  // namespace

bool TakeModulePath(HMODULE module) {
  const DWORD n = GetModuleFileNameA(module, modulePath, kPathSize);
  if (n == 0 || n >= static_cast<DWORD>(kPathSize)) {
    modulePath[0] = '\0';
    moduleDirectoryLength = 0;
    return false;
  }
  modulePath[n] = '\0';
  moduleDirectoryLength = ModuleDirectoryLength(modulePath);
  return true;
}

bool PlaceNextToModule(char (&path)[kPathSize], const char* fileName) {
  if (modulePath[0] == '\0') {
    path[0] = '\0';
    return false;
  }
  return PlaceInModuleDirectory(path, modulePath, moduleDirectoryLength, fileName);
}

size_t ComputeSettingsPath(const char* clientArguments) {
  return ComputeSettingsPath(SettingsPath, clientArguments, modulePath, moduleDirectoryLength);
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

void ReleaseSettingsTexts() {
  for (const TextSettingKey& key : kTextSettingKeys) ReleaseSettingText(Settings.*key.field);
  Settings.EncryptForLength = 0;
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

void LoadSettings(HWND clientMainWindow) {
  // A second attempt after a failed one starts again from the defaults; the
  // texts of the first attempt are released, not forgotten.
  ReleaseSettingsTexts();
  Settings = SettingsRecord{kDefaultSettings, 0};
  AttachmentPrefix[0] = '\0';
  AttachmentPrefixLength = 0;

  // The bare name makes the profile functions use the Windows directory.
  CopyBounded(MessageText, kMessageTextSize, kSettingsFileName);
  ReadSettingsFile(kSettingsFileName, Settings);
  char besideModule[kPathSize];
  if (PlaceNextToModule(besideModule, kSettingsFileName)) ReadAndList(besideModule);
  if (SettingsPath[0] != '\0') ReadAndList(SettingsPath);

  QuoteEncryptForSetting();
  if (Settings.ConvertAttach != 0) LoadAttachmentPrefix(clientMainWindow);

  if (GetAsyncKeyState(VK_CAPITAL) & 0x8000) {
    AppendSettingsListing(MessageText, kMessageTextSize, Settings);
    MessageBoxA(clientMainWindow, MessageText, kQuillnetCaption, MB_OK);
  }

  SettingsAtStart = Settings;
  for (const TextSettingKey& key : kTextSettingKeys) SettingsAtStart.*key.field = nullptr;
}

void SaveButtonPos() {
  if (Settings.ButtonPos == SettingsAtStart.ButtonPos || SettingsPath[0] == '\0') return;
  WriteIntSetting(kSectionSettings, "ButtonPos", Settings.ButtonPos, SettingsPath);
}

void WriteIntSetting(const char* section, const char* key, int32_t value, const char* fileName) {
  char digits[16];
  wsprintfA(digits, "%i", static_cast<int>(value));
  WritePrivateProfileStringA(section, key, digits, fileName);
}

void ReadLauncherSettings(const char* fileName, char (&program)[kPathSize]) {
  WaitEudoraInit = static_cast<int32_t>(
      GetPrivateProfileIntA(kSectionSettings, kWaitEudoraInitKey, WaitEudoraInit, fileName));
  // The default must not be the buffer being written: the profile function
  // may fill the output before it has finished reading the default.
  char current[kPathSize];
  CopyBounded(current, sizeof current, program);
  GetPrivateProfileStringA(kSectionSettings, kProgEudoraKey, current, program, kPathSize,
                           fileName);
}

void ReadLauncherSettingsFiles() {
  ProgEudora[0] = '\0';
  ReadLauncherSettings(kSettingsFileName, ProgEudora);
  char besideModule[kPathSize];
  if (PlaceNextToModule(besideModule, kSettingsFileName))
    ReadLauncherSettings(besideModule, ProgEudora);
  if (ProgEudora[0] == '\0') CopyBounded(ProgEudora, kPathSize, kDefaultClientProgram);
}

void WriteRaisedWaitEudoraInit() {
  char besideModule[kPathSize];
  if (!PlaceNextToModule(besideModule, kSettingsFileName)) return;
  WriteIntSetting(kSectionSettings, kWaitEudoraInitKey, RaiseWaitEudoraInit(WaitEudoraInit),
                  besideModule);
}
