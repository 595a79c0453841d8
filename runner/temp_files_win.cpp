#define _CRT_RAND_S  // rand_s: the system's generator of random numbers
#include "runner/temp_files_win.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "common/handles_win.h"
#include "core/bounded_text.h"
#include "core/module_win.h"
#include "resources/resource_ids.h"
#include "settings/settings_file.h"
#include "settings/settings_file_win.h"

static_assert(kPathSize - 1 + kVerdictNameExtra < MAX_PATH,
              "a verdict name beside any accepted base name can be opened");

namespace {

// PGPtempdir holds up to 255 characters, so the directory can too.
constexpr int kDirectorySize = 256;
// Whole wipe patterns written at once.
constexpr uint32_t kPatternsPerWrite = 256;

// Some failures leave no code behind; a caller must never mistake one for
// success (0) or word it as something else.
DWORD LastErrorOr(DWORD fallback) {
  const DWORD error = GetLastError();
  return error != ERROR_SUCCESS ? error : fallback;
}

// 64 bits from the system's generator of random numbers for secrets.
bool RandomValue(uint64_t& value) {
  unsigned int high = 0;
  unsigned int low = 0;
  if (rand_s(&high) != 0 || rand_s(&low) != 0) return false;
  value = static_cast<uint64_t>(high) << 32 | low;
  return true;
}

// The setting wins once per process: a later preparation in the same
// process goes back to the environment. False when nothing names a folder:
// the root of drive C:, where other users and programs may place files of
// these names, is no place for a decoded message.
bool ChooseTempDirectory(SettingsRecord& settings, char (&directory)[kDirectorySize]) {
  if (settings.PGPtempdir != nullptr) {
    CopyBounded(directory, sizeof directory, settings.PGPtempdir);
    ReleaseSettingText(settings.PGPtempdir);
    return true;
  }
  char value[kEnvironmentValueSize];
  if (ReadEnvironmentValue("TEMP", value) == 0 && ReadEnvironmentValue("TMP", value) == 0)
    return false;
  CopyBounded(directory, sizeof directory, value);
  return true;
}

bool IsDirectory(const char* directory) {
  const DWORD attributes = GetFileAttributesA(directory);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// PGP gets the file names unquoted, so a blank would split its argument.
// The short form of such a directory usually has none; if it still has
// one, or there is none, the directory cannot be used.
bool UsableWithoutBlanks(const char* directory, char (&usable)[kDirectorySize]) {
  if (std::strchr(directory, ' ') == nullptr) {
    CopyBounded(usable, sizeof usable, directory);
    return true;
  }
  const DWORD n = GetShortPathNameA(directory, usable, sizeof usable);
  if (n == 0 || n >= sizeof usable) return false;
  return std::strchr(usable, ' ') == nullptr;
}

// Every reason not to use a directory is worded alike, naming it, so the
// user knows which of TEMP, TMP or PgpTempDir to change.
std::string RefuseDirectory(PgpSetup& setup, const char* directory) {
  ForgetTempNames(setup);
  char message[kMessageTextSize];
  LoadModuleString(IDS_NO_TEMP_DIR, message, kMessageTextSize);
  AppendLine(message, kMessageTextSize, directory);
  return message;
}

// A directory whose file names would not fit is not missing: the message
// says what is wrong with it.
std::string RefuseLongDirectory(PgpSetup& setup, const char* directory) {
  ForgetTempNames(setup);
  char pattern[kMessageTextSize];
  LoadModuleString(IDS_TEMP_PATH_TOO_LONG, pattern, sizeof pattern);
  char message[kMessageTextSize];
  FillTemplate(message, kMessageTextSize, pattern, {directory}, {});
  return message;
}

bool WriteExactly(HANDLE file, const void* data, DWORD length) {
  DWORD written = 0;
  if (!WriteFile(file, data, length, &written, nullptr)) return false;
  if (written == length) return true;
  // A short write leaves no error code; a full disk is the usual reason.
  SetLastError(ERROR_DISK_FULL);
  return false;
}

// What a name found on the disk is: nothing, a file of its own, a link (a
// reparse point such as a symbolic link, or one of several names of one
// file) that writing or wiping would follow to another file, or a name that
// cannot be used at all (access denied, a delete pending, a folder), with
// the system's own error for it.
enum class NameKind { Missing, PlainFile, Link, Unusable };

struct NameState {
  NameKind kind;
  DWORD error;  // for Unusable
};

NameState KindOfName(const char* path) {
  // Opened as itself: a reparse point is not followed to its target.
  UniqueHandle file(CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING,
                                FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!file) {
    const DWORD error = LastErrorOr(ERROR_ACCESS_DENIED);
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
      return {NameKind::Missing, 0};
    return {NameKind::Unusable, error};
  }
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(file.get(), &info))
    return {NameKind::Unusable, LastErrorOr(ERROR_ACCESS_DENIED)};
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 || info.nNumberOfLinks > 1)
    return {NameKind::Link, 0};
  // A folder cannot be written as a file: the system's word for that.
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
    return {NameKind::Unusable, ERROR_ACCESS_DENIED};
  return {NameKind::PlainFile, 0};
}

}  // namespace

bool FileExists(const char* path) {
  OFSTRUCT info{};
  return path[0] != '\0' && OpenFile(path, &info, OF_EXIST) > 0;
}

void ForgetTempNames(PgpSetup& setup) { setup.TempBaseName[0] = setup.TempAscName[0] = '\0'; }

Failure ChooseTempFiles(PgpSetup& setup, SettingsRecord& settings) {
  ForgetTempNames(setup);
  char directory[kDirectorySize];
  if (!ChooseTempDirectory(settings, directory)) return ModuleString(IDS_NO_TEMP_SETTING);
  char usable[kDirectorySize];
  if (!IsDirectory(directory) || !UsableWithoutBlanks(directory, usable))
    return RefuseDirectory(setup, directory);
  if (!ComposeTempNames(usable, setup.TempBaseName, setup.TempAscName))
    return RefuseLongDirectory(setup, directory);
  return std::nullopt;
}

Leftovers FindLeftovers(const PgpSetup& setup) {
  return {FileExists(setup.TempAscName), FileExists(setup.TempBaseName)};
}

std::string LeftoversQuestion(const PgpSetup& setup, Leftovers leftovers) {
  char intro[kMessageTextSize];
  LoadModuleString(IDS_OVERWRITE_FILES, intro, sizeof intro);
  return ComposeOverwriteQuestion(intro, leftovers.asc, setup.TempAscName, leftovers.base,
                                  setup.TempBaseName);
}

void WipeLeftovers(const PgpSetup& setup, Leftovers leftovers) {
  if (leftovers.asc) WipeFile(setup.TempAscName);
  if (leftovers.base) WipeFile(setup.TempBaseName);
}

uint32_t ReadEnvironmentValue(const char* name, char (&buffer)[kEnvironmentValueSize]) {
  char area[kEnvironmentValueSize];
  const uint32_t n = UsableEnvironmentLength(GetEnvironmentVariableA(name, area, sizeof area));
  if (n == 0) {
    buffer[0] = '\0';
    return 0;
  }
  std::memcpy(buffer, area, n);
  buffer[n] = '\0';
  return n;
}

bool WriteTextFile(const char* text, DWORD length, const char* path, bool convert) {
  if (text == nullptr && length != 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  // The file is made afresh for every run: a stale one is wiped and deleted
  // first, and a name that leads elsewhere is refused, never written through.
  const NameState name = KindOfName(path);
  switch (name.kind) {
    case NameKind::Link:
      SetLastError(ERROR_FILE_IS_LINK);
      return false;
    case NameKind::Unusable:
      SetLastError(name.error);
      return false;
    case NameKind::PlainFile:
      WipeFile(path);
      break;
    case NameKind::Missing:
      break;
  }
  UniqueHandle file(
      CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;

  const char* data = text;
  std::unique_ptr<char[]> converted;
  if (convert && length != 0 && length != MAXDWORD) {
    // Without memory for the copy the text still goes out, unconverted.
    converted.reset(new (std::nothrow) char[static_cast<size_t>(length) + 1]);
    if (converted) {
      CharToOemBuffA(text, converted.get(), length);
      data = converted.get();
    }
  }
  const bool written = WriteExactly(file.get(), data, length);
  const DWORD error = GetLastError();
  file.reset();
  SetLastError(error);
  return written;
}

DWORD ReadTextFile(HGLOBAL* text, const char* path, DWORD* length, bool convert) {
  *text = nullptr;
  UniqueHandle file(
      CreateFileA(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return LastErrorOr(ERROR_FILE_NOT_FOUND);
  if (GetFileType(file.get()) != FILE_TYPE_DISK) return ERROR_NOT_A_DISK_FILE;

  // 0xFFFFFFFF is the failure value even when no code is set; it also keeps
  // size + 1 from wrapping to an empty block.
  const DWORD size = SetFilePointer(file.get(), 0, nullptr, FILE_END);
  if (size == INVALID_SET_FILE_POINTER) return LastErrorOr(ERROR_FILE_TOO_LARGE);
  UniqueGlobal memory(GlobalAlloc(GMEM_MOVEABLE, static_cast<SIZE_T>(size) + 1));
  if (!memory) return LastErrorOr(ERROR_NOT_ENOUGH_MEMORY);
  {
    GlobalLockGuard lock(memory.get());
    if (lock.get() == nullptr) return LastErrorOr(ERROR_NOT_ENOUGH_MEMORY);
    if (SetFilePointer(file.get(), 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER)
      return LastErrorOr(ERROR_SEEK);
    DWORD read = 0;
    if (!ReadFile(file.get(), lock.get(), size, &read, nullptr)) return LastErrorOr(ERROR_READ_FAULT);
    // Handing on part of a file as if it were all of it would lose data.
    if (read != size) return ERROR_HANDLE_EOF;
    lock.text()[size] = '\0';
    if (convert) OemToCharBuffA(lock.text(), lock.text(), size);
  }
  *length = size;
  *text = memory.release();
  return 0;
}

bool OverwriteWithPattern(HANDLE file) {
  const DWORD size = SetFilePointer(file, 0, nullptr, FILE_END);
  if (size == INVALID_SET_FILE_POINTER) return false;
  if (SetFilePointer(file, 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER) return false;
  const WipePlan plan = PlanWipe(size);
  const auto& pattern = WipePattern();
  if (plan.firstBytes != 0 && !WriteExactly(file, pattern.data(), plan.firstBytes)) return false;
  // Whole patterns go out many at a time: the bytes on disk are the same as
  // with one write per pattern, without tens of thousands of calls for a
  // large message. The run is made for this wipe only (no module-wide
  // buffer); without memory for it the patterns go out one by one.
  const uint32_t wanted = plan.wholePatterns < kPatternsPerWrite ? plan.wholePatterns : kPatternsPerWrite;
  std::unique_ptr<uint8_t[]> made(wanted > 1 ? new (std::nothrow) uint8_t[wanted * kWipePatternSize]
                                             : nullptr);
  const uint32_t perWrite = made ? wanted : 1;
  const uint8_t* run = made ? made.get() : pattern.data();
  for (uint32_t i = 0; made && i < perWrite; ++i)
    std::copy(pattern.begin(), pattern.end(), made.get() + i * kWipePatternSize);
  for (uint32_t left = plan.wholePatterns; left != 0;) {
    const uint32_t now = left < perWrite ? left : perWrite;
    if (!WriteExactly(file, run, now * kWipePatternSize)) return false;
    left -= now;
  }
  // Deleting the file right after would let the cache drop the pattern
  // before it ever reached the disk.
  return FlushFileBuffers(file) != 0;
}

void WipeFile(const char* path) {
  if (path == nullptr || path[0] == '\0') return;
  {
    // The name itself is opened, never what a link leads to; only a file of
    // its own is overwritten, and deleting a link deletes just the link.
    UniqueHandle file(CreateFileA(path, GENERIC_WRITE | DELETE, 0, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_DELETE_ON_CLOSE | FILE_FLAG_OPEN_REPARSE_POINT |
                                      FILE_ATTRIBUTE_NORMAL,
                                  nullptr));
    BY_HANDLE_FILE_INFORMATION info{};
    if (file && GetFileInformationByHandle(file.get(), &info) &&
        (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0 && info.nNumberOfLinks == 1)
      OverwriteWithPattern(file.get());
  }
  // In case the handle did not take the file with it. DeleteFileA, unlike a
  // delete through OpenFile, never searches other directories for the name.
  DeleteFileA(path);
}

DWORD TempVerdictFile::Make(const char* baseName) {
  Wipe();
  // Without the temporary names the file would land in the current folder.
  if (baseName == nullptr || baseName[0] == '\0') {
    name_.clear();
    return ERROR_PATH_NOT_FOUND;
  }
  uint64_t random = 0;
  const bool drawn = RandomValue(random);
  name_ = VerdictFileName(baseName, random);
  if (!drawn) return ERROR_GEN_FAILURE;
  // CREATE_NEW: made here and now, never a file that was already there.
  UniqueHandle file(CreateFileA(name_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return LastErrorOr(ERROR_ACCESS_DENIED);
  made_ = true;
  return 0;
}

void TempVerdictFile::Wipe() {
  if (made_) WipeFile(name_.c_str());
  made_ = false;
}

std::string FormatFileError(DWORD code, const char* path) {
  return FormatFileErrorText(ModuleString(FileErrorStringId(code)).c_str(), code, path);
}
